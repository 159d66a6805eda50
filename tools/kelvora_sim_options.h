// SPDX-License-Identifier: MIT
// kelvora-sim's command line: the options it takes, their help text (with the keys it
// reads while it runs) and the parser.
#pragma once

#include <string>
#include <vector>

#include "sim/robot.h"
#include "sim/virtual_box.h"

namespace kelvora::sim::tool {

// The --help text: the options, then the keys (KeysHelp).
std::string Usage();

// The robot's own options (layout, speed, coasting, start positions) and the rest.
struct Options : RobotOptions {
  int com = 1;
  bool pace = true;
  BoxFault fault = BoxFault::kNone;
  std::string link;
  std::vector<int> stuck;
  std::vector<int> endBroken;
  bool input11 = false;
  int ex = 0;
  int ey = 0;
  bool keys = true;
  int status = -1;  // -1 automatic
  bool view = false;
  std::vector<std::string> program;
};

// Returns 0 to go on, 1 for help or version printed, 2 for a usage error.
int ParseOptions(int argc, char** argv, Options* o);

}  // namespace kelvora::sim::tool
