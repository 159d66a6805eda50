// SPDX-License-Identifier: MIT
// The driver against the virtual box in virtual time: open and its adjustments, bytes on
// the line per tick, decoding, edge counting, the small calls, close and the clean-up at
// unload, and a box that misbehaves while polled.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "driver/connections.h"
#include "driver/zqBrel20.h"
#include "sim/virtual_rig.h"

namespace kelvora::drvtest {
namespace {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;
using sim::BoxFault;
constexpr uint32_t kErr = ZQ_ERROR;

class DriverTest : public ::testing::Test {
 protected:
  ~DriverTest() override { zqCloseInterface(&rec); }  // before the rig goes

  // Opens COM1 and forgets what open did, so that a test sees only the ticks.
  int32_t OpenQuiet(uint32_t inputs = 8, uint32_t phase = 0, uint32_t period = 10) {
    rec.InputCount = inputs;
    rec.AnalogPhase = phase;
    rec.PollInterval = period;
    const int32_t r = zqOpenInterface(&rec, "COM1");
    rig.box.ClearRecords();
    rig.os.ClearCalls();
    return r;
  }
  Bytes Sent() const { return rig.box.Received(); }

  sim::VirtualRig rig;
  TBrelRecord rec{};
};

// --- open ---------------------------------------------------------------------------

TEST_F(DriverTest, OpenSetsUpTheLineExchangesOnceAndStartsTheTimer) {
  rig.box.SetInputs(0x0105);
  rec.MotorWord = 0x00FF;
  rec.LptDelay = 10;
  rec.AnalogScan = 7;
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 0x05);
  EXPECT_GT(rec.Handle, 1u);
  EXPECT_NE(rec.TimerId, 0u);
  EXPECT_EQ(rec.PortAddr, 0u);
  EXPECT_EQ(rec.LptDelay, 1u);
  EXPECT_EQ(rec.AnalogScan, 1u);
  EXPECT_EQ(rec.InputWord, 0x05u);
  EXPECT_EQ(Sent(), (Bytes{0xC1, 0x00}));  // all motors off first, whatever MotorWord held
  EXPECT_EQ(rig.os.Calls(), (Strings{"open COM1", "line", "timeouts", "settimer 10"}));
  drvos::SerialLine l{};
  drvos::SerialTimeouts t{};
  ASSERT_TRUE(rig.os.LastLine("COM1", &l) && rig.os.LastTimeouts("COM1", &t));
  EXPECT_EQ((std::vector<uint32_t>{l.baud, l.dataBits, l.parity, l.stopBits, t.readInterval,
                                   t.readTotalMultiplier, t.readTotalConstant,
                                   t.writeTotalMultiplier, t.writeTotalConstant}),
            (std::vector<uint32_t>{9600, 8, 0, 0, 5, 4, 30, 1, 10}));
}

struct Adjust {
  uint32_t period, inputs, phase;
  uint32_t wantPeriod, wantInputs, wantPhase;
  uint8_t tickCommand;
};

class OpenAdjustTest : public DriverTest, public ::testing::WithParamInterface<Adjust> {};

// The minimums apply in order; the open exchange is the 8-input one whatever follows.
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
  rig.clock.Advance(a.wantPeriod);
  const Bytes sent = Sent();
  ASSERT_GT(sent.size(), 2u);
  EXPECT_EQ(sent[0], 0xC1);
  EXPECT_EQ(sent[2], a.tickCommand);
}

INSTANTIATE_TEST_SUITE_P(
    Serial, OpenAdjustTest,
    ::testing::Values(Adjust{0, 8, 0, 10, 8, 0, 0xC1}, Adjust{0, 16, 0, 12, 16, 0, 0xC2},
                      Adjust{11, 16, 0, 12, 16, 0, 0xC2}, Adjust{0, 8, 1, 16, 8, 1, 0xC5},
                      Adjust{0, 16, 1, 16, 16, 1, 0xC6}, Adjust{25, 16, 1, 25, 16, 1, 0xC6},
                      Adjust{0, 12, 2, 10, 8, 0, 0xC1}, Adjust{13, 0, 7, 13, 8, 0, 0xC1}));

TEST_F(DriverTest, FirstCharacterChoosesTheSide) {
  rig.os.AttachSerial("COM2", &rig.box);
  for (const char* name : {"LPT1", "XCOM1", ""}) {  // parallel side: no backend here
    EXPECT_EQ(zqOpenInterface(&rec, name), 0x1FFFF) << name;
  }
  EXPECT_EQ(rec.Handle, 0u);
  EXPECT_EQ(rig.clock.TimerCount(), 0u);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(zqOpenInterface(&rec, "com2"), 0);
  EXPECT_EQ(rig.os.OpenPorts(), (Strings{"COM2"}));
}

TEST_F(DriverTest, FailedOpensLeaveNoTimerNoPortAndNoAdjustment) {
  const std::function<void(bool)> faults[] = {
      [&](bool on) { rig.os.FailCommLine(on); },
      [&](bool on) { rig.os.FailCommTimeouts(on); },
      [&](bool on) { rig.box.SetFault(on ? BoxFault::kSilent : BoxFault::kNone); },
  };
  rec.PollInterval = 3;
  rec.InputCount = 12;
  rec.AnalogPhase = 2;
  EXPECT_EQ(zqOpenInterface(&rec, "COM3"), 0x1FFFF);  // nothing attached
  for (const auto& fault : faults) {
    fault(true);
    EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 0x1FFFF);
    fault(false);
  }
  EXPECT_EQ(Sent(), (Bytes{0xC1, 0x00}));  // only the silent box heard an exchange
  EXPECT_EQ(rec.Handle, 0u);
  EXPECT_TRUE(rig.os.OpenPorts().empty());
  EXPECT_EQ(rig.clock.TimerCount(), 0u);
  EXPECT_EQ(rec.PollInterval, 3u);
  EXPECT_EQ(rec.InputCount, 12u);
  EXPECT_EQ(rec.AnalogPhase, 2u);
  // The port is free again; one byte is the whole 8-input reply, short or not.
  rig.box.SetInputs(0x0009);
  rig.box.SetFault(BoxFault::kShort);
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 9);
  TBrelRecord second{};  // busy now
  EXPECT_EQ(zqOpenInterface(&second, "COM1"), 0x1FFFF);
  EXPECT_EQ(second.Handle, 0u);
  EXPECT_EQ(rig.clock.TimerCount(), 1u);
}

// --- the tick -----------------------------------------------------------------------

struct TickCase {
  uint32_t inputs, phase, motor;
  uint16_t boxInputs, analog0, analog1;
  Bytes sent;  // in two ticks
  uint32_t inputWord, analogX, analogY;
};

class TickTest : public DriverTest, public ::testing::WithParamInterface<TickCase> {};

TEST_P(TickTest, BytesOnTheLineAndDecoding) {
  const TickCase& c = GetParam();
  rig.box.SetInputs(c.boxInputs);
  ASSERT_EQ(OpenQuiet(c.inputs, c.phase), c.boxInputs & 0xFF);
  rec.MotorWord = c.motor;
  rig.box.SetAnalog(0, c.analog0);
  rig.box.SetAnalog(1, c.analog1);
  rig.clock.Advance(2 * rec.PollInterval);
  EXPECT_EQ(Sent(), c.sent);
  EXPECT_EQ(rec.InputWord, c.inputWord);
  EXPECT_EQ(rec.AnalogX, c.analogX);
  EXPECT_EQ(rec.AnalogY, c.analogY);
  EXPECT_EQ(rec.AnalogPhase, c.phase);  // back where it started after two ticks
}

INSTANTIATE_TEST_SUITE_P(
    Commands, TickTest,
    ::testing::Values(
        // Inputs 9..16 are not on the 8-input reply.
        TickCase{8, 0, 0x0006, 0xFF81, 0, 0, {0xC1, 0x06, 0xC1, 0x06}, 0x81, 0, 0},
        TickCase{16, 0, 0x1201, 0x8005, 0, 0, {0xC2, 0x01, 0x12, 0xC2, 0x01, 0x12}, 0x8005, 0, 0},
        // Analog values above 2048 read as 2048; 2048 itself passes.
        TickCase{8, 1, 0x0040, 0x0011, 0x3FF, 0x801, {0xC5, 0x40, 0xC9, 0x40}, 0x11, 1023, 2048},
        TickCase{16,
                 1,
                 0xA501,
                 0x0102,
                 2048,
                 0xFFFF,
                 {0xC6, 0x01, 0xA5, 0xCA, 0x01, 0xA5},
                 0x0102,
                 2048,
                 2048}));

TEST_F(DriverTest, CountsBothEdgesOfPolledInputsAndOfTheErrorValue) {
  ASSERT_EQ(OpenQuiet(8), 0);
  for (uint16_t w : {0x0004, 0x0000, 0x0004, 0x0105}) {  // input 3: 1,0,1; input 9 rises
    rig.box.SetInputs(w);
    rig.clock.Advance(10);
  }
  EXPECT_EQ(rec.Counters[2], 3u);
  EXPECT_EQ(rec.Counters[0], 1u);
  EXPECT_EQ(rec.Counters[8], 0u);  // above InputCount: never counted
  rec.Counters[2] = 0;             // the caller restarts a count
  rig.box.SetFault(BoxFault::kSilent);
  rig.clock.Advance(10);
  EXPECT_EQ(rec.InputWord, kErr);
  EXPECT_EQ(zqGetInput(&rec, 16), -1);
  rig.box.SetFault(BoxFault::kNone);
  rig.box.SetInputs(0x0001);
  rig.clock.Advance(10);
  EXPECT_EQ(rec.InputWord, 0x0001u);
  // Input 1 read 1 throughout: the error value did not change it. The others read 0
  // went to 1 with the error value and back; input 3, restarted, only fell.
  EXPECT_EQ(rec.Counters[0], 1u);
  EXPECT_EQ(rec.Counters[2], 1u);
  for (int n : {1, 3, 4, 5, 6, 7}) EXPECT_EQ(rec.Counters[n], 2u) << "input " << n + 1;
  for (int n = 8; n < 16; ++n) EXPECT_EQ(rec.Counters[n], 0u) << "input " << n + 1;
}

// --- the small calls ------------------------------------------------------------------

TEST_F(DriverTest, MotorAndLampCallsChangeOnlyTheirBitsAndReturnTheInputs) {
  rig.box.SetInputs(0x0102);
  ASSERT_EQ(OpenQuiet(16), 0x02);
  rig.clock.Advance(12);
  const struct {
    int32_t(ZQBREL_CALL* call)(TBrelRecord*, int32_t, int32_t);
    uint32_t before;
    int32_t which, arg;
    uint32_t after;
  } cases[] = {
      {zqSetMotor, 0x000C, 2, 1, 0x0004},
      {zqSetMotor, 0x0004, 8, 2, 0x8004},
      {zqSetMotor, 0x8004, 2, 0, 0x8000},
      {zqSetMotor, 0xFFFF0001, 1, 2, 0x0002},  // bits 16..31 go with every call
      {zqSetMotor, 0x5555, 0, 1, 0},           // motor 0, past the table, or an unknown
      {zqSetMotor, 0x5555, 9, 1, 0},           // direction: everything off
      {zqSetMotor, 0x5555, -1, 2, 0},
      {zqSetMotor, 0x5555, 3, 3, 0},
      {zqSetLamp, 0x0010, 5, 1, 0x0000},  // active low on the serial box
      {zqSetLamp, 0x0000, 5, 0, 0x0010},
      {zqSetLamp, 0x0010, 16, -7, 0x0010},  // any non-zero flag is on
      {zqSetLamp, 0x0010, 17, 0, 0x0010},   // past the table: no bit
      {zqSetLamp, 0x0010, 0, 0, 0x0010},
  };
  for (const auto& c : cases) {
    rec.MotorWord = c.before;
    EXPECT_EQ(c.call(&rec, c.which, c.arg), 0x0102) << c.which;
    EXPECT_EQ(rec.MotorWord, c.after) << c.which << " " << c.arg;
  }
  const std::pair<int, int> inputs[] = {{2, -1}, {9, -1}, {1, 0}, {0, 0}, {17, 0}, {-3, 0}};
  for (auto [input, want] : inputs) EXPECT_EQ(zqGetInput(&rec, input), want) << input;
  EXPECT_EQ(rig.box.ExchangeCount(), 1u);  // none of them does I/O
  rig.clock.Advance(12);
  EXPECT_EQ(rig.box.MotorWord(), 0x0010);  // the word goes out with the next tick
}

TEST_F(DriverTest, NullAndClosedRecordsAreRefusedAndKeepTheSavedRecord) {
  ASSERT_EQ(OpenQuiet(), 0);  // the saved copy now holds an open record
  TBrelRecord other{};
  other.Handle = 99;
  other.MotorWord = 0x55;
  EXPECT_EQ(zqOpenInterface(&other, nullptr), 0x1FFFF);
  EXPECT_EQ(other.Handle, 0u);
  EXPECT_EQ(other.MotorWord, 0u);
  EXPECT_EQ(zqOpenInterface(nullptr, "COM1"), 0x1FFFF);
  EXPECT_EQ(zqCloseInterface(nullptr), 0);
  other.MotorWord = 0x33;
  other.InputWord = 0x01;
  for (TBrelRecord* r : {static_cast<TBrelRecord*>(nullptr), &other}) {
    EXPECT_EQ(zqGetInput(r, 1), 0x1FFFF);
    EXPECT_EQ(zqSetMotor(r, 1, 1), 0x1FFFF);
    EXPECT_EQ(zqSetLamp(r, 1, 1), 0x1FFFF);
  }
  EXPECT_EQ(zqCloseInterface(&other), 0);
  EXPECT_EQ(other.MotorWord, 0x33u);
  EXPECT_TRUE(rig.os.Calls().empty());
  EXPECT_EQ(zqGetVersion(), 201);
  driver::ProcessDetach();  // the saved copy is still COM1's
  EXPECT_TRUE(rig.os.OpenPorts().empty());
}

TEST_F(DriverTest, RecordsOnTwoPortsTickIndependently) {
  sim::VirtualBox box2;
  rig.os.AttachSerial("COM2", &box2);
  TBrelRecord other{};
  other.InputCount = 16;
  ASSERT_EQ(OpenQuiet(8), 0);
  ASSERT_EQ(zqOpenInterface(&other, "COM2"), 0);
  box2.ClearRecords();
  rig.box.SetInputs(0x0001);
  box2.SetInputs(0x0100);
  rig.clock.Advance(60);
  EXPECT_EQ(rig.box.ExchangeCount(), 6u);
  EXPECT_EQ(box2.ExchangeCount(), 5u);
  EXPECT_EQ(rec.InputWord, 0x0001u);
  EXPECT_EQ(other.InputWord, 0x0100u);
  EXPECT_EQ(zqCloseInterface(&other), 1);
  EXPECT_EQ(rig.clock.TimerCount(), 1u);
}

// --- close and unload -------------------------------------------------------------

TEST_F(DriverTest, CloseClearsHandleFirstWaitsFourPeriodsThenKillsAndCloses) {
  ASSERT_EQ(OpenQuiet(16), 0);
  const uint32_t timer = rec.TimerId;
  rec.MotorWord = 0x0003;
  rig.box.SetInputs(0x0001);
  rig.clock.Advance(12);
  rig.box.ClearRecords();
  rec.Counters[1] = 0;
  EXPECT_EQ(zqCloseInterface(&rec), 1);
  EXPECT_EQ(rig.os.Calls(),
            (Strings{"sleep 48", "killtimer " + std::to_string(timer), "close COM1"}));
  // The ticks of the wait found Handle null: nothing on the line, the error value
  // stored and counted once. The zero motor word never reached the box.
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(rig.box.MotorWord(), 0x0003);
  EXPECT_EQ(rec.InputWord, kErr);
  EXPECT_EQ(rec.Counters[1], 1u);
  EXPECT_EQ(rec.Handle, 0u);
  EXPECT_EQ(rec.PortAddr, 0u);
  EXPECT_EQ(rec.MotorWord, 0u);
  EXPECT_EQ(rec.TimerId, timer);
  EXPECT_EQ(rig.clock.TimerCount(), 0u);
  EXPECT_TRUE(rig.os.OpenPorts().empty());
  EXPECT_EQ(zqCloseInterface(&rec), 0);  // a second close does nothing
  EXPECT_EQ(rig.os.Calls().size(), 3u);
}

TEST_F(DriverTest, UnloadClosesTheLastOpenedRecordThroughItsCopy) {
  TBrelRecord first{};
  ASSERT_EQ(zqOpenInterface(&first, "COM1"), 0);
  sim::VirtualBox box2;
  rig.os.AttachSerial("COM2", &box2);
  ASSERT_EQ(OpenQuiet(8, 0, 25), 0x1FFFF);  // COM1 is busy: the refusal saves nothing
  EXPECT_EQ(zqOpenInterface(&rec, "COM2"), 0);
  rig.os.ClearCalls();
  box2.ClearRecords();
  driver::ProcessDetach();
  // Four periods of the saved record, then its timer and port; the caller's record
  // ticks on until the kill and is otherwise untouched.
  EXPECT_EQ(rig.os.Calls(),
            (Strings{"sleep 100", "killtimer " + std::to_string(rec.TimerId), "close COM2"}));
  EXPECT_EQ(box2.ExchangeCount(), 4u);
  EXPECT_NE(rec.Handle, 0u);
  EXPECT_EQ(rig.os.OpenPorts(), (Strings{"COM1"}));
  rig.os.ClearCalls();
  driver::ProcessDetach();  // the copy is closed now: nothing more
  EXPECT_TRUE(rig.os.Calls().empty());
  rec.Handle = 0;  // its port is gone already
  EXPECT_EQ(zqCloseInterface(&first), 1);
  driver::ProcessDetach();
  EXPECT_EQ(rig.os.Calls().size(), 3u);  // sleep, kill, close of first only
}

// --- a misbehaving box --------------------------------------------------------------

struct FaultCase {
  uint32_t inputs, phase;
  BoxFault fault;
  uint32_t inputWord, analog;  // after the faulty ticks
};

class FaultTest : public DriverTest, public ::testing::WithParamInterface<FaultCase> {};

// Each field whose bytes all came is decoded; the others fail. Recovery is immediate.
TEST_P(FaultTest, ShortOrSilentRepliesFailTheFieldsThatDidNotArrive) {
  const FaultCase& c = GetParam();
  rig.box.SetInputs(0x0042);
  rig.box.SetAnalog(0, 100);
  rig.box.SetAnalog(1, 5);
  ASSERT_EQ(OpenQuiet(c.inputs, c.phase), 0x42);
  rig.box.SetFault(c.fault);
  rig.clock.Advance(2 * rec.PollInterval);
  EXPECT_EQ(rec.InputWord, c.inputWord);
  EXPECT_EQ(rec.AnalogX, c.analog);
  EXPECT_EQ(rec.AnalogY, c.analog);
  rig.box.SetFault(BoxFault::kNone);
  rig.clock.Advance(2 * rec.PollInterval);
  EXPECT_EQ(rec.InputWord, 0x0042u);
  EXPECT_EQ(rec.AnalogX, c.phase != 0 ? 100u : 0u);
  EXPECT_EQ(rec.AnalogY, c.phase != 0 ? 5u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Replies, FaultTest,
                         ::testing::Values(FaultCase{16, 0, BoxFault::kShort, kErr, 0},
                                           FaultCase{8, 1, BoxFault::kShort, 0x42, kErr},
                                           FaultCase{16, 1, BoxFault::kShort, kErr, kErr},
                                           FaultCase{16, 1, BoxFault::kSilent, kErr, kErr}));

TEST_F(DriverTest, GarbageIsDecodedAsItCameButClamped) {
  ASSERT_EQ(OpenQuiet(16, 1), 0);
  rig.box.SetFault(BoxFault::kGarbage);
  for (int i = 0; i < 20; ++i) {
    rig.clock.Advance(16);
    EXPECT_LE(rec.InputWord, 0xFFFFu);
    EXPECT_LE(rec.AnalogX, 2048u);
    EXPECT_LE(rec.AnalogY, 2048u);
  }
  EXPECT_EQ(rig.box.ExchangeCount(), 20u);
}

TEST_F(DriverTest, VanishedDeviceFailsEveryTickAndCloseStillCompletes) {
  ASSERT_EQ(OpenQuiet(8), 0);
  rig.box.SetInputs(0x00FF);
  rig.clock.Advance(10);
  rig.box.SetFault(BoxFault::kVanished);
  rig.clock.Advance(50);
  EXPECT_EQ(rec.InputWord, kErr);
  EXPECT_EQ(rig.box.ExchangeCount(), 1u);
  EXPECT_EQ(rec.Counters[0], 1u);  // the error value changes nothing after the first tick
  EXPECT_EQ(zqSetMotor(&rec, 1, 1), 0x1FFFF);
  EXPECT_EQ(zqCloseInterface(&rec), 1);
  EXPECT_EQ(rig.clock.TimerCount(), 0u);
  rig.box.SetFault(BoxFault::kNone);  // the adapter comes back: the port opens again
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 0xFF);
}

// --- an imperfect line ---------------------------------------------------------------

struct LineFaultCase {
  uint32_t inputs, phase;
  BoxFault fault;
  int exchanges;                 // how long the fault lasts
  bool inputsCome, analogComes;  // in the exchanges while it lasts
};

class LineFaultTest : public DriverTest, public ::testing::WithParamInterface<LineFaultCase> {};

// Whatever a fault leaves on the line (the rest of a split reply, a late reply, a stray
// byte) must never be read as a later command's reply. The inputs change every tick,
// so a reply read one exchange late shows.
TEST_P(LineFaultTest, InputsAreRightAgainFromTheFirstExchangeAfterTheFault) {
  const LineFaultCase& c = GetParam();
  const uint16_t words[] = {0x8005, 0x0580, 0x1234, 0xA55A, 0x00FF, 0xFF00, 0x4321, 0x0001};
  const uint32_t mask = c.inputs == 16 ? 0xFFFF : 0xFF;
  rig.box.SetAnalog(0, 0x0123);
  rig.box.SetAnalog(1, 0x0456);
  ASSERT_NE(OpenQuiet(c.inputs, c.phase), static_cast<int32_t>(kErr));
  const uint32_t period = rec.PollInterval;
  rig.box.SetFault(c.fault);
  for (int i = 0; i < c.exchanges; ++i) {
    rig.box.SetInputs(words[i]);
    rig.clock.Advance(period);
    EXPECT_EQ(rec.InputWord, c.inputsCome ? words[i] & mask : kErr) << "faulty exchange " << i;
    if (c.phase != 0) {
      const uint32_t measured = rec.AnalogPhase == 2 ? rec.AnalogX : rec.AnalogY;
      const uint32_t want = rec.AnalogPhase == 2 ? 0x0123 : 0x0456;
      EXPECT_EQ(measured, c.analogComes ? want : kErr) << "faulty exchange " << i;
    }
  }
  rig.box.SetFault(BoxFault::kNone);
  for (int i = 0; i < 8; ++i) {
    rig.box.SetInputs(words[7 - i]);
    rig.clock.Advance(period);
    EXPECT_EQ(rec.InputWord, words[7 - i] & mask) << "exchange " << i << " after the fault";
    if (c.phase != 0 && i > 0) {
      EXPECT_EQ(rec.AnalogX, 0x0123u) << i;
      EXPECT_EQ(rec.AnalogY, 0x0456u) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, LineFaultTest,
    ::testing::Values(
        // Split: the first byte, the rest 8 ms later, past the 5 ms gap a read waits.
        LineFaultCase{16, 0, BoxFault::kSplit, 3, false, false},
        LineFaultCase{8, 1, BoxFault::kSplit, 3, true, false},
        LineFaultCase{16, 1, BoxFault::kSplit, 3, false, false},
        LineFaultCase{8, 0, BoxFault::kSplit, 3, true, false},  // one byte comes whole
        // One reply 40 ms late: past the 34 and 38 ms a one- or two-byte read waits,
        // within the 46 ms of a four-byte one.
        LineFaultCase{8, 0, BoxFault::kLate, 1, false, false},
        LineFaultCase{16, 0, BoxFault::kLate, 1, false, false},
        LineFaultCase{16, 1, BoxFault::kLate, 1, true, true},
        // A stray byte after the reply.
        LineFaultCase{8, 0, BoxFault::kStray, 3, true, false},
        LineFaultCase{16, 1, BoxFault::kStray, 3, true, true}));

TEST_F(DriverTest, VanishedDeviceIsLookedForOnceASecondAndComesBackWithMotorsOff) {
  rig.box.SetInputs(0x0003);
  ASSERT_EQ(OpenQuiet(8), 0x03);
  const uint32_t handle = rec.Handle;
  const uint32_t timer = rec.TimerId;
  rec.MotorWord = 0x0006;
  rig.clock.Advance(10);
  ASSERT_EQ(rig.box.MotorWord(), 0x0006);
  const size_t exchanges = rig.box.ExchangeCount();
  auto reopens = [&] {
    const Strings& calls = rig.os.Calls();
    return std::count(calls.begin(), calls.end(), std::string("reopen COM1"));
  };

  // The adapter is pulled. The first failing tick lets go of the dead device at once,
  // then the driver looks for it once a second.
  rig.box.SetFault(BoxFault::kVanished);
  const struct {
    uint32_t advance;
    long attempts;
  } steps[] = {{10, 1}, {990, 1}, {10, 2}, {990, 2}, {10, 3}};
  for (const auto& s : steps) {
    rig.clock.Advance(s.advance);
    EXPECT_EQ(reopens(), s.attempts) << rig.clock.NowMs();
    EXPECT_EQ(rec.InputWord, kErr);
  }
  EXPECT_EQ(rig.box.ExchangeCount(), exchanges);

  // Plugged back in: found at the next try, set up as at open, and the motor word
  // cleared before the first exchange, so that nothing starts by itself.
  rig.box.SetFault(BoxFault::kNone);
  rig.box.SetInputs(0x0005);
  rig.box.ClearRecords();
  rig.os.ClearCalls();
  rig.clock.Advance(990);
  EXPECT_TRUE(rig.os.Calls().empty());
  rig.clock.Advance(10);
  EXPECT_EQ(rig.os.Calls(), (Strings{"reopen COM1", "line", "timeouts"}));
  EXPECT_EQ(rec.MotorWord, 0u);
  rig.clock.Advance(50);
  EXPECT_EQ(rec.InputWord, 0x05u);
  EXPECT_EQ(rig.box.MotorWords(), (std::vector<uint16_t>(5, 0)));
  EXPECT_EQ(rec.Handle, handle);  // the caller's record never saw a change but the inputs
  EXPECT_EQ(rec.TimerId, timer);
  EXPECT_EQ(zqSetMotor(&rec, 1, 2), 0x05);
  rig.clock.Advance(10);
  EXPECT_EQ(rig.box.MotorWord(), 0x0002);
  EXPECT_EQ(zqCloseInterface(&rec), 1);
  EXPECT_TRUE(rig.os.OpenPorts().empty());
}

}  // namespace
}  // namespace kelvora::drvtest
