// SPDX-License-Identifier: MIT
// The virtual robot's mechanics, stepped in 1 ms slices as the virtual clock does.
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

// Runs the robot for `ms` and returns how often `input` changed, as a poll every
// millisecond would see it.
int RunFor(Robot& robot, uint16_t motorWord, int ms, int input) {
  int changes = 0;
  uint16_t prev = robot.Inputs();
  for (int i = 0; i < ms; ++i) {
    robot.Step(1000, motorWord);
    changes += ((robot.Inputs() ^ prev) & Bit(input)) != 0;
    prev = robot.Inputs();
  }
  return changes;
}

Robot Standard(double speed, double coast, std::vector<double> start) {
  RobotOptions o;
  o.speed = speed;
  o.coast = coast;
  o.start = std::move(start);
  return Robot(o);
}

TEST(RobotMotion, EachMotorRunsItsAxisAtItsSpeedAndTogglesItsImpulseOncePerUnit) {
  for (int motor = 1; motor <= 4; ++motor) {
    Robot robot = Standard(40, 0, {100, 100, 100, 20});
    EXPECT_EQ(RunFor(robot, Right(motor), 250, 2 * motor), 10) << motor;
    EXPECT_EQ(RunFor(robot, Left(motor), 125, 2 * motor), 5) << motor;
    EXPECT_EQ(robot.ImpulseChanges(motor), 15u);
    for (int axis = 1; axis <= 4; ++axis) {
      const double start = axis == 4 ? 20.0 : 100.0;
      EXPECT_DOUBLE_EQ(robot.Position(axis), start + (axis == motor ? 5.0 : 0.0)) << axis;
    }
  }
  // Both bits of a motor mean off; reversing takes effect at once.
  Robot robot = Standard(40, 0, {100});
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
  Robot fine = Standard(33.3, 1.7, {100});
  Robot coarse = Standard(33.3, 1.7, {100});
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

TEST(RobotLimits, EndSwitchClosesAtZeroAndTheStopsCountNothing) {
  Robot robot = Standard(40, 3, {295, 5});
  EXPECT_EQ(robot.Inputs() & Bit(3), 0) << "starts off its end switch";
  EXPECT_EQ(RunFor(robot, Left(2), 1000, 4), 5) << "driving on against the stop counts nothing";
  EXPECT_DOUBLE_EQ(robot.Position(2), 0.0);
  EXPECT_NE(robot.Inputs() & Bit(3), 0) << "end switch closed at 0";
  EXPECT_FALSE(robot.Moving(2)) << "stalled";
  robot.Step(1000, Right(2));  // the switch opens as soon as the axis leaves 0
  EXPECT_EQ(robot.Inputs() & Bit(3), 0);
  // The upper stop holds the axis at its travel, coasting included.
  ASSERT_DOUBLE_EQ(robot.Config(1).travel, 300.0);
  EXPECT_EQ(RunFor(robot, Right(1), 1000, 2), 5);
  RunFor(robot, 0, 500, 2);
  EXPECT_DOUBLE_EQ(robot.Position(1), 300.0);
  EXPECT_EQ(robot.Inputs() & Bit(1), 0) << "the end switch is only at 0";
  // Start positions outside the range are clamped into it.
  Robot clamped = Standard(40, 0, {-5, 5000});
  EXPECT_DOUBLE_EQ(clamped.Position(1), 0.0);
  EXPECT_DOUBLE_EQ(clamped.Position(2), clamped.Config(2).travel);
  EXPECT_NE(clamped.Inputs() & Bit(1), 0);
}

TEST(RobotCoasting, RunsOnItsCoastingDistanceSlowingDownLinearly) {
  Robot robot = Standard(40, 2, {100, 2});
  RunFor(robot, Right(1), 500, 2);
  EXPECT_DOUBLE_EQ(robot.Position(1), 120.0);
  // 2 units at 40 units/s decelerating linearly take 100 ms; after half of it 1.5 units
  RunFor(robot, 0, 50, 2);
  EXPECT_NEAR(robot.Position(1), 121.5, 1e-6);
  EXPECT_TRUE(robot.Moving(1));
  EXPECT_EQ(RunFor(robot, 0, 950, 2), 0) << "both coasting units fell in the first 50 ms";
  EXPECT_DOUBLE_EQ(robot.Position(1), 122.0);
  EXPECT_FALSE(robot.Moving(1));
  EXPECT_EQ(robot.ImpulseChanges(1), 22u) << "the run-down counts like any travel";
  // Coasting ends at the stop, on the end switch.
  RunFor(robot, Left(2), 25, 4);  // 1 unit, 2 units of run-down but only 1 left
  RunFor(robot, 0, 500, 4);
  EXPECT_DOUBLE_EQ(robot.Position(2), 0.0);
  EXPECT_NE(robot.Inputs() & Bit(3), 0);
  EXPECT_EQ(robot.ImpulseChanges(2), 2u);
  // Speed and coasting changed at run time take effect from then on.
  robot.SetSpeed(1, 80);
  RunFor(robot, Right(1), 250, 2);
  robot.SetCoast(1, 4);
  RunFor(robot, 0, 1000, 2);
  EXPECT_DOUBLE_EQ(robot.Position(1), 146.0);
}

TEST(RobotFaults, StuckImpulseAndBrokenEndSwitch) {
  Robot robot = Standard(40, 0, {100, 3});
  robot.SetStuckImpulse(1, true);
  robot.SetEndSwitchBroken(2, true);
  EXPECT_EQ(RunFor(robot, Right(1) | Left(2), 1000, 2), 0);
  EXPECT_DOUBLE_EQ(robot.Position(1), 140.0);  // it moved, but counted nothing
  EXPECT_EQ(robot.ImpulseChanges(1), 0u);
  EXPECT_DOUBLE_EQ(robot.Position(2), 0.0);
  EXPECT_EQ(robot.Inputs() & Bit(3), 0);
  robot.SetStuckImpulse(1, false);
  robot.SetEndSwitchBroken(2, false);
  EXPECT_NE(robot.Inputs() & Bit(3), 0);
  EXPECT_EQ(RunFor(robot, Right(1), 250, 2), 10);
}

TEST(RobotLayouts, StandardLayoutStartsBetweenItsEndsNotHomed) {
  Robot robot{RobotOptions{}};
  ASSERT_EQ(robot.AxisCount(), 4);
  EXPECT_EQ(robot.InputCount(), 8);
  const char* names[] = {"Säule", "Arm horizontal", "Arm vertikal", "Greifer"};
  const double maxima[] = {240, 160, 150, 28};
  for (int axis = 1; axis <= 4; ++axis) {
    EXPECT_EQ(robot.Config(axis).name, names[axis - 1]);
    EXPECT_GT(robot.Config(axis).travel, maxima[axis - 1] + 10) << axis;
    EXPECT_GT(robot.Position(axis), 0.0) << axis;
    EXPECT_LT(robot.Position(axis), maxima[axis - 1]) << axis;
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
  EXPECT_EQ(robot.Config(4).name, "Wagen");
  EXPECT_GT(robot.Config(4).travel, 1000);
  const double wagen = robot.Position(4);
  EXPECT_EQ(RunFor(robot, Left(5), 500, 10), 20);  // motor 5, impulse on input 10
  EXPECT_DOUBLE_EQ(robot.Position(4), wagen - 20);
  robot.SetPosition(4, 0);
  EXPECT_NE(robot.Inputs() & Bit(9), 0);
  const double greifer = robot.Position(5);
  EXPECT_EQ(RunFor(robot, Right(4), 250, 8), 10);  // the gripper: axis 5 on motor 4
  EXPECT_DOUBLE_EQ(robot.Position(5), greifer + 10);
  robot.Step(1000, Right(6) | Left(7));  // outputs without an axis are only recorded
  EXPECT_EQ(robot.MotorCode(6), 2);
  EXPECT_EQ(robot.MotorCode(7), 1);
  EXPECT_EQ(robot.Inputs() & Bit(11), 0);
  robot.SetExtraInput(11, true);
  EXPECT_NE(robot.Inputs() & Bit(11), 0);
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
