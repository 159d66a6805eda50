// SPDX-License-Identifier: MIT
// What the library's own helper thread, the trace writer, needs of the platform beside
// the Os interface. It is not swapped for the virtual layer: the writer runs in real
// time whichever layer drives the ports.
#pragma once

#include <cstdio>

namespace kelvora::drvos {

// On the writer thread as it starts: its name, and a priority below every ordinary
// thread, so that the trace never takes time from the poll.
void TuneTraceWriter();

// Opens the trace file for appending; not inherited by programs the caller starts.
std::FILE* OpenTraceFile(const char* path);

// While the writer runs, the library must stay loaded: on Windows a thread may not be
// waited for inside the library's unload notification, so the writer holds the library
// instead. Nothing to do where the unload can wait (POSIX).
void HoldLibrary(bool hold);

// True once the process has begun to end with the library still loaded and its other
// threads are gone (Windows ends them before the library hears of it): whatever would
// wait for them must not. Always false on POSIX, where the clean-up runs first.
bool ProcessEnding();

}  // namespace kelvora::drvos
