// SPDX-License-Identifier: MIT
// Virtual time for tests. One clock serves the program (platform::Clock) and the
// driver (its timers and Sleep through VirtualOs). Advancing the clock moves it in
// 1 ms steps; each step first runs the steppers (the robot's mechanics), then fires
// the timer ticks that are due, synchronously on the calling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "driver/os/os.h"
#include "platform/clock.h"

namespace kelvora::sim {

class VirtualClock final : public platform::Clock {
 public:
  void Sleep(uint32_t ms) override { Advance(ms); }
  uint32_t TickCount() override { return static_cast<uint32_t>(nowMs_); }
  // The program's timers are timers of this clock like the driver's.
  uint32_t StartTimer(uint32_t periodMs, platform::TimerCallback proc, void* user) override;
  void StopTimer(uint32_t id) override;
  uint64_t NowMs() const { return nowMs_; }
  // Sets the start (for tick-count wrap tests); running timers keep their phase.
  void SetNow(uint64_t ms);

  void Advance(uint32_t ms);

  // Called once per virtual millisecond with the new time, before the timers.
  using Stepper = std::function<void(uint64_t nowMs)>;
  int AddStepper(Stepper stepper);
  void RemoveStepper(int id);

  uint32_t AddTimer(uint32_t periodMs, drvos::TimerProc proc, uintptr_t user);
  bool KillTimer(uint32_t id);
  size_t TimerCount() const;

 private:
  struct Timer {
    uint32_t id;
    uint32_t period;
    uint64_t due;
    drvos::TimerProc proc;
    uintptr_t user;
    bool alive;
    bool running;  // a tick of it is under way (ticks of one timer never overlap)
  };
  struct StepperEntry {
    int id;
    Stepper fn;
  };
  uint64_t nowMs_ = 1000;
  int depth_ = 0;  // nesting of Advance (a tick that sleeps advances the clock itself)
  uint32_t nextTimerId_ = 1;
  int nextStepperId_ = 1;
  std::vector<Timer> timers_;
  std::vector<StepperEntry> steppers_;
  struct ProgramTimer {
    platform::TimerCallback proc;
    void* user;
  };
  std::map<uint32_t, ProgramTimer> programTimers_;
  static void ProgramTick(uint32_t id, uint32_t msg, uintptr_t self, uintptr_t, uintptr_t);
};

}  // namespace kelvora::sim
