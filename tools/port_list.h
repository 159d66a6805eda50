// SPDX-License-Identifier: MIT
// The serial and parallel devices of this machine as kelvora-ports shows them: each with
// its stable name (the /dev/serial/by-id link, which survives reboots and replugging),
// whether this user may open it, and the group that may.
#pragma once

#include <string>
#include <vector>

namespace kelvora::tools {

struct PortDevice {
  std::string device;       // /dev/ttyUSB0
  std::string stableName;   // /dev/serial/by-id/usb-... (else by-path), empty when none
  bool parallel = false;    // /dev/parport<n>; else serial
  bool accessible = false;  // read and write allowed to this process
  std::string group;        // the device's group (dialout, lp), empty when unknown
};

// Serial (ttyS with a UART behind it, ttyUSB, ttyACM) and parallel (parport) devices
// under root + "/dev", serial first, each kind in number order. root is "" for the real
// system; tests pass a folder laid out like it.
std::vector<PortDevice> ListPorts(const std::string& root);

// The device path without root, as the driver and the ports file name it.
std::string WithoutRoot(const std::string& root, const std::string& path);

}  // namespace kelvora::tools
