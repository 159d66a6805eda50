// SPDX-License-Identifier: MIT
// kelvora-sim's window, as the simulator sees it. Qt wants its event loop on the main
// thread, so with a window the simulator's own loop (keys, status line, the program it
// started) runs on a thread of its own; the box is served from its thread as before and
// never waits for the window. No Qt here: the simulator is built with and without it.
#pragma once

#include <functional>
#include <string>

#include "sim/view/view_model.h"

namespace kelvora::sim::view {

// Where kelvora-sim shows the window: it shows it once its box serves and closes it before
// the box goes. Both calls come from the simulator's thread.
class ViewHost {
 public:
  virtual ~ViewHost() = default;
  // Opens the window on the target, which must stay until Close has returned. Returns the
  // environment entry (NAME=VALUE) that tells a program started beside the window where it
  // is, so that the program's window keeps clear of it; "" when there is nothing to tell.
  virtual std::string Show(ViewTarget& target) = 0;
  // Closes the window; once it returns the target is no longer touched.
  virtual void Close() = 0;
};

// Opens the window system and runs body on a thread of its own, with the host to show
// the window through, while the window's event loop runs on this (the main) thread; the
// loop ends when body returns, and *result is what it returned. Returns false, with the
// reason in *why, when no window can be opened here; body has not run then. The
// offscreen platform counts as a display. Defined in kelvora_sim_view, built with Qt.
bool RunWithWindow(const std::function<int(ViewHost*)>& body, int* result, std::string* why);

}  // namespace kelvora::sim::view
