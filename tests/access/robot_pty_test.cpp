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
#include "sim/robot.h"
#include "tests/driver/pty_box.h"
#include "tests/support/scoped_env.h"

namespace kelvora::access {
namespace {

using namespace std::chrono_literals;
constexpr int32_t N = kNotGiven;

TEST(RobotOverPty, OpensMovesWaitsAndClosesThroughTheSharedLibrary) {
  // Well below one unit per poll even with a tick some tens of milliseconds late (a busy
  // machine); outlives the box thread that asks it.
  sim::Robot robot(sim::RobotOptions{.speed = 15.0, .coast = 0.0, .start = {30, 20, 50, 10}});
  drvtest::PtyBox pty;
  ASSERT_TRUE(pty.ok());
  pty.MapAs("COM1");
  // The robot behind the box (wired by hand: the rig classes belong to virtual time).
  pty.box.SetInputSource([&robot] { return robot.Inputs(); });
  pty.box.SetMotorListener([&robot](uint16_t word) { robot.SetMotorWord(word); });
  // Moves the virtual robot along with the wall clock.
  std::jthread stepper([&robot](std::stop_token stop) {
    const auto start = std::chrono::steady_clock::now();
    while (!stop.stop_requested()) {
      robot.AdvanceTo(std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count());
      std::this_thread::sleep_for(1ms);
    }
  });

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
  // error and, as the program would, is simply given again (each try goes on from where
  // the robot now stands).
  uint32_t w = kInterfaceError;
  for (int attempt = 0; attempt < 20 && w == kInterfaceError; ++attempt) {
    inputsBack();
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
  EXPECT_NEAR(robot.Position(3), 50.0, 0.01);

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
  for (int waited = 0; waited < 200 && pty.box.MotorWord() != 0x0009; ++waited) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(pty.box.MotorWord(), 0x0009);
  EXPECT_NE(r.CloseInterface(), 0u);
  EXPECT_EQ(pty.box.MotorWord(), 0);
  EXPECT_FALSE(r.Opened);
  const double stopped = robot.Position(2);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(robot.Position(2), stopped);
  std::remove(trace.c_str());
  rmdir(dir);
}

}  // namespace
}  // namespace kelvora::access
