// SPDX-License-Identifier: MIT
// The program's icon, shared by every window of the program and the virtual robot's.
#pragma once

#include <QIcon>

namespace kelvora::platform {

// A robot arm at 32, 48 and 256 pixels, from the resources built into the platform layer.
QIcon ProgramIcon();

}  // namespace kelvora::platform
