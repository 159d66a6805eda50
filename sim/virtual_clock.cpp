// SPDX-License-Identifier: MIT
// Virtual time: 1 ms steps, steppers first, then every timer whose tick is due, all
// synchronously on the thread that advances the clock.
#include "sim/virtual_clock.h"

#include <algorithm>

namespace kelvora::sim {

void VirtualClock::Advance(uint32_t ms) {
  ++depth_;
  for (uint32_t step = 0; step < ms; ++step) {
    ++nowMs_;
    const uint64_t now = nowMs_;
    // Steppers may add or remove steppers; walk by index over a snapshot of the ids.
    for (size_t i = 0; i < steppers_.size(); ++i) {
      Stepper fn = steppers_[i].fn;  // copy: the callback may remove itself
      fn(now);
    }
    // A tick may kill its own timer, kill another one, add a new one or sleep (which
    // re-enters Advance); indices and entries are therefore re-read every time.
    for (size_t i = 0; i < timers_.size(); ++i) {
      // Fixed schedule: tick k is due at start + k * period; an overrun is caught up.
      while (i < timers_.size() && timers_[i].alive && !timers_[i].running &&
             timers_[i].due <= now) {
        timers_[i].due += timers_[i].period;
        timers_[i].running = true;
        const uint32_t id = timers_[i].id;
        const drvos::TimerProc proc = timers_[i].proc;
        const uintptr_t user = timers_[i].user;
        proc(id, 0, user, 0, 0);
        auto it = std::find_if(timers_.begin(), timers_.end(),
                               [id](const Timer& t) { return t.id == id; });
        if (it == timers_.end()) break;
        it->running = false;
        i = static_cast<size_t>(it - timers_.begin());
      }
    }
    if (depth_ == 1) {
      std::erase_if(timers_, [](const Timer& t) { return !t.alive && !t.running; });
    }
  }
  --depth_;
}

void VirtualClock::SetNow(uint64_t ms) {
  for (Timer& t : timers_) t.due = t.due - nowMs_ + ms;
  nowMs_ = ms;
}

int VirtualClock::AddStepper(Stepper stepper) {
  const int id = nextStepperId_++;
  steppers_.push_back({id, std::move(stepper)});
  return id;
}

void VirtualClock::RemoveStepper(int id) {
  std::erase_if(steppers_, [id](const StepperEntry& s) { return s.id == id; });
}

uint32_t VirtualClock::AddTimer(uint32_t periodMs, drvos::TimerProc proc, uintptr_t user) {
  if (proc == nullptr) return 0;
  if (periodMs == 0) periodMs = 1;
  const uint32_t id = nextTimerId_++;
  timers_.push_back({id, periodMs, nowMs_ + periodMs, proc, user, true, false});
  return id;
}

bool VirtualClock::KillTimer(uint32_t id) {
  for (Timer& t : timers_) {
    if (t.id == id && t.alive) {
      t.alive = false;  // removed once no tick of it runs any more
      return true;
    }
  }
  return false;
}

uint32_t VirtualClock::StartTimer(uint32_t periodMs, platform::TimerCallback proc, void* user) {
  if (proc == nullptr) return 0;
  const uint32_t id =
      AddTimer(periodMs, &VirtualClock::ProgramTick, reinterpret_cast<uintptr_t>(this));
  programTimers_[id] = {proc, user};
  return id;
}

void VirtualClock::StopTimer(uint32_t id) {
  if (programTimers_.erase(id) != 0) KillTimer(id);
}

void VirtualClock::ProgramTick(uint32_t id, uint32_t, uintptr_t self, uintptr_t, uintptr_t) {
  auto* clock = reinterpret_cast<VirtualClock*>(self);
  const auto it = clock->programTimers_.find(id);
  if (it != clock->programTimers_.end()) it->second.proc(it->second.user);
}

size_t VirtualClock::TimerCount() const {
  return static_cast<size_t>(
      std::count_if(timers_.begin(), timers_.end(), [](const Timer& t) { return t.alive; }));
}

}  // namespace kelvora::sim
