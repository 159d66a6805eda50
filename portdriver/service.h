// SPDX-License-Identifier: MIT
// A small in-process service manager for the port driver's service: handles for the
// manager and for a service, start and stop with the results a service control
// manager gives, and a count of the handles still open so that callers can be
// checked for leaks.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace kelvora::portdriver {

inline constexpr const char* kServiceName = "WinRT";

class ServiceManager {
 public:
  // Installs (or reinstalls) a service in the given state; Uninstall removes it.
  void Install(const std::string& name, bool running);
  void Uninstall(const std::string& name);
  bool IsInstalled(const std::string& name) const;
  bool IsRunning(const std::string& name) const;
  // Makes the manager itself unreachable (OpenManager fails).
  void SetReachable(bool reachable);

  // The steps a client goes through. Handles are never 0; 0 means failure.
  uint32_t OpenManager();
  uint32_t OpenService(uint32_t manager, const std::string& name);
  // Start fails when the service already runs; Stop when it does not run or while
  // one of its devices is open (the driver cannot be unloaded under an open handle).
  bool Start(uint32_t service);
  bool Stop(uint32_t service);
  bool CloseServiceHandle(uint32_t handle);
  size_t OpenHandles() const;

  // Devices of a running service: Acquire fails when the service is not running.
  bool AcquireDevice(const std::string& name);
  void ReleaseDevice(const std::string& name);
  int OpenDevices(const std::string& name) const;

 private:
  struct Service {
    bool running = false;
    int devices = 0;
  };
  mutable std::mutex mutex_;
  std::map<std::string, Service> services_;
  std::set<uint32_t> managers_;
  std::map<uint32_t, std::string> serviceHandles_;
  uint32_t nextHandle_ = 0x40;
  bool reachable_ = true;
};

// The library's start or stop of a service: open the manager, open the service,
// start it or send it the stop control, close the manager and then the service
// handle. True when the start or stop itself succeeded; no handle is left open.
bool StartServiceByName(ServiceManager& manager, const char* name);
bool StopServiceByName(ServiceManager& manager, const char* name);

}  // namespace kelvora::portdriver
