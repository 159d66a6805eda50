// SPDX-License-Identifier: MIT
#include "platform/installed_data.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include "platform/prog_dir.h"

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
  struct stat st;
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? dir : std::string();
}

bool HasFileWithExtension(const std::string& dir, const std::string& ext) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return false;
  const std::string suffix = "." + ext;
  bool found = false;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() > suffix.size() &&
        ::strcasecmp(name.c_str() + name.size() - suffix.size(), suffix.c_str()) == 0) {
      found = true;
      break;
    }
  }
  ::closedir(d);
  return found;
}

std::string OpenDialogFolder(const std::string& progDir, const std::string& dataDir,
                             const std::string& ext) {
  if (!dataDir.empty() && !HasFileWithExtension(progDir, ext) && HasFileWithExtension(dataDir, ext))
    return dataDir;
  return progDir;
}

}  // namespace kelvora::platform
