// SPDX-License-Identifier: MIT
// The program's folders as Windows knows them: the module's own file name, the user's
// roaming application data (%APPDATA%), and a trial file for whether a folder can be
// written (its access list decides, which no attribute tells).
#include <windows.h>
// needs the types of windows.h
#include <shlobj.h>

#include <string>

#include "platform/prog_dir.h"
#include "platform/win32_text.h"

namespace kelvora::platform {
namespace {

using win32::Utf8;
using win32::Wide;

std::string Slashed(std::wstring path) {
  for (wchar_t& c : path) {
    if (c == L'\\') c = L'/';
  }
  std::string dir = Utf8(path);
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace

std::string ProgramDirectory() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      const size_t slash = buffer.find_last_of(L"\\/");
      return slash == std::wstring::npos ? std::string() : Slashed(buffer.substr(0, slash));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string UserConfigDirectory() {
  std::wstring base;
  PWSTR known = nullptr;
  if (SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &known) == S_OK) base = known;
  CoTaskMemFree(known);
  if (base.empty()) {
    const DWORD n = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
    if (n > 0) {
      base.resize(n);
      base.resize(GetEnvironmentVariableW(L"APPDATA", base.data(), n));
    }
  }
  return Slashed(base) + "kelvora/";
}

bool IsWritableDirectory(const std::string& dir) {
  if (dir.empty()) return false;
  const DWORD attributes = GetFileAttributesW(Wide(dir).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return false;
  // Program Files refuses an ordinary user; a copied folder on the desktop does not.
  const std::wstring trial =
      Wide(dir) + L"/.kelvora-write-test-" + std::to_wstring(GetCurrentProcessId());
  const HANDLE h = CreateFileW(trial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

void CreateDirectories(const std::string& dir) {
  const std::wstring path = Wide(dir);
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos == path.size() || path[pos] == L'/' || path[pos] == L'\\') {
      const std::wstring part = path.substr(0, pos);
      if (part.size() == 2 && part[1] == L':') continue;  // the drive itself
      CreateDirectoryW(part.c_str(), nullptr);
    }
  }
}

}  // namespace kelvora::platform
