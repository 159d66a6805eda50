// SPDX-License-Identifier: MIT
// What the main window's files share, and nothing else needs.
#pragma once

#include <QPointer>

#include "app/frm_main.h"

namespace kelvora::app {

// The window whose rule every message box and file dialog opens under.
extern QPointer<TfrmMain> gWindow;

}  // namespace kelvora::app
