// SPDX-License-Identifier: MIT
// The driver's OS layer in virtual time: serial ports are virtual boxes, the periodic
// timer and Sleep are the virtual clock. The parallel side is a pluggable backend so
// that the register-level box and the port driver can be added without touching this.
//
// A serial port is a line with a receive buffer: the box's reply pieces arrive at the
// virtual time of their delay after the command. A read takes no virtual time; it
// returns what the port's time-outs would have let through (bytes that arrive later
// stay on their way), and a purge drops only what has arrived by now.
//
// Single-threaded like the clock: everything runs on the thread that advances time.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "driver/os/os.h"
#include "sim/virtual_box.h"
#include "sim/virtual_clock.h"

namespace kelvora::sim {

class ParallelBackend {
 public:
  virtual ~ParallelBackend() = default;
  virtual drvos::Handle OpenDevice(const char* name) = 0;
  virtual bool CloseHandle(drvos::Handle h) = 0;
  // Whether a base's registers are there for a port used without a device handle.
  virtual bool PortReachable(uint32_t) { return true; }
  virtual void PortOut16(uint32_t port, uint16_t v) = 0;
  virtual uint16_t PortIn16(uint32_t port) = 0;
  virtual bool DeviceIoControl(drvos::Handle h, uint32_t code, const void* in, uint32_t inSize,
                               void* out, uint32_t outSize) = 0;
  virtual bool StartService(const char* name) = 0;
  virtual bool StopService(const char* name) = 0;
};

class VirtualOs final : public drvos::Os {
 public:
  explicit VirtualOs(VirtualClock& clock);

  // Puts a box behind a serial port name ("COM1"; matched without regard to case).
  // nullptr detaches it. Opening an unattached name fails.
  void AttachSerial(const std::string& portName, VirtualBox* box);
  void SetParallelBackend(ParallelBackend* backend);
  void SetFamily(drvos::PlatformFamily family);

  // Faults of the OS layer itself, for the failure paths of open. An open fails with
  // ENOENT for a name without a box, EBUSY for one already open; FailOpen makes every
  // open fail with the error given (0: no more).
  void FailOpen(int error) { failOpen_ = error; }
  void FailCommLine(bool fail) { failCommLine_ = fail; }
  void FailCommTimeouts(bool fail) { failCommTimeouts_ = fail; }
  void FailTimer(bool fail) { failTimer_ = fail; }  // TimeSetEvent returns 0

  // What the driver asked of this layer, one line per call that matters for the
  // order of open and close: "open COM1", "line", "timeouts", "settimer 10",
  // "sleep 40", "killtimer 1", "close COM1", "reopen COM1". Reads, writes and purges
  // are not logged.
  const std::vector<std::string>& Calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }
  // The settings the driver last gave a serial port (by name), if it was ever opened.
  bool LastLine(const std::string& portName, drvos::SerialLine* out) const;
  bool LastTimeouts(const std::string& portName, drvos::SerialTimeouts* out) const;
  // Names of the serial ports that are open now.
  std::vector<std::string> OpenPorts() const;

  // drvos::Os
  drvos::Handle OpenDevice(const char* name) override;
  bool CloseHandle(drvos::Handle h) override;
  int LastError() override { return lastError_; }
  bool SetCommLine(drvos::Handle h, const drvos::SerialLine& line) override;
  bool SetCommTimeouts(drvos::Handle h, const drvos::SerialTimeouts& t) override;
  int32_t WriteFile(drvos::Handle h, const uint8_t* data, uint32_t n) override;
  int32_t ReadFile(drvos::Handle h, uint8_t* data, uint32_t n) override;
  bool PurgeInput(drvos::Handle h) override;
  bool ReopenDevice(drvos::Handle h) override;
  uint32_t TimeSetEvent(uint32_t periodMs, uint32_t resolution, drvos::TimerProc proc,
                        uintptr_t user, uint32_t flags) override;
  uint32_t TimeKillEvent(uint32_t id) override;
  void Sleep(uint32_t ms) override;
  uint64_t NowUs() override { return clock_.NowMs() * 1000; }
  drvos::PlatformFamily Family() override { return family_; }
  bool PortReachable(uint32_t base) override;
  void PortOut16(uint32_t port, uint16_t value) override;
  uint16_t PortIn16(uint32_t port) override;
  bool DeviceIoControl(drvos::Handle h, uint32_t code, const void* in, uint32_t inSize, void* out,
                       uint32_t outSize) override;
  bool StartService(const char* name) override;
  bool StopService(const char* name) override;

 private:
  struct Arrival {
    uint64_t atMs;
    uint8_t byte;
  };
  struct Port {
    VirtualBox* box = nullptr;
    drvos::Handle openHandle = drvos::kNoHandle;
    uint32_t plug = 0;             // the box's Plugs() when the device was opened
    std::vector<Arrival> inbound;  // received or on its way, by time of arrival
    bool haveLine = false;
    bool haveTimeouts = false;
    drvos::SerialLine line{};
    drvos::SerialTimeouts timeouts{};
  };
  static std::string Key(const std::string& name);
  Port* PortOf(drvos::Handle h);
  // The device behind an open handle is gone (or came back after it was opened).
  static bool Dead(const Port& port);
  drvos::Handle NewHandle();

  VirtualClock& clock_;
  ParallelBackend* parallel_ = nullptr;
  drvos::PlatformFamily family_ = drvos::PlatformFamily::kDirect;
  std::map<std::string, Port> ports_;                       // by upper-case name
  std::map<drvos::Handle, std::string> serialHandles_;      // handle -> port key
  std::map<drvos::Handle, drvos::Handle> parallelHandles_;  // ours -> backend's
  drvos::Handle nextHandle_ = 0x100;
  int failOpen_ = 0;
  int lastError_ = 0;
  bool failCommLine_ = false;
  bool failCommTimeouts_ = false;
  bool failTimer_ = false;
  std::vector<std::string> calls_;
};

}  // namespace kelvora::sim
