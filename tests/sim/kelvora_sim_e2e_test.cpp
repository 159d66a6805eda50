// kelvora-sim end to end: the real driver library, its real timer thread and a real
// pseudo-terminal against the kelvora-sim process. Wall-clock timing is loose here, so
// every assertion allows for a poll or two of slack and every wait is bounded.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/zqBrel20.h"
#include "tests/support/scoped_env.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// kelvora-sim as a child process: keys go to its standard input, its lines (standard
// output and error) come back.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDERR_FILENO);
    args.insert(args.begin(), KELVORA_SIM_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    close(out[1]);
    keys_ = in[1];
    out_ = out[0];
  }

  ~SimProcess() {
    if (pid_ > 0) {
      // Asked first, so that it removes what it made (a --link name); then told.
      kill(pid_, SIGTERM);
      pid_t done = 0;
      for (int i = 0; i < 100 && (done = waitpid(pid_, nullptr, WNOHANG)) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      if (done == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      }
    }
    close(keys_);
    close(out_);
  }

  bool Started() const { return pid_ > 0; }
  void Key(char k) { [[maybe_unused]] ssize_t w = write(keys_, &k, 1); }

  // The rest of the next output line that starts with `prefix`, or "" after 5 s.
  std::string LineAfter(const std::string& prefix) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
      for (size_t nl; (nl = buffer_.find('\n')) != std::string::npos;) {
        const std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd p{out_, POLLIN, 0};
      char buf[256];
      ssize_t n = 0;
      if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0 ||
          (n = read(out_, buf, sizeof buf)) <= 0) {
        return "";
      }
      buffer_.append(buf, static_cast<size_t>(n));
    }
  }

  // The device path from the line ZQBREL_COM1=/dev/pts/N.
  std::string Device() { return LineAfter("ZQBREL_COM1="); }

  // The robot's true positions, asked for with the 'p' key.
  std::vector<double> Positions() {
    Key('p');
    std::istringstream in(LineAfter("positions:"));
    std::vector<double> result;
    for (std::string item; in >> item;)
      result.push_back(std::stod(item.substr(item.find('=') + 1)));
    return result;
  }

 private:
  pid_t pid_ = -1;
  int keys_ = -1;
  int out_ = -1;
  std::string buffer_;
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

// Opens the library's record on the simulator's device under a COM name of its own.
class Connection {
 public:
  Connection(const std::string& device, uint32_t inputs) {
    setenv("ZQBREL_COM7", device.c_str(), 1);
    record_.InputCount = inputs;
    record_.PollInterval = 10;
    result_ = zqOpenInterface(&record_, "COM7");
  }
  ~Connection() { zqCloseInterface(&record_); }
  bool Open() const { return result_ != static_cast<int32_t>(ZQ_ERROR); }
  TBrelRecord& Record() { return record_; }
  uint32_t Counter(int input) const { return Read(record_.Counters[input - 1]); }
  bool InputSet(int input) { return zqGetInput(&record_, input) == -1; }

 private:
  TBrelRecord record_{};
  int32_t result_ = 0;
};

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
  // One counted change per whole unit, the run-down included.
  EXPECT_NEAR(static_cast<double>(link.Counter(2)), travelled, 1.0);
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
  EXPECT_NEAR(static_cast<double>(link.Counter(4)), 30.0, 1.0);
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
  EXPECT_NEAR(static_cast<double>(link.Counter(10)), travelled, 1.0);
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
    Connection link(device, 8);
    EXPECT_TRUE(link.Open());
    EXPECT_EQ(sim.Positions(), (std::vector<double>{5, 6, 7, 8}));
  }
}

TEST(KelvoraSimEndToEnd, RunsAProgramWithThePortMappedAndEndsWithItsStatus) {
  const std::string cmd = std::string("'") + KELVORA_SIM_PATH +
                          "' --com 4 -- sh -c 'test -c \"$ZQBREL_COM4\" && exit 7; exit 1'"
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
  const std::string cmd = std::string("'") + KELVORA_SIM_PATH +
                          "' --view --no-keys --no-status -- sh -c 'test -c \"$ZQBREL_COM1\" && "
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
