// The script line format, field conversion and the editing rules, without a window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "access/brel_mot_list.h"
#include "app/script.h"

namespace kelvora::app {
namespace {

using ::testing::ElementsAre;

std::string ErrorText(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const ScriptError& e) {
    return e.what();
  }
  return "(no error)";
}

access::TBrelMotList AxesAt(std::initializer_list<int32_t> positions) {
  access::TBrelMotList axes;
  int axis = 1;
  for (int32_t p : positions) axes.SetPos(axis++, access::mcPosition, p);
  return axes;
}

TEST(ScriptLineFormat, StandardLayoutMatchesTheWorkedExample) {
  auto axes = AxesAt({120, 85, 40});
  int32_t values[8] = {7, 7, 7, 1, 0, 0, 0, 0};  // only entry 3 is taken
  EXPECT_EQ(FormatLine(axes, values, false), "   120    85    40     1");
  EXPECT_EQ(ZeroLine(false), "     0     0     0     0");
  EXPECT_EQ(ZeroLine(false).size(), 24u);
}

TEST(ScriptLineFormat, Rob5LayoutMatchesTheWorkedExample) {
  auto axes = AxesAt({200, 35, 40, 500});
  int32_t values[8] = {0, 0, 0, 0, 1, 1, 0, 1};
  const std::string line = FormatLine(axes, values, true);
  const unsigned char expected[26] = {0x20, 0x32, 0x30, 0x30, 0x20, 0x20, 0x33, 0x35, 0x20,
                                      0x20, 0x34, 0x30, 0x20, 0x35, 0x30, 0x30, 0x20, 0x20,
                                      0x20, 0x31, 0x20, 0x31, 0x20, 0x30, 0x20, 0x31};
  EXPECT_EQ(line, std::string(reinterpret_cast<const char*>(expected), 26));
  EXPECT_EQ(ZeroLine(true), "   0   0   0   0   0 0 0 0");
}

TEST(ScriptLineFormat, WideValuesAreWrittenInFullAndShiftTheColumns) {
  auto axes = AxesAt({1234567, -99999, 9999, 12345});
  int32_t values[8] = {0, 0, 0, 1, 2, 0, 0, 0};
  EXPECT_EQ(FormatLine(axes, values, false), "1234567-99999  9999     1");
  EXPECT_EQ(FormatLine(axes, values, true), "1234567-99999999912345   2 0 0 0");
}

TEST(ScriptLineParse, ReadsBothLayoutsBackIntoLineValues) {
  int32_t v[8] = {-1, -1, -1, -1, 55, 66, 77, 88};
  ParseLine("   120    85    40     1", false, v);
  EXPECT_THAT(v, ElementsAre(120, 85, 40, 1, 55, 66, 77, 88));  // standard keeps 4..7

  ParseLine(" 200  35  40 500   1 1 0 1", true, v);
  EXPECT_THAT(v, ElementsAre(200, 35, 40, 500, 1, 1, 0, 1));

  // Signs, and a line of unusual values a user may type.
  ParseLine("    -5    +7 65535     2", false, v);
  EXPECT_THAT(v, ElementsAre(-5, 7, 65535, 2, 1, 1, 0, 1));
}

TEST(ScriptLineParse, ConvertsAFieldAsAWhole) {
  EXPECT_EQ(ConvertField("    12"), 12);
  EXPECT_EQ(ConvertField("-0"), 0);
  EXPECT_EQ(ConvertField("2147483647"), 2147483647);
  EXPECT_EQ(ConvertField("-2147483648"), INT32_MIN);

  for (const char* bad : {"", "      ", "  12  ", "1 2", "+", " - 3", "0x1E", "$1E", "12a",
                          "2147483648", "-2147483649", "99999999999999999999999999"}) {
    EXPECT_EQ(ErrorText([&] { ConvertField(bad); }),
              std::string("'") + bad + "' ist kein gültiger Integerwert")
        << bad;
  }
}

TEST(ScriptLineParse, AnEmptyLineFailsWithTheEmptyFieldText) {
  int32_t v[8] = {};
  EXPECT_EQ(ErrorText([&] { ParseLine("", false, v); }), "'' ist kein gültiger Integerwert");
  EXPECT_EQ(ErrorText([&] { ParseLine("", true, v); }), "'' ist kein gültiger Integerwert");
}

TEST(ScriptLineParse, AFailingFieldKeepsTheFieldsConvertedBeforeIt) {
  int32_t v[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  // A short line: field 2 is a blank stub, field 3 missing.
  EXPECT_EQ(ErrorText([&] { ParseLine("   120   ", false, v); }),
            "'   ' ist kein gültiger Integerwert");
  EXPECT_THAT(v, ElementsAre(120, 9, 9, 9, 9, 9, 9, 9));
}

TEST(ScriptLineParse, ALineOfTheOtherLayoutFails) {
  int32_t v[8] = {};
  EXPECT_EQ(ErrorText([&] { ParseLine(ZeroLine(true), false, v); }),
            "'   0  ' ist kein gültiger Integerwert");
  // The standard zero line read as Rob5: the first field is four blanks.
  EXPECT_EQ(ErrorText([&] { ParseLine(ZeroLine(false), true, v); }),
            "'    ' ist kein gültiger Integerwert");
}

TEST(ScriptLineParse, ColumnsCountCharactersNotBytes) {
  int32_t v[8] = {};
  // An umlaut is one column, as in the 8-bit file the line came from.
  EXPECT_EQ(ErrorText([&] { ParseLine("    1ä     2", false, v); }),
            "'    1ä' ist kein gültiger Integerwert");
  EXPECT_EQ(ErrorText([&] { ParseLine("     1ääääää", false, v); }),
            "'ääääää' ist kein gültiger Integerwert");
}

// ---- Editing ------------------------------------------------------------------------

VectorScriptList ListOf(std::vector<std::string> lines, int marked) {
  VectorScriptList list(std::move(lines));
  list.SetItemIndex(marked);
  return list;
}

TEST(ScriptEditing, NewScriptIsTheMarkedZeroLineWithAllValuesCleared) {
  VectorScriptList list({"a", "b"});
  int32_t v[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  NewScript(list, v, false);
  EXPECT_THAT(list.Lines(), ElementsAre(ZeroLine(false)));
  EXPECT_EQ(list.ItemIndex(), 0);
  EXPECT_THAT(v, ElementsAre(0, 0, 0, 0, 0, 0, 0, 0));
  NewScript(list, v, true);
  EXPECT_THAT(list.Lines(), ElementsAre(ZeroLine(true)));
}

TEST(ScriptEditing, StoreReplacesTheMarkedLineAndKeepsItMarked) {
  auto list = ListOf({"a", "b", "c"}, 1);
  EXPECT_TRUE(StorePosition(list, "X"));
  EXPECT_THAT(list.Lines(), ElementsAre("a", "X", "c"));
  EXPECT_EQ(list.ItemIndex(), 1);

  VectorScriptList empty;
  EXPECT_FALSE(StorePosition(empty, "X"));
  EXPECT_EQ(empty.Count(), 0);

  auto unmarked = ListOf({"a"}, -1);
  EXPECT_EQ(ErrorText([&] { StorePosition(unmarked, "X"); }),
            "Der Index der Liste überschreitet das Maximum (-1)");
  EXPECT_THAT(unmarked.Lines(), ElementsAre("a"));
}

TEST(ScriptEditing, InsertGoesBeforeTheMarkedLineAndMarksTheNewOne) {
  auto list = ListOf({"a", "b"}, 0);
  EXPECT_TRUE(InsertPosition(list, "X"));
  EXPECT_THAT(list.Lines(), ElementsAre("X", "a", "b"));
  EXPECT_EQ(list.ItemIndex(), 0);

  list.SetItemIndex(2);
  EXPECT_TRUE(InsertPosition(list, "Y"));
  EXPECT_THAT(list.Lines(), ElementsAre("X", "a", "Y", "b"));
  EXPECT_EQ(list.ItemIndex(), 2);

  VectorScriptList empty;
  EXPECT_FALSE(InsertPosition(empty, "X"));
  EXPECT_EQ(empty.Count(), 0);
}

TEST(ScriptEditing, AppendAddsAndMarksTheLastLine) {
  auto list = ListOf({"a", "b"}, 0);
  EXPECT_TRUE(AppendPosition(list, "X"));
  EXPECT_THAT(list.Lines(), ElementsAre("a", "b", "X"));
  EXPECT_EQ(list.ItemIndex(), 2);

  VectorScriptList empty;
  EXPECT_TRUE(AppendPosition(empty, "X"));
  EXPECT_EQ(empty.ItemIndex(), 0);
}

TEST(ScriptEditing, DeleteAtTheListsEnds) {
  auto one = ListOf({"a"}, 0);
  EXPECT_FALSE(DeletePosition(one));
  EXPECT_THAT(one.Lines(), ElementsAre("a"));

  auto list = ListOf({"a", "b", "c", "d"}, 0);
  EXPECT_TRUE(DeletePosition(list));  // line 1: the new line 1 is marked
  EXPECT_THAT(list.Lines(), ElementsAre("b", "c", "d"));
  EXPECT_EQ(list.ItemIndex(), 0);

  list.SetItemIndex(2);  // the last line: the one before it is marked
  EXPECT_TRUE(DeletePosition(list));
  EXPECT_THAT(list.Lines(), ElementsAre("b", "c"));
  EXPECT_EQ(list.ItemIndex(), 1);

  list.SetItemIndex(1);
  EXPECT_TRUE(DeletePosition(list));
  EXPECT_THAT(list.Lines(), ElementsAre("b"));
  EXPECT_EQ(list.ItemIndex(), 0);
  EXPECT_FALSE(DeletePosition(list));

  VectorScriptList empty;  // only reachable through an empty file
  EXPECT_EQ(ErrorText([&] { DeletePosition(empty); }),
            "Der Index der Liste überschreitet das Maximum (-1)");
}

TEST(ScriptEditing, MarkedLineNeedsAMark) {
  VectorScriptList empty;
  int32_t v[8] = {};
  EXPECT_EQ(ErrorText([&] { ParseMarkedLine(empty, false, v); }),
            "Der Index der Liste überschreitet das Maximum (-1)");
  auto list = ListOf({"     1     2     3     0"}, 0);
  ParseMarkedLine(list, false, v);
  EXPECT_THAT(v, ElementsAre(1, 2, 3, 0, 0, 0, 0, 0));
  list.SetItemIndex(5);  // outside: unmarks, as a list box does
  EXPECT_EQ(list.ItemIndex(), -1);
}

}  // namespace
}  // namespace kelvora::app
