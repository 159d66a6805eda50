// SPDX-License-Identifier: MIT
// Stand-in for the outside port I/O driver: it runs the lists of port-access items
// that the driver library sends (the poll program, the analog requests) against a
// parallel port's data and status registers.
//
// Every list is checked before it runs (size, commands, registers, type words,
// variable numbers, jump targets, operators) and bounded while it runs (steps,
// pauses, division by zero), so a malformed list fails its request instead of
// touching other registers, crashing or looping.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvora::portdriver {

// Control codes: device type 0x8000, function 0x801 (direct input: the list travels
// in the output buffer) and 0x800 (buffered: the request comes in, the same bytes go
// back out), any access.
inline constexpr uint32_t kCtlRunProgram = 0x80002005;
inline constexpr uint32_t kCtlRunRequest = 0x80002000;

// Item commands. An item is three little-endian 32-bit words: command, word 2, word 3.
inline constexpr uint32_t kCmdRead = 1;            // (register 1 = status, result slot)
inline constexpr uint32_t kCmdWrite = 4;           // (register 0 = data, value)
inline constexpr uint32_t kCmdPause = 0x8A;        // (0, microseconds)
inline constexpr uint32_t kCmdBitTest = 0x10000;   // ((op, distance), (left, right))
inline constexpr uint32_t kCmdDeclare = 0x10001;   // (type word, initial value)
inline constexpr uint32_t kCmdJump = 0x10002;      // (signed distance, 0)
inline constexpr uint32_t kCmdCompute = 0x10003;   // ((op, target), (left, right))
inline constexpr uint32_t kCmdLoopTest = 0x10004;  // ((op, distance), (left, right))

// Operators.
inline constexpr uint32_t kOpGreater = 2;
inline constexpr uint32_t kOpAnd = 8;
inline constexpr uint32_t kOpOr = 9;
inline constexpr uint32_t kOpMove = 0x0D;
inline constexpr uint32_t kOpSubtract = 0x0F;
inline constexpr uint32_t kOpDivide = 0x11;

// Type words (size, count) with the constant flag in the size half.
inline constexpr uint32_t kTypeConstFlag = 0x1000;
inline constexpr uint32_t kTypeConst32 = (0x1004u << 16) | 1;
inline constexpr uint32_t kTypeVar32 = (4u << 16) | 1;
inline constexpr uint32_t kTypeVar16 = (2u << 16) | 1;

// An operand number that names no variable but the byte of the latest read item.
// A move whose right operand is the latch copies the latch (the left operand is
// then only a placeholder); every other operator reads the latch like a variable.
inline constexpr uint32_t kReadLatch = 0x4000;

inline constexpr size_t kItemBytes = 12;
// Bounds of one request. The poll program has 62 items and runs about 400 steps.
inline constexpr size_t kMaxItems = 1024;
inline constexpr uint32_t kMaxSteps = 65536;
inline constexpr uint32_t kMaxPause = 1000;         // microseconds per pause item
inline constexpr uint32_t kMaxPauseTotal = 100000;  // microseconds per request

// The port's registers as the stand-in reaches them. False when the port failed.
class RegisterBackend {
 public:
  virtual ~RegisterBackend() = default;
  virtual bool WriteData(uint8_t value) = 0;
  virtual bool ReadStatus(uint8_t* value) = 0;
  virtual void Pause(uint32_t /*microseconds*/) {}
};

enum class RunStatus {
  kOk,
  kBadSize,      // not a whole number of items, empty, or too long
  kBadCommand,   // unknown command or a reserved word not 0
  kBadRegister,  // a register other than data (write) or status (read), or a value > 0xFF
  kBadType,      // unknown type word or an initial value that does not fit it
  kBadVariable,  // operand or target not declared, or a constant as target
  kBadOperator,  // operator not valid for the command
  kBadJump,      // target outside the list (the end itself is allowed)
  kBadPause,     // pause longer than kMaxPause
  kDivideByZero,
  kStepLimit,   // more than kMaxSteps items run, or more than kMaxPauseTotal paused
  kPortFailed,  // the register backend reported a failure
};

const char* RunStatusText(RunStatus status);

// Checks the list without running it.
RunStatus CheckItems(const uint8_t* items, size_t size);

// Checks and runs the list in place. On success word 3 of every declaration holds
// the variable's final value and word 3 of every read item that ran its byte.
RunStatus RunItems(uint8_t* items, size_t size, RegisterBackend& regs);

// One device request as DeviceIoControl delivers it. kCtlRunProgram takes no input
// buffer and runs the output buffer in place; kCtlRunRequest copies the input to the
// output buffer (which must be at least as large) and runs it there. Any other code,
// a missing buffer or a failed run is a failed request.
bool DeviceControl(RegisterBackend& regs, uint32_t code, const void* in, uint32_t inSize, void* out,
                   uint32_t outSize);

}  // namespace kelvora::portdriver
