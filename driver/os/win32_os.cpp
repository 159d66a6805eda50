// SPDX-License-Identifier: MIT
// The Win32 layer's device dispatch, handles, Sleep, clock and platform family, and
// what the trace writer needs of the platform.
#include <windows.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>

#include "driver/os/helper_thread.h"
#include "driver/os/win32_os.h"

namespace kelvora::drvos {
namespace {

std::atomic<bool> gProcessEnding{false};
thread_local int tLastError = 0;
std::atomic<HMODULE> gHeldLibrary{nullptr};

bool StartsWithNoCase(const char* s, const char* prefix) {
  for (; *prefix != '\0'; ++s, ++prefix) {
    if (std::toupper(static_cast<unsigned char>(*s)) != *prefix) return false;
  }
  return true;
}

// Parallel devices as they are named ("LPT1"), and the port driver's device
// ("\\.\WRTdev0"), opened with the access it asks for: none beyond the device itself.
Handle OpenOtherDevice(const char* name) {
  const bool portDriver = name[0] == '\\';
  const DWORD access = portDriver ? 0 : GENERIC_READ | GENERIC_WRITE;
  const Handle h = HandOut(CreateFileA(name, access, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (h == kNoHandle) {
    const DWORD why = GetLastError();
    if (portDriver && (why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND)) {
      NoteFailure(ESRCH);  // no device of the port driver: its service is not running
    } else {
      NoteFailure(false);
    }
  }
  return h;
}

}  // namespace

Os& NativeOs() {
  static Win32Os* const os = new Win32Os();
  return *os;
}

Handle HandOut(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return kNoHandle;
  // The word of a replugged serial port outlives the handle it was taken from, and
  // Windows may give that value out again: such a handle goes out under another value.
  while (IsSerialWord(WordOf(h)) || WordOf(h) == 1) {
    HANDLE other = nullptr;
    const BOOL ok = DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &other, 0, FALSE,
                                    DUPLICATE_SAME_ACCESS);
    ::CloseHandle(h);
    if (!ok) return kNoHandle;
    h = other;
  }
  return WordOf(h);
}

void NoteFailure(int error) {
  tLastError = error;
}

void NoteFailure(bool serial) {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
      tLastError = ENOENT;
      break;
    case ERROR_ACCESS_DENIED:
      tLastError = serial ? EBUSY : EACCES;  // a port another program holds
      break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      tLastError = EBUSY;
      break;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_HANDLE:
      tLastError = ENOTTY;  // no serial port
      break;
    default:
      tLastError = EIO;
      break;
  }
}

int Win32Os::LastError() {
  return tLastError;
}

Handle Win32Os::OpenDevice(const char* name) {
  tLastError = 0;
  if (name == nullptr) {
    tLastError = EINVAL;
    return kNoHandle;
  }
  if (StartsWithNoCase(name, "COM")) return OpenSerialDevice(name);
  if (name[0] == '\\' || StartsWithNoCase(name, "LPT")) return OpenOtherDevice(name);
  tLastError = ENOENT;
  return kNoHandle;
}

bool Win32Os::CloseHandle(Handle h) {
  bool closed = false;
  if (CloseSerialDevice(h, &closed)) return closed;
  return h != kNoHandle && h != 1 && ::CloseHandle(HandleOf(h)) != 0;
}

void Win32Os::Sleep(uint32_t ms) {
  ::Sleep(ms);
}

uint64_t Win32Os::NowUs() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const auto ticks = static_cast<uint64_t>(now.QuadPart);
  const auto freq = static_cast<uint64_t>(frequency);
  return ticks / freq * 1000000u + ticks % freq * 1000000u / freq;
}

PlatformFamily Win32Os::Family() {
  // The 95 family sets the version word's top bit; it lets a program reach the port
  // registers itself. The NT family needs the port driver for that.
  return (GetVersion() & 0x80000000u) != 0 ? PlatformFamily::kDirect : PlatformFamily::kPortDriver;
}

void NoteProcessEnding() {
  gProcessEnding.store(true, std::memory_order_release);
}

bool ProcessEnding() {
  return gProcessEnding.load(std::memory_order_acquire);
}

void TuneTraceWriter() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
}

std::FILE* OpenTraceFile(const char* path) {
  // "N": not inherited by programs the caller starts.
  return std::fopen(path, "aN");
}

void HoldLibrary(bool hold) {
  if (hold) {
    HMODULE self = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(&HoldLibrary), &self)) {
      if (HMODULE before = gHeldLibrary.exchange(self)) FreeLibrary(before);
    }
    return;
  }
  // At the end of the process the loader lets go of everything by itself.
  HMODULE held = gHeldLibrary.exchange(nullptr);
  if (held != nullptr && !ProcessEnding()) FreeLibrary(held);
}

}  // namespace kelvora::drvos
