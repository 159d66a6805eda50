// SPDX-License-Identifier: MIT
// The rule that picks the program's folders; what it asks of the system (the running
// program's folder, the per-user folder, whether a folder can be written, creating one)
// is in prog_dir_posix.cpp and prog_dir_win32.cpp.
#include "platform/prog_dir.h"

#include "platform/installed_data.h"

namespace kelvora::platform {
namespace {

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace

ProgramFolders ChooseProgramFolders(const std::string& programDir, bool takesUserFiles) {
  if (takesUserFiles) return {WithSlash(programDir), {}};
  std::string user = UserConfigDirectory();
  CreateDirectories(user);
  return {user, programDir.empty() ? std::string() : WithSlash(programDir)};
}

bool ProgramFolderTakesUserFiles(const std::string& programDir) {
  return IsWritableDirectory(programDir) && InstalledDataDirectory(programDir).empty();
}

ProgramFolders ProgramFoldersFor(const std::string& programDir) {
  return ChooseProgramFolders(programDir, ProgramFolderTakesUserFiles(programDir));
}

ProgramFolders CurrentProgramFolders() {
  return ProgramFoldersFor(ProgramDirectory());
}

}  // namespace kelvora::platform
