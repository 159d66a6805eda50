// SPDX-License-Identifier: MIT
#include "sim/robot.h"

#include <algorithm>
#include <cmath>

namespace kelvora::sim {
namespace {

int64_t ToMicro(double units) {
  return static_cast<int64_t>(std::llround(units * 1e6));
}

// Index of the impulse step the position lies in: steps change halfway between whole
// positions, so a whole position sits in the middle of its step.
int64_t StepIndex(int64_t pos) {
  int64_t shifted = pos + Robot::kMicro / 2;
  // positions never go below 0, but keep the floor honest for any value
  return shifted >= 0 ? shifted / Robot::kMicro : -((-shifted + Robot::kMicro - 1) / Robot::kMicro);
}

}  // namespace

Robot::Robot(const RobotOptions& options) : layout_(options.layout) {
  inputCount_ = options.layout == Layout::kRob5 ? 16 : 8;
  std::vector<AxisConfig> axes = LayoutAxes(options.layout);
  for (size_t i = 0; i < axes.size(); ++i) {
    axes[i].speed = options.speed;
    axes[i].coast = options.coast;
    if (i < options.start.size()) axes[i].start = options.start[i];
    AddAxis(axes[i]);
  }
}

std::vector<AxisConfig> Robot::LayoutAxes(Layout layout) {
  // Ranges leave room above the default model maxima (240, 160, 150, 28, 1000); the
  // starts stand well inside them, as a robot switched off mid-work would.
  std::vector<AxisConfig> axes;
  auto add = [&axes](const char* name, int motor, double travel, double start) {
    AxisConfig c;
    c.name = name;
    c.motor = motor;
    c.impulseInput = 2 * motor;
    c.endSwitch = 2 * motor - 1;
    c.travel = travel;
    c.start = start;
    axes.push_back(c);
  };
  add("Säule", 1, 300, 120);
  add("Arm horizontal", 2, 200, 80);
  add("Arm vertikal", 3, 190, 75);
  if (layout == Layout::kRob5) add("Wagen", 5, 1100, 500);
  add("Greifer", 4, 40, 14);
  return axes;
}

int Robot::AddAxis(const AxisConfig& config) {
  std::lock_guard lock(mutex_);
  if (axes_.size() >= kMaxAxes) return 0;
  if (config.motor < 1 || config.motor > 8) return 0;
  if (config.impulseInput < 1 || config.impulseInput > 16) return 0;
  if (config.endSwitch < 1 || config.endSwitch > 16) return 0;
  Axis a;
  a.config = config;
  a.config.speed = std::max(0.0, config.speed);
  a.config.coast = std::max(0.0, config.coast);
  a.travelMicro = std::max<int64_t>(0, ToMicro(config.travel));
  a.pos = std::clamp<int64_t>(ToMicro(config.start), 0, a.travelMicro);
  a.segStartPos = a.pos;
  a.segStartUs = nowUs_;
  a.stepIndex = StepIndex(a.pos);
  a.impulse = (a.stepIndex & 1) != 0;
  axes_.push_back(a);
  // a motor that is already running takes the new axis with it
  uint16_t word = motorWord_;
  motorWord_ = 0;
  ApplyMotorWordLocked(word);
  return static_cast<int>(axes_.size());
}

int Robot::AxisCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(axes_.size());
}

AxisConfig Robot::Config(int axis) const {
  std::lock_guard lock(mutex_);
  const Axis* a = AxisAt(axis);
  return a ? a->config : AxisConfig{};
}

int Robot::AxisByName(const std::string& name) const {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < axes_.size(); ++i)
    if (axes_[i].config.name == name) return static_cast<int>(i) + 1;
  return 0;
}

int Robot::AxisByMotor(int motor) const {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < axes_.size(); ++i)
    if (axes_[i].config.motor == motor) return static_cast<int>(i) + 1;
  return 0;
}

Robot::Axis* Robot::AxisAt(int axis) {
  if (axis < 1 || axis > static_cast<int>(axes_.size())) return nullptr;
  return &axes_[static_cast<size_t>(axis - 1)];
}

const Robot::Axis* Robot::AxisAt(int axis) const {
  if (axis < 1 || axis > static_cast<int>(axes_.size())) return nullptr;
  return &axes_[static_cast<size_t>(axis - 1)];
}

void Robot::Step(uint64_t micros, uint16_t motorWord) {
  std::lock_guard lock(mutex_);
  ApplyMotorWordLocked(motorWord);
  AdvanceLocked(micros);
}

void Robot::SetMotorWord(uint16_t motorWord) {
  std::lock_guard lock(mutex_);
  ApplyMotorWordLocked(motorWord);
}

void Robot::Advance(uint64_t micros) {
  std::lock_guard lock(mutex_);
  AdvanceLocked(micros);
}

void Robot::AdvanceTo(uint64_t micros) {
  std::lock_guard lock(mutex_);
  if (micros > nowUs_) AdvanceLocked(micros - nowUs_);
}

uint64_t Robot::NowMicros() const {
  std::lock_guard lock(mutex_);
  return nowUs_;
}

uint16_t Robot::MotorWord() const {
  std::lock_guard lock(mutex_);
  return motorWord_;
}

int Robot::MotorCode(int motor) const {
  if (motor < 1 || motor > 8) return 0;
  std::lock_guard lock(mutex_);
  return (motorWord_ >> (2 * (motor - 1))) & 3;
}

void Robot::ApplyMotorWordLocked(uint16_t word) {
  motorWord_ = word;
  for (Axis& a : axes_) {
    int code = (word >> (2 * (a.config.motor - 1))) & 3;
    int want = code == 1 ? -1 : code == 2 ? 1 : 0;
    if (want != 0) {
      if (a.mode != Mode::kDrive || a.dir != want) BeginLocked(a, Mode::kDrive, want);
    } else if (a.mode == Mode::kDrive) {
      if (a.stalled || a.config.coast <= 0 || a.config.speed <= 0)
        BeginLocked(a, Mode::kRest, 0);
      else
        BeginLocked(a, Mode::kCoast, a.dir);
    }
  }
}

void Robot::BeginLocked(Axis& a, Mode mode, int dir) {
  a.mode = mode;
  a.dir = dir;
  a.segStartPos = a.pos;
  a.segStartUs = nowUs_;
  a.stalled =
      mode == Mode::kDrive && ((dir < 0 && a.pos <= 0) || (dir > 0 && a.pos >= a.travelMicro));
}

void Robot::AdvanceLocked(uint64_t micros) {
  nowUs_ += micros;
  for (Axis& a : axes_) UpdateAxisLocked(a);
}

void Robot::UpdateAxisLocked(Axis& a) {
  if (a.mode == Mode::kRest || (a.mode == Mode::kDrive && a.stalled)) return;
  const double elapsedUs = static_cast<double>(nowUs_ - a.segStartUs);
  int64_t dist = 0;
  bool done = false;
  if (a.mode == Mode::kDrive) {
    // units per second times microseconds gives millionths of a unit
    dist = static_cast<int64_t>(std::llround(a.config.speed * elapsedUs));
  } else {
    // linear deceleration from full speed to rest over the coasting distance
    const double v0 = a.config.speed;
    const double d = a.config.coast;
    const double t = elapsedUs / 1e6;
    const double tEnd = 2.0 * d / v0;
    if (t >= tEnd) {
      dist = ToMicro(d);
      done = true;
    } else {
      dist = ToMicro(v0 * t - v0 * v0 * t * t / (4.0 * d));
    }
  }
  int64_t pos = a.segStartPos + a.dir * dist;
  bool hitStop = false;
  if (pos <= 0) {
    pos = 0;
    hitStop = a.dir < 0;
  } else if (pos >= a.travelMicro) {
    pos = a.travelMicro;
    hitStop = a.dir > 0;
  }
  a.pos = pos;
  int64_t index = StepIndex(pos);
  if (index != a.stepIndex) {
    if (!a.stuck) {
      // one change per step crossed, however coarse the time slice
      a.changes +=
          static_cast<uint64_t>(index > a.stepIndex ? index - a.stepIndex : a.stepIndex - index);
      a.impulse = (index & 1) != 0;
    }
    a.stepIndex = index;
  }
  if (hitStop) {
    if (a.mode == Mode::kDrive)
      a.stalled = true;
    else
      done = true;
  }
  if (done) {
    a.mode = Mode::kRest;
    a.dir = 0;
    a.segStartPos = a.pos;
    a.segStartUs = nowUs_;
  }
}

uint16_t Robot::Inputs() const {
  std::lock_guard lock(mutex_);
  return InputsLocked();
}

uint16_t Robot::InputsLocked() const {
  uint16_t word = extraInputs_;
  for (const Axis& a : axes_) {
    if (a.impulse) word |= static_cast<uint16_t>(1u << (a.config.impulseInput - 1));
    if (!a.endBroken && a.pos <= 0) word |= static_cast<uint16_t>(1u << (a.config.endSwitch - 1));
  }
  return word;
}

RobotState Robot::State() const {
  std::lock_guard lock(mutex_);
  RobotState state;
  state.layout = layout_;
  state.nowMicros = nowUs_;
  state.motorWord = motorWord_;
  state.inputs = InputsLocked();
  state.axes.reserve(axes_.size());
  for (const Axis& a : axes_) {
    AxisState s;
    s.config = a.config;
    s.position = static_cast<double>(a.pos) / 1e6;
    s.moving = a.mode != Mode::kRest && !(a.mode == Mode::kDrive && a.stalled);
    s.motorCode = (motorWord_ >> (2 * (a.config.motor - 1))) & 3;
    s.impulse = a.impulse;
    s.endSwitch = !a.endBroken && a.pos <= 0;
    s.stuckImpulse = a.stuck;
    s.endSwitchBroken = a.endBroken;
    s.impulseChanges = a.changes;
    state.axes.push_back(s);
  }
  return state;
}

void Robot::SetExtraInput(int input, bool on) {
  if (input < 1 || input > 16) return;
  std::lock_guard lock(mutex_);
  uint16_t bit = static_cast<uint16_t>(1u << (input - 1));
  extraInputs_ =
      on ? static_cast<uint16_t>(extraInputs_ | bit) : static_cast<uint16_t>(extraInputs_ & ~bit);
}

bool Robot::ExtraInput(int input) const {
  if (input < 1 || input > 16) return false;
  std::lock_guard lock(mutex_);
  return (extraInputs_ >> (input - 1)) & 1;
}

double Robot::Position(int axis) const {
  std::lock_guard lock(mutex_);
  const Axis* a = AxisAt(axis);
  return a ? static_cast<double>(a->pos) / 1e6 : 0.0;
}

int64_t Robot::PositionMicro(int axis) const {
  std::lock_guard lock(mutex_);
  const Axis* a = AxisAt(axis);
  return a ? a->pos : 0;
}

bool Robot::Moving(int axis) const {
  std::lock_guard lock(mutex_);
  const Axis* a = AxisAt(axis);
  return a && a->mode != Mode::kRest && !(a->mode == Mode::kDrive && a->stalled);
}

uint64_t Robot::ImpulseChanges(int axis) const {
  std::lock_guard lock(mutex_);
  const Axis* a = AxisAt(axis);
  return a ? a->changes : 0;
}

void Robot::SetPosition(int axis, double units) {
  std::lock_guard lock(mutex_);
  Axis* a = AxisAt(axis);
  if (!a) return;
  a->pos = std::clamp<int64_t>(ToMicro(units), 0, a->travelMicro);
  a->stepIndex = StepIndex(a->pos);
  if (!a->stuck) a->impulse = (a->stepIndex & 1) != 0;
  if (a->mode == Mode::kDrive)
    BeginLocked(*a, Mode::kDrive, a->dir);
  else
    BeginLocked(*a, Mode::kRest, 0);
}

void Robot::SetSpeed(int axis, double unitsPerSecond) {
  std::lock_guard lock(mutex_);
  Axis* a = AxisAt(axis);
  if (!a) return;
  UpdateAxisLocked(*a);
  a->config.speed = std::max(0.0, unitsPerSecond);
  // the movement goes on from here at the new speed
  if (a->mode != Mode::kRest) BeginLocked(*a, a->mode, a->dir);
}

void Robot::SetCoast(int axis, double units) {
  std::lock_guard lock(mutex_);
  Axis* a = AxisAt(axis);
  if (!a) return;
  UpdateAxisLocked(*a);
  a->config.coast = std::max(0.0, units);
  if (a->mode == Mode::kCoast)
    BeginLocked(*a, a->config.coast > 0 ? Mode::kCoast : Mode::kRest,
                a->config.coast > 0 ? a->dir : 0);
}

void Robot::SetAllSpeeds(double unitsPerSecond) {
  for (int i = 1; i <= AxisCount(); ++i) SetSpeed(i, unitsPerSecond);
}

void Robot::SetAllCoasts(double units) {
  for (int i = 1; i <= AxisCount(); ++i) SetCoast(i, units);
}

void Robot::SetStuckImpulse(int axis, bool stuck) {
  std::lock_guard lock(mutex_);
  Axis* a = AxisAt(axis);
  if (!a) return;
  UpdateAxisLocked(*a);
  if (a->stuck && !stuck) {
    // a freed switch shows where the axis really is, which may be one change
    bool level = (a->stepIndex & 1) != 0;
    if (level != a->impulse) ++a->changes;
    a->impulse = level;
  }
  a->stuck = stuck;
}

bool Robot::StuckImpulse(int axis) const {
  std::lock_guard lock(mutex_);
  const Axis* a = AxisAt(axis);
  return a && a->stuck;
}

void Robot::SetEndSwitchBroken(int axis, bool broken) {
  std::lock_guard lock(mutex_);
  Axis* a = AxisAt(axis);
  if (a) a->endBroken = broken;
}

bool Robot::EndSwitchBroken(int axis) const {
  std::lock_guard lock(mutex_);
  const Axis* a = AxisAt(axis);
  return a && a->endBroken;
}

}  // namespace kelvora::sim
