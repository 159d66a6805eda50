// A box that misbehaves while polled: silent, short, garbled or gone. Every call
// returns, the tick goes on with the error value, and close completes.
#include <vector>

#include "driver/connections.h"
#include "driver_test_util.h"

namespace kelvora::drvtest {
namespace {

using sim::BoxFault;

TEST_F(DriverTest, ShortSixteenInputReplyFailsTheInputWord) {
  ASSERT_EQ(OpenQuiet(16), 0);
  rig.box.SetInputs(0x0203);
  rig.box.SetFault(BoxFault::kShort);  // I0 comes, I1 does not
  rig.clock.Advance(12);
  EXPECT_EQ(rec.InputWord, 0x1FFFFu);
  rig.box.SetFault(BoxFault::kNone);
  rig.clock.Advance(12);
  EXPECT_EQ(rec.InputWord, 0x0203u);
}

TEST_F(DriverTest, ShortAnalogReplyKeepsTheInputsButFailsTheValue) {
  ASSERT_EQ(OpenQuiet(8, 1), 0);
  rig.box.SetInputs(0x0042);
  rig.box.SetAnalog(0, 100);
  rig.box.SetFault(BoxFault::kShort);  // only I0 of I0, AH, AL
  rig.clock.Advance(16);
  EXPECT_EQ(rec.InputWord, 0x42u);
  EXPECT_EQ(rec.AnalogX, 0x1FFFFu);
  EXPECT_EQ(rec.AnalogPhase, 2u);  // alternation goes on
}

TEST_F(DriverTest, ShortWideAnalogReplyFailsBothFields) {
  ASSERT_EQ(OpenQuiet(16, 1), 0);
  rig.box.SetFault(BoxFault::kShort);
  rig.clock.Advance(16);
  EXPECT_EQ(rec.InputWord, 0x1FFFFu);
  EXPECT_EQ(rec.AnalogX, 0x1FFFFu);
}

TEST_F(DriverTest, SilentBoxDuringAnalogPollingFailsInputsAndValue) {
  ASSERT_EQ(OpenQuiet(16, 1), 0);
  rig.box.SetAnalog(1, 5);
  rig.clock.Advance(16);
  rig.box.SetFault(BoxFault::kSilent);
  rig.clock.Advance(16);
  EXPECT_EQ(rec.AnalogY, 0x1FFFFu);
  EXPECT_EQ(rec.InputWord, 0x1FFFFu);
  rig.box.SetFault(BoxFault::kNone);
  rig.clock.Advance(32);
  EXPECT_EQ(rec.AnalogY, 5u);
  EXPECT_EQ(rec.InputWord, 0u);
}

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
  EXPECT_EQ(rec.InputWord, 0x1FFFFu);
  EXPECT_EQ(rig.box.ExchangeCount(), 1u);
  EXPECT_EQ(rec.Counters[0], 1u);  // the first tick; the error value changes nothing after
  EXPECT_EQ(zqSetMotor(&rec, 1, 1), 0x1FFFF);  // open record: returns InputWord
  EXPECT_EQ(zqGetInput(&rec, 3), -1);
  EXPECT_EQ(zqCloseInterface(&rec), 1);
  EXPECT_EQ(rig.clock.TimerCount(), 0u);
  // The adapter comes back: the port opens again.
  rig.box.SetFault(BoxFault::kNone);
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 0xFF);
}

TEST_F(DriverTest, ShortReplyAtOpenOfEightInputsIsAGoodReply) {
  rig.box.SetInputs(0x0009);
  rig.box.SetFault(BoxFault::kShort);  // one byte is the whole 8-input reply
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 9);
}

}  // namespace
}  // namespace kelvora::drvtest
