// SPDX-License-Identifier: MIT
// The driver's view of the operating system. The shipped library uses the platform's
// own implementation (POSIX or Win32); tests install a virtual one so that the whole
// driver runs in virtual time against the virtual box.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kelvora::drvos {

// A 32-bit handle as the record stores it. Never 0 (closed) and never 1 (the marker
// of a parallel port reached without a device).
using Handle = uint32_t;
inline constexpr Handle kNoHandle = 0;

// Timer callback, shaped like the multimedia timer's: id, message, user value, two unused.
using TimerProc = void (*)(uint32_t id, uint32_t msg, uintptr_t user, uintptr_t dw1, uintptr_t dw2);

struct SerialTimeouts {
  uint32_t readInterval;
  uint32_t readTotalMultiplier;
  uint32_t readTotalConstant;
  uint32_t writeTotalMultiplier;
  uint32_t writeTotalConstant;
};

// The line settings the driver changes; everything else stays as the port had it.
struct SerialLine {
  uint32_t baud;
  uint8_t dataBits;
  uint8_t parity;    // 0 none
  uint8_t stopBits;  // 0 = one stop bit
};

// Platform family as the driver chooses its parallel path.
enum class PlatformFamily { kDirect = 1, kPortDriver = 2 };

class Os {
 public:
  virtual ~Os() = default;

  // --- devices -------------------------------------------------------------------
  // Opens a device by its Windows-style name ("COM1", "LPT2", "\\.\WRTdev0"),
  // read/write, exclusive, existing only. Returns kNoHandle on failure.
  virtual Handle OpenDevice(const char* name) = 0;
  // Closes any handle this layer gave out. True on success.
  virtual bool CloseHandle(Handle h) = 0;
  // The device a port name reaches, as it appears in a message ("COM1" on Windows,
  // "/dev/ttyS0" on Linux); empty when the name reaches none.
  virtual std::string DevicePath(const char* name) { return name != nullptr ? name : ""; }
  // Why the last device call of this layer on the calling thread failed (OpenDevice and
  // the serial setup after it): the system's error number (errno values), 0 when the
  // layer kept none.
  virtual int LastError() { return 0; }

  // --- serial ports --------------------------------------------------------------
  virtual bool SetCommLine(Handle h, const SerialLine& line) = 0;
  virtual bool SetCommTimeouts(Handle h, const SerialTimeouts& t) = 0;
  // Synchronous write; returns bytes written or -1.
  virtual int32_t WriteFile(Handle h, const uint8_t* data, uint32_t n) = 0;
  // Synchronous read with the port's time-outs; returns the bytes that arrived (0..n,
  // a time-out is not an error) or -1 when the device failed.
  virtual int32_t ReadFile(Handle h, uint8_t* data, uint32_t n) = 0;
  // Discards whatever has been received and not read yet. Bytes still on their way
  // are not touched. True on success.
  virtual bool PurgeInput(Handle h) = 0;
  // After the device behind a serial handle failed (an adapter pulled): lets go of the
  // dead device at once, so that it can come back under its name, and opens the same
  // device path again, raw and exclusive, as the first open did. The handle stays the
  // same either way; until this succeeds its reads and writes fail at once. The line
  // settings and time-outs are the caller's to set again. True when the device is back.
  virtual bool ReopenDevice(Handle h) = 0;

  // --- periodic timer ------------------------------------------------------------
  // Starts a periodic timer; returns its id, 0 on failure.
  virtual uint32_t TimeSetEvent(uint32_t periodMs, uint32_t resolution, TimerProc proc,
                                uintptr_t user, uint32_t flags) = 0;
  // Stops it; waits for a tick in progress unless called from inside that tick.
  virtual uint32_t TimeKillEvent(uint32_t id) = 0;
  virtual void Sleep(uint32_t ms) = 0;
  // Monotonic time in microseconds, for pacing reopen attempts and stamping the trace.
  virtual uint64_t NowUs() = 0;

  // --- parallel port registers ---------------------------------------------------
  virtual PlatformFamily Family() = 0;
  // Whether the registers of a parallel base can be reached now, for a port used
  // without a device handle. May claim the port for the process; claims nothing when
  // the answer is false.
  virtual bool PortReachable(uint32_t base) = 0;
  // 16-bit port write/read on the three parallel bases (data at base, status at base+1).
  virtual void PortOut16(uint32_t port, uint16_t value) = 0;
  virtual uint16_t PortIn16(uint32_t port) = 0;
  // Port-driver request on a device handle. True on success.
  virtual bool DeviceIoControl(Handle h, uint32_t code, const void* in, uint32_t inSize, void* out,
                               uint32_t outSize) = 0;

  // --- the port driver's service -------------------------------------------------
  // Start or stop the named service; false when the manager or service is unreachable
  // or the request was refused.
  virtual bool StartService(const char* name) = 0;
  virtual bool StopService(const char* name) = 0;
};

// The platform's own layer; never destroyed, since ticks and the clean-up at unload may
// still need it at exit.
Os& NativeOs();
// The layer in use. Defaults to the platform's own.
Os& CurrentOs();
// Installs another layer (tests); nullptr restores the platform's own.
void SetOs(Os* os);

}  // namespace kelvora::drvos
