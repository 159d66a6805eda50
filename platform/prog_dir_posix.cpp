// SPDX-License-Identifier: MIT
// The program's folders as a POSIX system knows them: /proc/self/exe, the XDG
// configuration folder, access(2) and mkdir(2).
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/prog_dir.h"

namespace kelvora::platform {

std::string ProgramDirectory() {
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buffer.size()) {
      std::string exe(buffer.data(), static_cast<size_t>(n));
      size_t slash = exe.rfind('/');
      return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string UserConfigDirectory() {
  auto withSlash = [](std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
  };
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return withSlash(xdg) + "kelvora/";
  std::string home;
  if (const char* h = std::getenv("HOME"); h && h[0] != '\0') {
    home = h;
  } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
    home = pw->pw_dir;
  }
  return withSlash(home) + ".config/kelvora/";
}

bool IsWritableDirectory(const std::string& dir) {
  struct stat st;
  return !dir.empty() && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         ::access(dir.c_str(), W_OK | X_OK) == 0;
}

void CreateDirectories(const std::string& dir) {
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos == dir.size() || dir[pos] == '/') {
      std::string part = dir.substr(0, pos);
      if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
  }
}

}  // namespace kelvora::platform
