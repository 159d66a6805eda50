// SPDX-License-Identifier: MIT
#include "sim/virtual_os.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

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

bool VirtualOs::Dead(const Port& port) {
  return port.box == nullptr || port.box->Vanished() || port.box->Plugs() != port.plug;
}

Handle VirtualOs::OpenDevice(const char* name) {
  lastError_ = ENOENT;  // whatever is not there
  if (name == nullptr) return kNoHandle;
  const std::string key = Key(name);
  calls_.push_back("open " + key);
  if (failOpen_ != 0) {
    lastError_ = failOpen_;
    return kNoHandle;
  }
  auto it = ports_.find(key);
  if (it != ports_.end() && it->second.box != nullptr) {
    Port& port = it->second;
    if (port.openHandle != kNoHandle) {
      lastError_ = EBUSY;  // exclusive
      return kNoHandle;
    }
    if (port.box->Vanished()) return kNoHandle;
    lastError_ = 0;
    port.plug = port.box->Plugs();
    port.inbound.clear();
    port.openHandle = NewHandle();
    serialHandles_[port.openHandle] = key;
    return port.openHandle;
  }
  if (parallel_ == nullptr) return kNoHandle;
  const Handle inner = parallel_->OpenDevice(name);
  if (inner == kNoHandle) return kNoHandle;
  lastError_ = 0;
  const Handle outer = NewHandle();
  parallelHandles_[outer] = inner;
  return outer;
}

bool VirtualOs::CloseHandle(Handle h) {
  if (auto it = serialHandles_.find(h); it != serialHandles_.end()) {
    calls_.push_back("close " + it->second);
    ports_[it->second].openHandle = kNoHandle;
    ports_[it->second].inbound.clear();
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
  if (port == nullptr || failCommLine_) {
    lastError_ = ENOTTY;
    return false;
  }
  port->line = line;
  port->haveLine = true;
  return true;
}

bool VirtualOs::SetCommTimeouts(Handle h, const drvos::SerialTimeouts& t) {
  calls_.push_back("timeouts");
  Port* port = PortOf(h);
  if (port == nullptr || failCommTimeouts_) {
    lastError_ = EIO;
    return false;
  }
  port->timeouts = t;
  port->haveTimeouts = true;
  return true;
}

int32_t VirtualOs::WriteFile(Handle h, const uint8_t* data, uint32_t n) {
  Port* port = PortOf(h);
  if (port == nullptr || Dead(*port)) return -1;
  if (!port->box->SerialWrite(data, n)) return -1;
  // The replies set off by this write, queued by their time of arrival; pieces due at
  // the same time keep their order.
  const uint64_t now = clock_.NowMs();
  for (const ReplyPiece& piece : port->box->TakeReplies()) {
    const uint64_t at = now + piece.delayMs;
    auto pos = std::upper_bound(port->inbound.begin(), port->inbound.end(), at,
                                [](uint64_t t, const Arrival& a) { return t < a.atMs; });
    for (uint8_t b : piece.bytes) pos = port->inbound.insert(pos, Arrival{at, b}) + 1;
  }
  return static_cast<int32_t>(n);
}

int32_t VirtualOs::ReadFile(Handle h, uint8_t* data, uint32_t n) {
  Port* port = PortOf(h);
  if (port == nullptr || Dead(*port)) return -1;
  // The read's time-outs over the bytes' arrival times: the total from the start of
  // the call, the interval from each byte on; bytes already there count as arriving now.
  const drvos::SerialTimeouts& t = port->timeouts;
  const uint64_t now = clock_.NowMs();
  const uint64_t total = now + t.readTotalConstant + uint64_t{t.readTotalMultiplier} * n;
  uint32_t got = 0;
  uint64_t last = now;
  auto it = port->inbound.begin();
  for (; it != port->inbound.end() && got < n; ++it) {
    const uint64_t at = std::max(it->atMs, now);
    if (at > total) break;
    if (got > 0 && t.readInterval != 0 && at - last > t.readInterval) break;
    data[got++] = it->byte;
    last = at;
  }
  port->inbound.erase(port->inbound.begin(), it);
  return static_cast<int32_t>(got);
}

bool VirtualOs::PurgeInput(Handle h) {
  Port* port = PortOf(h);
  if (port == nullptr || Dead(*port)) return false;
  const uint64_t now = clock_.NowMs();
  std::erase_if(port->inbound, [now](const Arrival& a) { return a.atMs <= now; });
  return true;
}

bool VirtualOs::ReopenDevice(Handle h) {
  auto it = serialHandles_.find(h);
  if (it == serialHandles_.end()) return false;
  calls_.push_back("reopen " + it->second);
  Port& port = ports_[it->second];
  port.inbound.clear();  // a new device starts with empty buffers
  if (port.box == nullptr || port.box->Vanished()) return false;
  port.plug = port.box->Plugs();
  return true;
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

bool VirtualOs::PortReachable(uint32_t base) {
  return parallel_ != nullptr && parallel_->PortReachable(base);
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
