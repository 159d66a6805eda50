// SPDX-License-Identifier: MIT
// A robot behind a virtual box, and a test rig that runs the whole stack in virtual
// time: the clock steps the robot's mechanics every millisecond before the driver's
// timer ticks, the box asks the robot for its inputs and hands it every motor word.
#pragma once

#include <string>

#include "sim/robot.h"
#include "sim/virtual_box.h"
#include "sim/virtual_clock.h"
#include "sim/virtual_os.h"
#include "sim/virtual_rig.h"

namespace kelvora::sim {

// Connects a robot to a box for as long as it lives; with a clock, the robot is also
// stepped once per virtual millisecond. The robot, box and clock must outlive it.
class RobotLink {
 public:
  RobotLink(Robot& robot, VirtualBox& box);
  RobotLink(Robot& robot, VirtualBox& box, VirtualClock& clock);
  ~RobotLink();
  RobotLink(const RobotLink&) = delete;
  RobotLink& operator=(const RobotLink&) = delete;

 private:
  VirtualBox& box_;
  VirtualClock* clock_ = nullptr;
  int stepperId_ = 0;
};

// The robot's options (layout, speed and coasting for every axis, start positions), and
// the serial port name the box answers on.
struct RobotRigOptions : RobotOptions {
  std::string port = "COM1";
};

// Everything a test of the upper layers needs: the virtual rig (clock, box, OS layer,
// installed as the driver's OS layer and the program's clock for the rig's life) with
// a robot behind the box, stepped by the clock. Axis numbers of the robot follow the
// program's axis order of the layout (see Robot::LayoutAxes). As with the plain rig,
// close every interface record before the rig goes.
class RobotRig : public VirtualRig {
 public:
  explicit RobotRig(const RobotRigOptions& options = {});
  ~RobotRig();

  Robot robot;

  void Advance(uint32_t ms) { clock.Advance(ms); }
  double Position(int axis) const { return robot.Position(axis); }
  // The switch on input 11, or any input no axis drives.
  void SetInput(int input, bool on) { robot.SetExtraInput(input, on); }
  const std::string& Port() const { return port_; }

 private:
  std::string port_;
  RobotLink link_;
};

}  // namespace kelvora::sim
