#include "app/kelvora_application_qt.h"

#include <exception>

#include "app/frm_main.h"

namespace kelvora::app {

KelvoraApplication::KelvoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Kelvora"));
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
