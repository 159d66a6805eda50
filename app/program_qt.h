// SPDX-License-Identifier: MIT
// The program's main block: the application object, the GUI hooks and the help key, the
// main window and then the dialogs, the termination signals, the message loop. The
// program calls it from main; a test build of the program calls it too and adds its own
// controls to the window once it is shown.
#pragma once

#include <functional>

namespace kelvora::app {

class TfrmMain;

// Runs the program until its main window has closed; returns the exit code. shown is
// called once the main window is up, before the message loop runs.
int RunKelvora(int& argc, char** argv, const std::function<void(TfrmMain&)>& shown = {});

}  // namespace kelvora::app
