// SPDX-License-Identifier: MIT
#include "app/kelvora_application_qt.h"

#include <exception>

#include "app/frm_main.h"
#include "platform/program_icon_qt.h"

namespace kelvora::app {

KelvoraApplication::KelvoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Kelvora"));
  // Every window without an icon of its own shows the program's; the desktop entry's
  // name lets the desktop match the running program to its entry and icon.
  setWindowIcon(platform::ProgramIcon());
  setDesktopFileName(QStringLiteral("org.kelvora.Kelvora"));
}

bool KelvoraApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowTopLevelError(error);
  } catch (...) {
    ShowTopLevelError(QCoreApplication::translate("Program", "Unbekannter Fehler"));
  }
  return false;
}

}  // namespace kelvora::app
