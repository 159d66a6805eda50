// Time as the program sees it: Sleep and the millisecond tick count. The real clock
// is the default; tests install the virtual clock that also drives the driver's timer.
#pragma once

#include <cstdint>

namespace kelvora::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(uint32_t ms) = 0;
  // Milliseconds since some start, wrapping at 2^32.
  virtual uint32_t TickCount() = 0;
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
