// SPDX-License-Identifier: MIT
// What the user is told about the robot's faults, in the program's words. Window-free,
// so that the main window and the headless player say the same: the window in the
// user's language, the player in German.
#pragma once

#include <string>
#include <vector>

#include "access/brel_robot.h"
#include "platform/user_text.h"
#include "settings/settings.h"

namespace kelvora::app {

// One text per fault worth telling (without the full stop the error box adds). A failure
// of the line is told only when a motor was on: the display already shows the line's
// state, but a box that no longer hears the program may keep its motors running.
std::vector<platform::UserText> FaultTexts(const access::TBrelRobot::TFaults& faults,
                                           const access::TBrelMotList& axes);
// The same in German (UTF-8).
std::vector<std::string> FaultMessages(const access::TBrelRobot::TFaults& faults,
                                       const access::TBrelMotList& axes);

}  // namespace kelvora::app
