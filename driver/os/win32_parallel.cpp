// SPDX-License-Identifier: MIT
// Parallel port registers, the port driver's device requests and the service it runs
// as. The 95 family lets a program execute the processor's port instructions itself;
// the NT family refuses them in user mode, so there the registers are never touched
// directly: the driver goes through the port driver instead.
#include <windows.h>

#include "driver/os/port_bases.h"
#include "driver/os/win32_os.h"

namespace kelvora::drvos {
namespace {

constexpr DWORD kServiceAccess = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE;

bool DirectAccess() {
  static const bool direct = (GetVersion() & 0x80000000u) != 0;
  return direct;
}

bool PortRegister(uint32_t port) {
  return IsParallelBase(port) || IsParallelBase(port - 1);
}

// Opens the manager and the service, runs the request, closes the manager and then
// the service; true when the request itself succeeded.
template <typename Request>
bool WithService(const char* name, Request request) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, kServiceAccess);
  if (manager == nullptr) return false;
  SC_HANDLE service = OpenServiceA(manager, name, kServiceAccess);
  if (service == nullptr) {
    CloseServiceHandle(manager);
    return false;
  }
  const bool done = request(service);
  CloseServiceHandle(manager);
  CloseServiceHandle(service);
  return done;
}

}  // namespace

bool Win32Os::PortReachable(uint32_t base) {
  return DirectAccess() && IsParallelBase(base);
}

void Win32Os::PortOut16(uint32_t port, uint16_t value) {
  if (!DirectAccess() || !PortRegister(port)) return;
  const auto address = static_cast<uint16_t>(port);
  asm volatile("outw %0, %1" : : "a"(value), "Nd"(address));
}

uint16_t Win32Os::PortIn16(uint32_t port) {
  if (!DirectAccess() || !PortRegister(port)) return 0xFFFF;  // an empty address floats high
  const auto address = static_cast<uint16_t>(port);
  uint16_t value;
  asm volatile("inw %1, %0" : "=a"(value) : "Nd"(address));
  return value;
}

bool Win32Os::DeviceIoControl(Handle h, uint32_t code, const void* in, uint32_t inSize, void* out,
                              uint32_t outSize) {
  if (h == kNoHandle || h == 1) return false;
  DWORD returned = 0;
  return ::DeviceIoControl(HandleOf(h), code, const_cast<void*>(in), inSize, out, outSize,
                           &returned, nullptr) != 0;
}

bool Win32Os::StartService(const char* name) {
  return WithService(name,
                     [](SC_HANDLE service) { return StartServiceA(service, 0, nullptr) != 0; });
}

bool Win32Os::StopService(const char* name) {
  return WithService(name, [](SC_HANDLE service) {
    SERVICE_STATUS status{};
    return ControlService(service, SERVICE_CONTROL_STOP, &status) != 0;
  });
}

}  // namespace kelvora::drvos
