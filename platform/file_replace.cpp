#include "platform/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace kelvora::platform {
namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string FollowLink(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      std::string target(real);
      std::free(real);
      return target;
    }
  }
  return path;
}

}  // namespace

int ReplaceFile(const std::string& path, std::string_view bytes) {
  const std::string target = FollowLink(path);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return EISDIR;
  if (exists && ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) return EACCES;

  size_t slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
  if (dir.empty()) dir = "/";
  const std::string prefix = slash == std::string::npos ? std::string() : dir;
  // A short name of our own: the file's name could be too long to extend.
  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = prefix + ".kelvora-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1)) + ".tmp";
    // The umask shapes a new file's mode as it would for the file itself.
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return errno ? errno : EIO;

  // The first failing step decides the error; later steps are skipped.
  int failure = 0;
  auto step = [&failure](bool done) {
    if (!done && failure == 0) failure = errno ? errno : EIO;
  };
  errno = 0;
  step(WriteAll(fd, bytes));
  if (failure == 0 && exists) {
    step(::fchmod(fd, old.st_mode & 07777) == 0);
    // Keeping the owner is best effort: only a privileged process can give a file away.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) errno = 0;
  }
  if (failure == 0) step(::fsync(fd) == 0);
  step(::close(fd) == 0);
  if (failure == 0) step(::rename(temp.c_str(), target.c_str()) == 0);
  if (failure != 0) {
    ::unlink(temp.c_str());
    return failure;
  }
  // Make the rename itself durable; the data is safe either way by now.
  int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return 0;
}

}  // namespace kelvora::platform
