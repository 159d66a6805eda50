// SPDX-License-Identifier: MIT
#include "platform/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
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

namespace {

// The temporary file beside target, written and flushed; its mode and ownership taken
// from old when given. Returns 0 and the temporary name, or the errno of the first
// step that failed (the temporary file then removed).
int WriteTemporary(const std::string& target, std::string_view bytes, const struct stat* old,
                   std::string& temp, std::string& dir) {
  size_t slash = target.rfind('/');
  dir = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
  if (dir.empty()) dir = "/";
  const std::string prefix = slash == std::string::npos ? std::string() : dir;
  // A short name of our own: the file's name could be too long to extend.
  static std::atomic<unsigned> counter{0};
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
  if (failure == 0 && old) {
    // Owner and group first: a change of owner may clear the mode's set-id bits.
    // Only a privileged process can give a file away; any member of the file's group
    // can hand the new file to that group. Both are best effort.
    if (::fchown(fd, old->st_uid, old->st_gid) != 0 && ::fchown(fd, -1, old->st_gid) != 0)
      errno = 0;
    step(::fchmod(fd, old->st_mode & 07777) == 0);
  }
  if (failure == 0) step(::fsync(fd) == 0);
  step(::close(fd) == 0);
  if (failure != 0) ::unlink(temp.c_str());
  return failure;
}

// Makes the rename or link itself durable; the data is safe either way by now.
void SyncDirectory(const std::string& dir) {
  int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

}  // namespace

int ReplaceFile(const std::string& path, std::string_view bytes) {
  const std::string target = FollowLink(path);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return EISDIR;
  if (exists && ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) return EACCES;

  std::string temp, dir;
  if (int failure = WriteTemporary(target, bytes, exists ? &old : nullptr, temp, dir))
    return failure;
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int failure = errno ? errno : EIO;
    ::unlink(temp.c_str());
    return failure;
  }
  SyncDirectory(dir);
  return 0;
}

int CreateNewFile(const std::string& path, std::string_view bytes) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) return EEXIST;
  std::string temp, dir;
  if (int failure = WriteTemporary(path, bytes, nullptr, temp, dir)) return failure;
  // Unlike a plain rename, both refuse a name that appeared in the meantime; a folder
  // that knows no such rename may still know hard links.
  int failure = 0;
  if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
    failure = errno ? errno : EIO;
    if (failure == EINVAL || failure == ENOSYS)
      failure = ::link(temp.c_str(), path.c_str()) == 0 ? 0 : (errno ? errno : EIO);
    ::unlink(temp.c_str());
  }
  if (failure == 0) SyncDirectory(dir);
  return failure;
}

}  // namespace kelvora::platform
