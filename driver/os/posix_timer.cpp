// SPDX-License-Identifier: MIT
// The periodic multimedia timer: one thread per timer on a fixed schedule of absolute
// deadlines. An overrun is caught up by running the due ticks at once, not skipped.
// Killing waits for a tick in progress, except from inside that very tick.
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "driver/os/posix_os.h"

namespace kelvora::drvos {
namespace {

constexpr uint32_t kTimerNoError = 0;
constexpr uint32_t kTimerInvalid = 11;  // the multimedia timer's "invalid parameter"
constexpr uint32_t kPeriodic = 1;
constexpr int64_t kWakeSliceNs = 20'000'000;  // longest sleep between looks at the stop flag

struct Timer {
  uint32_t id = 0;
  uint32_t periodMs = 0;
  bool periodic = true;
  TimerProc proc = nullptr;
  uintptr_t user = 0;
  std::atomic<bool> stop{false};
  std::thread thread;
};

struct TimerTable {
  std::mutex mutex;
  std::unordered_map<uint32_t, std::shared_ptr<Timer>> timers;
  uint32_t nextId = 1;
};

// Never destroyed: the clean-up at unload kills a timer after static destructors ran.
TimerTable& Table() {
  static TimerTable* const table = new TimerTable();
  return *table;
}

std::atomic<bool> gRealtime{true};

int64_t NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void SleepUntil(int64_t deadlineNs) {
  timespec ts{static_cast<time_t>(deadlineNs / 1000000000),
              static_cast<long>(deadlineNs % 1000000000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

// Punctual ticks where the system allows them; silently without where it does not.
void TuneThread() {
  pthread_setname_np(pthread_self(), "zqbrel-timer");
  if (!gRealtime.load(std::memory_order_relaxed)) return;
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 1;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

void Run(std::shared_ptr<Timer> timer) {
  TuneThread();
  const int64_t periodNs = static_cast<int64_t>(timer->periodMs) * 1000000;
  int64_t due = NowNs() + periodNs;
  while (!timer->stop.load(std::memory_order_acquire)) {
    const int64_t now = NowNs();
    if (now < due) {
      // Sleep in slices so that a kill of a long-period timer does not wait a whole period.
      SleepUntil(std::min(due, now + kWakeSliceNs));
      continue;
    }
    timer->proc(timer->id, 0, timer->user, 0, 0);
    if (!timer->periodic) break;
    due += periodNs;  // fixed schedule: late ticks follow at once
  }
}

}  // namespace

void SetTimerRealtime(bool on) {
  gRealtime.store(on, std::memory_order_relaxed);
}

uint32_t PosixOs::TimeSetEvent(uint32_t periodMs, uint32_t, TimerProc proc, uintptr_t user,
                               uint32_t flags) {
  if (proc == nullptr || periodMs == 0) return 0;
  auto timer = std::make_shared<Timer>();
  timer->periodMs = periodMs;
  timer->periodic = (flags & kPeriodic) != 0;
  timer->proc = proc;
  timer->user = user;
  TimerTable& t = Table();
  std::lock_guard lock(t.mutex);
  uint32_t id = t.nextId++;
  while (id == 0 || t.timers.count(id) != 0) id = t.nextId++;
  timer->id = id;
  try {
    timer->thread = std::thread(Run, timer);
  } catch (...) {
    return 0;  // no thread to be had: no timer
  }
  t.timers.emplace(id, std::move(timer));
  return id;
}

uint32_t PosixOs::TimeKillEvent(uint32_t id) {
  std::shared_ptr<Timer> timer;
  {
    TimerTable& t = Table();
    std::lock_guard lock(t.mutex);
    auto it = t.timers.find(id);
    if (it == t.timers.end()) return kTimerInvalid;
    timer = std::move(it->second);
    t.timers.erase(it);
  }
  timer->stop.store(true, std::memory_order_release);
  if (timer->thread.get_id() == std::this_thread::get_id()) {
    // Killed from inside its own tick: the thread ends when the tick returns and
    // keeps the timer alive through its own reference until then.
    timer->thread.detach();
  } else {
    timer->thread.join();
  }
  return kTimerNoError;
}

}  // namespace kelvora::drvos
