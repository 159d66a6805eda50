// SPDX-License-Identifier: MIT
#include "sim/virtual_parallel.h"

#include <strings.h>

#include <cctype>
#include <cstring>

#include "portdriver/port_program.h"

namespace kelvora::sim {
namespace {

constexpr uint32_t kBases[3] = {0x378, 0x278, 0x3BC};
constexpr char kPortDriverDevice[] = "\\\\.\\WRTdev0";

// The port driver's registers: LPT1's, through the backend so that they are recorded.
class PortDriverRegisters final : public portdriver::RegisterBackend {
 public:
  explicit PortDriverRegisters(VirtualParallel& ports) : ports_(ports) {}
  bool WriteData(uint8_t value) override {
    ports_.PortOut16(kBases[0], value);
    return true;
  }
  bool ReadStatus(uint8_t* value) override {
    *value = static_cast<uint8_t>(ports_.PortIn16(kBases[0] + 1));
    return true;
  }

 private:
  VirtualParallel& ports_;
};

}  // namespace

VirtualParallel::VirtualParallel() {
  services_.Install(portdriver::kServiceName, true);
}

void VirtualParallel::AttachBox(int port, VirtualBox* box) {
  if (port >= 1 && port <= 3) boxes_[port - 1] = box;
}

int VirtualParallel::PortOfBase(uint32_t base) {
  for (int i = 0; i < 3; ++i) {
    if (kBases[i] == base) return i + 1;
  }
  return 0;
}

drvos::Handle VirtualParallel::OpenDevice(const char* name) {
  if (name == nullptr) return drvos::kNoHandle;
  Device dev{};
  if (::strcasecmp(name, kPortDriverDevice) == 0) {
    dev = Device{1, true};
  } else if (::strncasecmp(name, "LPT", 3) == 0 && name[3] >= '1' && name[3] <= '3' &&
             name[4] == '\0') {
    dev = Device{name[3] - '0', false};
  } else {
    return drvos::kNoHandle;
  }
  // A port without a box is a port that is not there; a port is opened exclusively.
  if (boxes_[dev.port - 1] == nullptr || claimed_[dev.port - 1]) return drvos::kNoHandle;
  if (dev.portDriver && !services_.AcquireDevice(portdriver::kServiceName)) {
    return drvos::kNoHandle;
  }
  claimed_[dev.port - 1] = true;
  const drvos::Handle h = nextHandle_;
  nextHandle_ += 4;
  devices_[h] = dev;
  return h;
}

bool VirtualParallel::CloseHandle(drvos::Handle h) {
  auto it = devices_.find(h);
  if (it == devices_.end()) return false;
  claimed_[it->second.port - 1] = false;
  if (it->second.portDriver) services_.ReleaseDevice(portdriver::kServiceName);
  devices_.erase(it);
  return true;
}

bool VirtualParallel::PortReachable(uint32_t base) {
  const int n = PortOfBase(base);
  return n != 0 && boxes_[n - 1] != nullptr;
}

void VirtualParallel::PortOut16(uint32_t port, uint16_t v) {
  accesses_.push_back(RegisterAccess{true, port, v});
  const int n = PortOfBase(port);
  if (n != 0 && boxes_[n - 1] != nullptr) boxes_[n - 1]->WriteData(static_cast<uint8_t>(v));
}

uint16_t VirtualParallel::PortIn16(uint32_t port) {
  const int n = PortOfBase(port - 1);
  const uint16_t v = n != 0 && boxes_[n - 1] != nullptr ? boxes_[n - 1]->ReadStatus() : 0xFFFF;
  accesses_.push_back(RegisterAccess{false, port, v});
  return v;
}

bool VirtualParallel::DeviceIoControl(drvos::Handle h, uint32_t code, const void* in,
                                      uint32_t inSize, void* out, uint32_t outSize) {
  ++requests_;
  auto it = devices_.find(h);
  bool ok = false;
  if (it != devices_.end() && it->second.portDriver) {
    PortDriverRegisters regs(*this);
    ok = portdriver::DeviceControl(regs, code, in, inSize, out, outSize);
  }
  if (!ok) ++failedRequests_;
  return ok;
}

bool VirtualParallel::StartService(const char* name) {
  return portdriver::StartServiceByName(services_, name);
}

bool VirtualParallel::StopService(const char* name) {
  return portdriver::StopServiceByName(services_, name);
}

}  // namespace kelvora::sim
