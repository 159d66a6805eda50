// Parallel registers, the port-driver device and services: not built yet.
#include "driver/os/posix_os.h"

namespace kelvora::drvos {

PlatformFamily PosixOs::Family() { return PlatformFamily::kDirect; }
void PosixOs::PortOut16(uint32_t, uint16_t) {}
uint16_t PosixOs::PortIn16(uint32_t) { return 0xFFFF; }
bool PosixOs::DeviceIoControl(Handle, uint32_t, const void*, uint32_t, void*, uint32_t) {
  return false;
}
bool PosixOs::StartService(const char*) { return false; }
bool PosixOs::StopService(const char*) { return false; }
Handle OpenParallelDevice(const char*) { return kNoHandle; }
Handle OpenPortDriverDevice(const char*) { return kNoHandle; }
bool CloseParallelDevice(const HandleEntry&) { return false; }
bool ClosePortDriverDevice(const HandleEntry&) { return false; }

}  // namespace kelvora::drvos
