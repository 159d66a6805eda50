// SPDX-License-Identifier: MIT
// kelvora-sim as a child process for the end-to-end tests: keys go to its standard input,
// its lines (standard output and error) come back, and everything it said is kept.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/emulator.h"

extern char** environ;

namespace kelvora::testing {

// One axis's impulse changes, as the 'c' key reports them: those the axis made and those
// seen between two replies of the box. A reader of every reply counts `seen`; the rest
// came and went between two replies.
struct Impulses {
  long made = 0;
  long seen = 0;
};

class SimProcess {
 public:
  using Clock = std::chrono::steady_clock;

  SimProcess(const std::string& program, std::vector<std::string> args) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDERR_FILENO);
    args.insert(args.begin(), program);
    args = BuiltProgramArgv(std::move(args));
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
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  void Key(char k) { [[maybe_unused]] ssize_t w = write(keys_, &k, 1); }

  // The rest of the next output line that holds `prefix` at its start or after the live
  // status line's erase (ESC [ K), or "" after 5 s.
  std::string LineAfter(const std::string& prefix) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
      for (size_t nl; (nl = pending_.find('\n')) != std::string::npos;) {
        std::string line = pending_.substr(0, nl);
        pending_.erase(0, nl + 1);
        if (const size_t erase = line.rfind("\033[K"); erase != std::string::npos)
          line.erase(0, erase + 3);
        if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
      }
      if (!ReadSome(deadline)) return "";
    }
  }

  // The device path from the line ZQBREL_COM1=/dev/pts/N.
  std::string Device() { return LineAfter("ZQBREL_COM1="); }

  // The robot's true positions, asked for with the 'p' key.
  std::vector<double> Positions() {
    Key('p');
    std::vector<double> result;
    for (const std::string& value : Values(LineAfter("positions:")))
      result.push_back(std::stod(value));
    return result;
  }

  // Every axis's impulse changes, asked for with the 'c' key.
  std::vector<Impulses> ImpulseCounts() {
    Key('c');
    std::vector<Impulses> result;
    for (const std::string& value : Values(LineAfter("impulses:"))) {
      const size_t slash = value.find('/');
      result.push_back({std::stol(value.substr(0, slash)), std::stol(value.substr(slash + 1))});
    }
    return result;
  }

  // Quits with the 'q' key and returns everything it said, its status line included.
  std::string Quit() {
    Key('q');
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (ReadSome(deadline)) {
    }
    return transcript_;
  }

 private:
  // "1=20.000 2=30.000 ..." → {"20.000", "30.000", ...}
  static std::vector<std::string> Values(const std::string& items) {
    std::istringstream in(items);
    std::vector<std::string> values;
    for (std::string item; in >> item;) values.push_back(item.substr(item.find('=') + 1));
    return values;
  }

  // False at the end of the output or the deadline.
  bool ReadSome(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{out_, POLLIN, 0};
    char buf[4096];
    ssize_t n = 0;
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0 ||
        (n = read(out_, buf, sizeof buf)) <= 0) {
      return false;
    }
    pending_.append(buf, static_cast<size_t>(n));
    transcript_.append(buf, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int keys_ = -1;
  int out_ = -1;
  std::string pending_;
  std::string transcript_;
};

}  // namespace kelvora::testing
