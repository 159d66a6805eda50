// The poll tick: bytes on the line per tick, decoding, analog alternation, the edge
// counting, and the close sequence with the clean-up at unload.
#include <vector>

#include "driver/connections.h"
#include "driver_test_util.h"

namespace kelvora::drvtest {
namespace {

using Bytes = std::vector<uint8_t>;

TEST_F(DriverTest, EightInputTickSendsMotorLowByte) {
  ASSERT_EQ(OpenQuiet(8), 0);
  rec.MotorWord = 0x0006;
  rig.box.SetInputs(0xFF81);  // inputs 9..16 are not on the 8-input reply
  rig.clock.Advance(10);
  EXPECT_EQ(Sent(), (Bytes{0xC1, 0x06}));
  EXPECT_EQ(rec.InputWord, 0x81u);
  rig.clock.Advance(29);  // ticks at 20 and 30 only: the schedule is fixed
  EXPECT_EQ(rig.box.ExchangeCount(), 3u);
}

TEST_F(DriverTest, SixteenInputTickSendsBothMotorBytes) {
  ASSERT_EQ(OpenQuiet(16), 0);
  rec.MotorWord = 0x1201;
  rig.box.SetInputs(0x8005);
  rig.clock.Advance(12);
  EXPECT_EQ(Sent(), (Bytes{0xC2, 0x01, 0x12}));
  EXPECT_EQ(rec.InputWord, 0x8005u);  // inputs 1, 3 and 16
  EXPECT_EQ(zqGetInput(&rec, 16), -1);
  EXPECT_EQ(zqGetInput(&rec, 2), 0);
}

TEST_F(DriverTest, AnalogPollingAlternatesChannelsOneExchangePerTick) {
  ASSERT_EQ(OpenQuiet(8, 1), 0);
  ASSERT_EQ(rec.PollInterval, 16u);
  rig.box.SetAnalog(0, 0x03FF);
  rig.box.SetAnalog(1, 0x0801);  // 2049 reads as 2048
  rig.box.SetInputs(0x0011);
  rec.MotorWord = 0x0040;
  rig.clock.Advance(16);
  EXPECT_EQ(Sent(), (Bytes{0xC5, 0x40}));
  EXPECT_EQ(rec.AnalogX, 1023u);
  EXPECT_EQ(rec.AnalogPhase, 2u);
  EXPECT_EQ(rec.InputWord, 0x11u);
  rig.clock.Advance(16);
  EXPECT_EQ(Sent(), (Bytes{0xC5, 0x40, 0xC9, 0x40}));
  EXPECT_EQ(rec.AnalogY, 2048u);
  EXPECT_EQ(rec.AnalogPhase, 1u);
  rig.box.SetAnalog(0, 2048);
  rig.clock.Advance(16);
  EXPECT_EQ(rec.AnalogX, 2048u);  // 2048 itself passes
  EXPECT_EQ(rig.box.ExchangeCount(), 3u);
}

TEST_F(DriverTest, SixteenInputAnalogCommands) {
  ASSERT_EQ(OpenQuiet(16, 1), 0);
  rec.MotorWord = 0xA501;
  rig.box.SetInputs(0x0102);
  rig.box.SetAnalog(0, 7);
  rig.box.SetAnalog(1, 0xFFFF);
  rig.clock.Advance(32);
  EXPECT_EQ(Sent(), (Bytes{0xC6, 0x01, 0xA5, 0xCA, 0x01, 0xA5}));
  EXPECT_EQ(rec.AnalogX, 7u);
  EXPECT_EQ(rec.AnalogY, 2048u);
  EXPECT_EQ(rec.InputWord, 0x0102u);
}

TEST_F(DriverTest, CountsBothEdgesOfEveryPolledInput) {
  ASSERT_EQ(OpenQuiet(8), 0);
  const uint16_t seq[] = {0x0004, 0x0000, 0x0004, 0x0104};  // input 3: 1,0,1; input 9 rises
  for (uint16_t w : seq) {
    rig.box.SetInputs(w);
    rig.clock.Advance(10);
  }
  EXPECT_EQ(rec.Counters[2], 3u);
  EXPECT_EQ(rec.Counters[8], 0u);  // above InputCount: never counted
  rec.Counters[2] = 0;             // the caller restarts a count
  rig.box.SetInputs(0x0000);
  rig.clock.Advance(10);
  EXPECT_EQ(rec.Counters[2], 1u);
}

TEST_F(DriverTest, AChangeThatComesAndGoesBetweenTicksIsNotSeen) {
  ASSERT_EQ(OpenQuiet(16), 0);
  rig.clock.Advance(5);
  rig.box.SetInputs(0x8000);
  rig.clock.Advance(3);
  rig.box.SetInputs(0x0000);
  rig.clock.Advance(10);
  EXPECT_EQ(rec.Counters[15], 0u);
  rig.box.SetInputs(0x8000);
  rig.clock.Advance(12);
  EXPECT_EQ(rec.Counters[15], 1u);
}

TEST_F(DriverTest, FailedExchangeCountsEveryInputThatReadZero) {
  ASSERT_EQ(OpenQuiet(8), 0);
  rig.box.SetInputs(0x0001);
  rig.clock.Advance(10);
  EXPECT_EQ(rec.Counters[0], 1u);
  rig.box.SetFault(sim::BoxFault::kSilent);
  rig.clock.Advance(10);
  EXPECT_EQ(rec.InputWord, 0x1FFFFu);
  EXPECT_EQ(zqGetInput(&rec, 5), -1);
  EXPECT_EQ(zqGetInput(&rec, 16), -1);
  rig.box.SetFault(sim::BoxFault::kNone);
  rig.clock.Advance(10);
  EXPECT_EQ(rec.InputWord, 0x0001u);
  // Input 1 read 1 throughout: the error value did not change it.
  EXPECT_EQ(rec.Counters[0], 1u);
  // Inputs 2..8 read 0, then 1 from the error value, then 0 again.
  for (int n = 1; n < 8; ++n) EXPECT_EQ(rec.Counters[n], 2u) << "input " << n + 1;
  for (int n = 8; n < 16; ++n) EXPECT_EQ(rec.Counters[n], 0u) << "input " << n + 1;
}

TEST_F(DriverTest, CloseClearsHandleFirstWaitsFourPeriodsThenKillsAndCloses) {
  ASSERT_EQ(OpenQuiet(16), 0);
  const uint32_t timer = rec.TimerId;
  rec.MotorWord = 0x0003;
  rig.box.SetInputs(0x0001);
  rig.clock.Advance(12);
  rig.box.ClearRecords();
  rec.Counters[1] = 0;
  EXPECT_EQ(zqCloseInterface(&rec), 1);
  EXPECT_EQ(rig.os.Calls(), (std::vector<std::string>{
                                "sleep 48", "killtimer " + std::to_string(timer), "close COM1"}));
  // During the wait the ticks found Handle null: nothing on the line, error value
  // stored and counted once (0 → 1 for every input that read 0).
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(rec.InputWord, 0x1FFFFu);
  EXPECT_EQ(rec.Counters[1], 1u);
  EXPECT_EQ(rec.Handle, 0u);
  EXPECT_EQ(rec.PortAddr, 0u);
  EXPECT_EQ(rec.MotorWord, 0u);
  EXPECT_EQ(rec.TimerId, timer);  // close leaves the id
  EXPECT_EQ(rig.clock.TimerCount(), 0u);
  EXPECT_TRUE(rig.os.OpenPorts().empty());
  // The zero motor word never reached the box: close sends nothing.
  EXPECT_EQ(rig.box.MotorWord(), 0x0003);
  EXPECT_EQ(zqCloseInterface(&rec), 0);  // second close: at once, nothing done
  EXPECT_EQ(rig.os.Calls().size(), 3u);
}

TEST_F(DriverTest, UnloadClosesTheLastOpenedRecordThroughItsCopy) {
  TBrelRecord first{};
  ASSERT_EQ(zqOpenInterface(&first, "COM1"), 0);
  sim::VirtualBox box2;
  rig.os.AttachSerial("COM2", &box2);
  ASSERT_EQ(OpenQuiet(8, 0, 25), 0x1FFFF);  // rec on COM1 is refused: busy
  ASSERT_EQ(rec.Handle, 0u);
  EXPECT_EQ(zqOpenInterface(&rec, "COM2"), 0);
  rig.os.ClearCalls();
  box2.ClearRecords();
  driver::ProcessDetach();
  // Four periods of the saved record, then its timer and port; the caller's record
  // keeps ticking until the kill and is otherwise untouched.
  EXPECT_EQ(rig.os.Calls(),
            (std::vector<std::string>{"sleep 100", "killtimer " + std::to_string(rec.TimerId),
                                      "close COM2"}));
  EXPECT_EQ(box2.ExchangeCount(), 4u);
  EXPECT_NE(rec.Handle, 0u);
  EXPECT_EQ(rig.os.OpenPorts(), (std::vector<std::string>{"COM1"}));
  rig.os.ClearCalls();
  driver::ProcessDetach();  // the copy is closed now: nothing more
  EXPECT_TRUE(rig.os.Calls().empty());
  rec.Handle = 0;  // its port is gone already; the fixture must not close it again
  EXPECT_EQ(zqCloseInterface(&first), 1);
  driver::ProcessDetach();
  EXPECT_TRUE(rig.os.Calls().size() == 3u);  // sleep, kill, close of first only
}

}  // namespace
}  // namespace kelvora::drvtest
