// kelvora-sim: the virtual interface box and robot on a pseudo-terminal, in real time.
//
// The program (or the driver library in a test) opens the terminal's slave side as its
// "COM" port; this process answers on the master side through the virtual box, with the
// virtual robot behind it. With -- PROGRAM it starts the program with the port mapped in
// its environment and ends with it.
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/robot.h"
#include "sim/view/view_host.h"
#include "sim/virtual_box.h"

extern char** environ;

namespace {

using kelvora::sim::BoxFault;
using kelvora::sim::BoxFaultName;
using kelvora::sim::Layout;
using kelvora::sim::ParseBoxFault;
using kelvora::sim::Robot;
using kelvora::sim::RobotOptions;
using kelvora::sim::VirtualBox;

// 9600 baud, start bit, 8 data bits, stop bit: 10 bit times per character.
constexpr int64_t kByteNs = 10LL * 1000000000LL / 9600;
// How long a replugged device stays away.
constexpr int64_t kReplugAfterNs = 2000000000LL;

const char kUsage[] =
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
    "\n"
    "Keys (from a terminal, or any standard input when no PROGRAM is run):\n"
    "  i        toggle the switch on input 11\n"
    "  1..8     toggle a stuck impulse switch on that axis\n"
    "  e 1..8   toggle a broken end switch on that axis\n"
    "  s t g    box goes silent / answers short / answers garbage\n"
    "  h        replies come in two pieces, the rest 8 ms after the first byte\n"
    "  l        replies come 40 ms late\n"
    "  b        a stray byte follows every reply\n"
    "  n        box answers normally again\n"
    "  v        the device vanishes (for good)\n"
    "  r        the device vanishes and comes back 2 s later (replug; a new\n"
    "           pseudo-terminal, found again under the --link name)\n"
    "  x X y Y  analog input EX or EY down / up by 128\n"
    "  p        print the axes' true positions\n"
    "  ?        this key list\n"
    "  q        quit (ends PROGRAM too)\n";

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

// Returns 0 to go on, 1 for help or version printed, 2 for a usage error.
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
        std::fputs(kUsage, stdout);
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

// --- time --------------------------------------------------------------------------

int64_t MonoNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

void SleepUntilNs(int64_t deadline) {
  timespec ts;
  ts.tv_sec = deadline / 1000000000LL;
  ts.tv_nsec = deadline % 1000000000LL;
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

// --- signals -----------------------------------------------------------------------

volatile sig_atomic_t gSignal = 0;
int gWakePipe[2] = {-1, -1};

void OnSignal(int sig) {
  gSignal = sig;
  int saved = errno;
  char b = 1;
  [[maybe_unused]] ssize_t r = write(gWakePipe[1], &b, 1);
  errno = saved;
}

// --- the simulator -------------------------------------------------------------------

class Simulator {
 public:
  explicit Simulator(const Options& o) : options_(o), robot_(o) {
    startNs_ = MonoNs();
    for (int a : o.stuck) robot_.SetStuckImpulse(a, true);
    for (int a : o.endBroken) robot_.SetEndSwitchBroken(a, true);
    if (o.input11) robot_.SetExtraInput(11, true);
    box_.SetAnalog(0, static_cast<uint16_t>(o.ex));
    box_.SetAnalog(1, static_cast<uint16_t>(o.ey));
    // the robot lives on the real clock: bring it up to now whenever the box looks at it
    box_.SetInputSource([this] {
      CatchUp();
      return robot_.Inputs();
    });
    box_.SetMotorListener([this](uint16_t word) {
      CatchUp();
      robot_.SetMotorWord(word);
    });
  }

  ~Simulator() {
    Stop();
    Unlink();
    box_.SetInputSource(nullptr);
    box_.SetMotorListener(nullptr);
  }

  bool OpenPty(std::string* error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
      *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
      return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
      *error = "cannot name the pseudo-terminal";
      return false;
    }
    path_ = name;
    // Hold the slave open: the master then never sees a hang-up while no program has
    // the port open, and we can make it raw before anyone exchanges a byte (a fresh
    // terminal echoes and translates, which would corrupt the binary protocol).
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
      *error = std::string("cannot open ") + name + ": " + std::strerror(errno);
      return false;
    }
    for (int fd : {master_, slave_}) {
      termios t;
      if (tcgetattr(fd, &t) != 0) {
        *error = "cannot read the terminal settings";
        return false;
      }
      cfmakeraw(&t);
      t.c_cc[VMIN] = 1;
      t.c_cc[VTIME] = 0;
      cfsetispeed(&t, B9600);
      cfsetospeed(&t, B9600);
      if (tcsetattr(fd, TCSANOW, &t) != 0) {
        *error = "cannot make the terminal raw";
        return false;
      }
    }
    return true;
  }

  const std::string& Path() const { return path_; }
  // What the COM port is mapped to: the --link name, else the device itself.
  const std::string& MapPath() const { return options_.link.empty() ? path_ : options_.link; }

  // Points the --link name at the device (atomically, so that an opener never finds it
  // missing); never replaces anything but a symbolic link.
  bool Link(std::string* error) {
    const std::string& link = options_.link;
    if (link.empty()) return true;
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
      *error = link + " exists and is no symbolic link";
      return false;
    }
    const std::string fresh = link + ".new";
    unlink(fresh.c_str());
    if (symlink(path_.c_str(), fresh.c_str()) != 0 || rename(fresh.c_str(), link.c_str()) != 0) {
      *error = "cannot link " + link + ": " + std::strerror(errno);
      unlink(fresh.c_str());
      return false;
    }
    linked_ = true;
    return true;
  }

  void Unlink() {
    struct stat st {};
    if (linked_ && lstat(options_.link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      unlink(options_.link.c_str());
    }
    linked_ = false;
  }

  // The serving thread, the device and the replug state change from the keys' thread
  // and, with --view, from the window's thread: always under faultMutex_.
  void Start() {
    std::lock_guard lock(faultMutex_);
    if (options_.fault != BoxFault::kNone) SetFaultLocked(options_.fault);
    if (vanished_) return;
    running_ = true;
    thread_ = std::thread([this] { Serve(); });
  }

  void Stop() {
    std::lock_guard lock(faultMutex_);
    running_ = false;
    if (thread_.joinable()) thread_.join();
    CloseDevice();
    returnAtNs_ = 0;  // nothing comes back after the end
  }

  void SetFault(BoxFault f) {
    std::lock_guard lock(faultMutex_);
    SetFaultLocked(f);
  }

  // Brings a replugged device back once its time has come: a new pseudo-terminal, as
  // an adapter comes back as a new device, with the --link name pointed at it. Returns
  // what to tell the user, or "" while nothing happened.
  std::string CheckReplug() {
    std::lock_guard lock(faultMutex_);
    if (returnAtNs_ == 0 || MonoNs() < returnAtNs_) return "";
    returnAtNs_ = 0;
    std::string error;
    if (!OpenPty(&error) || !Link(&error)) {
      CloseDevice();
      return "kelvora-sim: the device stays gone: " + error;
    }
    box_.SetFault(BoxFault::kNone);
    vanished_ = false;
    running_ = true;
    thread_ = std::thread([this] { Serve(); });
    if (options_.link.empty()) {
      return "kelvora-sim: the device is back as " + path_ +
             "; under its new name a program that used the old one cannot find it (see --link)";
    }
    return "kelvora-sim: the device is back as " + path_ + ", " + options_.link + " points to it";
  }

  void ToggleInput11() { robot_.SetExtraInput(11, !robot_.ExtraInput(11)); }
  void ToggleStuck(int axis) {
    if (axis <= robot_.AxisCount()) robot_.SetStuckImpulse(axis, !robot_.StuckImpulse(axis));
  }
  void ToggleEndBroken(int axis) {
    if (axis <= robot_.AxisCount()) robot_.SetEndSwitchBroken(axis, !robot_.EndSwitchBroken(axis));
  }
  void ChangeAnalog(int channel, int delta) {
    const int v = std::max(0, std::min(4095, box_.Analog(channel) + delta));
    box_.SetAnalog(channel, static_cast<uint16_t>(v));
  }

  Robot& GetRobot() { return robot_; }
  VirtualBox& Box() { return box_; }

  void CatchUp() { robot_.AdvanceTo(static_cast<uint64_t>((MonoNs() - startNs_) / 1000)); }

  std::string Positions() {
    CatchUp();
    std::string s = "positions:";
    char buf[96];
    for (int a = 1; a <= robot_.AxisCount(); ++a) {
      std::snprintf(buf, sizeof buf, " %d=%.3f", a, robot_.Position(a));
      s += buf;
    }
    return s;
  }

  std::string StatusLine() {
    CatchUp();
    std::string s;
    char buf[96];
    for (int a = 1; a <= robot_.AxisCount(); ++a) {
      kelvora::sim::AxisConfig c = robot_.Config(a);
      std::snprintf(buf, sizeof buf, "%s%s %.1f", a > 1 ? "  " : "", ShortName(c.name).c_str(),
                    robot_.Position(a));
      s += buf;
      if (robot_.StuckImpulse(a)) s += "!imp";
      if (robot_.EndSwitchBroken(a)) s += "!end";
    }
    s += " | M";
    bool any = false;
    for (int m = 1; m <= 8; ++m) {
      int code = robot_.MotorCode(m);
      if (code == 1 || code == 2) {
        std::snprintf(buf, sizeof buf, " %d%c", m, code == 1 ? '<' : '>');
        s += buf;
        any = true;
      }
    }
    if (!any) s += " -";
    s += " | In";
    uint16_t in = robot_.Inputs();
    any = false;
    for (int n = 1; n <= 16; ++n) {
      if (in & (1u << (n - 1))) {
        std::snprintf(buf, sizeof buf, " %d", n);
        s += buf;
        any = true;
      }
    }
    if (!any) s += " -";
    if (const int ex = box_.Analog(0), ey = box_.Analog(1); ex || ey) {
      std::snprintf(buf, sizeof buf, " | EX %d EY %d", ex, ey);
      s += buf;
    }
    if (box_.Fault() != BoxFault::kNone) s += std::string(" | box ") + BoxFaultName(box_.Fault());
    return s;
  }

 private:
  void SetFaultLocked(BoxFault f) {
    if (vanished_) return;  // gone: nothing to answer wrongly until it is back
    box_.SetFault(f);
    if (f == BoxFault::kVanished || f == BoxFault::kReplug) {
      // the device is gone: stop answering, then pull the terminal away
      vanished_ = true;
      running_ = false;
      if (thread_.joinable()) thread_.join();
      CloseDevice();
      // The name goes with the device, as udev removes an adapter's stable name: left
      // behind, it would name whatever terminal gets the old number next.
      Unlink();
      if (f == BoxFault::kReplug) returnAtNs_ = MonoNs() + kReplugAfterNs;
    }
  }

  static std::string ShortName(const std::string& name) {
    if (name == "Arm horizontal") return "ArmH";
    if (name == "Arm vertikal") return "ArmV";
    return name;
  }

  void CloseDevice() {
    std::lock_guard lock(fdMutex_);
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    master_ = slave_ = -1;
  }

  void WriteAll(const uint8_t* data, size_t n) {
    while (n > 0) {
      ssize_t w = write(master_, data, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN) {
          pollfd p{master_, POLLOUT, 0};
          poll(&p, 1, 10);
          continue;
        }
        return;
      }
      data += w;
      n -= static_cast<size_t>(w);
    }
  }

  // The serial line: reads command bytes from the master, feeds them to the box and
  // writes its replies back, optionally at the line speed. Receive and transmit run on
  // separate clocks, as on a full-duplex line: a command byte is in ten bit times after
  // the previous one, and a reply is complete ten bit times per byte after the later of
  // its command and the previous reply. The reply goes out in one write at that moment:
  // byte by byte, a sleep that oversleeps (a loaded machine) could split it across the
  // reader's 5 ms gap limit and shift every later reply by a byte. A reply piece that a
  // fault delays goes out when it is due, while later commands are served meanwhile.
  void Serve() {
    // fine-grained sleeps: the default timer slack alone would be 5% of a byte time
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    // a line does not wait for the scheduler; ask for real-time priority where allowed
    sched_param sp{};
    sp.sched_priority = 1;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &sp);
    int64_t rxDone = 0;
    int64_t txDone = 0;
    std::vector<std::pair<int64_t, std::vector<uint8_t>>> due;  // delayed pieces, send time
    uint8_t buf[256];
    while (running_) {
      int64_t now = MonoNs();
      int waitMs = 20;
      for (auto it = due.begin(); it != due.end();) {
        if (it->first <= now) {
          WriteAll(it->second.data(), it->second.size());
          it = due.erase(it);
          continue;
        }
        waitMs = std::min<int>(waitMs, static_cast<int>((it->first - now + 999999) / 1000000));
        ++it;
      }
      pollfd p{master_, POLLIN, 0};
      int r = poll(&p, 1, waitMs);
      if (r < 0 && errno != EINTR) break;
      if (r <= 0) continue;
      if (p.revents & (POLLERR | POLLNVAL)) break;
      if (!(p.revents & POLLIN)) {
        // POLLHUP alone cannot happen while we hold the slave; do not spin anyway
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      ssize_t n = read(master_, buf, sizeof buf);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EIO) continue;
        break;
      }
      const int64_t arrived = MonoNs();
      for (ssize_t i = 0; i < n; ++i) {
        if (options_.pace) {
          rxDone = std::max(rxDone, arrived) + kByteNs;
          SleepUntilNs(rxDone);
        }
        if (!box_.SerialWrite(&buf[i], 1)) return;
        for (kelvora::sim::ReplyPiece& piece : box_.TakeReplies()) {
          const int64_t size = static_cast<int64_t>(piece.bytes.size());
          if (piece.delayMs != 0) {
            const int64_t ready = (options_.pace ? rxDone : MonoNs()) + piece.delayMs * 1000000LL;
            due.emplace_back(ready + (options_.pace ? size * kByteNs : 0), std::move(piece.bytes));
            continue;
          }
          if (options_.pace) {
            txDone = std::max(txDone, rxDone) + size * kByteNs;
            SleepUntilNs(txDone);
          }
          WriteAll(piece.bytes.data(), piece.bytes.size());
        }
      }
    }
  }

  Options options_;
  VirtualBox box_;
  Robot robot_;
  int64_t startNs_ = 0;
  std::mutex fdMutex_;
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::mutex faultMutex_;
  bool vanished_ = false;
  int64_t returnAtNs_ = 0;  // when a replugged device comes back; 0: none pending
  bool linked_ = false;
  int ex_ = 0;
  int ey_ = 0;
};

// The window's way into the simulator: the robot is brought up to the real clock before
// it is read, and faults go through the simulator, which pulls the device that vanishes.
class ViewLink : public kelvora::sim::view::ViewTarget {
 public:
  explicit ViewLink(Simulator& sim) : ViewTarget(sim.GetRobot(), sim.Box()), sim_(sim) {}
  kelvora::sim::view::ViewSnapshot Take() override {
    sim_.CatchUp();
    return ViewTarget::Take();
  }
  void SetFault(BoxFault fault) override { sim_.SetFault(fault); }

 private:
  Simulator& sim_;
};

// --- the console ---------------------------------------------------------------------

termios gSavedTerm;
bool gTermSaved = false;

void RestoreTerminal() {
  if (gTermSaved) {
    tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerm);
    gTermSaved = false;
  }
}

void KeysMode() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &gSavedTerm) != 0) return;
  termios t = gSavedTerm;
  // single keys without echo; Ctrl+C still interrupts
  t.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &t) == 0) {
    gTermSaved = true;
    std::atexit(RestoreTerminal);
  }
}

void PrintLine(bool statusShown, const std::string& text) {
  if (statusShown) std::fputs("\r\033[K", stdout);
  std::fputs(text.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int ExitStatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

int Run(const Options& options, kelvora::sim::view::ViewHost* view = nullptr) {
  Simulator sim(options);
  std::string error;
  if (!sim.OpenPty(&error) || !sim.Link(&error)) {
    std::fprintf(stderr, "kelvora-sim: %s\n", error.c_str());
    return 1;
  }
  if (pipe2(gWakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::perror("kelvora-sim: pipe");
    return 1;
  }
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  // serve before telling anyone where: a program started from the printed line may
  // exchange its first command at once
  sim.Start();
  const std::string var = "ZQBREL_COM" + std::to_string(options.com);
  std::printf("kelvora-sim: virtual box on %s\n%s=%s\n", sim.Path().c_str(), var.c_str(),
              sim.MapPath().c_str());
  std::fflush(stdout);

  pid_t child = -1;
  if (!options.program.empty()) {
    setenv(var.c_str(), sim.MapPath().c_str(), 1);
    std::vector<char*> args;
    for (const std::string& a : options.program) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int rc = posix_spawnp(&child, args[0], nullptr, nullptr, args.data(), environ);
    if (rc != 0) {
      std::fprintf(stderr, "kelvora-sim: cannot start %s: %s\n", args[0], std::strerror(rc));
      sim.Stop();
      return 127;
    }
  }

  ViewLink link(sim);
  if (view) view->Show(link);

  // With a program, standard input is the program's unless it is our terminal.
  const bool readKeys = options.keys && (options.program.empty() || isatty(STDIN_FILENO));
  if (readKeys) KeysMode();
  const bool status = options.status < 0 ? isatty(STDOUT_FILENO) != 0 : options.status == 1;
  bool stdinOpen = readKeys;
  bool pendingE = false;
  int exitCode = 0;
  bool quit = false;
  int64_t nextStatus = 0;

  while (!quit) {
    pollfd fds[2];
    int nfds = 0;
    fds[nfds++] = {gWakePipe[0], POLLIN, 0};
    if (stdinOpen) fds[nfds++] = {STDIN_FILENO, POLLIN, 0};
    poll(fds, static_cast<nfds_t>(nfds), status ? 100 : 50);
    if (fds[0].revents & POLLIN) {
      char drain[16];
      while (read(gWakePipe[0], drain, sizeof drain) > 0) {
      }
    }
    if (gSignal != 0) {
      if (child > 0) kill(child, SIGTERM);
      quit = true;
      break;
    }
    if (child > 0) {
      int st;
      pid_t w = waitpid(child, &st, WNOHANG);
      if (w == child) {
        exitCode = ExitStatusOf(st);
        child = -1;
        break;
      }
    }
    if (stdinOpen && nfds > 1 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      char keys[64];
      ssize_t n = read(STDIN_FILENO, keys, sizeof keys);
      if (n <= 0) {
        stdinOpen = false;
        // end of input ends a run without a program
        if (options.program.empty()) break;
        continue;
      }
      for (ssize_t i = 0; i < n && !quit; ++i) {
        char k = keys[i];
        if (pendingE) {
          pendingE = false;
          if (k >= '1' && k <= '8') {
            sim.ToggleEndBroken(k - '0');
            continue;
          }
        }
        switch (k) {
          case 'i':
            sim.ToggleInput11();
            break;
          case 'e':
            pendingE = true;
            break;
          case 's':
            sim.SetFault(BoxFault::kSilent);
            break;
          case 't':
            sim.SetFault(BoxFault::kShort);
            break;
          case 'g':
            sim.SetFault(BoxFault::kGarbage);
            break;
          case 'n':
            sim.SetFault(BoxFault::kNone);
            break;
          case 'v':
            sim.SetFault(BoxFault::kVanished);
            break;
          case 'h':
            sim.SetFault(BoxFault::kSplit);
            break;
          case 'l':
            sim.SetFault(BoxFault::kLate);
            break;
          case 'b':
            sim.SetFault(BoxFault::kStray);
            break;
          case 'r':
            sim.SetFault(BoxFault::kReplug);
            break;
          case 'x':
            sim.ChangeAnalog(0, -128);
            break;
          case 'X':
            sim.ChangeAnalog(0, 128);
            break;
          case 'y':
            sim.ChangeAnalog(1, -128);
            break;
          case 'Y':
            sim.ChangeAnalog(1, 128);
            break;
          case 'p':
            PrintLine(status, sim.Positions());
            break;
          case '?':
            PrintLine(status, std::strstr(kUsage, "Keys"));
            break;
          case 'q':
          case 4:  // Ctrl+D in a terminal without line editing
            if (child > 0) kill(child, SIGTERM);
            quit = true;
            break;
          default:
            if (k >= '1' && k <= '8') sim.ToggleStuck(k - '0');
            break;
        }
      }
    }
    if (const std::string back = sim.CheckReplug(); !back.empty()) PrintLine(status, back);
    if (status && MonoNs() >= nextStatus) {
      nextStatus = MonoNs() + 100000000LL;
      std::string line = sim.StatusLine();
      std::printf("\r\033[K%s", line.c_str());
      std::fflush(stdout);
    }
  }

  if (child > 0) {
    // give the program a moment to close its port and end, then insist
    int st = 0;
    pid_t w = 0;
    for (int i = 0; i < 50 && (w = waitpid(child, &st, WNOHANG)) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (w == 0) {
      kill(child, SIGKILL);
      w = waitpid(child, &st, 0);
    }
    exitCode = w == child ? ExitStatusOf(st) : 1;
  }
  if (view) view->Close();
  sim.Stop();
  if (status) std::fputs("\r\033[K", stdout);
  std::fflush(stdout);
  RestoreTerminal();
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int r = ParseOptions(argc, argv, &options);
  if (r == 1) return 0;
  if (r == 2) return 2;
  if (options.view) {
#ifdef KELVORA_SIM_VIEW
    int result = 0;
    std::string why;
    if (kelvora::sim::view::RunWithWindow(
            [&options](kelvora::sim::view::ViewHost* view) { return Run(options, view); }, &result,
            &why))
      return result;
    std::fprintf(stderr, "kelvora-sim: no window: %s; running on without it\n", why.c_str());
#else
    std::fputs("kelvora-sim: no window: built without Qt; running on without it\n", stderr);
#endif
  }
  return Run(options);
}
