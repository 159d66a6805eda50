// SPDX-License-Identifier: MIT
// Time as the program sees it: Sleep, the millisecond tick count, and periodic timers
// for the program's own watchdogs. The real clock is the default; tests install the
// virtual clock that also drives the driver's timer.
#pragma once

#include <cstdint>

namespace kelvora::platform {

// A timer tick: runs on a thread of its own on the real clock, on the thread that
// advances time on the virtual one. Ticks of one timer never overlap.
using TimerCallback = void (*)(void* user);

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(uint32_t ms) = 0;
  // Milliseconds since some start, wrapping at 2^32. Safe from any thread.
  virtual uint32_t TickCount() = 0;
  // Calls proc(user) every periodMs from now on. Returns the timer's id, 0 when no
  // timer could be started.
  virtual uint32_t StartTimer(uint32_t periodMs, TimerCallback proc, void* user) = 0;
  // Stops the timer; a tick under way has finished when this returns and no tick
  // follows. Not from inside the timer's own tick.
  virtual void StopTimer(uint32_t id) = 0;
};

Clock& CurrentClock();
// nullptr restores the real clock.
void SetClock(Clock* clock);

inline void Sleep(uint32_t ms) {
  CurrentClock().Sleep(ms);
}
inline uint32_t GetTickCount() {
  return CurrentClock().TickCount();
}

}  // namespace kelvora::platform
