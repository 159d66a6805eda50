// SPDX-License-Identifier: MIT
// The parallel ports of a virtual machine, as the driver's virtual OS layer reaches
// them: up to three ports LPT1..LPT3 at the bases 0x378, 0x278 and 0x3BC, each with a
// virtual box behind it, the port driver's device "\\.\WRTdev0" (which serves LPT1
// and runs its item lists against that port's registers) and the port driver's
// service "WinRT".
//
// Every register access is recorded, from the direct path and from the port driver
// alike, so that tests can compare the sequences value by value.
//
// Single-threaded like the virtual clock.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "portdriver/service.h"
#include "sim/virtual_box.h"
#include "sim/virtual_os.h"

namespace kelvora::sim {

struct RegisterAccess {
  bool write;
  uint32_t port;
  uint16_t value;  // value written, or value read
  bool operator==(const RegisterAccess&) const = default;
};

class VirtualParallel final : public ParallelBackend {
 public:
  VirtualParallel();

  // Puts a box behind port n (1..3); nullptr removes the port, so that its device
  // cannot be opened and its registers read 0xFFFF.
  void AttachBox(int port, VirtualBox* box);
  // The service manager behind StartService / StopService ("WinRT" installed, running).
  portdriver::ServiceManager& Services() { return services_; }

  // Every register access since the last ClearAccesses.
  const std::vector<RegisterAccess>& Accesses() const { return accesses_; }
  void ClearAccesses() { accesses_.clear(); }
  // Requests sent to the port driver, and how many of them failed.
  size_t PortDriverRequests() const { return requests_; }
  size_t FailedPortDriverRequests() const { return failedRequests_; }
  // Device handles open now.
  size_t OpenDevices() const { return devices_.size(); }

  // ParallelBackend
  drvos::Handle OpenDevice(const char* name) override;
  bool CloseHandle(drvos::Handle h) override;
  bool PortReachable(uint32_t base) override;
  void PortOut16(uint32_t port, uint16_t v) override;
  uint16_t PortIn16(uint32_t port) override;
  bool DeviceIoControl(drvos::Handle h, uint32_t code, const void* in, uint32_t inSize, void* out,
                       uint32_t outSize) override;
  bool StartService(const char* name) override;
  bool StopService(const char* name) override;

 private:
  struct Device {
    int port;  // 1..3
    bool portDriver;
  };
  static int PortOfBase(uint32_t base);

  VirtualBox* boxes_[3] = {nullptr, nullptr, nullptr};
  bool claimed_[3] = {false, false, false};
  std::map<drvos::Handle, Device> devices_;
  drvos::Handle nextHandle_ = 0x20;
  portdriver::ServiceManager services_;
  std::vector<RegisterAccess> accesses_;
  size_t requests_ = 0;
  size_t failedRequests_ = 0;
};

}  // namespace kelvora::sim
