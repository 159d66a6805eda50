// A stand-in for the three driver functions the interface object imports, for tests
// that need no box behind the record.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver/zqBrel20.h"
#include "tests/access/fake_hooks.h"

namespace kelvora::testing {

struct FakeDriver {
  // What zqOpenInterface returns; 0x1FFFF makes it fail and leave the record closed.
  uint32_t openResult = 0;
  std::vector<std::string> openedNames;
  int closeCalls = 0;
  uint32_t motorWordAtClose = 0xDEAD;
  uint64_t closedAtMs = 0;
  int32_t closeResult = 1;
  int setMotorCalls = 0;
};
FakeDriver& Driver();  // reset by FakeEnvironment

// Installs a fresh fake clock and hooks for the lifetime of a test and resets the driver.
class FakeEnvironment {
 public:
  FakeEnvironment() {
    Driver() = FakeDriver{};
    platform::SetClock(&clock);
    platform::SetGuiHooks(&hooks);
  }
  ~FakeEnvironment() {
    platform::SetGuiHooks(nullptr);
    platform::SetClock(nullptr);
  }
  FakeClock clock;
  FakeHooks hooks;
};

}  // namespace kelvora::testing
