// SPDX-License-Identifier: MIT
#include "tools/port_list.h"

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>

namespace kelvora::tools {
namespace {

// "ttyUSB12" with stem "ttyUSB" gives 12; -1 when name is not stem plus digits.
long NumberAfter(const std::string& name, const std::string& stem) {
  if (name.size() <= stem.size() || name.compare(0, stem.size(), stem) != 0) return -1;
  long n = 0;
  for (size_t i = stem.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || n > 1000000) return -1;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
    ::closedir(d);
  }
  return names;
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : std::string();
}

// Most machines list 4 to 32 ttyS devices of which few have a UART behind them: sysfs
// gives such a port a type other than 0. Without sysfs the device is shown.
bool HasUart(const std::string& root, const std::string& name) {
  std::ifstream type(root + "/sys/class/tty/" + name + "/type");
  int value = -1;
  if (!(type >> value)) return true;
  return value != 0;
}

// Real device path -> stable link; by-id is preferred to by-path.
std::map<std::string, std::string> StableNames(const std::string& root) {
  std::map<std::string, std::string> names;
  for (const char* kind : {"by-path", "by-id"}) {
    const std::string dir = root + "/dev/serial/" + kind;
    for (const std::string& link : Entries(dir)) {
      if (link == "." || link == "..") continue;
      const std::string target = RealPath(dir + "/" + link);
      if (!target.empty()) names[target] = dir + "/" + link;
    }
  }
  return names;
}

}  // namespace

std::string WithoutRoot(const std::string& root, const std::string& path) {
  if (!root.empty() && path.compare(0, root.size(), root) == 0) return path.substr(root.size());
  return path;
}

std::vector<PortDevice> ListPorts(const std::string& root) {
  struct Kind {
    const char* stem;
    bool parallel;
  };
  static const Kind kKinds[] = {
      {"ttyS", false}, {"ttyUSB", false}, {"ttyACM", false}, {"parport", true}};
  const std::string dev = root + "/dev";
  const std::vector<std::string> names = Entries(dev);
  const std::map<std::string, std::string> stable = StableNames(root);

  std::vector<PortDevice> ports;
  for (const Kind& kind : kKinds) {
    std::vector<std::pair<long, std::string>> found;
    for (const std::string& name : names) {
      const long n = NumberAfter(name, kind.stem);
      if (n < 0) continue;
      if (std::string(kind.stem) == "ttyS" && !HasUart(root, name)) continue;
      found.emplace_back(n, name);
    }
    std::sort(found.begin(), found.end());
    for (const auto& [n, name] : found) {
      PortDevice port;
      const std::string path = dev + "/" + name;
      port.device = WithoutRoot(root, path);
      port.parallel = kind.parallel;
      if (auto it = stable.find(RealPath(path)); it != stable.end())
        port.stableName = WithoutRoot(root, it->second);
      port.accessible = ::access(path.c_str(), R_OK | W_OK) == 0;
      struct stat st;
      if (::stat(path.c_str(), &st) == 0) {
        if (const group* g = ::getgrgid(st.st_gid)) port.group = g->gr_name;
      }
      ports.push_back(port);
    }
  }
  return ports;
}

}  // namespace kelvora::tools
