// SPDX-License-Identifier: MIT
#include "driver/os/ports_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string>

namespace kelvora::drvos {
namespace {

// A mapping file is a handful of lines; anything far beyond that is not one.
constexpr size_t kMaxFileSize = 64 * 1024;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string Trim(const std::string& s, size_t begin, size_t end) {
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool ReadSmallFile(const std::string& path, std::string* text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[4096];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0 || text->size() + static_cast<size_t>(n) > kMaxFileSize) {
      ok = false;
      break;
    }
    text->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

bool StartsWithNoCase(const char* s, const char* prefix) {
  for (; *prefix != '\0'; ++s, ++prefix) {
    if (std::toupper(static_cast<unsigned char>(*s)) != *prefix) return false;
  }
  return true;
}

}  // namespace

std::string PortsFilePath() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    return std::string(xdg) + "/kelvora/ports";
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const passwd* pw = ::getpwuid(::getuid());
    home = pw != nullptr ? pw->pw_dir : nullptr;
  }
  if (home == nullptr || home[0] == '\0') return {};
  return std::string(home) + "/.config/kelvora/ports";
}

std::string FindPortMapping(const std::string& text, const std::string& port) {
  std::string device;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    const size_t equals = text.find('=', begin);
    const size_t first = text.find_first_not_of(" \t\r", begin);
    if (first < end && text[first] != '#' && equals < end &&
        EqualNoCase(Trim(text, begin, equals), port)) {
      device = Trim(text, equals + 1, end);
    }
    begin = end + 1;
  }
  return device;
}

std::string MappedPortDevice(const std::string& port) {
  const std::string path = PortsFilePath();
  std::string text;
  if (path.empty() || !ReadSmallFile(path, &text)) return {};
  return FindPortMapping(text, port);
}

std::string DevicePathFor(const char* portName) {
  if (portName == nullptr) return {};
  const char* kind = nullptr;
  const char* deviceStem = nullptr;
  if (StartsWithNoCase(portName, "COM")) {
    kind = "COM";
    deviceStem = "/dev/ttyS";
  } else if (StartsWithNoCase(portName, "LPT")) {
    kind = "LPT";
    deviceStem = "/dev/parport";
  } else {
    return {};
  }
  const char* digits = portName + 3;
  if (*digits < '1' || *digits > '9') return {};
  unsigned n = 0;
  for (const char* p = digits; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || n > 999) return {};
    n = n * 10 + static_cast<unsigned>(*p - '0');
  }
  const std::string var = std::string("ZQBREL_") + kind + std::to_string(n);
  if (const char* mapped = std::getenv(var.c_str()); mapped != nullptr && *mapped != '\0') {
    return mapped;
  }
  if (std::string mapped = MappedPortDevice(std::string(kind) + std::to_string(n)); !mapped.empty())
    return mapped;
  return deviceStem + std::to_string(n - 1);
}

}  // namespace kelvora::drvos
