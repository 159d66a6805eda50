// SPDX-License-Identifier: MIT
// The script core without a window: line format and parsing, the editing rules, and
// Rb3 files including what a failed write leaves behind.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "access/brel_mot_list.h"
#include "app/script.h"

namespace kelvora::app {
namespace {

using ::testing::ElementsAre;
using Lines = std::vector<std::string>;

std::string ErrorText(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const ScriptError& e) {
    return e.what();
  }
  return "(no error)";
}

std::string NotAnInteger(const std::string& field) {
  return "'" + field + "' ist kein gültiger Integerwert";
}
const std::string kNoMark = "Der Index der Liste überschreitet das Maximum (-1)";

TEST(ScriptLine, FormatsBothLayoutsByteForByte) {
  struct Case {
    std::vector<int32_t> axes;
    std::array<int32_t, 8> values;
    bool rob5;
    std::string line;
  } cases[] = {
      {{120, 85, 40}, {7, 7, 7, 1, 0, 0, 0, 0}, false, "   120    85    40     1"},
      {{200, 35, 40, 500}, {0, 0, 0, 0, 1, 1, 0, 1}, true, " 200  35  40 500   1 1 0 1"},
      // Wide values are written in full and shift the columns.
      {{1234567, -99999, 9999, 12345}, {0, 0, 0, 1, 2}, false, "1234567-99999  9999     1"},
      {{1234567, -99999, 9999, 12345}, {0, 0, 0, 1, 2}, true, "1234567-99999999912345   2 0 0 0"},
  };
  for (const Case& c : cases) {
    access::TBrelMotList axes;
    for (size_t i = 0; i < c.axes.size(); ++i)
      axes.SetPos(static_cast<int>(i) + 1, access::mcPosition, c.axes[i]);
    EXPECT_EQ(FormatLine(axes, c.values.data(), c.rob5), c.line);
  }
  EXPECT_EQ(cases[1].line.size(), 26u);
  EXPECT_EQ(ZeroLine(false), "     0     0     0     0");
  EXPECT_EQ(ZeroLine(true), "   0   0   0   0   0 0 0 0");
}

TEST(ScriptLine, ParsesFieldsByColumn) {
  int32_t v[8] = {-1, -1, -1, -1, 55, 66, 77, 88};
  ParseLine("   120    85    40     1", false, v);
  EXPECT_THAT(v, ElementsAre(120, 85, 40, 1, 55, 66, 77, 88));  // standard keeps 4..7
  ParseLine(" 200  35  40 500   1 1 0 1", true, v);
  EXPECT_THAT(v, ElementsAre(200, 35, 40, 500, 1, 1, 0, 1));
  ParseLine("    -5    +7 65535     2", false, v);
  EXPECT_THAT(v, ElementsAre(-5, 7, 65535, 2, 1, 1, 0, 1));

  EXPECT_EQ(ConvertField("    12"), 12);
  EXPECT_EQ(ConvertField("-0"), 0);
  EXPECT_EQ(ConvertField("2147483647"), 2147483647);
  EXPECT_EQ(ConvertField("-2147483648"), INT32_MIN);
  for (const char* bad : {"", "      ", "  12  ", "1 2", "+", " - 3", "0x1E", "$1E", "12a",
                          "2147483648", "-2147483649", "99999999999999999999999999"})
    EXPECT_EQ(ErrorText([&] { ConvertField(bad); }), NotAnInteger(bad)) << bad;
}

TEST(ScriptLine, UnreadableLinesNameTheFailingField) {
  struct Case {
    std::string line;
    bool rob5;
    std::string field;
  } cases[] = {
      {"", false, ""},
      {"", true, ""},
      {"   120   ", false, "   "},  // short line: a blank stub
      {ZeroLine(true), false, "   0  "},
      {ZeroLine(false), true, "    "},
      {"    1ä     2", false, "    1ä"},  // an umlaut is one column, as in the 8-bit file
      {"     1ääääää", false, "ääääää"},
  };
  for (const Case& c : cases) {
    int32_t v[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(ErrorText([&] { ParseLine(c.line, c.rob5, v); }), NotAnInteger(c.field)) << c.line;
  }
  int32_t v[8] = {9, 9, 9, 9, 9, 9, 9, 9};  // fields before the failing one are kept
  ErrorText([&] { ParseLine("   120   ", false, v); });
  EXPECT_THAT(v, ElementsAre(120, 9, 9, 9, 9, 9, 9, 9));
}

TEST(ScriptEditing, CommandsAtTheListsEnds) {
  using Edit = std::function<bool(ScriptList&)>;
  const Edit store = [](ScriptList& l) { return StorePosition(l, "X"); };
  const Edit insert = [](ScriptList& l) { return InsertPosition(l, "X"); };
  const Edit append = [](ScriptList& l) { return AppendPosition(l, "X"); };
  const Edit remove = [](ScriptList& l) { return DeletePosition(l); };
  struct Case {
    const char* name;
    Edit edit;
    Lines before;
    int mark;
    bool changed;
    Lines after;
    int markAfter;
    std::string error = {};
  } cases[] = {
      {"store", store, {"a", "b", "c"}, 1, true, {"a", "X", "c"}, 1},
      {"store empty", store, {}, -1, false, {}, -1},
      {"store unmarked", store, {"a"}, -1, false, {"a"}, -1, kNoMark},
      {"insert first", insert, {"a", "b"}, 0, true, {"X", "a", "b"}, 0},
      {"insert last", insert, {"a", "b"}, 1, true, {"a", "X", "b"}, 1},
      {"insert empty", insert, {}, -1, false, {}, -1},
      {"append", append, {"a", "b"}, 0, true, {"a", "b", "X"}, 2},
      {"append empty", append, {}, -1, true, {"X"}, 0},
      {"delete only line", remove, {"a"}, 0, false, {"a"}, 0},
      {"delete first", remove, {"a", "b", "c"}, 0, true, {"b", "c"}, 0},
      {"delete last", remove, {"a", "b", "c"}, 2, true, {"a", "b"}, 1},
      {"delete middle", remove, {"a", "b", "c"}, 1, true, {"a", "c"}, 0},
      {"delete empty", remove, {}, -1, false, {}, -1, kNoMark},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VectorScriptList list(c.before);
    list.SetItemIndex(c.mark);
    bool changed = false;
    EXPECT_EQ(ErrorText([&] { changed = c.edit(list); }), c.error.empty() ? "(no error)" : c.error);
    EXPECT_EQ(changed, c.changed);
    EXPECT_EQ(list.Lines(), c.after);
    EXPECT_EQ(list.ItemIndex(), c.markAfter);
  }
}

TEST(ScriptEditing, NewScriptAndTheMarkedLine) {
  VectorScriptList list({"a", "b"});
  int32_t v[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  NewScript(list, v, true);
  EXPECT_THAT(list.Lines(), ElementsAre(ZeroLine(true)));
  EXPECT_EQ(list.ItemIndex(), 0);
  EXPECT_THAT(v, ElementsAre(0, 0, 0, 0, 0, 0, 0, 0));

  list = VectorScriptList({"     1     2     3     0"});
  EXPECT_EQ(ErrorText([&] { ParseMarkedLine(list, false, v); }), kNoMark);
  list.SetItemIndex(0);
  ParseMarkedLine(list, false, v);
  EXPECT_THAT(v, ElementsAre(1, 2, 3, 0, 0, 0, 0, 0));
  // A list with lines keeps its marked line: an index outside leaves the mark alone.
  for (int outside : {5, -1}) {
    list.SetItemIndex(outside);
    EXPECT_EQ(list.ItemIndex(), 0) << outside;
  }
}

TEST(ScriptText, SplitsAtEveryLineEndKeepsEmptyLinesAndStopsAtAZeroByte) {
  const std::pair<std::string, Lines> cases[] = {
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},
      {"a\nb\r\nc\rd", {"a", "b", "c", "d"}},
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"\r\n", {""}},
      {"\r\r\n\n", {"", "", ""}},
      {"", {}},
      {std::string("a\r\nb\0c\r\nd\r\n", 11), {"a", "b"}},
      {std::string("\0a\r\n", 4), {}},
  };
  for (const auto& [bytes, lines] : cases) EXPECT_EQ(SplitScriptText(bytes), lines) << bytes;
}

TEST(ScriptText, EightBitTextRoundTripsThroughUtf8) {
  std::string bytes;  // every byte but the line ends and the zero byte
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

class ScriptFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kelvora-script-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = std::string(tmpl) + "/";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  static std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  Lines DirEntries() const {
    Lines names;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d))
      if (std::string n = e->d_name; n != "." && n != "..") names.push_back(n);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir_;
};

TEST_F(ScriptFileTest, WorkedExamplesSaveByteForByteAndReopen) {
  const Lines demo = {ZeroLine(false), "   120    85    40     1"};
  SaveScript(VectorScriptList(demo), dir_ + "DEMO.RB3");
  const std::string bytes = ReadBytes(dir_ + "DEMO.RB3");
  EXPECT_EQ(bytes, "     0     0     0     0\r\n   120    85    40     1\r\n");
  EXPECT_EQ(bytes.size(), 52u);
  WriteScriptFile(dir_ + "R.RB5", {" 200  35  40 500   1 1 0 1"});
  EXPECT_EQ(ReadBytes(dir_ + "R.RB5"), " 200  35  40 500   1 1 0 1\r\n");
  EXPECT_THAT(DirEntries(), ElementsAre("DEMO.RB3", "R.RB5"));  // no temporary file left

  // Reopened, also written with LF only or without a final line end: line 1 marked.
  WriteBytes(dir_ + "lf.RB3", "     0     0     0     0\n   120    85    40     1\n");
  WriteBytes(dir_ + "open.RB3", "     0     0     0     0\r\n   120    85    40     1");
  for (const char* name : {"DEMO.RB3", "lf.RB3", "open.RB3"}) {
    VectorScriptList list({"old"});
    LoadScript(list, dir_ + name);
    EXPECT_EQ(list.Lines(), demo) << name;
    EXPECT_EQ(list.ItemIndex(), 0) << name;
  }
  WriteBytes(dir_ + "empty.RB3", "");
  VectorScriptList list({"x"});
  LoadScript(list, dir_ + "empty.RB3");
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.ItemIndex(), -1);
}

TEST_F(ScriptFileTest, UnreadableFileLeavesTheListAlone) {
  VectorScriptList list({"keep"});
  list.SetItemIndex(0);
  mkdir((dir_ + "folder.RB3").c_str(), 0755);  // opens, but cannot be read
  for (const std::string name : {"missing.RB3", "folder.RB3"})
    EXPECT_EQ(ErrorText([&] { LoadScript(list, dir_ + name); }),
              "Datei " + dir_ + name + " kann nicht geöffnet werden");
  EXPECT_THAT(list.Lines(), ElementsAre("keep"));
  EXPECT_EQ(list.ItemIndex(), 0);
}

// Only regular files are read, and none larger than a script can sensibly be: a device,
// a pipe or a huge file is refused with the open error instead of read without end.
TEST_F(ScriptFileTest, ReadsRegularFilesUpToTheLimitAndStopsAtAZeroByte) {
  const std::string line = "     0     0     0     0\r\n";
  ASSERT_EQ(mkfifo((dir_ + "pipe.RB3").c_str(), 0600), 0);
  WriteBytes(dir_ + "limit.RB3", std::string(kMaxScriptFileSize - line.size(), ' ') + line);
  std::ofstream(dir_ + "huge.RB3", std::ios::binary).flush();
  ASSERT_EQ(truncate((dir_ + "huge.RB3").c_str(), off_t{3} << 30), 0);  // sparse, 3 GiB
  WriteBytes(dir_ + "over.RB3", std::string(kMaxScriptFileSize + 1, 'x'));
  // Everything after a zero byte is ignored, however much follows: more lines than one
  // read takes in, so that a reader going on past the zero would show them.
  std::string after;
  while (after.size() < 64 * 1024) after += "     5     5     5     5\r\n";
  WriteBytes(dir_ + "zero.RB3", line + std::string("1\0", 2) + after);
  const struct {
    std::string path;
    Lines lines;  // empty with refused: the open error
    bool refused;
  } cases[] = {
      {"/dev/zero", {}, true},
      {dir_ + "pipe.RB3", {}, true},
      {dir_ + "huge.RB3", {}, true},
      {dir_ + "over.RB3", {}, true},
      {dir_ + "limit.RB3",
       {std::string(kMaxScriptFileSize - line.size(), ' ') + line.substr(0, 24)},
       false},
      {dir_ + "zero.RB3", {line.substr(0, 24), "1"}, false},
  };
  for (const auto& c : cases) {
    VectorScriptList list({"keep"});
    list.SetItemIndex(0);
    const std::string error = ErrorText([&] { LoadScript(list, c.path); });
    if (c.refused) {
      EXPECT_EQ(error, "Datei " + c.path + " kann nicht geöffnet werden") << c.path;
      EXPECT_THAT(list.Lines(), ElementsAre("keep")) << c.path;
    } else {
      EXPECT_EQ(error, "(no error)") << c.path;
      EXPECT_EQ(list.Lines(), c.lines) << c.path;
    }
  }
}

// A termination signal must not lose a modified script: it goes to a new file beside the
// settings, never over another, and the next start names it once.
TEST_F(ScriptFileTest, RecoveryFilesAreNewAndNamedOnce) {
  const Lines lines = {"     0     0     0     0", "   120    85    40     1"};
  std::tm t{};
  t.tm_year = 124, t.tm_mon = 4, t.tm_mday = 18, t.tm_hour = 15, t.tm_min = 30, t.tm_sec = 12;
  t.tm_isdst = -1;
  const std::time_t now = std::mktime(&t);
  const std::string first = WriteRecoveryFile(dir_, "RB3", lines, now);
  EXPECT_EQ(first, dir_ + "Kelvora-recovered-20240518-153012.RB3");
  EXPECT_EQ(ReadBytes(first), "     0     0     0     0\r\n   120    85    40     1\r\n");
  // The same second again, and an extension that could name a path: new names.
  EXPECT_EQ(WriteRecoveryFile(dir_, "RB3", {"b"}, now),
            dir_ + "Kelvora-recovered-20240518-153012-2.RB3");
  EXPECT_EQ(WriteRecoveryFile(dir_, "RB/", {"c"}, now),
            dir_ + "Kelvora-recovered-20240518-153012.RB");
  EXPECT_EQ(ReadBytes(first), "     0     0     0     0\r\n   120    85    40     1\r\n");
  EXPECT_EQ(WriteRecoveryFile(dir_ + "missing/", "RB3", lines, now), "");

  EXPECT_THAT(UnnoticedRecoveryFiles(dir_), ElementsAre("Kelvora-recovered-20240518-153012-2.RB3",
                                                        "Kelvora-recovered-20240518-153012.RB",
                                                        "Kelvora-recovered-20240518-153012.RB3"));
  MarkRecoveryFilesNoticed(dir_);
  EXPECT_THAT(UnnoticedRecoveryFiles(dir_), ElementsAre());
  // A later one is new; the noticed ones stay where they are.
  const std::string later = WriteRecoveryFile(dir_, "RB5", {"d"}, now + 60);
  EXPECT_THAT(UnnoticedRecoveryFiles(dir_), ElementsAre("Kelvora-recovered-20240518-153112.RB5"));
  EXPECT_TRUE(std::filesystem::exists(first));
  EXPECT_TRUE(std::filesystem::exists(later));
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

TEST_F(ScriptFileTest, AFailedSaveLeavesTheOldFileIntactAndNoTemporaryFile) {
  const std::string old = "     0     0     0     0\r\n";
  WriteBytes(dir_ + "S.RB3", old);
  WriteBytes(dir_ + "notadir", "x");
  mkdir((dir_ + "D.RB3").c_str(), 0755);
  WriteBytes(dir_ + "D.RB3/inside", "x");  // a non-empty folder cannot be renamed over
  const Lines many(100, "   120    85    40     1");

  // A file-size limit makes the write fail for real after some bytes (root ignores
  // permission bits, so those would not do).
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 100;
  setrlimit(RLIMIT_FSIZE, &small);
  const std::string halfway = ErrorText([&] { WriteScriptFile(dir_ + "S.RB3", many); });
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(halfway, "Datei " + dir_ + "S.RB3 kann nicht erstellt werden");

  // A write-protected script stays as it is, as an in-place write would leave it.
  WriteBytes(dir_ + "R.RB3", old);
  chmod((dir_ + "R.RB3").c_str(), 0444);
  for (const std::string name : {"notadir/S.RB3", "D.RB3", "R.RB3"})
    EXPECT_EQ(ErrorText([&] { WriteScriptFile(dir_ + name, {"a"}); }),
              "Datei " + dir_ + name + " kann nicht erstellt werden");
  EXPECT_EQ(ReadBytes(dir_ + "S.RB3"), old);
  EXPECT_EQ(ReadBytes(dir_ + "R.RB3"), old);
  EXPECT_EQ(ReadBytes(dir_ + "notadir"), "x");
  EXPECT_THAT(DirEntries(), ElementsAre("D.RB3", "R.RB3", "S.RB3", "notadir"));

  // Through a symbolic link the link stays and its target gets the new lines.
  ASSERT_EQ(symlink((dir_ + "S.RB3").c_str(), (dir_ + "L.RB3").c_str()), 0);
  WriteScriptFile(dir_ + "L.RB3", {"b"});
  EXPECT_EQ(ReadBytes(dir_ + "S.RB3"), "b\r\n");
  struct stat st {};
  ASSERT_EQ(lstat((dir_ + "L.RB3").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

}  // namespace
}  // namespace kelvora::app
