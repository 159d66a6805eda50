// The virtual clock, box and OS layer that every virtual-time test stands on.
#include <gtest/gtest.h>

#include <vector>

#include "sim/virtual_box.h"
#include "sim/virtual_clock.h"
#include "sim/virtual_os.h"

namespace kelvora::sim {
namespace {

std::vector<uint64_t>* gTicks = nullptr;
VirtualClock* gClock = nullptr;
uint32_t gKillId = 0;

void RecordTick(uint32_t, uint32_t, uintptr_t, uintptr_t, uintptr_t) {
  gTicks->push_back(gClock->NowMs());
}
void KillSelf(uint32_t id, uint32_t, uintptr_t, uintptr_t, uintptr_t) {
  gTicks->push_back(gClock->NowMs());
  gClock->KillTimer(id);
}
void KillOther(uint32_t, uint32_t, uintptr_t, uintptr_t, uintptr_t) {
  gTicks->push_back(gClock->NowMs());
  gClock->KillTimer(gKillId);
}

class ClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gTicks = &ticks;
    gClock = &clock;
  }
  VirtualClock clock;
  std::vector<uint64_t> ticks;
};

TEST_F(ClockTest, TicksOnFixedScheduleAfterSteppers) {
  clock.SetNow(0);
  std::vector<uint64_t> steps;
  clock.AddStepper([&](uint64_t now) {
    steps.push_back(now);
    EXPECT_EQ(ticks.size(), now / 10 - (now % 10 == 0 ? 1 : 0));  // stepper runs before tick
  });
  clock.AddTimer(10, &RecordTick, 0);
  clock.Advance(35);
  EXPECT_EQ(ticks, (std::vector<uint64_t>{10, 20, 30}));
  EXPECT_EQ(steps.size(), 35u);
  clock.Sleep(5);
  EXPECT_EQ(ticks.back(), 40u);
}

TEST_F(ClockTest, TimersKilledFromInsideATick) {
  clock.SetNow(0);
  clock.AddTimer(3, &KillSelf, 0);
  gKillId = clock.AddTimer(5, &RecordTick, 0);
  clock.AddTimer(4, &KillOther, 0);
  clock.Advance(20);
  // KillSelf ticks once at 3; KillOther at 4 kills the 5 ms timer before its first tick.
  EXPECT_EQ(ticks, (std::vector<uint64_t>{3, 4, 8, 12, 16, 20}));
  EXPECT_EQ(clock.TimerCount(), 1u);
  EXPECT_FALSE(clock.KillTimer(gKillId));
}

TEST_F(ClockTest, SetNowKeepsTimerPhase) {
  clock.SetNow(100);
  clock.AddTimer(10, &RecordTick, 0);
  clock.Advance(4);
  clock.SetNow(0xFFFFFFF0ull);
  clock.Advance(6);
  EXPECT_EQ(ticks, (std::vector<uint64_t>{0xFFFFFFF6ull}));
  EXPECT_EQ(clock.TickCount(), 0xFFFFFFF6u);
}

TEST(VirtualBoxTest, AnswersEveryCommandWithItsLength) {
  VirtualBox box;
  box.SetInputs(0x8005);
  box.SetAnalog(0, 0x0123);
  box.SetAnalog(1, 0x0456);
  struct Case {
    std::vector<uint8_t> cmd;
    std::vector<uint8_t> reply;
    uint16_t motors;
  } cases[] = {
      {{0xC1, 0x06}, {0x05}, 0x0006},
      {{0xC2, 0x01, 0x12}, {0x05, 0x80}, 0x1201},
      {{0xC5, 0x40}, {0x05, 0x01, 0x23}, 0x1240},  // 8-input commands keep motors 5 to 8
      {{0xC9, 0x00}, {0x05, 0x04, 0x56}, 0x1200},
      {{0xC6, 0x00, 0x00}, {0x05, 0x80, 0x01, 0x23}, 0x0000},
      {{0xCA, 0xFF, 0xFF}, {0x05, 0x80, 0x04, 0x56}, 0xFFFF},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(box.SerialWrite(c.cmd.data(), c.cmd.size()));
    std::vector<uint8_t> got(8);
    got.resize(static_cast<size_t>(box.SerialRead(got.data(), got.size())));
    EXPECT_EQ(got, c.reply);
    EXPECT_EQ(box.MotorWord(), c.motors);
  }
  EXPECT_EQ(box.ExchangeCount(), 6u);
  EXPECT_EQ(box.MotorWords().size(), 6u);
  EXPECT_EQ(box.Received().size(), 15u);
}

TEST(VirtualBoxTest, CommandSplitOverWritesAndUnknownBytes) {
  VirtualBox box;
  box.SetInputs(0x0042);
  const uint8_t part1[] = {0x00, 0xC2, 0x03};  // a stray byte, then half a command
  const uint8_t part2[] = {0x04};
  box.SerialWrite(part1, 3);
  EXPECT_EQ(box.SerialPending(), 0u);
  box.SerialWrite(part2, 1);
  EXPECT_EQ(box.SerialPending(), 2u);
  EXPECT_EQ(box.MotorWord(), 0x0403);
  EXPECT_EQ(box.Received(), (std::vector<uint8_t>{0x00, 0xC2, 0x03, 0x04}));
}

TEST(VirtualBoxTest, FaultsShapeTheReply) {
  VirtualBox box;
  box.SetInputs(0x00FF);
  const uint8_t cmd[] = {0xC6, 0, 0};
  uint8_t buf[8];
  box.SetFault(BoxFault::kSilent);
  box.SerialWrite(cmd, 3);
  EXPECT_EQ(box.SerialRead(buf, 4), 0);
  box.SetFault(BoxFault::kShort);
  box.SerialWrite(cmd, 3);
  EXPECT_EQ(box.SerialRead(buf, 4), 1);
  EXPECT_EQ(buf[0], 0xFF);
  box.SetFault(BoxFault::kGarbage);
  box.SerialWrite(cmd, 3);
  EXPECT_EQ(box.SerialRead(buf, 8), 4);
  box.SetFault(BoxFault::kVanished);
  EXPECT_FALSE(box.SerialWrite(cmd, 3));
  EXPECT_EQ(box.SerialRead(buf, 4), -1);
  EXPECT_EQ(box.ExchangeCount(), 3u);  // the vanished box heard nothing
  box.SetFault(BoxFault::kNone);
  box.ClearRecords();
  EXPECT_TRUE(box.Received().empty());
}

TEST(VirtualBoxTest, RobotHooksSeeEveryExchange) {
  VirtualBox box;
  std::vector<uint16_t> heard;
  box.SetInputSource([] { return uint16_t{0x0A0B}; });
  box.SetMotorListener([&](uint16_t w) { heard.push_back(w); });
  const uint8_t cmd[] = {0xC2, 0x09, 0x00};
  box.SerialWrite(cmd, 3);
  uint8_t buf[2];
  ASSERT_EQ(box.SerialRead(buf, 2), 2);
  EXPECT_EQ(buf[0], 0x0B);
  EXPECT_EQ(buf[1], 0x0A);
  EXPECT_EQ(box.Inputs(), 0x0A0B);
  EXPECT_EQ(heard, (std::vector<uint16_t>{0x0009}));
}

TEST(VirtualOsTest, PortsAreExclusiveCaseBlindAndHandlesAvoidZeroAndOne) {
  VirtualClock clock;
  VirtualBox box;
  VirtualOs os(clock);
  os.AttachSerial("com2", &box);
  EXPECT_EQ(os.OpenDevice("COM1"), drvos::kNoHandle);
  EXPECT_EQ(os.OpenDevice("LPT1"), drvos::kNoHandle);  // no parallel backend
  EXPECT_EQ(os.PortIn16(0x379), 0xFFFF);
  const drvos::Handle h = os.OpenDevice("CoM2");
  EXPECT_GT(h, 1u);
  EXPECT_EQ(os.OpenDevice("COM2"), drvos::kNoHandle);
  EXPECT_EQ(os.OpenPorts(), (std::vector<std::string>{"COM2"}));
  EXPECT_TRUE(os.CloseHandle(h));
  EXPECT_FALSE(os.CloseHandle(h));
  box.SetFault(BoxFault::kVanished);
  EXPECT_EQ(os.OpenDevice("COM2"), drvos::kNoHandle);
}

class FakeParallel : public ParallelBackend {
 public:
  drvos::Handle OpenDevice(const char*) override { return 7; }
  bool CloseHandle(drvos::Handle h) override { return h == 7; }
  void PortOut16(uint32_t port, uint16_t v) override { out.push_back({port, v}); }
  uint16_t PortIn16(uint32_t port) override { return static_cast<uint16_t>(port + 1); }
  bool DeviceIoControl(drvos::Handle h, uint32_t code, const void*, uint32_t, void*,
                       uint32_t) override {
    return h == 7 && code == 42;
  }
  bool StartService(const char*) override { return true; }
  bool StopService(const char*) override { return false; }
  std::vector<std::pair<uint32_t, uint16_t>> out;
};

TEST(VirtualOsTest, ParallelCallsGoToTheBackendUnderOwnHandles) {
  VirtualClock clock;
  VirtualOs os(clock);
  FakeParallel backend;
  os.SetParallelBackend(&backend);
  os.SetFamily(drvos::PlatformFamily::kPortDriver);
  EXPECT_EQ(os.Family(), drvos::PlatformFamily::kPortDriver);
  const drvos::Handle h = os.OpenDevice("\\\\.\\WRTdev0");
  ASSERT_GT(h, 1u);
  EXPECT_TRUE(os.DeviceIoControl(h, 42, nullptr, 0, nullptr, 0));
  EXPECT_FALSE(os.DeviceIoControl(7, 42, nullptr, 0, nullptr, 0));  // only handles given out
  os.PortOut16(0x378, 5);
  EXPECT_EQ(os.PortIn16(0x379), 0x37A);
  EXPECT_TRUE(os.StartService("WinRT"));
  EXPECT_FALSE(os.StopService("WinRT"));
  EXPECT_TRUE(os.CloseHandle(h));
  ASSERT_EQ(backend.out.size(), 1u);
}

}  // namespace
}  // namespace kelvora::sim
