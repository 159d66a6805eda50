// SPDX-License-Identifier: MIT
// The parallel box through the exports in virtual time: open, ticks with counting,
// motor words reaching the box, analog polling, close; and the port driver's service.
#include <gtest/gtest.h>

#include <string>

#include "driver/zqBrel20.h"
#include "portdriver/service.h"
#include "tests/driver_parallel/parallel_test_util.h"

namespace kelvora::testing {
namespace {

class ParallelInterfaceTest : public ::testing::TestWithParam<drvos::PlatformFamily> {
 protected:
  sim::VirtualBox box;
  sim::VirtualParallel ports;
  ParallelRig rig{&ports};
  TBrelRecord rec = TBrelRecord{};
  ParallelInterfaceTest() {
    ports.AttachBox(1, &box);
    rig.os.SetFamily(GetParam());
    rec.PollInterval = 10;
    rec.LptDelay = 10;
  }
};

TEST_P(ParallelInterfaceTest, OpenTicksAndCloseOnLpt1) {
  box.SetInputs(0x0005);
  ASSERT_EQ(zqOpenInterface(&rec, "LPT1"), 0x0005);
  EXPECT_NE(rec.TimerId, 0u);
  EXPECT_EQ(rec.PollInterval, 10u);
  EXPECT_EQ(box.MotorWord(), 0u);  // the first exchange sends all-off

  box.SetInputs(0x0004);  // input 1 falls
  rig.clock.Advance(10);
  EXPECT_EQ(rec.InputWord, 0x0004u);
  EXPECT_EQ(rec.Counters[0], 1u);
  EXPECT_EQ(zqGetInput(&rec, 3), -1);

  zqSetMotor(&rec, 2, 1);
  zqSetLamp(&rec, 16, 1);  // active high on the parallel box
  rig.clock.Advance(10);
  EXPECT_EQ(box.MotorWord(), 0x8004u);

  const size_t exchanges = box.ExchangeCount();
  EXPECT_NE(zqCloseInterface(&rec), 0);
  EXPECT_EQ(rec.Handle, 0u);
  EXPECT_EQ(ports.OpenDevices(), 0u);
  EXPECT_EQ(rig.clock.TimerCount(), 0u);
  rig.clock.Advance(50);
  EXPECT_EQ(box.ExchangeCount(), exchanges);  // nothing reaches the box after close
}

TEST_P(ParallelInterfaceTest, AnalogPollingAlternatesTheChannels) {
  box.SetAnalog(0, 99);
  box.SetAnalog(1, 0);
  rec.AnalogPhase = 1;
  // One read per count step on the direct path; the port driver's default largest count.
  rec.AnalogScan = GetParam() == drvos::PlatformFamily::kDirect ? 1 : 0;
  ASSERT_NE(zqOpenInterface(&rec, "LPT1"), static_cast<int32_t>(ZQ_ERROR));
  EXPECT_EQ(rec.PollInterval, 100u);
  rig.clock.Advance(100);
  // Direct, scan 1: 100 reads, the last one clear → 100. Port driver: clear at the
  // hundredth read → 100 as well.
  EXPECT_EQ(rec.AnalogX, 100u);
  rig.clock.Advance(100);
  EXPECT_EQ(rec.AnalogY, 1u);
  EXPECT_NE(zqCloseInterface(&rec), 0);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, ParallelInterfaceTest,
                         ::testing::Values(drvos::PlatformFamily::kDirect,
                                           drvos::PlatformFamily::kPortDriver));

TEST(ParallelInterface, ThreeLetterNameUsesThePresetBase) {
  sim::VirtualBox box;
  sim::VirtualParallel ports;
  ParallelRig rig{&ports};
  ports.AttachBox(2, &box);
  box.SetInputs(0x8001);
  TBrelRecord rec = TBrelRecord{};
  rec.PortAddr = 0x278;
  rec.PollInterval = 10;
  ASSERT_EQ(zqOpenInterface(&rec, "LPT"), 0x8001);
  EXPECT_EQ(rec.Handle, 1u);
  EXPECT_EQ(ports.OpenDevices(), 0u);
  zqSetMotor(&rec, 8, 2);
  rig.clock.Advance(10);
  EXPECT_EQ(box.MotorWord(), 0x8000u);
  zqCloseInterface(&rec);
  EXPECT_EQ(rec.Handle, 0u);
}

// The timer period's minimums on the parallel box: 1 ms, and 100 ms with analog polling
// whenever less than 20 ms was asked for.
TEST(ParallelInterface, PollIntervalMinimums) {
  sim::VirtualBox box;
  sim::VirtualParallel ports;
  ParallelRig rig{&ports};
  ports.AttachBox(1, &box);
  const struct {
    uint32_t asked, phase, want;
  } cases[] = {{0, 0, 1}, {7, 0, 7}, {0, 1, 100}, {19, 1, 100}, {20, 1, 20}, {35, 1, 35}};
  for (const auto& c : cases) {
    TBrelRecord rec = TBrelRecord{};
    rec.PollInterval = c.asked;
    rec.AnalogPhase = c.phase;
    ASSERT_NE(zqOpenInterface(&rec, "LPT1"), static_cast<int32_t>(ZQ_ERROR));
    EXPECT_EQ(rec.PollInterval, c.want) << c.asked << " " << c.phase;
    EXPECT_EQ(rig.os.Calls().back(), "settimer " + std::to_string(c.want));
    EXPECT_NE(zqCloseInterface(&rec), 0);
  }
}

TEST(ParallelInterface, OpenFailuresLeaveNothingRunning) {
  sim::VirtualParallel ports;  // no box anywhere: no device opens
  ParallelRig rig{&ports};
  TBrelRecord rec = TBrelRecord{};
  EXPECT_EQ(zqOpenInterface(&rec, "LPT1"), static_cast<int32_t>(ZQ_ERROR));
  EXPECT_EQ(rec.Handle, 0u);
  // The bare name with no base, or with a base where no port answers: every input would
  // read as set for good.
  for (uint32_t base : {0u, 0x378u}) {
    rec = TBrelRecord{};
    rec.PortAddr = base;
    EXPECT_EQ(zqOpenInterface(&rec, "LPT"), static_cast<int32_t>(ZQ_ERROR)) << base;
    EXPECT_EQ(rec.Handle, 0u);
  }
  rig.os.SetFamily(drvos::PlatformFamily::kPortDriver);
  rec = TBrelRecord{};
  EXPECT_EQ(zqOpenInterface(&rec, "LPT1"), static_cast<int32_t>(ZQ_ERROR));
  EXPECT_EQ(rig.clock.TimerCount(), 0u);
  EXPECT_TRUE(ports.Accesses().empty());
}

// --- the service ------------------------------------------------------------------

class ServiceExportTest : public ::testing::Test {
 protected:
  sim::VirtualBox box;
  sim::VirtualParallel ports;
  ParallelRig rig{&ports};
  ServiceExportTest() { ports.AttachBox(1, &box); }
};

// Start and stop follow the service's state, and a service that does not exist or a
// manager out of reach fails them; no step leaves a handle open.
TEST_F(ServiceExportTest, StartAndStopFollowTheServiceState) {
  constexpr int32_t kErr = static_cast<int32_t>(ZQ_ERROR);
  EXPECT_EQ(zqStopDriver(), 0);
  EXPECT_FALSE(ports.Services().IsRunning("WinRT"));
  EXPECT_EQ(zqStopDriver(), kErr);  // not running
  EXPECT_EQ(zqStartDriver(), 0);
  EXPECT_EQ(zqStartDriver(), kErr);  // already running
  EXPECT_EQ(ports.Services().OpenHandles(), 0u);
  ports.Services().SetReachable(false);
  EXPECT_EQ(zqStartDriver(), kErr);
  EXPECT_EQ(zqStopDriver(), kErr);
  ports.Services().SetReachable(true);
  ports.Services().Uninstall("WinRT");
  EXPECT_EQ(zqStartDriver(), kErr);
  EXPECT_EQ(zqStopDriver(), kErr);
  EXPECT_EQ(ports.Services().OpenHandles(), 0u);
}

TEST_F(ServiceExportTest, StoppedDriverHasNoDeviceAndRunningDriverCannotStopUnderAnOpenOne) {
  rig.os.SetFamily(drvos::PlatformFamily::kPortDriver);
  ASSERT_EQ(zqStopDriver(), 0);
  TBrelRecord rec{};
  EXPECT_EQ(zqOpenInterface(&rec, "LPT1"), static_cast<int32_t>(ZQ_ERROR));
  ASSERT_EQ(zqStartDriver(), 0);
  rec = TBrelRecord{};
  ASSERT_NE(zqOpenInterface(&rec, "LPT1"), static_cast<int32_t>(ZQ_ERROR));
  EXPECT_EQ(zqStopDriver(), static_cast<int32_t>(ZQ_ERROR));
  EXPECT_NE(zqCloseInterface(&rec), 0);
  EXPECT_EQ(zqStopDriver(), 0);
}

}  // namespace
}  // namespace kelvora::testing
