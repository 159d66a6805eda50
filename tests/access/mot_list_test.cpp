// The axis table's defaults and accessors, and the moves that need no mechanics
// behind them (refusals, moves that start nothing, aborts before the first cycle).
#include <gtest/gtest.h>

#include "access/brel_consts.h"
#include "access/brel_mot_list.h"
#include "access/brel_robot.h"
#include "tests/access/fake_driver.h"

namespace kelvora::access {
namespace {

using testing::Driver;
using testing::FakeEnvironment;

constexpr uint32_t kErr = kInterfaceError;

TEST(TBrelMotList, DefaultsWireAxisIToMotorIAndInputs2iMinus1And2i) {
  TBrelMotList l;
  for (int i = 1; i <= 8; ++i) {
    EXPECT_EQ(l.GetNumber(i, mcEndSwitch), 2 * i - 1);
    EXPECT_EQ(l.GetNumber(i, mcImpulse), 2 * i);
    EXPECT_EQ(l.GetNumber(i, mcMotor), i);
    EXPECT_EQ(l.GetPos(i, mcMaximum), 9999);
    EXPECT_EQ(l.GetPos(i, mcPosition), 9999);
    EXPECT_EQ(l.GetName(i), "Dummy");
  }
}

TEST(TBrelMotList, EachAccessorHandlesOnlyItsOwnCodes) {
  TBrelMotList l;
  l.SetNumber(3, mcMotor, 5);
  l.SetNumber(3, mcImpulse, 10);
  l.SetNumber(3, mcEndSwitch, 9);
  l.SetPos(3, mcMaximum, 800);
  l.SetPos(3, mcPosition, 120);
  EXPECT_EQ(l.Mot[3].Motor, 5);
  EXPECT_EQ(l.Mot[3].ImpulseInput, 10);
  EXPECT_EQ(l.Mot[3].EndSwitch, 9);
  EXPECT_EQ(l.Mot[3].MaxPos, 800);
  EXPECT_EQ(l.Mot[3].Position, 120);

  for (int32_t code : {0, int32_t{mcMaximum}, int32_t{mcName}, int32_t{mcPosition}, 7, -1}) {
    EXPECT_EQ(l.GetNumber(3, code), 65535) << code;
    l.SetNumber(3, code, 1);
  }
  for (int32_t code :
       {0, int32_t{mcEndSwitch}, int32_t{mcImpulse}, int32_t{mcName}, int32_t{mcMotor}, 7}) {
    EXPECT_EQ(l.GetPos(3, code), 65535) << code;
    l.SetPos(3, code, 1);
  }
  // None of the refused stores landed anywhere.
  EXPECT_EQ(l.Mot[3].Motor, 5);
  EXPECT_EQ(l.Mot[3].ImpulseInput, 10);
  EXPECT_EQ(l.Mot[3].EndSwitch, 9);
  EXPECT_EQ(l.Mot[3].MaxPos, 800);
  EXPECT_EQ(l.Mot[3].Position, 120);

  l.SetName(3, 99, "Säule");  // the code is not examined
  EXPECT_EQ(l.GetName(3), "Säule");
}

TEST(TBrelMotList, AxisNumbersOutsideTheTableAreHarmless) {
  TBrelMotList l;
  for (int axis : {0, 9, -1, 1000}) {
    l.SetNumber(axis, mcMotor, 3);
    l.SetPos(axis, mcPosition, 3);
    l.SetName(axis, mcName, "x");
    EXPECT_EQ(l.GetNumber(axis, mcMotor), 65535);
    EXPECT_EQ(l.GetPos(axis, mcPosition), 65535);
    EXPECT_EQ(l.GetName(axis), "");
  }
}

TEST(TBrelRobot, ConstructionDefaults) {
  TBrelRobot r;
  EXPECT_EQ(r.BrakeZone, 6);
  EXPECT_EQ(r.SettlePause, 100u);
  EXPECT_EQ(r.LoopPause, 10u);
  EXPECT_FALSE(r.OnMoveStep);
  EXPECT_EQ(r.LastStatus, 1);
  EXPECT_EQ(r.Axes.GetPos(8, mcPosition), 9999);
}

TEST(TBrelRobot, ClosedRobotMovesNothing) {
  FakeEnvironment env;
  TBrelRobot r;
  r.LastStatus = 0;
  r.Axes.SetPos(1, mcMaximum, 500);
  const int32_t t[8] = {100, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(r.MoveTo(t, 1), kErr);
  EXPECT_EQ(r.MoveToPositions(1, 2, 3, 4, 5, 6, 7, 8), kErr);
  EXPECT_EQ(r.MoveHome(), kErr);
  EXPECT_EQ(r.JogAxis(1, 2), kErr);
  EXPECT_EQ(r.MoveAxisToEnd(1, true), kErr);
  EXPECT_EQ(r.LastStatus, 0);
  EXPECT_EQ(r.Axes.GetPos(1, mcPosition), 9999);  // MoveHome did not zero anything
  EXPECT_EQ(r.MotorWord(), 0u);
  EXPECT_EQ(env.clock.sleeps, 0);
}

class OpenRobot : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(robot.OpenInterface("COM1"), 0u); }
  FakeEnvironment env;
  TBrelRobot robot;
};

TEST_F(OpenRobot, CountZeroTouchesNoAxisAndSettles) {
  robot.SetMotorWord(0x00C0);  // motor 4 running outside the move
  robot.Record.InputWord = 0x0030;
  robot.Record.Counters[1] = 5;
  robot.StopFlag = true;  // no cycle runs, so no abort test either
  robot.LastStatus = 7;
  const int32_t t[8] = {};
  EXPECT_EQ(robot.MoveTo(t, 0), 0x0030u);
  EXPECT_EQ(env.clock.sleptMs, std::vector<uint32_t>({100}));
  EXPECT_EQ(robot.LastStatus, 0);
  EXPECT_EQ(robot.MotorWord(), 0x00C0u);
  EXPECT_EQ(robot.Record.Counters[1], 5u);
  EXPECT_EQ(robot.Axes.GetPos(1, mcPosition), 9999);
}

TEST_F(OpenRobot, NothingGivenForAxisOneMovesNothing) {
  robot.Axes.SetPos(1, mcPosition, 40);
  robot.Record.Counters[1] = 5;
  EXPECT_EQ(robot.MoveToPositions(65535, 10, 10, 65535, 65535, 65535, 65535, 65535), kErr);
  EXPECT_EQ(env.clock.sleeps, 0);
  EXPECT_EQ(robot.Record.Counters[1], 5u);
  EXPECT_EQ(robot.Axes.GetPos(1, mcPosition), 40);
}

TEST_F(OpenRobot, HomeWithNoConfiguredAxisStillZeroesEverything) {
  EXPECT_EQ(robot.MoveHome(), kErr);
  for (int i = 1; i <= 8; ++i) EXPECT_EQ(robot.Axes.GetPos(i, mcPosition), 0) << i;
}

TEST_F(OpenRobot, StopFlagAbortsInTheFirstCycleWithMotorsOfOtherAxesKept) {
  robot.SetMotorWord(0x4000);  // motor 8 belongs to no axis of this move
  robot.Axes.SetPos(1, mcMaximum, 500);
  robot.Axes.SetPos(2, mcMaximum, 500);
  robot.Axes.SetPos(1, mcPosition, 10);
  robot.Axes.SetPos(2, mcPosition, 300);
  robot.StopFlag = true;
  uint32_t started = 0;
  robot.Record.Counters[1] = 3;
  env.hooks.onMessages = [&] { started = robot.MotorWord(); };
  EXPECT_EQ(robot.MoveToPositions(200, 100, 65535, 65535, 65535, 65535, 65535, 65535), kErr);
  EXPECT_EQ(robot.LastStatus, 2);
  EXPECT_EQ(robot.MotorWord(), 0x4000u);
  EXPECT_EQ(env.clock.sleeps, 0);  // no sleep, no settle pause
  EXPECT_EQ(started, 0u);
  EXPECT_EQ(robot.Record.Counters[1], 0u);  // the setup ran
  EXPECT_EQ(robot.Axes.GetPos(1, mcPosition), 10);
  EXPECT_EQ(robot.Axes.GetPos(2, mcPosition), 300);
}

TEST_F(OpenRobot, AnErrorWordAtTheStartLeavesThePositionsAlone) {
  // Read as inputs, the error word closes every end switch.
  robot.Axes.SetPos(1, mcMaximum, 500);
  robot.Axes.SetPos(1, mcPosition, 250);
  robot.SetMotorWord(0x4001);
  robot.Record.InputWord = kErr;
  const int32_t t[8] = {400};
  EXPECT_EQ(robot.MoveTo(t, 1), kErr);
  EXPECT_EQ(robot.LastStatus, static_cast<int32_t>(kErr));
  EXPECT_EQ(robot.Axes.GetPos(1, mcPosition), 250);
  EXPECT_EQ(robot.MotorWord(), 0x4000u);
}

TEST_F(OpenRobot, CountAndAxisOutsideTheTableAreRefused) {
  const int32_t t[8] = {};
  EXPECT_EQ(robot.MoveTo(t, 9), kErr);
  EXPECT_EQ(robot.MoveTo(t, -1), kErr);
  EXPECT_EQ(robot.JogAxis(0, 1), kErr);
  EXPECT_EQ(robot.JogAxis(9, 1), kErr);
  EXPECT_EQ(robot.MoveAxisToEnd(9, true), kErr);
  EXPECT_EQ(env.clock.sleeps, 0);
}

}  // namespace
}  // namespace kelvora::access
