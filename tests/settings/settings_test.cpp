#include "settings/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "access/brel_mot_list.h"
#include "platform/profile.h"
#include "tests/settings/test_dir.h"

namespace kelvora::settings {
namespace {

using access::mcEndSwitch;
using access::mcImpulse;
using access::mcMaximum;
using access::mcMotor;
using access::TBrelMotList;
using kelvora::testing::ReadBytes;
using kelvora::testing::TestDir;
using kelvora::testing::WriteBytes;
using platform::ProfileFile;

// The first worked example: a start without a file, the window moved to 120, 80.
const std::string kFirstFile =
    "[Common]\r\nLeft=120\r\nTop=80\r\nRobModel=Rob3\r\n"
    "\r\n[Port]\r\nPortName=COM1\r\nLPTDelay=10\r\n"
    "\r\n[Rob3]\r\nRobType=G\r\nRobText=S\xE4ulenroboter\r\nS\xE4ule=240\r\nArmH=160\r\n"
    "ArmV=150\r\nGreifer=28\r\n";

// The second: then Rob5, "Z", carriage 800, LPT2 and delay 12.
const std::string kSecondFile =
    "[Common]\r\nLeft=120\r\nTop=80\r\nRobModel=Rob5\r\n"
    "\r\n[Port]\r\nPortName=LPT2\r\nLPTDelay=12\r\n"
    "\r\n[Rob3]\r\nRobType=G\r\nRobText=S\xE4ulenroboter\r\nS\xE4ule=240\r\nArmH=160\r\n"
    "ArmV=150\r\nGreifer=28\r\n"
    "\r\n[Rob5]\r\nRobType=Z\r\nRobText=S\xE4ulenroboter\r\nS\xE4ule=240\r\nArmH=160\r\n"
    "ArmV=150\r\nWagen=800\r\nGreifer=9999\r\n";

struct Wiring {
  std::string name;
  int32_t motor, impulse, endSwitch, max;
};

Wiring AxisOf(const TBrelMotList& axes, int axis) {
  return {axes.GetName(axis), axes.GetNumber(axis, mcMotor), axes.GetNumber(axis, mcImpulse),
          axes.GetNumber(axis, mcEndSwitch), axes.GetPos(axis, mcMaximum)};
}

void ExpectAxis(const TBrelMotList& axes, int axis, const Wiring& want) {
  Wiring got = AxisOf(axes, axis);
  EXPECT_EQ(got.name, want.name) << "axis " << axis;
  EXPECT_EQ(got.motor, want.motor) << "axis " << axis;
  EXPECT_EQ(got.impulse, want.impulse) << "axis " << axis;
  EXPECT_EQ(got.endSwitch, want.endSwitch) << "axis " << axis;
  EXPECT_EQ(got.max, want.max) << "axis " << axis;
}

void ExpectAbsent(const TBrelMotList& axes, int from) {
  for (int axis = from; axis <= 8; ++axis) {
    ExpectAxis(axes, axis, {"Dummy", axis, 2 * axis, 2 * axis - 1, 9999});
  }
}

// What the main window does at start: read, wire, show.
struct Started {
  ProgramSettings settings;
  TBrelMotList axes;
  ModelData shown;
};

Started Start(const TestDir& dir) {
  Started s;
  s.settings.ProgDir = dir.Path();
  ReadSettings(s.settings, s.axes, SettingsPath(s.settings));
  ConfigureAxes(s.settings, s.axes);
  s.shown = ShowModelData(s.settings, s.axes);
  return s;
}

bool Close(Started& s, std::string* error = nullptr) {
  ProfileFile file(SettingsPath(s.settings));
  return WriteSettings(s.settings, s.axes, file, error);
}

TEST(Settings, StartWithoutFileGivesTheColumnRobot) {
  TestDir dir;
  Started s = Start(dir);
  EXPECT_EQ(s.settings.Left, 50);
  EXPECT_EQ(s.settings.Top, 50);
  EXPECT_EQ(s.settings.RobModel, "Rob3");
  EXPECT_EQ(s.settings.PortName, "COM1");
  EXPECT_EQ(s.settings.LPTDelay, 10u);
  EXPECT_EQ(s.settings.RobType, "G");
  EXPECT_EQ(s.settings.RobText, "Säulenroboter");
  EXPECT_EQ(s.settings.ScriptExt, "RB3");
  EXPECT_EQ(s.shown.title, "Rob3 : Säulenroboter");
  EXPECT_EQ(s.shown.memo, (std::vector<std::string>{"Modelldaten", "Modell : Rob3", "Port : COM1",
                                                    " ", "Arbeitsraum", "Säule : 240", "ArmH : 160",
                                                    "ArmV : 150", "Greifer : 28"}));
  EXPECT_FALSE(s.shown.rob5ControlsVisible);
  ExpectAxis(s.axes, 1, {"Säule", 1, 2, 1, 240});
  ExpectAxis(s.axes, 2, {"Arm horizontal", 2, 4, 3, 160});
  ExpectAxis(s.axes, 3, {"Arm vertikal", 3, 6, 5, 150});
  ExpectAxis(s.axes, 4, {"Greifer", 4, 8, 7, 28});
  ExpectAbsent(s.axes, 5);
  EXPECT_FALSE(std::filesystem::exists(SettingsPath(s.settings)));  // reading creates nothing
}

TEST(Settings, WorkedExamplesByteForByte) {
  TestDir dir;
  Started first = Start(dir);
  first.settings.Left = 120;
  first.settings.Top = 80;
  std::string error;
  ASSERT_TRUE(Close(first, &error)) << error;
  EXPECT_EQ(ReadBytes(SettingsPath(first.settings)), kFirstFile);

  // Next run: the model dialog picks Rob5 and "Z" with the carriage at 800 (the other fields
  // still hold Rob3's values; a type other than G gives the gripper 9999), the interface
  // dialog picks LPT2 with delay 12.
  Started second = Start(dir);
  EXPECT_EQ(second.settings.Left, 120);
  EXPECT_EQ(second.settings.Top, 80);
  second.settings.SetRobModel("Rob5");
  second.settings.RobType = "Z";
  second.axes.SetPos(4, mcMaximum, 800);
  second.axes.SetPos(5, mcMaximum, 9999);
  second.settings.PortName = "LPT2";
  second.settings.LPTDelay = 12;
  ConfigureAxes(second.settings, second.axes);
  ASSERT_TRUE(Close(second, &error)) << error;
  EXPECT_EQ(ReadBytes(SettingsPath(second.settings)), kSecondFile);

  // And it reads back as written.
  Started third = Start(dir);
  EXPECT_EQ(third.settings.RobModel, "Rob5");
  EXPECT_EQ(third.settings.ScriptExt, "RB5");
  EXPECT_EQ(third.settings.RobType, "Z");
  EXPECT_EQ(third.settings.PortName, "LPT2");
  EXPECT_EQ(third.settings.LPTDelay, 12u);
  EXPECT_EQ(AxisOf(third.axes, 4).max, 800);
  EXPECT_EQ(AxisOf(third.axes, 5).max, 9999);
  // Closing again without changes leaves every byte in place.
  ASSERT_TRUE(Close(third, &error)) << error;
  EXPECT_EQ(ReadBytes(SettingsPath(third.settings)), kSecondFile);
}

TEST(Settings, Rob5WithoutItsSectionUsesTheDefaultsAndTheCarriageLayout) {
  TestDir dir;
  WriteBytes(dir.File("Kelvora.INI"), "[Common]\r\nRobModel=Rob5\r\n");
  Started s = Start(dir);
  EXPECT_EQ(s.settings.RobType, "G");
  EXPECT_EQ(s.settings.RobText, "Säulenroboter");
  EXPECT_EQ(s.shown.title, "Rob5 : Säulenroboter");
  ExpectAxis(s.axes, 1, {"Säule", 1, 2, 1, 240});
  ExpectAxis(s.axes, 2, {"Arm horizontal", 2, 4, 3, 160});
  ExpectAxis(s.axes, 3, {"Arm vertikal", 3, 6, 5, 150});
  ExpectAxis(s.axes, 4, {"Wagen", 5, 10, 9, 1000});
  ExpectAxis(s.axes, 5, {"Greifer", 4, 8, 7, 28});
  ExpectAbsent(s.axes, 6);
  ASSERT_EQ(s.shown.memo.size(), 10u);
  EXPECT_EQ(s.shown.memo[8], "Wagen : 1000");
  EXPECT_EQ(s.shown.memo[9], "Greifer : 28");
  EXPECT_TRUE(s.shown.rob5ControlsVisible);
}

TEST(Settings, Rob5TypeDoesNotChangeTheAxisTableAndGreiferIsAlwaysWritten) {
  TestDir dir;
  WriteBytes(dir.File("Kelvora.INI"),
             "[Common]\r\nRobModel=Rob5\r\n[Rob5]\r\nRobType=Z\r\nWagen=0x320\r\nGreifer=9999\r\n");
  Started s = Start(dir);
  ExpectAxis(s.axes, 4, {"Wagen", 5, 10, 9, 800});
  ExpectAxis(s.axes, 5, {"Greifer", 4, 8, 7, 9999});
  EXPECT_EQ(s.shown.memo.back(), "Greifer : 9999");
  ASSERT_TRUE(Close(s));
  // The existing keys keep their places; the new ones follow the last key.
  EXPECT_EQ(ReadBytes(dir.File("Kelvora.INI")),
            "[Common]\r\nRobModel=Rob5\r\nLeft=50\r\nTop=50\r\n"
            "[Rob5]\r\nRobType=Z\r\nWagen=800\r\nGreifer=9999\r\nRobText=S\xE4ulenroboter\r\n"
            "S\xE4ule=240\r\nArmH=160\r\nArmV=150\r\n"
            "\r\n[Port]\r\nPortName=COM1\r\nLPTDelay=10\r\n");
}

TEST(Settings, TypeOtherThanUpperCaseGHasNoGripperAxis) {
  for (const char* type : {"Z", "g"}) {
    TestDir dir;
    // A Greifer line from an earlier run, in its own spelling, with a comment after it.
    const std::string rob3 =
        std::string("[Rob3]\r\nRobType=") + type + "\r\n greifer = 77 \r\n; old gripper\r\n";
    WriteBytes(dir.File("Kelvora.INI"), rob3);
    Started s = Start(dir);
    EXPECT_EQ(s.settings.RobType, type);
    ExpectAxis(s.axes, 1, {"Säule", 1, 2, 1, 240});
    ExpectAbsent(s.axes, 4);
    EXPECT_EQ(s.shown.memo.size(), 8u) << type;
    EXPECT_EQ(s.shown.memo.back(), "ArmV : 150");
    ASSERT_TRUE(Close(s));
    ASSERT_TRUE(Close(s));  // and at every later close
    EXPECT_EQ(ReadBytes(dir.File("Kelvora.INI")),
              std::string("[Rob3]\r\nRobType=") + type +
                  "\r\n greifer = 77 \r\nRobText=S\xE4ulenroboter\r\nS\xE4ule=240\r\nArmH=160\r\n"
                  "ArmV=150\r\n; old gripper\r\n"
                  "\r\n[Common]\r\nLeft=50\r\nTop=50\r\nRobModel=Rob3\r\n"
                  "\r\n[Port]\r\nPortName=COM1\r\nLPTDelay=10\r\n")
        << type;
  }
}

TEST(Settings, LowerCaseRob5FindsTheSectionButKeepsTheStandardLayout) {
  TestDir dir;
  WriteBytes(dir.File("Kelvora.INI"),
             "[Common]\r\nRobModel=rob5\r\n"
             "[Rob5]\r\nRobType=G\r\nRobText=Wagenroboter\r\nS\xE4ule=100\r\nWagen=700\r\n"
             "Greifer=20\r\n");
  Started s = Start(dir);
  EXPECT_EQ(s.settings.RobModel, "rob5");
  EXPECT_EQ(s.settings.ScriptExt, "RB5");
  EXPECT_EQ(s.settings.RobText, "Wagenroboter");
  ExpectAxis(s.axes, 1, {"Säule", 1, 2, 1, 100});
  ExpectAxis(s.axes, 4, {"Greifer", 4, 8, 7, 20});  // the gripper, not the carriage
  ExpectAbsent(s.axes, 5);
  EXPECT_FALSE(s.shown.rob5ControlsVisible);
  EXPECT_EQ(s.shown.title, "rob5 : Wagenroboter");
  EXPECT_EQ(s.shown.memo.back(), "Greifer : 20");
}

TEST(Settings, SauleAsHexadecimalAndAsText) {
  struct Case {
    const char* text;
    int32_t max;
  } cases[] = {{"0x1E", 30},      {"$1E", 30},   {"-0x1E", -30},
               {"dreissig", 240}, {" 30\t", 30}, {"", 240}};
  for (const Case& c : cases) {
    TestDir dir;
    WriteBytes(dir.File("Kelvora.INI"), std::string("[Rob3]\r\nS\xE4ule=") + c.text + "\r\n");
    Started s = Start(dir);
    EXPECT_EQ(AxisOf(s.axes, 1).max, c.max) << c.text;
  }
}

TEST(Settings, HeaderWithoutKeysIsNoSectionAndGetsTheKeysUnderIt) {
  TestDir dir;
  WriteBytes(dir.File("Kelvora.INI"), "[Rob3]\r\n\r\n[Common]\r\nRobModel=Rob3\r\n");
  Started s = Start(dir);
  EXPECT_EQ(s.settings.RobText, "Säulenroboter");
  ASSERT_TRUE(Close(s));
  EXPECT_EQ(ReadBytes(dir.File("Kelvora.INI")),
            "[Rob3]\r\nRobType=G\r\nRobText=S\xE4ulenroboter\r\nS\xE4ule=240\r\nArmH=160\r\n"
            "ArmV=150\r\nGreifer=28\r\n"
            "\r\n[Common]\r\nRobModel=Rob3\r\nLeft=50\r\nTop=50\r\n"
            "\r\n[Port]\r\nPortName=COM1\r\nLPTDelay=10\r\n");
}

TEST(Settings, SwitchingFromRob5ToAStandardModelLeavesNoCarriage) {
  TestDir dir;
  WriteBytes(dir.File("Kelvora.INI"), "[Common]\r\nRobModel=Rob5\r\n");
  for (const char* type : {"G", "Z"}) {
    Started s = Start(dir);
    ASSERT_EQ(AxisOf(s.axes, 4).name, "Wagen");
    s.settings.SetRobModel("Rob2");
    s.settings.RobType = type;
    s.axes.SetPos(4, mcMaximum, 28);
    ConfigureAxes(s.settings, s.axes);
    if (std::string(type) == "G") {
      ExpectAxis(s.axes, 4, {"Greifer", 4, 8, 7, 28});  // maxima of used axes stay
      ExpectAbsent(s.axes, 5);
    } else {
      ExpectAbsent(s.axes, 4);
    }
    EXPECT_EQ(s.settings.ScriptExt, "RB2");
  }
}

TEST(Settings, TextsRoundTripThroughTheCodePage) {
  TestDir dir;
  Started s = Start(dir);
  s.settings.SetRobModel("Rob2");
  s.settings.RobText = "Schweiß-Roboter";
  s.settings.RobType = "Z";
  ASSERT_TRUE(Close(s));
  EXPECT_NE(ReadBytes(dir.File("Kelvora.INI")).find("RobText=Schwei\xDF-Roboter\r\n"),
            std::string::npos);
  Started again = Start(dir);
  EXPECT_EQ(again.shown.title, "Rob2 : Schweiß-Roboter");
  EXPECT_EQ(again.settings.ScriptExt, "RB2");
}

TEST(Settings, FailedWriteStopsAndNamesTheFile) {
  TestDir dir;
  // A folder that cannot exist: its parent is a regular file.
  WriteBytes(dir.File("plain"), "x");
  Started s;
  s.settings.ProgDir = dir.File("plain/");
  ReadSettings(s.settings, s.axes, SettingsPath(s.settings));
  ConfigureAxes(s.settings, s.axes);
  std::string error;
  EXPECT_FALSE(Close(s, &error));
  EXPECT_EQ(error, "nach " + dir.File("plain/Kelvora.INI") + " kann nicht geschrieben werden");

  // A read-only settings file: nothing is written, the file stays as it was.
  TestDir ro;
  WriteBytes(ro.File("Kelvora.INI"), kFirstFile);
  ASSERT_EQ(::chmod(ro.File("Kelvora.INI").c_str(), 0444), 0);
  Started r = Start(ro);
  r.settings.Left = 1;
  EXPECT_FALSE(Close(r, &error));
  EXPECT_EQ(error, "nach " + ro.File("Kelvora.INI") + " kann nicht geschrieben werden");
  EXPECT_EQ(ReadBytes(ro.File("Kelvora.INI")), kFirstFile);

  // A failure part-way: the keys before the failing one are written, none after it.
  TestDir mid;
  Started m = Start(mid);
  m.settings.RobText = "zwei\nZeilen";
  EXPECT_FALSE(Close(m, &error));
  EXPECT_EQ(ReadBytes(mid.File("Kelvora.INI")),
            "[Common]\r\nLeft=50\r\nTop=50\r\nRobModel=Rob3\r\n"
            "\r\n[Port]\r\nPortName=COM1\r\nLPTDelay=10\r\n"
            "\r\n[Rob3]\r\nRobType=G\r\n");
}

TEST(Settings, ScriptExtensionTakesAWholeLastCharacter) {
  ProgramSettings p;
  p.SetRobModel("Rob7");
  EXPECT_EQ(p.ScriptExt, "RB7");
  p.SetRobModel("");
  EXPECT_EQ(p.ScriptExt, "RB");
  p.SetRobModel("Robä");
  EXPECT_EQ(p.ScriptExt, "RBä");
  p.SetRobModel("\x80\x80\x80\x80\x80");  // malformed: never reaches outside the text
  EXPECT_EQ(p.ScriptExt.size(), 6u);
}

}  // namespace
}  // namespace kelvora::settings
