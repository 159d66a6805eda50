// SPDX-License-Identifier: MIT
#include "platform/user_text.h"

#include <utility>

namespace kelvora::platform {

std::string FillIn(std::string_view pattern, const std::vector<std::string>& values) {
  std::string out;
  out.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      const size_t n = static_cast<size_t>(pattern[i + 1] - '1');
      if (n < values.size()) {
        out += values[n];
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

std::string UserText::German() const {
  std::vector<std::string> values;
  values.reserve(args.size());
  for (const Arg& arg : args) values.push_back(arg.text);
  return FillIn(id.source, values);
}

TextError::TextError(UserText text) : std::runtime_error(text.German()), text_(std::move(text)) {}

}  // namespace kelvora::platform
