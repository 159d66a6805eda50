// SPDX-License-Identifier: MIT
// The driver's poll timer beside what a user might have written instead: a loop of
// relative sleeps, and a QTimer with Qt::PreciseTimer in an event loop (when built with
// Qt). All three run at the same time, so under the same load, each making the driver's
// own tick (one exchange with its own pseudo-terminal box) every 10 ms, and each tick's
// start is timed where it begins. For each: ticks against ticks expected, drift per
// minute, the 99th percentile of the period's deviation from 10 ms, and the CPU of its
// thread; the driver's figures also as ratios to each alternative. A second round runs
// with ZQBREL_TRACE on for the driver's port, to show that the trace leaves the period
// alone: rounds with the trace off and on alternate, and the figures are the medians
// over the rounds of each kind. The trace also gives the exchange's round trip on a pty.
//
// Usage: driver_timer_bench [seconds per round, at least 5] [--rounds N] [--load N] [--normal]
//   --rounds N  rounds with the trace off, and as many with it on (default 3)
//   --load N    keep N extra threads busy meanwhile (ordinary priority)
//   --normal    the driver's timer without real-time scheduling, as where the system
//               refuses it (an ordinary user without an rtprio limit)
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef KELVORA_BENCH_QT
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#endif

#include "driver/connections.h"
#include "driver/os/os.h"
#include "driver/os/posix_os.h"
#include "driver/zqBrel20.h"
#include "tests/driver/pty_box.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kPeriodMs = 10.0;

pid_t ThreadId() {
  return static_cast<pid_t>(syscall(SYS_gettid));
}

// The driver's timer thread by its name; 0 when there is none.
pid_t DriverTimerThread() {
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return 0;
  pid_t found = 0;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
    std::string name;
    std::getline(comm, name);
    if (name == "zqbrel-timer") found = static_cast<pid_t>(std::atoi(e->d_name));
  }
  closedir(dir);
  return found;
}

// User + system CPU of a thread, in seconds.
double ThreadCpu(pid_t tid) {
  if (tid == 0) return 0;
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(line.substr(close + 2));
  std::string field;
  unsigned long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoul(field);
    if (i == 15) stime = std::stoul(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

const char* PolicyName(pid_t tid) {
  const int p = tid != 0 ? sched_getscheduler(tid) : -1;
  return p == SCHED_FIFO ? "FIFO" : p == SCHED_OTHER ? "OTHER" : "?";
}

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

struct Figures {
  std::string name;
  size_t ticks = 0;
  double expected = 0;
  double driftMsPerMin = 0;  // where the last tick is against the fixed schedule
  double p99DevMs = 0;
  double cpuPercent = 0;
  const char* policy = "?";
};

Figures Measure(const std::string& name, const std::vector<Clock::time_point>& all,
                Clock::time_point start, Clock::time_point end, double cpuSeconds,
                const char* policy) {
  Figures f;
  f.name = name;
  f.policy = policy;
  std::vector<Clock::time_point> times;
  for (auto t : all) {
    if (t > start && t <= end) times.push_back(t);
  }
  const double seconds = std::chrono::duration<double>(end - start).count();
  f.ticks = times.size();
  f.expected = seconds * 1000.0 / kPeriodMs;
  f.cpuPercent = 100.0 * cpuSeconds / seconds;
  if (times.size() < 2) return f;
  std::vector<double> dev;
  for (size_t i = 1; i < times.size(); ++i) {
    const double gap = std::chrono::duration<double, std::milli>(times[i] - times[i - 1]).count();
    dev.push_back(std::fabs(gap - kPeriodMs));
  }
  const double span =
      std::chrono::duration<double, std::milli>(times.back() - times.front()).count();
  const double late = span - static_cast<double>(times.size() - 1) * kPeriodMs;
  f.driftMsPerMin = late * 60000.0 / span;
  f.p99DevMs = Percentile(dev, 0.99);
  return f;
}

void Print(const Figures& f) {
  std::printf(
      "  %-22s %-5s ticks %5zu / %5.0f  drift %+9.1f ms/min  p99 dev %6.3f ms  CPU %5.2f %%\n",
      f.name.c_str(), f.policy, f.ticks, f.expected, f.driftMsPerMin, f.p99DevMs, f.cpuPercent);
}

double Ratio(double a, double b) {
  return b != 0 ? a / b : (a == 0 ? 1 : INFINITY);
}

void PrintRatios(const Figures& driver, const Figures& alt) {
  std::printf("  driver / %-20s ticks %.3f  |drift| %.4f  p99 dev %.3f  CPU %.3f\n",
              alt.name.c_str(),
              Ratio(static_cast<double>(driver.ticks), static_cast<double>(alt.ticks)),
              Ratio(std::fabs(driver.driftMsPerMin), std::fabs(alt.driftMsPerMin)),
              Ratio(driver.p99DevMs, alt.p99DevMs), Ratio(driver.cpuPercent, alt.cpuPercent));
}

// One poller: its own box and record, and the times its ticks began. The record's own
// timer is stopped; the timer under test calls Tick, which is what the driver's timer
// calls, the same exchange for all.
struct Poller {
  kelvora::drvtest::PtyBox box;
  TBrelRecord rec{};
  std::vector<Clock::time_point> ticks;
  bool Open(const char* port, int seconds) {
    if (!box.ok()) return false;
    box.MapAs(port);
    rec.PollInterval = 10;
    if (zqOpenInterface(&rec, port) == static_cast<int32_t>(ZQ_ERROR)) return false;
    kelvora::drvos::CurrentOs().TimeKillEvent(rec.TimerId);
    rec.TimerId = 0;
    ticks.reserve(static_cast<size_t>(seconds + 5) * 120);
    return true;
  }
  void Tick() {
    ticks.push_back(Clock::now());
    kelvora::driver::PollTimerProc(0, 0, reinterpret_cast<uintptr_t>(&rec), 0, 0);
  }
};

void DriverTick(uint32_t, uint32_t, uintptr_t user, uintptr_t, uintptr_t) {
  reinterpret_cast<Poller*>(user)->Tick();
}

struct Round {
  std::vector<Figures> figures;  // driver first
  std::vector<double> roundTripMs;
};

Round RunRound(int seconds, const std::string& tracePath) {
  Round round;
  Poller driver, sleeper;
  if (!tracePath.empty()) setenv("ZQBREL_TRACE", tracePath.c_str(), 1);
  const bool driverOpen = driver.Open("COM1", seconds);
  unsetenv("ZQBREL_TRACE");
  if (!driverOpen || !sleeper.Open("COM2", seconds)) {
    std::printf("cannot open a pseudo-terminal box\n");
    return round;
  }
  // The driver's periodic timer, as zqOpenInterface starts it.
  kelvora::drvos::Os& os = kelvora::drvos::CurrentOs();
  const uint32_t timer =
      os.TimeSetEvent(10, 0, &DriverTick, reinterpret_cast<uintptr_t>(&driver), 1);
  std::atomic<bool> stop{false};
  std::atomic<pid_t> sleeperTid{0};
  std::thread sleepLoop([&] {
    sleeperTid = ThreadId();
    while (!stop) {
      sleeper.Tick();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
#ifdef KELVORA_BENCH_QT
  Poller qt;
  std::atomic<pid_t> qtTid{0};
  std::unique_ptr<QThread> qtThread;
  if (qt.Open("COM3", seconds)) {
    qtThread.reset(QThread::create([&] {
      qtTid = ThreadId();
      QEventLoop loop;
      QTimer timer;
      timer.setTimerType(Qt::PreciseTimer);
      timer.setInterval(10);
      QObject::connect(&timer, &QTimer::timeout, [&] {
        qt.Tick();
        if (stop) loop.quit();
      });
      timer.start();
      loop.exec();
    }));
    qtThread->start();
  }
#endif
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // all running
  const pid_t driverTid = DriverTimerThread();
  const pid_t sleepTid = sleeperTid;
  const double cpu0[3] = {ThreadCpu(driverTid), ThreadCpu(sleepTid),
#ifdef KELVORA_BENCH_QT
                          ThreadCpu(qtTid)
#else
                          0
#endif
  };
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const auto end = Clock::now();
  const double cpu[3] = {ThreadCpu(driverTid) - cpu0[0], ThreadCpu(sleepTid) - cpu0[1],
#ifdef KELVORA_BENCH_QT
                         ThreadCpu(qtTid) - cpu0[2]
#else
                         0
#endif
  };
  const char* driverPolicy = PolicyName(driverTid);
  const char* sleepPolicy = PolicyName(sleepTid);
  os.TimeKillEvent(timer);
  stop = true;
  sleepLoop.join();
  round.figures.push_back(Measure(tracePath.empty() ? "driver timer" : "driver timer, traced",
                                  driver.ticks, start, end, cpu[0], driverPolicy));
  round.figures.push_back(
      Measure("relative sleeps", sleeper.ticks, start, end, cpu[1], sleepPolicy));
#ifdef KELVORA_BENCH_QT
  if (qtThread) {
    qtThread->wait();
    round.figures.push_back(Measure("QTimer, PreciseTimer", qt.ticks, start, end, cpu[2], "OTHER"));
    zqCloseInterface(&qt.rec);
  }
#endif
  zqCloseInterface(&driver.rec);
  zqCloseInterface(&sleeper.rec);
  if (!tracePath.empty()) {
    std::ifstream in(tracePath);
    for (std::string line; std::getline(in, line);) {
      const size_t at = line.find("took_ms=");
      if (at != std::string::npos && line.find("result=ok") != std::string::npos) {
        round.roundTripMs.push_back(std::atof(line.c_str() + at + 8));
      }
    }
  }
  return round;
}

// What a pseudo-terminal says to the low-latency request the driver makes at open.
std::string LowLatencyOnAPty() {
  kelvora::drvtest::PtyBox box;
  const int fd = open(box.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return "cannot open one";
  serial_struct ss{};
  const int rc = ioctl(fd, TIOCGSERIAL, &ss);
  const int err = errno;
  close(fd);
  return rc == 0 ? "accepted" : std::string("refused (") + std::strerror(err) + ")";
}

}  // namespace

int main(int argc, char** argv) {
#ifdef KELVORA_BENCH_QT
  QCoreApplication app(argc, argv);
#endif
  int seconds = 10;
  int load = 0;
  int pairs = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--load") == 0 && i + 1 < argc) {
      load = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--normal") == 0) {
      kelvora::drvos::SetTimerRealtime(false);
    } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      pairs = std::max(1, std::atoi(argv[++i]));
    } else if (argv[i][0] >= '0' && argv[i][0] <= '9') {
      seconds = std::max(5, std::atoi(argv[i]));
    } else {
      std::fprintf(std::strcmp(argv[i], "--help") == 0 ? stdout : stderr,
                   "Usage: driver_timer_bench [SECONDS, at least 5] [--rounds N] [--load N] "
                   "[--normal]\n");
      return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
    }
  }
  std::atomic<bool> stopLoad{false};
  std::vector<std::thread> busy;
  for (int i = 0; i < load; ++i) {
    busy.emplace_back([&] {
      volatile uint64_t x = 0;
      while (!stopLoad.load(std::memory_order_relaxed)) x = x + 1;
    });
  }
  std::printf(
      "period 10 ms, %d s per round, %d busy thread(s) of extra load, %u CPUs; each poller "
      "exchanges with its own pty box\n",
      seconds, load, std::thread::hardware_concurrency());
#ifndef KELVORA_BENCH_QT
  std::printf("(built without Qt: no QTimer column)\n");
#endif
  // Trace off and on in turn: on a shared machine one round's p99 is mostly the noise
  // of that round, so the comparison is between the medians of several.
  char tracePath[] = "/tmp/driver_timer_bench_trace_XXXXXX";
  const int fd = mkstemp(tracePath);
  if (fd >= 0) close(fd);
  std::vector<Round> rounds[2];  // [0] trace off, [1] trace on
  std::vector<double> roundTrip;
  for (int n = 0; n < 2 * pairs; ++n) {
    const bool traced = n % 2 == 1;
    if (traced && truncate(tracePath, 0) != 0) std::printf("cannot empty the trace file\n");
    Round round = RunRound(seconds, traced ? tracePath : "");
    std::printf("round %d, trace %s:\n", n + 1, traced ? "on for the driver's port" : "off");
    for (const Figures& f : round.figures) Print(f);
    roundTrip.insert(roundTrip.end(), round.roundTripMs.begin(), round.roundTripMs.end());
    rounds[traced].push_back(std::move(round));
  }
  unlink(tracePath);

  // Medians over the rounds, poller by poller.
  auto median = [](const std::vector<Round>& rs, size_t i, auto field) {
    std::vector<double> v;
    for (const Round& r : rs) {
      if (i < r.figures.size()) v.push_back(field(r.figures[i]));
    }
    return Percentile(v, 0.5);
  };
  auto summary = [&](const std::vector<Round>& rs, size_t i) {
    Figures f = rs.front().figures[i];
    f.ticks = static_cast<size_t>(median(rs, i, [](const Figures& x) { return x.ticks; }));
    f.driftMsPerMin = median(rs, i, [](const Figures& x) { return x.driftMsPerMin; });
    f.p99DevMs = median(rs, i, [](const Figures& x) { return x.p99DevMs; });
    f.cpuPercent = median(rs, i, [](const Figures& x) { return x.cpuPercent; });
    return f;
  };
  if (rounds[0].empty() || rounds[0].front().figures.empty() || rounds[1].empty() ||
      rounds[1].front().figures.empty()) {
    return 1;
  }
  std::printf("medians over %d rounds each:\n", pairs);
  std::vector<Figures> off;
  for (size_t i = 0; i < rounds[0].front().figures.size(); ++i)
    off.push_back(summary(rounds[0], i));
  const Figures on = summary(rounds[1], 0);
  for (const Figures& f : off) Print(f);
  Print(on);
  for (size_t i = 1; i < off.size(); ++i) PrintRatios(off[0], off[i]);
  std::printf("driver p99 deviation by round, trace off:");
  for (const Round& r : rounds[0]) std::printf(" %.3f", r.figures[0].p99DevMs);
  std::printf(" ms; trace on:");
  for (const Round& r : rounds[1]) std::printf(" %.3f", r.figures[0].p99DevMs);
  std::printf(" ms; medians %.3f / %.3f ms\n", off[0].p99DevMs, on.p99DevMs);
  if (!roundTrip.empty()) {
    std::printf(
        "exchange round trip on a pty (write to end of read, from the trace, %zu exchanges): "
        "median %.3f ms, p99 %.3f ms, max %.3f ms\n",
        roundTrip.size(), Percentile(roundTrip, 0.5), Percentile(roundTrip, 0.99),
        Percentile(roundTrip, 1.0));
  }
  std::printf("low-latency request on a pty: %s\n", LowLatencyOnAPty().c_str());
  stopLoad = true;
  for (std::thread& t : busy) t.join();
  return 0;
}
