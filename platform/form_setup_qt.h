// SPDX-License-Identifier: MIT
// Finishes a window built from its Designer form (.ui): the few design-time settings that
// Designer cannot hold as Qt properties travel as dynamic properties of the controls and
// are applied here, the window first and its controls after it:
//   "pixelSize"  the font's size in pixels (Designer stores point sizes only);
//   "autoSize"   a label takes the size of its text once its font is set.
// "Tag" (which axis, bit or command a control stands for) and "HelpContext" (its page in
// the help) stay properties of the controls and are read where they are used.
#pragma once

class QWidget;

namespace kelvora::platform {

void SetupFormData(QWidget* form);

}  // namespace kelvora::platform
