// SPDX-License-Identifier: MIT
// The robot behind the box with the real driver core, all in virtual time: the clock
// steps the mechanics, the driver's poll ticks exchange bytes with the box and count
// the impulse input's changes into the record.
#include "sim/virtual_robot.h"

#include <gtest/gtest.h>

#include <atomic>

#include "driver/zqBrel20.h"

namespace kelvora::sim {
namespace {

uint32_t Read(const uint32_t& field) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(field)).load(std::memory_order_relaxed);
}

class Interface {
 public:
  Interface(const char* port, uint32_t inputs) {
    record_.InputCount = inputs;
    record_.PollInterval = 10;
    opened_ = zqOpenInterface(&record_, port);
  }
  ~Interface() { zqCloseInterface(&record_); }
  bool Open() const { return opened_ != static_cast<int32_t>(ZQ_ERROR); }
  void Motor(int motor, int direction) { zqSetMotor(&record_, motor, direction); }
  uint32_t Counter(int input) const { return Read(record_.Counters[input - 1]); }
  bool InputSet(int input) { return zqGetInput(&record_, input) == -1; }
  uint32_t InputWord() const { return Read(record_.InputWord); }

 private:
  TBrelRecord record_{};
  int32_t opened_ = 0;
};

TEST(RobotRigTest, MotorWordMovesTheAxisAndTheDriverCountsEveryUnit) {
  RobotRigOptions o;
  o.speed = 40;
  o.coast = 0;
  o.start = {100, 50, 50, 10};
  RobotRig rig(o);
  Interface face("COM1", 8);
  ASSERT_TRUE(face.Open());
  face.Motor(1, 2);
  rig.Advance(1000);
  face.Motor(1, 0);
  rig.Advance(100);
  // the motor ran from the first tick after the call to the first tick after the stop
  EXPECT_NEAR(rig.Position(1), 140.0, 0.5);
  EXPECT_EQ(face.Counter(2), static_cast<uint32_t>(rig.robot.ImpulseChanges(1)));
  EXPECT_NEAR(face.Counter(2), 40, 1);
  EXPECT_DOUBLE_EQ(rig.Position(2), 50.0);
  EXPECT_EQ(face.Counter(4), 0u);
}

TEST(RobotRigTest, HomingRunStopsAtTheEndSwitchWithTheCountOfItsDistance) {
  RobotRigOptions o;
  o.speed = 40;
  o.coast = 1;
  o.start = {100, 50, 30, 10};
  RobotRig rig(o);
  Interface face("COM1", 8);
  ASSERT_TRUE(face.Open());
  EXPECT_FALSE(face.InputSet(5));
  face.Motor(3, 1);
  int ms = 0;
  while (!face.InputSet(5) && ms < 5000) {
    rig.Advance(10);
    ms += 10;
  }
  face.Motor(3, 0);
  rig.Advance(200);
  EXPECT_TRUE(face.InputSet(5)) << "end switch closed at 0";
  EXPECT_DOUBLE_EQ(rig.Position(3), 0.0);
  EXPECT_EQ(face.Counter(6), 30u) << "one change per unit, nothing against the stop";
  EXPECT_NEAR(ms, 750, 20);
}

TEST(RobotRigTest, Rob5CarriageAndInput11ThroughTheSixteenInputBox) {
  RobotRigOptions o;
  o.layout = Layout::kRob5;
  o.speed = 40;
  o.coast = 0;
  RobotRig rig(o);
  Interface face("COM1", 16);
  ASSERT_TRUE(face.Open());
  EXPECT_FALSE(face.InputSet(11));
  rig.SetInput(11, true);
  rig.Advance(30);
  EXPECT_TRUE(face.InputSet(11));
  double wagen = rig.Position(4);
  face.Motor(5, 1);
  rig.Advance(500);
  face.Motor(5, 0);
  rig.Advance(50);
  EXPECT_NEAR(rig.Position(4), wagen - 20, 0.6);
  EXPECT_NEAR(face.Counter(10), 20, 1);
  // outputs without an axis arrive at the robot as they are
  face.Motor(6, 2);
  face.Motor(7, 1);
  rig.Advance(30);
  EXPECT_EQ(rig.robot.MotorCode(6), 2);
  EXPECT_EQ(rig.robot.MotorCode(7), 1);
}

}  // namespace
}  // namespace kelvora::sim
