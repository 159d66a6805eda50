// Where the program keeps its settings file: its own folder, as it always has, or the
// per-user configuration folder when the program folder cannot be written (an installed
// program), much as the older platform redirected such writes to a per-user store.
#pragma once

#include <string>

namespace kelvora::platform {

// Folder of the running program file, with a trailing '/'; empty if it cannot be found.
std::string ProgramDirectory();

// $XDG_CONFIG_HOME/kelvora/ (an absolute $XDG_CONFIG_HOME only), else ~/.config/kelvora/;
// with a trailing '/'. Not created here.
std::string UserConfigDirectory();

// programDir when it is a folder this process may write to; otherwise the per-user folder,
// created (with its parents) if needed. Always ends with '/'.
std::string ChooseProgDir(const std::string& programDir);

// ChooseProgDir(ProgramDirectory()).
std::string ProgDir();

}  // namespace kelvora::platform
