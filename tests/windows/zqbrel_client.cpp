// SPDX-License-Identifier: MIT
// A program that loads the driver library as any program would (zqBrel20.dll beside
// it on Windows, bound by name or by ordinal; libzqBrel20.so by path elsewhere) and
// plays a session given on its command line, one step per argument, printing what
// each step returned. The end-to-end tests run it under Wine and natively against the
// same boxes and compare what it printed and what the box saw.
//
//   bind name|ordinal        how the eight functions are bound (default by name)
//   open PORT [inputs=N] [period=N] [analog=1]
//   close | motor M D | lamp O ON | input N | version | start | stop
//   set FIELD VALUE          writes a record field (AnalogPhase, MotorWord, Counters0...)
//   wait MS                  sleeps
//   waitinput HEX [MS]       until InputWord is HEX (default at most 3000 ms)
//   tick N                   until Counters[0] is N; the next step must come before the
//                            tick after it, else "late" is printed
//   record                   prints the record
//   second PORT              opens a second record on PORT, prints its result, closes it
//   exports                  the export directory of the loaded library (Windows)
//   stack                    bytes each function leaves on the stack (32-bit Windows)
//   unload | exit            unloads the library / ends the process, the record open
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include "driver/zqBrel20.h"

namespace {

using OpenFn = int32_t(ZQBREL_CALL*)(TBrelRecord*, const char*);
using RecordFn = int32_t(ZQBREL_CALL*)(TBrelRecord*);
using VoidFn = int32_t(ZQBREL_CALL*)();
using OneFn = int32_t(ZQBREL_CALL*)(TBrelRecord*, int32_t);
using TwoFn = int32_t(ZQBREL_CALL*)(TBrelRecord*, int32_t, int32_t);

struct Export {
  const char* name;
  int ordinal;
  void* address = nullptr;
};
Export gExports[] = {{"zqOpenInterface", 5}, {"zqCloseInterface", 10}, {"zqGetVersion", 12},
                     {"zqGetInput", 25},     {"zqSetMotor", 44},       {"zqSetLamp", 46},
                     {"zqStartDriver", 100}, {"zqStopDriver", 102}};

void* gLibrary = nullptr;
TBrelRecord gRecord{};  // alive until the process ends, as a program's record is

template <typename F>
F Fn(int index) {
  return reinterpret_cast<F>(gExports[index].address);
}

uint32_t Load(const uint32_t& field) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(field)).load(std::memory_order_relaxed);
}
void Store(uint32_t& field, uint32_t value) {
  std::atomic_ref<uint32_t>(field).store(value, std::memory_order_relaxed);
}

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool BindLibrary(const char* path, bool byOrdinal) {
#if defined(_WIN32)
  (void)path;
  HMODULE lib = LoadLibraryA("zqBrel20.dll");
  gLibrary = lib;
  for (Export& e : gExports) {
    e.address = reinterpret_cast<void*>(byOrdinal ? GetProcAddress(lib, MAKEINTRESOURCEA(e.ordinal))
                                                  : GetProcAddress(lib, e.name));
  }
#else
  if (byOrdinal) return false;
  gLibrary = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  for (Export& e : gExports) e.address = gLibrary ? dlsym(gLibrary, e.name) : nullptr;
#endif
  for (const Export& e : gExports) {
    if (e.address == nullptr) return false;
  }
  return true;
}

void FreeTheLibrary() {
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(gLibrary));
#else
  dlclose(gLibrary);
#endif
}

void PrintRecord(const TBrelRecord& r) {
  std::printf(
      "record Handle=%s PortAddr=%u LptDelay=%u AnalogScan=%u InputCount=%u TimerId=%s "
      "PollInterval=%u AnalogPhase=%u MotorWord=%u InputWord=%u AnalogX=%u AnalogY=%u "
      "Counters=",
      Load(r.Handle) != 0 ? "set" : "0", Load(r.PortAddr), Load(r.LptDelay), Load(r.AnalogScan),
      Load(r.InputCount), Load(r.TimerId) != 0 ? "set" : "0", Load(r.PollInterval),
      Load(r.AnalogPhase), Load(r.MotorWord), Load(r.InputWord), Load(r.AnalogX), Load(r.AnalogY));
  for (int i = 0; i < 16; ++i) std::printf("%s%u", i ? "," : "", Load(r.Counters[i]));
  std::printf("\n");
}

uint32_t* FieldNamed(const std::string& name) {
  static const char* const kNames[] = {"Handle",     "PortAddr",  "LptDelay",     "AnalogScan",
                                       "InputCount", "TimerId",   "PollInterval", "AnalogPhase",
                                       "MotorWord",  "InputWord", "AnalogX",      "AnalogY"};
  uint32_t* words = reinterpret_cast<uint32_t*>(&gRecord);
  for (int i = 0; i < 12; ++i) {
    if (name == kNames[i]) return &words[i];
  }
  if (name.rfind("Counters", 0) == 0) return &gRecord.Counters[std::atoi(name.c_str() + 8) & 15];
  return nullptr;
}

#if defined(_WIN32)
// The export directory as the loader sees it in the mapped library.
void PrintExports() {
  const auto* base = static_cast<const uint8_t*>(gLibrary);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const auto* exp = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  const auto* functions = reinterpret_cast<const DWORD*>(base + exp->AddressOfFunctions);
  const auto* names = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
  const auto* nameOrdinals = reinterpret_cast<const WORD*>(base + exp->AddressOfNameOrdinals);
  unsigned filled = 0;
  for (DWORD i = 0; i < exp->NumberOfFunctions; ++i) filled += functions[i] != 0;
  std::printf("exports dll=%s base=%lu slots=%lu filled=%u names=",
              reinterpret_cast<const char*>(base + exp->Name), exp->Base, exp->NumberOfFunctions,
              filled);
  for (DWORD i = 0; i < exp->NumberOfNames; ++i) {
    std::printf("%s%s@%lu", i ? "," : "", reinterpret_cast<const char*>(base + names[i]),
                exp->Base + nameOrdinals[i]);
  }
  std::printf("\n");
}
#endif

#if defined(_WIN32) && defined(__i386__)
// In stdcall_probe_i686.S: calls fn with the arguments and returns the bytes it left on
// the stack; 0 when the callee removed its arguments.
extern "C" uint32_t StdcallStackLeft(void* fn, uint32_t count, const uint32_t* args,
                                     int32_t* result);

void PrintStack() {
  TBrelRecord closed{};
  const auto rec = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&closed));
  const struct {
    int index;
    uint32_t count;
    uint32_t args[3];
  } calls[] = {{0, 2, {rec, 0}},    {1, 1, {rec}},       {2, 0, {}}, {3, 2, {rec, 1}},
               {4, 3, {rec, 1, 2}}, {5, 3, {rec, 5, 1}}, {6, 0, {}}, {7, 0, {}}};
  std::printf("stack");
  for (const auto& c : calls) {
    int32_t result = 0;
    const uint32_t left = StdcallStackLeft(gExports[c.index].address, c.count, c.args, &result);
    std::printf(" %s=%u/%d", gExports[c.index].name, left, result);
  }
  std::printf("\n");
}
#endif

// One step; false ends the session with status 1.
bool Step(const std::vector<std::string>& w, int* expectTick) {
  const std::string& op = w[0];
  auto arg = [&](size_t i) { return i < w.size() ? std::atoi(w[i].c_str()) : 0; };
  if (op == "open") {
    for (size_t i = 2; i < w.size(); ++i) {
      const size_t eq = w[i].find('=');
      const std::string key = w[i].substr(0, eq);
      const auto value = static_cast<uint32_t>(std::strtoul(w[i].c_str() + eq + 1, nullptr, 0));
      Store(key == "inputs"   ? gRecord.InputCount
            : key == "period" ? gRecord.PollInterval
                              : gRecord.AnalogPhase,
            value);
    }
    std::printf("open=%d\n", Fn<OpenFn>(0)(&gRecord, w.size() > 1 ? w[1].c_str() : nullptr));
  } else if (op == "close") {
    std::printf("close=%d\n", Fn<RecordFn>(1)(&gRecord));
  } else if (op == "version") {
    std::printf("version=%d\n", Fn<VoidFn>(2)());
  } else if (op == "input") {
    std::printf("input=%d\n", Fn<OneFn>(3)(&gRecord, arg(1)));
  } else if (op == "motor") {
    std::printf("motor=%d\n", Fn<TwoFn>(4)(&gRecord, arg(1), arg(2)));
  } else if (op == "lamp") {
    std::printf("lamp=%d\n", Fn<TwoFn>(5)(&gRecord, arg(1), arg(2)));
  } else if (op == "start") {
    std::printf("start=%d\n", Fn<VoidFn>(6)());
  } else if (op == "stop") {
    std::printf("stop=%d\n", Fn<VoidFn>(7)());
  } else if (op == "set") {
    uint32_t* field = w.size() == 3 ? FieldNamed(w[1]) : nullptr;
    if (field == nullptr) return false;
    Store(*field, static_cast<uint32_t>(std::strtoul(w[2].c_str(), nullptr, 0)));
  } else if (op == "wait") {
    Sleep(arg(1));
  } else if (op == "waitinput") {
    const auto want = static_cast<uint32_t>(std::strtoul(w[1].c_str(), nullptr, 16));
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(w.size() > 2 ? arg(2) : 3000);
    while (Load(gRecord.InputWord) != want && std::chrono::steady_clock::now() < end) Sleep(2);
    std::printf("waitinput=%s %X\n", Load(gRecord.InputWord) == want ? "ok" : "timeout",
                Load(gRecord.InputWord));
  } else if (op == "tick") {
    const auto n = static_cast<uint32_t>(arg(1));
    while (Load(gRecord.Counters[0]) < n) Sleep(1);
    if (Load(gRecord.Counters[0]) != n) std::printf("late at tick %u\n", n);
    *expectTick = static_cast<int>(n);
    return true;
  } else if (op == "record") {
    PrintRecord(gRecord);
  } else if (op == "second") {
    TBrelRecord other{};
    std::printf("second=%d\n", Fn<OpenFn>(0)(&other, w.size() > 1 ? w[1].c_str() : nullptr));
    Fn<RecordFn>(1)(&other);
#if defined(_WIN32)
  } else if (op == "exports") {
    PrintExports();
#endif
#if defined(_WIN32) && defined(__i386__)
  } else if (op == "stack") {
    PrintStack();
#endif
  } else if (op == "unload") {
    std::printf("unloading\n");
    std::fflush(stdout);
    FreeTheLibrary();
    std::printf("unloaded\n");
    std::fflush(stdout);
    Sleep(300);  // still alive: the port must be free already
  } else if (op == "exit") {
    std::printf("exiting\n");
    std::fflush(stdout);
    std::exit(0);
  } else {
    std::fprintf(stderr, "zqbrel_client: unknown step '%s'\n", op.c_str());
    return false;
  }
  if (*expectTick >= 0 && Load(gRecord.Counters[0]) != static_cast<uint32_t>(*expectTick)) {
    std::printf("late after tick %d\n", *expectTick);
  }
  *expectTick = -1;
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);  // lines end in \n, as the tests compare them
#endif
  // The library's path comes first where it is not found beside the program.
  int first = 1;
  const char* path = nullptr;
#if !defined(_WIN32)
  if (argc < 2) return 2;
  path = argv[first++];
#endif
  bool byOrdinal = false;
  if (first + 1 < argc && std::strcmp(argv[first], "bind") == 0) {
    byOrdinal = std::strcmp(argv[first + 1], "ordinal") == 0;
    first += 2;
  }
  if (!BindLibrary(path, byOrdinal)) {
    std::printf("bind failed\n");
    return 3;
  }
  int expectTick = -1;
  for (int i = first; i < argc; ++i) {
    std::vector<std::string> words;
    for (const char* p = argv[i]; *p != '\0';) {
      while (*p == ' ') ++p;
      const char* end = p;
      while (*end != '\0' && *end != ' ') ++end;
      if (end > p) words.emplace_back(p, end);
      p = end;
    }
    if (!words.empty() && !Step(words, &expectTick)) return 1;
  }
  return 0;
}
