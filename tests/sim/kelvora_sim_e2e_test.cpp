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
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/zqBrel20.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// kelvora-sim as a child process: keys go to its standard input, its lines come back.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
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
    if (keys_ >= 0) close(keys_);  // end of input ends it
    if (pid_ > 0) {
      for (int i = 0; i < 50 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (kill(pid_, 0) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      }
    }
    if (out_ >= 0) close(out_);
  }

  bool Started() const { return pid_ > 0; }

  // One line of its output, or "" after the time limit.
  std::string ReadLine(int timeoutMs = 5000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
      size_t nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return "";
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char buf[256];
      ssize_t n = read(out_, buf, sizeof buf);
      if (n <= 0) return "";
      buffer_.append(buf, static_cast<size_t>(n));
    }
  }

  // The device path from the line NAME=/dev/pts/N.
  std::string Device(const std::string& var = "ZQBREL_COM1") {
    for (int i = 0; i < 4; ++i) {
      std::string line = ReadLine();
      if (line.rfind(var + "=", 0) == 0) return line.substr(var.size() + 1);
      if (line.empty()) break;
    }
    return "";
  }

  void Key(char k) { [[maybe_unused]] ssize_t w = write(keys_, &k, 1); }

  // The robot's true positions, asked for with the 'p' key.
  std::vector<double> Positions() {
    Key('p');
    for (int i = 0; i < 4; ++i) {
      std::string line = ReadLine();
      if (line.rfind("positions:", 0) != 0) continue;
      std::vector<double> result;
      std::istringstream in(line.substr(10));
      std::string item;
      while (in >> item) result.push_back(std::stod(item.substr(item.find('=') + 1)));
      return result;
    }
    return {};
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

TEST(KelvoraSimEndToEnd, MotorWordMovesTheAxisAndTheCounterFollowsItsTravel) {
  SimProcess sim({"--speed", "20", "--coast", "0.5", "--start", "20,50,50,10"});
  ASSERT_TRUE(sim.Started());
  std::string device = sim.Device();
  ASSERT_FALSE(device.empty());
  Connection link(device, 8);
  ASSERT_TRUE(link.Open());

  // up for about a second, then stop and let it run down
  zqSetMotor(&link.Record(), 1, 2);
  Pause(1000);
  zqSetMotor(&link.Record(), 1, 0);
  Pause(300);
  std::vector<double> pos = sim.Positions();
  ASSERT_EQ(pos.size(), 4u);
  double travelled = pos[0] - 20.0;
  EXPECT_GT(travelled, 14.0);
  EXPECT_LT(travelled, 28.0);
  // one counted change per whole unit, the run-down included
  EXPECT_NEAR(static_cast<double>(link.Counter(2)), travelled, 1.0);
  EXPECT_EQ(link.Counter(4), 0u);
  EXPECT_DOUBLE_EQ(pos[1], 50.0);
}

TEST(KelvoraSimEndToEnd, EndSwitchReadsClosedAtZeroAfterCountingTheWayDown) {
  SimProcess sim({"--speed", "25", "--coast", "0.5", "--start", "50,30,50,10"});
  std::string device = sim.Device();
  ASSERT_FALSE(device.empty());
  Connection link(device, 8);
  ASSERT_TRUE(link.Open());
  EXPECT_FALSE(link.InputSet(3));

  Write(link.Record().MotorWord, 0x0004);  // motor 2 left, as the program writes it
  ASSERT_TRUE(WaitFor([&] { return link.InputSet(3); }, 5000)) << "end switch of axis 2";
  Write(link.Record().MotorWord, 0);
  Pause(200);
  EXPECT_TRUE(link.InputSet(3));
  std::vector<double> pos = sim.Positions();
  ASSERT_EQ(pos.size(), 4u);
  EXPECT_DOUBLE_EQ(pos[1], 0.0);
  // 30 units down; the stop counts nothing however long the motor pushed
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

TEST(KelvoraSimEndToEnd, RunsAProgramWithThePortMappedAndEndsWithItsStatus) {
  std::vector<std::string> args = {KELVORA_SIM_PATH,
                                   "--com",
                                   "4",
                                   "--",
                                   "sh",
                                   "-c",
                                   "test -c \"$ZQBREL_COM4\" && exit 7; exit 1"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&fa);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
}

}  // namespace
