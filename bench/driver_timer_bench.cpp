// The driver's poll timer over a pseudo-terminal box, measured for at least 10 s with
// and without real-time scheduling: ticks counted against ticks expected, the period's
// median and 99th percentile, the largest deviation from 10 ms, and the CPU the timer
// thread used. Usage: driver_timer_bench [seconds]
#include <dirent.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/os/posix_os.h"
#include "driver/zqBrel20.h"
#include "tests/driver/pty_box.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kPeriodMs = 10.0;

// The timer thread by its name; 0 when there is none.
pid_t TimerThread() {
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

void Report(const char* what, const std::vector<Clock::time_point>& times, Clock::time_point start,
            Clock::time_point end, double cpuSeconds, const char* policy) {
  const double seconds = std::chrono::duration<double>(end - start).count();
  std::vector<double> gaps;
  for (size_t i = 1; i < times.size(); ++i) {
    gaps.push_back(std::chrono::duration<double, std::milli>(times[i] - times[i - 1]).count());
  }
  if (gaps.empty()) {
    std::printf("%-34s no ticks\n", what);
    return;
  }
  std::vector<double> sorted = gaps;
  std::sort(sorted.begin(), sorted.end());
  std::vector<double> dev;
  for (double g : gaps) dev.push_back(std::fabs(g - kPeriodMs));
  std::sort(dev.begin(), dev.end());
  const double expected = seconds * 1000.0 / kPeriodMs;
  // Drift: how far the last tick is from where the fixed schedule puts it, in ticks per minute.
  const double span =
      std::chrono::duration<double, std::milli>(times.back() - times.front()).count();
  const double drift = (span - static_cast<double>(gaps.size()) * kPeriodMs) / kPeriodMs;
  std::printf("%-34s policy %-5s ticks %zu / expected %.0f (drift %+.2f ticks per minute)\n", what,
              policy, times.size(), expected, drift * 60.0 / seconds);
  std::printf(
      "%-34s period median %.3f ms, p99 deviation %.3f ms, max deviation %.3f ms, "
      "timer thread CPU %.2f %% of one core\n",
      "", sorted[sorted.size() / 2], dev[dev.size() * 99 / 100], dev.back(),
      100.0 * cpuSeconds / seconds);
}

const char* PolicyName(pid_t tid) {
  const int p = tid != 0 ? sched_getscheduler(tid) : -1;
  return p == SCHED_FIFO ? "FIFO" : p == SCHED_OTHER ? "OTHER" : "?";
}

// The bare timer: entry times of the callback, no I/O.
std::mutex gMutex;
std::vector<Clock::time_point>* gEntries = nullptr;
void Mark(uint32_t, uint32_t, uintptr_t, uintptr_t, uintptr_t) {
  std::lock_guard lock(gMutex);
  gEntries->push_back(Clock::now());
}

void BareTimer(bool realtime, int seconds) {
  kelvora::drvos::SetTimerRealtime(realtime);
  kelvora::drvos::PosixOs os;
  std::vector<Clock::time_point> entries;
  entries.reserve(static_cast<size_t>(seconds) * 200);
  gEntries = &entries;
  const auto start = Clock::now();
  const uint32_t id = os.TimeSetEvent(10, 0, &Mark, 0, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const pid_t tid = TimerThread();
  const double cpu0 = tid ? ThreadCpu(tid) : 0;
  const char* policy = PolicyName(tid);
  std::this_thread::sleep_for(std::chrono::seconds(seconds) - std::chrono::milliseconds(100));
  const double cpu = tid ? ThreadCpu(tid) - cpu0 : 0;
  const auto end = Clock::now();
  os.TimeKillEvent(id);
  std::lock_guard lock(gMutex);
  Report(realtime ? "bare timer, real-time asked" : "bare timer, normal scheduling", entries, start,
         end, cpu, policy);
}

void DriverOverPty(bool realtime, int seconds) {
  kelvora::drvos::SetTimerRealtime(realtime);
  kelvora::drvtest::PtyBox pty;
  if (!pty.ok()) {
    std::printf("no pseudo-terminal\n");
    return;
  }
  pty.MapAs("COM1");
  TBrelRecord rec{};
  rec.PollInterval = 10;
  if (zqOpenInterface(&rec, "COM1") == static_cast<int32_t>(ZQ_ERROR)) {
    std::printf("open failed\n");
    return;
  }
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const pid_t tid = TimerThread();
  const double cpu0 = tid ? ThreadCpu(tid) : 0;
  const char* policy = PolicyName(tid);
  std::this_thread::sleep_for(std::chrono::seconds(seconds) - std::chrono::milliseconds(100));
  const double cpu = tid ? ThreadCpu(tid) - cpu0 : 0;
  const auto end = Clock::now();
  zqCloseInterface(&rec);
  std::vector<Clock::time_point> times;
  for (auto t : pty.ExchangeTimes()) {
    if (t > start && t <= end) times.push_back(t);  // the ticks; not open's exchange
  }
  Report(realtime ? "driver over pty, real-time asked" : "driver over pty, normal scheduling",
         times, start, end, cpu, policy);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = std::max(10, argc > 1 ? std::atoi(argv[1]) : 10);
  std::printf(
      "period 10 ms, %d s per run; times seen at the box include the pty and the "
      "box thread's own wake-up\n",
      seconds);
  for (bool rt : {true, false}) {
    BareTimer(rt, seconds);
    DriverOverPty(rt, seconds);
  }
  return 0;
}
