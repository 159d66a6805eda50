// SPDX-License-Identifier: MIT
// What the robot object knows against where the robot is, and how fast the motion guard
// acts:
//  1. 100 jogs and 100 HALTed moves on the virtual robot with a run-down of 1.5 units
//     after every stop (virtual time): the largest difference between a held position
//     and the true one, over every stop.
//  2. From a control cycle that stops running (the window thread held by something
//     else) to the motor word 0 on the wire: in virtual time, exact to the
//     millisecond; and on the real clock, through the driver's real timer thread and
//     a pseudo-terminal, over repeated freezes.
//
//   guard_bench [freezes on the real clock, default 20]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "access/brel_consts.h"
#include "access/brel_robot.h"
#include "platform/clock.h"
#include "platform/gui_hooks.h"
#include "sim/robot.h"
#include "sim/virtual_robot.h"
#include "tests/support/pty_robot.h"

namespace {

using kelvora::access::kNotGiven;
using kelvora::access::mcMaximum;
using kelvora::access::mcPosition;
using kelvora::access::TBrelRobot;
constexpr int32_t N = kNotGiven;
using namespace std::chrono_literals;

// Hooks that run a function once, at a given message pump of the next move.
struct Hooks final : kelvora::platform::GuiHooks {
  int calls = 0, at = -1;
  std::function<void()> fn;
  void ProcessMessages() override {
    if (++calls == at && fn) fn();
  }
};

double HeldAgainstTrue() {
  kelvora::sim::RobotRigOptions o;
  o.coast = 1.5;
  o.start = {120, 80, 75, 14};
  kelvora::sim::RobotRig rig(o);
  Hooks hooks;
  kelvora::platform::SetGuiHooks(&hooks);
  double worst = 0;
  {
    TBrelRobot robot;
    const int32_t max[4] = {240, 160, 150, 28};
    for (int a = 1; a <= 4; ++a) {
      robot.Axes.SetPos(a, mcMaximum, max[a - 1]);
      robot.Axes.SetPos(a, mcPosition, static_cast<int32_t>(std::lround(rig.Position(a))));
    }
    robot.OpenInterface(rig.Port());
    auto measure = [&] {
      for (int a = 1; a <= 3; ++a) {
        const int32_t held = robot.Axes.GetPos(a, mcPosition);
        if (held != kelvora::access::kNotHomed)
          worst = std::max(worst, std::abs(held - rig.Position(a)));
      }
    };
    for (int i = 0; i < 200; ++i) {
      hooks.calls = 0;
      hooks.at = 5 + (i * 37) % 60;
      hooks.fn = [&robot] { robot.StopFlag = true; };  // release, or HALT
      robot.ClearStopFlag();
      if (i % 2 == 0) {
        robot.JogAxis(1 + (i / 2) % 3, (i / 6) % 2 == 0 ? 2 : 1);
      } else {
        const int32_t t = (i * 53) % 140 + 5;
        robot.MoveToPositions(t, t, t, N, N, N, N, N);
      }
      measure();
    }
    robot.CloseInterface();
  }
  kelvora::platform::SetGuiHooks(nullptr);
  return worst;
}

// Milliseconds from the freeze to the first exchange whose motor word has the move's
// motors off, in virtual time.
int VirtualFreezeToWire() {
  kelvora::sim::RobotRigOptions o;
  o.start = {50, 50, 50, 10};
  kelvora::sim::RobotRig rig(o);
  Hooks hooks;
  kelvora::platform::SetGuiHooks(&hooks);
  uint64_t frozeAt = 0;
  size_t words = 0;
  int result = -1;
  {
    TBrelRobot robot;
    for (int a = 1; a <= 3; ++a) {
      robot.Axes.SetPos(a, mcMaximum, 150);
      robot.Axes.SetPos(a, mcPosition, 50);
    }
    robot.OpenInterface(rig.Port());
    hooks.at = 20;
    hooks.fn = [&] {
      frozeAt = rig.clock.NowMs();
      words = rig.box.MotorWords().size();
      // Held for 500 ms; step by step, so the moment the word leaves is seen.
      for (int ms = 0; ms < 500 && result < 0; ++ms) {
        rig.Advance(1);
        const std::vector<uint16_t> w = rig.box.MotorWords();
        if (w.size() > words && (w.back() & 0x3F) == 0)
          result = static_cast<int>(rig.clock.NowMs() - frozeAt);
      }
      rig.Advance(200);
    };
    robot.MoveToPositions(140, 140, 140, N, N, N, N, N);
    robot.CloseInterface();
  }
  kelvora::platform::SetGuiHooks(nullptr);
  return result;
}

// The same on the real clock: the driver's timer thread, the guard's thread and a
// pseudo-terminal. Returns the milliseconds, one per freeze.
std::vector<double> RealFreezeToWire(int freezes) {
  std::vector<double> out;
  kelvora::drvtest::PtyRobot box(
      kelvora::sim::RobotOptions{.speed = 15.0, .coast = 0.0, .start = {30, 30, 30, 10}}, "COM1");
  if (!box.ok()) return out;
  kelvora::sim::Robot& robot = box.robot;
  kelvora::drvtest::PtyBox& pty = box.pty;
  Hooks hooks;
  double ms = -1;
  hooks.fn = [&] {
    const auto t0 = std::chrono::steady_clock::now();
    ms = -1;
    while (std::chrono::steady_clock::now() - t0 < 400ms) {
      if (ms < 0 && (pty.box.MotorWord() & 0x3F) == 0)
        ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                 .count();
      std::this_thread::sleep_for(200us);
    }
  };
  kelvora::platform::SetGuiHooks(&hooks);
  TBrelRobot r;
  for (int a = 1; a <= 3; ++a) r.Axes.SetPos(a, mcMaximum, 150);
  if (r.OpenInterface("COM1") == kelvora::access::kInterfaceError) return out;
  for (int i = 0; i < freezes; ++i) {
    for (int a = 1; a <= 3; ++a)
      r.Axes.SetPos(a, mcPosition, static_cast<int32_t>(std::lround(robot.Position(a))));
    hooks.calls = 0;
    hooks.at = 5;
    r.ClearStopFlag();
    r.MoveToPositions(i % 2 == 0 ? 120 : 20, i % 2 == 0 ? 120 : 20, N, N, N, N, N, N);
    r.TakeFaults();
    if (ms >= 0) out.push_back(ms);
  }
  r.CloseInterface();
  kelvora::platform::SetGuiHooks(nullptr);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int freezes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  std::printf("held against true position, 100 jogs and 100 HALTed moves, run-down 1.5:\n");
  std::printf("  largest difference %.2f units (goal: at most 1)\n", HeldAgainstTrue());
  std::printf(
      "frozen control cycle to motor word 0 on the wire (goal: at most 100 ms + "
      "one poll period, 110 ms):\n");
  std::printf("  virtual time: %d ms\n", VirtualFreezeToWire());
  std::vector<double> real = RealFreezeToWire(freezes);
  if (real.empty()) {
    std::printf("  real clock: no pseudo-terminal\n");
    return 0;
  }
  std::sort(real.begin(), real.end());
  const auto at = [&real](double q) {
    return real[std::min(real.size() - 1, static_cast<size_t>(q * (real.size() - 1) + 0.5))];
  };
  std::printf("  real clock, %zu freezes: min %.1f ms, median %.1f ms, p90 %.1f ms, max %.1f ms\n",
              real.size(), real.front(), at(0.5), at(0.9), real.back());
  return 0;
}
