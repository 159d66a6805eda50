// The interface object over the real driver core and the virtual box in virtual time:
// what reaches the box on close, and waits that end by the robot's inputs or a fault.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/access/robot_rig.h"

namespace kelvora::access {
namespace {

using sim::RobotRigOptions;
using testing::RobotOnRig;

constexpr uint32_t kErr = kInterfaceError;

RobotRigOptions Rig(std::vector<double> start, double speed = 40.0) {
  RobotRigOptions o;
  o.start = std::move(start);
  o.speed = speed;
  o.coast = 0;
  return o;
}

TEST(FaceOnRig, OpenReportsTheFirstExchangeAndFailsOnAPortWithoutABox) {
  RobotOnRig t(Rig({0, 60, 0, 10}));
  EXPECT_TRUE(t.robot.Opened);
  EXPECT_EQ(t.robot.GetInputs(), 0x0011u);  // end switches of axes 1 and 3
  EXPECT_TRUE(t.robot.GetInput(5));
  EXPECT_FALSE(t.robot.GetInput(3));
  EXPECT_EQ(t.robot.LastStatus, 0);

  TBrelFace other;
  EXPECT_EQ(other.OpenInterface("COM2"), kErr);
  EXPECT_EQ(other.LastStatus, 1);
  EXPECT_FALSE(other.Opened);
  EXPECT_EQ(other.PortKind, 2);
}

TEST(FaceOnRig, CloseSendsTheClearedMotorWordBeforeThePortCloses) {
  RobotOnRig t(Rig({0, 60, 50, 10}));
  EXPECT_EQ(t.robot.SetMotor(1, 2), 0x0001u);
  t.rig.Advance(100);
  EXPECT_EQ(t.rig.box.MotorWord(), 0x0002);
  ASSERT_GT(t.rig.Position(1), 2.0);

  t.rig.box.ClearRecords();
  t.rig.os.ClearCalls();
  EXPECT_NE(t.robot.CloseInterface(), 0u);
  EXPECT_FALSE(t.robot.Opened);
  EXPECT_EQ(t.robot.ActivePort, "NONE");

  // The box saw the cleared word while the port was still open ...
  const std::vector<uint16_t> words = t.rig.box.MotorWords();
  ASSERT_FALSE(words.empty());
  EXPECT_EQ(words.back(), 0);
  EXPECT_EQ(t.rig.box.MotorWord(), 0);
  // ... and then the port closed.
  const auto& calls = t.rig.os.Calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "close COM1"), calls.end());
  EXPECT_TRUE(t.rig.os.OpenPorts().empty());

  // The robot stands still: nothing reaches the box any more.
  const double stopped = t.rig.Position(1);
  t.rig.Advance(200);
  EXPECT_EQ(t.rig.Position(1), stopped);
  EXPECT_EQ(t.rig.box.MotorWords().size(), words.size());
}

TEST(FaceOnRig, WaitForInputEndsWhenTheAxisReachesItsEndSwitch) {
  RobotOnRig t(Rig({20, 60, 50, 10}));
  t.robot.SetMotor(1, 1);
  const uint64_t t0 = t.rig.clock.NowMs();
  const uint32_t w = t.robot.WaitForInput(1, true);
  EXPECT_NE(w, kErr);
  EXPECT_NE(w & 1u, 0u);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(t.rig.Position(1), 0.0);
  // 20 units at 40 per second: half a second, give or take a poll or two.
  EXPECT_GE(t.rig.clock.NowMs() - t0, 490u);
  EXPECT_LE(t.rig.clock.NowMs() - t0, 540u);
  t.robot.ClearMotors();
}

TEST(FaceOnRig, WaitsEndByEscOrStopFlagWithTheMotorsLeftAlone) {
  RobotOnRig t(Rig({20, 60, 50, 10}));
  t.robot.SetMotor(2, 2);
  int pumps = 0;
  t.hooks.onMessages = [&] {
    if (++pumps == 5) t.hooks.escAnswer = true;
  };
  EXPECT_EQ(t.robot.WaitForInput(7, true), kErr);
  EXPECT_EQ(t.robot.LastStatus, 2);
  EXPECT_EQ(t.robot.MotorWord(), 0x0008u);  // waits do not switch motors off

  t.hooks.escAnswer = false;
  pumps = 0;
  t.hooks.onMessages = [&] {
    if (++pumps == 3) t.robot.StopFlag = true;
  };
  t.robot.LastStatus = 0;
  const uint64_t t0 = t.rig.clock.NowMs();
  t.robot.Pause(1000);
  EXPECT_EQ(t.robot.LastStatus, 2);
  EXPECT_EQ(t.rig.clock.NowMs() - t0, 30u);
  t.robot.ClearMotors();
}

TEST(FaceOnRig, WaitsEndByAnInterfaceErrorWhenTheBoxFallsSilent) {
  RobotOnRig t(Rig({20, 60, 50, 10}));
  int pumps = 0;
  t.hooks.onMessages = [&] {
    if (++pumps == 4) t.rig.box.SetFault(sim::BoxFault::kSilent);
  };
  EXPECT_EQ(t.robot.WaitForInput(2, true), kErr);
  EXPECT_EQ(t.robot.LastStatus, static_cast<int32_t>(kErr));
  EXPECT_EQ(t.robot.GetInputs(), kErr);

  t.rig.box.SetFault(sim::BoxFault::kNone);
  t.rig.Advance(50);
  EXPECT_NE(t.robot.GetInputs(), kErr);  // polling goes on and recovers
  EXPECT_EQ(t.robot.LastStatus, 0);

  t.hooks.onMessages = nullptr;
  t.rig.box.SetFault(sim::BoxFault::kSilent);
  const uint64_t t0 = t.rig.clock.NowMs();
  t.robot.Pause(5000);
  EXPECT_EQ(t.robot.LastStatus, static_cast<int32_t>(kErr));
  EXPECT_LE(t.rig.clock.NowMs() - t0, 200u);
  t.rig.box.SetFault(sim::BoxFault::kNone);
}

TEST(FaceOnRig, PauseRunsItsTimeOnAHealthyBox) {
  RobotOnRig t(Rig({20, 60, 50, 10}));
  t.robot.LastStatus = 0;
  const uint64_t t0 = t.rig.clock.NowMs();
  t.robot.Pause(250);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(t.rig.clock.NowMs() - t0, 260u);
}

}  // namespace
}  // namespace kelvora::access
