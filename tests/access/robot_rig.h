// SPDX-License-Identifier: MIT
// A robot object opened on the virtual robot rig (real driver core, virtual box and
// robot, virtual time), with scriptable GUI hooks and a trace of every control cycle.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "access/brel_consts.h"
#include "access/brel_robot.h"
#include "platform/gui_hooks.h"
#include "sim/virtual_robot.h"

namespace kelvora::testing {

class FakeHooks final : public platform::GuiHooks {
 public:
  void ProcessMessages() override {
    if (onMessages) onMessages();
  }
  bool EscPressed() override { return escAnswer; }
  bool ShowPanel(access::TBrelFace& face, bool modal, int left, int top) override {
    ++panels;
    shownFace = &face;
    shownAt = {modal ? 1 : 0, left, top};
    if (onPanel) onPanel();
    return panelResult;
  }
  bool escAnswer = false;
  bool panelResult = true;
  int panels = 0;
  access::TBrelFace* shownFace = nullptr;
  std::vector<int> shownAt;  // modal, left, top
  std::function<void()> onMessages, onPanel;
};

struct Cycle {
  int32_t pos[9];      // the robot object's positions after the cycle
  double truePos[9];   // where the axes really were
  uint32_t motorWord;  // the record's motor word (what the box gets next)
};

inline sim::RobotRigOptions Rig(std::vector<double> start, double speed = 40.0,
                                double coast = 0.0) {
  sim::RobotRigOptions o;
  o.start = std::move(start);
  o.speed = speed;
  o.coast = coast;
  return o;
}

class RobotOnRig {
 public:
  explicit RobotOnRig(const sim::RobotRigOptions& options = Rig({20, 60, 50, 10})) : rig(options) {
    platform::SetGuiHooks(&hooks);
    // The model's axes as the rig wires them; positions as the robot really stands.
    for (int a = 1; a <= rig.robot.AxisCount(); ++a) {
      const sim::AxisConfig c = rig.robot.Config(a);
      robot.Axes.SetNumber(a, access::mcMotor, c.motor);
      robot.Axes.SetNumber(a, access::mcImpulse, c.impulseInput);
      robot.Axes.SetNumber(a, access::mcEndSwitch, c.endSwitch);
      robot.Axes.SetPos(a, access::mcMaximum, static_cast<int32_t>(c.travel) - 20);
      robot.Axes.SetPos(a, access::mcPosition, TruePos(a));
    }
    EXPECT_NE(robot.OpenInterface(rig.Port()), access::kInterfaceError);
    robot.OnMoveStep = [this](access::TBrelRobot& sender) {
      EXPECT_EQ(&sender, &robot);
      Cycle c{};
      for (int a = 1; a <= 8; ++a) {
        c.pos[a] = Pos(a);
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

  // Motor 4 as an output of its own (the extra motor of type "Z"), switched on left: the
  // rig's fourth axis is then no axis of the model, so nothing watches or moves it.
  void ExtraMotorOn() {
    robot.Axes.SetPos(4, access::mcMaximum, access::kNotHomed);
    robot.SetMotor(4, 1);
  }
  int32_t Pos(int axis) const { return robot.Axes.GetPos(axis, access::mcPosition); }
  // The true position rounded to the unit the impulse counting resolves.
  int32_t TruePos(int axis) const { return static_cast<int32_t>(std::lround(rig.Position(axis))); }
  uint64_t Now() const { return rig.clock.NowMs(); }
  void ClearWire() {
    rig.box.ClearRecords();
    trace.clear();
  }
  // One motor's code (0 off, 1 left, 2 right) in every motor word the box received.
  std::vector<int> MotorOnWire(int motor) const {
    std::vector<int> codes;
    for (uint16_t w : rig.box.MotorWords()) codes.push_back((w >> (2 * motor - 2)) & 3);
    return codes;
  }
  int Changes(int motor) const {
    const std::vector<int> c = MotorOnWire(motor);
    int n = 0;
    for (size_t i = 1; i < c.size(); ++i) n += c[i] != c[i - 1];
    return n;
  }
  // Index of the last exchange with the motor on, -1 if never.
  int LastOn(int motor) const {
    const std::vector<int> c = MotorOnWire(motor);
    for (int i = static_cast<int>(c.size()) - 1; i >= 0; --i) {
      if (c[i] != 0) return i;
    }
    return -1;
  }
  // Runs fn after `pumps` message pumps (a handler or key press during a wait or move).
  void AfterPumps(int pumps, std::function<void()> fn) {
    hooks.onMessages = [this, pumps, fn, n = 0]() mutable {
      if (++n == pumps) fn();
    };
  }

  FakeHooks hooks;
  sim::RobotRig rig;
  access::TBrelRobot robot;
  std::vector<Cycle> trace;
  std::function<void(int cycle)> onCycle;
};

}  // namespace kelvora::testing
