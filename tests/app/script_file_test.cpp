// Rb3 files: reading, writing, and what a failed write leaves behind.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/script.h"

namespace kelvora::app {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string ErrorText(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const ScriptError& e) {
    return e.what();
  }
  return "(no error)";
}

class ScriptFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kelvora-script-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    dir_ += '/';
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  static std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::vector<std::string> DirEntries() const {
    std::vector<std::string> names;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir_;
};

TEST_F(ScriptFileTest, DemoScriptIsExactlyTheFiftyTwoBytesOfTheWorkedExample) {
  VectorScriptList list({ZeroLine(false), "   120    85    40     1"});
  const std::string path = dir_ + "DEMO.RB3";
  SaveScript(list, path);
  const std::string expected =
      "\x20\x20\x20\x20\x20\x30\x20\x20\x20\x20\x20\x30\x20\x20\x20\x20\x20\x30\x20\x20\x20\x20"
      "\x20\x30\x0D\x0A"
      "\x20\x20\x20\x31\x32\x30\x20\x20\x20\x20\x38\x35\x20\x20\x20\x20\x34\x30\x20\x20\x20\x20"
      "\x20\x31\x0D\x0A";
  ASSERT_EQ(expected.size(), 52u);
  EXPECT_EQ(ReadBytes(path), expected);

  // Reopening gives the same two lines back with line 1 marked.
  VectorScriptList reopened({"old"});
  reopened.SetItemIndex(0);
  LoadScript(reopened, path);
  EXPECT_THAT(reopened.Lines(), ElementsAre(ZeroLine(false), "   120    85    40     1"));
  EXPECT_EQ(reopened.ItemIndex(), 0);
  EXPECT_THAT(DirEntries(), ElementsAre("DEMO.RB3"));  // no temporary file left behind
}

TEST_F(ScriptFileTest, Rob5LineIsTwentySixBytesPlusTheLineEnd) {
  const std::string path = dir_ + "R.RB5";
  WriteScriptFile(path, {" 200  35  40 500   1 1 0 1"});
  EXPECT_EQ(ReadBytes(path), " 200  35  40 500   1 1 0 1\r\n");
}

TEST(ScriptText, SplitsAtEveryKindOfLineEnd) {
  EXPECT_THAT(SplitScriptText("a\r\nb\r\n"), ElementsAre("a", "b"));
  EXPECT_THAT(SplitScriptText("a\nb\n"), ElementsAre("a", "b"));
  EXPECT_THAT(SplitScriptText("a\rb\r"), ElementsAre("a", "b"));
  EXPECT_THAT(SplitScriptText("a\r\nb"), ElementsAre("a", "b"));  // last line without end
  EXPECT_THAT(SplitScriptText("a\nb\r\nc\rd"), ElementsAre("a", "b", "c", "d"));
}

TEST(ScriptText, KeepsEmptyLinesAndStopsAtAZeroByte) {
  EXPECT_THAT(SplitScriptText("a\r\n\r\nb\r\n"), ElementsAre("a", "", "b"));
  EXPECT_THAT(SplitScriptText("\r\n"), ElementsAre(""));
  EXPECT_THAT(SplitScriptText("\r\r\n\n"), ElementsAre("", "", ""));
  EXPECT_THAT(SplitScriptText(""), IsEmpty());
  EXPECT_THAT(SplitScriptText(std::string("a\r\nb\0c\r\nd\r\n", 11)), ElementsAre("a", "b"));
  EXPECT_THAT(SplitScriptText(std::string("\0a\r\n", 4)), IsEmpty());
}

TEST(ScriptText, EightBitTextRoundTripsThroughUtf8) {
  // Every byte but the line ends and the zero byte, as one line.
  std::string bytes;
  for (int b = 1; b < 256; ++b)
    if (b != '\r' && b != '\n') bytes += static_cast<char>(b);
  auto lines = SplitScriptText(bytes);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(JoinScriptText(lines), bytes + "\r\n");

  EXPECT_THAT(SplitScriptText("S\xE4ule"), ElementsAre("Säule"));
  EXPECT_EQ(JoinScriptText({"Säule €", "日本"}), "S\xE4ule \x80\r\n??\r\n");
  // Malformed UTF-8, overlong zero included, never puts a zero byte into the file.
  EXPECT_EQ(JoinScriptText({"a\xC0\x80z\xFF"}), "a??z?\r\n");
}

TEST_F(ScriptFileTest, LfOnlyAndUnterminatedFilesReadBackTheSameLines) {
  WriteBytes(dir_ + "lf.RB3", "     0     0     0     0\n   120    85    40     1\n");
  WriteBytes(dir_ + "open.RB3", "     0     0     0     0\r\n   120    85    40     1");
  for (const char* name : {"lf.RB3", "open.RB3"}) {
    EXPECT_THAT(ReadScriptFile(dir_ + name),
                ElementsAre("     0     0     0     0", "   120    85    40     1"))
        << name;
  }
}

TEST_F(ScriptFileTest, AnEmptyFileGivesAnEmptyScript) {
  WriteBytes(dir_ + "empty.RB3", "");
  VectorScriptList list({"x"});
  LoadScript(list, dir_ + "empty.RB3");
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.ItemIndex(), -1);
}

TEST_F(ScriptFileTest, UnreadableFileLeavesTheListAlone) {
  VectorScriptList list({"keep"});
  list.SetItemIndex(0);
  const std::string missing = dir_ + "missing.RB3";
  EXPECT_EQ(ErrorText([&] { LoadScript(list, missing); }),
            "Datei " + missing + " kann nicht geöffnet werden");
  // A folder of the chosen name opens but cannot be read.
  mkdir((dir_ + "folder.RB3").c_str(), 0755);
  EXPECT_EQ(ErrorText([&] { LoadScript(list, dir_ + "folder.RB3"); }),
            "Datei " + dir_ + "folder.RB3 kann nicht geöffnet werden");
  EXPECT_THAT(list.Lines(), ElementsAre("keep"));
  EXPECT_EQ(list.ItemIndex(), 0);
}

TEST_F(ScriptFileTest, SavingReplacesAnExistingFileAndKeepsItsPermissions) {
  const std::string path = dir_ + "S.RB3";
  WriteBytes(path, "old contents that are longer than the new ones\r\n");
  chmod(path.c_str(), 0640);
  WriteScriptFile(path, {"new"});
  EXPECT_EQ(ReadBytes(path), "new\r\n");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(ScriptFileTest, AFolderThatIsAFileFailsWithTheCreateError) {
  WriteBytes(dir_ + "notadir", "x");
  const std::string path = dir_ + "notadir/S.RB3";
  EXPECT_EQ(ErrorText([&] { WriteScriptFile(path, {"a"}); }),
            "Datei " + path + " kann nicht erstellt werden");
  EXPECT_EQ(ReadBytes(dir_ + "notadir"), "x");
}

TEST_F(ScriptFileTest, ATargetThatIsAFolderFailsAndLeavesNoTemporaryFile) {
  mkdir((dir_ + "S.RB3").c_str(), 0755);
  WriteBytes(dir_ + "S.RB3/inside", "x");  // a non-empty folder cannot be renamed over
  EXPECT_EQ(ErrorText([&] { WriteScriptFile(dir_ + "S.RB3", {"a"}); }),
            "Datei " + dir_ + "S.RB3 kann nicht erstellt werden");
  EXPECT_THAT(DirEntries(), ElementsAre("S.RB3"));
}

TEST_F(ScriptFileTest, AWriteThatFailsHalfwayLeavesTheOldFileIntact) {
  const std::string path = dir_ + "S.RB3";
  const std::string old = "     0     0     0     0\r\n";
  WriteBytes(path, old);

  // A file-size limit makes the write fail for real after some bytes (root ignores
  // permission bits, so those would not do).
  std::vector<std::string> many(100, "   120    85    40     1");
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 100;
  setrlimit(RLIMIT_FSIZE, &small);
  std::string error = ErrorText([&] { WriteScriptFile(path, many); });
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_EQ(error, "Datei " + path + " kann nicht erstellt werden");
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_THAT(DirEntries(), ElementsAre("S.RB3"));
}

TEST(ScriptFileName, IsThePartAfterTheLastSlash) {
  EXPECT_EQ(FileNamePart("/home/u/DEMO.RB3"), "DEMO.RB3");
  EXPECT_EQ(FileNamePart("DEMO.RB3"), "DEMO.RB3");
  EXPECT_EQ(FileNamePart("/x/"), "");
}

}  // namespace
}  // namespace kelvora::app
