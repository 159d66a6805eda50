// SPDX-License-Identifier: MIT
// kelvora-play: plays a script file on the robot without a window. It reads the model
// and port from the settings file as the program does, switches the interface on, runs
// the robot home and plays the script by the rules of "Script Starten", printing each
// line as it is driven. Ctrl+C (or SIGTERM, or SIGHUP when its terminal closes; on
// Windows also the closing of its console window) acts as HALT: the current movement
// stops, the outputs are switched off and the interface is closed before the program
// ends. On Windows Esc stops a movement too, as in the program.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "access/brel_robot.h"
#include "app/robot_faults.h"
#include "app/script.h"
#include "app/script_player.h"
#include "platform/console.h"
#include "platform/gui_hooks.h"
#include "platform/port_problem.h"
#include "platform/prog_dir.h"
#include "settings/program_settings.h"
#include "settings/settings.h"

namespace {

using kelvora::access::TBrelRobot;
using kelvora::settings::ProgramSettings;

const char kUsage[] =
    "Usage: kelvora-play FILE [--port PORT] [--model RobN] [--repeat]\n"
    "       kelvora-play --help | --version\n"
    "\n"
    "Switches the interface on, runs the robot home and plays the script FILE once\n"
    "(with --repeat until Ctrl+C), printing each line as it is driven. The model and\n"
    "the port come from Kelvora.INI as in the program; the options override them.\n"
    "Ctrl+C stops the robot, switches every output off and ends the program.\n";

class Player final : public kelvora::app::ScriptHost, public kelvora::platform::GuiHooks {
 public:
  Player(TBrelRobot& robot, const ProgramSettings& settings) : robot_(robot), settings_(settings) {}

  TBrelRobot& Robot() override { return robot_; }
  const ProgramSettings& Settings() const override { return settings_; }
  int32_t* LineValues() override { return lineValues_; }
  kelvora::app::ScriptList& Script() override { return list; }
  void SetMode(int) override {}
  bool Repeat() const override { return repeat; }
  void SetRepeat(bool on) override { repeat = on; }
  // The run's own message point and every move's: a signal is HALT.
  void ProcessMessages() override {
    if (kelvora::platform::StopRequest() != 0 && !halted_) {
      halted_ = true;
      std::printf("HALT\n");
      std::fflush(stdout);
      kelvora::app::Halt(*this);
    }
  }
  // Esc stops a movement as in the program, where the system lets the player see it.
  bool EscPressed() override { return kelvora::platform::EscKeyPressed(); }
  void ForgetEscPress() override { kelvora::platform::EscKeyPressed(); }
  void LineDriven(int index, const std::string& text) override {
    std::printf("Zeile %d: %s\n", index + 1, text.c_str());
    std::fflush(stdout);
  }

  kelvora::app::VectorScriptList list;
  bool repeat = false;

 private:
  TBrelRobot& robot_;
  const ProgramSettings& settings_;
  int32_t lineValues_[8] = {};
  bool halted_ = false;
};

bool ValidModel(const std::string& m) {
  return m.size() == 4 && m.compare(0, 3, "Rob") == 0 && m[3] >= '1' && m[3] <= '9';
}

}  // namespace

int main(int argc, char** rawArgv) {
  // UTF-8, whatever code page the system hands the arguments over in.
  const std::vector<std::string> argv = kelvora::platform::ConsoleArguments(argc, rawArgv);
  std::string file;
  std::string port;
  std::string model;
  bool repeat = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "--port" || a == "--model") && i + 1 < argc) {
      (a == "--port" ? port : model) = argv[++i];
    } else if (a.rfind("--port=", 0) == 0) {
      port = a.substr(7);
    } else if (a.rfind("--model=", 0) == 0) {
      model = a.substr(8);
    } else if (a == "--repeat") {
      repeat = true;
    } else if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "-V" || a == "--version") {
      std::printf("kelvora-play %s\n", KELVORA_VERSION);
      return 0;
    } else if (!a.empty() && a[0] != '-' && file.empty()) {
      file = a;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (file.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!model.empty() && !ValidModel(model)) {
    std::fprintf(stderr, "kelvora-play: unknown model '%s' (Rob1 to Rob9)\n", model.c_str());
    return 2;
  }

  TBrelRobot robot;
  ProgramSettings settings;
  // The settings file the program uses, by the program's own rule.
  const kelvora::platform::ProfileFile ini =
      kelvora::settings::SettingsFile(kelvora::platform::CurrentProgramFolders());
  kelvora::settings::ReadSettings(settings, robot.Axes, ini);
  if (!model.empty() && model != settings.RobModel)
    kelvora::settings::ReadModelEntry(settings, robot.Axes, ini, model);
  if (!port.empty()) settings.PortName = port;
  kelvora::settings::ConfigureAxes(settings, robot.Axes);

  Player player(robot, settings);
  player.repeat = repeat;
  try {
    kelvora::app::LoadScript(player.list, file);
  } catch (const kelvora::app::ScriptError& e) {
    std::fprintf(stderr, "kelvora-play: %s.\n", e.what());
    return 1;
  }

  kelvora::platform::WatchStopRequests();
  kelvora::platform::SetGuiHooks(&player);

  robot.SetLptDelay(settings.LPTDelay);
  if (settings.IsRob5()) robot.SetExtended(true);
  if (robot.OpenInterface(settings.PortName) == 0x1FFFF) {
    std::fprintf(stderr, "kelvora-play: Inpterfaceproblem mit : %s\nkelvora-play: %s\n",
                 settings.PortName.c_str(),
                 kelvora::platform::PortProblemText(settings.PortName, robot.OpenError).c_str());
    kelvora::platform::SetGuiHooks(nullptr);
    kelvora::platform::StopRequestHandled();
    return 1;
  }
  std::printf("%s : %s, %s, Script %s (%d Zeilen)\n", settings.RobModel.c_str(),
              settings.RobText.c_str(), settings.PortName.c_str(),
              kelvora::app::FileNamePart(file).c_str(), player.list.Count());
  std::printf("HOME\n");
  std::fflush(stdout);

  // What went wrong with the robot, in the program's words; true when anything did.
  auto reportFaults = [&robot, &settings] {
    const TBrelRobot::TFaults faults = robot.TakeFaults();
    if (!faults.Any()) return false;
    if (faults.interfaceLost && !faults.motorsWereOn)
      std::fprintf(stderr, "kelvora-play: Inpterfaceproblem mit : %s.\n",
                   settings.PortName.c_str());
    for (const std::string& text : kelvora::app::FaultMessages(faults, robot.Axes))
      std::fprintf(stderr, "kelvora-play: %s.\n", text.c_str());
    return true;
  };

  int status = 0;
  robot.ClearStopFlag();
  robot.MoveHome();
  robot.ClearMotors();
  // A home run that did not get every axis to its switch leaves nothing to play from.
  if (reportFaults() && kelvora::platform::StopRequest() == 0) status = 1;
  if (kelvora::platform::StopRequest() == 0 && status == 0) {
    try {
      kelvora::app::RunScript(player);
    } catch (const kelvora::app::ScriptError& e) {
      std::fprintf(stderr, "kelvora-play: %s.\n", e.what());
      status = 1;
    }
    if (reportFaults()) status = 1;
  }

  // Every output off; the close waits until the driver has sent that to the box.
  robot.CloseInterface();
  kelvora::platform::SetGuiHooks(nullptr);
  kelvora::platform::StopRequestHandled();
  if (const int request = kelvora::platform::StopRequest(); request != 0) {
    std::printf("Abgebrochen\n");
    return 128 + request;
  }
  std::printf("Ende\n");
  return status;
}
