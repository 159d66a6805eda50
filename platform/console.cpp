// SPDX-License-Identifier: MIT
// The console on POSIX: SIGINT, SIGTERM and SIGHUP are the stop requests.
#include "platform/console.h"

#include <signal.h>

namespace kelvora::platform {
namespace {

volatile sig_atomic_t gSignal = 0;

extern "C" void OnStopSignal(int sig) {
  gSignal = sig;
}

}  // namespace

std::vector<std::string> ConsoleArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void WatchStopRequests() {
  // SA_RESETHAND: the second one ends the program at once.
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sa.sa_flags = SA_RESETHAND;
  sigemptyset(&sa.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &sa, nullptr);
}

int StopRequest() {
  return gSignal;
}

void StopRequestHandled() {}

bool EscKeyPressed() {
  return false;
}

}  // namespace kelvora::platform
