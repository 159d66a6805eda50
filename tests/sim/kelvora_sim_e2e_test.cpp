// SPDX-License-Identifier: MIT
// kelvora-sim end to end: the real driver library, its real timer thread and a real
// pseudo-terminal against the kelvora-sim process. Wall-clock timing is loose here: every
// wait is bounded, and what a busy machine can change (a poll too late to see an impulse,
// a reply too late for its read) is taken from what the simulator and the wire trace saw.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/zqBrel20.h"
#include "tests/support/scoped_env.h"
#include "tests/support/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

// kelvora-sim from this build.
class SimProcess : public kelvora::testing::SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args)
      : kelvora::testing::SimProcess(KELVORA_SIM_PATH, std::move(args)) {}
};

uint32_t Read(const uint32_t& field) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(field)).load(std::memory_order_relaxed);
}

void Write(uint32_t& field, uint32_t value) {
  std::atomic_ref<uint32_t>(field).store(value, std::memory_order_relaxed);
}

template <typename Pred>
bool WaitFor(Pred pred, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

void Pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Opens the library's record on the simulator's device under a COM name of its own, with
// the wire trace on, which tells the exchanges that failed.
class Connection {
 public:
  Connection(const std::string& device, uint32_t inputs) {
    char dir[] = "/tmp/kelvora_sim_trace_XXXXXX";
    if (mkdtemp(dir) != nullptr) trace_ = std::string(dir) + "/wire";
    kelvora::testing::ScopedEnv env{"ZQBREL_TRACE"};
    setenv("ZQBREL_COM7", device.c_str(), 1);
    kelvora::testing::ScopedEnv::Set("ZQBREL_TRACE", trace_.c_str());
    record_.InputCount = inputs;
    record_.PollInterval = 10;
    result_ = zqOpenInterface(&record_, "COM7");
  }
  ~Connection() {
    Close();
    if (!trace_.empty()) {
      unlink(trace_.c_str());
      rmdir(trace_.substr(0, trace_.rfind('/')).c_str());
    }
  }
  bool Open() const { return result_ != static_cast<int32_t>(ZQ_ERROR); }
  TBrelRecord& Record() { return record_; }
  uint32_t Counter(int input) const { return Read(record_.Counters[input - 1]); }
  bool InputSet(int input) { return zqGetInput(&record_, input) == -1; }
  void Close() { zqCloseInterface(&record_); }

  // Exchanges so far whose reply did not come whole in time (a busy machine: the box's
  // or the timer's thread ran late). Each may add or hide up to two changes of an input:
  // the error word sets every input, the next good reply clears them again.
  int FailedExchanges() {
    std::ifstream in(trace_);
    int failed = 0;
    for (std::string line; std::getline(in, line);)
      failed +=
          line.find("result=") != std::string::npos && line.find("result=ok") == std::string::npos;
    return failed;
  }

 private:
  std::string trace_;
  TBrelRecord record_{};
  int32_t result_ = 0;
};

// What the driver counted against what the box's replies showed: the same unless an
// exchange failed. The replies show no more than the axis made; what they miss came and
// went between two polls (a late tick).
void ExpectCountedAsSeen(Connection& link, uint32_t counted, kelvora::testing::Impulses axis) {
  const int failed = link.FailedExchanges();
  EXPECT_NEAR(static_cast<double>(counted), static_cast<double>(axis.seen), 2.0 * failed)
      << failed << " failed exchanges";
  EXPECT_LE(axis.seen, axis.made);
  ::testing::Test::RecordProperty("impulses_missed_by_late_polls",
                                  static_cast<int>(axis.made - axis.seen));
}

TEST(KelvoraSimEndToEnd, MotorWordMovesTheAxisTheCounterFollowsAndTheEndSwitchCloses) {
  SimProcess sim({"--speed", "25", "--coast", "0.5", "--start", "20,30,50,10"});
  ASSERT_TRUE(sim.Started());
  const std::string device = sim.Device();
  ASSERT_FALSE(device.empty());
  Connection link(device, 8);
  ASSERT_TRUE(link.Open());

  // Up for about a second, then stop and let it run down.
  zqSetMotor(&link.Record(), 1, 2);
  Pause(1000);
  zqSetMotor(&link.Record(), 1, 0);
  Pause(300);
  std::vector<double> pos = sim.Positions();
  ASSERT_EQ(pos.size(), 4u);
  const double travelled = pos[0] - 20.0;
  EXPECT_GT(travelled, 18.0);
  EXPECT_LT(travelled, 35.0);
  // One change per whole unit, the run-down included, and the driver counted each one
  // the box's replies showed.
  std::vector<kelvora::testing::Impulses> impulses = sim.ImpulseCounts();
  ASSERT_EQ(impulses.size(), 4u);
  EXPECT_NEAR(static_cast<double>(impulses[0].made), travelled, 1.0);
  ExpectCountedAsSeen(link, link.Counter(2), impulses[0]);
  EXPECT_EQ(link.Counter(4), 0u);
  EXPECT_DOUBLE_EQ(pos[1], 30.0);

  // Axis 2 down to its end switch; the stop counts nothing however long the motor pushed.
  EXPECT_FALSE(link.InputSet(3));
  Write(link.Record().MotorWord, 0x0004);  // motor 2 left, as the program writes it
  ASSERT_TRUE(WaitFor([&] { return link.InputSet(3); }, 5000)) << "end switch of axis 2";
  Write(link.Record().MotorWord, 0);
  Pause(200);
  EXPECT_TRUE(link.InputSet(3));
  pos = sim.Positions();
  ASSERT_EQ(pos.size(), 4u);
  EXPECT_DOUBLE_EQ(pos[1], 0.0);
  impulses = sim.ImpulseCounts();
  ASSERT_EQ(impulses.size(), 4u);
  EXPECT_EQ(impulses[1].made, 30);
  ExpectCountedAsSeen(link, link.Counter(4), impulses[1]);
}

TEST(KelvoraSimEndToEnd, Rob5CarriageAndTheInput11KeyOnTheSixteenInputBox) {
  SimProcess sim({"--layout", "rob5", "--speed", "30", "--coast", "0"});
  std::string device = sim.Device();
  ASSERT_FALSE(device.empty());
  Connection link(device, 16);
  ASSERT_TRUE(link.Open());
  std::vector<double> before = sim.Positions();
  ASSERT_EQ(before.size(), 5u);

  EXPECT_FALSE(link.InputSet(11));
  sim.Key('i');
  EXPECT_TRUE(WaitFor([&] { return link.InputSet(11); }, 2000));

  zqSetMotor(&link.Record(), 5, 1);
  Pause(500);
  zqSetMotor(&link.Record(), 5, 0);
  Pause(200);
  std::vector<double> after = sim.Positions();
  ASSERT_EQ(after.size(), 5u);
  double travelled = before[3] - after[3];
  EXPECT_GT(travelled, 8.0);
  const std::vector<kelvora::testing::Impulses> impulses = sim.ImpulseCounts();
  ASSERT_EQ(impulses.size(), 5u);
  EXPECT_NEAR(static_cast<double>(impulses[3].made), travelled, 1.0);
  ExpectCountedAsSeen(link, link.Counter(10), impulses[3]);
}

TEST(KelvoraSimEndToEnd, SilentAndVanishedBoxFailTheExchanges) {
  SimProcess sim({"--no-pace"});
  std::string device = sim.Device();
  ASSERT_FALSE(device.empty());
  Connection link(device, 8);
  ASSERT_TRUE(link.Open());
  sim.Key('s');
  EXPECT_TRUE(WaitFor([&] { return Read(link.Record().InputWord) == ZQ_ERROR; }, 2000));
  sim.Key('n');
  EXPECT_TRUE(WaitFor([&] { return Read(link.Record().InputWord) != ZQ_ERROR; }, 2000));
  sim.Key('v');
  EXPECT_TRUE(WaitFor([&] { return Read(link.Record().InputWord) == ZQ_ERROR; }, 2000));
  Pause(100);
  EXPECT_EQ(Read(link.Record().InputWord), ZQ_ERROR) << "a vanished device stays gone";
}

// The keys for an imperfect line: split, late and stray replies leave the inputs right
// once they end; a replug takes the device away and brings it back under the --link
// name, where the driver finds it again.
TEST(KelvoraSimEndToEnd, LineFaultKeysAndReplugUnderTheLinkName) {
  char dir[] = "/tmp/kelvora_sim_link_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string name = std::string(dir) + "/box";
  {
    SimProcess sim({"--no-pace", "--layout", "rob5", "--link", name});
    ASSERT_EQ(sim.Device(), name);
    Connection link(name, 16);
    ASSERT_TRUE(link.Open());
    bool on = false;
    for (char key : {'h', 'l', 'b'}) {
      sim.Key(key);
      Pause(150);
      sim.Key('n');
      sim.Key('i');
      on = !on;
      EXPECT_TRUE(WaitFor([&] { return link.InputSet(11) == on; }, 2000)) << key;
      Pause(100);
      EXPECT_EQ(link.InputSet(11), on) << key;
      EXPECT_NE(Read(link.Record().InputWord), ZQ_ERROR) << key;
    }
    sim.Key('r');
    EXPECT_TRUE(WaitFor([&] { return Read(link.Record().InputWord) == ZQ_ERROR; }, 2000));
    EXPECT_FALSE(sim.LineAfter("kelvora-sim: the device is back").empty());
    EXPECT_TRUE(WaitFor([&] { return Read(link.Record().InputWord) != ZQ_ERROR; }, 3000));
    EXPECT_EQ(link.InputSet(11), on);
  }
  rmdir(dir);  // the simulator took its link with it
}

TEST(KelvoraSimEndToEnd, AWindowWithoutADisplaySaysWhyAndTheSimulatorRunsOn) {
  // no display named at all, and a display that is not there
  for (const char* display : {static_cast<const char*>(nullptr), ":9797"}) {
    SCOPED_TRACE(display ? display : "no DISPLAY");
    kelvora::testing::ScopedEnv env{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    kelvora::testing::ScopedEnv::Set("DISPLAY", display);
    kelvora::testing::ScopedEnv::Set("WAYLAND_DISPLAY", nullptr);
    kelvora::testing::ScopedEnv::Set("QT_QPA_PLATFORM", nullptr);
    SimProcess sim({"--view", "--start", "5,6,7,8"});
    ASSERT_TRUE(sim.Started());
    EXPECT_NE(sim.LineAfter("kelvora-sim: no window: "), "");
    const std::string device = sim.Device();
    ASSERT_FALSE(device.empty());
    // The first exchange of an open may miss its time-out on a busy machine, while the
    // simulator is still starting up: the open is tried again, as a user would.
    bool opened = false;
    for (int attempt = 0; attempt < 5 && !opened; ++attempt) {
      Connection link(device, 8);
      opened = link.Open();
    }
    EXPECT_TRUE(opened);
    EXPECT_EQ(sim.Positions(), (std::vector<double>{5, 6, 7, 8}));
  }
}

TEST(KelvoraSimEndToEnd, RunsAProgramWithThePortMappedAndEndsWithItsStatus) {
  const std::string cmd = kelvora::testing::BuiltProgramShell(KELVORA_SIM_PATH) +
                          " --com 4 -- sh -c 'test -c \"$ZQBREL_COM4\" && exit 7; exit 1'"
                          " </dev/null >/dev/null";
  const int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
}

// With its window, the simulator tells the program it starts where the window is, beside
// the port's mapping.
TEST(KelvoraSimEndToEnd, TellsTheProgramItStartsWhereItsWindowIs) {
  kelvora::testing::ScopedEnv env{"QT_QPA_PLATFORM", "KELVORA_SIM_WINDOW"};
  kelvora::testing::ScopedEnv::Set("QT_QPA_PLATFORM", "offscreen");
  kelvora::testing::ScopedEnv::Set("KELVORA_SIM_WINDOW", nullptr);
  const std::string cmd = kelvora::testing::BuiltProgramShell(KELVORA_SIM_PATH) +
                          " --view --no-keys --no-status -- sh -c 'test -c \"$ZQBREL_COM1\" && "
                          "echo \"window=$KELVORA_SIM_WINDOW\"' </dev/null 2>&1";
  FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  ASSERT_EQ(pclose(pipe), 0) << out;
  if (out.find("no window: built without Qt") != std::string::npos)
    GTEST_SKIP() << "kelvora-sim built without its window";
  int x, y, w, h;
  const size_t at = out.find("window=");
  ASSERT_NE(at, std::string::npos) << out;
  ASSERT_EQ(std::sscanf(out.c_str() + at, "window=%d,%d,%d,%d", &x, &y, &w, &h), 4) << out;
  EXPECT_GT(w, 400);
  EXPECT_GT(h, 300);
}

}  // namespace
