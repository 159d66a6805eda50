// Playing scripts on the virtual robot in virtual time: the whole stack from the
// script player through the robot's moves and the driver to the virtual box.
#include <functional>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "access/brel_consts.h"
#include "access/brel_robot.h"
#include "app/script_player.h"
#include "platform/gui_hooks.h"
#include "settings/program_settings.h"
#include "sim/virtual_robot.h"

namespace kelvora::app {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr uint32_t kMotor4Left = 0x0040;
constexpr uint32_t kMotor6Left = 0x0400;

// The script's host as the window would be: a mode log, the repeat tick, and hooks a
// test uses to act "from the window" between lines or inside moves.
class TestHost : public ScriptHost {
 public:
  TestHost(access::TBrelRobot& robot, settings::ProgramSettings& settings)
      : robot_(robot), settings_(settings) {}
  access::TBrelRobot& Robot() override { return robot_; }
  const settings::ProgramSettings& Settings() const override { return settings_; }
  int32_t* LineValues() override { return lineValues; }
  ScriptList& Script() override { return list; }
  void SetMode(int mode) override { modes.push_back(mode); }
  bool Repeat() const override { return repeat; }
  void SetRepeat(bool on) override { repeat = on; }
  void ProcessMessages() override {
    ++lineMessages;
    if (onLineMessages) onLineMessages();
  }
  void LineDriven(int index, const std::string&) override { driven.push_back(index); }

  VectorScriptList list;
  int32_t lineValues[8] = {};
  bool repeat = false;
  std::vector<int> modes;
  std::vector<int> driven;
  int lineMessages = 0;
  std::function<void()> onLineMessages;

 private:
  access::TBrelRobot& robot_;
  settings::ProgramSettings& settings_;
};

// Window messages during moves and waits, as the robot lets them run.
class MoveHooks : public platform::GuiHooks {
 public:
  MoveHooks() { platform::SetGuiHooks(this); }
  ~MoveHooks() override { platform::SetGuiHooks(nullptr); }
  void ProcessMessages() override {
    if (onMessages) onMessages();
  }
  std::function<void()> onMessages;
};

// The robot wired as the program wires it for the model.
void Wire(access::TBrelMotList& axes, bool rob5) {
  auto set = [&](int axis, const char* name, int motor, int impulse, int end, int max) {
    axes.SetName(axis, access::mcName, name);
    axes.SetNumber(axis, access::mcMotor, motor);
    axes.SetNumber(axis, access::mcImpulse, impulse);
    axes.SetNumber(axis, access::mcEndSwitch, end);
    axes.SetPos(axis, access::mcMaximum, max);
  };
  set(1, "Säule", 1, 2, 1, 240);
  set(2, "Arm horizontal", 2, 4, 3, 160);
  set(3, "Arm vertikal", 3, 6, 5, 150);
  if (rob5) {
    set(4, "Wagen", 5, 10, 9, 1000);
    set(5, "Greifer", 4, 8, 7, 28);
  } else {
    set(4, "Greifer", 4, 8, 7, 28);
  }
}

class ScriptRunTest : public ::testing::Test {
 protected:
  void Start(bool rob5, const std::string& type = "G", bool home = true) {
    sim::RobotRigOptions options;
    options.layout = rob5 ? sim::Layout::kRob5 : sim::Layout::kStandard;
    rig = std::make_unique<sim::RobotRig>(options);
    robot = std::make_unique<access::TBrelRobot>();
    settings.SetRobModel(rob5 ? "Rob5" : "Rob3");
    settings.RobType = type;
    Wire(robot->Axes, rob5);
    if (rob5) robot->SetExtended(true);
    ASSERT_NE(robot->OpenInterface(rig->Port()), access::kInterfaceError);
    if (home) robot->MoveHome();
    host = std::make_unique<TestHost>(*robot, settings);
  }
  void TearDown() override {
    host.reset();
    if (robot) robot->CloseInterface();
    robot.reset();
    rig.reset();
  }
  void SetScript(std::vector<std::string> lines, int marked = 0) {
    host->list = VectorScriptList(std::move(lines));
    host->list.SetItemIndex(marked);
  }
  int32_t Pos(int axis) const { return robot->Axes.GetPos(axis, access::mcPosition); }

  std::unique_ptr<sim::RobotRig> rig;
  std::unique_ptr<access::TBrelRobot> robot;
  settings::ProgramSettings settings;
  std::unique_ptr<TestHost> host;
  MoveHooks hooks;
};

TEST_F(ScriptRunTest, TheZeroLineRunsEveryAxisHomeOnceAndReturnsToTeachIn) {
  Start(false, "G", /*home=*/false);
  ASSERT_GT(rig->Position(1), 5.0);  // the rig's robot starts away from its end switches
  SetScript({ZeroLine(false)});
  RunScript(*host);

  EXPECT_THAT(host->modes, ElementsAre(kModeRun, kModeTeachIn));
  EXPECT_THAT(host->driven, ElementsAre(0));
  for (int axis = 1; axis <= 4; ++axis) {
    EXPECT_LT(rig->Position(axis), 1.0) << axis;
    EXPECT_EQ(Pos(axis), 0) << axis;
  }
  EXPECT_EQ(host->list.ItemIndex(), 0);  // the last line driven stays marked
  EXPECT_EQ(robot->MotorWord(), 0u);
}

TEST_F(ScriptRunTest, APassDrivesEveryLineInOrderAndStoresTheGripperState) {
  Start(false);
  SetScript({ZeroLine(false), "   120    85    40     1", "    60    30    20     0"}, 2);
  RunScript(*host);  // starts at line 1 whatever is marked

  EXPECT_THAT(host->driven, ElementsAre(0, 1, 2));
  EXPECT_NEAR(rig->Position(1), 60, 2);
  EXPECT_NEAR(rig->Position(2), 30, 2);
  EXPECT_NEAR(rig->Position(3), 20, 2);
  EXPECT_LT(rig->Position(4), 1.0);  // gripper opened again by the last line
  EXPECT_THAT(host->lineValues, ElementsAre(60, 30, 20, 0, 0, 0, 0, 0));
  EXPECT_EQ(host->list.ItemIndex(), 2);
  EXPECT_THAT(host->modes, ElementsAre(kModeRun, kModeTeachIn));
}

TEST_F(ScriptRunTest, RepeatRunsUntilHaltWhichEndsThePassAfterTheCurrentLine) {
  Start(false);
  SetScript({ZeroLine(false), "    50    40    30     1", "    20    10    10     0"});
  host->repeat = true;
  // HALT from the window between lines, once seven lines have been driven.
  host->onLineMessages = [&] {
    if (host->driven.size() == 7) Halt(*host);
  };
  RunScript(*host);

  EXPECT_THAT(host->driven, ElementsAre(0, 1, 2, 0, 1, 2, 0));
  EXPECT_FALSE(host->repeat);  // HALT unticked "Wiederholen"
  EXPECT_TRUE(robot->StopFlag);
  EXPECT_EQ(host->list.ItemIndex(), 0);
  EXPECT_THAT(host->modes, ElementsAre(kModeRun, kModeTeachIn, kModeTeachIn));
}

TEST_F(ScriptRunTest, HaltInsideAMoveStopsItAndStillSwitchesTheLinesOutputs) {
  Start(false, "Z");  // motor 4 as an extra output
  SetScript({"   200   150   140     1", ZeroLine(false)});
  host->repeat = true;
  int cycles = 0;
  hooks.onMessages = [&] {
    if (++cycles == 20) Halt(*host);
  };
  RunScript(*host);

  EXPECT_THAT(host->driven, ElementsAre(0));           // the pass ended after the stopped line
  EXPECT_LT(rig->Position(1), 100.0);                  // the move was cut short
  EXPECT_EQ(robot->MotorWord() & 0x3Fu, 0u);           // its motors are off
  EXPECT_EQ(robot->MotorWord() & 0xC0u, kMotor4Left);  // the extra motor was switched on
  EXPECT_EQ(host->lineValues[3], 1);
  EXPECT_FALSE(host->repeat);
}

TEST_F(ScriptRunTest, MarkingAnotherLineDuringARunContinuesAfterIt) {
  Start(false);
  SetScript({"    40    10    10     0", "    80    20    20     0", "    60    20    20     0",
             "    30    30    30     0", "    10    10    10     0"});
  // While line 1 is driven the user marks line 3: the run goes on with line 4.
  hooks.onMessages = [&] {
    if (host->driven.size() == 1 && host->list.ItemIndex() == 0) host->list.SetItemIndex(2);
  };
  RunScript(*host);
  EXPECT_THAT(host->driven, ElementsAre(0, 3, 4));
  EXPECT_EQ(host->list.ItemIndex(), 4);
}

TEST_F(ScriptRunTest, MarkingTheLastLineDuringARunEndsThePass) {
  Start(false);
  SetScript({"    40    10    10     0", "    80    20    20     0", "    60    20    20     0"});
  hooks.onMessages = [&] {
    if (host->list.ItemIndex() == 0) host->list.SetItemIndex(2);
  };
  RunScript(*host);
  EXPECT_THAT(host->driven, ElementsAre(0));
  EXPECT_NEAR(rig->Position(1), 40, 2);
  EXPECT_THAT(host->modes, ElementsAre(kModeRun, kModeTeachIn));
}

TEST_F(ScriptRunTest, ARepeatedRunOnADeadInterfaceStaysStoppable) {
  Start(false);
  robot->CloseInterface();  // every move now fails at once, without window messages
  SetScript({ZeroLine(false), "    40    10    10     0"});
  host->repeat = true;
  host->onLineMessages = [&] {
    if (host->lineMessages == 1000) Halt(*host);
  };
  RunScript(*host);
  EXPECT_EQ(host->driven.size(), 1000u);
  EXPECT_EQ(host->modes.back(), kModeTeachIn);
}

TEST_F(ScriptRunTest, AnUnreadableLineStopsTheRunInRunMode) {
  Start(false);
  SetScript({ZeroLine(false), "", "    40    10    10     0"});
  try {
    RunScript(*host);
    FAIL() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_STREQ(e.what(), "'' ist kein gültiger Integerwert");
  }
  EXPECT_THAT(host->driven, ElementsAre(0));
  EXPECT_THAT(host->modes, ElementsAre(kModeRun));  // stays in mode 4 until HALT
  EXPECT_EQ(host->list.ItemIndex(), 1);
}

TEST_F(ScriptRunTest, RunningAnEmptyScriptReportsTheListIndex) {
  Start(false);
  SetScript({}, -1);
  try {
    RunScript(*host);
    FAIL() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_STREQ(e.what(), "Der Index der Liste überschreitet das Maximum (-1)");
  }
}

TEST_F(ScriptRunTest, DrivingToOneLineByTag) {
  Start(false);
  SetScript({"    30    10    10     0", "    60    20    20     0", "    90    30    30     0"},
            1);

  DriveToLine(*host, 3);  // the marked line
  DriveToLine(*host, 2);  // the next
  DriveToLine(*host, 2);  // the last line again
  EXPECT_NEAR(rig->Position(1), 90, 2);
  DriveToLine(*host, 1);
  DriveToLine(*host, 1);
  DriveToLine(*host, 1);  // line 1 again
  EXPECT_THAT(host->driven, ElementsAre(1, 2, 2, 1, 0, 0));
  EXPECT_NEAR(rig->Position(1), 30, 2);
  EXPECT_EQ(Pos(1), 30);
  EXPECT_THAT(host->modes, ElementsAreArray(std::vector<int>{4, 3, 4, 3, 4, 3, 4, 3, 4, 3, 4, 3}));
}

TEST_F(ScriptRunTest, DrivingToAStaleStopFlagClearsIt) {
  Start(false);
  SetScript({"    30    10    10     0"}, 0);
  robot->StopFlag = true;  // left over from the last HALT
  DriveToLine(*host, 3);
  EXPECT_NEAR(rig->Position(1), 30, 2);
}

TEST_F(ScriptRunTest, Rob5LineDrivesTheCarriageAndSwitchesTheExtraOutputs) {
  Start(true);
  rig->SetInput(11, true);  // M8 1 waits for input 11 on
  SetScript({"  50  30  20 100   1 1 0 1"}, 0);
  DriveToLine(*host, 3);
  EXPECT_NEAR(rig->Position(4), 100, 2);  // Wagen
  EXPECT_NEAR(rig->Position(5), 28, 2);   // gripper closed at its maximum
  EXPECT_EQ(robot->MotorWord() & 0x3C00u, kMotor6Left);
  EXPECT_THAT(host->lineValues, ElementsAre(50, 30, 20, 100, 1, 1, 0, 1));
}

TEST_F(ScriptRunTest, Rob5WaitForInputElevenEndsWhenItComesOn) {
  Start(true);
  SetScript({"   0   0   0   0   0 0 0 1"}, 0);
  uint64_t switchAt = 0;
  hooks.onMessages = [&] {
    // Once the axes are home and the wait runs, throw the switch five seconds later.
    if (switchAt == 0 && host->lineValues[7] == 1) switchAt = rig->clock.NowMs() + 5000;
    if (switchAt != 0 && rig->clock.NowMs() >= switchAt) rig->SetInput(11, true);
  };
  DriveToLine(*host, 3);
  EXPECT_GE(rig->clock.NowMs(), switchAt);
  EXPECT_EQ(host->modes.back(), kModeTeachIn);
}

TEST_F(ScriptRunTest, ExtraMotorTakesHalfASecond) {
  Start(false, "Z");
  SetScript({"     0     0     0     1"}, 0);
  DriveToLine(*host, 3);
  uint64_t before = rig->clock.NowMs();
  host->SetGripper(0);
  EXPECT_GE(rig->clock.NowMs() - before, 500u);
  EXPECT_EQ(robot->MotorWord() & 0xC0u, 0u);
  EXPECT_EQ(host->lineValues[3], 0);
}

}  // namespace
}  // namespace kelvora::app
