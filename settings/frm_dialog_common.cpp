#include "settings/frm_dialog_common.h"

#include <QLabel>
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

// Refuses an edit that would make the text longer than the typing limit. Text set by the
// program is not validated, so longer stored values stay whole.
class TypedLengthValidator : public QValidator {
 public:
  TypedLengthValidator(int max, QObject* parent) : QValidator(parent), max_(max) {}
  State validate(QString& input, int&) const override {
    input = SingleLineText(input);
    return input.size() > max_ ? Invalid : Acceptable;
  }

 private:
  int max_;
};

}  // namespace

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
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Fehler"), text, QMessageBox::NoButton,
                  parent);
  box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
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

TLimitedEdit::TLimitedEdit(int maxTyped, QWidget* parent) : QLineEdit(parent), maxTyped_(maxTyped) {
  setValidator(new TypedLengthValidator(maxTyped, this));
}

QFont DialogFont() {
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(12);
  return f;
}

QLabel* MakeDialogTitle(QWidget* parent, const QString& caption, int left, int top, int width) {
  auto* l = new QLabel(caption, parent);
  l->setObjectName(QStringLiteral("lblTitel"));
  QFont f = DialogFont();
  f.setPixelSize(21);
  l->setFont(f);
  l->setAlignment(Qt::AlignCenter);
  QPalette pal = l->palette();
  pal.setColor(QPalette::Window, QColor(224, 224, 224));
  l->setPalette(pal);
  l->setAutoFillBackground(true);
  l->setGeometry(left, top, width, 30);
  return l;
}

}  // namespace kelvora::settings
