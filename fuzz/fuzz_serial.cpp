// SPDX-License-Identifier: MIT
// The serial box's replies as the driver decodes them: a scripted OS layer answers every
// read with bytes and a length taken from the input (short, empty, failed or claiming more
// than was asked for), while the input also drives the poll ticks, the analog phases, the
// 8- or 16-input box and the motor and lamp calls between them. Whatever the replies,
// the input word holds only the box's inputs or the error value, an analog value stays
// within its scale, a counter counts at most one change per tick, and every command sent
// is one the box knows, with the length it expects.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "driver/connections.h"
#include "driver/os/os.h"
#include "driver/zqBrel20.h"

namespace {

using namespace kelvora;

void Check(bool ok) {
  if (!ok) std::abort();
}

// Reads come from the input; everything else succeeds or does nothing.
class ScriptedOs final : public drvos::Os {
 public:
  void Reset(const uint8_t* data, size_t size, bool commFails) {
    data_ = data;
    size_ = size;
    commFails_ = commFails;
    lastCommandLength = 0;
    purged_ = false;
  }
  bool Exhausted() const { return size_ == 0; }
  uint8_t Next() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }

  drvos::Handle OpenDevice(const char*) override { return 5; }
  bool CloseHandle(drvos::Handle h) override { return h == 5; }
  bool SetCommLine(drvos::Handle, const drvos::SerialLine& line) override {
    Check(line.baud == 9600 && line.dataBits == 8 && line.parity == 0 && line.stopBits == 0);
    return !commFails_;
  }
  bool SetCommTimeouts(drvos::Handle, const drvos::SerialTimeouts&) override { return true; }
  int32_t WriteFile(drvos::Handle h, const uint8_t* data, uint32_t n) override {
    Check(h == 5 && (n == 2 || n == 3));
    // Whatever waited before the command is never read as its reply.
    Check(purged_);
    purged_ = false;
    const uint8_t cmd = data[0];
    Check(cmd == 0xC1 || cmd == 0xC2 || cmd == 0xC5 || cmd == 0xC6 || cmd == 0xC9 || cmd == 0xCA);
    // The 16-input commands carry both motor bytes.
    Check((cmd == 0xC2 || cmd == 0xC6 || cmd == 0xCA) == (n == 3));
    lastCommandLength = n;
    return static_cast<int32_t>(Next() % 4 == 0 ? -1 : n);
  }
  int32_t ReadFile(drvos::Handle h, uint8_t* data, uint32_t n) override {
    Check(h == 5 && n >= 1 && n <= 4);
    const uint8_t how = Next();
    if (how % 8 == 0) return -1;  // the device failed
    // 0..n+2 bytes claimed; never more than n written, as a real read would.
    const uint32_t claimed = (how >> 3) % (n + 3);
    for (uint32_t i = 0; i < claimed && i < n; ++i) data[i] = Next();
    return static_cast<int32_t>(claimed);
  }
  bool PurgeInput(drvos::Handle h) override {
    Check(h == 5);
    purged_ = true;
    return true;
  }
  // A failed device comes back when the input says so.
  bool ReopenDevice(drvos::Handle h) override { return h == 5 && Next() % 2 == 0; }
  uint32_t TimeSetEvent(uint32_t, uint32_t, drvos::TimerProc, uintptr_t, uint32_t) override {
    return 7;
  }
  uint32_t TimeKillEvent(uint32_t) override { return 0; }
  void Sleep(uint32_t) override {}
  // Every look at the clock is a poll period later.
  uint64_t NowUs() override { return nowUs_ += 10000; }
  drvos::PlatformFamily Family() override { return drvos::PlatformFamily::kDirect; }
  bool PortReachable(uint32_t) override { return true; }
  void PortOut16(uint32_t, uint16_t) override {}
  uint16_t PortIn16(uint32_t) override { return 0; }
  bool DeviceIoControl(drvos::Handle, uint32_t, const void*, uint32_t, void*, uint32_t) override {
    return false;
  }
  bool StartService(const char*) override { return false; }
  bool StopService(const char*) override { return false; }

  uint32_t lastCommandLength = 0;

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  bool commFails_ = false;
  bool purged_ = false;
  uint64_t nowUs_ = 0;
};

void CheckRecord(const TBrelRecord& r, const uint32_t (&before)[16]) {
  const bool wide = r.InputCount == 16;
  Check(r.InputWord == ZQ_ERROR || r.InputWord < (wide ? 0x10000u : 0x100u));
  Check(r.AnalogX <= 2048 || r.AnalogX == ZQ_ERROR);
  Check(r.AnalogY <= 2048 || r.AnalogY == ZQ_ERROR);
  Check(r.AnalogPhase <= 2);
  for (uint32_t n = 0; n < 16; ++n) {
    const uint32_t step = r.Counters[n] - before[n];
    Check(step <= (n < r.InputCount ? 1u : 0u));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static ScriptedOs os;
  const uint8_t config = data[0];
  os.Reset(data + 1, size - 1, config % 16 == 15);
  drvos::SetOs(&os);

  TBrelRecord r{};
  r.InputCount = (config & 1) ? 16 : 8;
  r.AnalogPhase = (config >> 1) & 3;
  r.PollInterval = (config >> 3) & 1 ? 0 : 25;
  const int32_t opened = zqOpenInterface(&r, "COM1");
  if (opened == static_cast<int32_t>(ZQ_ERROR)) {
    Check(r.Handle == 0);
  } else {
    Check(r.Handle == 5 && r.PortAddr == 0 && opened >= 0 && opened < 0x100);
    Check(r.PollInterval >= 10 && (r.InputCount == 8 || r.InputCount == 16));
    for (int steps = 0; steps < 512 && !os.Exhausted(); ++steps) {
      const uint8_t op = os.Next();
      uint32_t before[16];
      std::memcpy(before, r.Counters, sizeof before);
      switch (op % 6) {
        case 0:
        case 1:
          driver::PollTimerProc(7, 0, reinterpret_cast<uintptr_t>(&r), 0, 0);
          break;
        case 2:
          // The program asks for a measurement by setting the phase.
          r.AnalogPhase = (op >> 3) % 3;
          driver::PollTimerProc(7, 0, reinterpret_cast<uintptr_t>(&r), 0, 0);
          break;
        case 3: {
          const int32_t v = zqSetMotor(&r, (op >> 3) % 10, (op >> 3) % 4);
          Check(v == static_cast<int32_t>(r.InputWord));
          break;
        }
        case 4: {
          const int32_t v = zqGetInput(&r, (op >> 3) % 18);
          Check(v == 0 || v == -1);
          break;
        }
        default:
          zqSetLamp(&r, (op >> 3) % 18, op & 0x80);
          break;
      }
      CheckRecord(r, before);
    }
    zqCloseInterface(&r);
    Check(r.Handle == 0 && r.MotorWord == 0);
  }
  drvos::SetOs(nullptr);
  return 0;
}
