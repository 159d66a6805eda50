// The main window's commands that open the model dialog, the interface dialog and the
// about box.
#include "app/frm_main.h"

namespace kelvora::app {

void TfrmMain::mnuModellClick() {}
void TfrmMain::mnuSchnittClick() {}
void TfrmMain::mnuAboutClick() {}

}  // namespace kelvora::app
