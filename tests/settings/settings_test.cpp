// SPDX-License-Identifier: MIT
// The settings file as the program reads and writes it, the axis table wired from it and the
// title and memo shown for it.
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "access/brel_mot_list.h"
#include "platform/profile.h"
#include "tests/settings/test_dir.h"
#include "tests/support/scoped_env.h"

namespace kelvora::settings {
namespace {

using access::mcMaximum;
using access::TBrelMotList;
using kelvora::testing::ReadBytes;
using kelvora::testing::TestDir;
using kelvora::testing::WriteBytes;

const std::string kRob3Keys =
    "RobText=S\xE4ulenroboter\r\nS\xE4ule=240\r\nArmH=160\r\nArmV=150\r\n";
const std::string kDefaultPort = "\r\n[Port]\r\nPortName=COM1\r\nLPTDelay=10\r\n";

// The first worked example: a start without a file, the window moved to 120, 80.
const std::string kFirstFile = "[Common]\r\nLeft=120\r\nTop=80\r\nRobModel=Rob3\r\n" +
                               kDefaultPort + "\r\n[Rob3]\r\nRobType=G\r\n" + kRob3Keys +
                               "Greifer=28\r\n";
// The second: then Rob5, "Z", carriage 800, LPT2 and delay 12.
const std::string kSecondFile =
    "[Common]\r\nLeft=120\r\nTop=80\r\nRobModel=Rob5\r\n\r\n[Port]\r\nPortName=LPT2\r\n"
    "LPTDelay=12\r\n\r\n[Rob3]\r\nRobType=G\r\n" +
    kRob3Keys + "Greifer=28\r\n\r\n[Rob5]\r\nRobType=Z\r\n" + kRob3Keys +
    "Wagen=800\r\nGreifer=9999\r\n";

struct Wiring {
  std::string name;
  int32_t motor, impulse, endSwitch, max;
  bool operator==(const Wiring&) const = default;
  friend std::ostream& operator<<(std::ostream& o, const Wiring& w) {
    return o << w.name << " M" << w.motor << " I" << w.impulse << " E" << w.endSwitch << " max "
             << w.max;
  }
};
const Wiring kSaule{"Säule", 1, 2, 1, 240}, kArmH{"Arm horizontal", 2, 4, 3, 160},
    kArmV{"Arm vertikal", 3, 6, 5, 150}, kGreifer{"Greifer", 4, 8, 7, 28};

// The used axes from axis 1 up; every later one must be unused on its own motor.
void ExpectAxes(const TBrelMotList& axes, std::vector<Wiring> want) {
  for (int a = static_cast<int>(want.size()) + 1; a <= 8; ++a) {
    want.push_back({"Dummy", a, 2 * a, 2 * a - 1, 9999});
  }
  for (int a = 1; a <= 8; ++a) {
    EXPECT_EQ((Wiring{axes.GetName(a), axes.GetNumber(a, access::mcMotor),
                      axes.GetNumber(a, access::mcImpulse), axes.GetNumber(a, access::mcEndSwitch),
                      axes.GetPos(a, mcMaximum)}),
              want[a - 1])
        << "axis " << a;
  }
}

// What the main window does at start (read, wire, show) and at close (write).
struct Started {
  ProgramSettings settings;
  TBrelMotList axes;
  ModelData shown;
  explicit Started(const std::string& dir) {
    settings.ProgDir = dir;
    ReadSettings(settings, axes, SettingsPath(settings));
    ConfigureAxes(settings, axes);
    shown = ShowModelData(settings, axes);
  }
  bool Close(std::string* error = nullptr) {
    platform::ProfileFile file(SettingsPath(settings));
    return WriteSettings(settings, axes, file, error);
  }
};

// A start with the given settings file.
Started StartWith(const TestDir& dir, const std::string& file) {
  WriteBytes(dir.File("Kelvora.INI"), file);
  return Started(dir.Path());
}

TEST(Settings, WorkedExamplesByteForByte) {
  TestDir dir;
  Started first(dir.Path());
  EXPECT_EQ(first.shown.title, "Rob3 : Säulenroboter");
  EXPECT_EQ(first.shown.memo, (std::vector<std::string>{
                                  "Modelldaten", "Modell : Rob3", "Port : COM1", " ", "Arbeitsraum",
                                  "Säule : 240", "ArmH : 160", "ArmV : 150", "Greifer : 28"}));
  EXPECT_FALSE(first.shown.rob5ControlsVisible);
  EXPECT_EQ(first.settings.ScriptExt, "RB3");
  ExpectAxes(first.axes, {kSaule, kArmH, kArmV, kGreifer});
  EXPECT_FALSE(std::filesystem::exists(dir.File("Kelvora.INI")));  // reading creates nothing
  first.settings.Left = 120;
  first.settings.Top = 80;
  std::string error;
  ASSERT_TRUE(first.Close(&error)) << error;
  EXPECT_EQ(ReadBytes(dir.File("Kelvora.INI")), kFirstFile);

  // The model dialog leaves Rob3's values in the other fields; a type other than G gives the
  // gripper 9999.
  Started second(dir.Path());
  second.settings.SetRobModel("Rob5");
  second.settings.RobType = "Z";
  second.axes.SetPos(4, mcMaximum, 800);
  second.axes.SetPos(5, mcMaximum, 9999);
  second.settings.PortName = "LPT2";
  second.settings.LPTDelay = 12;
  ConfigureAxes(second.settings, second.axes);
  ASSERT_TRUE(second.Close(&error)) << error;
  EXPECT_EQ(ReadBytes(dir.File("Kelvora.INI")), kSecondFile);

  // It reads back as written, and closing without changes leaves every byte in place.
  Started third(dir.Path());
  EXPECT_EQ(third.shown.title, "Rob5 : Säulenroboter");
  EXPECT_EQ(third.settings.ScriptExt, "RB5");
  EXPECT_EQ(third.settings.RobType, "Z");
  EXPECT_EQ(third.shown.memo[2], "Port : LPT2");
  EXPECT_EQ(third.settings.LPTDelay, 12u);
  EXPECT_EQ(third.axes.GetPos(4, mcMaximum), 800);
  EXPECT_EQ(third.axes.GetPos(5, mcMaximum), 9999);
  ASSERT_TRUE(third.Close(&error)) << error;
  EXPECT_EQ(ReadBytes(dir.File("Kelvora.INI")), kSecondFile);
}

TEST(Settings, Rob5HasTheCarriageLayoutAndExistingKeysKeepTheirPlaces) {
  TestDir dir;
  Started s = StartWith(
      dir, "[Common]\r\nRobModel=Rob5\r\n[Rob5]\r\nRobType=Z\r\nWagen=0x320\r\nGreifer=9999\r\n");
  ExpectAxes(s.axes, {kSaule, kArmH, kArmV, {"Wagen", 5, 10, 9, 800}, {"Greifer", 4, 8, 7, 9999}});
  ASSERT_EQ(s.shown.memo.size(), 10u);
  EXPECT_EQ(s.shown.memo[8], "Wagen : 800");
  EXPECT_EQ(s.shown.memo[9], "Greifer : 9999");
  EXPECT_TRUE(s.shown.rob5ControlsVisible);
  ASSERT_TRUE(s.Close());
  // New keys follow the last key of their section; the gripper is always written for Rob5.
  EXPECT_EQ(ReadBytes(dir.File("Kelvora.INI")),
            "[Common]\r\nRobModel=Rob5\r\nLeft=50\r\nTop=50\r\n"
            "[Rob5]\r\nRobType=Z\r\nWagen=800\r\nGreifer=9999\r\n" +
                kRob3Keys + kDefaultPort);
}

TEST(Settings, TypeOtherThanUpperCaseGHasNoGripperAndLeavesItsOldKey) {
  for (const std::string type : {"Z", "g"}) {
    TestDir dir;
    // A Greifer line from an earlier run, in its own spelling, with a comment after it.
    Started s =
        StartWith(dir, "[Rob3]\r\nRobType=" + type + "\r\n greifer = 77 \r\n; old gripper\r\n");
    EXPECT_EQ(s.settings.RobType, type);
    ExpectAxes(s.axes, {kSaule, kArmH, kArmV});
    EXPECT_EQ(s.shown.memo.size(), 8u) << type;
    ASSERT_TRUE(s.Close());
    ASSERT_TRUE(s.Close());  // and at every later close
    EXPECT_EQ(ReadBytes(dir.File("Kelvora.INI")),
              "[Rob3]\r\nRobType=" + type + "\r\n greifer = 77 \r\n" + kRob3Keys +
                  "; old gripper\r\n\r\n[Common]\r\nLeft=50\r\nTop=50\r\nRobModel=Rob3\r\n" +
                  kDefaultPort)
        << type;
  }
}

TEST(Settings, LowerCaseRob5FindsTheSectionButKeepsTheStandardLayout) {
  TestDir dir;
  Started s =
      StartWith(dir,
                "[Common]\r\nRobModel=rob5\r\n[Rob5]\r\nRobType=G\r\nRobText=Wagenroboter\r\n"
                "S\xE4ule=100\r\nWagen=700\r\nGreifer=20\r\n");
  EXPECT_EQ(s.settings.ScriptExt, "RB5");
  EXPECT_EQ(s.shown.title, "rob5 : Wagenroboter");
  ExpectAxes(s.axes, {{"Säule", 1, 2, 1, 100}, kArmH, kArmV, {"Greifer", 4, 8, 7, 20}});
  EXPECT_FALSE(s.shown.rob5ControlsVisible);
  EXPECT_EQ(s.shown.memo.back(), "Greifer : 20");
}

// Only the nine entries are models; their letters match without regard to case, as
// section names do. Any other name counts as absent, and its section is left alone.
TEST(Settings, ModelNameThatIsNoEntryReadsAsTheDefault) {
  const std::pair<const char*, const char*> cases[] = {{"Rob9", "Rob9"},
                                                       {"ROB7", "ROB7"},
                                                       {"rob5", "rob5"},
                                                       {"RobX", "Rob3"},
                                                       {"Rob0", "Rob3"},
                                                       {"Rob10", "Rob3"},
                                                       {"Rob", "Rob3"},
                                                       {"Xob5", "Rob3"},
                                                       {"R\xF6"
                                                        "b5",
                                                        "Rob3"},
                                                       {"", "Rob3"}};
  for (const auto& [name, model] : cases) {
    TestDir dir;
    const std::string section = std::string("[") + name + "]\r\nRobText=eigen\r\n";
    Started s = StartWith(dir, std::string("[Common]\r\nRobModel=") + name + "\r\n" + section);
    EXPECT_EQ(s.settings.RobModel, model) << name;
    EXPECT_EQ(s.settings.ScriptExt, "RB" + std::string(1, model[3])) << name;
    EXPECT_EQ(s.settings.RobText, s.settings.RobModel == name ? "eigen" : "Säulenroboter") << name;
    ASSERT_TRUE(s.Close());
    const std::string written = ReadBytes(dir.File("Kelvora.INI"));
    if (s.settings.RobModel != name) {
      EXPECT_NE(written.find(section + "\r\n"), std::string::npos) << name;
    }
    Started again(dir.Path());
    EXPECT_EQ(again.settings.RobModel, model) << name;
  }
}

TEST(Settings, SauleAsHexadecimalAndAsText) {
  const std::pair<const char*, int32_t> cases[] = {{"0x1E", 30},      {"$1E", 30},   {"-0x1E", 240},
                                                   {"dreissig", 240}, {" 30\t", 30}, {"", 240}};
  for (const auto& [text, max] : cases) {
    TestDir dir;
    Started s = StartWith(dir, std::string("[Rob3]\r\nS\xE4ule=") + text + "\r\n");
    EXPECT_EQ(s.axes.GetPos(1, mcMaximum), max) << text;
  }
}

TEST(Settings, HeaderWithoutKeysIsNoSectionAndGetsTheKeysUnderIt) {
  TestDir dir;
  Started s = StartWith(dir, "[Rob3]\r\n\r\n[Common]\r\nRobModel=Rob3\r\n");
  ASSERT_TRUE(s.Close());
  EXPECT_EQ(ReadBytes(dir.File("Kelvora.INI")),
            "[Rob3]\r\nRobType=G\r\n" + kRob3Keys +
                "Greifer=28\r\n\r\n[Common]\r\nRobModel=Rob3\r\nLeft=50\r\nTop=50\r\n" +
                kDefaultPort);
}

TEST(Settings, SwitchingFromRob5ToAStandardModelLeavesNoCarriage) {
  TestDir dir;
  for (const std::string type : {"G", "Z"}) {
    Started s = StartWith(dir, "[Common]\r\nRobModel=Rob5\r\n");
    ASSERT_EQ(s.axes.GetName(4), "Wagen");
    s.settings.SetRobModel("Rob2");
    s.settings.RobType = type;
    s.axes.SetPos(4, mcMaximum, 28);
    ConfigureAxes(s.settings, s.axes);
    if (type == "G") {
      ExpectAxes(s.axes, {kSaule, kArmH, kArmV, kGreifer});  // maxima of used axes stay
    } else {
      ExpectAxes(s.axes, {kSaule, kArmH, kArmV});
    }
    EXPECT_EQ(s.settings.ScriptExt, "RB2");
  }
}

TEST(Settings, AFailedWriteNamesTheFileAndWritesNothing) {
  // A folder that cannot exist: its parent is a regular file.
  TestDir dir;
  WriteBytes(dir.File("plain"), "x");
  Started s(dir.File("plain/"));
  std::string error;
  EXPECT_FALSE(s.Close(&error));
  EXPECT_EQ(error, "nach " + dir.File("plain/Kelvora.INI") + " kann nicht geschrieben werden");

  // A value that cannot be stored (a line break in the description) stops the write
  // before anything reaches the file: all keys or none, with or without a file before.
  for (const std::string before : {"", "[Rob3]\r\nRobText=alt\r\n"}) {
    TestDir mid;
    if (!before.empty()) WriteBytes(mid.File("Kelvora.INI"), before);
    Started m(mid.Path());
    m.settings.RobText = "zwei\nZeilen";
    EXPECT_FALSE(m.Close(&error));
    EXPECT_EQ(error, "nach " + mid.File("Kelvora.INI") + " kann nicht geschrieben werden");
    EXPECT_EQ(std::filesystem::exists(mid.File("Kelvora.INI")), !before.empty());
    if (!before.empty()) {
      EXPECT_EQ(ReadBytes(mid.File("Kelvora.INI")), before);
    }
    EXPECT_EQ(kelvora::testing::EntryCount(mid.Path()), before.empty() ? 0 : 1);
  }
}

// Every number has one valid range: what lies outside counts as missing (the default) at
// start, so the program never holds, shows or writes a value it could not read back.
TEST(Settings, NumbersOutsideTheirRangeReadAsTheDefault) {
  struct Case {
    const char* key;
    const char* text;
    int32_t value;
  };
  const Case cases[] = {
      {"LPTDelay", "-1", 10},  {"LPTDelay", "150", 10},  {"LPTDelay", "0", 0},
      {"LPTDelay", "99", 99},  {"LPTDelay", "100", 10},  {"LPTDelay", "$63", 99},
      {"Säule", "-5", 240},    {"Säule", "0", 0},        {"Säule", "9999", 9999},
      {"Säule", "10000", 240}, {"Greifer", "-1", 28},    {"Greifer", "0x270F", 9999},
      {"Wagen", "-800", 1000}, {"Wagen", "12000", 1000}, {"Wagen", "5000", 5000},
  };
  for (const Case& c : cases) {
    TestDir dir;
    const std::string key = platform::Utf8ToCp1252(c.key);
    const std::string section = key == "LPTDelay" ? "Port" : "Rob5";
    Started s = StartWith(
        dir, "[Common]\r\nRobModel=Rob5\r\n[" + section + "]\r\n" + key + "=" + c.text + "\r\n");
    const int axis = key == "Wagen" ? 4 : key == "Greifer" ? 5 : 1;
    const int32_t got = key == "LPTDelay" ? static_cast<int32_t>(s.settings.LPTDelay)
                                          : s.axes.GetPos(axis, mcMaximum);
    EXPECT_EQ(got, c.value) << c.key << "=" << c.text;
    // What the program then writes it reads back.
    ASSERT_TRUE(s.Close());
    Started again(dir.Path());
    EXPECT_EQ(again.settings.LPTDelay, s.settings.LPTDelay) << c.key << "=" << c.text;
    EXPECT_EQ(again.axes.GetPos(axis, mcMaximum), s.axes.GetPos(axis, mcMaximum));
  }
}

// Round trip over settings the program can hold: every value read back equals the
// value written, for random settings and for the ends of every range.
TEST(Settings, EverySettingTheProgramCanWriteReadsBackEqual) {
  std::mt19937 rng(16);
  auto pick = [&](int32_t lo, int32_t hi) {
    switch (rng() % 4) {
      case 0:
        return lo;
      case 1:
        return hi;
      default:
        return lo + static_cast<int32_t>(rng() % static_cast<uint32_t>(hi - lo + 1));
    }
  };
  // Description characters: the code page's printable ones, blanks and quotes included.
  const std::string chars = platform::Cp1252ToUtf8(" '\"=;[]$xX09\xE4\xD6\xDF\x80\xA0\xFF");
  std::vector<std::string> glyphs;
  for (size_t i = 0; i < chars.size();) {
    size_t n = 1;
    while (i + n < chars.size() && (static_cast<unsigned char>(chars[i + n]) & 0xC0) == 0x80) ++n;
    glyphs.push_back(chars.substr(i, n));
    i += n;
  }
  const char* const ports[] = {"COM1", "COM2", "COM3", "COM4", "LPT1", "LPT2", "LPT3", "LPT"};
  for (int round = 0; round < 100; ++round) {
    TestDir dir;
    Started s(dir.Path());
    s.settings.Left = static_cast<int32_t>(rng());
    s.settings.Top = round == 0 ? INT32_MIN : round == 1 ? INT32_MAX : static_cast<int32_t>(rng());
    s.settings.SetRobModel("Rob" + std::to_string(1 + rng() % 9));
    s.settings.PortName = ports[rng() % 8];
    s.settings.LPTDelay = static_cast<uint32_t>(pick(kMinLptDelay, kMaxLptDelay));
    s.settings.RobType = rng() % 2 ? "G" : "Z";
    s.settings.RobText.clear();
    for (int n = static_cast<int>(rng() % 41); n > 0; --n)
      s.settings.RobText += glyphs[rng() % glyphs.size()];
    for (int axis = 1; axis <= 5; ++axis)
      s.axes.SetPos(axis, mcMaximum, pick(kMinMaximum, kMaxMaximum));
    ConfigureAxes(s.settings, s.axes);
    std::string error;
    ASSERT_TRUE(s.Close(&error)) << error;

    Started r(dir.Path());
    const std::string what =
        "round " + std::to_string(round) + " text [" + s.settings.RobText + "]";
    EXPECT_EQ(r.settings.Left, s.settings.Left) << what;
    EXPECT_EQ(r.settings.Top, s.settings.Top) << what;
    EXPECT_EQ(r.settings.RobModel, s.settings.RobModel) << what;
    EXPECT_EQ(r.settings.PortName, s.settings.PortName) << what;
    EXPECT_EQ(r.settings.LPTDelay, s.settings.LPTDelay) << what;
    EXPECT_EQ(r.settings.RobType, s.settings.RobType) << what;
    EXPECT_EQ(r.settings.RobText, s.settings.RobText) << what;
    for (int axis = 1; axis <= 8; ++axis)
      EXPECT_EQ(r.axes.GetPos(axis, mcMaximum), s.axes.GetPos(axis, mcMaximum))
          << what << " axis " << axis;
  }
}

// An installed program: its folder cannot be written, so the settings are the user's.
TEST(Settings, ReadOnlyProgramFolderReadsItsFileUntilTheUsersOwnExists) {
  TestDir program, home;
  kelvora::testing::ScopedEnv saved{"XDG_CONFIG_HOME"};
  ASSERT_EQ(::setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1), 0);
  const std::string shipped =
      "[Common]\r\nRobModel=Rob4\r\n[Rob4]\r\nRobType=G\r\nRobText=Knickarm\r\n"
      "[Rob9]\r\nRobText=bleibt\r\n";
  WriteBytes(program.File("Kelvora.INI"), shipped);

  // Writable: the program folder's own file, read and written there.
  platform::ProgramFolders own = platform::ChooseProgramFolders(program.Path(), true);
  EXPECT_EQ(own.progDir, program.Path());
  EXPECT_TRUE(own.fallbackDir.empty());

  platform::ProgramFolders user = platform::ChooseProgramFolders(program.Path(), false);
  EXPECT_EQ(user.progDir, home.Path() + "kelvora/");
  EXPECT_EQ(user.fallbackDir, program.Path());
  platform::ProfileFile file = SettingsFile(user);
  EXPECT_EQ(file.Path(), home.Path() + "kelvora/Kelvora.INI");
  ProgramSettings settings;
  settings.ProgDir = user.progDir;
  TBrelMotList axes;
  ReadSettings(settings, axes, file);
  EXPECT_EQ(settings.RobModel, "Rob4");  // the shipped file, not the defaults
  EXPECT_EQ(settings.RobText, "Knickarm");
  settings.PortName = "COM2";
  ASSERT_TRUE(WriteSettings(settings, axes, file));
  // Written to the user's file, which keeps what the shipped one held; that one is unchanged.
  EXPECT_EQ(ReadBytes(program.File("Kelvora.INI")), shipped);
  const std::string written = ReadBytes(file.Path());
  EXPECT_NE(written.find("RobText=bleibt"), std::string::npos);
  EXPECT_NE(written.find("PortName=COM2"), std::string::npos);
  // From now on the user's file is the one read.
  WriteBytes(program.File("Kelvora.INI"), "[Common]\r\nRobModel=Rob7\r\n");
  ProgramSettings next;
  ReadSettings(next, axes, SettingsFile(user));
  EXPECT_EQ(next.RobModel, "Rob4");
  EXPECT_EQ(next.PortName, "COM2");
}

TEST(Settings, ScriptExtensionTakesAWholeLastCharacter) {
  const std::pair<const char*, const char*> cases[] = {
      {"Rob7", "RB7"}, {"", "RB"}, {"Robä", "RBä"}};
  ProgramSettings p;
  for (const auto& [model, ext] : cases) {
    p.SetRobModel(model);
    EXPECT_EQ(p.ScriptExt, ext);
  }
  p.SetRobModel("\x80\x80\x80\x80\x80");  // malformed: never reaches outside the text
  EXPECT_EQ(p.ScriptExt.size(), 6u);
}

}  // namespace
}  // namespace kelvora::settings
