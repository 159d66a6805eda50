// SPDX-License-Identifier: MIT
#include "sim/view/view_model.h"

#include <algorithm>

namespace kelvora::sim::view {
namespace {

constexpr FaultView kFaults[] = {
    {BoxFault::kNone, "antwortet normal", "Box antwortet normal", Tone::kNormal, false},
    {BoxFault::kSilent, "stumm", "Box ist stumm", Tone::kWarning, false},
    {BoxFault::kShort, "antwortet zu kurz", "Box antwortet zu kurz", Tone::kWarning, false},
    {BoxFault::kGarbage, "antwortet Unsinn", "Box antwortet Unsinn", Tone::kWarning, false},
    {BoxFault::kSplit, "antwortet in zwei Stücken", "Antworten in zwei Stücken", Tone::kWarning,
     false},
    {BoxFault::kLate, "antwortet 40 ms zu spät", "Antworten zu spät", Tone::kWarning, false},
    {BoxFault::kStray, "sendet ein Byte zu viel", "ein Byte zu viel", Tone::kWarning, false},
    {BoxFault::kReplug, "wird aus- und wieder eingesteckt", "Gerät ausgesteckt", Tone::kGone,
     false},
    {BoxFault::kVanished, "verschwindet (für immer)", "Gerät verschwunden", Tone::kGone, true},
};

double Fraction(const AxisModel& a) {
  return a.travel > 0 ? std::clamp(a.position / a.travel, 0.0, 1.0) : 0.0;
}

}  // namespace

std::span<const FaultView> FaultViews() {
  return kFaults;
}

FaultView FaultViewOf(BoxFault fault) {
  for (const FaultView& f : kFaults)
    if (f.fault == fault) return f;
  // a fault without its line still must not pass for a normal box
  return {fault, "", "Box gestört", Tone::kWarning, false};
}

ViewModel BuildViewModel(const ViewSnapshot& snapshot) {
  ViewModel m;
  const RobotState& r = snapshot.robot;
  m.rob5 = r.layout == Layout::kRob5;
  for (const AxisState& s : r.axes) {
    AxisModel a;
    a.name = s.config.name;
    a.position = s.position;
    a.travel = s.config.travel;
    a.endSwitch = s.endSwitch;
    a.impulse = s.impulse;
    a.direction = s.motorCode == 1 ? -1 : s.motorCode == 2 ? 1 : 0;
    a.stuckImpulse = s.stuckImpulse;
    a.endSwitchBroken = s.endSwitchBroken;
    // the parts of the drawing go by the axes' names, as the layouts give them
    if (a.name == "Säule")
      m.columnAngle = Fraction(a) * kColumnSweep;
    else if (a.name == "Arm horizontal")
      m.reach = Fraction(a);
    else if (a.name == "Arm vertikal")
      m.height = 1.0 - Fraction(a);
    else if (a.name == "Greifer")
      m.gripperOpening = 1.0 - Fraction(a);
    else if (a.name == "Wagen")
      m.carriage = Fraction(a);
    m.axes.push_back(a);
  }
  auto motorOn = [&r](int motor) {
    const int code = (r.motorWord >> (2 * (motor - 1))) & 3;
    return code == 1 || code == 2;
  };
  m.m6 = motorOn(6);
  m.m7 = motorOn(7);
  m.input11 = (r.inputs >> 10) & 1;
  m.ex = snapshot.ex;
  m.ey = snapshot.ey;
  m.fault = snapshot.fault;
  return m;
}

ViewSnapshot ViewTarget::Take() {
  ViewSnapshot s;
  s.robot = robot_.State();
  s.fault = box_.Fault();
  s.ex = box_.Analog(0);
  s.ey = box_.Analog(1);
  return s;
}

void ViewTarget::SetFault(BoxFault fault) {
  box_.SetFault(fault);
}

void ViewTarget::SetInput11(bool on) {
  robot_.SetExtraInput(11, on);
}

void ViewTarget::SetAnalog(int channel, int value) {
  box_.SetAnalog(channel, static_cast<uint16_t>(std::clamp(value, 0, 65535)));
}

void ViewTarget::SetStuckImpulse(int axis, bool stuck) {
  robot_.SetStuckImpulse(axis, stuck);
}

void ViewTarget::SetEndSwitchBroken(int axis, bool broken) {
  robot_.SetEndSwitchBroken(axis, broken);
}

}  // namespace kelvora::sim::view
