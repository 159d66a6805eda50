// The built program, end to end: kelvora (with the real libzqBrel20.so, its timer thread
// and a pseudo-terminal) under kelvora-sim, offscreen, driven by a command file: switch
// on, home, jog the column, close. Checked against the simulator's own view of the
// robot: true positions and motors. Real time, so the bounds are tolerant. The first run
// goes once with the simulator's window open (offscreen) as well.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct SimRun {
  std::string output;
  int status = -1;
};

// Runs the built program from a folder of its own (the settings file is written beside
// the program) under kelvora-sim, driven by the remote-control commands.
SimRun RunSim(const fs::path& work, const std::string& commands, const std::string& simArgs) {
  const fs::path bin = KELVORA_BIN_DIR;
  fs::remove_all(work);
  fs::create_directories(work);
  fs::copy_file(bin / "kelvora", work / "kelvora");
  fs::copy_file(bin / "libzqBrel20.so", work / "libzqBrel20.so");
  std::ofstream(work / "remote") << commands;
  const std::string command =
      "cd '" + work.string() + "' && QT_QPA_PLATFORM=offscreen KELVORA_REMOTE='" +
      (work / "remote").string() + "' timeout 60 '" + (bin / "kelvora-sim").string() +
      "' --no-keys --status " + simArgs + " -- ./kelvora 2>&1";
  SimRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) run.output.append(buf, n);
  run.status = pclose(pipe);
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
  const SimRun run =
      RunSim(work, commands, "--speed 40 --coast 0.5 --start 100,70,50,12 " + GetParam());
  SCOPED_TRACE(run.output.substr(run.output.size() > 3000 ? run.output.size() - 3000 : 0));
  ASSERT_TRUE(WIFEXITED(run.status));
  EXPECT_EQ(WEXITSTATUS(run.status), 0);
  EXPECT_EQ(run.output.find("no window"), std::string::npos) << "offscreen is a display";

  // After the home run the program believes every axis at 0.
  const std::string homeReport = Slurp(homed);
  EXPECT_NE(homeReport.find("mode 3\n"), std::string::npos) << homeReport;
  EXPECT_NE(homeReport.find("pos 1 0\n"), std::string::npos) << homeReport;

  // The jog: about a second at 40 units per second, then stopped by the release.
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
  EXPECT_GT(believed[1], 20);
  EXPECT_LT(believed[1], 80);
  EXPECT_EQ(believed[2], 0);
  EXPECT_EQ(believed[3], 0);

  // The simulator's truth at the end: the column where the program thinks it is, the
  // other axes home, every motor off.
  const Status status = LastStatus(run.output);
  ASSERT_FALSE(status.position.empty()) << run.output;
  EXPECT_NEAR(status.position.at("Säule"), believed[1], 2.0);
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
             "--speed 40 --start 60,0,30,12");
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

}  // namespace
