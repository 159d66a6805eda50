// SPDX-License-Identifier: MIT
#include "platform/termination_qt.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace kelvora::platform {
namespace {

// The self-pipe between the signal handler and the window thread.
int gSignalPipe[2] = {-1, -1};

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnTerminationSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  if (gSignalPipe[1] >= 0) {
    ssize_t ignored = write(gSignalPipe[1], &byte, 1);
    (void)ignored;
  }
  errno = saved;
}

}  // namespace

TerminationRequests::TerminationRequests(QObject* parent) : QObject(parent) {
  if (gSignalPipe[0] >= 0) return;
  if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationRequests::OnWake);
  struct sigaction action = {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kSignals) sigaction(signal, &action, nullptr);
}

TerminationRequests::~TerminationRequests() {
  if (notifier_ == nullptr) return;
  // Back to the default dispositions before the pipe goes.
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) sigaction(signal, &action, nullptr);
  delete notifier_;
  notifier_ = nullptr;
  ::close(gSignalPipe[0]);
  ::close(gSignalPipe[1]);
  gSignalPipe[0] = gSignalPipe[1] = -1;
}

void TerminationRequests::OnWake() {
  unsigned char byte = 0;
  if (read(gSignalPipe[0], &byte, 1) == 1) emit Requested(byte);
}

}  // namespace kelvora::platform
