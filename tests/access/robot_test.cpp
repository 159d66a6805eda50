// Coordinated positioning against the virtual robot in virtual time. Verdicts look at
// what the robot really did (true positions, motor words on the wire) as well as at
// the robot object's own positions.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/access/robot_rig.h"

namespace kelvora::access {
namespace {

using sim::RobotRigOptions;
using testing::RobotOnRig;

constexpr uint32_t kErr = kInterfaceError;
constexpr int32_t N = kNotGiven;

RobotRigOptions Rig(std::vector<double> start, double speed = 40.0, double coast = 0.0) {
  RobotRigOptions o;
  o.start = std::move(start);
  o.speed = speed;
  o.coast = coast;
  return o;
}

int32_t Pos(const TBrelRobot& r, int axis) {
  return r.Axes.GetPos(axis, mcPosition);
}

// Index of the last exchange in which the motor was on, -1 if never.
int LastOn(const std::vector<int>& codes) {
  for (int i = static_cast<int>(codes.size()) - 1; i >= 0; --i) {
    if (codes[i] != 0) return i;
  }
  return -1;
}

TEST(RobotMove, SingleAxisCreepsFrom94AndStopsOn100) {
  RobotOnRig t(Rig({0, 60, 50, 10}));
  t.robot.SetMotor(4, 1);  // a motor outside the move keeps running
  t.ClearWire();
  const uint32_t r = t.robot.MoveToPositions(100, N, N, N, N, N, N, N);
  EXPECT_EQ(r, t.robot.InputWord());
  EXPECT_NE(r, kErr);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(Pos(t.robot, 1), 100);
  EXPECT_EQ(t.TruePos(1), 100);
  EXPECT_EQ(t.robot.MotorWord(), 0x0040u);

  // Full power up to the brake point: the first cycle that runs with the motor off
  // follows the first cycle whose position reached 94.
  const auto& tr = t.trace;
  const auto firstOff =
      std::find_if(tr.begin(), tr.end(), [](const auto& c) { return (c.motorWord & 2) == 0; });
  ASSERT_NE(firstOff, tr.end());
  const size_t j = firstOff - tr.begin();
  ASSERT_GE(j, 2u);
  EXPECT_EQ(tr[j - 1].pos[1], 94);
  EXPECT_LT(tr[j - 2].pos[1], 94);
  EXPECT_GE(tr[j - 1].truePos[1], 93.5);

  // On the wire: right only, never left; switching on and off from there on; then off.
  const std::vector<int> codes = t.MotorOnWire(1);
  EXPECT_TRUE(std::none_of(codes.begin(), codes.end(), [](int c) { return c == 1 || c == 3; }));
  EXPECT_GE(t.Changes(1), 8);  // six creep units, on and off
  t.rig.Advance(30);
  EXPECT_EQ(t.rig.box.MotorWord(), 0x0040);
  EXPECT_EQ(t.TruePos(1), 100);
  for (uint16_t w : t.rig.box.MotorWords()) EXPECT_EQ(w & 0x00C0, 0x0040);
}

TEST(RobotMove, AnArrivalKeepsTheTargetWhileTheAxisRunsOn) {
  // The run-down after the motor stops is counted but not added: this is the drift
  // that coasting causes.
  RobotOnRig t(Rig({0, 60, 50, 10}, 40.0, 0.5));
  t.robot.MoveToPositions(100, N, N, N, N, N, N, N);
  EXPECT_EQ(Pos(t.robot, 1), 100);
  EXPECT_GT(t.rig.Position(1), 100.5);
  EXPECT_EQ(t.robot.Counter(2), 101u);
}

TEST(RobotMove, TargetAboveMaximumIsClampedOnTheWayUp) {
  RobotOnRig t(Rig({100, 60, 50, 10}, 100.0));
  t.robot.Axes.SetPos(1, mcMaximum, 250);
  t.robot.MoveToPositions(900, N, N, N, N, N, N, N);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(Pos(t.robot, 1), 250);
  EXPECT_EQ(t.TruePos(1), 250);
}

TEST(RobotMove, ATargetClampedBelowTheAxisDrivesItDownNotBothWays) {
  // The axis stands above a maximum lowered since; the clamped target lies below it.
  RobotOnRig t(Rig({280, 60, 50, 10}, 100.0));
  t.robot.Axes.SetPos(1, mcMaximum, 250);
  t.ClearWire();
  t.robot.MoveToPositions(400, N, N, N, N, N, N, N);
  const std::vector<int> codes = t.MotorOnWire(1);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 3), 0);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 2), 0);
  EXPECT_EQ(Pos(t.robot, 1), 250);
  EXPECT_EQ(t.TruePos(1), 250);
}

TEST(RobotMove, TargetZeroRunsToTheEndSwitchAtFullPower) {
  RobotOnRig t(Rig({200, 60, 50, 10}, 100.0, 0.5));
  t.ClearWire();
  const uint32_t r = t.robot.MoveToPositions(0, N, N, N, N, N, N, N);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(r & InputMask[1], InputMask[1]);  // end switch closed
  EXPECT_EQ(Pos(t.robot, 1), 0);
  EXPECT_EQ(t.rig.Position(1), 0.0);
  // Left on, then off once: no creep anywhere.
  const std::vector<int> codes = t.MotorOnWire(1);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 2), 0);
  EXPECT_LE(t.Changes(1), 2);
  EXPECT_GE(std::count(codes.begin(), codes.end(), 1), 190);
}

TEST(RobotMove, AnUnhomedAxisRunsDownUntilItsEndSwitchStopsIt) {
  RobotOnRig t(Rig({120, 60, 50, 10}, 100.0));
  t.robot.Axes.SetPos(1, mcPosition, 9999);
  t.robot.MoveToPositions(50, N, N, N, N, N, N, N);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(Pos(t.robot, 1), 0);
  EXPECT_EQ(t.rig.Position(1), 0.0);
}

TEST(RobotMove, TwoAxesArrivingTogetherOneStopsShortWithItsCountedPosition) {
  // Axis 1 arrives while axis 2 creeps in an off phase: axis 2 is dropped there.
  RobotOnRig t(Rig({0, 0, 50, 10}, 40.0, 0.5));
  t.ClearWire();
  t.robot.MoveToPositions(100, 104, N, N, N, N, N, N);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(Pos(t.robot, 1), 100);
  EXPECT_LE(t.rig.Position(2), 102.5);  // really short of 104
  EXPECT_EQ(Pos(t.robot, 2), t.TruePos(2));
  EXPECT_EQ(static_cast<uint32_t>(Pos(t.robot, 2)), t.robot.Counter(4));
  // Motor 2 was not switched on again after motor 1 stopped.
  EXPECT_LE(LastOn(t.MotorOnWire(2)), LastOn(t.MotorOnWire(1)));
  // Both started in the same exchange.
  const std::vector<int> m1 = t.MotorOnWire(1), m2 = t.MotorOnWire(2);
  const auto first1 = std::find(m1.begin(), m1.end(), 2) - m1.begin();
  const auto first2 = std::find(m2.begin(), m2.end(), 2) - m2.begin();
  EXPECT_EQ(first1, first2);
}

TEST(RobotMove, AnAxisThatPassesItsTargetKeepsItsCountedPosition) {
  // One unit per poll, so every unit is counted, but three per control cycle and a long
  // run-down: arrival overshoots.
  RobotOnRig t(Rig({0, 200, 50, 10}, 100.0, 3.0));
  t.robot.LoopPause = 30;
  t.robot.MoveToPositions(100, 58, N, N, N, N, N, N);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_GT(t.rig.Position(1), 101.5);
  EXPECT_LT(t.rig.Position(2), 56.5);
  EXPECT_EQ(Pos(t.robot, 1), t.TruePos(1));
  EXPECT_EQ(Pos(t.robot, 2), t.TruePos(2));
}

TEST(RobotMove, AMoveThatStartsNothingOnlySettles) {
  RobotOnRig t(Rig({0, 0, 0, 10}));
  t.robot.Axes.SetPos(2, mcPosition, 50);  // believed elsewhere, but on its end switch
  t.robot.Axes.SetPos(3, mcPosition, 30);  // target below, switch closed: not started
  t.ClearWire();
  const uint64_t t0 = t.rig.clock.NowMs();
  const uint32_t r = t.robot.MoveToPositions(0, 20, 10, N, N, N, N, N);
  EXPECT_EQ(t.rig.clock.NowMs() - t0, 100u);
  EXPECT_TRUE(t.trace.empty());
  EXPECT_EQ(r & 0x15u, 0x15u);  // inputs 1, 3, 5: the three end switches
  EXPECT_EQ(t.robot.LastStatus, 0);
  for (uint16_t w : t.rig.box.MotorWords()) EXPECT_EQ(w, 0);
  EXPECT_EQ(Pos(t.robot, 1), 0);
  EXPECT_EQ(Pos(t.robot, 2), 0);
  EXPECT_EQ(Pos(t.robot, 3), 0);
}

TEST(RobotMove, AClosedEndSwitchZeroesThePositionAndStillLetsTheAxisUp) {
  RobotOnRig t(Rig({0, 60, 50, 10}, 100.0));
  t.robot.Axes.SetPos(1, mcPosition, 3);
  t.robot.MoveToPositions(40, N, N, N, N, N, N, N);
  EXPECT_EQ(Pos(t.robot, 1), 40);
  EXPECT_EQ(t.TruePos(1), 40);
}

TEST(RobotMove, AStuckImpulseSwitchRunsDownToTheEndSwitch) {
  RobotOnRig t(Rig({80, 60, 50, 10}, 100.0));
  t.rig.robot.SetStuckImpulse(1, true);
  t.robot.MoveToPositions(30, N, N, N, N, N, N, N);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(t.rig.Position(1), 0.0);
  EXPECT_EQ(Pos(t.robot, 1), 0);
}

enum class AbortBy { kMoveStep, kMessages, kEsc };

class RobotAbort : public ::testing::TestWithParam<AbortBy> {};

TEST_P(RobotAbort, StopsTheMoveWithinOneCycleAndKeepsTheLastCyclesPositions) {
  RobotOnRig t(Rig({10, 20, 50, 10}, 40.0, 0.5));
  t.robot.SetMotor(4, 1);
  constexpr int kAt = 30;
  int pumps = 0;
  switch (GetParam()) {
    case AbortBy::kMoveStep:
      t.onCycle = [&](int n) {
        if (n == kAt) t.robot.StopFlag = true;
      };
      break;
    case AbortBy::kMessages:  // a HALT button's handler
      t.hooks.onMessages = [&] {
        if (++pumps == kAt) t.robot.StopFlag = true;
      };
      break;
    case AbortBy::kEsc:
      t.hooks.onMessages = [&] {
        if (++pumps == kAt) t.hooks.escAnswer = true;
      };
      break;
  }
  t.ClearWire();
  const uint32_t r = t.robot.MoveToPositions(150, 120, N, N, N, N, N, N);
  EXPECT_EQ(r, kErr);
  EXPECT_EQ(t.robot.LastStatus, 2);
  ASSERT_EQ(t.trace.size(), static_cast<size_t>(kAt));
  EXPECT_EQ(Pos(t.robot, 1), t.trace.back().pos[1]);
  EXPECT_EQ(Pos(t.robot, 2), t.trace.back().pos[2]);
  EXPECT_EQ(t.robot.MotorWord(), 0x0040u);  // motor 4 keeps its bit

  // The next exchange carries the stop; the robot runs down, the positions stay.
  const size_t before = t.rig.box.MotorWords().size();
  t.rig.Advance(10);
  const std::vector<uint16_t> words = t.rig.box.MotorWords();
  ASSERT_GT(words.size(), before);
  EXPECT_EQ(words.back(), 0x0040);
  t.rig.Advance(200);
  EXPECT_GT(t.rig.Position(1), t.trace.back().truePos[1]);
  EXPECT_EQ(Pos(t.robot, 1), t.trace.back().pos[1]);
}

INSTANTIATE_TEST_SUITE_P(ByEveryMeans, RobotAbort,
                         ::testing::Values(AbortBy::kMoveStep, AbortBy::kMessages, AbortBy::kEsc));

TEST(RobotMove, StopFlagStaysSetAndAbortsTheNextMoveAtOnce) {
  RobotOnRig t(Rig({10, 20, 50, 10}));
  t.robot.StopFlag = true;
  EXPECT_EQ(t.robot.MoveToPositions(50, N, N, N, N, N, N, N), kErr);
  EXPECT_TRUE(t.trace.empty());
  EXPECT_TRUE(t.robot.StopFlag);
  EXPECT_EQ(Pos(t.robot, 1), 10);
}

TEST(RobotMove, AnInterfaceErrorEndsTheMoveWithoutInventingPositions) {
  // A descending axis must not take the error word for its end switch.
  RobotOnRig t(Rig({150, 20, 50, 10}));
  t.onCycle = [&](int n) {
    if (n == 20) t.rig.box.SetFault(sim::BoxFault::kSilent);
  };
  const uint32_t r = t.robot.MoveToPositions(30, 90, N, N, N, N, N, N);
  EXPECT_EQ(r, kErr);
  EXPECT_EQ(t.robot.LastStatus, static_cast<int32_t>(kErr));
  EXPECT_EQ(t.robot.MotorWord(), 0u);
  EXPECT_GT(Pos(t.robot, 1), 100);
  EXPECT_EQ(Pos(t.robot, 1), t.trace.back().pos[1]);
  EXPECT_EQ(Pos(t.robot, 2), t.trace.back().pos[2]);
}

class RobotHome : public ::testing::Test {
 protected:
  RobotHome() : t(Rig({120, 80, 75, 14}, 100.0, 0.5)) {
    t.robot.Axes.SetPos(4, mcMaximum, 9999);  // the gripper is no positioned axis
  }
  RobotOnRig t;
};

TEST_F(RobotHome, RunsTheConfiguredAxesToTheirSwitchesAndZeroesAllEight) {
  for (int a = 1; a <= 8; ++a) t.robot.Axes.SetPos(a, mcPosition, 9999);
  t.ClearWire();
  EXPECT_NE(t.robot.MoveHome(), kErr);
  EXPECT_EQ(t.robot.LastStatus, 0);
  for (int a = 1; a <= 8; ++a) EXPECT_EQ(Pos(t.robot, a), 0) << a;
  for (int a = 1; a <= 3; ++a) EXPECT_EQ(t.rig.Position(a), 0.0) << a;
  EXPECT_EQ(t.rig.Position(4), 14.0);
  EXPECT_EQ(LastOn(t.MotorOnWire(4)), -1);
  // The three start together, left, at full power.
  const std::vector<uint16_t> words = t.rig.box.MotorWords();
  const auto first = std::find_if(words.begin(), words.end(), [](uint16_t w) { return w != 0; });
  ASSERT_NE(first, words.end());
  EXPECT_EQ(*first, 0x0015);
  for (int m = 1; m <= 3; ++m) EXPECT_LE(t.Changes(m), 2) << m;
}

TEST_F(RobotHome, ZeroesAllEightAlsoAfterAnAbort) {
  t.onCycle = [&](int n) {
    if (n == 15) t.robot.StopFlag = true;
  };
  EXPECT_EQ(t.robot.MoveHome(), kErr);
  EXPECT_EQ(t.robot.LastStatus, 2);
  for (int a = 1; a <= 8; ++a) EXPECT_EQ(Pos(t.robot, a), 0) << a;
  EXPECT_GT(t.rig.Position(1), 50.0);  // the robot believes what is not so
}

TEST_F(RobotHome, AxesAlreadyOnTheirSwitchesDoNotMove) {
  t.rig.robot.SetPosition(1, 0);
  t.rig.Advance(20);  // the driver has seen the switch
  t.ClearWire();
  t.robot.MoveHome();
  EXPECT_EQ(LastOn(t.MotorOnWire(1)), -1);
  EXPECT_EQ(t.rig.Position(2), 0.0);
}

TEST(RobotJog, TowardTheMaximumCreepsIntoItWithTheAxesBelowHeld) {
  RobotOnRig t(Rig({40, 30, 50, 10}, 100.0));
  t.robot.Axes.SetPos(2, mcMaximum, 120);
  t.ClearWire();
  t.robot.JogAxis(2, 2);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(Pos(t.robot, 2), 120);
  EXPECT_EQ(t.TruePos(2), 120);
  EXPECT_EQ(Pos(t.robot, 1), 40);
  EXPECT_EQ(LastOn(t.MotorOnWire(1)), -1);
  EXPECT_EQ(LastOn(t.MotorOnWire(3)), -1);
}

TEST(RobotJog, ReleasedHalfWayTowardZero) {
  RobotOnRig t(Rig({40, 100, 50, 10}, 100.0));
  t.onCycle = [&](int n) {
    if (n == 25) t.robot.StopFlag = true;  // the mouse is released
  };
  EXPECT_EQ(t.robot.JogAxis(2, 1), kErr);
  EXPECT_EQ(t.robot.LastStatus, 2);
  EXPECT_EQ(Pos(t.robot, 2), t.trace.back().pos[2]);
  EXPECT_GT(Pos(t.robot, 2), 60);
  EXPECT_LT(Pos(t.robot, 2), 90);
  EXPECT_EQ(Pos(t.robot, 1), 40);
}

TEST(RobotJog, GripperAxisToEitherEnd) {
  RobotOnRig t(Rig({40, 30, 50, 10}, 100.0));
  t.robot.Axes.SetPos(4, mcMaximum, 28);
  t.robot.MoveAxisToEnd(4, true);
  EXPECT_EQ(Pos(t.robot, 4), 28);
  EXPECT_EQ(t.TruePos(4), 28);
  t.robot.MoveAxisToEnd(4, false);
  EXPECT_EQ(Pos(t.robot, 4), 0);
  EXPECT_EQ(t.rig.Position(4), 0.0);
  for (int a = 1; a <= 3; ++a) EXPECT_EQ(t.TruePos(a), Pos(t.robot, a)) << a;
}

}  // namespace
}  // namespace kelvora::access
