// A robot object opened on the virtual robot rig, with fake GUI hooks, and a trace of
// every control cycle of a move.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "access/brel_consts.h"
#include "access/brel_robot.h"
#include "sim/virtual_robot.h"
#include "tests/access/fake_hooks.h"

namespace kelvora::testing {

struct Cycle {
  int32_t pos[9];      // the robot object's positions after the cycle
  double truePos[9];   // where the axes really were
  uint32_t motorWord;  // the record's motor word (what the box gets next)
};

class RobotOnRig {
 public:
  explicit RobotOnRig(const sim::RobotRigOptions& options = {}) : rig(options) {
    platform::SetGuiHooks(&hooks);
    // The model's axes as the robot rig wires them; positions as the robot really stands.
    for (int a = 1; a <= rig.robot.AxisCount(); ++a) {
      const sim::AxisConfig c = rig.robot.Config(a);
      robot.Axes.SetNumber(a, access::mcMotor, c.motor);
      robot.Axes.SetNumber(a, access::mcImpulse, c.impulseInput);
      robot.Axes.SetNumber(a, access::mcEndSwitch, c.endSwitch);
      robot.Axes.SetPos(a, access::mcMaximum, static_cast<int32_t>(c.travel) - 20);
      robot.Axes.SetPos(a, access::mcPosition, TruePos(a));
    }
    if (rig.robot.InputCount() == 16) robot.SetExtended(true);
    const uint32_t r = robot.OpenInterface(rig.Port());
    EXPECT_NE(r, access::kInterfaceError);
    robot.OnMoveStep = [this](access::TBrelRobot& sender) {
      EXPECT_EQ(&sender, &robot);
      Cycle c{};
      for (int a = 1; a <= 8; ++a) {
        c.pos[a] = robot.Axes.GetPos(a, access::mcPosition);
        c.truePos[a] = a <= rig.robot.AxisCount() ? rig.Position(a) : 0.0;
      }
      c.motorWord = robot.MotorWord();
      trace.push_back(c);
      if (onCycle) onCycle(static_cast<int>(trace.size()));
    };
  }
  ~RobotOnRig() {
    robot.CloseInterface();
    platform::SetGuiHooks(nullptr);
  }

  // The true position rounded to the unit the impulse counting resolves.
  int32_t TruePos(int axis) const { return static_cast<int32_t>(std::lround(rig.Position(axis))); }
  // Starts recording the wire afresh.
  void ClearWire() {
    rig.box.ClearRecords();
    trace.clear();
  }
  // Bits of one motor in every motor word the box received since ClearWire.
  std::vector<int> MotorOnWire(int motor) const {
    std::vector<int> codes;
    for (uint16_t w : rig.box.MotorWords()) codes.push_back((w >> (2 * motor - 2)) & 3);
    return codes;
  }
  // How often the motor's code changed on the wire.
  int Changes(int motor) const {
    const std::vector<int> codes = MotorOnWire(motor);
    int n = 0;
    for (size_t i = 1; i < codes.size(); ++i) n += codes[i] != codes[i - 1];
    return n;
  }

  FakeHooks hooks;
  sim::RobotRig rig;
  access::TBrelRobot robot;
  std::vector<Cycle> trace;
  std::function<void(int cycle)> onCycle;
};

}  // namespace kelvora::testing
