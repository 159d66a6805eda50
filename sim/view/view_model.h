// SPDX-License-Identifier: MIT
// What the window of the virtual robot shows, apart from how it is painted: the robot and
// its box at one moment (ViewSnapshot), turned into the values the painter uses
// (ViewModel): the pose of the robot, each axis's lamps, arrow and true position, the
// extra outputs of Rob5, and the box's state as a banner.
//
// ViewTarget is the window's one way to the robot and the box, for reading and for its
// controls; kelvora-sim routes it through its simulator (real clock, a device that
// vanishes), tests use it over a robot and box in virtual time.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/robot.h"
#include "sim/virtual_box.h"

namespace kelvora::sim::view {

// How loud the banner is.
enum class Tone {
  kNormal,   // the box answers as it should
  kWarning,  // the box misbehaves
  kGone,     // the device has vanished
};

// One line per box fault: the window's fault controls and its banner are built from
// this table, in its order. The fault's name is the box's own (BoxFaultName).
struct FaultView {
  BoxFault fault;
  const char* control;  // caption of its control
  const char* banner;   // text of the banner while it is on
  Tone tone;
  bool final;  // no control brings the box back from it
};

std::span<const FaultView> FaultViews();
// The table's line for a fault; a plain warning for one the table lacks.
FaultView FaultViewOf(BoxFault fault);

// The robot and its box at one moment.
struct ViewSnapshot {
  RobotState robot;
  BoxFault fault = BoxFault::kNone;
  int ex = 0;
  int ey = 0;
};

// The column's full range is drawn over this many degrees.
constexpr double kColumnSweep = 270.0;

struct AxisModel {
  std::string name;
  double position = 0;     // true position in units
  double travel = 0;       // its mechanical range [0, travel]
  bool endSwitch = false;  // lamp lit: the end switch is closed
  bool impulse = false;    // lamp lit: the impulse input is on; it flickers as it counts
  int direction = 0;       // arrow while the motor runs: -1 toward 0, +1 away from 0
  bool stuckImpulse = false;
  bool endSwitchBroken = false;
  bool operator==(const AxisModel&) const = default;
};

struct ViewModel {
  bool rob5 = false;
  std::vector<AxisModel> axes;  // in axis order
  // The pose, from the true positions over each axis's mechanical range. An axis the
  // robot lacks leaves its value at rest.
  double columnAngle = 0;     // degrees, 0 at the column's end switch, up to kColumnSweep
  double reach = 0;           // horizontal arm: 0 drawn in, 1 fully out
  double height = 1;          // vertical arm: 1 at the top (its end switch), 0 at the bottom
  double gripperOpening = 1;  // 1 wide open (its end switch), 0 closed
  double carriage = 0;        // Rob5's Wagen: 0 at its end switch, 1 at the far end
  // Rob5's extra outputs and the switch on input 11, lit when on.
  bool m6 = false;
  bool m7 = false;
  bool input11 = false;
  int ex = 0;
  int ey = 0;
  BoxFault fault = BoxFault::kNone;
  bool operator==(const ViewModel&) const = default;
};

ViewModel BuildViewModel(const ViewSnapshot& snapshot);

// The window's way to the robot and the box. Every call may come from the window's
// thread while the box is served from another: robot and box lock for themselves.
class ViewTarget {
 public:
  ViewTarget(Robot& robot, VirtualBox& box) : robot_(robot), box_(box) {}
  virtual ~ViewTarget() = default;
  ViewTarget(const ViewTarget&) = delete;
  ViewTarget& operator=(const ViewTarget&) = delete;

  virtual ViewSnapshot Take();
  virtual void SetFault(BoxFault fault);
  void SetInput11(bool on);
  void SetAnalog(int channel, int value);  // channel 0 = EX, 1 = EY
  void SetStuckImpulse(int axis, bool stuck);
  void SetEndSwitchBroken(int axis, bool broken);

 protected:
  Robot& robot_;
  VirtualBox& box_;
};

}  // namespace kelvora::sim::view
