// SPDX-License-Identifier: MIT
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace kelvora::platform {

bool ReadRegularFile(const std::string& path, size_t maxSize, std::string* bytes, int stopByte) {
  bytes->clear();
  // Without O_NONBLOCK a FIFO would block the open itself until a writer came.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  // Devices and pipes never end (or never answer); a file too large is refused before it
  // is read.
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > static_cast<off_t>(maxSize))
    return false;
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    const std::string_view chunk(buf, static_cast<size_t>(n));
    const size_t stop =
        stopByte < 0 ? std::string_view::npos : chunk.find(static_cast<char>(stopByte));
    bytes->append(chunk.substr(0, stop));
    if (stop != std::string_view::npos) return true;
    // A file that grows while it is read is held to the same limit.
    if (bytes->size() > maxSize) return false;
  }
}

int ReadWholeFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    bytes->append(buffer, static_cast<size_t>(n));
  }
}

std::vector<std::string> RegularFilesStartingWith(const std::string& dir,
                                                  const std::string& prefix) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      struct stat st;
      if (name.rfind(prefix, 0) == 0 && ::stat((dir + name).c_str(), &st) == 0 &&
          S_ISREG(st.st_mode))
        names.push_back(name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::tm LocalTime(std::time_t t) {
  std::tm local{};
  ::localtime_r(&t, &local);
  return local;
}

}  // namespace kelvora::platform
