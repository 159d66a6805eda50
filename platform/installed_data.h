// SPDX-License-Identifier: MIT
// The data an installed program brings along (share/kelvora beside its bin/), and where
// "Öffnen" starts: in the user's folder, except on first use, when that folder holds no
// script of the model yet and the installed demo script is offered instead.
#pragma once

#include <string>

namespace kelvora::platform {

// <program folder>/../share/kelvora/ of an installed program, with a trailing '/'; empty
// when there is no such folder (the program runs from its build or program folder).
std::string InstalledDataDirectory();
// The same for the program folder programDir (empty: none).
std::string InstalledDataDirectory(const std::string& programDir);

// True when dir holds a file whose name ends in "." + ext, compared without regard to
// case ("RB3" finds DEMO.RB3 and demo.rb3).
bool HasFileWithExtension(const std::string& dir, const std::string& ext);

// progDir, unless it holds no script of extension ext while dataDir (not empty) does.
std::string OpenDialogFolder(const std::string& progDir, const std::string& dataDir,
                             const std::string& ext);

}  // namespace kelvora::platform
