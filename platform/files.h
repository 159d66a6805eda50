// SPDX-License-Identifier: MIT
// Reading the user's files and folders as the program needs it, without ever waiting on
// something that is no file, and the local time that the names of its files carry.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

namespace kelvora::platform {

// Reads the regular file at path into *bytes, up to its end or up to its first byte
// stopByte (not kept, and nothing after it is read; -1 for none). False, with *bytes
// unspecified, when the file cannot be opened or read, is no regular file (a device, a
// pipe, a folder), or is larger than maxSize bytes, or grows beyond it while it is read.
bool ReadRegularFile(const std::string& path, size_t maxSize, std::string* bytes,
                     int stopByte = -1);

// Reads the whole regular file at path into *bytes. 0 on success, else the errno value of
// what failed: ENOENT when there is no such file, EISDIR for a folder, EINVAL for anything
// else that is no regular file.
int ReadWholeFile(const std::string& path, std::string* bytes);

// The names of the regular files in the folder dir (ending in '/') whose names begin with
// prefix, sorted; none when the folder cannot be read.
std::vector<std::string> RegularFilesStartingWith(const std::string& dir,
                                                  const std::string& prefix);

// The moment t on the local clock (time zone and summer time of this machine).
std::tm LocalTime(std::time_t t);

}  // namespace kelvora::platform
