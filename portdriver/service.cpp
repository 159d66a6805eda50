// SPDX-License-Identifier: MIT
#include "portdriver/service.h"

namespace kelvora::portdriver {

void ServiceManager::Install(const std::string& name, bool running) {
  std::lock_guard lock(mutex_);
  services_[name].running = running;
}

void ServiceManager::Uninstall(const std::string& name) {
  std::lock_guard lock(mutex_);
  services_.erase(name);
}

bool ServiceManager::IsInstalled(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return services_.count(name) != 0;
}

bool ServiceManager::IsRunning(const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto it = services_.find(name);
  return it != services_.end() && it->second.running;
}

void ServiceManager::SetReachable(bool reachable) {
  std::lock_guard lock(mutex_);
  reachable_ = reachable;
}

uint32_t ServiceManager::OpenManager() {
  std::lock_guard lock(mutex_);
  if (!reachable_) return 0;
  const uint32_t h = nextHandle_++;
  managers_.insert(h);
  return h;
}

uint32_t ServiceManager::OpenService(uint32_t manager, const std::string& name) {
  std::lock_guard lock(mutex_);
  if (managers_.count(manager) == 0 || services_.count(name) == 0) return 0;
  const uint32_t h = nextHandle_++;
  serviceHandles_[h] = name;
  return h;
}

bool ServiceManager::Start(uint32_t service) {
  std::lock_guard lock(mutex_);
  auto h = serviceHandles_.find(service);
  if (h == serviceHandles_.end()) return false;
  auto it = services_.find(h->second);
  if (it == services_.end() || it->second.running) return false;
  it->second.running = true;
  return true;
}

bool ServiceManager::Stop(uint32_t service) {
  std::lock_guard lock(mutex_);
  auto h = serviceHandles_.find(service);
  if (h == serviceHandles_.end()) return false;
  auto it = services_.find(h->second);
  if (it == services_.end() || !it->second.running || it->second.devices > 0) return false;
  it->second.running = false;
  return true;
}

bool ServiceManager::CloseServiceHandle(uint32_t handle) {
  std::lock_guard lock(mutex_);
  return managers_.erase(handle) != 0 || serviceHandles_.erase(handle) != 0;
}

size_t ServiceManager::OpenHandles() const {
  std::lock_guard lock(mutex_);
  return managers_.size() + serviceHandles_.size();
}

bool ServiceManager::AcquireDevice(const std::string& name) {
  std::lock_guard lock(mutex_);
  auto it = services_.find(name);
  if (it == services_.end() || !it->second.running) return false;
  ++it->second.devices;
  return true;
}

void ServiceManager::ReleaseDevice(const std::string& name) {
  std::lock_guard lock(mutex_);
  auto it = services_.find(name);
  if (it != services_.end() && it->second.devices > 0) --it->second.devices;
}

int ServiceManager::OpenDevices(const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto it = services_.find(name);
  return it == services_.end() ? 0 : it->second.devices;
}

namespace {

bool ControlByName(ServiceManager& manager, const char* name, bool start) {
  if (name == nullptr) return false;
  const uint32_t scm = manager.OpenManager();
  if (scm == 0) return false;
  const uint32_t service = manager.OpenService(scm, name);
  if (service == 0) {
    manager.CloseServiceHandle(scm);
    return false;
  }
  const bool ok = start ? manager.Start(service) : manager.Stop(service);
  manager.CloseServiceHandle(scm);
  manager.CloseServiceHandle(service);
  return ok;
}

}  // namespace

bool StartServiceByName(ServiceManager& manager, const char* name) {
  return ControlByName(manager, name, true);
}

bool StopServiceByName(ServiceManager& manager, const char* name) {
  return ControlByName(manager, name, false);
}

}  // namespace kelvora::portdriver
