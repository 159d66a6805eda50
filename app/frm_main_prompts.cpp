// SPDX-License-Identifier: MIT
// The main window's message boxes and file dialogs, the seam they open through, and the
// handler that shows a command's error.
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <stdexcept>

#include "app/frm_main_private.h"
#include "platform/user_text_qt.h"

namespace kelvora::app {

QPointer<TfrmMain> gWindow;

namespace {

class QtPrompts final : public Prompts {
 public:
  void Error(QWidget* parent, const QString& title, const QString& text) override {
    Box(parent, QMessageBox::Critical, title, text);
  }
  void Info(QWidget* parent, const QString& title, const QString& text) override {
    Box(parent, QMessageBox::Information, title, text);
  }
  bool Question(QWidget* parent, const QString& title, const QString& text) override {
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::NoButton, parent);
    QPushButton* ja =
        box.addButton(QCoreApplication::translate("Prompts", "&Ja"), QMessageBox::YesRole);
    box.addButton(QCoreApplication::translate("Prompts", "&Nein"), QMessageBox::NoRole);
    box.setDefaultButton(ja);
    box.exec();
    return box.clickedButton() == ja;
  }
  QString OpenFile(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                   const QString& folder) override {
    return FileDialog(parent, filter, defaultSuffix, folder, QFileDialog::AcceptOpen);
  }
  QString SaveFile(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                   const QString& folder) override {
    return FileDialog(parent, filter, defaultSuffix, folder, QFileDialog::AcceptSave);
  }

 private:
  static void Box(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                  const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
    box.addButton(QCoreApplication::translate("Prompts", "OK"), QMessageBox::AcceptRole);
    box.exec();
  }
  static QString FileDialog(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                            const QString& folder, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, QString(), folder, filter);
    dialog.setAcceptMode(mode);
    dialog.setDefaultSuffix(defaultSuffix);
    if (mode == QFileDialog::AcceptOpen) {
      dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
      // An existing script is replaced without a question, as the program always did.
      dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
  }
};

QtPrompts gQtPrompts;
Prompts* gPrompts = &gQtPrompts;

void OpenModal(const std::function<void()>& open) {
  if (gWindow) {
    gWindow->RunModal(open);
  } else {
    open();
  }
}

// Whatever prompts are installed, they open through the window's modal seam.
class GuardedPrompts final : public Prompts {
 public:
  void Error(QWidget* parent, const QString& title, const QString& text) override {
    OpenModal([&] { gPrompts->Error(parent, title, text); });
  }
  void Info(QWidget* parent, const QString& title, const QString& text) override {
    OpenModal([&] { gPrompts->Info(parent, title, text); });
  }
  bool Question(QWidget* parent, const QString& title, const QString& text) override {
    bool yes = false;
    OpenModal([&] { yes = gPrompts->Question(parent, title, text); });
    return yes;
  }
  QString OpenFile(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                   const QString& folder) override {
    QString path;
    OpenModal([&] { path = gPrompts->OpenFile(parent, filter, defaultSuffix, folder); });
    return path;
  }
  QString SaveFile(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                   const QString& folder) override {
    QString path;
    OpenModal([&] { path = gPrompts->SaveFile(parent, filter, defaultSuffix, folder); });
    return path;
  }
};

GuardedPrompts gGuardedPrompts;

}  // namespace

Prompts& CurrentPrompts() {
  return gGuardedPrompts;
}
void SetPrompts(Prompts* prompts) {
  gPrompts = prompts ? prompts : &gQtPrompts;
}

QString ErrorTitle() {
  return QCoreApplication::translate("Prompts", "Fehler");
}

QString InformationTitle() {
  return QCoreApplication::translate("Prompts", "Information");
}

void ShowTopLevelError(const QString& text) {
  CurrentPrompts().Error(QApplication::activeWindow(), ApplicationTitle(), text + QLatin1Char('.'));
}

void ShowTopLevelError(const std::exception& error) {
  ShowTopLevelError(platform::ErrorText(error));
}

void RunCommand(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& error) {
    ShowTopLevelError(error);
  }
}

}  // namespace kelvora::app
