// SPDX-License-Identifier: MIT
#include "settings/frm_dialog_common.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QValidator>

#include "platform/profile.h"

namespace kelvora::settings {

namespace {

ErrorBoxHook& Hook() {
  static ErrorBoxHook hook;
  return hook;
}

}  // namespace

// Refuses an edit that would make the text longer than the typing limit. Text set by the
// program is not validated, so longer stored values stay whole.
class TypedLengthValidator : public QValidator {
 public:
  TypedLengthValidator(int max, QObject* parent) : QValidator(parent), max_(max) {}
  State validate(QString& input, int&) const override {
    input = SingleLineText(input);
    return input.size() > max_ ? Invalid : Acceptable;
  }
  void SetMax(int max) { max_ = max; }

 private:
  int max_;
};

QString SingleLineText(QString text) {
  for (QChar& c : text) {
    const char16_t u = c.unicode();
    if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029) c = QLatin1Char(' ');
  }
  // What the settings file (code page 1252) cannot hold shows as the '?' it will become.
  const std::string stored = platform::Utf8ToCp1252(text.toStdString());
  return QString::fromStdString(platform::Cp1252ToUtf8(stored));
}

void ShowErrorBox(QWidget* parent, const QString& text) {
  if (Hook()) {
    Hook()(parent, text);
    return;
  }
  // The program's own words for error boxes, as its other boxes use them.
  QMessageBox box(QMessageBox::Critical, QCoreApplication::translate("Prompts", "Fehler"), text,
                  QMessageBox::NoButton, parent);
  box.addButton(QCoreApplication::translate("Prompts", "OK"), QMessageBox::AcceptRole);
  box.exec();
}

ErrorBoxHook SetErrorBoxHook(ErrorBoxHook hook) {
  ErrorBoxHook old = std::move(Hook());
  Hook() = std::move(hook);
  return old;
}

bool DialogStrToInt(const QString& text, int32_t& value) {
  const std::string s = text.toStdString();
  // The settings file also takes "0x"; the dialogs take only "$".
  size_t i = s.find_first_not_of(' ');
  if (i != std::string::npos && (s[i] == '+' || s[i] == '-')) ++i;
  if (i != std::string::npos && i + 1 < s.size() && s[i] == '0' &&
      (s[i + 1] == 'x' || s[i + 1] == 'X'))
    return false;
  return platform::TryStrToInt(s, value, true);
}

TLimitedEdit::TLimitedEdit(QWidget* parent)
    : QLineEdit(parent), maxTyped_(32767), validator_(new TypedLengthValidator(maxTyped_, this)) {
  setValidator(validator_);
}

void TLimitedEdit::SetMaxTyped(int maxTyped) {
  maxTyped_ = maxTyped;
  validator_->SetMax(maxTyped);
}

}  // namespace kelvora::settings
