// SPDX-License-Identifier: MIT
// A window-free text (user_text.h) in the language the program speaks: the source and
// every value that names a source text of its own are looked up in the installed
// translations, then the values are filled in.
#pragma once

#include <QString>
#include <exception>

#include "platform/user_text.h"

namespace kelvora::platform {

QString Translated(const UserText& text);
// What an error says: a TextError's text translated, any other error's what() as it is.
QString ErrorText(const std::exception& error);

}  // namespace kelvora::platform
