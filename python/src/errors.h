// SPDX-License-Identifier: MIT
// The module's exceptions (defined in kelvora/_errors.py) raised from C++, and why a port
// could not be opened, as far as this process can tell.
#pragma once

#include <cstdint>
#include <string>

#include "calls.h"

namespace kelvora::python {

// kelvora.InterfaceError(port, reason, device, errno); device "" and err 0 for unknown.
[[noreturn]] void ThrowInterfaceError(const std::string& port, const std::string& reason,
                                      const std::string& device = {}, int err = 0);
// kelvora.MoveStopped(text).
[[noreturn]] void ThrowMoveStopped(const std::string& text);
// kelvora.AxisError(port, text, axes, names) for the axes in bits (bit a: axis a), their
// names in names[1..8].
[[noreturn]] void ThrowAxisError(const std::string& port, const std::string& text, uint16_t axes,
                                 const std::string names[9]);
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

// "Säule (1), Arm vertikal (3)": the axes in bits, by name and number.
std::string AxisList(uint16_t axes, const std::string names[9]);

class Core;

// What a call's end means, most telling first: its pending exception (from a signal
// handler; a fault of the call goes with it as a note), a fault of the robot
// (InterfaceError, AxisStalled, AxisError, WatchdogTripped; names: the robot's axis
// names [1..8]), an error of the program's core (ValueError), a stop (MoveStopped, text
// naming what was stopped), an interface error (InterfaceError on the core's port).
// Returns normally when the call simply ended.
void RaiseForEnd(CallEnd& end, const std::string& what, const Core& core,
                 const std::string* names = nullptr);

}  // namespace kelvora::python
