// SPDX-License-Identifier: MIT
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/gui_hooks.h"

namespace kelvora::platform {
namespace {

// One periodic timer on a thread of its own, on a fixed schedule of absolute deadlines
// (an overrun is caught up, not skipped). Stopping wakes the thread at once.
class TimerThread {
 public:
  TimerThread(uint32_t periodMs, TimerCallback proc, void* user)
      : period_(std::chrono::milliseconds(periodMs == 0 ? 1 : periodMs)),
        thread_([this, proc, user] { Run(proc, user); }) {}
  ~TimerThread() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

 private:
  void Run(TimerCallback proc, void* user) {
    auto due = std::chrono::steady_clock::now() + period_;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (wake_.wait_until(lock, due, [this] { return stop_; })) return;
      lock.unlock();
      proc(user);
      lock.lock();
      due += period_;
    }
  }

  const std::chrono::steady_clock::duration period_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;  // last: starts once everything above is made
};

class RealClock final : public Clock {
 public:
  void Sleep(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  uint32_t TickCount() override {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
  }
  uint32_t StartTimer(uint32_t periodMs, TimerCallback proc, void* user) override {
    if (proc == nullptr) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t id = nextId_++;
    if (nextId_ == 0) nextId_ = 1;
    timers_[id] = std::make_unique<TimerThread>(periodMs, proc, user);
    return id;
  }
  void StopTimer(uint32_t id) override {
    std::unique_ptr<TimerThread> timer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = timers_.find(id);
      if (it == timers_.end()) return;
      timer = std::move(it->second);
      timers_.erase(it);
    }
    timer.reset();  // joins, outside the lock
  }

 private:
  std::mutex mutex_;
  uint32_t nextId_ = 1;
  std::map<uint32_t, std::unique_ptr<TimerThread>> timers_;
};

RealClock gRealClock;
Clock* gClock = &gRealClock;
GuiHooks gNoHooks;
GuiHooks* gHooks = &gNoHooks;

}  // namespace

Clock& CurrentClock() {
  return *gClock;
}
void SetClock(Clock* clock) {
  gClock = clock ? clock : &gRealClock;
}
GuiHooks& CurrentGuiHooks() {
  return *gHooks;
}
void SetGuiHooks(GuiHooks* hooks) {
  gHooks = hooks ? hooks : &gNoHooks;
}

}  // namespace kelvora::platform
