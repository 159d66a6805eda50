// SPDX-License-Identifier: MIT
// kelvora-sim's keys: one table says what each key does and what --help and the ? key
// show for it.
#pragma once

#include <string>

namespace kelvora::sim::tool {

class Simulator;

// What a key may do besides working the simulator.
class KeyConsole {
 public:
  virtual ~KeyConsole() = default;
  virtual Simulator& Sim() = 0;
  virtual void Print(const std::string& line) = 0;
  virtual void Quit() = 0;
};

// The key list as --help ends and as the ? key prints it, from its heading "Keys" on.
std::string KeysHelp();

// Reads keys one by one; a key that takes a second one (e and an axis) waits for it.
class KeyReader {
 public:
  void Press(char key, KeyConsole& console);

 private:
  char pending_ = 0;
};

}  // namespace kelvora::sim::tool
