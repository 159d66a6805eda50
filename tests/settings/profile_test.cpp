#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/prog_dir.h"
#include "tests/settings/test_dir.h"

namespace kelvora::platform {
namespace {

using kelvora::testing::EntryCount;
using kelvora::testing::ReadBytes;
using kelvora::testing::TestDir;
using kelvora::testing::WriteBytes;
using profile::FindValue;
using profile::SectionHasKeys;
using profile::SetValue;

std::optional<std::string> Val(const std::string& s) {
  return s;
}

// --- Reading --------------------------------------------------------------------------

TEST(ProfileRead, NamesMatchWithoutRegardToCaseIncludingCodePageLetters) {
  // "SÄULE" with 0xC4 must find the key stored as "Säule" with 0xE4.
  const std::string file =
      "[rob3]\r\nS\xE4ule=30\r\nArmH=7\r\n[\xC9t\xE9]\r\n\x9A"
      "a=1\r\n";
  EXPECT_EQ(FindValue(file, "ROB3", "S\xC4ULE"), Val("30"));
  EXPECT_EQ(FindValue(file, "Rob3", "armh"), Val("7"));
  EXPECT_EQ(FindValue(file, "\xE9T\xC9",
                      "\x8A"
                      "A"),
            Val("1"));
  // ß has no single upper-case letter; it matches only itself.
  EXPECT_FALSE(
      FindValue("[a]\r\nstra\xDF"
                "e=1\r\n",
                "a", "STRASSE"));
  EXPECT_FALSE(FindValue(file, "Rob4", "ArmH"));
  EXPECT_FALSE(FindValue(file, "Rob3", "ArmV"));
}

TEST(ProfileRead, FirstOfDuplicateSectionsAndKeysWins) {
  const std::string file =
      "[Port]\r\nPortName=COM2\r\nportname=COM3\r\n[Other]\r\nx=1\r\n[PORT]\r\nPortName=LPT1\r\n"
      "LPTDelay=5\r\n";
  EXPECT_EQ(FindValue(file, "Port", "PortName"), Val("COM2"));
  // The later duplicate is not searched, even for a key the first one lacks.
  EXPECT_FALSE(FindValue(file, "Port", "LPTDelay"));
}

TEST(ProfileRead, TrimsSplitsAtFirstEqualsAndRemovesOneOuterQuotePair) {
  const std::string file =
      "[S]\r\n"
      " \tName \t=\t  a = b  \r\n"
      "q1=\"quoted\"\r\n"
      "q2='single'\r\n"
      "q3=\"mixed'\r\n"
      "q4=\"\r\n"
      "q5=\"\"inner\"\"\r\n"
      "q6=\" blanks kept \"\r\n"
      "empty=\r\n"
      "semi=a;b\r\n";
  EXPECT_EQ(FindValue(file, "S", "Name"), Val("a = b"));
  EXPECT_EQ(FindValue(file, "S", "q1"), Val("quoted"));
  EXPECT_EQ(FindValue(file, "S", "q2"), Val("single"));
  EXPECT_EQ(FindValue(file, "S", "q3"), Val("\"mixed'"));
  EXPECT_EQ(FindValue(file, "S", "q4"), Val("\""));
  EXPECT_EQ(FindValue(file, "S", "q5"), Val("\"inner\""));
  EXPECT_EQ(FindValue(file, "S", "q6"), Val(" blanks kept "));
  EXPECT_EQ(FindValue(file, "S", "empty"), Val(""));  // present but empty: not the default
  EXPECT_EQ(FindValue(file, "S", "semi"), Val("a;b"));
}

TEST(ProfileRead, CommentsAndLinesWithoutEqualsAreNoKeys) {
  const std::string file =
      "Left=1\r\n"  // before any header: belongs to no section
      "[Common]\r\n"
      ";Left=2\r\n"
      "  ; Top=3\r\n"
      "Top\r\n"
      "Top=4\r\n"
      "[OnlyComments]\r\n"
      "; nothing=here\r\n"
      "no equals sign\r\n";
  EXPECT_EQ(FindValue(file, "Common", "Left"), std::nullopt);
  EXPECT_EQ(FindValue(file, "Common", "Top"), Val("4"));
  EXPECT_FALSE(SectionHasKeys(file, "OnlyComments"));
}

TEST(ProfileRead, AllThreeLineEndsAndAMissingLastOne) {
  for (const char* eol : {"\r\n", "\n", "\r"}) {
    std::string file = std::string("[A]") + eol + "x=1" + eol + eol + "[B]" + eol + "y=2";
    EXPECT_EQ(FindValue(file, "A", "x"), Val("1")) << "line end " << int(eol[0]);
    EXPECT_EQ(FindValue(file, "B", "y"), Val("2")) << "line end " << int(eol[0]);
    EXPECT_FALSE(FindValue(file, "A", "y"));
  }
  EXPECT_EQ(FindValue("[A]\rx=1\n\r\ny=2\r", "A", "y"), Val("2"));
}

TEST(ProfileRead, ValuesAreCutTo2047Characters) {
  std::string longText(3000, 'v');
  longText[2046] = 'L';
  auto v = FindValue("[S]\r\nk=" + longText + "\r\n", "S", "k");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->size(), 2047u);
  EXPECT_EQ(v->back(), 'L');
  // Quotes come off before the cut: 2049 characters in quotes give exactly 2047.
  std::string quoted = "\"" + std::string(2047, 'q') + "\"";
  EXPECT_EQ(FindValue("[S]\r\nk=" + quoted, "S", "k"), Val(std::string(2047, 'q')));
}

TEST(ProfileRead, HeaderWithoutKeysIsNoSection) {
  const std::string file =
      "[Rob3]\r\n\r\n; comment\r\n[Common]\r\nRobModel=Rob3\r\n[ROB3]\r\nArmH=9\r\n";
  // The empty first header does not hide a later one with keys.
  EXPECT_TRUE(SectionHasKeys(file, "Rob3"));
  EXPECT_EQ(FindValue(file, "rob3", "ArmH"), Val("9"));
  EXPECT_FALSE(SectionHasKeys("[Rob3]\r\n\r\n[Common]\r\nx=1\r\n", "Rob3"));
  EXPECT_TRUE(SectionHasKeys("[Rob3]\r\nRobType=", "Rob3"));
  // Header details: blanks around the name and text after the bracket do not matter.
  EXPECT_EQ(FindValue("  [ Port ] trailing\r\nk=1\r\n", "Port", "k"), Val("1"));
  EXPECT_FALSE(FindValue("[Port\r\nk=1\r\n", "Port", "k"));
}

// --- Writing: byte preservation -----------------------------------------------------------

TEST(ProfileWrite, ExistingKeyKeepsItsPlaceAndSpellingAndNothingElseChanges) {
  std::string file =
      "; settings\n"
      "[Common]\n"
      "  LEFT = 50 \n"
      "\n"
      "Top=50\n"
      "[Port]\r\n"
      "PortName=COM1\r\n";
  ASSERT_TRUE(SetValue(file, "common", "Left", "120"));
  EXPECT_EQ(file,
            "; settings\n"
            "[Common]\n"
            "LEFT=120\r\n"
            "\n"
            "Top=50\n"
            "[Port]\r\n"
            "PortName=COM1\r\n");
  // Only the first of duplicate keys is replaced.
  std::string dup = "[S]\r\nk=1\r\nK=2\r\n";
  ASSERT_TRUE(SetValue(dup, "S", "k", "3"));
  EXPECT_EQ(dup, "[S]\r\nk=3\r\nK=2\r\n");
}

TEST(ProfileWrite, NewKeyGoesAfterTheLastKeyLineOfItsSection) {
  std::string file =
      "[Common]\n"
      "Left=1\n"
      "; trailing comment\n"
      "\n"
      "[Port]\n"
      "PortName=COM1\n";
  ASSERT_TRUE(SetValue(file, "Common", "Top", "80"));
  EXPECT_EQ(file,
            "[Common]\n"
            "Left=1\n"
            "Top=80\r\n"
            "; trailing comment\n"
            "\n"
            "[Port]\n"
            "PortName=COM1\n");
  // A last line without line end gets one before the new key.
  std::string open = "[Port]\r\nPortName=COM1";
  ASSERT_TRUE(SetValue(open, "Port", "LPTDelay", "10"));
  EXPECT_EQ(open, "[Port]\r\nPortName=COM1\r\nLPTDelay=10\r\n");
}

TEST(ProfileWrite, KeyForAnEmptyHeaderGoesDirectlyUnderIt) {
  std::string file = "[Rob3]\r\n\r\n[Common]\r\nRobModel=Rob3\r\n";
  ASSERT_TRUE(SetValue(file, "ROB3", "RobType", "G"));
  EXPECT_EQ(file, "[Rob3]\r\nRobType=G\r\n\r\n[Common]\r\nRobModel=Rob3\r\n");
}

TEST(ProfileWrite, NewSectionAtTheEndAfterOneBlankLineUnlessTheFileIsEmpty) {
  std::string empty;
  ASSERT_TRUE(SetValue(empty, "Common", "Left", "120"));
  EXPECT_EQ(empty, "[Common]\r\nLeft=120\r\n");

  std::string ended = "[A]\r\nx=1\r\n";
  ASSERT_TRUE(SetValue(ended, "B", "y", "2"));
  EXPECT_EQ(ended, "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");

  std::string unterminated = "[A]\nx=1";
  ASSERT_TRUE(SetValue(unterminated, "B", "y", "2"));
  EXPECT_EQ(unterminated, "[A]\nx=1\r\n\r\n[B]\r\ny=2\r\n");

  std::string blankAtEnd = "[A]\nx=1\n\n";
  ASSERT_TRUE(SetValue(blankAtEnd, "B", "y", "2"));
  EXPECT_EQ(blankAtEnd, "[A]\nx=1\n\n[B]\r\ny=2\r\n");
}

TEST(ProfileWrite, RefusesWhatCannotBeStoredAsOneLine) {
  const std::string original = "[S]\r\nk=1\r\n";
  for (auto [section, key, value] :
       {std::tuple<std::string, std::string, std::string>{"S", "k", "a\r\n[Common]\r\nLeft=1"},
        {"S", "k", "a\nb"},
        {"S", "k", std::string("a\0b", 3)},
        {"S\n", "k", "1"},
        {"S", "a=b", "1"},
        {"S", ";k", "1"},
        {"S", "[k", "1"},
        {"S", " ", "1"}}) {
    std::string file = original;
    EXPECT_FALSE(SetValue(file, section, key, value)) << key << " / " << value;
    EXPECT_EQ(file, original);
  }
}

// --- Conversions ------------------------------------------------------------------------------

TEST(IntegerText, DecimalAndHexadecimalForms) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  };
  const Case cases[] = {
      {"240", 240},
      {"+7", 7},
      {"-12", -12},
      {"  42", 42},
      {"007", 7},
      {"0x1E", 30},
      {"0X1e", 30},
      {"$1E", 30},
      {"$ff", 255},
      {"-$10", -16},
      {"-0x10", -16},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"0x7FFFFFFF", INT32_MAX},
      {"-0x80000000", INT32_MIN},
      {"2147483648", {}},
      {"0x80000000", {}},
      {"99999999999999999999", {}},
      {"", {}},
      {" ", {}},
      {"-", {}},
      {"$", {}},
      {"0x", {}},
      {"12 ", {}},
      {"12a", {}},
      {"1E", {}},
      {"abc", {}},
      {"\t5", {}},
      {"0x-5", {}},
      {"--5", {}},
      {"1.5", {}},
  };
  for (const Case& c : cases) {
    int32_t v = -777;
    bool ok = TryStrToInt(c.text, v);
    EXPECT_EQ(ok, c.value.has_value()) << '"' << c.text << '"';
    if (c.value && ok) {
      EXPECT_EQ(v, *c.value) << '"' << c.text << '"';
    }
    if (!c.value) {
      EXPECT_EQ(StrToIntDef(c.text, 240), 240) << '"' << c.text << '"';
    }
  }
  int32_t v;
  EXPECT_FALSE(TryStrToInt("0x1E", v, /*allowHex=*/false));
  EXPECT_FALSE(TryStrToInt("$1E", v, /*allowHex=*/false));
  EXPECT_TRUE(TryStrToInt("-15", v, /*allowHex=*/false));
}

TEST(CodePage, ConvertsAtTheFileBoundaryWithoutLosingBytes) {
  EXPECT_EQ(Utf8ToCp1252("Säule"), "S\xE4ule");
  EXPECT_EQ(Cp1252ToUtf8("S\xE4ule"), "Säule");
  EXPECT_EQ(Utf8ToCp1252("Schweiß-Roboter €"), "Schwei\xDF-Roboter \x80");
  // Every byte, the unassigned ones included, comes back unchanged.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  bool exact = false;
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all), &exact), all);
  EXPECT_TRUE(exact);
  // What the code page cannot hold, and broken UTF-8, become '?'.
  EXPECT_EQ(Utf8ToCp1252("a\xE2\x82", &exact), "a??");
  EXPECT_FALSE(exact);
  EXPECT_EQ(Utf8ToCp1252("x\xE6\xBC\xA2y", &exact), "x?y");
  EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "??");  // overlong '/'
}

// --- The file ---------------------------------------------------------------------------------

TEST(ProfileFileTest, MissingFileGivesDefaultsAndTheFirstWriteCreatesIt) {
  TestDir dir;
  ProfileFile ini(dir.File("Kelvora.INI"));
  EXPECT_EQ(ini.ReadString("Common", "RobModel", "Rob3"), "Rob3");
  EXPECT_EQ(ini.ReadInteger("Common", "Left", 50), 50);
  EXPECT_FALSE(ini.SectionExists("Common"));
  ASSERT_TRUE(ini.WriteString("Rob3", "RobText", "Säulenroboter")) << ini.LastError();
  ASSERT_TRUE(ini.WriteInteger("Rob3", "Säule", -5));
  EXPECT_EQ(ReadBytes(ini.Path()), "[Rob3]\r\nRobText=S\xE4ulenroboter\r\nS\xE4ule=-5\r\n");
  EXPECT_EQ(ini.ReadString("ROB3", "robtext", ""), "Säulenroboter");
  EXPECT_EQ(ini.ReadInteger("rob3", "SÄULE", 0), -5);
  EXPECT_TRUE(ini.SectionExists("rob3"));
  EXPECT_EQ(EntryCount(dir.Path()), 1);  // no temporary file left
}

TEST(ProfileFileTest, ReadsSeeTheFileAsItIsNow) {
  TestDir dir;
  ProfileFile ini(dir.File("k.ini"));
  WriteBytes(ini.Path(), "[Port]\nLPTDelay=0x0C\n");
  EXPECT_EQ(ini.ReadInteger("Port", "LPTDelay", 10), 12);
  WriteBytes(ini.Path(), "[Port]\nLPTDelay=twelve\n");
  EXPECT_EQ(ini.ReadInteger("Port", "LPTDelay", 10), 10);
  EXPECT_EQ(ini.ReadString("Port", "LPTDelay", "x"), "twelve");
  // A name the code page cannot hold is never in the file.
  EXPECT_EQ(ini.ReadString("Port\xE6\xBC\xA2", "LPTDelay", "d"), "d");
}

TEST(ProfileFileTest, RewriteKeepsModeAndSymbolicLink) {
  TestDir dir;
  std::string real = dir.File("real.ini");
  WriteBytes(real, "[A]\r\nx=1\r\n");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  std::string link = dir.File("Kelvora.INI");
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  ProfileFile ini(link);
  ASSERT_TRUE(ini.WriteString("A", "x", "2")) << ini.LastError();
  struct stat st;
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadBytes(real), "[A]\r\nx=2\r\n");
  EXPECT_EQ(EntryCount(dir.Path()), 2);
}

TEST(ProfileFileTest, FailedWritesReportFailureAndLeaveTheFileAlone) {
  TestDir dir;
  // The folder cannot exist: its parent is a regular file.
  WriteBytes(dir.File("plain"), "x");
  ProfileFile noFolder(dir.File("plain/Kelvora.INI"));
  EXPECT_FALSE(noFolder.WriteString("Common", "Left", "1"));
  EXPECT_FALSE(noFolder.LastError().empty());
  EXPECT_EQ(ReadBytes(dir.File("plain")), "x");

  // A read-only file refuses writes, even to a process that could override the bits.
  const std::string content = "[Common]\r\nLeft=5\r\n";
  std::string readOnly = dir.File("ro.ini");
  WriteBytes(readOnly, content);
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  ProfileFile ro(readOnly);
  EXPECT_FALSE(ro.WriteString("Common", "Left", "6"));
  EXPECT_EQ(ReadBytes(readOnly), content);

  // A folder where the file should be: it can be neither read nor replaced.
  ASSERT_TRUE(std::filesystem::create_directory(dir.File("isdir.ini")));
  ProfileFile isDir(dir.File("isdir.ini"));
  EXPECT_FALSE(isDir.WriteString("Common", "Left", "1"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("isdir.ini")));

  // A value that would break the line structure is refused; the file stays.
  std::string good = dir.File("good.ini");
  WriteBytes(good, content);
  ProfileFile g(good);
  EXPECT_FALSE(g.WriteString("Common", "RobModel", "Rob3\r\n[Port]"));
  EXPECT_EQ(ReadBytes(good), content);

  EXPECT_EQ(EntryCount(dir.Path()), 4);  // plain, ro.ini, isdir.ini, good.ini: no leftovers
}

// --- Program folder ---------------------------------------------------------------------------

TEST(ProgDirTest, ProgramFolderWhenWritableElseThePerUserFolder) {
  std::string exeDir = ProgramDirectory();
  ASSERT_FALSE(exeDir.empty());
  EXPECT_EQ(exeDir.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(exeDir + "profile_test"));

  TestDir dir;
  std::string noSlash = dir.Path().substr(0, dir.Path().size() - 1);
  EXPECT_EQ(ChooseProgDir(noSlash), dir.Path());

  // Environment changes are undone when the test ends.
  struct SavedEnv {
    std::string name;
    std::optional<std::string> value;
    explicit SavedEnv(const char* n) : name(n) {
      if (const char* v = std::getenv(n)) value = v;
    }
    ~SavedEnv() {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  } savedXdg("XDG_CONFIG_HOME"), savedHome("HOME");

  ASSERT_EQ(::setenv("XDG_CONFIG_HOME", (dir.Path() + "cfg").c_str(), 1), 0);
  WriteBytes(dir.File("plain"), "x");
  std::string chosen = ChooseProgDir(dir.File("plain/sub"));
  EXPECT_EQ(chosen, dir.Path() + "cfg/kelvora/");
  EXPECT_TRUE(std::filesystem::is_directory(chosen));
  // A relative XDG_CONFIG_HOME is ignored in favour of ~/.config.
  ASSERT_EQ(::setenv("XDG_CONFIG_HOME", "relative", 1), 0);
  ASSERT_EQ(::setenv("HOME", (dir.Path() + "home").c_str(), 1), 0);
  EXPECT_EQ(ChooseProgDir(dir.File("missing")), dir.Path() + "home/.config/kelvora/");
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path() + "home/.config/kelvora"));
}

}  // namespace
}  // namespace kelvora::platform
