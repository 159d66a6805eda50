// SPDX-License-Identifier: MIT
// A text for the user, made where there is no window (the script core, the robot's fault
// report, the settings, a port's problem): its German source, which is also the key its
// translations are found by, and the values for its %1, %2, ... The windows show it in
// the user's language (user_text_qt.h); a program without windows, as kelvora-play,
// shows the German text.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora::platform {

// Where a source text belongs in the translation catalogue, and the text itself.
struct TextId {
  const char* context;
  const char* source;  // German, UTF-8, with %1 ... %9 for the values
};

// Marks a text for the catalogue: the translation tools read KELVORA_TEXT as they read
// QT_TRANSLATE_NOOP (the build passes them the alias), so context and source must be
// string literals.
#define KELVORA_TEXT(context, source) (::kelvora::platform::TextId{context, source})

struct UserText {
  // A value for one %n. With a context, the value is itself a source text of that
  // context (an axis name, say), which the windows translate too.
  struct Arg {
    std::string text;
    const char* context = nullptr;
  };
  TextId id;
  std::vector<Arg> args = {};

  // The German text with the values filled in.
  std::string German() const;
};

// pattern with every %1 ... %9 replaced by the value of that number, in one pass: a %n
// inside a value stays as it is, and a %n without a value too.
std::string FillIn(std::string_view pattern, const std::vector<std::string>& values);

// An error whose what() is the German text, and which keeps the text for the windows.
class TextError : public std::runtime_error {
 public:
  explicit TextError(UserText text);
  const UserText& Text() const { return text_; }

 private:
  UserText text_;
};

}  // namespace kelvora::platform
