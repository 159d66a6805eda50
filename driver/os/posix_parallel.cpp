// SPDX-License-Identifier: MIT
// Parallel port registers through Linux ppdev, the port-driver device and the service
// it runs as.
//
// Register access goes only to the three parallel bases (0x378, 0x278, 0x3BC → LPT1,
// LPT2, LPT3): a write at a base sets that port's data register, a read at base + 1
// returns its status register in the low byte (high byte 0). Every other address, and
// a port that cannot be reached, does nothing on write and reads 0xFFFF, as an empty
// I/O address floats high.
//
// A port is claimed exclusively (PPEXCL + PPCLAIM) while a device handle for it is
// open ("LPT<n>", or "\\.\WRTdev0", which serves LPT1). A base that is accessed
// without such a handle — the three-letter name "LPT" with a preset base — claims its
// port when the open asks whether it is reachable, and keeps it until the process ends
// or a device of that port is opened. A port that could not be claimed stays
// unreachable until the next such question.
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "driver/os/port_bases.h"
#include "driver/os/posix_os.h"
#include "portdriver/port_program.h"
#include "portdriver/service.h"

namespace kelvora::drvos {
namespace {

constexpr int kPorts = 3;
constexpr uint32_t kBases[kPorts] = {kBaseLpt1, kBaseLpt2, kBaseLpt3};
constexpr int kPortDriverSlot = 0;  // the port driver serves LPT1

struct PortSlot {
  int fd = -1;
  bool byHandle = false;  // claimed for an open device handle
  bool triedOnDemand = false;
};

std::mutex g_mutex;
PortSlot g_slots[kPorts];

int SlotOfBase(uint32_t base) {
  for (int i = 0; i < kPorts; ++i) {
    if (kBases[i] == base) return i;
  }
  return -1;
}

std::string PortName(int slot) {
  return "LPT" + std::to_string(slot + 1);
}

// Opens and claims a ppdev device; -1 when any step fails (nothing left open; why:
// LastError).
int ClaimPort(const std::string& path) {
  if (path.empty()) {
    Fail(ENODEV);
    return -1;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    Fail(errno);
    return -1;
  }
  if (::ioctl(fd, PPEXCL) != 0 || ::ioctl(fd, PPCLAIM) != 0) {
    const int error = errno;
    ::close(fd);
    Fail(error);
    return -1;
  }
  int forward = 0;  // the data lines drive the box
  (void)::ioctl(fd, PPDATADIR, &forward);
  return fd;
}

void ReleasePort(int fd) {
  (void)::ioctl(fd, PPRELEASE);
  ::close(fd);
}

// Called under g_mutex: the descriptor for a slot, claiming the port on demand.
int SlotFdLocked(int slot) {
  PortSlot& s = g_slots[slot];
  if (s.fd >= 0 || s.triedOnDemand) return s.fd;
  s.triedOnDemand = true;
  s.fd = ClaimPort(DevicePathFor(PortName(slot).c_str()));
  return s.fd;
}

// Called under g_mutex: binds a slot to a new device handle; -1 when the port is
// already held by another handle or cannot be claimed.
int BindSlotLocked(int slot, const std::string& path) {
  PortSlot& s = g_slots[slot];
  if (s.byHandle) {
    Fail(EBUSY);  // this process holds it already
    return -1;
  }
  if (s.fd >= 0) {
    ReleasePort(s.fd);  // an on-demand claim gives way to the device
    s.fd = -1;
  }
  s.triedOnDemand = false;
  s.fd = ClaimPort(path);
  if (s.fd < 0) return -1;
  s.byHandle = true;
  return s.fd;
}

bool UnbindFd(int fd) {
  std::lock_guard lock(g_mutex);
  for (PortSlot& s : g_slots) {
    if (s.byHandle && s.fd == fd) {
      ReleasePort(fd);
      s = PortSlot{};
      return true;
    }
  }
  return false;
}

portdriver::ServiceManager& Services() {
  // The stand-in is installed with automatic start, as a port driver is on a machine
  // that uses it: the device is there until someone stops the service.
  static portdriver::ServiceManager* manager = [] {
    auto* m = new portdriver::ServiceManager;
    m->Install(portdriver::kServiceName, true);
    return m;
  }();
  return *manager;
}

// The stand-in's registers: the claimed LPT1 descriptor, checked under the lock on
// every access so that a request can never reach a descriptor closed meanwhile.
class PpdevBackend final : public portdriver::RegisterBackend {
 public:
  explicit PpdevBackend(int fd) : fd_(fd) {}
  bool WriteData(uint8_t value) override {
    std::lock_guard lock(g_mutex);
    if (!Valid()) return false;
    unsigned char b = value;
    return ::ioctl(fd_, PPWDATA, &b) == 0;
  }
  bool ReadStatus(uint8_t* value) override {
    std::lock_guard lock(g_mutex);
    if (!Valid()) return false;
    unsigned char b = 0;
    if (::ioctl(fd_, PPRSTATUS, &b) != 0) return false;
    *value = b;
    return true;
  }
  void Pause(uint32_t microseconds) override {
    // Short and bounded by the interpreter; a sleep would last far longer.
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
    while (std::chrono::steady_clock::now() < until) {
    }
  }

 private:
  bool Valid() const {
    const PortSlot& s = g_slots[kPortDriverSlot];
    return s.byHandle && s.fd == fd_;
  }
  int fd_;
};

}  // namespace

PlatformFamily PosixOs::Family() {
  const char* platform = std::getenv("ZQBREL_PLATFORM");
  if (platform != nullptr && ::strcasecmp(platform, "nt") == 0) return PlatformFamily::kPortDriver;
  return PlatformFamily::kDirect;  // "9x", unset or anything else
}

bool PosixOs::PortReachable(uint32_t base) {
  const int slot = SlotOfBase(base);
  if (slot < 0) return false;
  std::lock_guard lock(g_mutex);
  PortSlot& s = g_slots[slot];
  if (s.fd < 0) s.triedOnDemand = false;  // ask again: the port may have come free
  return SlotFdLocked(slot) >= 0;
}

void PosixOs::PortOut16(uint32_t port, uint16_t value) {
  const int slot = SlotOfBase(port);
  if (slot < 0) return;
  std::lock_guard lock(g_mutex);
  const int fd = SlotFdLocked(slot);
  if (fd < 0) return;
  unsigned char b = static_cast<unsigned char>(value & 0xFF);
  (void)::ioctl(fd, PPWDATA, &b);
}

uint16_t PosixOs::PortIn16(uint32_t port) {
  const int slot = SlotOfBase(port - 1);
  if (slot < 0) return 0xFFFF;
  std::lock_guard lock(g_mutex);
  const int fd = SlotFdLocked(slot);
  if (fd < 0) return 0xFFFF;
  unsigned char b = 0;
  if (::ioctl(fd, PPRSTATUS, &b) != 0) return 0xFFFF;
  return b;
}

bool PosixOs::DeviceIoControl(Handle h, uint32_t code, const void* in, uint32_t inSize, void* out,
                              uint32_t outSize) {
  HandleEntry entry{};
  if (!LookupHandle(h, &entry) || entry.kind != HandleKind::kPortDriver) return false;
  PpdevBackend regs(entry.fd);
  return portdriver::DeviceControl(regs, code, in, inSize, out, outSize);
}

bool PosixOs::StartService(const char* name) {
  return portdriver::StartServiceByName(Services(), name);
}

bool PosixOs::StopService(const char* name) {
  return portdriver::StopServiceByName(Services(), name);
}

Handle OpenParallelDevice(const char* name) {
  const std::string path = name != nullptr && ::strnlen(name, 4) == 4 ? DevicePathFor(name) : "";
  if (path.empty()) {
    Fail(ENODEV);
    return kNoHandle;
  }
  // The registers of the name's base are the ones the driver will use.
  const int slot = SlotOfBase(BaseForPortChar(name[3]));
  int fd;
  {
    std::lock_guard lock(g_mutex);
    fd = BindSlotLocked(slot, path);
  }
  if (fd < 0) return kNoHandle;
  const Handle h = RegisterHandle(HandleEntry{HandleKind::kParallelDevice, fd, nullptr});
  if (h == kNoHandle) UnbindFd(fd);
  return h;
}

Handle OpenPortDriverDevice(const char* name) {
  if (name == nullptr || ::strcasecmp(name, kPortDriverDevice) != 0) {
    Fail(ENODEV);
    return kNoHandle;
  }
  if (!Services().AcquireDevice(portdriver::kServiceName)) {
    Fail(ESRCH);  // its service is not running
    return kNoHandle;
  }
  int fd;
  {
    std::lock_guard lock(g_mutex);
    fd = BindSlotLocked(kPortDriverSlot, DevicePathFor(PortName(kPortDriverSlot).c_str()));
  }
  if (fd < 0) {
    Services().ReleaseDevice(portdriver::kServiceName);
    return kNoHandle;
  }
  const Handle h = RegisterHandle(HandleEntry{HandleKind::kPortDriver, fd, nullptr});
  if (h == kNoHandle) {
    UnbindFd(fd);
    Services().ReleaseDevice(portdriver::kServiceName);
  }
  return h;
}

bool CloseParallelDevice(const HandleEntry& entry) {
  return UnbindFd(entry.fd);
}

bool ClosePortDriverDevice(const HandleEntry& entry) {
  const bool ok = UnbindFd(entry.fd);
  Services().ReleaseDevice(portdriver::kServiceName);
  return ok;
}

}  // namespace kelvora::drvos
