// SPDX-License-Identifier: MIT
// A parallel backend for the driver's virtual OS layer that records every register
// access and port-driver request and answers from a script, so that tests can
// compare the driver's sequences value by value without a box model in between.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "driver/os/os.h"
#include "driver/zqBrel20.h"
#include "sim/virtual_clock.h"
#include "sim/virtual_os.h"
#include "sim/virtual_parallel.h"

namespace kelvora::testing {

struct Request {
  uint32_t code;
  std::vector<uint32_t> in;  // words of the input buffer
  bool inNull;
  uint32_t outSize;
  std::vector<uint32_t> out;  // words of the output buffer as the driver passed it
};

class ScriptedPorts final : public sim::ParallelBackend {
 public:
  // Devices that open ("LPT1", "\\.\WRTdev0", ...; exact names).
  std::set<std::string> devices{"LPT1", "LPT2", "LPT3", "lpt2", "LPT7", "\\\\.\\WRTdev0"};
  // Status byte of the n-th read (1-based) since the last Clear.
  std::function<uint8_t(int)> status = [](int) { return uint8_t{0}; };
  // Answers a request in place (out buffer as words); false fails it.
  std::function<bool(uint32_t code, uint32_t* out, size_t words)> responder =
      [](uint32_t, uint32_t*, size_t) { return true; };

  std::vector<std::string> opened;
  std::vector<sim::RegisterAccess> accesses;
  std::vector<Request> requests;
  int reads = 0;
  int openHandles = 0;

  void Clear() {
    accesses.clear();
    requests.clear();
    reads = 0;
  }
  std::vector<uint16_t> Writes() const {
    std::vector<uint16_t> v;
    for (const auto& a : accesses)
      if (a.write) v.push_back(a.value);
    return v;
  }

  drvos::Handle OpenDevice(const char* name) override {
    opened.push_back(name);
    if (devices.count(name) == 0) return drvos::kNoHandle;
    ++openHandles;
    return 0x500 + static_cast<drvos::Handle>(opened.size());
  }
  bool CloseHandle(drvos::Handle) override {
    --openHandles;
    return true;
  }
  void PortOut16(uint32_t port, uint16_t v) override { accesses.push_back({true, port, v}); }
  uint16_t PortIn16(uint32_t port) override {
    const uint16_t v = status(++reads);
    accesses.push_back({false, port, v});
    return v;
  }
  bool DeviceIoControl(drvos::Handle, uint32_t code, const void* in, uint32_t inSize, void* out,
                       uint32_t outSize) override {
    Request r{code, {}, in == nullptr, outSize, {}};
    r.in.resize(inSize / 4);
    if (in != nullptr && inSize != 0) std::memcpy(r.in.data(), in, r.in.size() * 4);
    r.out.resize(outSize / 4);
    if (out != nullptr && outSize != 0) std::memcpy(r.out.data(), out, r.out.size() * 4);
    requests.push_back(r);
    if (out == nullptr) return false;
    std::vector<uint32_t> words(outSize / 4);
    if (in != nullptr)
      std::memcpy(words.data(), in, std::min<size_t>(inSize, outSize));
    else
      std::memcpy(words.data(), out, words.size() * 4);
    if (!responder(code, words.data(), words.size())) return false;
    std::memcpy(out, words.data(), words.size() * 4);
    return true;
  }
  bool StartService(const char*) override { return true; }
  bool StopService(const char*) override { return true; }
};

// The driver's OS layer in virtual time with a parallel backend; restores the POSIX
// layer (and with it the driver's saved record) when it goes.
struct ParallelRig {
  sim::VirtualClock clock;
  sim::VirtualOs os{clock};
  explicit ParallelRig(sim::ParallelBackend* backend) {
    os.SetParallelBackend(backend);
    drvos::SetOs(&os);
  }
  ~ParallelRig() { drvos::SetOs(nullptr); }
  ParallelRig(const ParallelRig&) = delete;
  ParallelRig& operator=(const ParallelRig&) = delete;
};

}  // namespace kelvora::testing
