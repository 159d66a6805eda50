// SPDX-License-Identifier: MIT
#include "app/program_qt.h"

#include <memory>

#include "app/command_line_qt.h"
#include "app/frm_main.h"
#include "app/kelvora_application_qt.h"
#include "app/language_qt.h"
#include "platform/gui_hooks_qt.h"
#include "platform/help_qt.h"

namespace kelvora::app {

int RunKelvora(int& argc, char** argv, const std::function<void(TfrmMain&)>& shown) {
  if (const int code = InfoOptionsExit(argc, argv); code >= 0) return code;
  KelvoraApplication application(argc, argv);
  InstallLanguage();  // chosen with the command line, before the application object
  QString startScript;
  if (const int code = StartScriptArgument(&startScript); code >= 0) return code;
  // Hooks first: the window's creation may already let messages run.
  platform::InstallQtGuiHooks();
  platform::InstallHelpKey();

  int result = 0;
  {
    // The main window first (it becomes the main form and runs FormCreate), then the
    // dialogs, which stay hidden until their menu items are chosen.
    auto frmMain = std::make_unique<TfrmMain>();
    frmMain->CreateDialogs();
    frmMain->InstallSignalHandling();
    frmMain->show();
    OpenStartScript(*frmMain, startScript);
    if (shown) shown(*frmMain);
    result = application.exec();
  }
  delete platform::HelpWindow();
  return result;
}

}  // namespace kelvora::app
