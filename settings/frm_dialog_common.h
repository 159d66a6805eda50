// SPDX-License-Identifier: MIT
// Pieces the settings dialogs share: the "Fehler" box behind a replaceable hook, the
// dialogs' integer conversion, and edit fields that limit only what the user types.
#pragma once

#include <QLineEdit>
#include <QString>
#include <cstdint>
#include <functional>

class QWidget;

namespace kelvora::settings {

// Shows text in a message box titled "Fehler" with the error icon and one "OK" button,
// modal over parent. Tests install a hook so that no modal box blocks them.
void ShowErrorBox(QWidget* parent, const QString& text);
using ErrorBoxHook = std::function<void(QWidget* parent, const QString& text)>;
// An empty hook restores the real message box. Returns the hook that was installed.
ErrorBoxHook SetErrorBoxHook(ErrorBoxHook hook);

// The dialogs' number conversion: leading blanks, an optional sign, then decimal digits or
// "$" and hexadecimal digits; nothing may follow. Empty text and values outside the signed
// 32-bit range fail.
bool DialogStrToInt(const QString& text, int32_t& value);

// text with every line break and other control character replaced by a blank (a value of
// the settings file is one line, and a break inside it would end the value there) and
// every character that code page 1252 lacks by '?', as the file will store it.
QString SingleLineText(QString text);

class TypedLengthValidator;

// An edit field whose maxLength limits typing only: text set by the program (for example
// "9999" in a three-character field) is shown in full, as it must survive until "OK".
// Pasted line breaks become blanks. The forms set the limit as the property maxTyped.
class TLimitedEdit : public QLineEdit {
  Q_OBJECT
  Q_PROPERTY(int maxTyped READ MaxTyped WRITE SetMaxTyped)
 public:
  explicit TLimitedEdit(QWidget* parent = nullptr);
  int MaxTyped() const { return maxTyped_; }
  void SetMaxTyped(int maxTyped);

 private:
  int maxTyped_;
  TypedLengthValidator* validator_;
};

}  // namespace kelvora::settings
