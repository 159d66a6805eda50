// SPDX-License-Identifier: MIT
// The data an installed program brings along, on Windows: a program folder copied as a
// whole has none beside it; an installation with share/kelvora next to its bin/ has.
#include <windows.h>

#include "platform/installed_data.h"
#include "platform/prog_dir.h"
#include "platform/win32_text.h"

#ifndef KELVORA_BIN_TO_DATA
#define KELVORA_BIN_TO_DATA "../share/kelvora"
#endif

namespace kelvora::platform {

std::string InstalledDataDirectory() {
  return InstalledDataDirectory(ProgramDirectory());
}

std::string InstalledDataDirectory(const std::string& programDir) {
  if (programDir.empty()) return {};
  const std::string dir =
      programDir + (programDir.back() == '/' ? "" : "/") + KELVORA_BIN_TO_DATA + "/";
  const DWORD attributes = GetFileAttributesW(win32::Wide(dir).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
             ? dir
             : std::string();
}

bool HasFileWithExtension(const std::string& dir, const std::string& ext) {
  WIN32_FIND_DATAW found;
  // The system compares names without regard to case.
  const HANDLE search = FindFirstFileW(win32::Wide(dir + "*." + ext).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool any = false;
  do {
    // "*.RB3" also finds a name ending in ".RB3x" by its short name: check the long one.
    const std::string name = win32::Utf8(found.cFileName);
    any = name.size() > ext.size() + 1 &&
          lstrcmpiA(name.c_str() + name.size() - ext.size(), ext.c_str()) == 0 &&
          name[name.size() - ext.size() - 1] == '.';
  } while (!any && FindNextFileW(search, &found));
  FindClose(search);
  return any;
}

std::string OpenDialogFolder(const std::string& progDir, const std::string& dataDir,
                             const std::string& ext) {
  if (!dataDir.empty() && !HasFileWithExtension(progDir, ext) && HasFileWithExtension(dataDir, ext))
    return dataDir;
  return progDir;
}

}  // namespace kelvora::platform
