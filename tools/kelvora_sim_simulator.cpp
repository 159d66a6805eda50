// SPDX-License-Identifier: MIT
// kelvora-sim's simulator: the pseudo-terminal, its --link name, the serving thread with
// the line's timing, and the faults that pull the device away and bring it back.
#include "tools/kelvora_sim_simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace kelvora::sim::tool {
namespace {

// 9600 baud, start bit, 8 data bits, stop bit: 10 bit times per character.
constexpr int64_t kByteNs = 10LL * 1000000000LL / 9600;
// How long a replugged device stays away.
constexpr int64_t kReplugAfterNs = 2000000000LL;

void SleepUntilNs(int64_t deadline) {
  timespec ts;
  ts.tv_sec = deadline / 1000000000LL;
  ts.tv_nsec = deadline % 1000000000LL;
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

}  // namespace

int64_t MonoNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

Simulator::Simulator(const Options& o) : options_(o), robot_(o) {
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

Simulator::~Simulator() {
  Stop();
  Unlink();
  box_.SetInputSource(nullptr);
  box_.SetMotorListener(nullptr);
}

bool Simulator::OpenPty(std::string* error) {
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

bool Simulator::Link(std::string* error) {
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

void Simulator::Unlink() {
  struct stat st {};
  if (linked_ && lstat(options_.link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    unlink(options_.link.c_str());
  }
  linked_ = false;
}

void Simulator::Start() {
  std::lock_guard lock(faultMutex_);
  if (options_.fault != BoxFault::kNone) SetFaultLocked(options_.fault);
  if (vanished_) return;
  running_ = true;
  thread_ = std::thread([this] { Serve(); });
}

void Simulator::Stop() {
  std::lock_guard lock(faultMutex_);
  running_ = false;
  if (thread_.joinable()) thread_.join();
  CloseDevice();
  returnAtNs_ = 0;  // nothing comes back after the end
}

void Simulator::SetFault(BoxFault f) {
  std::lock_guard lock(faultMutex_);
  SetFaultLocked(f);
}

std::string Simulator::CheckReplug() {
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

void Simulator::ToggleStuck(int axis) {
  if (axis <= robot_.AxisCount()) robot_.SetStuckImpulse(axis, !robot_.StuckImpulse(axis));
}

void Simulator::ToggleEndBroken(int axis) {
  if (axis <= robot_.AxisCount()) robot_.SetEndSwitchBroken(axis, !robot_.EndSwitchBroken(axis));
}

void Simulator::ChangeAnalog(int channel, int delta) {
  const int v = std::max(0, std::min(4095, box_.Analog(channel) + delta));
  box_.SetAnalog(channel, static_cast<uint16_t>(v));
}

std::string Simulator::Positions() {
  CatchUp();
  std::string s = "positions:";
  char buf[96];
  for (int a = 1; a <= robot_.AxisCount(); ++a) {
    std::snprintf(buf, sizeof buf, " %d=%.3f", a, robot_.Position(a));
    s += buf;
  }
  return s;
}

std::string Simulator::ImpulseCounts() {
  CatchUp();
  std::string s = "impulses:";
  for (int a = 1; a <= robot_.AxisCount(); ++a) {
    s += " " + std::to_string(a) + "=" + std::to_string(robot_.ImpulseChanges(a)) + "/" +
         std::to_string(box_.ReplyChanges(robot_.Config(a).impulseInput));
  }
  return s;
}

std::string Simulator::StatusLine() {
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

void Simulator::SetFaultLocked(BoxFault f) {
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

std::string Simulator::ShortName(const std::string& name) {
  if (name == "Arm horizontal") return "ArmH";
  if (name == "Arm vertikal") return "ArmV";
  return name;
}

void Simulator::CloseDevice() {
  std::lock_guard lock(fdMutex_);
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  master_ = slave_ = -1;
}

void Simulator::WriteAll(const uint8_t* data, size_t n) {
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
void Simulator::Serve() {
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

}  // namespace kelvora::sim::tool
