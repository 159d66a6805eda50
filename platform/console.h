// SPDX-License-Identifier: MIT
// The console a program without windows runs in (kelvora-play): its text, the requests to
// stop it from outside (Ctrl+C; on Linux also SIGTERM and the hang-up of a closing
// terminal, on Windows Ctrl+Break and the closing of the console window), and the Esc key.
#pragma once

#include <string>
#include <vector>

namespace kelvora::platform {

// The program's arguments as UTF-8 (Windows hands them over in its own code page).
std::vector<std::string> ConsoleArguments(int argc, char** argv);

// Makes the console show the program's UTF-8 text, and starts watching for requests to
// stop: the first is kept for StopRequest(), a second one ends the process at once,
// should the first ever hang.
void WatchStopRequests();

// The request made, by its signal's number (Ctrl+C 2, a closing terminal or console
// window 1, SIGTERM 15; the program ends with 128 + it); 0 while there is none.
int StopRequest();

// The program has done what a request asks for (everything off, the interface closed)
// and ends now. A closing console window waits for this before the system ends the
// process; anything else does not.
void StopRequestHandled();

// True when Esc is down now or was pressed since the previous call, which forgets that
// press. Where no program may ask for keys it does not receive (a Linux terminal), never.
bool EscKeyPressed();

}  // namespace kelvora::platform
