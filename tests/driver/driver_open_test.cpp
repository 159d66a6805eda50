// zqOpenInterface: name dispatch, the first exchange, the adjustments and their order,
// failures, and what SavedRecord keeps for the clean-up at unload.
#include <vector>

#include "driver/connections.h"
#include "driver_test_util.h"

namespace kelvora::drvtest {
namespace {

using Bytes = std::vector<uint8_t>;

TEST_F(DriverTest, OpenPerformsFirstExchangeAndStartsTimer) {
  rig.box.SetInputs(0x0105);
  rec.MotorWord = 0x00FF;
  rec.LptDelay = 10;
  rec.AnalogScan = 7;
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 0x05);
  EXPECT_GT(rec.Handle, 1u);
  EXPECT_EQ(rec.PortAddr, 0u);
  EXPECT_EQ(rec.LptDelay, 1u);
  EXPECT_EQ(rec.AnalogScan, 1u);
  EXPECT_EQ(rec.InputWord, 0x05u);
  EXPECT_EQ(rec.PollInterval, 10u);
  EXPECT_NE(rec.TimerId, 0u);
  EXPECT_EQ(Sent(), (Bytes{0xC1, 0x00}));  // always all motors off first
  EXPECT_EQ(rig.os.Calls(),
            (std::vector<std::string>{"open COM1", "line", "timeouts", "settimer 10"}));
  drvos::SerialLine line{};
  drvos::SerialTimeouts t{};
  ASSERT_TRUE(rig.os.LastLine("COM1", &line));
  ASSERT_TRUE(rig.os.LastTimeouts("COM1", &t));
  EXPECT_EQ(line.baud, 9600u);
  EXPECT_EQ(line.dataBits, 8);
  EXPECT_EQ(line.parity, 0);
  EXPECT_EQ(line.stopBits, 0);
  EXPECT_EQ(t.readInterval, 5u);
  EXPECT_EQ(t.readTotalMultiplier, 4u);
  EXPECT_EQ(t.readTotalConstant, 30u);
  EXPECT_EQ(t.writeTotalMultiplier, 1u);
  EXPECT_EQ(t.writeTotalConstant, 10u);
  rig.clock.Advance(10);
  EXPECT_EQ(Sent(), (Bytes{0xC1, 0x00, 0xC1, 0x00}));
}

TEST_F(DriverTest, SixteenInputOpenStillStartsWithTheEightInputExchange) {
  rig.box.SetInputs(0x8005);
  rec.InputCount = 16;
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 0x05);
  EXPECT_EQ(rec.PollInterval, 12u);
  rec.MotorWord = 0x1201;
  rig.clock.Advance(12);
  EXPECT_EQ(Sent(), (Bytes{0xC1, 0x00, 0xC2, 0x01, 0x12}));
  EXPECT_EQ(rec.InputWord, 0x8005u);
}

TEST_F(DriverTest, LowerCaseNameOpensTheSerialBox) {
  rig.os.AttachSerial("COM2", &rig.box);
  EXPECT_EQ(zqOpenInterface(&rec, "com2"), 0);
  EXPECT_NE(rec.Handle, 0u);
  EXPECT_EQ(rig.os.OpenPorts(), (std::vector<std::string>{"COM2"}));
}

TEST_F(DriverTest, NullNameFailsWithoutTouchingSavedRecord) {
  ASSERT_EQ(OpenQuiet(), 0);  // SavedRecord now holds an open record
  TBrelRecord other{};
  other.Handle = 99;
  other.MotorWord = 0x55;
  EXPECT_EQ(zqOpenInterface(&other, nullptr), 0x1FFFF);
  EXPECT_EQ(other.Handle, 0u);
  EXPECT_EQ(other.MotorWord, 0u);
  EXPECT_EQ(rig.clock.TimerCount(), 1u);
  EXPECT_TRUE(rig.os.Calls().empty());
  // The saved copy is still the open one: the unload closes COM1.
  driver::ProcessDetach();
  EXPECT_TRUE(rig.os.OpenPorts().empty());
}

TEST_F(DriverTest, OtherFirstCharacterGoesToTheParallelSide) {
  // Without a parallel backend the parallel side reports the device as unavailable.
  EXPECT_EQ(zqOpenInterface(&rec, "LPT1"), 0x1FFFF);
  EXPECT_EQ(rec.Handle, 0u);
  EXPECT_EQ(rig.clock.TimerCount(), 0u);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(zqOpenInterface(&rec, "XCOM1"), 0x1FFFF);
  EXPECT_EQ(zqOpenInterface(&rec, ""), 0x1FFFF);
  EXPECT_TRUE(rig.os.OpenPorts().empty());
}

TEST_F(DriverTest, FailedOpensLeaveNoTimerAndNoOpenPort) {
  rec.PollInterval = 3;
  rec.InputCount = 12;
  rec.AnalogPhase = 2;
  EXPECT_EQ(zqOpenInterface(&rec, "COM3"), 0x1FFFF);  // nothing attached
  rig.os.FailCommLine(true);
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 0x1FFFF);
  rig.os.FailCommLine(false);
  rig.os.FailCommTimeouts(true);
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 0x1FFFF);
  rig.os.FailCommTimeouts(false);
  rig.box.SetFault(sim::BoxFault::kSilent);
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 0x1FFFF);
  EXPECT_EQ(Sent(), (Bytes{0xC1, 0x00}));  // the silent box heard the first exchange
  EXPECT_EQ(rec.Handle, 0u);
  EXPECT_TRUE(rig.os.OpenPorts().empty());
  EXPECT_EQ(rig.clock.TimerCount(), 0u);
  // A failed open makes none of the adjustments.
  EXPECT_EQ(rec.PollInterval, 3u);
  EXPECT_EQ(rec.InputCount, 12u);
  EXPECT_EQ(rec.AnalogPhase, 2u);
  // The port is free again.
  rig.box.SetFault(sim::BoxFault::kNone);
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 0);
}

TEST_F(DriverTest, BusyPortFailsTheSecondOpen) {
  ASSERT_EQ(OpenQuiet(), 0);
  TBrelRecord second{};
  EXPECT_EQ(zqOpenInterface(&second, "COM1"), 0x1FFFF);
  EXPECT_EQ(second.Handle, 0u);
  EXPECT_EQ(rig.clock.TimerCount(), 1u);
}

TEST_F(DriverTest, OpenWithoutTimerStillSucceeds) {
  rig.os.FailTimer(true);
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 0);
  EXPECT_EQ(rec.TimerId, 0u);
  rig.box.ClearRecords();
  rig.clock.Advance(100);
  EXPECT_TRUE(Sent().empty());
  rig.os.ClearCalls();
  EXPECT_EQ(zqCloseInterface(&rec), 1);
  EXPECT_EQ(rig.os.Calls(), (std::vector<std::string>{"sleep 40", "close COM1"}));
}

struct Adjust {
  uint32_t period, inputs, phase;
  uint32_t wantPeriod, wantInputs, wantPhase;
};

class OpenAdjustTest : public DriverTest, public ::testing::WithParamInterface<Adjust> {};

TEST_P(OpenAdjustTest, SerialMinimumsInOrder) {
  const Adjust a = GetParam();
  rec.PollInterval = a.period;
  rec.InputCount = a.inputs;
  rec.AnalogPhase = a.phase;
  ASSERT_EQ(zqOpenInterface(&rec, "COM1"), 0);
  EXPECT_EQ(rec.PollInterval, a.wantPeriod);
  EXPECT_EQ(rec.InputCount, a.wantInputs);
  EXPECT_EQ(rec.AnalogPhase, a.wantPhase);
  EXPECT_EQ(rig.os.Calls().back(), "settimer " + std::to_string(a.wantPeriod));
}

INSTANTIATE_TEST_SUITE_P(
    Serial, OpenAdjustTest,
    ::testing::Values(Adjust{0, 8, 0, 10, 8, 0}, Adjust{0, 16, 0, 12, 16, 0},
                      Adjust{11, 16, 0, 12, 16, 0}, Adjust{0, 8, 1, 16, 8, 1},
                      Adjust{0, 16, 1, 16, 16, 1}, Adjust{25, 16, 1, 25, 16, 1},
                      Adjust{0, 12, 2, 10, 8, 0},    // 12 inputs → 8; phase 2 → 0
                      Adjust{13, 0, 7, 13, 8, 0}));  // a period above the minimum stays

}  // namespace
}  // namespace kelvora::drvtest
