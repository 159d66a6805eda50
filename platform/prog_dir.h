// SPDX-License-Identifier: MIT
// Where the program keeps its settings file: its own folder, as it always has, or the
// per-user configuration folder when the program is installed or its folder cannot be
// written, much as the older platform redirected such writes to a per-user store.
#pragma once

#include <string>

namespace kelvora::platform {

// Folder of the running program file, with a trailing '/' (Windows paths too: the system
// takes '/' as well as '\\'); empty if it cannot be found.
std::string ProgramDirectory();

// $XDG_CONFIG_HOME/kelvora/ (an absolute $XDG_CONFIG_HOME only), else ~/.config/kelvora/;
// on Windows %APPDATA%/kelvora/; with a trailing '/'. Not created here.
std::string UserConfigDirectory();

// True for a folder this process may create files in.
bool IsWritableDirectory(const std::string& dir);

// Creates dir with the folders above it where they are missing, private to the user
// where the system knows such a thing. Nothing happens where it cannot be created.
void CreateDirectories(const std::string& dir);

// True when programDir may hold the user's files: it can be written and is not the bin/
// of an installed program (one with share/kelvora beside it). An installed program's
// folder belongs to the system even for root, who may write anywhere (sudo kelvora, say,
// for a user not yet in the dialout group).
bool ProgramFolderTakesUserFiles(const std::string& programDir);

// Where the program keeps its files, one rule for every program of the system.
struct ProgramFolders {
  // ProgDir: the program folder when it may hold the user's files, else the per-user
  // folder. The settings file is written here; script dialogs start here. Ends with '/'.
  std::string progDir;
  // The program folder when progDir is the per-user folder, else empty: its settings
  // file is read for as long as there is none in progDir (an installed program's own
  // settings until the user's first close).
  std::string fallbackDir;
};

// The rule on its own: programDir and whether it may hold the user's files. Creates the
// per-user folder (with its parents) when it is chosen.
ProgramFolders ChooseProgramFolders(const std::string& programDir, bool takesUserFiles);
// ChooseProgramFolders(programDir, ProgramFolderTakesUserFiles(programDir)).
ProgramFolders ProgramFoldersFor(const std::string& programDir);
// The rule for the running program: ProgramFoldersFor(ProgramDirectory()).
ProgramFolders CurrentProgramFolders();

}  // namespace kelvora::platform
