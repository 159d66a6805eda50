// SPDX-License-Identifier: MIT
// Arbitrary item lists to the port-driver stand-in, both as raw bytes and built from
// the input as items with valid commands and small operands, so that lists get past
// the checks and run: loops, jumps, divisions, reads feeding the latch. Any crash,
// sanitizer report or endless run is a finding; a refused list is a pass.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "portdriver/port_program.h"

namespace {

using namespace kelvora::portdriver;

class NoisyRegisters final : public RegisterBackend {
 public:
  explicit NoisyRegisters(uint32_t seed) : state_(seed | 1) {}
  bool WriteData(uint8_t) override {
    ++accesses;
    return true;
  }
  bool ReadStatus(uint8_t* v) override {
    ++accesses;
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    *v = static_cast<uint8_t>(state_);
    return true;
  }
  uint64_t accesses = 0;

 private:
  uint32_t state_;
};

constexpr uint32_t kCommands[] = {kCmdRead, kCmdWrite,   kCmdPause,    kCmdBitTest, kCmdDeclare,
                                  kCmdJump, kCmdCompute, kCmdLoopTest, 0x10005};
constexpr uint32_t kOps[] = {kOpGreater, kOpAnd, kOpOr, kOpMove, kOpSubtract, kOpDivide, 0};
constexpr uint32_t kTypes[] = {kTypeConst32, kTypeVar32, kTypeVar16, (1u << 16) | 1, 0};

uint32_t Pair(uint32_t high, uint32_t low) {
  return (high << 16) | (low & 0xFFFF);
}

// Four input bytes per item. Invalid choices are rare (one in sixteen or so), so
// that many lists pass the checks and run.
std::vector<uint32_t> Structured(const uint8_t* d, size_t n) {
  // Four variables up front, so that most operands name one.
  std::vector<uint32_t> w = {kCmdDeclare, kTypeVar16, 3, kCmdDeclare, kTypeConst32, 1,
                             kCmdDeclare, kTypeVar32, 0, kCmdDeclare, kTypeConst32, 0x80};
  for (size_t i = 0; i + 4 <= n && w.size() / 3 < 300; i += 4) {
    const bool odd = d[i + 1] % 16 == 0;
    const uint32_t cmd = d[i] % 32 == 31 ? 0x10005 : kCommands[d[i] % 8];
    const uint32_t a = d[i + 1] % 4, b = d[i + 2] % 4;
    const uint32_t ref = d[i + 3] == 0xFF ? 0x4000 : d[i + 3] % 4;
    const int16_t dist = static_cast<int8_t>(d[i + 3]) % 8;
    uint32_t w2 = 0, w3 = 0;
    switch (cmd) {
      case kCmdRead:
        w2 = odd ? 0 : 1;
        break;
      case kCmdWrite:
        w2 = odd ? 1 : 0;
        w3 = d[i + 2];
        break;
      case kCmdPause:
        w3 = odd ? 5000 : d[i + 2];
        break;
      case kCmdDeclare:
        w2 = odd ? kTypes[4] : kTypes[d[i + 2] % 4];
        w3 = d[i + 3];
        break;
      case kCmdJump:
        w2 = static_cast<uint32_t>(static_cast<int32_t>(dist));
        break;
      case kCmdCompute:
        w2 = Pair(odd ? 0 : kOps[1 + d[i + 2] % 5], a);
        w3 = Pair(b, ref);
        break;
      case kCmdLoopTest:
      case kCmdBitTest:
        w2 = Pair(cmd == kCmdLoopTest ? kOpGreater : kOpAnd, static_cast<uint16_t>(dist));
        w3 = Pair(a, ref);
        break;
      default:
        break;
    }
    w.insert(w.end(), {cmd, w2, w3});
  }
  return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  NoisyRegisters regs(size * 2654435761u);
  const uint8_t mode = data[0];
  ++data;
  --size;
  if (mode % 2 == 0) {
    // Raw bytes, exact size on the heap so that a read past the list is caught.
    auto* buf = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(buf, data, size);
    const uint32_t code = mode % 4 == 0 ? kCtlRunProgram : kCtlRunRequest;
    if (code == kCtlRunProgram) {
      DeviceControl(regs, code, nullptr, 0, buf, static_cast<uint32_t>(size));
    } else {
      std::vector<uint8_t> out(size);
      DeviceControl(regs, code, buf, static_cast<uint32_t>(size), out.data(),
                    static_cast<uint32_t>(out.size()));
    }
    std::free(buf);
  } else {
    // Short lists pass the checks far more often; the mode byte sets the length.
    const size_t items = 2 + (mode >> 1) % 24;
    std::vector<uint32_t> words = Structured(data, size < items * 4 ? size : items * 4);
    if (!words.empty()) RunItems(reinterpret_cast<uint8_t*>(words.data()), words.size() * 4, regs);
  }
  // Every register access is one step: the step bound caps them.
  if (regs.accesses > kMaxSteps) std::abort();
  return 0;
}
