// SPDX-License-Identifier: MIT
// What the user is told about the robot's faults, in the program's words. Window-free,
// so that the main window and the headless player say the same.
#pragma once

#include <string>
#include <vector>

#include "access/brel_robot.h"

namespace kelvora::app {

// One text per fault worth telling (UTF-8, without the full stop the error box adds).
// A failure of the line is told only when a motor was on: the display already shows
// the line's state, but a box that no longer hears the program may keep its motors
// running.
std::vector<std::string> FaultMessages(const access::TBrelRobot::TFaults& faults,
                                       const access::TBrelMotList& axes);

}  // namespace kelvora::app
