// SPDX-License-Identifier: MIT
// End to end: the built libzqBrel20.so, its real timer thread and a real
// pseudo-terminal with the box on the master side. Timing assertions are tolerant.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "driver/zqBrel20.h"
#include "pty_box.h"
#include "tests/support/emulator.h"

namespace kelvora::drvtest {
namespace {

using namespace std::chrono_literals;
using Clock = PtyBox::Clock;

void Wait(std::chrono::milliseconds d) {
  std::this_thread::sleep_for(d);
}

uint32_t Field(const uint32_t& f) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(f)).load(std::memory_order_relaxed);
}

// Polls a condition for up to two seconds: only a slow machine makes it wait long.
template <typename F>
bool Eventually(F f) {
  const auto end = Clock::now() + 2s;
  while (Clock::now() < end) {
    if (f()) return true;
    Wait(5ms);
  }
  return f();
}

class PtyDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    pty.MapAs("COM1");
  }
  void TearDown() override { zqCloseInterface(&rec); }

  PtyBox pty;
  TBrelRecord rec{};
};

TEST_F(PtyDriverTest, OpenTicksSendsMotorWordCountsAndCloses) {
  pty.box.SetInputs(0x0003);
  rec.PollInterval = 10;
  ASSERT_EQ(zqOpenInterface(&rec, "COM1"), 0x03);
  EXPECT_EQ(pty.box.Received(), (std::vector<uint8_t>{0xC1, 0x00}));

  Wait(500ms);
  const auto times = pty.ExchangeTimes();
  ASSERT_GE(times.size(), 20u);
  EXPECT_LE(times.size(), 60u);
  std::vector<double> gaps;
  for (size_t i = 2; i < times.size(); ++i) {
    gaps.push_back(std::chrono::duration<double, std::milli>(times[i] - times[i - 1]).count());
  }
  std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
  EXPECT_NEAR(gaps[gaps.size() / 2], 10.0, 3.0);

  EXPECT_EQ(zqSetMotor(&rec, 1, 2), 0x03);
  EXPECT_EQ(zqSetMotor(&rec, 4, 1), 0x03);
  ASSERT_TRUE(Eventually([&] { return pty.box.MotorWord() == 0x0042; }));
  const auto bytes = pty.box.Received();
  EXPECT_EQ(bytes[bytes.size() - 2], 0xC1);
  EXPECT_EQ(bytes.back(), 0x42);

  // The caller restarts a count while the timer ticks: a word store, as the program does.
  std::atomic_ref<uint32_t>(rec.Counters[0]).store(0, std::memory_order_relaxed);
  for (int i = 0; i < 4; ++i) {
    pty.box.SetInput(1, i % 2 != 0);
    Wait(60ms);
  }
  EXPECT_EQ(Field(rec.Counters[0]), 4u);
  EXPECT_EQ(Field(rec.Counters[1]), 0u);

  const auto before = Clock::now();
  EXPECT_EQ(zqCloseInterface(&rec), 1);
  EXPECT_GE(Clock::now() - before, 38ms);  // four periods
  const size_t after = pty.Exchanges();
  ASSERT_TRUE(Eventually([&] { return !pty.Hangups().empty(); }));
  Wait(100ms);
  EXPECT_EQ(pty.Exchanges(), after);  // the timer is gone
}

TEST_F(PtyDriverTest, MissingBusyAndSilentPortsFailOpen) {
  setenv("ZQBREL_COM2", "/nonexistent/kelvora-tty", 1);
  TBrelRecord other{};
  EXPECT_EQ(zqOpenInterface(&other, "COM2"), 0x1FFFF);

  ASSERT_EQ(zqOpenInterface(&rec, "COM1"), 0);
  EXPECT_EQ(zqOpenInterface(&other, "COM1"), 0x1FFFF);  // exclusive
  EXPECT_EQ(other.Handle, 0u);
  EXPECT_EQ(zqCloseInterface(&rec), 1);

  pty.box.SetFault(sim::BoxFault::kSilent);
  const auto start = Clock::now();
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 0x1FFFF);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 30ms);  // 30 + 4 ms for one byte
  EXPECT_LT(took, 1000ms);
  EXPECT_EQ(rec.Handle, 0u);
  pty.box.SetFault(sim::BoxFault::kNone);
  EXPECT_EQ(zqOpenInterface(&rec, "COM1"), 0);  // the failed open let go of the port
}

TEST_F(PtyDriverTest, SilentThenVanishedBoxKeepsTickingAndCloseCompletes) {
  ASSERT_EQ(zqOpenInterface(&rec, "COM1"), 0);
  pty.box.SetFault(sim::BoxFault::kSilent);
  EXPECT_TRUE(Eventually([&] { return Field(rec.InputWord) == 0x1FFFFu; }));
  pty.box.SetFault(sim::BoxFault::kNone);
  EXPECT_TRUE(Eventually([&] { return Field(rec.InputWord) == 0u; }));
  pty.Vanish();
  EXPECT_TRUE(Eventually([&] { return Field(rec.InputWord) == 0x1FFFFu; }));
  Wait(100ms);
  EXPECT_EQ(Field(rec.InputWord), 0x1FFFFu);
  EXPECT_EQ(zqGetInput(&rec, 9), -1);
  const auto start = Clock::now();
  zqCloseInterface(&rec);
  EXPECT_LT(Clock::now() - start, 1000ms);
  EXPECT_EQ(rec.Handle, 0u);
}

// Polls a condition for up to `limit`.
template <typename F>
bool Within(std::chrono::milliseconds limit, F f) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (f()) return true;
    Wait(5ms);
  }
  return f();
}

// What a fault leaves on a real pseudo-terminal (the rest of a split reply, a late
// reply, a stray byte) is dropped before the next command: once the fault has ended,
// the inputs are right and stay right. Without the purge, every later reply would be
// read shifted by the bytes left over.
TEST_F(PtyDriverTest, LeftoverBytesOfAFaultNeverShiftLaterReplies) {
  rec.InputCount = 16;
  ASSERT_EQ(zqOpenInterface(&rec, "COM1"), 0);
  const uint16_t words[] = {0x8005, 0x1234};
  for (auto fault : {sim::BoxFault::kSplit, sim::BoxFault::kLate, sim::BoxFault::kStray}) {
    pty.box.SetFault(fault);
    Wait(150ms);
    pty.box.SetFault(sim::BoxFault::kNone);
    Wait(100ms);  // what was still on its way has come (and gone)
    for (uint16_t w : words) {
      pty.box.SetInputs(w);
      ASSERT_TRUE(Eventually([&] { return Field(rec.InputWord) == w; }))
          << sim::BoxFaultName(fault) << " " << std::hex << Field(rec.InputWord);
      for (int i = 0; i < 10; ++i) {
        Wait(10ms);
        EXPECT_EQ(Field(rec.InputWord), w) << sim::BoxFaultName(fault);
      }
    }
  }
}

// A reply that comes after the read has given up is still on its way when the next
// command goes out. It must never be read as that command's reply: while the box answers
// late every exchange fails, and once it answers in time again the first good word is
// the box's word of now, never the one a late reply still carried.
TEST_F(PtyDriverTest, ALateReplyIsNeverTakenForTheNextCommandsReply) {
  rec.InputCount = 16;
  ASSERT_EQ(zqOpenInterface(&rec, "COM1"), 0);
  const uint32_t before = 0x8005, now = 0x1234;
  pty.box.SetInputs(before);
  pty.box.SetFault(sim::BoxFault::kLate);
  ASSERT_TRUE(Eventually([&] { return Field(rec.InputWord) == 0x1FFFFu; }));
  // Exchanges fail while the box answers late; one whose read a busy machine started late
  // enough may see its own late reply in time, which is the box's word and right. Never
  // is it anything else (a reply shifted by a leftover byte).
  for (int i = 0; i < 100; ++i, Wait(3ms)) {
    const uint32_t w = Field(rec.InputWord);
    EXPECT_TRUE(w == 0x1FFFFu || w == before) << std::hex << w;
  }

  // Every reply still on its way carries the old word.
  pty.box.SetInputs(now);
  pty.box.SetFault(sim::BoxFault::kNone);
  ASSERT_TRUE(Eventually([&] { return Field(rec.InputWord) != 0x1FFFFu; }));
  for (int i = 0; i < 20; ++i, Wait(5ms)) EXPECT_EQ(Field(rec.InputWord), now) << std::hex << i;
}

// The adapter is pulled and plugged back in under the stable name the port is mapped
// to (as /dev/serial/by-id/... is): the timer ticks on with the error value, finds the
// new device, and the box hears motors off until the program commands again.
TEST_F(PtyDriverTest, ReplugUnderAStableNameResumesWithMotorsOff) {
  char dir[] = "/tmp/kelvora_replug_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/ttyUSB-box";
  auto pointLinkAt = [&](const std::string& target) {
    const std::string fresh = link + ".new";
    return symlink(target.c_str(), fresh.c_str()) == 0 && rename(fresh.c_str(), link.c_str()) == 0;
  };
  ASSERT_TRUE(pointLinkAt(pty.SlavePath()));
  setenv("ZQBREL_COM1", link.c_str(), 1);
  pty.box.SetInputs(0x0003);
  ASSERT_EQ(zqOpenInterface(&rec, "COM1"), 0x03);
  zqSetMotor(&rec, 1, 2);
  ASSERT_TRUE(Eventually([&] { return pty.box.MotorWord() == 0x0002; }));

  // Pulled: the name goes with the device, as udev removes it.
  ASSERT_TRUE(pointLinkAt("/nonexistent/kelvora-tty"));
  pty.Vanish();
  ASSERT_TRUE(Eventually([&] { return Field(rec.InputWord) == 0x1FFFFu; }));
  Wait(300ms);
  EXPECT_EQ(Field(rec.InputWord), 0x1FFFFu);

  PtyBox back;
  ASSERT_TRUE(back.ok());
  back.box.SetInputs(0x0005);
  ASSERT_TRUE(pointLinkAt(back.SlavePath()));
  // One look a second: back within about a second and a tick.
  ASSERT_TRUE(Within(3000ms, [&] { return Field(rec.InputWord) == 0x05u; }));
  EXPECT_EQ(Field(rec.MotorWord), 0u);
  Wait(100ms);
  const auto words = back.box.MotorWords();
  ASSERT_FALSE(words.empty());
  EXPECT_EQ(std::count(words.begin(), words.end(), 0), static_cast<long>(words.size()));
  zqSetMotor(&rec, 1, 1);
  EXPECT_TRUE(Eventually([&] { return back.box.MotorWord() == 0x0001; }));
  EXPECT_EQ(zqCloseInterface(&rec), 1);
  unlink(link.c_str());
  rmdir(dir);
}

// ZQBREL_TRACE: one line per exchange, in a form a script can read, the failures too.
TEST_F(PtyDriverTest, TraceWritesOneParsableLinePerExchange) {
  char path[] = "/tmp/kelvora_trace_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  setenv("ZQBREL_TRACE", path, 1);
  rec.InputCount = 16;
  pty.box.SetInputs(0x8005);
  const int32_t opened = zqOpenInterface(&rec, "COM1");
  unsetenv("ZQBREL_TRACE");
  ASSERT_EQ(opened, 0x05);
  Wait(150ms);
  pty.box.SetFault(sim::BoxFault::kSilent);
  ASSERT_TRUE(Eventually([&] { return Field(rec.InputWord) == 0x1FFFFu; }));
  pty.box.SetFault(sim::BoxFault::kNone);
  ASSERT_TRUE(Eventually([&] { return Field(rec.InputWord) == 0x8005u; }));
  EXPECT_EQ(zqCloseInterface(&rec), 1);

  const std::regex line(
      R"(t=(\d+\.\d{6}) port=COM1 out=([0-9A-F]+|-) in=([0-9A-F]+|-) want=(\d) )"
      R"(took_ms=\d+\.\d{3} timeouts=(\d+) reopens=0 result=(ok|short|timeout|gone|back))");
  std::ifstream in(path);
  std::vector<std::string> texts;
  for (std::string text; std::getline(in, text);) texts.push_back(text);
  unlink(path);
  ASSERT_EQ(texts.size(), pty.Exchanges());
  double last = 0;
  unsigned timeouts = 0;
  for (size_t i = 0; i < texts.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(texts[i], m, line)) << texts[i];
    const double t = std::stod(m[1]);
    EXPECT_GE(t, last);
    last = t;
    const std::string result = m[6];
    if (i == 0) {
      EXPECT_EQ(m[2], "C100");
      EXPECT_EQ(m[3], "05");
      EXPECT_EQ(result, "ok");
    } else if (result == "ok") {
      EXPECT_EQ(m[2], "C20000");
      EXPECT_EQ(m[3], "0580");
      EXPECT_EQ(m[4], "2");
    } else {
      EXPECT_EQ(result, "timeout") << texts[i];
      EXPECT_EQ(m[3], "-");
      ++timeouts;
    }
    EXPECT_EQ(std::stoul(m[5]), timeouts);
  }
  EXPECT_GE(timeouts, 1u);
}

// Runs the helper and notes when each of its stdout lines arrived.
struct HelperRun {
  int status = -1;
  std::vector<std::pair<std::string, Clock::time_point>> lines;
  Clock::time_point At(const std::string& line) const {
    for (const auto& [text, at] : lines)
      if (text == line) return at;
    ADD_FAILURE() << "helper never said " << line;
    return Clock::time_point::max();
  }
};

HelperRun RunHelper(const char* mode) {
  // The library's handle and timer tables are never freed, so that the clean-up at exit
  // can still use them; once dlclose unmaps them that is no leak worth reporting.
  const std::string cmd = std::string("ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" ") +
                          kelvora::testing::BuiltProgramShell(ZQBREL_HELPER_PATH) + " '" +
                          ZQBREL_LIB_PATH + "' " + mode;
  HelperRun run;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return run;
  char line[64];
  while (fgets(line, sizeof line, p) != nullptr) {
    run.lines.emplace_back(std::string(line, strcspn(line, "\n")), Clock::now());
  }
  run.status = pclose(p);
  return run;
}

size_t ExchangesAfter(const std::vector<Clock::time_point>& times, Clock::time_point t) {
  return static_cast<size_t>(
      std::count_if(times.begin(), times.end(), [t](auto x) { return x > t; }));
}

TEST_F(PtyDriverTest, UnloadClosesTheRecordTheProgramLeftOpen) {
  const HelperRun run = RunHelper("unload");
  ASSERT_TRUE(WIFEXITED(run.status)) << run.status;
  ASSERT_EQ(WEXITSTATUS(run.status), 0);
  const auto unloading = run.At("unloading");
  const auto unloaded = run.At("unloaded");
  const auto times = pty.ExchangeTimes();
  const auto hangups = pty.Hangups();
  ASSERT_FALSE(hangups.empty());
  // The port was let go during dlclose, while the process still ran on: it lingers
  // 300 ms after unloading, so a hangup from the process end would come much later.
  EXPECT_LT(hangups.front(), unloaded + 150ms);
  EXPECT_GT(hangups.front(), unloading);
  // Ticks went on through the wait of four periods (200 ms at 50 ms), then stopped.
  EXPECT_GE(ExchangesAfter(times, unloading), 2u);
  EXPECT_EQ(ExchangesAfter(times, hangups.front()), 0u);
}

TEST_F(PtyDriverTest, ProcessEndClosesTheRecordTheProgramLeftOpen) {
  const HelperRun run = RunHelper("exit");
  ASSERT_TRUE(WIFEXITED(run.status)) << run.status;
  EXPECT_EQ(WEXITSTATUS(run.status), 0);
  const auto exiting = run.At("exiting");
  const auto times = pty.ExchangeTimes();
  ASSERT_TRUE(Eventually([&] { return !pty.Hangups().empty(); }));
  // Without the clean-up the ticks would end with the process at once; the wait of
  // four periods keeps them going for about 200 ms.
  EXPECT_GE(ExchangesAfter(times, exiting), 2u);
  EXPECT_EQ(ExchangesAfter(times, pty.Hangups().front()), 0u);
}

// The library exports exactly the eight functions, by name, and nothing else.
TEST(DriverExports, DynamicSymbolTableHoldsExactlyTheEight) {
  FILE* p = popen((std::string("nm -D --defined-only ") + ZQBREL_LIB_PATH).c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::set<std::string> names;
  char line[512], name[400];
  char type = 0;
  while (fgets(line, sizeof line, p) != nullptr) {
    if (sscanf(line, "%*s %c %399s", &type, name) != 2 || type == 'A') continue;  // A: version
    names.insert(std::string(name).substr(0, std::string(name).find('@')));
  }
  ASSERT_EQ(pclose(p), 0);
  EXPECT_EQ(names, (std::set<std::string>{"zqOpenInterface", "zqCloseInterface", "zqGetVersion",
                                          "zqGetInput", "zqSetMotor", "zqSetLamp", "zqStartDriver",
                                          "zqStopDriver"}));
  EXPECT_EQ(zqGetVersion(), 201);
}

}  // namespace
}  // namespace kelvora::drvtest
