// SPDX-License-Identifier: MIT
// The virtual robot behind the virtual box on a real pseudo-terminal, moved along with
// the wall clock by a thread of its own: for the end-to-end tests and benchmarks that run
// the real driver against it. Declared in this order, the stepper stops first and the
// robot outlives the box thread that asks it.
#pragma once

#include <chrono>
#include <thread>

#include "sim/robot.h"
#include "tests/driver/pty_box.h"

namespace kelvora::drvtest {

class PtyRobot {
 public:
  // Maps `port` (for example "COM1") to the box for the driver.
  PtyRobot(const sim::RobotOptions& options, const char* port) : robot(options) {
    if (!pty.ok()) return;
    pty.MapAs(port);
    pty.box.SetInputSource([this] { return robot.Inputs(); });
    pty.box.SetMotorListener([this](uint16_t word) { robot.SetMotorWord(word); });
    stepper_ = std::jthread([this](std::stop_token stop) {
      const auto start = std::chrono::steady_clock::now();
      while (!stop.stop_requested()) {
        robot.AdvanceTo(std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }
  bool ok() const { return pty.ok(); }

  sim::Robot robot;
  PtyBox pty;

 private:
  std::jthread stepper_;
};

}  // namespace kelvora::drvtest
