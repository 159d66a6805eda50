// SPDX-License-Identifier: MIT
// Drives the program from a small command file, for the end-to-end tests that run the
// program under kelvora-sim without a person at the mouse. Built only into the test
// program kelvora-remote, never into kelvora: there a stale variable or a planted file
// would work the robot with nobody at the controls. Off unless the environment variable
// KELVORA_REMOTE names such a file.
//
// One command per line, '#' starts a comment:
//   click NAME          click the button NAME (queued, as a user's click would come)
//   press NAME          press the left mouse button on the shape NAME
//   release NAME [out]  release it (with "out": with the pointer outside the shape)
//   wait-mode N         wait until the window is in mode N
//   sleep MS            wait MS milliseconds
//   report FILE         write the mode, the window's frame, the axis positions and the
//                       motor word to FILE
//   signal N            raise signal N in the program, as a kill from outside would
//   close               close the main window
#pragma once

namespace kelvora::app {

class TfrmMain;

// Starts replaying the file named by KELVORA_REMOTE, if set. Returns false when it is
// set but cannot be read.
bool StartRemoteControl(TfrmMain& window);

}  // namespace kelvora::app
