// The program's application object. Its notify is the one top-level handler for errors
// that escape an event: the error is shown (application title, error icon, "OK", the
// text and a full stop) and the program goes on with its next event.
#pragma once

#include <QApplication>
#include <QIcon>

namespace kelvora::app {

// The program's icon (a robot arm) at 32, 48 and 256 pixels, from the program's resources.
QIcon ProgramIcon();

class KelvoraApplication final : public QApplication {
 public:
  KelvoraApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace kelvora::app
