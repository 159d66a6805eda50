// SPDX-License-Identifier: MIT
// The POSIX layer under the shipped library: handles, device names, the serial read
// rules on a real pseudo-terminal, and the periodic timer's kill and catch-up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>

#include "driver/os/posix_os.h"
#include "tests/support/scoped_env.h"

namespace kelvora::drvos {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(PosixLayer, HandlesAndDeviceNames) {
  std::set<Handle> seen;
  for (int i = 0; i < 100; ++i) {
    const Handle h = RegisterHandle(HandleEntry{HandleKind::kSerial, -1, nullptr});
    EXPECT_GT(h, 1u);
    EXPECT_TRUE(seen.insert(h).second);
  }
  for (Handle h : seen) EXPECT_TRUE(UnregisterHandle(h, nullptr));
  PosixOs os;
  EXPECT_FALSE(os.CloseHandle(*seen.begin()));
  EXPECT_FALSE(os.CloseHandle(0));

  // The defaults, whatever the ports file of whoever runs the tests maps.
  const testing::ScopedEnv env{"XDG_CONFIG_HOME"};
  setenv("XDG_CONFIG_HOME", "/nonexistent/kelvora-test", 1);
  unsetenv("ZQBREL_COM3");
  EXPECT_EQ(DevicePathFor("COM1"), "/dev/ttyS0");
  EXPECT_EQ(DevicePathFor("com3"), "/dev/ttyS2");
  EXPECT_EQ(DevicePathFor("LPT2"), "/dev/parport1");
  setenv("ZQBREL_COM3", "/dev/ttyUSB0", 1);
  EXPECT_EQ(DevicePathFor("COM3"), "/dev/ttyUSB0");
  unsetenv("ZQBREL_COM3");
  for (const char* bad : {"COM", "COM0", "COMX", "C", "", "NONE", "COM1x"}) {
    EXPECT_EQ(DevicePathFor(bad), "") << bad;
  }
  EXPECT_EQ(DevicePathFor(nullptr), "");
  EXPECT_EQ(os.OpenDevice(nullptr), kNoHandle);
  // A device that is no terminal opens but refuses the line settings.
  setenv("ZQBREL_COM8", "/dev/null", 1);
  const Handle h = os.OpenDevice("COM8");
  ASSERT_NE(h, kNoHandle);
  EXPECT_FALSE(os.SetCommLine(h, SerialLine{9600, 8, 0, 0}));
  EXPECT_TRUE(os.CloseHandle(h));
}

// A pty whose slave the layer opens as COM7.
class PosixSerialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
    setenv("ZQBREL_COM7", ptsname(master), 1);
    h = os.OpenDevice("COM7");
    ASSERT_NE(h, kNoHandle);
    ASSERT_TRUE(os.SetCommLine(h, SerialLine{9600, 8, 0, 0}));
    ASSERT_TRUE(os.SetCommTimeouts(h, SerialTimeouts{5, 4, 30, 1, 10}));
  }
  void TearDown() override {
    if (h != kNoHandle) os.CloseHandle(h);
    if (master >= 0) close(master);
  }
  PosixOs os;
  int master = -1;
  Handle h = kNoHandle;
};

TEST_F(PosixSerialTest, ExclusiveRawLineWithOnlyItsSettingsChanged) {
  EXPECT_EQ(os.OpenDevice("COM7"), kNoHandle);
  termios t{};
  const int fd = open(getenv("ZQBREL_COM7"), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  close(fd);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  // Bytes that a cooked line would translate or swallow pass untouched both ways.
  const uint8_t out[] = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0xFF};
  EXPECT_EQ(os.WriteFile(h, out, sizeof out), 6);
  uint8_t seen[6] = {};
  for (size_t n = 0; n < 6;) {
    const ssize_t r = read(master, seen + n, 6 - n);
    ASSERT_GT(r, 0);
    n += static_cast<size_t>(r);
  }
  EXPECT_EQ(0, memcmp(out, seen, 6));
  ASSERT_EQ(write(master, out, 6), 6);
  EXPECT_EQ(os.ReadFile(h, seen, 6), 6);
  EXPECT_EQ(0, memcmp(out, seen, 6));
}

TEST_F(PosixSerialTest, ReadReturnsWhatCameAfterTheIntervalOrTheTotal) {
  uint8_t buf[4];
  auto start = Clock::now();
  EXPECT_EQ(os.ReadFile(h, buf, 4), 0);  // silence: the total, 30 + 16 ms, is no error
  EXPECT_GE(Clock::now() - start, 45ms);
  const uint8_t two[] = {7, 9};
  ASSERT_EQ(write(master, two, 2), 2);
  start = Clock::now();
  EXPECT_EQ(os.ReadFile(h, buf, 4), 2);  // quiet for 5 ms after the bytes: done early
  EXPECT_LT(Clock::now() - start, 40ms);
  EXPECT_EQ(0, memcmp(buf, two, 2));
}

TEST_F(PosixSerialTest, PurgeDropsWhatWaitsAndNothingAfter) {
  const uint8_t stale[] = {0x05, 0x80, 0x42};
  ASSERT_EQ(write(master, stale, 3), 3);
  std::this_thread::sleep_for(20ms);  // through the pty into the slave's buffer
  EXPECT_TRUE(os.PurgeInput(h));
  uint8_t buf[2];
  EXPECT_EQ(os.ReadFile(h, buf, 1), 0);
  const uint8_t fresh[] = {0x11};
  ASSERT_EQ(write(master, fresh, 1), 1);
  EXPECT_EQ(os.ReadFile(h, buf, 1), 1);
  EXPECT_EQ(buf[0], 0x11);
}

TEST_F(PosixSerialTest, VanishedDeviceFailsAtOnceEveryTime) {
  close(master);
  master = -1;
  uint8_t buf[2] = {0xC1, 0};
  for (int i = 0; i < 3; ++i) {
    const auto start = Clock::now();
    EXPECT_EQ(os.ReadFile(h, buf, 2), -1);
    EXPECT_LT(Clock::now() - start, 25ms);  // no waiting out the total on a dead device
    EXPECT_EQ(os.WriteFile(h, buf, 2), -1);
  }
  EXPECT_TRUE(os.CloseHandle(h));
  h = kNoHandle;
}

struct TickLog {
  std::atomic<int> ticks{0};
  std::atomic<bool> inTick{false}, overlapped{false};
  std::atomic<uint32_t> killResult{99};
  int sleepMs = 0;  // in the first tick only, unless every tick
  bool everyTick = false;
  PosixOs* os = nullptr;  // set: the first tick kills its own timer
};

void Tick(uint32_t id, uint32_t, uintptr_t user, uintptr_t, uintptr_t) {
  auto* log = reinterpret_cast<TickLog*>(user);
  if (log->inTick.exchange(true)) log->overlapped = true;
  const int n = log->ticks.fetch_add(1);
  if (log->os != nullptr && n == 0) log->killResult = log->os->TimeKillEvent(id);
  if (log->sleepMs > 0 && (n == 0 || log->everyTick)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(log->sleepMs));
  }
  log->inTick = false;
}

uint32_t Start(PosixOs& os, TickLog& log, uint32_t period) {
  return os.TimeSetEvent(period, 0, &Tick, reinterpret_cast<uintptr_t>(&log), 1);
}

TEST(PosixTimer, KillFromInsideItsTickReturnsAndStopsIt) {
  PosixOs os;
  TickLog log;
  log.os = &os;
  const uint32_t id = Start(os, log, 5);
  ASSERT_NE(id, 0u);
  while (log.ticks == 0) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(50ms);
  // The killed tick's last write to log is over before log leaves the stack.
  while (log.inTick) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(log.ticks, 1);
  EXPECT_EQ(log.killResult, 0u);
  EXPECT_NE(os.TimeKillEvent(id), 0u);  // gone already
}

TEST(PosixTimer, KillWaitsForTheTickInProgress) {
  PosixOs os;
  TickLog log;
  log.sleepMs = 30;
  log.everyTick = true;
  const uint32_t id = Start(os, log, 5);
  while (!log.inTick) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(os.TimeKillEvent(id), 0u);
  EXPECT_FALSE(log.inTick);  // the tick had finished when the kill returned
  const int after = log.ticks;
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(log.ticks, after);  // and none started afterwards
}

TEST(PosixTimer, OverrunIsCaughtUpNotSkipped) {
  PosixOs os;
  TickLog log;
  log.sleepMs = 100;
  const auto start = Clock::now();
  const uint32_t id = Start(os, log, 10);
  std::this_thread::sleep_for(300ms);
  os.TimeKillEvent(id);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  // Skipping would lose the ~9 ticks due during the blocked one. Generous margin.
  EXPECT_GE(log.ticks, static_cast<int>(elapsed.count() / 10) - 4);
  EXPECT_FALSE(log.overlapped);
  EXPECT_NE(os.TimeKillEvent(123456), 0u);
  EXPECT_EQ(os.TimeSetEvent(10, 0, nullptr, 0, 1), 0u);
}

}  // namespace
}  // namespace kelvora::drvos
