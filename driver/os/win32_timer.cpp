// SPDX-License-Identifier: MIT
// The periodic multimedia timer: timeSetEvent and timeKillEvent, with the system's
// timer resolution raised to 1 ms while a timer runs. Killing waits for a tick in
// progress (TIME_KILL_SYNCHRONOUS), except from inside that tick.
#include <windows.h>
// needs the types of windows.h
#include <mmsystem.h>

#include <atomic>
#include <mutex>

#include "driver/os/helper_thread.h"
#include "driver/os/win32_os.h"

namespace kelvora::drvos {
namespace {

constexpr uint32_t kPeriodic = 1;

// The driver's callback and its user value, behind the system's callback. Slots are
// never freed; one is used again only after its timer was killed, when no tick of it
// can come any more.
struct TimerSlot {
  UINT id = 0;  // 0: free
  TimerProc proc = nullptr;
  uintptr_t user = 0;
};

constexpr int kMaxTimers = 32;
std::mutex gMutex;
TimerSlot gSlots[kMaxTimers];

void CALLBACK Tick(UINT id, UINT msg, DWORD_PTR user, DWORD_PTR dw1, DWORD_PTR dw2) {
  const TimerSlot* slot = reinterpret_cast<const TimerSlot*>(user);
  slot->proc(id, msg, slot->user, dw1, dw2);
}

}  // namespace

uint32_t Win32Os::TimeSetEvent(uint32_t periodMs, uint32_t resolution, TimerProc proc,
                               uintptr_t user, uint32_t flags) {
  if (proc == nullptr || periodMs == 0) return 0;
  std::lock_guard lock(gMutex);
  TimerSlot* slot = nullptr;
  for (TimerSlot& s : gSlots) {
    if (s.id == 0 && s.proc == nullptr) {
      slot = &s;
      break;
    }
  }
  if (slot == nullptr) return 0;
  slot->proc = proc;
  slot->user = user;
  // Ticks on time to the millisecond, not to the system's default 15.6 ms.
  timeBeginPeriod(1);
  const UINT kind = (flags & kPeriodic) != 0 ? TIME_PERIODIC : TIME_ONESHOT;
  const UINT id = timeSetEvent(periodMs, resolution, Tick, reinterpret_cast<DWORD_PTR>(slot),
                               kind | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
  if (id == 0) {
    timeEndPeriod(1);
    *slot = TimerSlot{};
    return 0;
  }
  slot->id = id;
  return id;
}

uint32_t Win32Os::TimeKillEvent(uint32_t id) {
  TimerSlot* slot = nullptr;
  {
    std::lock_guard lock(gMutex);
    for (TimerSlot& s : gSlots) {
      if (id != 0 && s.id == id) slot = &s;
    }
    if (slot == nullptr) return TIMERR_NOCANDO;
    slot->id = 0;  // taken: a second kill of the same id finds nothing
  }
  // At the end of the process the timer's thread is gone, possibly in the middle of a
  // tick: waiting for it would never end.
  if (ProcessEnding()) return TIMERR_NOERROR;
  const MMRESULT result = timeKillEvent(id);
  timeEndPeriod(1);
  std::lock_guard lock(gMutex);
  *slot = TimerSlot{};
  return result;
}

}  // namespace kelvora::drvos
