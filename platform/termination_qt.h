// SPDX-License-Identifier: MIT
// Being told to end from outside the program (SIGINT, SIGTERM and SIGHUP on Linux: Ctrl+C,
// kill, a closing terminal), delivered on the window thread through its event loop, so
// that whatever answers it runs as an ordinary handler, never inside a signal handler.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace kelvora::platform {

class TerminationRequests : public QObject {
  Q_OBJECT
 public:
  // Takes over the requests for the process; the first one made holds them, and one made
  // while another lives takes nothing (Active() false).
  explicit TerminationRequests(QObject* parent = nullptr);
  // Gives the requests back to the system's default (a later Ctrl+C ends the process).
  ~TerminationRequests() override;
  bool Active() const { return notifier_ != nullptr; }

 signals:
  // One per request, with its number (the signal's; the program ends with 128 + it).
  void Requested(int signal);

 private:
  void OnWake();
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace kelvora::platform
