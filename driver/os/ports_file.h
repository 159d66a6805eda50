// SPDX-License-Identifier: MIT
// The per-user port mapping file, $XDG_CONFIG_HOME/kelvora/ports (default
// ~/.config/kelvora/ports): lines "COM1=/dev/serial/by-id/usb-...", '#' comments and blank
// lines. It maps a port once, by the adapter's stable name, for every program that uses
// the driver; the environment (ZQBREL_COM<n>) still wins. Read when a port is opened,
// never on the timer's path.
#pragma once

#include <string>

namespace kelvora::drvos {

// The mapping file's path; empty when neither $XDG_CONFIG_HOME (absolute) nor a home
// folder is known.
std::string PortsFilePath();

// The device that the mapping text maps port (for example "COM1", matched without regard
// to case) to; empty when it maps none. Lines are "KEY=VALUE" with blanks around either
// trimmed; comments, blank lines, lines without '=' and other keys are skipped; of two
// lines for one port the later counts.
std::string FindPortMapping(const std::string& text, const std::string& port);

// FindPortMapping over the file at PortsFilePath(); empty when there is no such file.
std::string MappedPortDevice(const std::string& port);

// The device file for a Windows port name: ZQBREL_COM<n> / ZQBREL_LPT<n> from the
// environment, else the ports file's line for it, else /dev/ttyS<n-1> / /dev/parport<n-1>.
// Empty when the name is no port. The driver opens this device; the program names it
// when it says why a port failed.
std::string DevicePathFor(const char* portName);

}  // namespace kelvora::drvos
