// SPDX-License-Identifier: MIT
// Why a port could not be switched on, in the user's words: the line under
// "Inpterfaceproblem mit : COM1" in the program's error box and in kelvora-play.
#pragma once

#include <string>

#include "platform/user_text.h"

namespace kelvora::platform {

// The device the port name reaches (by the driver's own mapping: environment, ports file,
// default) and what the error number (errno values, as TBrelFace::OpenError holds them)
// means for it, in German, with the remedy where one is known. For example
// "Gerät /dev/ttyUSB0: Zugriff verweigert. Abhilfe: ...". The windows show it in the
// user's language.
UserText PortProblem(const std::string& portName, int error);
std::string PortProblemText(const std::string& portName, int error);

}  // namespace kelvora::platform
