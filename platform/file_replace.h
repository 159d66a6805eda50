// SPDX-License-Identifier: MIT
// Replacing a file the user owns without ever leaving it half-written.
#pragma once

#include <string>
#include <string_view>

namespace kelvora::platform {

// Writes bytes to a temporary file in the same folder, flushes it to disk and renames
// it over path, so that path holds either its old or its new contents, never a part.
// A symbolic link stays a link and its target gets the new contents; an existing file
// keeps its mode, its owner where this process may give it away, and its group where
// this process belongs to that group (a file shared through a group stays shared). A
// file without write permission is refused, even for a user who could override that,
// as it would be by an in-place write. Returns 0 on success, else the errno of the
// first step that failed; on failure the old file is untouched and no temporary file
// is left.
int ReplaceFile(const std::string& path, std::string_view bytes);

// Creates path with bytes the same way (temporary file, flushed, then linked into
// place), but never over anything: EEXIST when path already exists.
int CreateNewFile(const std::string& path, std::string_view bytes);

}  // namespace kelvora::platform
