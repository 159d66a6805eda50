// The small exports: motors, lamps, inputs, version, and every call on a closed record.
#include "driver/connections.h"
#include "driver_test_util.h"

namespace kelvora::drvtest {
namespace {

TEST(MaskTables, HoldTheirValues) {
  for (int m = 1; m <= 8; ++m) {
    const uint32_t left = 1u << (2 * m - 2);
    const uint32_t right = 1u << (2 * m - 1);
    EXPECT_EQ(driver::MotorLeftMask[m], left);
    EXPECT_EQ(driver::MotorRightMask[m], right);
    EXPECT_EQ(driver::MotorClearMask[m], 0xFFFFu & ~(left | right));
  }
  for (int n = 1; n <= 16; ++n) EXPECT_EQ(driver::InputMask[n], 1u << (n - 1));
  EXPECT_EQ(driver::MotorClearMask[0] | driver::MotorLeftMask[0] | driver::MotorRightMask[0] |
                driver::InputMask[0],
            0u);
}

TEST_F(DriverTest, SetMotorChangesOnlyItsTwoBits) {
  ASSERT_EQ(OpenQuiet(16), 0);
  rig.box.SetInputs(0x0102);
  rig.clock.Advance(12);
  rec.MotorWord = 0x000C;
  EXPECT_EQ(zqSetMotor(&rec, 2, 1), 0x0102);  // returns InputWord
  EXPECT_EQ(rec.MotorWord, 0x0004u);
  EXPECT_EQ(zqSetMotor(&rec, 8, 2), 0x0102);
  EXPECT_EQ(rec.MotorWord, 0x8004u);
  EXPECT_EQ(zqSetMotor(&rec, 2, 0), 0x0102);
  EXPECT_EQ(rec.MotorWord, 0x8000u);
  rec.MotorWord = 0xFFFF0000u | 0x0001u;
  zqSetMotor(&rec, 1, 2);
  EXPECT_EQ(rec.MotorWord, 0x0002u);  // bits 16..31 go with every call
  rig.clock.Advance(12);
  EXPECT_EQ(rig.box.MotorWord(), 0x0002);  // reaches the box with the next tick
}

TEST_F(DriverTest, MotorZeroUnknownDirectionAndOutOfRangeSwitchAllOff) {
  ASSERT_EQ(OpenQuiet(), 0);
  rec.MotorWord = 0x5555;
  zqSetMotor(&rec, 0, 1);
  EXPECT_EQ(rec.MotorWord, 0u);
  rec.MotorWord = 0x5555;
  zqSetMotor(&rec, 3, 3);
  EXPECT_EQ(rec.MotorWord, 0u);
  rec.MotorWord = 0x5555;
  zqSetMotor(&rec, 9, 1);  // past the table: as motor 0
  EXPECT_EQ(rec.MotorWord, 0u);
  rec.MotorWord = 0x5555;
  zqSetMotor(&rec, -1, 2);
  EXPECT_EQ(rec.MotorWord, 0u);
}

TEST_F(DriverTest, SerialLampIsActiveLow) {
  ASSERT_EQ(OpenQuiet(), 0);
  rec.MotorWord = 0x0010;
  EXPECT_EQ(zqSetLamp(&rec, 5, 1), 0);
  EXPECT_EQ(rec.MotorWord, 0x0000u);
  zqSetLamp(&rec, 5, 0);
  EXPECT_EQ(rec.MotorWord, 0x0010u);
  zqSetLamp(&rec, 16, -7);  // any non-zero flag is on
  EXPECT_EQ(rec.MotorWord, 0x0010u);
  zqSetLamp(&rec, 17, 0);  // past the table: no bit
  zqSetLamp(&rec, 0, 0);
  EXPECT_EQ(rec.MotorWord, 0x0010u);
}

TEST_F(DriverTest, GetInputReportsMinusOneForASetInput) {
  ASSERT_EQ(OpenQuiet(16), 0);
  rig.box.SetInputs(0x8001);
  rig.clock.Advance(12);
  EXPECT_EQ(zqGetInput(&rec, 1), -1);
  EXPECT_EQ(zqGetInput(&rec, 16), -1);
  EXPECT_EQ(zqGetInput(&rec, 2), 0);
  EXPECT_EQ(zqGetInput(&rec, 0), 0);
  EXPECT_EQ(zqGetInput(&rec, 17), 0);
  EXPECT_EQ(zqGetInput(&rec, -3), 0);
  EXPECT_EQ(rig.box.ExchangeCount(), 1u);  // no I/O of its own
}

TEST_F(DriverTest, ClosedRecordRefusesEveryCallAndStaysUnchanged) {
  rec.MotorWord = 0x0033;
  rec.InputWord = 0x0001;
  EXPECT_EQ(zqGetInput(&rec, 1), 0x1FFFF);
  EXPECT_EQ(zqSetMotor(&rec, 1, 1), 0x1FFFF);
  EXPECT_EQ(zqSetLamp(&rec, 1, 1), 0x1FFFF);
  EXPECT_EQ(zqCloseInterface(&rec), 0);
  EXPECT_EQ(rec.MotorWord, 0x0033u);
  EXPECT_TRUE(rig.os.Calls().empty());
  EXPECT_EQ(zqGetVersion(), 201);
}

TEST_F(DriverTest, NullRecordIsRefused) {
  EXPECT_EQ(zqOpenInterface(nullptr, "COM1"), 0x1FFFF);
  EXPECT_EQ(zqCloseInterface(nullptr), 0);
  EXPECT_EQ(zqGetInput(nullptr, 1), 0x1FFFF);
  EXPECT_EQ(zqSetMotor(nullptr, 1, 1), 0x1FFFF);
  EXPECT_EQ(zqSetLamp(nullptr, 1, 1), 0x1FFFF);
  EXPECT_TRUE(rig.os.OpenPorts().empty());
}

TEST_F(DriverTest, RecordsOnTwoPortsTickIndependently) {
  sim::VirtualBox box2;
  rig.os.AttachSerial("COM2", &box2);
  TBrelRecord other{};
  other.InputCount = 16;
  ASSERT_EQ(OpenQuiet(8), 0);
  ASSERT_EQ(zqOpenInterface(&other, "COM2"), 0);
  box2.ClearRecords();
  rig.box.SetInputs(0x0001);
  box2.SetInputs(0x0100);
  rig.clock.Advance(60);
  EXPECT_EQ(rig.box.ExchangeCount(), 6u);
  EXPECT_EQ(box2.ExchangeCount(), 5u);
  EXPECT_EQ(rec.InputWord, 0x0001u);
  EXPECT_EQ(other.InputWord, 0x0100u);
  EXPECT_EQ(zqCloseInterface(&other), 1);
  EXPECT_EQ(rig.clock.TimerCount(), 1u);
}

}  // namespace
}  // namespace kelvora::drvtest
