// SPDX-License-Identifier: MIT
// kelvora-sim's command line: the help text and the parser that fills Options from it.
#include "tools/kelvora_sim_options.h"

#include "tools/kelvora_sim_keys.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

namespace kelvora::sim::tool {

namespace {

const char kOptions[] =
    "Usage: kelvora-sim [options] [-- PROGRAM [ARGS...]]\n"
    "\n"
    "Plays the robot kit's serial interface box, with a virtual robot behind it, on a\n"
    "pseudo-terminal, and prints the device and the line that maps a COM port to it\n"
    "(ZQBREL_COM1=/dev/pts/N). With -- PROGRAM it starts PROGRAM with that mapping in\n"
    "its environment and ends when PROGRAM ends, with PROGRAM's exit status; without\n"
    "one it runs until Ctrl+C, q, or the end of its standard input.\n"
    "\n"
    "Options:\n"
    "  -l, --layout standard|rob5  robot model layout (default standard: Säule, Arm\n"
    "                              horizontal, Arm vertikal, Greifer on motors 1-4;\n"
    "                              rob5 adds Wagen on motor 5 and 16 inputs)\n"
    "  -c, --com N                 COM port number to map, 1..9 (default 1)\n"
    "  -s, --speed U               axis speed in units per second (default 40)\n"
    "  -k, --coast U               units an axis runs on after its motor stops (default 0.5)\n"
    "  -p, --start P1,P2,...       start positions of the axes in axis order (default: where\n"
    "                              the robot was left, between its ends, not homed)\n"
    "      --pace / --no-pace      answer at the real line speed, 9600 baud, about 1.04 ms\n"
    "                              per byte (default on)\n"
    "  -f, --fault F               box fault from the start: silent, short, garbage, split,\n"
    "                              late, stray, vanished, replug (see the keys)\n"
    "      --link PATH             make PATH a symbolic link to the device and map the COM\n"
    "                              port to PATH; the link follows the device when it comes\n"
    "                              back after a replug, as /dev/serial/by-id/... follows an\n"
    "                              adapter\n"
    "      --stuck-impulse N       the impulse switch of axis N sticks (repeatable)\n"
    "      --end-switch-broken N   the end switch of axis N never closes (repeatable)\n"
    "      --input11               start with the switch on input 11 closed\n"
    "      --ex V, --ey V          analog inputs EX and EY (0..2048 and beyond)\n"
    "      --no-keys               do not read keys from standard input\n"
    "      --status / --no-status  force the live status line on or off (default: on when\n"
    "                              standard output is a terminal)\n"
    "      --view                  show the robot in a window, with controls for what the\n"
    "                              keys do (needs a display; without one it runs on)\n"
    "  -h, --help                  this text\n"
    "  -V, --version               the version\n"
    "\n";

}  // namespace

std::string Usage() {
  return kOptions + KeysHelp();
}

namespace {

bool ParseDouble(const char* text, double* out) {
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool ParseInt(const char* text, int lo, int hi, int* out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

int ParseOptions(int argc, char** argv, Options* o) {
  enum {
    kPace = 1000,
    kNoPace,
    kStuck,
    kEndBroken,
    kInput11,
    kEx,
    kEy,
    kNoKeys,
    kStatus,
    kNoStatus,
    kLink,
    kView
  };
  static const option longOpts[] = {
      {"layout", required_argument, nullptr, 'l'},
      {"com", required_argument, nullptr, 'c'},
      {"speed", required_argument, nullptr, 's'},
      {"coast", required_argument, nullptr, 'k'},
      {"start", required_argument, nullptr, 'p'},
      {"pace", no_argument, nullptr, kPace},
      {"no-pace", no_argument, nullptr, kNoPace},
      {"fault", required_argument, nullptr, 'f'},
      {"link", required_argument, nullptr, kLink},
      {"stuck-impulse", required_argument, nullptr, kStuck},
      {"end-switch-broken", required_argument, nullptr, kEndBroken},
      {"input11", no_argument, nullptr, kInput11},
      {"ex", required_argument, nullptr, kEx},
      {"ey", required_argument, nullptr, kEy},
      {"no-keys", no_argument, nullptr, kNoKeys},
      {"status", no_argument, nullptr, kStatus},
      {"no-status", no_argument, nullptr, kNoStatus},
      {"view", no_argument, nullptr, kView},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},
      {nullptr, 0, nullptr, 0},
  };
  opterr = 1;
  int c;
  // '+': stop at the first word that is no option, so PROGRAM's own options stay its own
  while ((c = getopt_long(argc, argv, "+l:c:s:k:p:f:hV", longOpts, nullptr)) != -1) {
    switch (c) {
      case 'l':
        if (std::strcmp(optarg, "standard") == 0)
          o->layout = Layout::kStandard;
        else if (std::strcmp(optarg, "rob5") == 0)
          o->layout = Layout::kRob5;
        else {
          std::fprintf(stderr, "kelvora-sim: unknown layout '%s' (standard or rob5)\n", optarg);
          return 2;
        }
        break;
      case 'c':
        if (!ParseInt(optarg, 1, 9, &o->com)) {
          std::fprintf(stderr, "kelvora-sim: COM number must be 1..9\n");
          return 2;
        }
        break;
      case 's':
        if (!ParseDouble(optarg, &o->speed) || o->speed <= 0 || o->speed > 10000) {
          std::fprintf(stderr, "kelvora-sim: speed must be a number of units per second > 0\n");
          return 2;
        }
        break;
      case 'k':
        if (!ParseDouble(optarg, &o->coast) || o->coast < 0 || o->coast > 1000) {
          std::fprintf(stderr, "kelvora-sim: coasting must be a number of units >= 0\n");
          return 2;
        }
        break;
      case 'p': {
        o->start.clear();
        std::stringstream ss(optarg);
        std::string item;
        while (std::getline(ss, item, ',')) {
          double v;
          if (!ParseDouble(item.c_str(), &v)) {
            std::fprintf(stderr, "kelvora-sim: bad start position '%s'\n", item.c_str());
            return 2;
          }
          o->start.push_back(v);
        }
        break;
      }
      case kPace:
        o->pace = true;
        break;
      case kNoPace:
        o->pace = false;
        break;
      case 'f':
        if (!ParseBoxFault(optarg, &o->fault)) {
          std::fprintf(stderr, "kelvora-sim: unknown fault '%s'\n", optarg);
          return 2;
        }
        break;
      case kLink:
        o->link = optarg;
        break;
      case kStuck:
      case kEndBroken: {
        int axis;
        if (!ParseInt(optarg, 1, 8, &axis)) {
          std::fprintf(stderr, "kelvora-sim: axis must be 1..8\n");
          return 2;
        }
        (c == kStuck ? o->stuck : o->endBroken).push_back(axis);
        break;
      }
      case kInput11:
        o->input11 = true;
        break;
      case kEx:
      case kEy: {
        int v;
        if (!ParseInt(optarg, 0, 65535, &v)) {
          std::fprintf(stderr, "kelvora-sim: analog value must be 0..65535\n");
          return 2;
        }
        (c == kEx ? o->ex : o->ey) = v;
        break;
      }
      case kNoKeys:
        o->keys = false;
        break;
      case kStatus:
        o->status = 1;
        break;
      case kNoStatus:
        o->status = 0;
        break;
      case kView:
        o->view = true;
        break;
      case 'h':
        std::fputs(Usage().c_str(), stdout);
        return 1;
      case 'V':
        std::printf("kelvora-sim %s\n", KELVORA_VERSION);
        return 1;
      default:
        std::fputs("Try 'kelvora-sim --help'.\n", stderr);
        return 2;
    }
  }
  for (int i = optind; i < argc; ++i) o->program.emplace_back(argv[i]);
  return 0;
}

}  // namespace kelvora::sim::tool
