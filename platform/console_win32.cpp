// SPDX-License-Identifier: MIT
// The console on Windows: Ctrl+C and Ctrl+Break stop the program (as SIGINT does on
// Linux), closing the console window does too (as the hang-up of a closing terminal);
// the Esc test asks for the key's state, which Windows answers for the whole system.
#include <windows.h>
// needs the types of windows.h
#include <shellapi.h>

#include <atomic>

#include "platform/console.h"
#include "platform/win32_text.h"

namespace kelvora::platform {
namespace {

constexpr int kInterrupt = 2;  // SIGINT
constexpr int kHangUp = 1;     // SIGHUP

std::atomic<int> gRequest{0};
HANDLE gHandled = nullptr;

BOOL WINAPI OnControl(DWORD type) {
  const int request =
      type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT ? kInterrupt
      : type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT
          ? kHangUp
          : 0;
  if (request == 0) return FALSE;
  int none = 0;
  if (!gRequest.compare_exchange_strong(none, request)) {
    // The second request: the system's own handler ends the process at once.
    return FALSE;
  }
  if (request == kHangUp) {
    // The process ends when this returns: the motors must be off and the interface
    // closed by then. Windows gives a closing console about five seconds.
    WaitForSingleObject(gHandled, 4500);
  }
  return TRUE;
}

}  // namespace

std::vector<std::string> ConsoleArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(win32::Utf8(wide[i]));
  LocalFree(wide);
  return args;
}

void WatchStopRequests() {
  SetConsoleOutputCP(CP_UTF8);
  gHandled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnControl, TRUE);
}

int StopRequest() {
  return gRequest.load();
}

void StopRequestHandled() {
  if (gHandled != nullptr) SetEvent(gHandled);
}

bool EscKeyPressed() {
  // Bit 15: down now; bit 0: pressed since the previous query.
  return (GetAsyncKeyState(VK_ESCAPE) & 0x8001) != 0;
}

}  // namespace kelvora::platform
