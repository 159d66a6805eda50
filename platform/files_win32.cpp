// SPDX-License-Identifier: MIT
// Reading the user's files on Windows: UTF-8 names to the wide calls, only files on a
// disk (a device such as CON or COM1, or a pipe, is refused before it is read).
#include <windows.h>

#include <algorithm>
#include <string_view>

#include "platform/files.h"
#include "platform/win32_text.h"

namespace kelvora::platform {
namespace {

using win32::OwnedHandle;
using win32::Wide;

HANDLE OpenForReading(const std::string& path) {
  return CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// 0 for a file on a disk; else the errno value, EISDIR for a folder.
int CheckRegular(HANDLE h, LARGE_INTEGER* size) {
  if (GetFileType(h) != FILE_TYPE_DISK) return EINVAL;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return win32::LastErrno();
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return EISDIR;
  size->HighPart = static_cast<LONG>(info.nFileSizeHigh);
  size->LowPart = info.nFileSizeLow;
  return 0;
}

// Reads until the end, or until stop says so; 0 or the errno value.
template <typename Chunk>
int ReadAll(HANDLE h, Chunk chunk) {
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(h, buffer, sizeof buffer, &n, nullptr)) return win32::LastErrno();
    if (n == 0) return 0;
    if (!chunk(std::string_view(buffer, n))) return 0;
  }
}

}  // namespace

bool ReadRegularFile(const std::string& path, size_t maxSize, std::string* bytes, int stopByte) {
  bytes->clear();
  OwnedHandle file(OpenForReading(path));
  LARGE_INTEGER size{};
  if (!file.ok() || CheckRegular(file.h, &size) != 0 ||
      static_cast<unsigned long long>(size.QuadPart) > maxSize)
    return false;
  bool tooLarge = false;
  const int error = ReadAll(file.h, [&](std::string_view chunk) {
    const size_t stop =
        stopByte < 0 ? std::string_view::npos : chunk.find(static_cast<char>(stopByte));
    bytes->append(chunk.substr(0, stop));
    if (stop != std::string_view::npos) return false;
    tooLarge = bytes->size() > maxSize;  // it grows while it is read
    return !tooLarge;
  });
  return error == 0 && !tooLarge;
}

int ReadWholeFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  OwnedHandle file(OpenForReading(path));
  if (!file.ok()) return win32::LastErrno();
  LARGE_INTEGER size{};
  if (const int error = CheckRegular(file.h, &size)) return error;
  return ReadAll(file.h, [&](std::string_view chunk) {
    bytes->append(chunk);
    return true;
  });
}

std::vector<std::string> RegularFilesStartingWith(const std::string& dir,
                                                  const std::string& prefix) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((Wide(dir) + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) continue;
    const std::string name = win32::Utf8(found.cFileName);
    if (name.rfind(prefix, 0) == 0) names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::tm LocalTime(std::time_t t) {
  std::tm local{};
  localtime_s(&local, &t);
  return local;
}

}  // namespace kelvora::platform
