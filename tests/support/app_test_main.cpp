// SPDX-License-Identifier: MIT
// Test main for tests that need the program's own application class (its error handler
// and start-up), not a plain QApplication; offscreen unless the caller chose a platform.
#include <cstdlib>

#include <gmock/gmock.h>

#include "app/kelvora_application_qt.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  kelvora::app::KelvoraApplication app(argc, argv);
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
