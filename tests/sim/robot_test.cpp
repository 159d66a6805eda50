#include "sim/robot.h"

#include <gtest/gtest.h>

#include <vector>

namespace kelvora::sim {
namespace {

constexpr uint16_t Left(int motor) {
  return static_cast<uint16_t>(1u << (2 * motor - 2));
}
constexpr uint16_t Right(int motor) {
  return static_cast<uint16_t>(1u << (2 * motor - 1));
}
constexpr uint16_t Bit(int input) {
  return static_cast<uint16_t>(1u << (input - 1));
}

// Runs the robot in 1 ms steps, as the virtual clock does, and counts the changes of one
// input that a poll every millisecond would see.
struct Observed {
  int changes = 0;
  uint16_t last = 0;
};

Observed RunFor(Robot& robot, uint16_t motorWord, int ms, int input) {
  Observed r;
  uint16_t prev = robot.Inputs();
  for (int i = 0; i < ms; ++i) {
    robot.Step(1000, motorWord);
    uint16_t now = robot.Inputs();
    if ((now ^ prev) & Bit(input)) ++r.changes;
    prev = now;
  }
  r.last = prev;
  return r;
}

RobotOptions Standard(double speed, double coast, std::vector<double> start) {
  RobotOptions o;
  o.speed = speed;
  o.coast = coast;
  o.start = std::move(start);
  return o;
}

TEST(RobotMotion, MotorRunsAxisAtItsSpeedAndTogglesImpulseOncePerUnit) {
  Robot robot(Standard(40, 0, {100, 50, 50, 10}));
  // one second right: 40 units away from 0, one change of input 2 per unit
  Observed up = RunFor(robot, Right(1), 1000, 2);
  EXPECT_DOUBLE_EQ(robot.Position(1), 140.0);
  EXPECT_EQ(up.changes, 40);
  EXPECT_EQ(robot.ImpulseChanges(1), 40u);
  // half a second left: 20 units back
  Observed down = RunFor(robot, Left(1), 500, 2);
  EXPECT_DOUBLE_EQ(robot.Position(1), 120.0);
  EXPECT_EQ(down.changes, 20);
  // the other axes stood still and their inputs never changed
  EXPECT_DOUBLE_EQ(robot.Position(2), 50.0);
  EXPECT_DOUBLE_EQ(robot.Position(3), 50.0);
  EXPECT_DOUBLE_EQ(robot.Position(4), 10.0);
  EXPECT_EQ(robot.ImpulseChanges(2), 0u);
}

TEST(RobotMotion, EachMotorDrivesOnlyItsOwnAxisAndInput) {
  for (int motor = 1; motor <= 4; ++motor) {
    Robot robot(Standard(20, 0, {100, 100, 100, 20}));
    Observed r = RunFor(robot, Right(motor), 250, 2 * motor);
    EXPECT_EQ(r.changes, 5) << "motor " << motor;
    for (int axis = 1; axis <= 4; ++axis) {
      double expected = (axis == 4 ? 20.0 : 100.0) + (axis == motor ? 5.0 : 0.0);
      EXPECT_DOUBLE_EQ(robot.Position(axis), expected) << "motor " << motor << " axis " << axis;
    }
  }
}

TEST(RobotMotion, BothBitsOfAMotorMeanOffAndReversingIsImmediate) {
  Robot robot(Standard(40, 0, {100}));
  RunFor(robot, Left(1) | Right(1), 500, 2);
  EXPECT_DOUBLE_EQ(robot.Position(1), 100.0);
  EXPECT_EQ(robot.MotorCode(1), 3);
  RunFor(robot, Right(1), 100, 2);
  RunFor(robot, Left(1), 100, 2);
  EXPECT_DOUBLE_EQ(robot.Position(1), 100.0);
  EXPECT_EQ(robot.ImpulseChanges(1), 8u);
}

TEST(RobotMotion, TimeSlicingDoesNotChangeTheOutcome) {
  // kelvora-sim steps at irregular real-time intervals; the result must not depend on it
  Robot fine(Standard(33.3, 1.7, {100}));
  Robot coarse(Standard(33.3, 1.7, {100}));
  for (int i = 0; i < 700; ++i) fine.Step(1000, Right(1));
  for (int i = 0; i < 300; ++i) fine.Step(1000, 0);
  coarse.Step(123000, Right(1));
  coarse.Step(577000, Right(1));
  coarse.Step(17000, 0);
  coarse.Step(283000, 0);
  EXPECT_EQ(fine.PositionMicro(1), coarse.PositionMicro(1));
  EXPECT_EQ(fine.ImpulseChanges(1), coarse.ImpulseChanges(1));
  EXPECT_NEAR(fine.Position(1), 100 + 33.3 * 0.7 + 1.7, 1e-5);
}

TEST(RobotLimits, EndSwitchClosesAtZeroAndTheStopCountsNothing) {
  Robot robot(Standard(40, 0, {5}));
  EXPECT_EQ(robot.Inputs() & Bit(1), 0) << "starts off its end switch";
  Observed r = RunFor(robot, Left(1), 1000, 2);
  EXPECT_DOUBLE_EQ(robot.Position(1), 0.0);
  EXPECT_EQ(r.changes, 5) << "driving on against the stop counts nothing";
  EXPECT_NE(r.last & Bit(1), 0) << "end switch closed at 0";
  EXPECT_FALSE(robot.Moving(1)) << "stalled";
  // away from the stop the switch opens again as soon as the axis leaves 0
  robot.Step(1000, Right(1));
  EXPECT_EQ(robot.Inputs() & Bit(1), 0);
  EXPECT_TRUE(robot.Moving(1));
}

TEST(RobotLimits, UpperStopHoldsTheAxisAtItsTravel) {
  Robot robot(Standard(40, 3, {295}));
  ASSERT_DOUBLE_EQ(robot.Config(1).travel, 300.0);
  Observed r = RunFor(robot, Right(1), 1000, 2);
  EXPECT_DOUBLE_EQ(robot.Position(1), 300.0);
  EXPECT_EQ(r.changes, 5);
  // stopping against the stop does not coast through it
  RunFor(robot, 0, 500, 2);
  EXPECT_DOUBLE_EQ(robot.Position(1), 300.0);
  EXPECT_EQ(robot.Inputs() & Bit(1), 0) << "the end switch is only at 0";
}

TEST(RobotLimits, StartPositionsAreClampedIntoTheRange) {
  Robot robot(Standard(40, 0, {-5, 5000}));
  EXPECT_DOUBLE_EQ(robot.Position(1), 0.0);
  EXPECT_DOUBLE_EQ(robot.Position(2), robot.Config(2).travel);
  EXPECT_NE(robot.Inputs() & Bit(1), 0);
}

TEST(RobotCoasting, RunsOnItsCoastingDistanceSlowingDownLinearly) {
  Robot robot(Standard(40, 2, {100}));
  RunFor(robot, Right(1), 500, 2);
  EXPECT_DOUBLE_EQ(robot.Position(1), 120.0);
  // 2 units at 40 units/s decelerating linearly take 100 ms; after half of it 1.5 units
  RunFor(robot, 0, 50, 2);
  EXPECT_NEAR(robot.Position(1), 121.5, 1e-6);
  EXPECT_TRUE(robot.Moving(1));
  Observed rest = RunFor(robot, 0, 950, 2);
  EXPECT_DOUBLE_EQ(robot.Position(1), 122.0);
  EXPECT_FALSE(robot.Moving(1));
  EXPECT_EQ(robot.ImpulseChanges(1), 22u) << "the run-down counts like any travel";
  EXPECT_EQ(rest.changes, 0) << "the second of the two coasting units fell in the first 50 ms";
}

TEST(RobotCoasting, CoastingEndsAtTheStopAndOnTheEndSwitch) {
  Robot robot(Standard(40, 3, {2}));
  RunFor(robot, Left(1), 25, 2);  // 1 unit
  RunFor(robot, 0, 500, 2);       // 3 units of run-down, but only 1 left to the stop
  EXPECT_DOUBLE_EQ(robot.Position(1), 0.0);
  EXPECT_NE(robot.Inputs() & Bit(1), 0);
  EXPECT_EQ(robot.ImpulseChanges(1), 2u);
}

TEST(RobotCoasting, ChangingSpeedAndCoastAtRunTimeTakesEffectFromNow) {
  Robot robot(Standard(40, 0, {100}));
  RunFor(robot, Right(1), 250, 2);  // 10 units
  robot.SetSpeed(1, 80);
  RunFor(robot, Right(1), 250, 2);  // 20 more
  EXPECT_DOUBLE_EQ(robot.Position(1), 130.0);
  robot.SetCoast(1, 4);
  RunFor(robot, 0, 1000, 2);
  EXPECT_DOUBLE_EQ(robot.Position(1), 134.0);
}

TEST(RobotFaults, StuckImpulseMovesTheAxisButNeverTogglesTheInput) {
  Robot robot(Standard(40, 0, {100, 100}));
  robot.SetStuckImpulse(2, true);
  uint16_t before = robot.Inputs() & Bit(4);
  Observed r = RunFor(robot, Right(2), 1000, 4);
  EXPECT_DOUBLE_EQ(robot.Position(2), 140.0);
  EXPECT_EQ(r.changes, 0);
  EXPECT_EQ(robot.Inputs() & Bit(4), before);
  EXPECT_EQ(robot.ImpulseChanges(2), 0u);
  // freed again, it counts on
  robot.SetStuckImpulse(2, false);
  Observed after = RunFor(robot, Right(2), 250, 4);
  EXPECT_EQ(after.changes, 10);
}

TEST(RobotFaults, BrokenEndSwitchNeverCloses) {
  Robot robot(Standard(40, 0, {100, 3}));
  robot.SetEndSwitchBroken(2, true);
  Observed r = RunFor(robot, Left(2), 1000, 3);
  EXPECT_DOUBLE_EQ(robot.Position(2), 0.0);
  EXPECT_EQ(r.changes, 0);
  EXPECT_EQ(robot.Inputs() & Bit(3), 0);
  robot.SetEndSwitchBroken(2, false);
  EXPECT_NE(robot.Inputs() & Bit(3), 0);
}

TEST(RobotLayouts, StandardLayoutWiringAndDefaults) {
  Robot robot{RobotOptions{}};
  ASSERT_EQ(robot.AxisCount(), 4);
  EXPECT_EQ(robot.InputCount(), 8);
  const char* names[] = {"Säule", "Arm horizontal", "Arm vertikal", "Greifer"};
  const double maxima[] = {240, 160, 150, 28};
  for (int axis = 1; axis <= 4; ++axis) {
    AxisConfig c = robot.Config(axis);
    EXPECT_EQ(c.name, names[axis - 1]);
    EXPECT_EQ(c.motor, axis);
    EXPECT_EQ(c.impulseInput, 2 * axis);
    EXPECT_EQ(c.endSwitch, 2 * axis - 1);
    EXPECT_GT(c.travel, maxima[axis - 1] + 10) << c.name;
    // left where it was: between the ends, not homed
    EXPECT_GT(robot.Position(axis), 0.0) << c.name;
    EXPECT_LT(robot.Position(axis), maxima[axis - 1]) << c.name;
  }
  EXPECT_EQ(robot.Inputs() & 0x55, 0) << "no end switch closed at the start";
}

TEST(RobotLayouts, Rob5AddsTheCarriageOnMotor5AndTheSwitchOnInput11) {
  RobotOptions o;
  o.layout = Layout::kRob5;
  o.speed = 40;
  o.coast = 0;
  Robot robot(o);
  ASSERT_EQ(robot.AxisCount(), 5);
  EXPECT_EQ(robot.InputCount(), 16);
  AxisConfig wagen = robot.Config(4);
  EXPECT_EQ(wagen.name, "Wagen");
  EXPECT_EQ(wagen.motor, 5);
  EXPECT_EQ(wagen.impulseInput, 10);
  EXPECT_EQ(wagen.endSwitch, 9);
  EXPECT_GT(wagen.travel, 1000);
  AxisConfig greifer = robot.Config(5);
  EXPECT_EQ(greifer.name, "Greifer");
  EXPECT_EQ(greifer.motor, 4);
  EXPECT_EQ(greifer.impulseInput, 8);
  EXPECT_EQ(greifer.endSwitch, 7);

  // motor 5 moves the carriage and toggles input 10
  double wagenStart = robot.Position(4);
  Observed r = RunFor(robot, Left(5), 500, 10);
  EXPECT_EQ(r.changes, 20);
  EXPECT_DOUBLE_EQ(robot.Position(4), wagenStart - 20);
  robot.SetPosition(4, 0);
  EXPECT_NE(robot.Inputs() & Bit(9), 0);

  // motor 4 moves the gripper, axis 5
  double greiferStart = robot.Position(5);
  RunFor(robot, Right(4), 250, 8);
  EXPECT_DOUBLE_EQ(robot.Position(5), greiferStart + 10);

  // outputs M6 and M7 have no axis: they are only recorded
  robot.Step(1000, Right(6) | Left(7));
  EXPECT_EQ(robot.MotorCode(6), 2);
  EXPECT_EQ(robot.MotorCode(7), 1);

  // the switch on input 11
  EXPECT_EQ(robot.Inputs() & Bit(11), 0);
  robot.SetExtraInput(11, true);
  EXPECT_NE(robot.Inputs() & Bit(11), 0);
  EXPECT_TRUE(robot.ExtraInput(11));
  robot.SetExtraInput(11, false);
  EXPECT_EQ(robot.Inputs() & Bit(11), 0);
}

TEST(RobotLayouts, AxesBeyondEightOrWithBadWiringAreRefused) {
  Robot robot;
  AxisConfig c;
  for (int i = 1; i <= 8; ++i) {
    c.motor = i;
    EXPECT_EQ(robot.AddAxis(c), i);
  }
  EXPECT_EQ(robot.AddAxis(c), 0);
  Robot other;
  c.motor = 9;
  EXPECT_EQ(other.AddAxis(c), 0);
  c.motor = 1;
  c.impulseInput = 17;
  EXPECT_EQ(other.AddAxis(c), 0);
  EXPECT_EQ(other.AxisCount(), 0);
  EXPECT_DOUBLE_EQ(other.Position(3), 0.0) << "unknown axes read as 0, not out of bounds";
}

}  // namespace
}  // namespace kelvora::sim
