// SPDX-License-Identifier: MIT
// End to end: the robot object over the built libzqBrel20.so, its real timer thread and
// a real pseudo-terminal with the virtual box and robot on the master side, stepped in
// real time. Assertions are tolerant of a slow machine.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "access/brel_consts.h"
#include "access/brel_robot.h"
#include "platform/gui_hooks.h"
#include "sim/robot.h"
#include "tests/support/pty_robot.h"
#include "tests/support/scoped_env.h"

namespace kelvora::access {
namespace {

using namespace std::chrono_literals;
constexpr int32_t N = kNotGiven;

TEST(RobotOverPty, OpensMovesWaitsAndClosesThroughTheSharedLibrary) {
  // The robot behind the box, in real time (the rig classes belong to virtual time): well
  // below one unit per poll even with a tick some tens of milliseconds late.
  drvtest::PtyRobot box(sim::RobotOptions{.speed = 15.0, .coast = 0.0, .start = {30, 20, 50, 10}},
                        "COM1");
  ASSERT_TRUE(box.ok());
  sim::Robot& robot = box.robot;
  drvtest::PtyBox& pty = box.pty;

  // The wire trace tells the exchanges that failed.
  char dir[] = "/tmp/robot_pty_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string trace = std::string(dir) + "/wire";
  kelvora::testing::ScopedEnv env{"ZQBREL_TRACE"};
  kelvora::testing::ScopedEnv::Set("ZQBREL_TRACE", trace.c_str());
  // The trace's writer is given a moment to catch up.
  auto failedExchanges = [&trace] {
    std::this_thread::sleep_for(200ms);
    std::ifstream in(trace);
    int failed = 0;
    for (std::string line; std::getline(in, line);)
      failed +=
          line.find("result=") != std::string::npos && line.find("result=ok") == std::string::npos;
    return failed;
  };

  TBrelRobot r;
  // After a failed exchange the driver reads the line until it is quiet again; a command
  // given meanwhile ends at once. As a user would, the test gives it again once the
  // inputs are back.
  auto inputsBack = [&r] {
    for (int i = 0; i < 300 && r.InputWord() == kInterfaceError; ++i)
      std::this_thread::sleep_for(10ms);
  };
  for (int a = 1; a <= 3; ++a) {
    r.Axes.SetPos(a, mcMaximum, 150);
    r.Axes.SetPos(a, mcPosition, static_cast<int32_t>(std::lround(robot.Position(a))));
  }
  ASSERT_NE(r.OpenInterface("com1"), kInterfaceError);
  EXPECT_EQ(r.ActivePort, "com1");
  EXPECT_EQ(r.LastStatus, 0);
  EXPECT_NE(r.Record.TimerId, 0u);

  // One down, one up, one held: about a second of real movement. On a loaded
  // machine a reply can miss its read time-out; the move then ends with an interface
  // error, every position is unknown, and the test homes and gives it again.
  uint32_t w = kInterfaceError;
  bool retried = false;
  for (int attempt = 0; attempt < 20 && w == kInterfaceError; ++attempt) {
    retried = attempt > 0;
    // A failed exchange costs the positions: once the box answers again, home first, as
    // the program would.
    if (attempt > 0) {
      inputsBack();
      r.ClearStopFlag();
      r.MoveHome();
    }
    w = r.MoveToPositions(12, 35, 50, N, N, N, N, N);
  }
  EXPECT_NE(w, kInterfaceError);
  EXPECT_EQ(r.LastStatus, 0);
  // The robot object believes what the counters said; the robot stands there or a unit
  // or two off where a late tick let it run on, and off by every impulse that came and
  // went between two polls (the box's replies never showed it) and by up to two changes
  // for each exchange that failed. So much further off may its target be.
  const int failed = failedExchanges();
  double unseen[4] = {};
  for (int a = 1; a <= 3; ++a) {
    unseen[a] = static_cast<double>(robot.ImpulseChanges(a) -
                                    pty.box.ReplyChanges(robot.Config(a).impulseInput)) +
                2.0 * failed;
    EXPECT_NEAR(robot.Position(a), r.Axes.GetPos(a, mcPosition), 2.0 + unseen[a])
        << a << ": " << failed << " failed exchanges";
  }
  EXPECT_NEAR(robot.Position(1), 12.0, 2.5 + unseen[1]);
  EXPECT_NEAR(robot.Position(2), 35.0, 2.5 + unseen[2]);
  // Held where it stood, unless a retry had to home it first.
  EXPECT_NEAR(robot.Position(3), 50.0, retried ? 2.5 + unseen[3] : 0.01);

  // A wait for the end switch while the axis drives home.
  r.SetMotor(1, 1);
  uint32_t in = kInterfaceError;
  for (int attempt = 0; attempt < 20 && in == kInterfaceError; ++attempt) {
    inputsBack();
    in = r.WaitForInput(1, true);
  }
  EXPECT_NE(in, kInterfaceError);
  EXPECT_NE(in & 1u, 0u);
  EXPECT_LT(robot.Position(1), 0.5);

  // Close: the cleared word reaches the box before the port goes.
  r.SetMotor(2, 2);
  for (int waited = 0; waited < 200 && (pty.box.MotorWord() & 0x0008) == 0; ++waited) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(pty.box.MotorWord() & 0x000C, 0x0008);
  EXPECT_NE(r.CloseInterface(), 0u);
  EXPECT_EQ(pty.box.MotorWord(), 0);
  EXPECT_FALSE(r.Opened);
  const double stopped = robot.Position(2);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(robot.Position(2), stopped);
  std::remove(trace.c_str());
  rmdir(dir);
}

// The motion guard on the real clock: its own thread switches a move's motors off when
// the window thread stops running the move, whatever keeps it.
TEST(RobotOverPty, AMoveWhoseWindowThreadStopsIsSwitchedOffByTheGuardsThread) {
  drvtest::PtyRobot box(sim::RobotOptions{.speed = 15.0, .coast = 0.0, .start = {30, 20, 50, 10}},
                        "COM1");
  ASSERT_TRUE(box.ok());
  sim::Robot& robot = box.robot;
  drvtest::PtyBox& pty = box.pty;
  struct Stuck final : platform::GuiHooks {
    drvtest::PtyBox* box = nullptr;
    int calls = 0;
    double offAfterMs = -1;
    void ProcessMessages() override {
      if (++calls != 20) return;
      // A handler that does not come back for a while.
      const auto t0 = std::chrono::steady_clock::now();
      while (std::chrono::steady_clock::now() - t0 < 1500ms) {
        if ((box->box.MotorWord() & 0x000F) == 0 && offAfterMs < 0)
          offAfterMs =
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                  .count();
        std::this_thread::sleep_for(2ms);
      }
    }
  } hooks;
  hooks.box = &pty;
  platform::SetGuiHooks(&hooks);
  TBrelRobot r;
  for (int a = 1; a <= 3; ++a) {
    r.Axes.SetPos(a, mcMaximum, 150);
    r.Axes.SetPos(a, mcPosition, static_cast<int32_t>(std::lround(robot.Position(a))));
  }
  ASSERT_NE(r.OpenInterface("COM1"), kInterfaceError);
  // On a busy machine a reply can miss its time-out before the freeze comes: then the
  // move ends on the failed line, and is tried again from where the robot stands.
  for (int attempt = 0; attempt < 10 && hooks.calls < 20; ++attempt) {
    for (int waited = 0; waited < 200 && r.InputWord() == kInterfaceError; ++waited)
      std::this_thread::sleep_for(10ms);
    for (int a = 1; a <= 3; ++a)
      r.Axes.SetPos(a, mcPosition, static_cast<int32_t>(std::lround(robot.Position(a))));
    hooks.calls = 0;
    r.TakeFaults();
    r.ClearStopFlag();
    r.MoveToPositions(140, 140, N, N, N, N, N, N);
  }
  platform::SetGuiHooks(nullptr);
  ASSERT_GE(hooks.calls, 20);
  // Off within the guard's 100 ms and a poll; a busy machine may add a little.
  EXPECT_GE(hooks.offAfterMs, 90.0);
  EXPECT_LT(hooks.offAfterMs, 600.0);
  EXPECT_EQ(r.LastStatus, 2);
  EXPECT_TRUE(r.TakeFaults().watchdog);
  EXPECT_EQ(r.Axes.GetPos(1, mcPosition), kNotHomed);
  EXPECT_FALSE(r.Guard().Running());
  r.CloseInterface();
}

}  // namespace
}  // namespace kelvora::access
