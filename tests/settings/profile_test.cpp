// SPDX-License-Identifier: MIT
// The private-profile layer: reading and editing its text, the conversions, the file itself
// and the choice of the program folder.
#include "platform/profile.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/prog_dir.h"
#include "tests/settings/test_dir.h"
#include "tests/support/scoped_env.h"

namespace kelvora::platform {
namespace {

using kelvora::testing::EntryCount;
using kelvora::testing::ReadBytes;
using kelvora::testing::TestDir;
using kelvora::testing::WriteBytes;
using profile::FindValue;
using profile::SectionHasKeys;
using profile::SetValue;

TEST(ProfileRead, FindsValuesByTheIniRules) {
  const std::string cp = "[rob3]\r\nS\xE4ule=30\r\nArmH=7\r\n[\xC9t\xE9]\r\n\232a=1\r\n";
  const std::string dup =
      "[Port]\r\nPortName=COM2\r\nportname=COM3\r\n[Other]\r\nx=1\r\n[PORT]\r\nPortName=LPT1\r\n"
      "LPTDelay=5\r\n";
  const std::string q =
      "[S]\r\n \tName \t=\t  a = b  \r\nq1=\"quoted\"\r\nq2='single'\r\nq3=\"mixed'\r\nq4=\"\r\n"
      "q5=\"\"inner\"\"\r\nq6=\" blanks kept \"\r\nempty=\r\nsemi=a;b\r\n";
  const std::string notes = "Left=1\r\n[Common]\r\n;Left=2\r\n  ; Top=3\r\nTop\r\nTop=4\r\n";
  const std::string bare =
      "[Rob3]\r\n\r\n; comment\r\n[Common]\r\nRobModel=Rob3\r\n[ROB3]\r\nArmH=9\r\n";
  const struct {
    std::string file;
    const char *section, *key;
    std::optional<std::string> want;
  } cases[] = {
      // clang-format off
      // Names match without regard to case, code-page letters included; ß only matches itself.
      {cp, "ROB3", "S\xC4ULE", "30"}, {cp, "Rob3", "armh", "7"}, {cp, "\xE9T\xC9", "\212A", "1"},
      {"[a]\r\nstra\337e=1\r\n", "a", "STRASSE", {}}, {cp, "Rob4", "ArmH", {}},
      {cp, "Rob3", "ArmV", {}},
      // The first duplicate wins; a later duplicate section is not searched at all.
      {dup, "Port", "PortName", "COM2"}, {dup, "Port", "LPTDelay", {}},
      // Blanks trimmed, split at the first '=', one matching outer quote pair removed.
      {q, "S", "Name", "a = b"}, {q, "S", "q1", "quoted"}, {q, "S", "q2", "single"},
      {q, "S", "q3", "\"mixed'"}, {q, "S", "q4", "\""}, {q, "S", "q5", "\"inner\""},
      {q, "S", "q6", " blanks kept "}, {q, "S", "empty", ""}, {q, "S", "semi", "a;b"},
      // Comments, lines without '=' and lines before any header are no keys.
      {notes, "Common", "Left", {}}, {notes, "Common", "Top", "4"},
      // An empty header does not hide a later one with keys; text after ']' does not matter.
      {bare, "rob3", "ArmH", "9"}, {"  [ Port ] trailing\r\nk=1\r\n", "Port", "k", "1"},
      {"[Port\r\nk=1\r\n", "Port", "k", {}},
      // Any line end, mixed, and none after the last line.
      {"[A]\rx=1\n\r\ny=2\r", "A", "y", "2"}, {"[A]\nx=1\n\n[B]\ny=2", "B", "y", "2"},
      {"[A]\rx=1\r\r[B]\ry=2", "B", "y", "2"}, {"[A]\rx=1\r\r[B]\ry=2", "A", "y", {}},
      // clang-format on
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    EXPECT_EQ(FindValue(c.file, c.section, c.key), c.want) << "case " << i;
  }
  EXPECT_TRUE(SectionHasKeys(bare, "Rob3"));
  EXPECT_TRUE(SectionHasKeys("[Rob3]\r\nRobType=", "Rob3"));
  EXPECT_FALSE(SectionHasKeys("[Rob3]\r\n\r\n[Common]\r\nx=1\r\n", "Rob3"));
  EXPECT_FALSE(SectionHasKeys("[C]\r\n; nothing=here\r\nno equals sign\r\n", "C"));

  // Values are cut to 2047 characters, after the quotes came off.
  std::string longText(3000, 'v');
  longText[2046] = 'L';
  EXPECT_EQ(FindValue("[S]\r\nk=" + longText, "S", "k"), longText.substr(0, 2047));
  const std::string quoted(2047, 'q');
  EXPECT_EQ(FindValue("[S]\r\nk=\"" + quoted + "\"", "S", "k"), quoted);
}

TEST(ProfileWrite, ChangesOnlyTheOneLineOrAddsItInItsPlace) {
  const std::string bad = "[S]\r\nk=1\r\n";
  const struct {
    std::string before, section, key, value;
    const char* after;  // nullptr: refused, nothing changed
  } cases[] = {
      // An existing key keeps its place and spelling; other lines keep their line ends.
      {"; settings\n[Common]\n  LEFT = 50 \n\nTop=50\n[Port]\r\nPortName=COM1\r\n", "common",
       "Left", "120", "; settings\n[Common]\nLEFT=120\r\n\nTop=50\n[Port]\r\nPortName=COM1\r\n"},
      {"[S]\r\nk=1\r\nK=2\r\n", "S", "k", "3", "[S]\r\nk=3\r\nK=2\r\n"},
      // A new key goes after the last key line of its section, or right under an empty header.
      {"[Common]\nLeft=1\n; trailing comment\n\n[Port]\nPortName=COM1\n", "Common", "Top", "80",
       "[Common]\nLeft=1\nTop=80\r\n; trailing comment\n\n[Port]\nPortName=COM1\n"},
      {"[Port]\r\nPortName=COM1", "Port", "LPTDelay", "10",
       "[Port]\r\nPortName=COM1\r\nLPTDelay=10\r\n"},
      {"[Rob3]\r\n\r\n[Common]\r\nRobModel=Rob3\r\n", "ROB3", "RobType", "G",
       "[Rob3]\r\nRobType=G\r\n\r\n[Common]\r\nRobModel=Rob3\r\n"},
      // A new section at the end, after one blank line unless the file is empty.
      {"", "Common", "Left", "120", "[Common]\r\nLeft=120\r\n"},
      {"[A]\r\nx=1\r\n", "B", "y", "2", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"},
      {"[A]\nx=1", "B", "y", "2", "[A]\nx=1\r\n\r\n[B]\r\ny=2\r\n"},
      {"[A]\nx=1\n\n", "B", "y", "2", "[A]\nx=1\n\n[B]\r\ny=2\r\n"},
      // A value that reading would change is quoted, so that it reads back as it was.
      {bad, "S", "k", " a", "[S]\r\nk=\" a\"\r\n"},
      {bad, "S", "k", "a\t", "[S]\r\nk=\"a\t\"\r\n"},
      {bad, "S", "k", "'x'", "[S]\r\nk=\"'x'\"\r\n"},
      {bad, "S", "k", "\"\"", "[S]\r\nk=\"\"\"\"\r\n"},
      {bad, "S", "k", "\"x'", "[S]\r\nk=\"x'\r\n"},
      // What cannot be stored as one line is refused.
      // clang-format off
      {bad, "S", "k", "a\r\n[Common]\r\nLeft=1", nullptr}, {bad, "S", "k", "a\nb", nullptr},
      {bad, "S", "k", std::string("a\0b", 3), nullptr}, {bad, "S\n", "k", "1", nullptr},
      {bad, "S", "a=b", "1", nullptr}, {bad, "S", ";k", "1", nullptr},
      {bad, "S", "[k", "1", nullptr}, {bad, "S", " ", "1", nullptr},
      // clang-format on
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    std::string file = c.before;
    EXPECT_EQ(SetValue(file, c.section, c.key, c.value), c.after != nullptr) << "case " << i;
    EXPECT_EQ(file, c.after ? std::string(c.after) : c.before) << "case " << i;
    if (c.after) {
      EXPECT_EQ(FindValue(file, c.section, c.key), c.value) << "case " << i;
    }
  }
}

TEST(IntegerText, DecimalAndHexadecimalForms) {
  const struct {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      // clang-format off
      {"240", 240}, {"+7", 7}, {"-12", -12}, {"  42", 42}, {"007", 7}, {"0x1E", 30}, {"0X1e", 30},
      {"$1E", 30}, {"$ff", 255}, {"-$10", -16}, {"-0x10", -16},
      {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"0x7FFFFFFF", INT32_MAX},
      {"-0x80000000", INT32_MIN}, {"2147483648", {}}, {"0x80000000", {}},
      {"99999999999999999999", {}}, {"", {}}, {" ", {}}, {"-", {}}, {"$", {}}, {"0x", {}},
      {"12 ", {}}, {"12a", {}}, {"1E", {}}, {"abc", {}}, {"\t5", {}}, {"0x-5", {}}, {"--5", {}},
      {"1.5", {}},
      // clang-format on
  };
  for (const auto& c : cases) {
    int32_t v = -777;
    EXPECT_EQ(TryStrToInt(c.text, v), c.value.has_value()) << '"' << c.text << '"';
    if (c.value) {
      EXPECT_EQ(v, *c.value) << '"' << c.text << '"';
    }
    EXPECT_EQ(StrToIntDef(c.text, 240), c.value.value_or(240)) << '"' << c.text << '"';
  }
  int32_t v;
  EXPECT_FALSE(TryStrToInt("0x1E", v, /*allowHex=*/false));
  EXPECT_FALSE(TryStrToInt("$1E", v, /*allowHex=*/false));
  EXPECT_TRUE(TryStrToInt("-15", v, /*allowHex=*/false));
}

TEST(CodePage, ConvertsAtTheFileBoundaryWithoutLosingBytes) {
  EXPECT_EQ(Utf8ToCp1252("Schweiß-Säule €"), "Schwei\xDF-S\xE4ule \x80");
  EXPECT_EQ(Cp1252ToUtf8("S\xE4ule"), "Säule");
  // Every byte, the unassigned ones included, comes back unchanged.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  bool exact = false;
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all), &exact), all);
  EXPECT_TRUE(exact);
  // What the code page cannot hold, and broken UTF-8, become '?'.
  EXPECT_EQ(Utf8ToCp1252("a\xE2\x82", &exact), "a??");
  EXPECT_FALSE(exact);
  EXPECT_EQ(Utf8ToCp1252("x\xE6\xBC\xA2y"), "x?y");
  EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "??");  // overlong '/'
}

TEST(ProfileFileTest, ReadsTheFileAsItIsNowAndWritesItAtOnce) {
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

  WriteBytes(ini.Path(), "[Port]\nLPTDelay=0x0C\n");  // read again, not cached
  EXPECT_EQ(ini.ReadInteger("Port", "LPTDelay", 10), 12);
  // A name the code page cannot hold is never in the file (not "Port?").
  EXPECT_EQ(ini.ReadString("Port\xE6\xBC\xA2", "LPTDelay", "d"), "d");
}

TEST(ProfileFileTest, RewriteKeepsModeAndSymbolicLink) {
  TestDir dir;
  const std::string real = dir.File("real.ini"), link = dir.File("Kelvora.INI");
  WriteBytes(real, "[A]\r\nx=1\r\n");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
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

TEST(ProfileFileTest, FailedWritesReportFailureAndLeaveNoTrace) {
  TestDir dir;
  // Read-only, even for a process that could override the bits.
  const std::string content = "[Common]\r\nLeft=5\r\n";
  WriteBytes(dir.File("ro.ini"), content);
  ASSERT_EQ(::chmod(dir.File("ro.ini").c_str(), 0444), 0);
  ProfileFile ro(dir.File("ro.ini"));
  EXPECT_FALSE(ro.WriteString("Common", "Left", "6"));
  EXPECT_FALSE(ro.LastError().empty());
  EXPECT_EQ(ReadBytes(dir.File("ro.ini")), content);
  // A folder where the file should be can be neither read nor replaced.
  ASSERT_TRUE(std::filesystem::create_directory(dir.File("isdir.ini")));
  EXPECT_FALSE(ProfileFile(dir.File("isdir.ini")).WriteString("Common", "Left", "1"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("isdir.ini")));
  EXPECT_EQ(EntryCount(dir.Path()), 2);  // no temporary file left
}

TEST(ProfileFileTest, ManyKeysAreWrittenTogetherOrNotAtAll) {
  TestDir dir;
  ProfileFile ini(dir.File("Kelvora.INI"));
  ASSERT_TRUE(ini.WriteEntries({{"Common", "Left", "1"}, {"Rob3", "RobText", "Säule"}}));
  const std::string before = ReadBytes(ini.Path());
  EXPECT_EQ(before, "[Common]\r\nLeft=1\r\n\r\n[Rob3]\r\nRobText=S\xE4ule\r\n");
  // One value that cannot be stored, however late, and none of them is written.
  EXPECT_FALSE(ini.WriteEntries({{"Common", "Left", "2"}, {"Rob3", "RobText", "a\nb"}}));
  EXPECT_FALSE(ini.LastError().empty());
  EXPECT_EQ(ReadBytes(ini.Path()), before);
  EXPECT_EQ(EntryCount(dir.Path()), 1);
}

TEST(ProfileFileTest, FallbackIsReadUntilTheFileExistsAndStartsItsFirstWrite) {
  TestDir dir;
  WriteBytes(dir.File("shipped.ini"), "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
  ProfileFile ini(dir.File("own.ini"), dir.File("shipped.ini"));
  EXPECT_EQ(ini.ReadString("B", "y", ""), "2");
  EXPECT_TRUE(ini.SectionExists("A"));
  ASSERT_TRUE(ini.WriteString("A", "x", "3"));
  EXPECT_EQ(ReadBytes(dir.File("own.ini")), "[A]\r\nx=3\r\n[B]\r\ny=2\r\n");
  EXPECT_EQ(ReadBytes(dir.File("shipped.ini")), "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
  WriteBytes(dir.File("shipped.ini"), "[B]\r\ny=9\r\n");  // no longer looked at
  EXPECT_EQ(ini.ReadString("B", "y", ""), "2");
  // A fallback that is missing or unreadable reads as empty and does not stop a write.
  ProfileFile lone(dir.File("lone.ini"), dir.File("missing.ini"));
  EXPECT_EQ(lone.ReadString("A", "x", "d"), "d");
  EXPECT_TRUE(lone.WriteString("A", "x", "1"));
}

// A settings file shared through a group (mode 0664, owned by another user) must stay in
// its group when a member of that group replaces it; otherwise the next member cannot
// write it any more. Root may write anything, so the writer is a child process that gives
// up root for an ordinary user in that group.
TEST(ProfileFileTest, ReplacingASharedFileKeepsItsGroup) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "needs root to make a file of another user and to become a plain user";
  constexpr uid_t kOwner = 61001, kWriter = 61002;
  constexpr gid_t kShared = 61010, kWriterGroup = 61011;
  TestDir dir;
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  const std::string path = dir.File("Kelvora.INI");
  WriteBytes(path, "[Common]\r\nLeft=1\r\n");
  ASSERT_EQ(::chown(path.c_str(), kOwner, kShared), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0664), 0);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // 3: the privileges could not be dropped here (for example in a user namespace).
    if (::setgroups(1, &kShared) != 0 || ::setgid(kWriterGroup) != 0 || ::setuid(kWriter) != 0)
      ::_exit(3);
    ProfileFile ini(path);
    ::_exit(ini.WriteString("Common", "Left", "2") ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "this machine does not let a child drop root";
  ASSERT_EQ(WEXITSTATUS(status), 0) << "the group member could not write the file";
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(ReadBytes(path), "[Common]\r\nLeft=2\r\n");
  EXPECT_EQ(st.st_gid, kShared);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  EXPECT_EQ(st.st_uid, kWriter);  // a plain user cannot give the file away
}

TEST(ProgDirTest, ProgramFolderWhenWritableElseThePerUserFolder) {
  const std::string exeDir = ProgramDirectory();
  ASSERT_FALSE(exeDir.empty());
  EXPECT_EQ(exeDir.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(exeDir + "profile_test"));

  TestDir dir;
  EXPECT_EQ(ProgramFoldersFor(dir.Path().substr(0, dir.Path().size() - 1)).progDir, dir.Path());

  // The environment is restored when the test ends.
  kelvora::testing::ScopedEnv saved{"XDG_CONFIG_HOME", "HOME"};

  // The program folder cannot be created: its parent is a regular file.
  ASSERT_EQ(::setenv("XDG_CONFIG_HOME", (dir.Path() + "cfg").c_str(), 1), 0);
  WriteBytes(dir.File("plain"), "x");
  const std::string chosen = ProgramFoldersFor(dir.File("plain/sub")).progDir;
  EXPECT_EQ(chosen, dir.Path() + "cfg/kelvora/");
  EXPECT_TRUE(std::filesystem::is_directory(chosen));
  // A relative XDG_CONFIG_HOME is ignored in favour of ~/.config.
  ASSERT_EQ(::setenv("XDG_CONFIG_HOME", "relative", 1), 0);
  ASSERT_EQ(::setenv("HOME", (dir.Path() + "home").c_str(), 1), 0);
  EXPECT_EQ(ProgramFoldersFor(dir.File("missing")).progDir, dir.Path() + "home/.config/kelvora/");
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path() + "home/.config/kelvora"));
}

// An installed program (share/kelvora beside its bin/) keeps the user's files in the
// per-user folder even where it could write its own: as root, say, under sudo.
TEST(ProgDirTest, AnInstalledProgramNeverKeepsTheUsersFilesInItsFolder) {
  TestDir dir;
  kelvora::testing::ScopedEnv saved{"XDG_CONFIG_HOME"};
  ASSERT_EQ(::setenv("XDG_CONFIG_HOME", (dir.Path() + "cfg").c_str(), 1), 0);
  const std::string user = dir.Path() + "cfg/kelvora/";
  const std::string build = dir.Path() + "build/bin/";
  const std::string installed = dir.Path() + "usr/bin/";
  std::filesystem::create_directories(build);
  std::filesystem::create_directories(installed + KELVORA_BIN_TO_DATA);
  ASSERT_TRUE(IsWritableDirectory(installed));
  WriteBytes(dir.File("plain"), "x");
  const struct {
    std::string programDir;
    bool takesUserFiles;
    std::string progDir, fallbackDir;
  } cases[] = {
      {build, true, build, ""},
      {installed, false, user, installed},
      {dir.File("plain/bin"), false, user, dir.File("plain/bin/")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.programDir);
    EXPECT_EQ(ProgramFolderTakesUserFiles(c.programDir), c.takesUserFiles);
    const ProgramFolders folders = ProgramFoldersFor(c.programDir);
    EXPECT_EQ(folders.progDir, c.progDir);
    EXPECT_EQ(folders.fallbackDir, c.fallbackDir);
  }
}

}  // namespace
}  // namespace kelvora::platform
