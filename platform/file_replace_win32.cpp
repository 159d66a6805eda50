// SPDX-License-Identifier: MIT
// Replacing a file the user owns on Windows: a temporary file beside it, written and
// flushed to the disk, then moved over the old one in one step. A read-only file is
// refused, as an in-place write would be.
#include <windows.h>
// The platform layer's function of that name, not the system's ANSI-or-Unicode macro.
#undef ReplaceFile

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/file_replace.h"
#include "platform/win32_text.h"

namespace kelvora::platform {
namespace {

using win32::Wide;

// The temporary file beside target, written and flushed; 0 and its name, or the errno
// value of the first step that failed (nothing left behind then).
int WriteTemporary(const std::wstring& target, std::string_view bytes, std::wstring* temp) {
  const size_t slash = target.find_last_of(L"\\/");
  const std::wstring dir = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
  static std::atomic<unsigned> counter{0};
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    *temp = dir + L".kelvora-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(counter.fetch_add(1)) + L".tmp";
    h = CreateFileW(temp->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (h == INVALID_HANDLE_VALUE) return win32::LastErrno();
  int failure = 0;
  while (failure == 0 && !bytes.empty()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
    if (!WriteFile(h, bytes.data(), chunk, &n, nullptr) || n == 0) failure = win32::LastErrno();
    bytes.remove_prefix(n);
  }
  if (failure == 0 && !FlushFileBuffers(h)) failure = win32::LastErrno();
  if (!CloseHandle(h) && failure == 0) failure = win32::LastErrno();
  if (failure != 0) DeleteFileW(temp->c_str());
  return failure;
}

}  // namespace

int ReplaceFile(const std::string& path, std::string_view bytes) {
  const std::wstring target = Wide(path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EISDIR;
    if (attributes & FILE_ATTRIBUTE_READONLY) return EACCES;
  }
  std::wstring temp;
  if (const int failure = WriteTemporary(target, bytes, &temp)) return failure;
  if (!MoveFileExW(temp.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const int failure = win32::LastErrno();
    DeleteFileW(temp.c_str());
    return failure;
  }
  return 0;
}

int CreateNewFile(const std::string& path, std::string_view bytes) {
  const std::wstring target = Wide(path);
  if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) return EEXIST;
  std::wstring temp;
  if (const int failure = WriteTemporary(target, bytes, &temp)) return failure;
  // Without MOVEFILE_REPLACE_EXISTING the move refuses a name that appeared meanwhile.
  if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const int failure = win32::LastErrno();
    DeleteFileW(temp.c_str());
    return failure;
  }
  return 0;
}

}  // namespace kelvora::platform
