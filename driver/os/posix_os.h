// SPDX-License-Identifier: MIT
// The POSIX layer behind the shipped library. Its methods are spread over files by
// facility: posix_os.cpp (handle table, device dispatch, Sleep), posix_serial.cpp,
// posix_timer.cpp, posix_parallel.cpp (ppdev registers, port-driver device, services).
#pragma once

#include <string>

#include "driver/os/os.h"
#include "driver/os/ports_file.h"  // DevicePathFor

namespace kelvora::drvos {

// What a handle of the POSIX layer stands for.
enum class HandleKind { kSerial, kParallelDevice, kPortDriver };

struct HandleEntry {
  HandleKind kind;
  int fd;        // -1 when the object owns no file descriptor (or its device vanished)
  void* object;  // kind-specific state, owned by the facility that made it
};

// The handle table: values handed out are never 0 or 1. Thread-safe.
Handle RegisterHandle(const HandleEntry& entry);
bool LookupHandle(Handle h, HandleEntry* out);
// Replaces the entry of a handle that is still registered (a reopened device).
bool UpdateHandle(Handle h, const HandleEntry& entry);
bool UnregisterHandle(Handle h, HandleEntry* out);

class PosixOs final : public Os {
 public:
  Handle OpenDevice(const char* name) override;
  bool CloseHandle(Handle h) override;
  std::string DevicePath(const char* name) override;
  int LastError() override;
  bool SetCommLine(Handle h, const SerialLine& line) override;
  bool SetCommTimeouts(Handle h, const SerialTimeouts& t) override;
  int32_t WriteFile(Handle h, const uint8_t* data, uint32_t n) override;
  int32_t ReadFile(Handle h, uint8_t* data, uint32_t n) override;
  bool PurgeInput(Handle h) override;
  bool ReopenDevice(Handle h) override;
  uint32_t TimeSetEvent(uint32_t periodMs, uint32_t resolution, TimerProc proc, uintptr_t user,
                        uint32_t flags) override;
  uint32_t TimeKillEvent(uint32_t id) override;
  void Sleep(uint32_t ms) override;
  uint64_t NowUs() override;
  PlatformFamily Family() override;
  bool PortReachable(uint32_t base) override;
  void PortOut16(uint32_t port, uint16_t value) override;
  uint16_t PortIn16(uint32_t port) override;
  bool DeviceIoControl(Handle h, uint32_t code, const void* in, uint32_t inSize, void* out,
                       uint32_t outSize) override;
  bool StartService(const char* name) override;
  bool StopService(const char* name) override;
};

// Whether new timer threads ask for real-time scheduling and minimal timer slack
// (default on; the benchmark compares both).
void SetTimerRealtime(bool on);

// Keeps why a device call failed on this thread, for LastError: the errno value given,
// EIO when it is 0. Returns false, so that a failing step can end with it.
bool Fail(int error);

// Facility entry points used by OpenDevice / CloseHandle (defined in their files).
Handle OpenSerialDevice(const char* name);
Handle OpenParallelDevice(const char* name);
Handle OpenPortDriverDevice(const char* name);
bool CloseSerialDevice(const HandleEntry& entry);
bool CloseParallelDevice(const HandleEntry& entry);
bool ClosePortDriverDevice(const HandleEntry& entry);

}  // namespace kelvora::drvos
