// SPDX-License-Identifier: MIT
// The module's exceptions (defined in kelvora/_errors.py) raised from C++, and why a port
// could not be opened, as far as this process can tell.
#pragma once

#include <string>

#include "calls.h"

namespace kelvora::python {

// kelvora.InterfaceError(port, reason, device, errno); device "" and err 0 for unknown.
[[noreturn]] void ThrowInterfaceError(const std::string& port, const std::string& reason,
                                      const std::string& device = {}, int err = 0);
// kelvora.MoveStopped(text).
[[noreturn]] void ThrowMoveStopped(const std::string& text);
// An OSError for path (FileNotFoundError and the like where errno says), with the
// program's own text when errno says nothing.
[[noreturn]] void ThrowFileError(const std::string& path, int err, const std::string& text);

// The device a port name reaches, by the driver's own rule ("" when it names none).
std::string DeviceOf(const std::string& port);

// Why opening port failed: the device and an errno where one explains it.
struct OpenFailure {
  std::string device;
  std::string reason;
  int err = 0;
};
OpenFailure ExplainOpenFailure(const std::string& port);

// What a call's end means: its pending exception, a stop (MoveStopped, text naming what
// was stopped), a core error (ValueError), an interface error (InterfaceError on port).
// Returns normally when the call simply ended.
void RaiseForEnd(CallEnd& end, const std::string& what, const std::string& port);

}  // namespace kelvora::python
