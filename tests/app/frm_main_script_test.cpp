// SPDX-License-Identifier: MIT
// The main window's script commands, clicked, with the virtual robot behind the
// interface in virtual time. Dialogs and message boxes go through the window's prompt
// seam; the message pump inside moves lets the test click "as the user" during a run.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/frm_main.h"
#include "app/script.h"
#include "sim/virtual_robot.h"
#include "tests/support/main_window_rig.h"

namespace kelvora::app {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FrmMainScriptTest : public MainWindowRig {
 protected:
  void SetLines(const std::vector<QString>& lines) {
    Control<QListWidget>("lstScript")->clear();
    for (const QString& l : lines) Control<QListWidget>("lstScript")->addItem(l);
    Control<QListWidget>("lstScript")->setCurrentRow(0);
  }
  void ClickLine(int row) {
    QListWidget* list = Control<QListWidget>("lstScript");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
  }
  int Marked() const {
    auto rows = Control<QListWidget>("lstScript")->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
  }
  std::vector<QString> Lines() const {
    std::vector<QString> out;
    for (int i = 0; i < Control<QListWidget>("lstScript")->count(); ++i)
      out.push_back(Control<QListWidget>("lstScript")->item(i)->text());
    return out;
  }
  static QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
  }
};

TEST_F(FrmMainScriptTest, ThePassHomesOnTheZeroLineThenDrivesEveryLineOnce) {
  Make();
  Click("cmdAction");  // "EIN" only: the robot is not homed
  ASSERT_GT(rig->Position(1), 5.0);
  SetLines({"     0     0     0     0", "   120    85    40     1", "    60    30    20     0"});
  ClickLine(2);
  std::vector<int> seen;
  onMessages = [&] {
    if (!seen.empty() && seen.back() == Marked()) return;
    seen.push_back(Marked());
    for (int axis = 1; axis <= 4 && Marked() == 1; ++axis) {  // the zero line homed them
      EXPECT_LT(rig->Position(axis), 1.0) << axis;
      EXPECT_EQ(form->Robot()->Axes.GetPos(axis, access::mcPosition), 0) << axis;
    }
  };
  Click("cmdScriptStarten");  // from line 1 whatever is marked
  EXPECT_THAT(seen, ElementsAre(0, 1, 2));
  // Axes that arrive together may drop one another out of their creep up to the brake
  // zone short of the target; the robot object then says where they stopped.
  const int32_t targets[3] = {60, 30, 20};
  for (int axis = 1; axis <= 3; ++axis) {
    EXPECT_NEAR(rig->Position(axis), targets[axis - 1], 6.0) << axis;
    EXPECT_NEAR(form->Robot()->Axes.GetPos(axis, access::mcPosition), rig->Position(axis), 1.0)
        << axis;
  }
  EXPECT_LT(rig->Position(4), 1.0);  // gripper opened again by the last line
  EXPECT_THAT(form->LineValues(), ElementsAre(60, 30, 20, 0, 0, 0, 0, 0));
  EXPECT_EQ(Marked(), 2);  // the last line driven stays marked
  EXPECT_EQ(form->PrgModus(), 3);
  EXPECT_EQ(form->Robot()->MotorWord(), 0u);
}

TEST_F(FrmMainScriptTest, MarkingAnotherLineDuringARunContinuesAfterIt) {
  Make();
  SwitchOnAndHome();
  SetLines({"    40    10    10     0", "    80    20    20     0", "    60    30    20     0",
            "    20    40    30     0"});
  std::vector<int> seen;
  int markDuringLineOne = 2;
  onMessages = [&] {
    if (seen.empty() || seen.back() != Marked()) seen.push_back(Marked());
    if (Marked() == 0) ClickLine(markDuringLineOne);  // the user marks another line
  };
  Click("cmdScriptStarten");
  EXPECT_THAT(seen, ElementsAre(0, 2, 3));  // lines 2 and 3 were never driven
  EXPECT_EQ(Marked(), 3);
  EXPECT_EQ(form->PrgModus(), 3);
  EXPECT_NEAR(rig->Position(1), 20, 2);
  EXPECT_NEAR(rig->Position(2), 40, 2);

  // Marking the last line ends the pass after the line being driven.
  seen.clear();
  markDuringLineOne = 3;
  Click("cmdScriptStarten");
  onMessages = nullptr;
  EXPECT_THAT(seen, ElementsAre(0, 3));
  EXPECT_NEAR(rig->Position(1), 40, 2);
  EXPECT_EQ(form->PrgModus(), 3);
  EXPECT_THAT(errors, IsEmpty());
}

// A list box lets Ctrl+click and Ctrl+Space unmark its line; the script always keeps one.
TEST_F(FrmMainScriptTest, TheMarkedLineCannotBeUnmarkedAlsoNotDuringARun) {
  Make();
  SwitchOnAndHome();
  SetLines({"    40    10    10     0", "    80    20    20     0", "    60    30    20     0"});
  ClickLine(1);
  auto ctrlClick = [this] {
    QListWidget* list = Control<QListWidget>("lstScript");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list->visualItemRect(list->item(Marked() < 0 ? 1 : Marked())).center());
  };
  ctrlClick();
  EXPECT_EQ(Marked(), 1);
  // Space also searches for the next line that starts with a blank (every line does):
  // the mark may move on, but it stays.
  Control<QListWidget>("lstScript")->setFocus();
  QTest::keyClick(Control<QListWidget>("lstScript"), Qt::Key_Space, Qt::ControlModifier);
  EXPECT_NE(Marked(), -1);
  ClickLine(1);
  // The commands that need the marked line find it.
  Click("cmdPosSpeichern");
  Click("cmdVor");
  EXPECT_EQ(Marked(), 2);
  EXPECT_EQ(form->PrgModus(), 3);
  EXPECT_THAT(errors, IsEmpty());

  // During a run: the pass goes on after the line, it does not start again.
  std::vector<int> seen;
  bool clicked = false;
  onMessages = [&] {
    if (seen.empty() || seen.back() != Marked()) seen.push_back(Marked());
    if (Marked() == 1 && !clicked) {
      clicked = true;
      ctrlClick();
    }
  };
  Click("cmdScriptStarten");
  onMessages = nullptr;
  EXPECT_THAT(seen, ElementsAre(0, 1, 2));
  EXPECT_EQ(form->PrgModus(), 3);
  EXPECT_THAT(errors, IsEmpty());
}

TEST_F(FrmMainScriptTest, HaltEndsARepeatedRunAfterTheCurrentLineAndUnticksRepeat) {
  Make({.ini = "[Rob3]\r\nRobType=Z\r\n"});  // motor 4 as an extra output
  SwitchOnAndHome();
  SetLines({"   200   150   140     1", "    20    10    10     0"});
  Control<QCheckBox>("chkWiederholen")->setChecked(true);
  int passes = 0, last = -1;
  onMessages = [&] {
    ASSERT_EQ(form->PrgModus(), 4);
    if (Marked() == 0 && last != 0) ++passes;
    last = Marked();
    if (passes == 3 && rig->Position(1) > 50) {  // inside the third pass's first move
      onMessages = nullptr;
      Click("cmdAction");  // HALT
    }
  };
  Click("cmdScriptStarten");
  EXPECT_EQ(passes, 3);
  EXPECT_FALSE(Control<QCheckBox>("chkWiederholen")->isChecked());
  EXPECT_EQ(form->PrgModus(), 3);
  EXPECT_EQ(Marked(), 0);              // line 2 was not driven any more
  EXPECT_LT(rig->Position(1), 100.0);  // the move was cut short, its motors are off
  const uint32_t word = form->Robot()->MotorWord();
  EXPECT_EQ(word & 0x3Fu, 0u);
  EXPECT_EQ(word & 0xC0u, 0x40u);  // the line's extra output was still switched on
  EXPECT_EQ(form->LineValues()[3], 1);
  EXPECT_FALSE(form->Modified());  // runs do not change the script
}

TEST_F(FrmMainScriptTest, ARepeatedRunOnADeadInterfaceStaysStoppable) {
  Make();
  SwitchOnAndHome();
  form->Robot()->CloseInterface();  // every move now fails at once, without window messages
  SetLines({"     0     0     0     0", "    40    10    10     0"});
  Control<QCheckBox>("chkWiederholen")->setChecked(true);
  int calls = 0;
  onMessages = [&] {
    if (++calls == 1000) Click("cmdAction");  // HALT
  };
  Click("cmdScriptStarten");
  EXPECT_GE(calls, 1000);
  EXPECT_EQ(form->PrgModus(), 3);
  EXPECT_FALSE(Control<QCheckBox>("chkWiederholen")->isChecked());
}

TEST_F(FrmMainScriptTest, AnUnreadableLineStopsARunOrADriveInRunModeUntilHalt) {
  Make();
  SwitchOnAndHome();
  SetLines({"    10    10    10     0", "", "    40    10    10     0"});
  Click("cmdScriptStarten");
  EXPECT_EQ(Marked(), 1);
  EXPECT_EQ(form->PrgModus(), 4);  // until HALT
  Click("cmdAction");
  ClickLine(0);
  Click("cmdVor");  // "&>" to the empty line 2
  const QString empty = Shown("'' ist kein gültiger Integerwert");
  EXPECT_THAT(errors, ElementsAre(empty, empty));
  EXPECT_EQ(Marked(), 1);
  EXPECT_EQ(form->PrgModus(), 4);
  Click("cmdAction");
  EXPECT_EQ(form->PrgModus(), 3);
  EXPECT_NEAR(rig->Position(1), 10, 2);  // line 3 was never driven
}

TEST_F(FrmMainScriptTest, DrivingToOneLineStopsAtTheListsEnds) {
  Make();
  SwitchOnAndHome();
  SetLines({"    30    10    10     0", "    60    20    20     0", "    90    30    30     0"});
  ClickLine(1);
  form->Robot()->StopFlag = true;  // left over from the last HALT: driving clears it
  Click("cmdAufPosition");         // the marked line
  EXPECT_NEAR(rig->Position(1), 60, 2);
  for (int i = 0; i < 2; ++i) Click("cmdVor");
  EXPECT_EQ(Marked(), 2);  // "&>" on the last line drives it again
  EXPECT_NEAR(rig->Position(1), 90, 2);
  for (int i = 0; i < 3; ++i) Click("cmdZuruck");
  EXPECT_EQ(Marked(), 0);
  EXPECT_NEAR(rig->Position(1), 30, 2);
  EXPECT_EQ(form->Robot()->Axes.GetPos(1, access::mcPosition), 30);
  EXPECT_EQ(form->PrgModus(), 3);
}

TEST_F(FrmMainScriptTest, Rob5LineDrivesTheCarriageSwitchesOutputsAndWaitsForInputEleven) {
  Make({.layout = sim::Layout::kRob5, .ini = "[Common]\r\nRobModel=Rob5\r\n"});
  SwitchOnAndHome();
  SetLines({"  50  30  20 100   1 1 0 1"});
  uint64_t switchAt = 0;
  onMessages = [&] {  // input 11 comes on five seconds after the line started
    if (switchAt == 0) switchAt = rig->clock.NowMs() + 5000;
    if (rig->clock.NowMs() >= switchAt) rig->SetInput(11, true);
  };
  Click("cmdAufPosition");
  EXPECT_GE(rig->clock.NowMs(), switchAt);
  EXPECT_NEAR(rig->Position(4), 100, 2);                     // Wagen
  EXPECT_NEAR(rig->Position(5), 28, 2);                      // gripper closed at its maximum
  EXPECT_EQ(form->Robot()->MotorWord() & 0x3C00u, 0x0400u);  // motor 6 left
  EXPECT_THAT(form->LineValues(), ElementsAre(50, 30, 20, 100, 1, 1, 0, 1));
  EXPECT_EQ(form->PrgModus(), 3);
}

TEST_F(FrmMainScriptTest, StoringPositionsAndTheGripperState) {
  Make();
  SwitchOnAndHome();
  // The gripper's state comes from its labels; the arm is placed by hand after each
  // click, since the arm still stands on its end switches, which the move reads as 0.
  auto placeArm = [&] {
    for (auto [axis, pos] : {std::pair{1, 120}, {2, 85}, {3, 40}})
      form->Robot()->Axes.SetPos(axis, access::mcPosition, pos);
  };
  Click("lblM4Zu");  // "+": the gripper closed
  placeArm();
  Click("cmdPosAnfugen");
  EXPECT_THAT(Lines(), ElementsAre("     0     0     0     0", "   120    85    40     1"));
  EXPECT_EQ(Marked(), 1);
  EXPECT_TRUE(form->Modified());

  Click("lblM4Auf");  // "-": open again
  placeArm();
  ClickLine(0);
  Click("cmdPosEinfugen");
  EXPECT_EQ(Lines().size(), 3u);
  EXPECT_EQ(Lines()[0], "   120    85    40     0");
  EXPECT_EQ(Marked(), 0);
  for (int i = 0; i < 3; ++i) Click("cmdPosLoschen");
  EXPECT_THAT(Lines(), ElementsAre("   120    85    40     1"));  // the last line stays
}

TEST_F(FrmMainScriptTest, SaveAsThenSaveAndOpenFromAnotherFolder) {
  Make();
  SwitchOnAndHome();
  const QString base = dir.path();
  QDir(base).mkdir("other");
  Control<QAction>("mnuNeu")->trigger();
  EXPECT_EQ(form->windowTitle(), ApplicationTitle() + " [Neu]");
  Click("lblM4Zu");  // the gripper closed, the axes at home
  for (int axis = 1; axis <= 3; ++axis) form->Robot()->Axes.SetPos(axis, access::mcPosition, 0);
  Click("cmdPosAnfugen");
  ASSERT_TRUE(form->Modified());

  // "&Speichern" of a new script asks for a name; cancelling keeps Modified.
  Control<QAction>("mnuSpeichern")->trigger();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].filter, "Rob Script (*.RB3 *.rb3)");
  EXPECT_EQ(dialogs[0].suffix, "RB3");
  EXPECT_EQ(dialogs[0].folder, base + "/");
  EXPECT_TRUE(form->Modified());

  saveResult = base + "/other/T.RB3";
  Control<QAction>("mnuSpeichernU")->trigger();
  EXPECT_EQ(ReadFile(saveResult), "     0     0     0     0\r\n     0     0     0     1\r\n");
  EXPECT_EQ(form->ScriptName(), "T.RB3");
  EXPECT_EQ(form->windowTitle(), ApplicationTitle() + " [T.RB3]");
  EXPECT_FALSE(form->Modified());

  // Opened from another folder, "&Speichern" writes into the program's folder.
  Control<QAction>("mnuNeu")->trigger();
  openResult = saveResult;
  Control<QAction>("mnuOffnen")->trigger();
  EXPECT_THAT(Lines(), ElementsAre("     0     0     0     0", "     0     0     0     1"));
  EXPECT_EQ(Marked(), 0);
  EXPECT_EQ(form->windowTitle(), ApplicationTitle() + " [T.RB3]");
  form->cmdPosLoschenClick();
  Control<QAction>("mnuSpeichern")->trigger();
  EXPECT_EQ(ReadFile(base + "/T.RB3"), "     0     0     0     1\r\n");
  EXPECT_EQ(ReadFile(saveResult).size(), 52);
  EXPECT_FALSE(form->Modified());
  EXPECT_THAT(errors, IsEmpty());
}

TEST_F(FrmMainScriptTest, AFailedOpenOrSaveChangesNothing) {
  Make();
  Control<QAction>("mnuNeu")->trigger();
  openResult = dir.path() + "/missing.RB3";
  Control<QAction>("mnuOffnen")->trigger();
  EXPECT_THAT(errors, ElementsAre(Shown("Datei " + openResult + " kann nicht geöffnet werden")));
  EXPECT_THAT(Lines(), ElementsAre("     0     0     0     0"));
  EXPECT_EQ(form->windowTitle(), ApplicationTitle() + " [Neu]");
  EXPECT_TRUE(form->ScriptName().isEmpty());  // "&Speichern" still asks where to save

  const QString old = dir.path() + "/S.RB3";
  QFile f(old);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("old\r\n");
  f.close();
  openResult = old;
  Control<QAction>("mnuOffnen")->trigger();
  form->cmdPosAnfugenClick();
  ASSERT_TRUE(form->Modified());
  saveResult = dir.path() + "/folder.RB3";  // a folder the write cannot replace
  QDir(dir.path()).mkpath("folder.RB3/inside");
  Control<QAction>("mnuSpeichernU")->trigger();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[1], Shown("Datei " + saveResult + " kann nicht erstellt werden"));
  EXPECT_EQ(form->ScriptName(), "S.RB3");
  EXPECT_TRUE(form->Modified());
  EXPECT_EQ(ReadFile(old), "old\r\n");
}

TEST_F(FrmMainScriptTest, AModelChangeKeepsTheScriptAndChangesTheExtension) {
  Make();
  SetLines({"   120    85    40     1"});
  form->Settings().SetRobModel("Rob5");
  Control<QAction>("mnuSpeichernU")->trigger();  // cancelled
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].filter, "Rob Script (*.RB5 *.rb5)");
  EXPECT_EQ(dialogs[0].suffix, "RB5");
  EXPECT_THAT(Lines(), ElementsAre("   120    85    40     1"));
}

}  // namespace
}  // namespace kelvora::app
