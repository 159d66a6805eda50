// SPDX-License-Identifier: MIT
#include "sim/virtual_robot.h"

namespace kelvora::sim {

RobotLink::RobotLink(Robot& robot, VirtualBox& box) : box_(box) {
  box_.SetInputSource([&robot] { return robot.Inputs(); });
  box_.SetMotorListener([&robot](uint16_t word) { robot.SetMotorWord(word); });
}

RobotLink::RobotLink(Robot& robot, VirtualBox& box, VirtualClock& clock) : RobotLink(robot, box) {
  clock_ = &clock;
  // relative steps: the clock may be set to any start without moving the robot
  stepperId_ = clock.AddStepper([&robot](uint64_t) { robot.Advance(1000); });
}

RobotLink::~RobotLink() {
  if (clock_) clock_->RemoveStepper(stepperId_);
  box_.SetInputSource(nullptr);
  box_.SetMotorListener(nullptr);
}

RobotRig::RobotRig(const RobotRigOptions& options)
    : robot(options), port_(options.port), link_(robot, box, clock) {
  if (port_ != "COM1") {
    os.AttachSerial("COM1", nullptr);
    os.AttachSerial(port_, &box);
  }
}

RobotRig::~RobotRig() = default;

}  // namespace kelvora::sim
