// SPDX-License-Identifier: MIT
// Saves environment variables and restores them, or their absence, when it goes, so a
// test may change them freely.
#pragma once

#include <stdlib.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelvora::testing {

class ScopedEnv {
 public:
  ScopedEnv(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      const char* old = ::getenv(name);
      saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
  }
  ~ScopedEnv() {
    for (const auto& [name, value] : saved_)
      value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  // Sets name to value, or unsets it for nullptr.
  static void Set(const char* name, const char* value) {
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace kelvora::testing
