// SPDX-License-Identifier: MIT
// The connection-specific exchanges behind the exports. The serial box lives in
// serial.cpp, the parallel box (direct and through the port driver) in parallel.cpp.
#pragma once

#include <atomic>
#include <cstdint>

#include "driver/zqBrel20.h"

namespace kelvora::driver {

// Open the port, fill Handle, PortAddr, LptDelay, AnalogScan, MotorWord = 0, perform
// the first exchange and return its input word; ZQ_ERROR with Handle 0 on failure,
// after NoteFailedOpen.
uint32_t OpenSerialPort(TBrelRecord* record, const char* name);
uint32_t OpenParallelPort(TBrelRecord* record, const char* name);

// Why an open failed: the system's error number (errno values) of the failed step, or
// ETIMEDOUT with noAnswer when the device opened and the box did not answer. Kept for
// the calling thread (zqOpenInterface hands it on in errno) and written to the trace
// with the device that port reached (device: the name the OS layer was given).
void NoteFailedOpen(const char* port, const char* device, int error, bool noAnswer = false);
// The error of the last NoteFailedOpen on this thread, and forgets it (0: none).
int TakeFailedOpen();

// Forgets what the library kept of a serial port beyond the record (its reopen state
// and trace); at close, once the timer is gone. Any other handle is left alone.
void ReleaseSerialPort(uint32_t handle);

// One digital exchange; Handle is known to be set. Returns the new input word or ZQ_ERROR.
uint32_t SerialPollInputs(TBrelRecord* record);
uint32_t ParallelPollInputs(TBrelRecord* record);

// One analog measurement, channel 0 = EX, 1 = EY. Returns the value or ZQ_ERROR.
uint32_t SerialReadAnalog(TBrelRecord* record, int channel);
uint32_t ParallelReadAnalog(TBrelRecord* record, int channel);

// Service start and stop of the port driver: 0 or ZQ_ERROR.
int32_t StartPortDriverService();
int32_t StopPortDriverService();

// The bit-mask tables, indexed by motor (0..8) or input/output number (0..16).
extern const uint32_t MotorClearMask[9];
extern const uint32_t MotorLeftMask[9];
extern const uint32_t MotorRightMask[9];
extern const uint32_t InputMask[17];

// The poll tick, as the timer calls it; the user value is the record pointer.
void PollTimerProc(uint32_t id, uint32_t msg, uintptr_t user, uintptr_t dw1, uintptr_t dw2);

// The clean-up the library runs when it is unloaded: closes the last opened record's
// port through its saved copy. Tests call it directly to play the unload.
void ProcessDetach();

// Record fields are shared with the timer thread: every access is one relaxed atomic
// word access, and counters are incremented with an atomic add.
inline uint32_t LoadWord(const uint32_t& field) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(field)).load(std::memory_order_relaxed);
}
inline void StoreWord(uint32_t& field, uint32_t value) {
  std::atomic_ref<uint32_t>(field).store(value, std::memory_order_relaxed);
}
inline void IncrementWord(uint32_t& field) {
  std::atomic_ref<uint32_t>(field).fetch_add(1, std::memory_order_relaxed);
}

}  // namespace kelvora::driver
