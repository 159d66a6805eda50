// SPDX-License-Identifier: MIT
// The few things the window-free core needs from the GUI: let pending messages run,
// test the Esc key, and show the interface panel. The Qt program installs its hooks at
// start; tests install their own. Without hooks, messages are a no-op and Esc is never
// pressed.
#pragma once

#include <cstdint>

namespace kelvora::access {
class TBrelFace;
}

namespace kelvora::platform {

class GuiHooks {
 public:
  virtual ~GuiHooks() = default;
  // Runs the window messages that are waiting, then returns.
  virtual void ProcessMessages() {}
  // True when Esc is down now or was pressed since the previous call (which clears that).
  virtual bool EscPressed() { return false; }
  // Forgets a press made before now; a key still held down keeps counting as down.
  virtual void ForgetEscPress() {}
  // Creates and shows an interface panel for face at (left, top); modal waits until it
  // closes. Returns false when no panel could be shown.
  virtual bool ShowPanel(access::TBrelFace& /*face*/, bool /*modal*/, int /*left*/, int /*top*/) {
    return false;
  }
};

GuiHooks& CurrentGuiHooks();
// nullptr restores the no-op hooks.
void SetGuiHooks(GuiHooks* hooks);

}  // namespace kelvora::platform
