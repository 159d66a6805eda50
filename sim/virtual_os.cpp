#include "sim/virtual_os.h"

#include <cctype>

namespace kelvora::sim {

using drvos::Handle;
using drvos::kNoHandle;

VirtualOs::VirtualOs(VirtualClock& clock) : clock_(clock) {}

std::string VirtualOs::Key(const std::string& name) {
  std::string key = name;
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

void VirtualOs::AttachSerial(const std::string& portName, VirtualBox* box) {
  ports_[Key(portName)].box = box;
}

void VirtualOs::SetParallelBackend(ParallelBackend* backend) {
  parallel_ = backend;
}
void VirtualOs::SetFamily(drvos::PlatformFamily family) {
  family_ = family;
}

bool VirtualOs::LastLine(const std::string& portName, drvos::SerialLine* out) const {
  auto it = ports_.find(Key(portName));
  if (it == ports_.end() || !it->second.haveLine) return false;
  *out = it->second.line;
  return true;
}

bool VirtualOs::LastTimeouts(const std::string& portName, drvos::SerialTimeouts* out) const {
  auto it = ports_.find(Key(portName));
  if (it == ports_.end() || !it->second.haveTimeouts) return false;
  *out = it->second.timeouts;
  return true;
}

std::vector<std::string> VirtualOs::OpenPorts() const {
  std::vector<std::string> names;
  for (const auto& [name, port] : ports_) {
    if (port.openHandle != kNoHandle) names.push_back(name);
  }
  return names;
}

Handle VirtualOs::NewHandle() {
  // Never 0 (closed) or 1 (direct parallel marker); the counter starts well above.
  Handle h = nextHandle_;
  nextHandle_ += 4;
  if (nextHandle_ < 0x100) nextHandle_ = 0x100;
  return h;
}

VirtualOs::Port* VirtualOs::PortOf(Handle h) {
  auto it = serialHandles_.find(h);
  if (it == serialHandles_.end()) return nullptr;
  return &ports_[it->second];
}

Handle VirtualOs::OpenDevice(const char* name) {
  if (name == nullptr) return kNoHandle;
  const std::string key = Key(name);
  calls_.push_back("open " + key);
  auto it = ports_.find(key);
  if (it != ports_.end() && it->second.box != nullptr) {
    Port& port = it->second;
    if (port.openHandle != kNoHandle) return kNoHandle;  // exclusive
    if (port.box->Fault() == BoxFault::kVanished) return kNoHandle;
    port.openHandle = NewHandle();
    serialHandles_[port.openHandle] = key;
    return port.openHandle;
  }
  if (parallel_ == nullptr) return kNoHandle;
  const Handle inner = parallel_->OpenDevice(name);
  if (inner == kNoHandle) return kNoHandle;
  const Handle outer = NewHandle();
  parallelHandles_[outer] = inner;
  return outer;
}

bool VirtualOs::CloseHandle(Handle h) {
  if (auto it = serialHandles_.find(h); it != serialHandles_.end()) {
    calls_.push_back("close " + it->second);
    ports_[it->second].openHandle = kNoHandle;
    serialHandles_.erase(it);
    return true;
  }
  if (auto it = parallelHandles_.find(h); it != parallelHandles_.end()) {
    calls_.push_back("close parallel");
    const Handle inner = it->second;
    parallelHandles_.erase(it);
    return parallel_ != nullptr && parallel_->CloseHandle(inner);
  }
  calls_.push_back("close ?");
  return false;
}

bool VirtualOs::SetCommLine(Handle h, const drvos::SerialLine& line) {
  calls_.push_back("line");
  Port* port = PortOf(h);
  if (port == nullptr || failCommLine_) return false;
  port->line = line;
  port->haveLine = true;
  return true;
}

bool VirtualOs::SetCommTimeouts(Handle h, const drvos::SerialTimeouts& t) {
  calls_.push_back("timeouts");
  Port* port = PortOf(h);
  if (port == nullptr || failCommTimeouts_) return false;
  port->timeouts = t;
  port->haveTimeouts = true;
  return true;
}

int32_t VirtualOs::WriteFile(Handle h, const uint8_t* data, uint32_t n) {
  Port* port = PortOf(h);
  if (port == nullptr || port->box == nullptr) return -1;
  if (!port->box->SerialWrite(data, n)) return -1;
  return static_cast<int32_t>(n);
}

int32_t VirtualOs::ReadFile(Handle h, uint8_t* data, uint32_t n) {
  // The box answers at once, so a read never waits: what is not queued now would
  // only have come after the time-out.
  Port* port = PortOf(h);
  if (port == nullptr || port->box == nullptr) return -1;
  return port->box->SerialRead(data, n);
}

uint32_t VirtualOs::TimeSetEvent(uint32_t periodMs, uint32_t, drvos::TimerProc proc, uintptr_t user,
                                 uint32_t) {
  calls_.push_back("settimer " + std::to_string(periodMs));
  if (failTimer_) return 0;
  return clock_.AddTimer(periodMs, proc, user);
}

uint32_t VirtualOs::TimeKillEvent(uint32_t id) {
  calls_.push_back("killtimer " + std::to_string(id));
  return clock_.KillTimer(id) ? 0 : 11;  // 11: invalid parameter, as the multimedia timer
}

void VirtualOs::Sleep(uint32_t ms) {
  calls_.push_back("sleep " + std::to_string(ms));
  clock_.Advance(ms);
}

void VirtualOs::PortOut16(uint32_t port, uint16_t value) {
  if (parallel_ != nullptr) parallel_->PortOut16(port, value);
}

uint16_t VirtualOs::PortIn16(uint32_t port) {
  return parallel_ != nullptr ? parallel_->PortIn16(port) : 0xFFFF;
}

bool VirtualOs::DeviceIoControl(Handle h, uint32_t code, const void* in, uint32_t inSize, void* out,
                                uint32_t outSize) {
  auto it = parallelHandles_.find(h);
  if (parallel_ == nullptr || it == parallelHandles_.end()) return false;
  return parallel_->DeviceIoControl(it->second, code, in, inSize, out, outSize);
}

bool VirtualOs::StartService(const char* name) {
  calls_.push_back("startservice");
  return parallel_ != nullptr && parallel_->StartService(name);
}

bool VirtualOs::StopService(const char* name) {
  calls_.push_back("stopservice");
  return parallel_ != nullptr && parallel_->StopService(name);
}

}  // namespace kelvora::sim
