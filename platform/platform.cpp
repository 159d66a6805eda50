#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/gui_hooks.h"

namespace kelvora::platform {
namespace {

class RealClock final : public Clock {
 public:
  void Sleep(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  uint32_t TickCount() override {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
  }
};

RealClock gRealClock;
Clock* gClock = &gRealClock;
GuiHooks gNoHooks;
GuiHooks* gHooks = &gNoHooks;

}  // namespace

Clock& CurrentClock() {
  return *gClock;
}
void SetClock(Clock* clock) {
  gClock = clock ? clock : &gRealClock;
}
GuiHooks& CurrentGuiHooks() {
  return *gHooks;
}
void SetGuiHooks(GuiHooks* hooks) {
  gHooks = hooks ? hooks : &gNoHooks;
}

}  // namespace kelvora::platform
