// A fake clock and fake GUI hooks for tests of the window-free core.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/clock.h"
#include "platform/gui_hooks.h"

namespace kelvora::testing {

// Virtual milliseconds; each Sleep advances them one at a time and runs onTick.
class FakeClock final : public platform::Clock {
 public:
  void Sleep(uint32_t ms) override {
    ++sleeps;
    sleptMs.push_back(ms);
    for (uint32_t i = 0; i < ms; ++i) {
      ++now;
      if (onTick) onTick(now);
    }
  }
  uint32_t TickCount() override { return static_cast<uint32_t>(now); }
  uint64_t now = 5000;
  int sleeps = 0;
  std::vector<uint32_t> sleptMs;
  std::function<void(uint64_t)> onTick;
};

class FakeHooks final : public platform::GuiHooks {
 public:
  void ProcessMessages() override {
    ++messagePumps;
    if (onMessages) onMessages();
  }
  bool EscPressed() override {
    ++escQueries;
    const bool r = escAnswer;
    return r;
  }
  bool ShowPanel(access::TBrelFace& face, bool modal, int left, int top) override {
    ++panels;
    lastFace = &face;
    lastModal = modal;
    lastLeft = left;
    lastTop = top;
    if (onPanel) onPanel();
    return panelResult;
  }
  int messagePumps = 0;
  int escQueries = 0;
  bool escAnswer = false;
  int panels = 0;
  bool panelResult = true;
  access::TBrelFace* lastFace = nullptr;
  bool lastModal = false;
  int lastLeft = 0, lastTop = 0;
  std::function<void()> onMessages;
  std::function<void()> onPanel;
};

}  // namespace kelvora::testing
