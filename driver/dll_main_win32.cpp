// SPDX-License-Identifier: MIT
// The DLL's entry point: its detach notification closes the record the program left
// open, through the saved copy of the one opened last.
#include <windows.h>

#include "driver/connections.h"
#include "driver/os/win32_os.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH) {
    // A non-null reserved value: the process is ending, and Windows has ended its other
    // threads already, the timer's among them.
    if (reserved != nullptr) kelvora::drvos::NoteProcessEnding();
    kelvora::driver::ProcessDetach();
  }
  return TRUE;
}
