#include "app/kelvora_application_qt.h"

#include <exception>

#include "app/frm_main.h"

namespace kelvora::app {

QIcon ProgramIcon() {
  QIcon icon;
  for (const char* size : {"32", "48", "256"})
    icon.addFile(QStringLiteral(":/icons/kelvora-%1.png").arg(QLatin1String(size)));
  return icon;
}

KelvoraApplication::KelvoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Kelvora"));
  // Every window without an icon of its own shows the program's; the desktop entry's
  // name lets the desktop match the running program to its entry and icon.
  setWindowIcon(ProgramIcon());
  setDesktopFileName(QStringLiteral("kelvora"));
}

bool KelvoraApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowTopLevelError(QString::fromUtf8(error.what()));
  } catch (...) {
    ShowTopLevelError(QStringLiteral("Unbekannter Fehler"));
  }
  return false;
}

}  // namespace kelvora::app
