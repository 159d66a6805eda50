// SPDX-License-Identifier: MIT
// The mechanics of a construction-kit robot behind the virtual box: up to eight axes,
// each driven by one motor output and watched by an impulse input and an end switch.
//
// A motor's left bit drives its axis toward 0, its right bit away from 0 (both bits or
// neither: the motor is off). A driven axis moves at its full speed at once; after its
// motor stops it runs on for its coasting distance, slowing down linearly. Every whole
// unit of travel toggles the impulse input (it changes when the axis crosses the middle
// between two whole positions, so an axis standing on a whole position counts its first
// unit after half a unit either way). The end switch is closed while the axis stands at
// 0. The axis cannot leave its mechanical range [0, travel]: a motor driving into a stop
// stalls there and counts nothing.
//
// Positions are kept in millionths of a unit and every movement is computed from the
// moment its motor last changed, so stepping in 1 ms slices (virtual time) and stepping
// at irregular real-time intervals (kelvora-sim) give the same positions.
//
// Thread-safe: kelvora-sim steps the robot on one thread while the box's serial thread
// reads its inputs and hands it motor words.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kelvora::sim {

enum class Layout {
  kStandard,  // Säule, Arm horizontal, Arm vertikal, gripper (or extra motor) on motor 4
  kRob5,      // the same plus the carriage "Wagen" on motor 5; extension module
};

struct AxisConfig {
  std::string name;
  int motor = 1;         // 1..8
  int impulseInput = 2;  // 1..16
  int endSwitch = 1;     // 1..16
  double speed = 40.0;   // units per second while the motor runs
  double coast = 0.5;    // units it runs on after its motor stops
  double travel = 300;   // mechanical range [0, travel], whole units
  double start = 0;      // where it stands when the robot is made
};

// One axis as it stands at one moment (see Robot::State).
struct AxisState {
  AxisConfig config;
  double position = 0;     // true position in units
  bool moving = false;     // driven (and not stalled) or coasting
  int motorCode = 0;       // its motor: 0 off, 1 left, 2 right, 3 both bits (off)
  bool impulse = false;    // level of its impulse input
  bool endSwitch = false;  // its end switch is closed
  bool stuckImpulse = false;
  bool endSwitchBroken = false;
  uint64_t impulseChanges = 0;
};

// The whole robot at one moment, read under one lock: what a display draws from.
struct RobotState {
  Layout layout = Layout::kStandard;
  uint64_t nowMicros = 0;
  uint16_t motorWord = 0;
  uint16_t inputs = 0;
  std::vector<AxisState> axes;  // in axis order
};

// What the factories build; the defaults suit the driver's 10 ms poll (at most one unit
// per poll) and leave room above the model maxima.
struct RobotOptions {
  Layout layout = Layout::kStandard;
  double speed = 40.0;
  double coast = 0.5;
  // Start position per axis in axis order (missing entries: the layout's default, which
  // stands somewhere between the ends and is not homed).
  std::vector<double> start;
};

class Robot {
 public:
  static constexpr int kMaxAxes = 8;
  static constexpr int64_t kMicro = 1000000;  // position steps per unit

  Robot() = default;
  explicit Robot(const RobotOptions& options);
  Robot(const Robot&) = delete;
  Robot& operator=(const Robot&) = delete;

  // The axes of a model layout, in the program's axis order: standard Säule, Arm
  // horizontal, Arm vertikal, Greifer; Rob5 Säule, Arm horizontal, Arm vertikal, Wagen,
  // Greifer.
  static std::vector<AxisConfig> LayoutAxes(Layout layout);

  // Adds an axis; returns its number (1..8), 0 when there are eight already or the
  // wiring is out of range.
  int AddAxis(const AxisConfig& config);
  int AxisCount() const;
  AxisConfig Config(int axis) const;
  Layout GetLayout() const { return layout_; }
  // 8 for the standard box, 16 with the extension module (Rob5).
  int InputCount() const { return inputCount_; }
  // Axis number for a name or a motor, 0 when none.
  int AxisByName(const std::string& name) const;
  int AxisByMotor(int motor) const;

  // --- time and motors.
  // Applies the motor word now, then advances by micros.
  void Step(uint64_t micros, uint16_t motorWord);
  void SetMotorWord(uint16_t motorWord);
  void Advance(uint64_t micros);
  // Advances to an absolute time on the robot's own microsecond scale (no-op if past).
  void AdvanceTo(uint64_t micros);
  uint64_t NowMicros() const;
  uint16_t MotorWord() const;
  // 0 off, 1 left, 2 right, 3 both bits (off) for motor 1..8.
  int MotorCode(int motor) const;

  // Every axis, the motors and the inputs at one moment.
  RobotState State() const;

  // --- inputs.
  uint16_t Inputs() const;
  // Inputs that no axis drives (the Rob5 switch on input 11, anything a test sets).
  void SetExtraInput(int input, bool on);
  bool ExtraInput(int input) const;

  // --- axis state and settings at run time.
  double Position(int axis) const;  // true position in units
  int64_t PositionMicro(int axis) const;
  bool Moving(int axis) const;
  // Changes of the axis's impulse input since the robot was made.
  uint64_t ImpulseChanges(int axis) const;
  void SetPosition(int axis, double units);  // moves it there, at rest
  void SetSpeed(int axis, double unitsPerSecond);
  void SetCoast(int axis, double units);
  void SetAllSpeeds(double unitsPerSecond);
  void SetAllCoasts(double units);

  // --- faults.
  // The impulse switch sticks: the axis moves but its input keeps its present state.
  void SetStuckImpulse(int axis, bool stuck);
  bool StuckImpulse(int axis) const;
  // The end switch never closes, not even at 0.
  void SetEndSwitchBroken(int axis, bool broken);
  bool EndSwitchBroken(int axis) const;

 private:
  enum class Mode { kRest, kDrive, kCoast };
  struct Axis {
    AxisConfig config;
    int64_t travelMicro = 0;
    int64_t pos = 0;  // current position, millionths of a unit
    Mode mode = Mode::kRest;
    int dir = 0;              // +1 away from 0, -1 toward 0
    int64_t segStartPos = 0;  // position when the current movement began
    uint64_t segStartUs = 0;  // robot time when it began
    bool stalled = false;     // driving against a stop
    int64_t stepIndex = 0;    // impulse step the position lies in
    bool impulse = false;     // state of the impulse input
    bool stuck = false;
    bool endBroken = false;
    uint64_t changes = 0;
  };

  Axis* AxisAt(int axis);
  const Axis* AxisAt(int axis) const;
  void ApplyMotorWordLocked(uint16_t word);
  void AdvanceLocked(uint64_t micros);
  uint16_t InputsLocked() const;
  void UpdateAxisLocked(Axis& a);
  void BeginLocked(Axis& a, Mode mode, int dir);

  mutable std::mutex mutex_;
  Layout layout_ = Layout::kStandard;
  int inputCount_ = 8;
  std::vector<Axis> axes_;
  uint64_t nowUs_ = 0;
  uint16_t motorWord_ = 0;
  uint16_t extraInputs_ = 0;
};

}  // namespace kelvora::sim
