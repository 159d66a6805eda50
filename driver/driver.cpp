// SPDX-License-Identifier: MIT
// The eight exports, the poll tick with its edge counting, the mask tables and the
// clean-up at unload. Connection-specific exchanges live in serial.cpp and parallel.cpp.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "driver/connections.h"
#include "driver/os/os.h"
#include "driver/trace.h"
#include "driver/zqBrel20.h"

namespace kelvora::driver {

const uint32_t MotorClearMask[9] = {0x0000, 0xFFFC, 0xFFF3, 0xFFCF, 0xFF3F,
                                    0xFCFF, 0xF3FF, 0xCFFF, 0x3FFF};
const uint32_t MotorLeftMask[9] = {0x0000, 0x0001, 0x0004, 0x0010, 0x0040,
                                   0x0100, 0x0400, 0x1000, 0x4000};
const uint32_t MotorRightMask[9] = {0x0000, 0x0002, 0x0008, 0x0020, 0x0080,
                                    0x0200, 0x0800, 0x2000, 0x8000};
const uint32_t InputMask[17] = {0x0000, 0x0001, 0x0002, 0x0004, 0x0008, 0x0010,
                                0x0020, 0x0040, 0x0080, 0x0100, 0x0200, 0x0400,
                                0x0800, 0x1000, 0x2000, 0x4000, 0x8000};

namespace {

// Only the last opened or closed record, for the clean-up at unload.
TBrelRecord gSavedRecord{};

// Why the last open on this thread failed. Trivially destructible, so that it never keeps
// an unloaded library's code in use.
thread_local int tFailedOpen = 0;

// Numbers past the tables read as entry 0 instead of reading past the array: a motor
// number out of range then switches every motor off, an input out of range reads 0.
uint32_t MotorClear(int32_t motor) {
  return motor >= 0 && motor <= 8 ? MotorClearMask[motor] : 0;
}
uint32_t MotorLeft(int32_t motor) {
  return motor >= 0 && motor <= 8 ? MotorLeftMask[motor] : 0;
}
uint32_t MotorRight(int32_t motor) {
  return motor >= 0 && motor <= 8 ? MotorRightMask[motor] : 0;
}
uint32_t InputBit(int32_t input) {
  return input >= 0 && input <= 16 ? InputMask[input] : 0;
}

// Word by word, atomically on both sides: the source may be ticking on the timer
// thread while it is copied.
void CopyRecord(TBrelRecord* to, const TBrelRecord* from) {
  if (to == from) return;
  const uint32_t* src = reinterpret_cast<const uint32_t*>(from);
  uint32_t* dst = reinterpret_cast<uint32_t*>(to);
  for (size_t i = 0; i < sizeof(TBrelRecord) / sizeof(uint32_t); ++i)
    StoreWord(dst[i], LoadWord(src[i]));
}

uint32_t PollInputs(TBrelRecord* r) {
  if (LoadWord(r->Handle) == 0) return ZQ_ERROR;
  return LoadWord(r->PortAddr) == 0 ? SerialPollInputs(r) : ParallelPollInputs(r);
}

uint32_t ReadAnalog(TBrelRecord* r, int channel) {
  if (LoadWord(r->Handle) == 0) return ZQ_ERROR;
  return LoadWord(r->PortAddr) == 0 ? SerialReadAnalog(r, channel) : ParallelReadAnalog(r, channel);
}

// Measures the channel AnalogPhase points at, stores it, and moves to the other one.
void MeasureAnalog(TBrelRecord* r, uint32_t phase) {
  const uint32_t v = ReadAnalog(r, phase == 1 ? 0 : 1);
  StoreWord(phase == 1 ? r->AnalogX : r->AnalogY, v);
  StoreWord(r->AnalogPhase, phase == 1 ? 2 : 1);
}

}  // namespace

void PollTimerProc(uint32_t, uint32_t, uintptr_t user, uintptr_t, uintptr_t) {
  auto* r = reinterpret_cast<TBrelRecord*>(user);
  const uint32_t old = LoadWord(r->InputWord);
  uint32_t now;
  const uint32_t phase = LoadWord(r->AnalogPhase);
  if (LoadWord(r->PortAddr) == 0) {
    if (phase == 0) {
      now = PollInputs(r);
    } else {
      // The serial analog command carries the inputs too: one exchange per tick.
      MeasureAnalog(r, phase);
      now = LoadWord(r->InputWord);
    }
  } else {
    now = PollInputs(r);
    if (phase != 0) MeasureAnalog(r, phase);
  }
  StoreWord(r->InputWord, now);
  const uint32_t changed = old ^ now;
  const uint32_t count = LoadWord(r->InputCount);
  for (uint32_t n = 1; n <= count && n <= 16; ++n) {
    if (changed & InputMask[n]) IncrementWord(r->Counters[n - 1]);
  }
}

void NoteFailedOpen(const char* port, const char* device, int error, bool noAnswer) {
  tFailedOpen = error != 0 ? error : EIO;
  if (!TraceRequested()) return;
  const std::string path = drvos::CurrentOs().DevicePath(device);
  TraceFailedOpen(port, path.c_str(),
                  noAnswer ? "no answer from the box" : std::strerror(tFailedOpen));
}

int TakeFailedOpen() {
  const int error = tFailedOpen;
  tFailedOpen = 0;
  return error;
}

void ProcessDetach() {
  if (LoadWord(gSavedRecord.Handle) != 0) zqCloseInterface(&gSavedRecord);
  TraceShutdown();  // its thread must not outlive the library's code
}

#if !defined(_WIN32)  // Windows calls it from the library's DllMain
namespace {

// Runs when the shared library is unloaded or the process exits with it loaded.
__attribute__((destructor)) void UnloadCleanup() {
  ProcessDetach();
}

}  // namespace
#endif
}  // namespace kelvora::driver

namespace kelvora::drvos {
namespace {
std::atomic<Os*> gOs{nullptr};
}  // namespace

Os& CurrentOs() {
  Os* os = gOs.load(std::memory_order_acquire);
  return os != nullptr ? *os : NativeOs();
}

void SetOs(Os* os) {
  // The saved record belongs to the layer that opened it; a layer that goes away
  // (a test's virtual OS) must not be reached by the clean-up at unload.
  auto* words = reinterpret_cast<uint32_t*>(&kelvora::driver::gSavedRecord);
  for (size_t i = 0; i < sizeof(TBrelRecord) / sizeof(uint32_t); ++i) {
    kelvora::driver::StoreWord(words[i], 0);
  }
  gOs.store(os, std::memory_order_release);
}

}  // namespace kelvora::drvos

using kelvora::driver::CopyRecord;
using kelvora::driver::gSavedRecord;
using kelvora::driver::LoadWord;
using kelvora::driver::StoreWord;

extern "C" {

ZQBREL_API int32_t ZQBREL_CALL zqOpenInterface(TBrelRecord* record, const char* portName) {
  if (record == nullptr) {
    errno = EINVAL;
    return static_cast<int32_t>(ZQ_ERROR);
  }
  StoreWord(record->Handle, 0);
  StoreWord(record->MotorWord, 0);
  if (portName == nullptr) {
    errno = EINVAL;
    return static_cast<int32_t>(ZQ_ERROR);
  }

  kelvora::driver::TakeFailedOpen();
  const uint32_t result = (portName[0] == 'C' || portName[0] == 'c')
                              ? kelvora::driver::OpenSerialPort(record, portName)
                              : kelvora::driver::OpenParallelPort(record, portName);
  if (result == ZQ_ERROR) {
    CopyRecord(&gSavedRecord, record);
    // The caller learns why from errno, as from any failed system call; set last, so
    // that nothing on the way out changes it.
    const int why = kelvora::driver::TakeFailedOpen();
    errno = why != 0 ? why : EIO;
    return static_cast<int32_t>(ZQ_ERROR);
  }

  // The adjustments, in this order: each minimum depends on the ones before it.
  if (LoadWord(record->AnalogPhase) != 1) StoreWord(record->AnalogPhase, 0);
  if (LoadWord(record->InputCount) != 16) StoreWord(record->InputCount, 8);
  uint32_t period = LoadWord(record->PollInterval);
  if (LoadWord(record->PortAddr) == 0) {
    period = std::max<uint32_t>(period, 10);
    if (LoadWord(record->InputCount) == 16) period = std::max<uint32_t>(period, 12);
    if (LoadWord(record->AnalogPhase) == 1) period = std::max<uint32_t>(period, 16);
  } else {
    if (period == 0) period = 1;
    if (LoadWord(record->AnalogPhase) == 1 && period < 20) period = 100;
  }
  StoreWord(record->PollInterval, period);

  const uint32_t id = kelvora::drvos::CurrentOs().TimeSetEvent(
      period, 0, &kelvora::driver::PollTimerProc, reinterpret_cast<uintptr_t>(record), 1);
  StoreWord(record->TimerId, id);
  CopyRecord(&gSavedRecord, record);
  return static_cast<int32_t>(result);
}

ZQBREL_API int32_t ZQBREL_CALL zqCloseInterface(TBrelRecord* record) {
  if (record == nullptr) return 0;
  const uint32_t handle = LoadWord(record->Handle);
  if (handle == 0) return 0;
  // Handle first: every tick that starts from now on leaves the port alone.
  StoreWord(record->Handle, 0);
  StoreWord(record->PortAddr, 0);
  StoreWord(record->MotorWord, 0);
  auto& os = kelvora::drvos::CurrentOs();
  const uint64_t wait = 4ull * LoadWord(record->PollInterval);
  os.Sleep(static_cast<uint32_t>(std::min<uint64_t>(wait, UINT32_MAX)));
  const uint32_t timer = LoadWord(record->TimerId);
  if (timer != 0) os.TimeKillEvent(timer);
  kelvora::driver::ReleaseSerialPort(handle);
  const bool closed = os.CloseHandle(handle);
  CopyRecord(&gSavedRecord, record);
  return closed ? 1 : 0;
}

ZQBREL_API int32_t ZQBREL_CALL zqGetVersion(void) {
  return 201;
}

ZQBREL_API int32_t ZQBREL_CALL zqGetInput(TBrelRecord* record, int32_t input) {
  if (record == nullptr || LoadWord(record->Handle) == 0) return static_cast<int32_t>(ZQ_ERROR);
  return (LoadWord(record->InputWord) & kelvora::driver::InputBit(input)) != 0 ? -1 : 0;
}

ZQBREL_API int32_t ZQBREL_CALL zqSetMotor(TBrelRecord* record, int32_t motor, int32_t direction) {
  if (record == nullptr || LoadWord(record->Handle) == 0) return static_cast<int32_t>(ZQ_ERROR);
  const uint32_t w = LoadWord(record->MotorWord) & kelvora::driver::MotorClear(motor);
  uint32_t next;
  switch (direction) {
    case 0:
      next = w;
      break;
    case 1:
      next = w | kelvora::driver::MotorLeft(motor);
      break;
    case 2:
      next = w | kelvora::driver::MotorRight(motor);
      break;
    default:
      next = 0;  // an unknown direction switches every motor off
      break;
  }
  StoreWord(record->MotorWord, next);
  return static_cast<int32_t>(LoadWord(record->InputWord));
}

ZQBREL_API int32_t ZQBREL_CALL zqSetLamp(TBrelRecord* record, int32_t output, int32_t on) {
  if (record == nullptr || LoadWord(record->Handle) == 0) return static_cast<int32_t>(ZQ_ERROR);
  const uint32_t m = kelvora::driver::InputBit(output);
  uint32_t w = LoadWord(record->MotorWord);
  if (LoadWord(record->PortAddr) != 0) {
    w &= ~m;
    if (on != 0) w |= m;
  } else {
    // The serial box drives its single outputs active low.
    w |= m;
    if (on != 0) w &= ~m;
  }
  StoreWord(record->MotorWord, w);
  return static_cast<int32_t>(LoadWord(record->InputWord));
}

ZQBREL_API int32_t ZQBREL_CALL zqStartDriver(void) {
  return kelvora::driver::StartPortDriverService();
}
ZQBREL_API int32_t ZQBREL_CALL zqStopDriver(void) {
  return kelvora::driver::StopPortDriverService();
}

}  // extern "C"
