// SPDX-License-Identifier: MIT
// kelvora-remote: the program as users run it, plus the remote control that the
// end-to-end tests drive it with (KELVORA_REMOTE). A test build only.
#include "app/program_qt.h"
#include "tests/support/remote_control_qt.h"

int main(int argc, char** argv) {
  return kelvora::app::RunKelvora(
      argc, argv, [](kelvora::app::TfrmMain& window) { kelvora::app::StartRemoteControl(window); });
}
