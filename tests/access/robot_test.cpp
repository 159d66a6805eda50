// SPDX-License-Identifier: MIT
// The axis table and coordinated positioning against the virtual robot in virtual time.
// Verdicts look at what the robot really did (true positions, motor words on the wire)
// as well as at the robot object's own positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "tests/access/robot_rig.h"

namespace kelvora::access {
namespace {

using testing::Rig;
using testing::RobotOnRig;
constexpr uint32_t kErr = kInterfaceError;
constexpr int32_t N = kNotGiven;

TEST(TBrelMotList, AccessorsHandleOnlyTheirOwnCodesAndAxes) {
  TBrelMotList l;
  l.SetNumber(3, mcMotor, 5);
  l.SetPos(3, mcPosition, 120);
  l.SetName(3, 99, "Säule");  // the code is not examined
  for (int32_t code : {0, 7, int32_t{mcName}, int32_t{mcMaximum}, int32_t{mcPosition}}) {
    EXPECT_EQ(l.GetNumber(3, code), 65535) << code;
    l.SetNumber(3, code, 1);
  }
  for (int32_t code : {0, 7, int32_t{mcName}, int32_t{mcEndSwitch}, int32_t{mcImpulse}}) {
    EXPECT_EQ(l.GetPos(3, code), 65535) << code;
    l.SetPos(3, code, 1);
  }
  for (int axis : {0, 9, -1, 1000}) {  // nothing reaches past the table
    l.SetNumber(axis, mcMotor, 3);
    l.SetPos(axis, mcPosition, 3);
    l.SetName(axis, mcName, "x");
    EXPECT_EQ(l.GetNumber(axis, mcMotor) & l.GetPos(axis, mcPosition), 65535);
    EXPECT_EQ(l.GetName(axis), "");
  }
  const TMot& m = l.Mot[3];  // none of the refused stores landed
  EXPECT_EQ(std::vector<int32_t>({m.Motor, m.ImpulseInput, m.EndSwitch, m.MaxPos, m.Position}),
            std::vector<int32_t>({5, 6, 5, 9999, 120}));
  EXPECT_EQ(l.GetName(3), "Säule");
}

TEST(RobotMove, RefusedMovesTouchNothing) {
  RobotOnRig t;
  TBrelRobot closed;
  closed.LastStatus = 0;
  const int32_t target[8] = {100};
  for (uint32_t r : {closed.MoveTo(target, 1), closed.MoveHome(), closed.JogAxis(1, 2),
                     closed.MoveAxisToEnd(1, true)}) {
    EXPECT_EQ(r, kErr);
  }
  EXPECT_EQ(closed.LastStatus, 0);
  EXPECT_EQ(closed.Axes.GetPos(1, mcPosition), 9999);  // MoveHome zeroed nothing

  // Counts and axes outside the table, and nothing given for axis 1.
  const uint64_t t0 = t.Now();
  for (uint32_t r : {t.robot.MoveTo(target, 9), t.robot.MoveTo(target, -1), t.robot.JogAxis(0, 1),
                     t.robot.JogAxis(9, 1), t.robot.MoveAxisToEnd(9, true),
                     t.robot.MoveToPositions(65535, 10, 10, N, N, N, N, N)}) {
    EXPECT_EQ(r, kErr);
  }
  EXPECT_EQ(t.Now(), t0);
  EXPECT_EQ(t.Pos(1), 20);
  EXPECT_EQ(t.robot.MotorWord(), 0u);
}

TEST(RobotMove, SingleAxisCreepsFrom94AndStopsOn100) {
  RobotOnRig t(Rig({0, 60, 50, 10}));
  t.ExtraMotorOn();  // a motor outside the move keeps running
  t.ClearWire();
  const uint32_t r = t.robot.MoveToPositions(100, N, N, N, N, N, N, N);
  EXPECT_EQ(r, t.robot.InputWord());
  EXPECT_NE(r, kErr);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(t.Pos(1), 100);
  EXPECT_EQ(t.TruePos(1), 100);
  EXPECT_EQ(t.robot.MotorWord(), 0x0040u);

  // Full power up to the brake point: the first cycle with the motor off follows the
  // first cycle whose position reached 94.
  const auto& tr = t.trace;
  const auto firstOff =
      std::find_if(tr.begin(), tr.end(), [](const auto& c) { return (c.motorWord & 2) == 0; });
  ASSERT_NE(firstOff, tr.end());
  const size_t j = firstOff - tr.begin();
  ASSERT_GE(j, 2u);
  EXPECT_EQ(tr[j - 1].pos[1], 94);
  EXPECT_LT(tr[j - 2].pos[1], 94);
  EXPECT_GE(tr[j - 1].truePos[1], 93.5);

  // On the wire: right only, never left; on and off while creeping; then off.
  const std::vector<int> codes = t.MotorOnWire(1);
  EXPECT_TRUE(std::none_of(codes.begin(), codes.end(), [](int c) { return c == 1 || c == 3; }));
  EXPECT_GE(t.Changes(1), 8);  // six creep units, on and off
  t.rig.Advance(30);
  EXPECT_EQ(t.rig.box.MotorWord(), 0x0040);
  EXPECT_EQ(t.TruePos(1), 100);
  for (uint16_t w : t.rig.box.MotorWords()) EXPECT_EQ(w & 0x00C0, 0x0040);
}

TEST(RobotMove, AnArrivalCountsTheRunDownAfterTheMotorStops) {
  // The settle pause lets the axis run on; what it counted meanwhile is added, so the
  // position is where the robot stands, not the target it passed.
  RobotOnRig t(Rig({0, 60, 50, 10}, 40.0, 0.5));
  t.robot.MoveToPositions(100, N, N, N, N, N, N, N);
  EXPECT_GT(t.rig.Position(1), 100.5);
  EXPECT_EQ(t.robot.Counter(2), 101u);
  EXPECT_EQ(t.Pos(1), 101);
  EXPECT_EQ(t.Pos(1), t.TruePos(1));
}

TEST(RobotMove, SingleAxisMovesEndWhereTheRobotReallyStands) {
  struct Case {
    const char* what;
    double start;
    int32_t believed, max, target;
    bool stuckImpulse;
    int32_t end;
    int neverCode;  // besides both bits: the direction the move must not drive
    int32_t status = 0;
  } cases[] = {
      {"clamped to the maximum on the way up", 100, 100, 250, 900, false, 250, 1},
      {"clamped below a lowered maximum: down only", 280, 280, 250, 900, false, 250, 2},
      {"unhomed: down to the end switch", 120, 9999, 280, 50, false, 0, 2},
      // 1.2 s of travel without a single impulse: the stall guard ends it after 1 s.
      {"no impulses: stopped as stalled, position unknown", 120, 120, 280, 50, true, 9999, 2, 2},
      {"on its closed switch: zeroed, then up", 0, 3, 280, 40, false, 40, 1},
  };
  for (const Case& c : cases) {
    RobotOnRig t(Rig({c.start, 60, 50, 10}, 100.0));
    t.robot.Axes.SetPos(1, mcMaximum, c.max);
    t.robot.Axes.SetPos(1, mcPosition, c.believed);
    t.rig.robot.SetStuckImpulse(1, c.stuckImpulse);
    t.ClearWire();
    t.robot.MoveToPositions(c.target, N, N, N, N, N, N, N);
    EXPECT_EQ(t.robot.LastStatus, c.status) << c.what;
    EXPECT_EQ(t.Pos(1), c.end) << c.what;
    if (c.end != 9999) {
      EXPECT_EQ(t.TruePos(1), c.end) << c.what;
    }
    EXPECT_EQ(t.robot.TakeFaults().stalled, c.stuckImpulse ? 1u << 1 : 0u) << c.what;
    const std::vector<int> codes = t.MotorOnWire(1);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 3), 0) << c.what;
    EXPECT_EQ(std::count(codes.begin(), codes.end(), c.neverCode), 0) << c.what;
  }
}

TEST(RobotMove, TargetZeroRunsToTheEndSwitchAtFullPower) {
  RobotOnRig t(Rig({200, 60, 50, 10}, 100.0, 0.5));
  t.ClearWire();
  const uint32_t r = t.robot.MoveToPositions(0, N, N, N, N, N, N, N);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(r & InputMask[1], InputMask[1]);  // end switch closed
  EXPECT_EQ(t.Pos(1), 0);
  EXPECT_EQ(t.rig.Position(1), 0.0);
  // Left on, then off once: no creep anywhere.
  const std::vector<int> codes = t.MotorOnWire(1);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 2), 0);
  EXPECT_LE(t.Changes(1), 2);
  EXPECT_GE(std::count(codes.begin(), codes.end(), 1), 190);
}

TEST(RobotMove, TwoAxesArrivingTogetherOneStopsShortWithItsCountedPosition) {
  // Axis 1 arrives while axis 2 creeps in an off phase: axis 2 is dropped there.
  RobotOnRig t(Rig({0, 0, 50, 10}, 40.0, 0.5));
  t.ClearWire();
  t.robot.MoveToPositions(100, 104, N, N, N, N, N, N);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(t.Pos(1), t.TruePos(1));    // 100 and its run-down
  EXPECT_LE(t.rig.Position(2), 102.5);  // really short of 104
  EXPECT_EQ(t.Pos(2), t.TruePos(2));
  EXPECT_EQ(static_cast<uint32_t>(t.Pos(2)), t.robot.Counter(4));
  // Both started in the same exchange; motor 2 was not switched on after motor 1 stopped.
  const std::vector<int> m1 = t.MotorOnWire(1), m2 = t.MotorOnWire(2);
  EXPECT_EQ(std::find(m1.begin(), m1.end(), 2) - m1.begin(),
            std::find(m2.begin(), m2.end(), 2) - m2.begin());
  EXPECT_LE(t.LastOn(2), t.LastOn(1));
}

TEST(RobotMove, AnAxisThatPassesItsTargetKeepsItsCountedPosition) {
  // Every unit counted, but three per control cycle and a long run-down: arrival overshoots.
  RobotOnRig t(Rig({0, 200, 50, 10}, 100.0, 3.0));
  t.robot.LoopPause = 30;
  t.robot.MoveToPositions(100, 58, N, N, N, N, N, N);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_GT(t.rig.Position(1), 101.5);
  EXPECT_LT(t.rig.Position(2), 56.5);
  EXPECT_EQ(t.Pos(1), t.TruePos(1));
  EXPECT_EQ(t.Pos(2), t.TruePos(2));
}

TEST(RobotMove, MovesThatStartNothingOnlySettle) {
  RobotOnRig t(Rig({0, 0, 0, 10}));
  t.robot.Axes.SetPos(2, mcPosition, 50);  // believed elsewhere, but on its end switch
  t.robot.Axes.SetPos(3, mcPosition, 30);  // target below, switch closed: not started
  t.ExtraMotorOn();                        // outside the move: kept
  t.rig.Advance(20);
  t.ClearWire();
  uint64_t t0 = t.Now();
  const uint32_t r = t.robot.MoveToPositions(0, 20, 10, N, N, N, N, N);
  EXPECT_EQ(t.Now() - t0, 100u);
  EXPECT_TRUE(t.trace.empty());
  EXPECT_EQ(r & 0x15u, 0x15u);  // inputs 1, 3, 5: the three end switches
  EXPECT_EQ(t.robot.LastStatus, 0);
  for (uint16_t w : t.rig.box.MotorWords()) EXPECT_EQ(w & 0x3F, 0);
  for (int a = 1; a <= 3; ++a) EXPECT_EQ(t.Pos(a), 0) << a;

  // A count of 0 runs no cycle, so even a set StopFlag does not abort it.
  t.robot.StopFlag = true;
  t.robot.LastStatus = 7;
  t0 = t.Now();
  const int32_t none[8] = {};
  EXPECT_NE(t.robot.MoveTo(none, 0), kErr);
  EXPECT_EQ(t.Now() - t0, 100u);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(t.robot.MotorWord(), 0x0040u);
}

enum class AbortBy { kMoveStep, kMessages, kEsc };

class RobotAbort : public ::testing::TestWithParam<AbortBy> {};

TEST_P(RobotAbort, StopsTheMoveWithinOneCycleThenCountsTheRunDown) {
  RobotOnRig t(Rig({10, 20, 50, 10}, 40.0, 0.5));
  t.ExtraMotorOn();
  constexpr int kAt = 30;
  switch (GetParam()) {
    case AbortBy::kMoveStep:
      t.onCycle = [&](int n) {
        if (n == kAt) t.robot.StopFlag = true;
      };
      break;
    case AbortBy::kMessages:  // a HALT button's handler
      t.AfterPumps(kAt, [&] { t.robot.StopFlag = true; });
      break;
    case AbortBy::kEsc:
      t.AfterPumps(kAt, [&] { t.hooks.escAnswer = true; });
      break;
  }
  t.ClearWire();
  size_t wordsAtAbort = 0;
  uint64_t abortAt = 0;
  t.robot.OnMoveStep = [&, inner = t.robot.OnMoveStep](access::TBrelRobot& r) {
    inner(r);
    wordsAtAbort = t.rig.box.MotorWords().size();
    abortAt = t.Now();
  };
  EXPECT_EQ(t.robot.MoveToPositions(150, 120, N, N, N, N, N, N), kErr);
  EXPECT_EQ(t.robot.LastStatus, 2);
  ASSERT_EQ(t.trace.size(), static_cast<size_t>(kAt));
  EXPECT_EQ(t.robot.MotorWord(), 0x0040u);  // motor 4 keeps its bit

  // The abort test right after that cycle stops the motors: the next exchange carries
  // it...
  const std::vector<uint16_t> words = t.rig.box.MotorWords();
  ASSERT_GT(words.size(), wordsAtAbort);
  EXPECT_EQ(words[wordsAtAbort], 0x0040);
  // ...then the settle pause lets the axes run down, and what they counted meanwhile
  // is added: the positions are where the robot really stands.
  EXPECT_EQ(t.Now() - abortAt, 100u);
  EXPECT_GT(t.rig.Position(1), t.trace.back().truePos[1]);
  EXPECT_EQ(t.Pos(1), t.TruePos(1));
  EXPECT_EQ(t.Pos(2), t.TruePos(2));

  // StopFlag stays set and aborts the next move in its first cycle.
  if (GetParam() == AbortBy::kEsc) return;
  EXPECT_TRUE(t.robot.StopFlag);
  t.ClearWire();
  const int32_t p1 = t.Pos(1);
  EXPECT_EQ(t.robot.MoveToPositions(50, N, N, N, N, N, N, N), kErr);
  EXPECT_TRUE(t.trace.empty());
  EXPECT_EQ(t.Pos(1), p1);
  EXPECT_EQ(t.TruePos(1), p1);
  EXPECT_EQ(t.robot.MotorWord(), 0x0040u);
}

INSTANTIATE_TEST_SUITE_P(ByEveryMeans, RobotAbort,
                         ::testing::Values(AbortBy::kMoveStep, AbortBy::kMessages, AbortBy::kEsc));

TEST(RobotMove, AStopFromANestedHandlerIsNotUndoneByTheCycleItInterrupted) {
  // A handler running inside the move's message processing stops the move with its
  // motors off (the panel's HALT; StopMoving before a modal window opens): the cycle
  // that resumes afterwards must not write its working word back.
  for (const bool stopMoving : {true, false}) {
    SCOPED_TRACE(stopMoving ? "StopMoving" : "StopFlag and ClearMotors");
    RobotOnRig t(Rig({10, 20, 50, 10}, 40.0, 0.5));
    t.ExtraMotorOn();  // not part of the move
    uint32_t left = 0;
    t.AfterPumps(30, [&] {
      if (stopMoving) {
        t.robot.StopMoving();
      } else {
        t.robot.StopFlag = true;
        t.robot.ClearMotors();
      }
      left = t.robot.MotorWord();
    });
    EXPECT_EQ(t.robot.MoveToPositions(150, 120, N, N, N, N, N, N), kErr);
    EXPECT_EQ(t.robot.LastStatus, 2);
    ASSERT_EQ(t.trace.size(), 30u);
    EXPECT_EQ(t.trace.back().motorWord, left);   // as the handler left it
    EXPECT_EQ(left, stopMoving ? 0x0040u : 0u);  // StopMoving: the move's motors only
  }
}

TEST(RobotMove, AnInterfaceErrorEndsTheMoveAndNoPositionSurvivesIt) {
  // A descending axis must not take the error word for its end switch; and nothing
  // counted while the line was down, so every position is unknown afterwards.
  RobotOnRig t(Rig({150, 20, 50, 10}));
  t.onCycle = [&](int n) {
    if (n == 20) t.rig.box.SetFault(sim::BoxFault::kSilent);
  };
  EXPECT_EQ(t.robot.MoveToPositions(30, 90, N, N, N, N, N, N), kErr);
  EXPECT_EQ(t.robot.LastStatus, static_cast<int32_t>(kErr));
  EXPECT_EQ(t.robot.MotorWord(), 0u);
  for (int a = 1; a <= 8; ++a) EXPECT_EQ(t.Pos(a), 9999) << a;
  access::TBrelRobot::TFaults f = t.robot.TakeFaults();
  EXPECT_TRUE(f.interfaceLost);
  EXPECT_TRUE(f.motorsWereOn);  // told once: the box may keep running what it had

  // Still in error at the start of the next move: read as inputs, the error word closes
  // every end switch, yet no axis is zeroed and only the move's motors stop. The same
  // failure of the line is not told again.
  t.robot.SetMotorWord(0x4001);
  t.robot.Axes.SetPos(1, mcMaximum, 500);
  EXPECT_EQ(t.robot.MoveToPositions(400, N, N, N, N, N, N, N), kErr);
  EXPECT_EQ(t.robot.LastStatus, static_cast<int32_t>(kErr));
  EXPECT_EQ(t.Pos(1), 9999);
  EXPECT_EQ(t.robot.MotorWord(), 0x4000u);
  EXPECT_FALSE(t.robot.TakeFaults().Any());

  // The box answers again: a new failure is a new fault.
  t.rig.box.SetFault(sim::BoxFault::kNone);
  t.rig.Advance(50);
  EXPECT_NE(t.robot.GetInputs(), kErr);
  t.rig.box.SetFault(sim::BoxFault::kSilent);
  t.rig.Advance(50);
  EXPECT_EQ(t.robot.GetInputs(), kErr);
  f = t.robot.TakeFaults();
  EXPECT_TRUE(f.interfaceLost);
  EXPECT_TRUE(f.motorsWereOn);  // motor 8's bit is still set
  t.rig.box.SetFault(sim::BoxFault::kNone);
}

class RobotHome : public ::testing::Test {
 protected:
  RobotHome() : t(Rig({120, 80, 75, 14}, 100.0, 0.5)) {
    t.robot.Axes.SetPos(4, mcMaximum, 9999);  // the gripper is no positioned axis
  }
  RobotOnRig t;
};

TEST_F(RobotHome, RunsTheConfiguredAxesToTheirSwitchesAndZeroesThem) {
  for (int a = 1; a <= 8; ++a) t.robot.Axes.SetPos(a, mcPosition, 9999);
  t.ClearWire();
  EXPECT_NE(t.robot.MoveHome(), kErr);
  EXPECT_EQ(t.robot.LastStatus, 0);
  for (int a = 1; a <= 3; ++a) EXPECT_EQ(t.Pos(a), 0) << a;
  for (int a = 4; a <= 8; ++a) EXPECT_EQ(t.Pos(a), 9999) << a;  // no axes of the model
  for (int a = 1; a <= 3; ++a) EXPECT_EQ(t.rig.Position(a), 0.0) << a;
  EXPECT_EQ(t.rig.Position(4), 14.0);
  EXPECT_EQ(t.LastOn(4), -1);
  // The three start together, left, at full power.
  const std::vector<uint16_t> words = t.rig.box.MotorWords();
  const auto first = std::find_if(words.begin(), words.end(), [](uint16_t w) { return w != 0; });
  ASSERT_NE(first, words.end());
  EXPECT_EQ(*first, 0x0015);
  for (int m = 1; m <= 3; ++m) EXPECT_LE(t.Changes(m), 2) << m;

  // Axes already on their switches do not move, whatever they were believed to be.
  for (int a = 1; a <= 8; ++a) t.robot.Axes.SetPos(a, mcPosition, 50);
  t.ClearWire();
  t.robot.MoveHome();
  for (int m = 1; m <= 4; ++m) EXPECT_EQ(t.LastOn(m), -1) << m;
  EXPECT_EQ(t.Pos(1), 0);
}

TEST_F(RobotHome, OnlyAnAxisWhoseSwitchClosedIsZero) {
  // Interrupted in every way a home run can be: what reached its switch is 0, the rest
  // is unknown, and never is a position wrong.
  struct Case {
    const char* what;
    std::function<void(RobotOnRig&, int cycle)> at;
    int32_t status;
    // Arm horizontal reached its switch before: after a failure of the line even that
    // closed switch may have been the failure's first garbage.
    int32_t armH = 0;
  } cases[] = {
      {"HALT",
       [](RobotOnRig& r, int n) {
         if (n == 15) r.robot.StopFlag = true;
       },
       2},
      {"Esc",
       [](RobotOnRig& r, int n) {
         if (n == 15) r.hooks.escAnswer = true;
       },
       2},
      {"silent box",
       [](RobotOnRig& r, int n) {
         if (n == 15) r.rig.box.SetFault(sim::BoxFault::kSilent);
       },
       static_cast<int32_t>(kErr), 9999},
      {"vanished device",
       [](RobotOnRig& r, int n) {
         if (n == 15) r.rig.box.SetFault(sim::BoxFault::kVanished);
       },
       static_cast<int32_t>(kErr), 9999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RobotOnRig r(Rig({120, 8, 75, 14}, 100.0, 0.5));
    r.robot.Axes.SetPos(4, mcMaximum, 9999);
    r.onCycle = [&](int n) { c.at(r, n); };
    EXPECT_EQ(r.robot.MoveHome(), kErr);
    EXPECT_EQ(r.robot.LastStatus, c.status);
    EXPECT_EQ(r.Pos(1), 9999);
    EXPECT_EQ(r.Pos(2), c.armH);  // it started 8 from its switch and got there
    EXPECT_EQ(r.rig.Position(2), 0.0);
    EXPECT_EQ(r.Pos(3), 9999);
    EXPECT_GT(r.rig.Position(1), 50.0);
    r.rig.box.SetFault(sim::BoxFault::kNone);
  }
}

TEST_F(RobotHome, AnUnusedAxisAnywhereInTheTableIsNeverMoved) {
  // ArmV unused before the gripper: the gripper is still homed, ArmV left alone.
  t.robot.Axes.SetPos(4, mcMaximum, 28);
  t.robot.Axes.SetPos(3, mcMaximum, 9999);
  for (int a = 1; a <= 8; ++a) t.robot.Axes.SetPos(a, mcPosition, 9999);
  t.ClearWire();
  EXPECT_NE(t.robot.MoveHome(), kErr);
  EXPECT_EQ(t.LastOn(3), -1);
  EXPECT_EQ(t.rig.Position(3), 75.0);
  EXPECT_EQ(t.Pos(3), 9999);
  EXPECT_EQ(t.Pos(4), 0);
  EXPECT_EQ(t.rig.Position(4), 0.0);
  // Nor does a jog or a move reach it, toward either end.
  t.ClearWire();
  t.robot.JogAxis(3, 2);
  t.robot.JogAxis(3, 1);
  t.robot.MoveToPositions(0, 0, 40, N, N, N, N, N);
  EXPECT_EQ(t.LastOn(3), -1);
  EXPECT_EQ(t.rig.Position(3), 75.0);
}

TEST(RobotJog, TowardTheMaximumWithTheAxesBelowHeldAndReleasedHalfWayDown) {
  RobotOnRig t(Rig({40, 30, 50, 10}, 100.0));
  t.robot.Axes.SetPos(2, mcMaximum, 120);
  t.ClearWire();
  t.robot.JogAxis(2, 2);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(t.Pos(2), 120);
  EXPECT_EQ(t.TruePos(2), 120);
  EXPECT_EQ(t.Pos(1), 40);
  EXPECT_EQ(t.LastOn(1), -1);
  EXPECT_EQ(t.LastOn(3), -1);

  t.trace.clear();
  t.onCycle = [&](int n) {
    if (n == 25) t.robot.StopFlag = true;  // the mouse is released
  };
  EXPECT_EQ(t.robot.JogAxis(2, 1), kErr);
  EXPECT_EQ(t.robot.LastStatus, 2);
  EXPECT_EQ(t.Pos(2), t.TruePos(2));  // the run-down after the release is counted
  EXPECT_GT(t.Pos(2), 80);
  EXPECT_LT(t.Pos(2), 110);
  EXPECT_EQ(t.Pos(1), 40);
}

TEST(RobotJog, GripperAxisToEitherEnd) {
  RobotOnRig t(Rig({40, 30, 50, 10}, 100.0));
  t.robot.Axes.SetPos(4, mcMaximum, 28);
  t.robot.MoveAxisToEnd(4, true);
  EXPECT_EQ(t.Pos(4), 28);
  EXPECT_EQ(t.TruePos(4), 28);
  t.robot.MoveAxisToEnd(4, false);
  EXPECT_EQ(t.Pos(4), 0);
  EXPECT_EQ(t.rig.Position(4), 0.0);
  for (int a = 1; a <= 3; ++a) EXPECT_EQ(t.TruePos(a), t.Pos(a)) << a;
}

}  // namespace
}  // namespace kelvora::access
