// kelvora-play end to end: the real driver library, its timer thread and a real
// pseudo-terminal against the kelvora-sim process. Real time, tolerant assertions.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace {

// A child process with its standard input and output on pipes.
class Child {
 public:
  Child(std::vector<std::string> args, const std::vector<std::string>& extraEnv = {}) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, out[1], 2);
    posix_spawn_file_actions_addclose(&fa, in[1]);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    for (const auto& e : extraEnv) env.push_back(e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = out[0];
  }
  ~Child() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      Wait(5000);
    }
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
  }

  pid_t Pid() const { return pid_; }
  void Send(const std::string& s) { (void)!write(in_, s.data(), s.size()); }
  const std::string& Output() const { return output_; }

  // Reads output until it contains text (from offset from), or the time is up.
  bool WaitFor(const std::string& text, int ms, size_t from = 0) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (output_.find(text, from) == std::string::npos) {
      int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      end - std::chrono::steady_clock::now())
                                      .count());
      if (left <= 0 || !ReadSome(left)) return false;
    }
    return true;
  }
  // Exit status (128 + signal for a signal), -1 on time-out.
  int Wait(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      ReadSome(20);
      int st = 0;
      pid_t r = waitpid(pid_, &st, WNOHANG);
      if (r == pid_) {
        while (ReadSome(0)) {
        }
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return status_;
      }
    }
    return -1;
  }

 private:
  bool ReadSome(int ms) {
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return false;
    char buf[4096];
    ssize_t n = read(out_, buf, sizeof buf);
    if (n <= 0) return false;
    output_.append(buf, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  int status_ = -1;
  std::string output_;
};

class KelvoraPlayEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_ = std::make_unique<Child>(
        std::vector<std::string>{KELVORA_SIM_PATH, "--no-status", "-p", "3,3,3,3"});
    ASSERT_GT(sim_->Pid(), 0);
    ASSERT_TRUE(sim_->WaitFor("ZQBREL_COM1=", 5000));
    ASSERT_TRUE(sim_->WaitFor("\n", 2000, sim_->Output().find("ZQBREL_COM1=")));
    size_t at = sim_->Output().find("ZQBREL_COM1=");
    mapping_ = sim_->Output().substr(at, sim_->Output().find('\n', at) - at);

    char tmpl[] = "/tmp/kelvora-play-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    script_ = dir_ + "/E2E.RB3";
    std::ofstream(script_, std::ios::binary)
        << "     0     0     0     0\r\n    12     8     6     1\r\n";
  }
  void TearDown() override {
    sim_->Send("q");
    sim_->Wait(5000);
    std::remove(script_.c_str());
    rmdir(dir_.c_str());
  }
  std::string Positions() {
    size_t from = sim_->Output().size();
    sim_->Send("p");
    if (!sim_->WaitFor("positions:", 3000, from)) return "(none)";
    sim_->WaitFor("\n", 1000, sim_->Output().find("positions:", from));
    size_t at = sim_->Output().find("positions:", from);
    return sim_->Output().substr(at, sim_->Output().find('\n', at) - at);
  }

  std::unique_ptr<Child> sim_;
  std::string mapping_;
  std::string dir_;
  std::string script_;
};

TEST_F(KelvoraPlayEndToEnd, HomesAndPlaysTheScriptOncePrintingEachLine) {
  Child play({KELVORA_PLAY_PATH, script_, "--port", "COM1", "--model", "Rob3"}, {mapping_});
  ASSERT_EQ(play.Wait(60000), 0) << play.Output();
  const std::string& out = play.Output();
  EXPECT_NE(out.find("HOME\n"), std::string::npos) << out;
  size_t l1 = out.find("Zeile 1:      0     0     0     0\n");
  size_t l2 = out.find("Zeile 2:     12     8     6     1\n");
  EXPECT_NE(l1, std::string::npos) << out;
  EXPECT_NE(l2, std::string::npos) << out;
  EXPECT_LT(l1, l2);
  EXPECT_NE(out.find("Ende\n"), std::string::npos) << out;
}

TEST_F(KelvoraPlayEndToEnd, CtrlCStopsARepeatedRunWithTheMotorsOff) {
  Child play({KELVORA_PLAY_PATH, script_, "--repeat"}, {mapping_});
  // Into the second pass, so the run is well under way.
  ASSERT_TRUE(play.WaitFor("Zeile 2:", 60000)) << play.Output();
  ASSERT_TRUE(play.WaitFor("Zeile 1:", 60000, play.Output().find("Zeile 2:"))) << play.Output();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(play.Pid(), SIGINT);
  EXPECT_EQ(play.Wait(10000), 128 + SIGINT) << play.Output();
  EXPECT_NE(play.Output().find("HALT"), std::string::npos);
  EXPECT_NE(play.Output().find("Abgebrochen"), std::string::npos);

  // The box got the motor word 0 before the port closed: nothing moves any more.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::string before = Positions();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(Positions(), before);
  EXPECT_NE(before, "(none)");
}

TEST_F(KelvoraPlayEndToEnd, AMissingFileOrPortFailsWithTheProgramsText) {
  Child missing({KELVORA_PLAY_PATH, dir_ + "/none.RB3"}, {mapping_});
  EXPECT_EQ(missing.Wait(10000), 1);
  EXPECT_NE(missing.Output().find("Datei " + dir_ + "/none.RB3 kann nicht geöffnet werden."),
            std::string::npos)
      << missing.Output();

  Child badPort({KELVORA_PLAY_PATH, script_, "--port", "COM7"}, {"ZQBREL_COM7=/nonexistent"});
  EXPECT_EQ(badPort.Wait(10000), 1);
  EXPECT_NE(badPort.Output().find("Inpterfaceproblem mit : COM7"), std::string::npos)
      << badPort.Output();
}

}  // namespace
