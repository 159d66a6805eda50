// SPDX-License-Identifier: MIT
// The parallel box: a chain of shift registers clocked bit by bit through the port's
// data register, with the inputs coming back on bit 7 of the status register. Two
// ways to the registers: directly at the port's base address (the OS layer maps the
// three bases to the claimed ports), or through the port driver, which runs a list of
// port-access items per request.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/connections.h"
#include "driver/os/os.h"
#include "driver/parallel.h"

namespace kelvora::driver {
namespace {

// Data register values.
constexpr uint8_t kClockLow0 = 0x30;
constexpr uint8_t kClockHigh0 = 0x38;
constexpr uint8_t kClockLow1 = 0x34;
constexpr uint8_t kClockHigh1 = 0x3C;
constexpr uint8_t kLoad1 = 0x39;
constexpr uint8_t kLoad2 = 0x32;
constexpr uint8_t kLoad3 = 0x3A;
constexpr uint8_t kStartEx = 0xA0;
constexpr uint8_t kStartEy = 0x90;
constexpr uint8_t kStatusBit7 = 0x80;

constexpr uint32_t kAnalogMax = 2048;
constexpr uint32_t kDefaultLptDelay = 10;
constexpr uint32_t kDefaultDirectScan = 5;
constexpr uint32_t kDefaultDriverScan = 2048;

// Port-program items.
constexpr uint32_t kCmdRead = 1;
constexpr uint32_t kCmdWrite = 4;
constexpr uint32_t kCmdPause = 0x8A;
constexpr uint32_t kCmdBitTest = 0x10000;
constexpr uint32_t kCmdDeclare = 0x10001;
constexpr uint32_t kCmdJump = 0x10002;
constexpr uint32_t kCmdCompute = 0x10003;
constexpr uint32_t kCmdLoopTest = 0x10004;
constexpr uint32_t kOpGreater = 2;
constexpr uint32_t kOpAnd = 8;
constexpr uint32_t kOpOr = 9;
constexpr uint32_t kOpMove = 0x0D;
constexpr uint32_t kOpSubtract = 0x0F;
constexpr uint32_t kOpDivide = 0x11;
constexpr uint32_t kReadLatch = 0x4000;
constexpr uint32_t kPauseUnits = 3;
constexpr uint32_t kTypeConst32 = (0x1004u << 16) | 1;
constexpr uint32_t kTypeVar32 = (4u << 16) | 1;
constexpr uint32_t kTypeVar16 = (2u << 16) | 1;

constexpr uint32_t InputMaskOf(int n) {
  return 1u << (n - 1);
}

// Fields shared with the timer thread are read and written whole, relaxed.
uint32_t Load(const uint32_t& field) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(field)).load(std::memory_order_relaxed);
}
void Store(uint32_t& field, uint32_t v) {
  std::atomic_ref<uint32_t>(field).store(v, std::memory_order_relaxed);
}

uint32_t Pair(uint32_t high, uint32_t low) {
  return (high << 16) | (low & 0xFFFF);
}

// --- direct path -----------------------------------------------------------------

// The repetition is the only timing of the direct path: it stretches every phase of
// the shift clock.
void PortWrite(uint32_t base, uint32_t lptDelay, uint8_t value) {
  drvos::Os& os = drvos::CurrentOs();
  for (uint32_t i = 0; i < lptDelay; ++i) os.PortOut16(base, value);
}

uint8_t PortRead(uint32_t base) {
  return static_cast<uint8_t>(drvos::CurrentOs().PortIn16(base + 1));
}

uint32_t DirectExchange(TBrelRecord* record) {
  const uint32_t base = Load(record->PortAddr);
  const uint32_t delay = Load(record->LptDelay);
  const uint32_t motor = Load(record->MotorWord);
  for (int n = 16; n >= 1; --n) {
    if ((motor & InputMaskOf(n)) != 0) {
      PortWrite(base, delay, kClockLow1);
      PortWrite(base, delay, kClockHigh1);
    } else {
      PortWrite(base, delay, kClockLow0);
      PortWrite(base, delay, kClockHigh0);
    }
  }
  PortWrite(base, delay, kLoad1);
  PortWrite(base, delay, kLoad2);
  PortWrite(base, delay, kLoad3);
  uint32_t result = 0;
  auto shiftIn = [&](int first, int last) {
    for (int n = first; n >= last; --n) {
      if ((PortRead(base) & kStatusBit7) != 0) result |= InputMaskOf(n);
      PortWrite(base, delay, kClockLow0);
      PortWrite(base, delay, kClockHigh0);
    }
  };
  shiftIn(8, 1);
  shiftIn(16, 9);
  Store(record->InputWord, result);
  return result;
}

uint32_t DirectAnalog(TBrelRecord* record, int channel) {
  const uint32_t base = Load(record->PortAddr);
  const uint32_t delay = Load(record->LptDelay);
  const uint32_t scan = Load(record->AnalogScan);
  PortWrite(base, delay, channel == 0 ? kStartEx : kStartEy);
  PortWrite(base, delay, kClockHigh0);
  uint32_t count = 0;
  uint32_t step = 0;
  // With AnalogScan 0 no count step is ever reached; the read limit keeps a line
  // stuck high from holding the timer thread for good.
  uint32_t readsLeft = scan == 0 ? kAnalogMax : 0;
  for (;;) {
    ++step;
    if (step == scan) {
      ++count;
      step = 0;
      if (count >= kAnalogMax) break;
    }
    if ((PortRead(base) & kStatusBit7) == 0) break;
    if (scan == 0 && --readsLeft == 0) break;
  }
  return count;
}

// --- port-driver path ------------------------------------------------------------

void SetItem(uint32_t* words, size_t item, uint32_t cmd, uint32_t w2, uint32_t w3) {
  words[item * 3] = cmd;
  words[item * 3 + 1] = w2;
  words[item * 3 + 2] = w3;
}

void WriteAndPause(uint32_t* words, size_t item, uint8_t value) {
  SetItem(words, item, kCmdWrite, 0, value);
  SetItem(words, item + 1, kCmdPause, 0, kPauseUnits);
}

// One input bit: read, take the byte, test bit 7, OR the mask in, clock the next bit
// up, then step the counter and the mask. Items first .. first+10.
void InputBitItems(uint32_t* words, size_t first) {
  SetItem(words, first, kCmdRead, 1, 0);
  SetItem(words, first + 1, kCmdCompute, Pair(kOpMove, 8), Pair(8, kReadLatch));
  SetItem(words, first + 2, kCmdPause, 0, kPauseUnits);
  SetItem(words, first + 3, kCmdBitTest, Pair(kOpAnd, 2), Pair(8, 2));
  SetItem(words, first + 4, kCmdCompute, Pair(kOpOr, 9), Pair(9, 11));
  WriteAndPause(words, first + 5, kClockLow0);
  WriteAndPause(words, first + 7, kClockHigh0);
  SetItem(words, first + 9, kCmdCompute, Pair(kOpSubtract, 7), Pair(7, 5));
  SetItem(words, first + 10, kCmdCompute, Pair(kOpDivide, 11), Pair(11, 4));
}

uint32_t PortDriverExchange(TBrelRecord* record) {
  uint32_t words[kPollProgramWords];
  BuildPollProgram(Load(record->MotorWord), words);
  const drvos::Handle h = Load(record->Handle);
  uint32_t result = ZQ_ERROR;
  if (h != drvos::kNoHandle &&
      drvos::CurrentOs().DeviceIoControl(h, kCtlPollProgram, nullptr, 0, words, sizeof words)) {
    result = words[kPollResultItem * 3 + 2];
  }
  Store(record->InputWord, result);
  return result;
}

// One two-item request (register access, pause); false when the driver refused it.
bool PortRequest(drvos::Handle h, uint32_t cmd, uint32_t reg, uint32_t value, uint8_t* byteOut) {
  const uint32_t request[6] = {cmd, reg, value, kCmdPause, 0, kPauseUnits};
  uint32_t reply[6] = {};
  if (!drvos::CurrentOs().DeviceIoControl(h, kCtlPortRequest, request, sizeof request, reply,
                                          sizeof reply)) {
    return false;
  }
  if (byteOut != nullptr) *byteOut = static_cast<uint8_t>(reply[2]);
  return true;
}

uint32_t PortDriverAnalog(TBrelRecord* record, int channel) {
  const drvos::Handle h = Load(record->Handle);
  if (h == drvos::kNoHandle) return ZQ_ERROR;
  // AnalogScan 0 written after open would never end a measurement of a stuck line;
  // it counts as the default largest count.
  uint32_t scan = Load(record->AnalogScan);
  if (scan == 0) scan = kDefaultDriverScan;
  if (!PortRequest(h, kCmdWrite, 0, channel == 0 ? kStartEx : kStartEy, nullptr)) return ZQ_ERROR;
  if (!PortRequest(h, kCmdWrite, 0, kClockHigh0, nullptr)) return ZQ_ERROR;
  uint32_t count = 0;
  for (;;) {
    uint8_t status = 0;
    if (!PortRequest(h, kCmdRead, 1, 0, &status)) return ZQ_ERROR;
    ++count;
    if (count >= scan || (status & kStatusBit7) == 0) break;
  }
  return count;
}

uint32_t OpenPortDriver(TBrelRecord* record, const char* port) {
  drvos::Os& os = drvos::CurrentOs();
  char name[32];
  std::snprintf(name, sizeof name, "\\\\.\\WRTdev%0d", 0);
  const drvos::Handle h = os.OpenDevice(name);
  const int error = os.LastError();
  Store(record->PortAddr, kPortDriverAddr);
  Store(record->LptDelay, 1);
  Store(record->MotorWord, 0);
  if (Load(record->AnalogScan) == 0) Store(record->AnalogScan, kDefaultDriverScan);
  if (h == drvos::kNoHandle) {
    Store(record->Handle, 0);
    NoteFailedOpen(port, name, error);
    return ZQ_ERROR;
  }
  Store(record->Handle, h);
  const uint32_t first = PortDriverExchange(record);
  if (first == ZQ_ERROR) {
    os.CloseHandle(h);
    Store(record->Handle, 0);
    NoteFailedOpen(port, name, ETIMEDOUT, true);
    return ZQ_ERROR;
  }
  return first;
}

}  // namespace

void BuildPollProgram(uint32_t motorWord, uint32_t (&words)[kPollProgramWords]) {
  uint32_t* w = words;
  // Variables [0] to [11].
  const uint32_t constants[7] = {0x8000, 0x10, 0x80, 8, 2, 1, 0};
  for (size_t i = 0; i < 7; ++i) SetItem(w, i, kCmdDeclare, kTypeConst32, constants[i]);
  SetItem(w, 7, kCmdDeclare, kTypeVar16, 16);          // bit counter
  SetItem(w, 8, kCmdDeclare, kTypeVar16, 0);           // status byte
  SetItem(w, 9, kCmdDeclare, kTypeVar32, 0);           // input word
  SetItem(w, 10, kCmdDeclare, kTypeVar32, motorWord);  // motor word
  SetItem(w, 11, kCmdDeclare, kTypeVar16, 0x8000);     // bit mask

  // Outputs, bit 15 first.
  SetItem(w, 12, kCmdLoopTest, Pair(kOpGreater, 14), Pair(7, 6));
  SetItem(w, 13, kCmdBitTest, Pair(kOpAnd, 6), Pair(10, 11));
  WriteAndPause(w, 14, kClockLow1);
  WriteAndPause(w, 16, kClockHigh1);
  SetItem(w, 18, kCmdJump, 5, 0);
  WriteAndPause(w, 19, kClockLow0);
  WriteAndPause(w, 21, kClockHigh0);
  SetItem(w, 23, kCmdCompute, Pair(kOpSubtract, 7), Pair(7, 5));
  SetItem(w, 24, kCmdCompute, Pair(kOpDivide, 11), Pair(11, 4));
  SetItem(w, 25, kCmdJump, static_cast<uint32_t>(-13), 0);

  // Load.
  WriteAndPause(w, 26, kLoad1);
  WriteAndPause(w, 28, kLoad2);
  WriteAndPause(w, 30, kLoad3);

  // Inputs 8 down to 1.
  SetItem(w, 32, kCmdCompute, Pair(kOpMove, 7), Pair(3, 0));
  SetItem(w, 33, kCmdCompute, Pair(kOpMove, 11), Pair(2, 0));
  SetItem(w, 34, kCmdLoopTest, Pair(kOpGreater, 13), Pair(7, 6));
  InputBitItems(w, 35);
  SetItem(w, 46, kCmdJump, static_cast<uint32_t>(-12), 0);

  // Inputs 16 down to 9.
  SetItem(w, 47, kCmdCompute, Pair(kOpMove, 7), Pair(1, 0));
  SetItem(w, 48, kCmdCompute, Pair(kOpMove, 11), Pair(0, 0));
  SetItem(w, 49, kCmdLoopTest, Pair(kOpGreater, 13), Pair(7, 3));
  InputBitItems(w, 50);
  SetItem(w, 61, kCmdJump, static_cast<uint32_t>(-12), 0);
}

uint32_t OpenParallelPort(TBrelRecord* record, const char* name) {
  drvos::Os& os = drvos::CurrentOs();
  if (os.Family() == drvos::PlatformFamily::kPortDriver) return OpenPortDriver(record, name);

  // Never read past the end of a short name: only the length up to four matters.
  const size_t len = strnlen(name, 4);
  drvos::Handle h;
  if (len == 3) {
    // No device: the caller's PortAddr is the base. Only the three parallel bases are
    // accepted, so a preset of 0 or any other address never reaches the I/O space. A
    // port out of reach (no such port, no rights, held by another program) would read
    // every input as set for good, an error no exchange could report: the open fails.
    const uint32_t base = Load(record->PortAddr);
    if (!IsParallelBase(base)) {
      Store(record->Handle, 0);
      NoteFailedOpen(name, "", EADDRNOTAVAIL);  // no base to reach
      return ZQ_ERROR;
    }
    if (!os.PortReachable(base)) {
      Store(record->Handle, 0);
      const char* port = base == kBaseLpt1 ? "LPT1" : base == kBaseLpt2 ? "LPT2" : "LPT3";
      NoteFailedOpen(name, port, os.LastError());
      return ZQ_ERROR;
    }
    h = 1;
  } else {
    // The device only reserves the port; the registers are reached by base address.
    Store(record->PortAddr, len >= 4 ? BaseForPortChar(name[3]) : kBaseLpt1);
    h = os.OpenDevice(name);
    if (h == drvos::kNoHandle) {
      Store(record->Handle, 0);
      NoteFailedOpen(name, name, os.LastError());
      return ZQ_ERROR;
    }
  }
  Store(record->Handle, h);
  if (Load(record->LptDelay) == 0) Store(record->LptDelay, kDefaultLptDelay);
  if (Load(record->AnalogScan) == 0) Store(record->AnalogScan, kDefaultDirectScan);
  Store(record->MotorWord, 0);
  const uint32_t first = ParallelPollInputs(record);
  if (first == ZQ_ERROR) {
    if (h != 1) os.CloseHandle(h);
    Store(record->Handle, 0);
    NoteFailedOpen(name, name, ETIMEDOUT, true);
    return ZQ_ERROR;
  }
  return first;
}

uint32_t ParallelPollInputs(TBrelRecord* record) {
  if (Load(record->PortAddr) == kPortDriverAddr) return PortDriverExchange(record);
  return DirectExchange(record);
}

uint32_t ParallelReadAnalog(TBrelRecord* record, int channel) {
  if (Load(record->PortAddr) == kPortDriverAddr) return PortDriverAnalog(record, channel);
  return DirectAnalog(record, channel);
}

int32_t StartPortDriverService() {
  return drvos::CurrentOs().StartService("WinRT") ? 0 : static_cast<int32_t>(ZQ_ERROR);
}

int32_t StopPortDriverService() {
  return drvos::CurrentOs().StopService("WinRT") ? 0 : static_cast<int32_t>(ZQ_ERROR);
}

}  // namespace kelvora::driver
