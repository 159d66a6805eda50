// SPDX-License-Identifier: MIT
// kelvora-sim: the virtual interface box and robot on a pseudo-terminal, in real time.
//
// The program (or the driver library in a test) opens the terminal's slave side as its
// "COM" port; this process answers on the master side through the virtual box, with the
// virtual robot behind it. With -- PROGRAM it starts the program with the port mapped in
// its environment and ends with it.
//
// This file holds the process around the simulator: signals, the console (keys and the
// status line), the program it starts, and main. The command line is in
// kelvora_sim_options, the box and robot on the terminal in kelvora_sim_simulator.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/view/view_host.h"
#include "tools/kelvora_sim_keys.h"
#include "tools/kelvora_sim_options.h"
#include "tools/kelvora_sim_simulator.h"

extern char** environ;

namespace kelvora::sim::tool {
namespace {

// --- signals -----------------------------------------------------------------------

volatile sig_atomic_t gSignal = 0;
int gWakePipe[2] = {-1, -1};

void OnSignal(int sig) {
  gSignal = sig;
  int saved = errno;
  char b = 1;
  [[maybe_unused]] ssize_t r = write(gWakePipe[1], &b, 1);
  errno = saved;
}

// --- the console ---------------------------------------------------------------------

termios gSavedTerm;
bool gTermSaved = false;

void RestoreTerminal() {
  if (gTermSaved) {
    tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerm);
    gTermSaved = false;
  }
}

void KeysMode() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &gSavedTerm) != 0) return;
  termios t = gSavedTerm;
  // single keys without echo; Ctrl+C still interrupts
  t.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &t) == 0) {
    gTermSaved = true;
    std::atexit(RestoreTerminal);
  }
}

void PrintLine(bool statusShown, const std::string& text) {
  if (statusShown) std::fputs("\r\033[K", stdout);
  std::fputs(text.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int ExitStatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

int Run(const Options& options, kelvora::sim::view::ViewHost* view = nullptr) {
  Simulator sim(options);
  std::string error;
  if (!sim.OpenPty(&error) || !sim.Link(&error)) {
    std::fprintf(stderr, "kelvora-sim: %s\n", error.c_str());
    return 1;
  }
  if (pipe2(gWakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::perror("kelvora-sim: pipe");
    return 1;
  }
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  // serve before telling anyone where: a program started from the printed line may
  // exchange its first command at once
  sim.Start();
  const std::string var = "ZQBREL_COM" + std::to_string(options.com);
  std::printf("kelvora-sim: virtual box on %s\n%s=%s\n", sim.Path().c_str(), var.c_str(),
              sim.MapPath().c_str());
  std::fflush(stdout);

  // The window first: the program learns where it is, and opens its own beside it.
  ViewLink link(sim);
  const std::string viewEntry = view ? view->Show(link) : std::string();

  pid_t child = -1;
  if (!options.program.empty()) {
    // The program's environment is this one with the port mapped and the window named; it
    // is made here rather than by setenv, as the window's thread may read the environment.
    std::vector<std::string> entries = {var + '=' + sim.MapPath()};
    if (!viewEntry.empty()) entries.push_back(viewEntry);
    std::vector<char*> env;
    for (std::string& e : entries) env.push_back(e.data());
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string_view entry(*e);
      const auto named = [&entry](const std::string& mine) {
        return entry.substr(0, entry.find('=') + 1) == mine.substr(0, mine.find('=') + 1);
      };
      if (std::none_of(entries.begin(), entries.end(), named)) env.push_back(*e);
    }
    env.push_back(nullptr);
    std::vector<char*> args;
    for (const std::string& a : options.program) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int rc = posix_spawnp(&child, args[0], nullptr, nullptr, args.data(), env.data());
    if (rc != 0) {
      std::fprintf(stderr, "kelvora-sim: cannot start %s: %s\n", args[0], std::strerror(rc));
      if (view) view->Close();
      sim.Stop();
      return 127;
    }
  }

  // With a program, standard input is the program's unless it is our terminal.
  const bool readKeys = options.keys && (options.program.empty() || isatty(STDIN_FILENO));
  if (readKeys) KeysMode();
  const bool status = options.status < 0 ? isatty(STDOUT_FILENO) != 0 : options.status == 1;
  bool stdinOpen = readKeys;
  int exitCode = 0;
  bool quit = false;
  // What the keys do beyond the simulator: print a line under the status line, quit.
  class Console final : public KeyConsole {
   public:
    Console(Simulator& sim, bool status, bool& quit) : sim_(sim), status_(status), quit_(quit) {}
    Simulator& Sim() override { return sim_; }
    void Print(const std::string& line) override { PrintLine(status_, line); }
    void Quit() override { quit_ = true; }

   private:
    Simulator& sim_;
    bool status_;
    bool& quit_;
  } console(sim, status, quit);
  KeyReader reader;
  int64_t nextStatus = 0;

  while (!quit) {
    pollfd fds[2];
    int nfds = 0;
    fds[nfds++] = {gWakePipe[0], POLLIN, 0};
    if (stdinOpen) fds[nfds++] = {STDIN_FILENO, POLLIN, 0};
    poll(fds, static_cast<nfds_t>(nfds), status ? 100 : 50);
    if (fds[0].revents & POLLIN) {
      char drain[16];
      while (read(gWakePipe[0], drain, sizeof drain) > 0) {
      }
    }
    if (gSignal != 0) {
      if (child > 0) kill(child, SIGTERM);
      quit = true;
      break;
    }
    if (child > 0) {
      int st;
      pid_t w = waitpid(child, &st, WNOHANG);
      if (w == child) {
        exitCode = ExitStatusOf(st);
        child = -1;
        break;
      }
    }
    if (stdinOpen && nfds > 1 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      char keys[64];
      ssize_t n = read(STDIN_FILENO, keys, sizeof keys);
      if (n <= 0) {
        stdinOpen = false;
        // end of input ends a run without a program
        if (options.program.empty()) break;
        continue;
      }
      for (ssize_t i = 0; i < n && !quit; ++i) reader.Press(keys[i], console);
      if (quit && child > 0) kill(child, SIGTERM);
    }
    if (const std::string back = sim.CheckReplug(); !back.empty()) PrintLine(status, back);
    if (status && MonoNs() >= nextStatus) {
      nextStatus = MonoNs() + 100000000LL;
      std::string line = sim.StatusLine();
      std::printf("\r\033[K%s", line.c_str());
      std::fflush(stdout);
    }
  }

  if (child > 0) {
    // give the program a moment to close its port and end, then insist
    int st = 0;
    pid_t w = 0;
    for (int i = 0; i < 50 && (w = waitpid(child, &st, WNOHANG)) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (w == 0) {
      kill(child, SIGKILL);
      w = waitpid(child, &st, 0);
    }
    exitCode = w == child ? ExitStatusOf(st) : 1;
  }
  if (view) view->Close();
  sim.Stop();
  if (status) std::fputs("\r\033[K", stdout);
  std::fflush(stdout);
  RestoreTerminal();
  return exitCode;
}

}  // namespace
}  // namespace kelvora::sim::tool

using kelvora::sim::tool::Options;
using kelvora::sim::tool::ParseOptions;
using kelvora::sim::tool::Run;

int main(int argc, char** argv) {
  Options options;
  int r = ParseOptions(argc, argv, &options);
  if (r == 1) return 0;
  if (r == 2) return 2;
  if (options.view) {
#ifdef KELVORA_SIM_VIEW
    int result = 0;
    std::string why;
    if (kelvora::sim::view::RunWithWindow(
            [&options](kelvora::sim::view::ViewHost* view) { return Run(options, view); }, &result,
            &why))
      return result;
    std::fprintf(stderr, "kelvora-sim: no window: %s; running on without it\n", why.c_str());
#else
    std::fputs("kelvora-sim: no window: built without Qt; running on without it\n", stderr);
#endif
  }
  return Run(options);
}
