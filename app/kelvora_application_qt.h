// SPDX-License-Identifier: MIT
// The program's application object. Its notify is the one top-level handler for errors
// that escape an event: the error is shown (application title, error icon, "OK", the
// text and a full stop) and the program goes on with its next event.
#pragma once

#include <QApplication>

namespace kelvora::app {

class KelvoraApplication final : public QApplication {
 public:
  KelvoraApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace kelvora::app
