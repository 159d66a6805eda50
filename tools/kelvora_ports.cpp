// SPDX-License-Identifier: MIT
// kelvora-ports: lists the serial and parallel ports of this machine, with their stable
// names and whether this user may open them, shows what COM1..COM9 and LPT1..LPT3 reach
// now, and prints the line that maps a port in the per-user ports file.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "driver/os/ports_file.h"
#include "driver/os/posix_os.h"
#include "tools/port_list.h"

#ifndef KELVORA_VERSION
#define KELVORA_VERSION "5.1.0"
#endif

namespace {

using kelvora::tools::PortDevice;

const char kUsage[] =
    "Usage: kelvora-ports [--help] [--version]\n"
    "\n"
    "Lists the serial ports (/dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*) and parallel ports\n"
    "(/dev/parport*) of this machine with their stable names and whether you may open\n"
    "them, shows which device each port name of Kelvora (COM1..COM9, LPT1..LPT3) reaches\n"
    "now, and prints for each device the line that maps it in the ports file\n"
    "(~/.config/kelvora/ports, or $XDG_CONFIG_HOME/kelvora/ports).\n"
    "\n"
    "  -h, --help     this text\n"
    "  -V, --version  the version\n";

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : path;
}

struct Mapping {
  std::string port;    // COM1
  std::string device;  // what the driver opens for it
  const char* source;  // environment, ports file, default
};

std::vector<Mapping> CurrentMappings() {
  std::vector<Mapping> mappings;
  auto add = [&](const std::string& port) {
    const char* source = "default";
    if (const char* env = std::getenv(("ZQBREL_" + port).c_str()); env && *env)
      source = "environment";
    else if (!kelvora::drvos::MappedPortDevice(port).empty())
      source = "ports file";
    mappings.push_back({port, kelvora::drvos::DevicePathFor(port.c_str()), source});
  };
  for (int n = 1; n <= 9; ++n) add("COM" + std::to_string(n));
  for (int n = 1; n <= 3; ++n) add("LPT" + std::to_string(n));
  return mappings;
}

// The port name that reaches device now, else the first of its kind that neither the
// environment nor the ports file maps yet (and that no earlier device was offered).
std::string PortFor(const PortDevice& port, const std::vector<Mapping>& mappings,
                    std::set<std::string>* offered) {
  const std::string kind = port.parallel ? "LPT" : "COM";
  const std::string real = RealPath(port.device);
  for (const Mapping& m : mappings) {
    if (m.port.compare(0, 3, kind) == 0 && RealPath(m.device) == real) return m.port;
  }
  for (const Mapping& m : mappings) {
    if (m.port.compare(0, 3, kind) == 0 && std::strcmp(m.source, "default") == 0 &&
        offered->insert(m.port).second)
      return m.port;
  }
  return kind + "1";
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "-V" || a == "--version") {
      std::printf("kelvora-ports %s\n", KELVORA_VERSION);
      return 0;
    }
    std::fprintf(stderr, "kelvora-ports: unknown argument '%s'\nTry 'kelvora-ports --help'.\n",
                 a.c_str());
    return 2;
  }

  const std::vector<Mapping> mappings = CurrentMappings();
  const std::vector<PortDevice> ports = kelvora::tools::ListPorts("");
  std::set<std::string> offered;
  for (const Mapping& m : mappings) {
    // A port whose default device is present is taken; offer the others first.
    if (std::strcmp(m.source, "default") == 0) {
      for (const PortDevice& p : ports) {
        if (p.device == m.device) offered.insert(m.port);
      }
    }
  }

  for (int parallel = 0; parallel <= 1; ++parallel) {
    std::printf("%s ports:\n", parallel ? "Parallel" : "Serial");
    bool any = false;
    for (const PortDevice& p : ports) {
      if (p.parallel != (parallel == 1)) continue;
      any = true;
      const std::string name = p.stableName.empty() ? p.device : p.stableName;
      std::printf("  %s\n", p.device.c_str());
      if (!p.stableName.empty()) std::printf("    stable name: %s\n", p.stableName.c_str());
      if (p.accessible) {
        std::printf("    access: yes\n");
      } else if (!p.group.empty() && p.group != "root") {
        std::printf(
            "    access: no - join the group %s (sudo usermod -aG %s $USER), then log in "
            "again\n",
            p.group.c_str(), p.group.c_str());
      } else {
        std::printf("    access: no\n");
      }
      std::printf("    ports line: %s=%s\n", PortFor(p, mappings, &offered).c_str(), name.c_str());
    }
    if (!any) std::printf("  (none found)\n");
  }

  std::printf("\nPort names now (environment ZQBREL_<port>, else %s, else the default):\n",
              kelvora::drvos::PortsFilePath().c_str());
  for (const Mapping& m : mappings) {
    std::printf("  %-5s %s (%s)\n", m.port.c_str(), m.device.c_str(), m.source);
  }
  return 0;
}
