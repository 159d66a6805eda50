// SPDX-License-Identifier: MIT
// The POSIX layer's handle table, device dispatch, its last error and Sleep, and what
// the trace writer needs of the platform.
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>

#include "driver/os/helper_thread.h"
#include "driver/os/posix_os.h"

namespace kelvora::drvos {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::unordered_map<Handle, HandleEntry> entries;
  Handle next = 0x10;
};

// Trivially destructible, so that it never keeps an unloaded library's code in use.
thread_local int tLastError = 0;

// Never destroyed: the clean-up at unload may close a handle after static destructors ran.
HandleTable& Table() {
  static HandleTable* const table = new HandleTable();
  return *table;
}

bool StartsWithNoCase(const char* s, const char* prefix) {
  for (; *prefix != '\0'; ++s, ++prefix) {
    if (std::toupper(static_cast<unsigned char>(*s)) != *prefix) return false;
  }
  return true;
}

}  // namespace

Handle RegisterHandle(const HandleEntry& entry) {
  HandleTable& t = Table();
  std::lock_guard lock(t.mutex);
  for (;;) {
    const Handle h = t.next++;
    if (t.next < 0x10) t.next = 0x10;  // wrapped: keep clear of 0 and 1
    if (t.entries.emplace(h, entry).second) return h;
  }
}

bool LookupHandle(Handle h, HandleEntry* out) {
  HandleTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.entries.find(h);
  if (it == t.entries.end()) return false;
  if (out != nullptr) *out = it->second;
  return true;
}

bool UpdateHandle(Handle h, const HandleEntry& entry) {
  HandleTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.entries.find(h);
  if (it == t.entries.end()) return false;
  it->second = entry;
  return true;
}

bool UnregisterHandle(Handle h, HandleEntry* out) {
  HandleTable& t = Table();
  std::lock_guard lock(t.mutex);
  auto it = t.entries.find(h);
  if (it == t.entries.end()) return false;
  if (out != nullptr) *out = it->second;
  t.entries.erase(it);
  return true;
}

bool Fail(int error) {
  tLastError = error != 0 ? error : EIO;
  return false;
}

Os& NativeOs() {
  static PosixOs* const os = new PosixOs();
  return *os;
}

Handle PosixOs::OpenDevice(const char* name) {
  tLastError = 0;
  if (name != nullptr && name[0] == '\\') return OpenPortDriverDevice(name);  // "\\.\WRTdev0"
  if (name != nullptr && StartsWithNoCase(name, "COM")) return OpenSerialDevice(name);
  if (name != nullptr && StartsWithNoCase(name, "LPT")) return OpenParallelDevice(name);
  Fail(ENODEV);
  return kNoHandle;
}

std::string PosixOs::DevicePath(const char* name) {
  // The port driver reaches its registers through the first parallel port.
  if (name != nullptr && name[0] == '\\') return DevicePathFor("LPT1");
  return DevicePathFor(name);
}

int PosixOs::LastError() {
  return tLastError;
}

bool PosixOs::CloseHandle(Handle h) {
  HandleEntry entry{};
  if (!UnregisterHandle(h, &entry)) return false;
  switch (entry.kind) {
    case HandleKind::kSerial:
      return CloseSerialDevice(entry);
    case HandleKind::kParallelDevice:
      return CloseParallelDevice(entry);
    case HandleKind::kPortDriver:
      return ClosePortDriverDevice(entry);
  }
  return false;
}

uint64_t PosixOs::NowUs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

void PosixOs::Sleep(uint32_t ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) == EINTR) {
  }
}

void TuneTraceWriter() {
  pthread_setname_np(pthread_self(), "zqbrel-trace");
  sched_param param{};
  pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
}

std::FILE* OpenTraceFile(const char* path) {
  return std::fopen(path, "ae");
}

void HoldLibrary(bool) {}

bool ProcessEnding() {
  return false;
}

}  // namespace kelvora::drvos
