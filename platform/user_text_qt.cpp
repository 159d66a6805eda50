// SPDX-License-Identifier: MIT
#include "platform/user_text_qt.h"

#include <QCoreApplication>

namespace kelvora::platform {

QString Translated(const UserText& text) {
  std::vector<std::string> values;
  values.reserve(text.args.size());
  for (const UserText::Arg& arg : text.args) {
    values.push_back(
        arg.context == nullptr
            ? arg.text
            : QCoreApplication::translate(arg.context, arg.text.c_str()).toStdString());
  }
  const QString pattern = QCoreApplication::translate(text.id.context, text.id.source);
  return QString::fromStdString(FillIn(pattern.toStdString(), values));
}

QString ErrorText(const std::exception& error) {
  if (const auto* text = dynamic_cast<const TextError*>(&error)) return Translated(text->Text());
  return QString::fromUtf8(error.what());
}

}  // namespace kelvora::platform
