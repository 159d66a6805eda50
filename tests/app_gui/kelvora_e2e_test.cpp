// SPDX-License-Identifier: MIT
// The built program, end to end: the program (with the real libzqBrel20.so, its timer
// thread and a pseudo-terminal) under kelvora-sim, offscreen, driven by a command file:
// switch on, home, jog the column, close. The commands need the remote control, which
// only the test build kelvora-remote has; kelvora itself must ignore them. Checked
// against the simulator's own view of the robot: true positions and motors. Real time,
// so the bounds are tolerant. The first run goes once with the simulator's window open
// (offscreen) as well.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/emulator.h"
#include "tests/support/sim_process.h"

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct SimRun {
  std::string output;  // the program's, then the simulator's
  int status = -1;     // the program's
  // What the simulator reported once the program had ended, per axis.
  std::vector<kelvora::testing::Impulses> impulses;
  int failedExchanges = 0;  // the program's exchanges whose reply did not come whole in time
  int exchanges = 0;

  // A busy machine let a few replies come too late: the moves then ended with an
  // interface error, as on a bad line, and the run says nothing about positions. A line
  // that fails often is no busy machine.
  bool Disturbed() const { return failedExchanges > 0 && failedExchanges * 10 < exchanges; }
};

SimRun RunShell(const std::string& command) {
  SimRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) run.output.append(buf, n);
  run.status = pclose(pipe);
  return run;
}

// A folder of its own for a built program (the settings file is written beside it),
// with the command file "remote".
void PrepareWork(const fs::path& work, const std::string& program, const std::string& commands) {
  const fs::path bin = KELVORA_BIN_DIR;
  fs::remove_all(work);
  fs::create_directories(work);
  fs::copy_file(bin / program, work / program);
  fs::copy_file(bin / KELVORA_DRIVER_FILE, work / KELVORA_DRIVER_FILE);
  std::ofstream(work / "remote") << commands;
}

std::string Environment(const fs::path& work) {
  return "cd '" + work.string() + "' && QT_QPA_PLATFORM=offscreen KELVORA_REMOTE='" +
         (work / "remote").string() + "' ";
}

// Runs the test build of the program on a kelvora-sim of its own, driven by the
// remote-control commands; once the program has ended the simulator reports what the
// robot did and quits. The program's wire trace tells its failed exchanges.
SimRun RunSim(const fs::path& work, const std::string& commands, std::vector<std::string> simArgs) {
  PrepareWork(work, "kelvora-remote", commands);
  const fs::path bin = KELVORA_BIN_DIR;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);  // for --view
  simArgs.insert(simArgs.begin(), "--status");
  kelvora::testing::SimProcess sim((bin / "kelvora-sim").string(), simArgs);
  const std::string device = sim.Device();
  if (device.empty()) return {sim.Quit(), -1, {}, 0, 0};
  SimRun run = RunShell(Environment(work) + "ZQBREL_COM1='" + device + "' ZQBREL_TRACE='" +
                        (work / "wire").string() + "' timeout 60 " +
                        kelvora::testing::BuiltProgramShell("./kelvora-remote") + " 2>&1");
  run.impulses = sim.ImpulseCounts();
  run.output += sim.Quit();
  std::stringstream wire(Slurp(work / "wire"));
  for (std::string line; std::getline(wire, line);) {
    if (line.find("result=") == std::string::npos) continue;
    ++run.exchanges;
    run.failedExchanges += line.find("result=ok") == std::string::npos;
  }
  return run;
}

const std::string kSwitchOnAndHome =
    "click cmdAction\nwait-mode 2\nclick cmdAction\nwait-mode 4\nwait-mode 3\n";

fs::path WorkDir(const std::string& name) {
  return fs::temp_directory_path() / (name + std::to_string(getpid()));
}

// The simulator's last status line: "Säule 40.5  ArmH 0.0 ... | M - | In 1 3".
struct Status {
  std::map<std::string, double> position;
  std::string motors;
};

Status LastStatus(const std::string& output) {
  Status status;
  std::string last;
  std::stringstream lines(output);
  std::string chunk;
  while (std::getline(lines, chunk, '\r')) {
    if (chunk.find(" | M") != std::string::npos) last = chunk;
  }
  if (const size_t esc = last.find("\033[K"); esc != std::string::npos) last = last.substr(esc + 3);
  const size_t bar = last.find(" | M");
  if (bar == std::string::npos) return status;
  std::stringstream axes(last.substr(0, bar));
  std::string name;
  double value;
  while (axes >> name >> value) status.position[name] = value;
  const std::string rest = last.substr(bar + 4);
  status.motors = rest.substr(0, rest.find(" | "));
  return status;
}

class KelvoraEndToEndRun : public testing::TestWithParam<std::string> {};

TEST_P(KelvoraEndToEndRun, SwitchOnHomeJogAndCloseOnTheVirtualRobot) {
  const fs::path work = WorkDir("kelvora-e2e-");
  const std::string homed = (work / "homed").string(), jogged = (work / "jogged").string();
  const std::string commands = kSwitchOnAndHome + "report " + homed +
                               "\npress shpM1R\nsleep 1000\nrelease shpM1R out\nsleep 600\n" +
                               "report " + jogged + "\nclose\n";
  std::vector<std::string> simArgs = {"--speed", "20", "--coast", "0.5", "--start", "50,35,25,12"};
  if (!GetParam().empty()) simArgs.push_back(GetParam());
  SimRun run;
  for (int attempt = 0; attempt < 5 && (attempt == 0 || run.Disturbed()); ++attempt)
    run = RunSim(work, commands, simArgs);
  if (run.Disturbed()) {
    GTEST_SKIP() << "five runs, each with exchanges a busy machine let fail (last: "
                 << run.failedExchanges << " of " << run.exchanges << ")";
  }
  SCOPED_TRACE(run.output.substr(run.output.size() > 3000 ? run.output.size() - 3000 : 0));
  ASSERT_TRUE(WIFEXITED(run.status));
  EXPECT_EQ(WEXITSTATUS(run.status), 0);
  EXPECT_EQ(run.output.find("no window"), std::string::npos) << "offscreen is a display";

  // After the home run the program believes every axis at 0.
  const std::string homeReport = Slurp(homed);
  EXPECT_NE(homeReport.find("mode 3\n"), std::string::npos) << homeReport;
  EXPECT_NE(homeReport.find("pos 1 0\n"), std::string::npos) << homeReport;

  // The jog: about a second at 20 units per second, then stopped by the release.
  std::map<int, int> believed;
  std::stringstream jogReport(Slurp(jogged));
  std::string word;
  while (jogReport >> word) {
    if (word == "pos") {
      int axis, value;
      jogReport >> axis >> value;
      believed[axis] = value;
    } else if (word == "motor") {
      int motor;
      jogReport >> motor;
      EXPECT_EQ(motor, 0);
    }
  }
  EXPECT_GT(believed[1], 10);
  EXPECT_LT(believed[1], 60);
  EXPECT_EQ(believed[2], 0);
  EXPECT_EQ(believed[3], 0);

  // The simulator's truth at the end: the column where the program thinks it is, the
  // other axes home, every motor off. The program counts what the box's replies show,
  // give or take a unit for the run-down; a busy machine can hide more from it: impulses
  // that came and went between two polls (the simulator counts them) and up to two
  // changes for each exchange that failed (its trace says so).
  const Status status = LastStatus(run.output);
  ASSERT_FALSE(status.position.empty()) << run.output;
  ASSERT_FALSE(run.impulses.empty()) << run.output;
  const double missed = static_cast<double>(run.impulses[0].made - run.impulses[0].seen);
  EXPECT_NEAR(status.position.at("Säule"), believed[1], 2.0 + missed + 2.0 * run.failedExchanges)
      << missed << " impulses missed, " << run.failedExchanges << " failed exchanges";
  EXPECT_NEAR(status.position.at("ArmH"), 0, 1.0);
  EXPECT_NEAR(status.position.at("ArmV"), 0, 1.0);
  EXPECT_EQ(status.motors, " -");

  // A normal end writes the settings file beside the program.
  EXPECT_TRUE(fs::exists(work / "Kelvora.INI"));
  fs::remove_all(work);
}

INSTANTIATE_TEST_SUITE_P(KelvoraEndToEnd, KelvoraEndToEndRun, testing::Values("", "--view"),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param.empty() ? std::string("Plain")
                                                     : std::string("WithView");
                         });

TEST(KelvoraEndToEnd, TerminationDuringAJogSwitchesOffAndWritesNoSettings) {
  const fs::path work = WorkDir("kelvora-e2e-sig-");
  // Axis 2 on its switch: the first press ends at once; the column jog is running when
  // the signal comes.
  const SimRun run =
      RunSim(work,
             kSwitchOnAndHome +
                 "press shpM2L\nsleep 300\npress shpM1R\nsleep 700\nsignal 15\nsleep 5000\n",
             {"--speed", "40", "--start", "60,0,30,12"});
  SCOPED_TRACE(run.output.substr(run.output.size() > 3000 ? run.output.size() - 3000 : 0));
  ASSERT_TRUE(WIFEXITED(run.status));
  EXPECT_EQ(WEXITSTATUS(run.status), 128 + SIGTERM);
  // The jog had run (the motor word 0 reaching the box on the signal is checked on the
  // virtual box's wire by the window tests and the benchmark, where time is exact).
  const Status status = LastStatus(run.output);
  ASSERT_FALSE(status.position.empty()) << run.output;
  EXPECT_GT(status.position.at("Säule"), 10);
  EXPECT_FALSE(fs::exists(work / "Kelvora.INI"));
  fs::remove_all(work);
}

TEST(KelvoraEndToEnd, TerminationWhileTheCloseAsksToSaveKeepsTheScriptAndTheSignalsCode) {
  // A taught line, then the close: the real message box "Script-Datei Speichern?" is open
  // (its own modal loop) when the signal comes.
  const fs::path work = WorkDir("kelvora-e2e-ask-");
  const SimRun run = RunSim(work,
                            kSwitchOnAndHome +
                                "click cmdPosAnfugen\nsleep 300\nclose\nsleep 700\n"
                                "signal 15\nsleep 5000\n",
                            {"--speed", "40", "--start", "20,0,10,12"});
  SCOPED_TRACE(run.output.substr(run.output.size() > 3000 ? run.output.size() - 3000 : 0));
  ASSERT_TRUE(WIFEXITED(run.status));
  EXPECT_EQ(WEXITSTATUS(run.status), 128 + SIGTERM);
  EXPECT_NE(run.output.find("geändertes Script gesichert in"), std::string::npos);
  bool recovered = false;
  for (const auto& entry : fs::directory_iterator(work))
    recovered |= entry.path().filename().string().starts_with("Kelvora-recovered-");
  EXPECT_TRUE(recovered);
  EXPECT_EQ(LastStatus(run.output).motors, " -");
  fs::remove_all(work);
}

TEST(KelvoraEndToEnd, ClosingWhileThePanelRunsAMotorStopsItAndEndsCleanly) {
  // The close comes while the modal panel holds a motor on: the outputs go off, the
  // panel closes, and only then does the shutdown free anything (the address sanitizer
  // build runs this too).
  const fs::path work = WorkDir("kelvora-e2e-panel-");
  const std::string held = (work / "held").string();
  const SimRun run = RunSim(work,
                            kSwitchOnAndHome +
                                "click cmdInterface\nsleep 300\npress lblDreh02\nsleep 700\n"
                                "report " +
                                held + "\nclose\n",
                            {"--speed", "40", "--start", "60,0,30,12"});
  SCOPED_TRACE(run.output.substr(run.output.size() > 3000 ? run.output.size() - 3000 : 0));
  ASSERT_TRUE(WIFEXITED(run.status));
  EXPECT_EQ(WEXITSTATUS(run.status), 0);
  EXPECT_NE(Slurp(held).find("motor 2\n"), std::string::npos) << Slurp(held);  // M1 right
  const Status status = LastStatus(run.output);
  ASSERT_FALSE(status.position.empty()) << run.output;
  EXPECT_GT(status.position.at("Säule"), 10);
  EXPECT_EQ(status.motors, " -");
  EXPECT_TRUE(fs::exists(work / "Kelvora.INI"));  // a normal end
  fs::remove_all(work);
}

TEST(KelvoraEndToEnd, TheProgramUsersRunIgnoresTheRemoteControl) {
  const fs::path bin = KELVORA_BIN_DIR;
  const std::string program = Slurp(bin / "kelvora");
  ASSERT_FALSE(program.empty());
  EXPECT_EQ(program.find("KELVORA_REMOTE"), std::string::npos);

  // The same command file: the test build obeys it at once, kelvora not at all (it is
  // still running, in mode 1, when it is stopped). kelvora gets twice the time the test
  // build took to start, obey and close, and 3 s at least: time enough to have obeyed.
  const fs::path work = WorkDir("kelvora-e2e-remote-");
  const std::string report = (work / "seen").string();
  const std::string commands = "report " + report + "\nclose\n";
  PrepareWork(work, "kelvora-remote", commands);
  const auto start = std::chrono::steady_clock::now();
  const SimRun obeyed = RunShell(Environment(work) + "timeout 60 " +
                                 kelvora::testing::BuiltProgramShell("./kelvora-remote") + " 2>&1");
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(WIFEXITED(obeyed.status)) << obeyed.output;
  EXPECT_EQ(WEXITSTATUS(obeyed.status), 0) << obeyed.output;
  EXPECT_TRUE(fs::exists(report));

  const auto wait = std::max<long>(3, std::chrono::ceil<std::chrono::seconds>(2 * took).count());
  PrepareWork(work, "kelvora", commands);
  const SimRun ignored = RunShell(Environment(work) + "timeout -s TERM " + std::to_string(wait) +
                                  " " + kelvora::testing::BuiltProgramShell("./kelvora") + " 2>&1");
  ASSERT_TRUE(WIFEXITED(ignored.status)) << ignored.output;
  EXPECT_EQ(WEXITSTATUS(ignored.status), 124) << ignored.output;  // ended by the timeout
  EXPECT_FALSE(fs::exists(report));
  EXPECT_FALSE(fs::exists(work / "Kelvora.INI"));  // no close, no settings written
  fs::remove_all(work);
}

}  // namespace
