// SPDX-License-Identifier: MIT
// Pacing of kelvora-sim's line-speed mode: how long an exchange takes from the write of
// a command to the last reply byte, per byte on the line, against the 1.04 ms that a
// character of 10 bits takes at 9600 baud. Target: within 5 %.
//
// It runs twice, without the robot's window and with it open (--view, offscreen), with
// the robot moving all the time, and reports the simulator's CPU in each run and that of
// the window's thread. Targets: the window leaves the pacing as it is, and its thread
// takes under 5 % of one core.
//
// Usage: kelvora_sim_pacing [exchanges per command, default 200]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kNominalMs = 10.0 * 1000.0 / 9600.0;  // 1.0417 ms

struct Sim {
  pid_t pid = -1;
  int keys = -1;
  int out = -1;
};

bool StartSim(Sim* sim, std::string* device, bool view) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
  const char* argv[] = {KELVORA_SIM_PATH,          "--pace", "--layout", "rob5",
                        view ? "--view" : nullptr, nullptr};
  std::vector<char*> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0) env.push_back(*e);
  char offscreen[] = "QT_QPA_PLATFORM=offscreen";
  env.push_back(offscreen);
  env.push_back(nullptr);
  int rc = posix_spawn(&sim->pid, argv[0], &fa, nullptr, const_cast<char**>(argv), env.data());
  posix_spawn_file_actions_destroy(&fa);
  close(in[0]);
  close(out[1]);
  sim->keys = in[1];
  sim->out = out[0];
  if (rc != 0) return false;
  std::string text;
  char buf[256];
  while (text.find("=/dev/") == std::string::npos || text.back() != '\n') {
    pollfd p{sim->out, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) return false;
    ssize_t n = read(sim->out, buf, sizeof buf);
    if (n <= 0) return false;
    text.append(buf, static_cast<size_t>(n));
  }
  size_t at = text.find("=/dev/");
  *device = text.substr(at + 1, text.find('\n', at) - at - 1);
  return true;
}

void StopSim(Sim* sim) {
  close(sim->keys);
  int status;
  for (int i = 0; i < 50 && waitpid(sim->pid, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (kill(sim->pid, 0) == 0) {
    kill(sim->pid, SIGKILL);
    waitpid(sim->pid, &status, 0);
  }
  close(sim->out);
}

// One exchange; returns its duration in ms, or a negative value when the reply fell short.
double Exchange(int fd, const std::vector<uint8_t>& cmd, size_t replyLen) {
  auto t0 = Clock::now();
  if (write(fd, cmd.data(), cmd.size()) != static_cast<ssize_t>(cmd.size())) return -1;
  size_t got = 0;
  uint8_t buf[16];
  while (got < replyLen) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) return -1;
    ssize_t n = read(fd, buf, replyLen - got);
    if (n > 0) got += static_cast<size_t>(n);
  }
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// CPU time of a process or of one of its threads so far, in seconds.
double CpuSeconds(pid_t pid, pid_t tid) {
  const std::string path =
      tid > 0 ? "/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/stat"
              : "/proc/" + std::to_string(pid) + "/stat";
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return 0;
  char buf[1024];
  const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  buf[n] = '\0';
  // after the command name in parentheses: state, then fields 4..; utime and stime are 14, 15
  const char* p = std::strrchr(buf, ')');
  if (!p) return 0;
  unsigned long long utime = 0, stime = 0;
  if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) !=
      2)
    return 0;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// One run against one simulator: the pacing table, then the CPU figures.
bool RunPass(bool view, int count, double medianPerByte[3]) {
  Sim sim;
  std::string device;
  if (!StartSim(&sim, &device, view)) {
    std::fprintf(stderr, "cannot start kelvora-sim\n");
    return false;
  }
  int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios t;
  if (fd < 0 || tcgetattr(fd, &t) != 0) {
    std::fprintf(stderr, "cannot open %s\n", device.c_str());
    StopSim(&sim);
    return false;
  }
  cfmakeraw(&t);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &t);

  struct Kind {
    const char* name;
    std::vector<uint8_t> cmd;
    size_t reply;
  };
  const Kind kinds[] = {
      {"8 inputs (0xC1)", {0xC1, 0x00}, 1},
      {"16 inputs (0xC2)", {0xC2, 0x00, 0x00}, 2},
      {"16 inputs + EX (0xC6)", {0xC6, 0x00, 0x00}, 4},
  };
  // The robot moves all the time: every motor runs, and turns round every 100 exchanges.
  auto motors = [](std::vector<uint8_t> cmd, int i) {
    const bool out = (i / 100) % 2 == 0;
    cmd[1] = out ? 0xAA : 0x55;
    if (cmd.size() == 3) cmd[2] = out ? 0x02 : 0x01;
    return cmd;
  };
  // settle first (two seconds): the window, when there is one, comes up now
  for (int i = 0; i < 200; ++i) {
    Exchange(fd, motors(kinds[0].cmd, 0), kinds[0].reply);
    std::this_thread::sleep_for(std::chrono::milliseconds(6));
  }
  std::printf("\n%s: %d exchanges each, nominal %.4f ms per byte\n",
              view ? "with the window open (--view, offscreen)" : "without a window", count,
              kNominalMs);
  std::printf("%-24s %6s %10s %10s %10s %8s\n", "exchange", "bytes", "median ms", "per byte",
              "p95/byte", "error");
  const auto wall0 = Clock::now();
  const double cpu0 = CpuSeconds(sim.pid, 0);
  const double gui0 = CpuSeconds(sim.pid, sim.pid);
  bool allWithin = true;
  int kind = 0;
  for (const Kind& k : kinds) {
    std::vector<double> ms;
    int failed = 0;
    for (int i = 0; i < count; ++i) {
      double d = Exchange(fd, motors(k.cmd, i), k.reply);
      if (d < 0)
        ++failed;
      else
        ms.push_back(d);
      // the driver polls every 10 ms; leave the line idle in between as it does
      std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    if (ms.empty()) {
      std::printf("%-24s no complete reply\n", k.name);
      allWithin = false;
      medianPerByte[kind++] = 0;
      continue;
    }
    std::sort(ms.begin(), ms.end());
    const double bytes = static_cast<double>(k.cmd.size() + k.reply);
    const double median = ms[ms.size() / 2];
    const double p95 = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    const double perByte = median / bytes;
    const double error = (perByte - kNominalMs) / kNominalMs * 100.0;
    allWithin = allWithin && std::fabs(error) <= 5.0;
    medianPerByte[kind++] = perByte;
    std::printf("%-24s %6.0f %10.3f %10.4f %10.4f %+7.2f%%%s\n", k.name, bytes, median, perByte,
                p95 / bytes, error, failed ? "  (some replies short)" : "");
  }
  const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
  const double cpu = (CpuSeconds(sim.pid, 0) - cpu0) / wall * 100.0;
  std::printf("pacing %s the 5%% target\n", allWithin ? "within" : "OUTSIDE");
  std::printf("kelvora-sim CPU while the robot moved: %.2f %% of one core", cpu);
  if (view) {
    // the window's event loop runs on the main thread, whose id is the process id
    const double gui = (CpuSeconds(sim.pid, sim.pid) - gui0) / wall * 100.0;
    std::printf(", the window's thread %.2f %% (target under 5 %%)", gui);
  }
  std::printf("\n");
  close(fd);
  StopSim(&sim);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
  double plain[3] = {}, withView[3] = {};
  if (!RunPass(false, count, plain) || !RunPass(true, count, withView)) return 1;
  std::printf("\nmedian per byte with the window against without:");
  for (int k = 0; k < 3; ++k)
    std::printf(" %+.2f %%", plain[k] > 0 ? (withView[k] - plain[k]) / plain[k] * 100.0 : 0.0);
  std::printf("\n");
  return 0;
}
