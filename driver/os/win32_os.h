// SPDX-License-Identifier: MIT
// The Win32 layer behind the shipped DLL, with the platform calls the driver was
// designed on. Its methods are spread over files by facility: win32_os.cpp (handles,
// device dispatch, Sleep, the platform family), win32_serial.cpp, win32_timer.cpp,
// win32_parallel.cpp (port registers, the port driver's device and service).
#pragma once

#include <windows.h>
// The layer's method of that name, not the Unicode-or-ANSI macro.
#undef StartService

#include "driver/os/os.h"

namespace kelvora::drvos {

// The record holds a handle's low 32 bits, the significant ones on 64-bit Windows too;
// the rest is their sign extension.
inline Handle WordOf(HANDLE h) {
  return static_cast<Handle>(reinterpret_cast<uintptr_t>(h));
}
inline HANDLE HandleOf(Handle word) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(static_cast<int32_t>(word)));
}

class Win32Os final : public Os {
 public:
  Handle OpenDevice(const char* name) override;
  bool CloseHandle(Handle h) override;
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

// The serial side of OpenDevice / CloseHandle (win32_serial.cpp). A serial port is
// known by the handle its first open gave; after an adapter was pulled and came back
// the layer works on the new handle behind that same word.
Handle OpenSerialDevice(const char* name);
// True when h is a serial port of this layer; then *closed tells whether it closed.
bool CloseSerialDevice(Handle h, bool* closed);
// True while the word stands for an open serial port, the stale word of a replugged
// one included: no other handle may be handed out under it.
bool IsSerialWord(Handle h);

// Hands a fresh Windows handle out as a record word that no serial port of this layer
// uses; kNoHandle for an invalid handle (closed then).
Handle HandOut(HANDLE h);

// The serial line as the driver wants it, applied to a port's current state: baud
// rate, data bits, parity and stop bits as given, and every setting that would swallow,
// replace or add bytes off, so that the exchange is binary. Modem control and flow
// control by the lines stay as the port had them.
void ApplySerialLine(DCB* dcb, const SerialLine& line);

// Keeps why a device call failed on this thread, for LastError: GetLastError() of the
// failed call, named by its errno value; a serial port refused with "access denied" is
// held by another program.
void NoteFailure(bool serial);
void NoteFailure(int error);

// Called by the DLL's detach notification when the process ends with it loaded.
void NoteProcessEnding();

}  // namespace kelvora::drvos
