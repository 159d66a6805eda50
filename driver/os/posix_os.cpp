// The POSIX layer's handle table, device-name mapping, device dispatch and Sleep, and
// what the trace writer needs of the platform.
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
#include "driver/os/ports_file.h"
#include "driver/os/posix_os.h"

namespace kelvora::drvos {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::unordered_map<Handle, HandleEntry> entries;
  Handle next = 0x10;
};

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

std::string DevicePathFor(const char* portName) {
  if (portName == nullptr) return {};
  const char* kind = nullptr;
  const char* deviceStem = nullptr;
  if (StartsWithNoCase(portName, "COM")) {
    kind = "COM";
    deviceStem = "/dev/ttyS";
  } else if (StartsWithNoCase(portName, "LPT")) {
    kind = "LPT";
    deviceStem = "/dev/parport";
  } else {
    return {};
  }
  const char* digits = portName + 3;
  if (*digits < '1' || *digits > '9') return {};
  unsigned n = 0;
  for (const char* p = digits; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || n > 999) return {};
    n = n * 10 + static_cast<unsigned>(*p - '0');
  }
  const std::string var = std::string("ZQBREL_") + kind + std::to_string(n);
  if (const char* mapped = std::getenv(var.c_str()); mapped != nullptr && *mapped != '\0') {
    return mapped;
  }
  if (std::string mapped = MappedPortDevice(std::string(kind) + std::to_string(n)); !mapped.empty())
    return mapped;
  return deviceStem + std::to_string(n - 1);
}

Os& NativeOs() {
  static PosixOs* const os = new PosixOs();
  return *os;
}

Handle PosixOs::OpenDevice(const char* name) {
  if (name == nullptr) return kNoHandle;
  if (name[0] == '\\') return OpenPortDriverDevice(name);  // "\\.\WRTdev0"
  if (StartsWithNoCase(name, "COM")) return OpenSerialDevice(name);
  if (StartsWithNoCase(name, "LPT")) return OpenParallelDevice(name);
  return kNoHandle;
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
