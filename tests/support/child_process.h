// SPDX-License-Identifier: MIT
// A program the end-to-end tests start and talk to: its standard input and output on
// pipes, its output collected with the time each piece arrived.
#pragma once

#include "tests/support/emulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace kelvora::testing {

// Standard error goes with standard output; the environment is ours.
class Child {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Child(std::vector<std::string> args) {
    args = BuiltProgramArgv(std::move(args));
    int in[2], out[2];
    // Close-on-exec: no other child inherits these pipes and holds them open.
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
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
    if (posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
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
    close(in_);
    close(out_);
  }

  pid_t Pid() const { return pid_; }
  void Send(const std::string& s) { (void)!write(in_, s.data(), s.size()); }
  const std::string& Output() const { return output_; }
  // When the output up to and including text (found at or after from) had arrived.
  Clock::time_point TimeOf(const std::string& text, size_t from = 0) const {
    const size_t at = output_.find(text, from);
    if (at == std::string::npos) return Clock::time_point::max();
    for (const auto& [end, when] : arrivals_) {
      if (end >= at + text.size()) return when;
    }
    return Clock::time_point::max();
  }

  // Reads output until it holds text at or after from; false when the time is up.
  bool WaitFor(const std::string& text, int ms, size_t from = 0) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (output_.find(text, from) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
      if (left <= 0 || !ReadSome(static_cast<int>(left))) return false;
    }
    return true;
  }
  // The line starting with prefix (from offset from), once it is complete.
  std::string LineAfter(const std::string& prefix, int ms, size_t from = 0) {
    if (!WaitFor(prefix, ms, from)) return "(none)";
    const size_t at = output_.find(prefix, from);
    WaitFor("\n", ms, at);
    return output_.substr(at, output_.find('\n', at) - at);
  }
  // Exit status (128 + signal for a signal), -1 on time-out.
  int Wait(int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
      ReadSome(20);
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        while (ReadSome(0)) {
        }
        return status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      }
    }
    return -1;
  }

 private:
  bool ReadSome(int ms) {
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return false;
    char buf[4096];
    const ssize_t n = read(out_, buf, sizeof buf);
    if (n > 0) {
      output_.append(buf, static_cast<size_t>(n));
      arrivals_.emplace_back(output_.size(), Clock::now());
    }
    return n > 0;
  }

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  int status_ = -1;
  std::string output_;
  std::vector<std::pair<size_t, Clock::time_point>> arrivals_;  // output size, when
};

}  // namespace kelvora::testing
