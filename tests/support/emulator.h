// SPDX-License-Identifier: MIT
// How a test starts a program this build made. A build for another processor (a cross
// build, run here under qemu-user) names its emulator in KELVORA_TEST_EMULATOR, and every
// program the tests start goes through it: without binfmt_misc the kernel cannot run the
// target's programs itself, neither for posix_spawn nor for a shell.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace kelvora::testing {

// The emulator's command words, none for a native build.
inline std::vector<std::string> Emulator() {
#ifdef KELVORA_TEST_EMULATOR
  std::istringstream words(KELVORA_TEST_EMULATOR);
  std::vector<std::string> result;
  for (std::string word; words >> word;) result.push_back(word);
  return result;
#else
  return {};
#endif
}

// argv for a built program: the program and its arguments, behind the emulator.
inline std::vector<std::string> BuiltProgramArgv(std::vector<std::string> argv) {
  std::vector<std::string> emulator = Emulator();
  argv.insert(argv.begin(), emulator.begin(), emulator.end());
  return argv;
}

// The start of a shell command that runs the built program at `path` (quoted).
inline std::string BuiltProgramShell(const std::string& path) {
  std::string command;
  for (const std::string& word : Emulator()) command += "'" + word + "' ";
  return command + "'" + path + "'";
}

}  // namespace kelvora::testing
