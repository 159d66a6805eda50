// SPDX-License-Identifier: MIT
#include "portdriver/port_program.h"

#include <bit>
#include <cstring>

namespace kelvora::portdriver {
namespace {

static_assert(std::endian::native == std::endian::little,
              "items are little-endian words and are read in place");

uint32_t Word(const uint8_t* items, size_t item, int word) {
  uint32_t v;
  std::memcpy(&v, items + item * kItemBytes + static_cast<size_t>(word) * 4, 4);
  return v;
}

void SetWord(uint8_t* items, size_t item, int word, uint32_t v) {
  std::memcpy(items + item * kItemBytes + static_cast<size_t>(word) * 4, &v, 4);
}

uint32_t High(uint32_t w) {
  return w >> 16;
}
uint32_t Low(uint32_t w) {
  return w & 0xFFFF;
}
// 16-bit distances of the tests are signed so that loops can go back.
int64_t Distance16(uint32_t w) {
  return static_cast<int16_t>(Low(w));
}
int64_t Distance32(uint32_t w) {
  return static_cast<int32_t>(w);
}

struct Variable {
  size_t item;    // declaration item, for the write-back
  uint32_t mask;  // value bits the variable holds
  bool constant;
};

// Decodes a type word: size 1, 2 or 4 bytes, optionally constant, count 1.
bool DecodeType(uint32_t type, Variable* var) {
  if (Low(type) != 1) return false;
  const uint32_t flags = High(type) & ~0xFFu;
  const uint32_t size = High(type) & 0xFFu;
  if (flags != 0 && flags != kTypeConstFlag) return false;
  switch (size) {
    case 1:
      var->mask = 0xFF;
      break;
    case 2:
      var->mask = 0xFFFF;
      break;
    case 4:
      var->mask = 0xFFFFFFFF;
      break;
    default:
      return false;
  }
  var->constant = flags != 0;
  return true;
}

// The variables of a list, numbered in the order of their declaration items.
struct Variables {
  Variable var[kMaxItems];
  uint32_t value[kMaxItems];
  size_t count = 0;
};

bool ValidOperand(uint32_t ref, const Variables& vars) {
  return ref == kReadLatch || ref < vars.count;
}

bool ValidJump(size_t item, int64_t distance, size_t count) {
  const int64_t target = static_cast<int64_t>(item) + distance;
  return target >= 0 && target <= static_cast<int64_t>(count);
}

RunStatus Check(const uint8_t* items, size_t size, Variables* vars) {
  if (items == nullptr || size == 0 || size % kItemBytes != 0 || size / kItemBytes > kMaxItems) {
    return RunStatus::kBadSize;
  }
  const size_t count = size / kItemBytes;
  vars->count = 0;
  // Declarations first, so that operands may name variables declared further on.
  for (size_t i = 0; i < count; ++i) {
    if (Word(items, i, 0) != kCmdDeclare) continue;
    Variable v{};
    v.item = i;
    if (!DecodeType(Word(items, i, 1), &v)) return RunStatus::kBadType;
    const uint32_t init = Word(items, i, 2);
    if ((init & ~v.mask) != 0) return RunStatus::kBadType;
    vars->var[vars->count] = v;
    vars->value[vars->count] = init;
    ++vars->count;
  }
  for (size_t i = 0; i < count; ++i) {
    const uint32_t w2 = Word(items, i, 1);
    const uint32_t w3 = Word(items, i, 2);
    switch (Word(items, i, 0)) {
      case kCmdDeclare:
        break;
      case kCmdWrite:
        if (w2 != 0 || w3 > 0xFF) return RunStatus::kBadRegister;
        break;
      case kCmdRead:
        if (w2 != 1) return RunStatus::kBadRegister;
        break;
      case kCmdPause:
        if (w2 != 0) return RunStatus::kBadCommand;
        if (w3 > kMaxPause) return RunStatus::kBadPause;
        break;
      case kCmdJump:
        if (w3 != 0) return RunStatus::kBadCommand;
        if (!ValidJump(i, Distance32(w2), count)) return RunStatus::kBadJump;
        break;
      case kCmdCompute: {
        const uint32_t op = High(w2);
        if (op != kOpAnd && op != kOpOr && op != kOpMove && op != kOpSubtract && op != kOpDivide) {
          return RunStatus::kBadOperator;
        }
        const uint32_t target = Low(w2);
        if (target >= vars->count || vars->var[target].constant) return RunStatus::kBadVariable;
        if (!ValidOperand(High(w3), *vars) || !ValidOperand(Low(w3), *vars)) {
          return RunStatus::kBadVariable;
        }
        break;
      }
      case kCmdLoopTest:
      case kCmdBitTest: {
        const uint32_t wanted = Word(items, i, 0) == kCmdLoopTest ? kOpGreater : kOpAnd;
        if (High(w2) != wanted) return RunStatus::kBadOperator;
        if (!ValidJump(i, Distance16(w2), count)) return RunStatus::kBadJump;
        if (!ValidOperand(High(w3), *vars) || !ValidOperand(Low(w3), *vars)) {
          return RunStatus::kBadVariable;
        }
        break;
      }
      default:
        return RunStatus::kBadCommand;
    }
  }
  return RunStatus::kOk;
}

}  // namespace

const char* RunStatusText(RunStatus status) {
  switch (status) {
    case RunStatus::kOk:
      return "ok";
    case RunStatus::kBadSize:
      return "bad size";
    case RunStatus::kBadCommand:
      return "bad command";
    case RunStatus::kBadRegister:
      return "bad register";
    case RunStatus::kBadType:
      return "bad type";
    case RunStatus::kBadVariable:
      return "bad variable";
    case RunStatus::kBadOperator:
      return "bad operator";
    case RunStatus::kBadJump:
      return "bad jump";
    case RunStatus::kBadPause:
      return "bad pause";
    case RunStatus::kDivideByZero:
      return "division by zero";
    case RunStatus::kStepLimit:
      return "step limit";
    case RunStatus::kPortFailed:
      return "port failed";
  }
  return "?";
}

RunStatus CheckItems(const uint8_t* items, size_t size) {
  Variables vars;
  return Check(items, size, &vars);
}

RunStatus RunItems(uint8_t* items, size_t size, RegisterBackend& regs) {
  Variables vars;
  const RunStatus checked = Check(items, size, &vars);
  if (checked != RunStatus::kOk) return checked;

  const size_t count = size / kItemBytes;
  uint32_t latch = 0;
  auto value = [&](uint32_t ref) { return ref == kReadLatch ? latch : vars.value[ref]; };

  uint32_t steps = 0;
  uint32_t paused = 0;
  size_t pc = 0;
  while (pc < count) {
    if (++steps > kMaxSteps) return RunStatus::kStepLimit;
    const uint32_t w2 = Word(items, pc, 1);
    const uint32_t w3 = Word(items, pc, 2);
    size_t next = pc + 1;
    switch (Word(items, pc, 0)) {
      case kCmdDeclare:
        break;  // a declaration, not a statement: the value was set before the run
      case kCmdWrite:
        if (!regs.WriteData(static_cast<uint8_t>(w3))) return RunStatus::kPortFailed;
        break;
      case kCmdRead: {
        uint8_t b = 0;
        if (!regs.ReadStatus(&b)) return RunStatus::kPortFailed;
        latch = b;
        SetWord(items, pc, 2, b);
        break;
      }
      case kCmdPause:
        paused += w3;
        if (paused > kMaxPauseTotal) return RunStatus::kStepLimit;
        regs.Pause(w3);
        break;
      case kCmdJump:
        next = static_cast<size_t>(static_cast<int64_t>(pc) + Distance32(w2));
        break;
      case kCmdCompute: {
        const uint32_t op = High(w2);
        const uint32_t left = value(High(w3));
        const uint32_t right = value(Low(w3));
        uint32_t r = 0;
        switch (op) {
          case kOpAnd:
            r = left & right;
            break;
          case kOpOr:
            r = left | right;
            break;
          case kOpMove:
            r = Low(w3) == kReadLatch ? latch : left;
            break;
          case kOpSubtract:
            r = left - right;
            break;
          case kOpDivide:
            if (right == 0) return RunStatus::kDivideByZero;
            r = left / right;
            break;
        }
        const uint32_t target = Low(w2);
        vars.value[target] = r & vars.var[target].mask;
        break;
      }
      case kCmdLoopTest:
        if (!(value(High(w3)) > value(Low(w3)))) {
          next = static_cast<size_t>(static_cast<int64_t>(pc) + Distance16(w2));
        }
        break;
      case kCmdBitTest:
        if ((value(High(w3)) & value(Low(w3))) == 0) {
          next = static_cast<size_t>(static_cast<int64_t>(pc) + Distance16(w2));
        }
        break;
    }
    pc = next;
  }
  for (size_t v = 0; v < vars.count; ++v) SetWord(items, vars.var[v].item, 2, vars.value[v]);
  return RunStatus::kOk;
}

bool DeviceControl(RegisterBackend& regs, uint32_t code, const void* in, uint32_t inSize, void* out,
                   uint32_t outSize) {
  if (out == nullptr || outSize == 0) return false;
  auto* buffer = static_cast<uint8_t*>(out);
  switch (code) {
    case kCtlRunProgram:
      if (in != nullptr || inSize != 0) return false;
      return RunItems(buffer, outSize, regs) == RunStatus::kOk;
    case kCtlRunRequest:
      if (in == nullptr || inSize == 0 || outSize < inSize) return false;
      std::memmove(buffer, in, inSize);
      return RunItems(buffer, inSize, regs) == RunStatus::kOk;
    default:
      return false;
  }
}

}  // namespace kelvora::portdriver
