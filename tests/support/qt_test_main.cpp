// SPDX-License-Identifier: MIT
// Test main for GUI tests: the QApplication must exist before any widget, and the
// windows run offscreen unless the caller chose a platform.
#include <QApplication>
#include <cstdlib>

#include <gmock/gmock.h>

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
