// The main window's script commands, driven by clicks, with the virtual robot behind the
// interface in virtual time. Dialogs and message boxes go through the window's prompt
// seam; window messages during moves go through test hooks that can click "from the
// user" in the middle of a run.
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "access/brel_mot_list.h"
#include "app/frm_main.h"
#include "app/script.h"
#include "platform/gui_hooks.h"
#include "sim/virtual_robot.h"

namespace kelvora::app {
namespace {

using ::testing::ElementsAre;

class FakePrompts : public Prompts {
 public:
  void Error(QWidget*, const QString& title, const QString& text) override {
    errors.push_back(title + QStringLiteral(" | ") + text);
  }
  void Info(QWidget*, const QString&, const QString&) override {}
  bool Question(QWidget*, const QString&, const QString&) override { return false; }
  QString OpenFile(QWidget*, const QString& filter, const QString& suffix,
                   const QString& folder) override {
    dialogs.push_back({filter, suffix, folder});
    return openResult;
  }
  QString SaveFile(QWidget*, const QString& filter, const QString& suffix,
                   const QString& folder) override {
    dialogs.push_back({filter, suffix, folder});
    return saveResult;
  }

  struct Dialog {
    QString filter, suffix, folder;
  };
  std::vector<QString> errors;
  std::vector<Dialog> dialogs;
  QString openResult;
  QString saveResult;
};

// Window messages inside moves and waits: the real pump, then what the test does.
class PumpHooks : public platform::GuiHooks {
 public:
  void ProcessMessages() override {
    QCoreApplication::processEvents();
    if (onMessages) onMessages();
  }
  std::function<void()> onMessages;
};

class FrmMainScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    progDir = dir.path().toStdString() + "/";
    SetPrompts(&prompts);
    platform::SetGuiHooks(&hooks);
    form = std::make_unique<TfrmMain>(nullptr, progDir);
    form->show();
  }
  void TearDown() override {
    hooks.onMessages = nullptr;
    if (form && form->PrgModus != 4) form->close();
    form.reset();
    platform::SetGuiHooks(nullptr);
    SetPrompts(nullptr);
  }
  // "EIN", then "STARTEN": interface on the virtual box, robot at home, mode 3.
  void SwitchOnAndHome() {
    QTest::mouseClick(form->cmdAction, Qt::LeftButton);
    ASSERT_EQ(form->PrgModus, 2);
    QTest::mouseClick(form->cmdAction, Qt::LeftButton);
    ASSERT_EQ(form->PrgModus, 3);
  }
  void SetLines(const std::vector<QString>& lines) {
    form->lstScript->clear();
    for (const QString& l : lines) form->lstScript->addItem(l);
    form->lstScript->setCurrentRow(0);
  }
  void ClickLine(int row) {
    QListWidget* list = form->lstScript;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
  }
  int Marked() const {
    auto rows = form->lstScript->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
  }
  std::vector<QString> Lines() const {
    std::vector<QString> out;
    for (int i = 0; i < form->lstScript->count(); ++i)
      out.push_back(form->lstScript->item(i)->text());
    return out;
  }
  static QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
  }

  sim::RobotRig rig;  // outlives the window, whose robot is open on its box
  QTemporaryDir dir;
  std::string progDir;
  FakePrompts prompts;
  PumpHooks hooks;
  std::unique_ptr<TfrmMain> form;
};

TEST_F(FrmMainScriptTest, MarkingAnotherLineDuringARunContinuesAfterIt) {
  SwitchOnAndHome();
  SetLines({"    40    10    10     0", "    80    20    20     0", "    60    30    20     0",
            "    20    40    30     0"});
  std::vector<int> seen;
  hooks.onMessages = [&] {
    if (seen.empty() || seen.back() != Marked()) seen.push_back(Marked());
    if (Marked() == 0) ClickLine(2);  // the user marks line 3 while line 1 is driven
  };
  QTest::mouseClick(form->cmdScriptStarten, Qt::LeftButton);
  hooks.onMessages = nullptr;

  EXPECT_THAT(seen, ElementsAre(0, 2, 3));  // line 2 and line 3 were never driven
  EXPECT_EQ(Marked(), 3);
  EXPECT_EQ(form->PrgModus, 3);
  EXPECT_NEAR(rig.Position(1), 20, 2);
  EXPECT_NEAR(rig.Position(2), 40, 2);
  EXPECT_TRUE(prompts.errors.empty());
}

TEST_F(FrmMainScriptTest, ARepeatedRunGoesOnUntilHaltWhichUnticksRepeat) {
  SwitchOnAndHome();
  SetLines({"    30    10    10     1", "     5     5     5     0"});
  form->chkWiederholen->setChecked(true);
  int passes = 0;
  int last = -1;
  bool halted = false;
  hooks.onMessages = [&] {
    if (halted) return;
    ASSERT_EQ(form->PrgModus, 4);
    if (Marked() == 0 && last != 0) ++passes;
    last = Marked();
    if (passes == 3 && Marked() == 1) {
      halted = true;
      QTest::mouseClick(form->cmdAction, Qt::LeftButton);  // HALT
    }
  };
  QTest::mouseClick(form->cmdScriptStarten, Qt::LeftButton);
  hooks.onMessages = nullptr;

  EXPECT_EQ(passes, 3);
  EXPECT_FALSE(form->chkWiederholen->isChecked());
  EXPECT_EQ(form->PrgModus, 3);
  EXPECT_EQ(Marked(), 1);
  EXPECT_FALSE(form->Modified);  // runs do not change the script
}

TEST_F(FrmMainScriptTest, DrivingToAnEmptyLineReportsItAndStaysInRunMode) {
  SwitchOnAndHome();
  SetLines({"    10    10    10     0", ""});
  QTest::mouseClick(form->cmdVor, Qt::LeftButton);  // "&>" to the empty line 2
  ASSERT_EQ(prompts.errors.size(), 1u);
  EXPECT_EQ(prompts.errors[0], ApplicationTitle() + " | '' ist kein gültiger Integerwert.");
  EXPECT_EQ(form->PrgModus, 4);
  QTest::mouseClick(form->cmdAction, Qt::LeftButton);  // HALT ends it
  EXPECT_EQ(form->PrgModus, 3);
}

TEST_F(FrmMainScriptTest, StoringPositionsAndTheGripperState) {
  SwitchOnAndHome();
  form->Robot->Axes.SetPos(1, access::mcPosition, 120);
  form->Robot->Axes.SetPos(2, access::mcPosition, 85);
  form->Robot->Axes.SetPos(3, access::mcPosition, 40);
  form->LineValues[3] = 1;  // as after a click on "+"
  QTest::mouseClick(form->cmdPosAnfugen, Qt::LeftButton);
  EXPECT_THAT(Lines(), ElementsAre("     0     0     0     0", "   120    85    40     1"));
  EXPECT_EQ(Marked(), 1);
  EXPECT_TRUE(form->Modified);

  form->LineValues[3] = 0;
  ClickLine(0);
  QTest::mouseClick(form->cmdPosEinfugen, Qt::LeftButton);
  EXPECT_EQ(Lines().size(), 3u);
  EXPECT_EQ(Lines()[0], "   120    85    40     0");
  EXPECT_EQ(Marked(), 0);

  QTest::mouseClick(form->cmdPosLoschen, Qt::LeftButton);
  QTest::mouseClick(form->cmdPosLoschen, Qt::LeftButton);
  QTest::mouseClick(form->cmdPosLoschen, Qt::LeftButton);  // one line left: nothing
  EXPECT_THAT(Lines(), ElementsAre("   120    85    40     1"));
}

TEST_F(FrmMainScriptTest, SaveAsThenSaveAndOpenFromAnotherFolder) {
  const QString base = dir.path();
  QDir(base).mkdir("other");
  form->mnuNeu->trigger();
  EXPECT_EQ(form->windowTitle(), ApplicationTitle() + " [Neu]");
  for (int axis = 1; axis <= 3; ++axis) form->Robot->Axes.SetPos(axis, access::mcPosition, 0);
  form->LineValues[3] = 1;
  form->cmdPosAnfugenClick();  // the button itself is usable in mode 3 only
  ASSERT_TRUE(form->Modified);

  // "&Speichern" of a new script asks for a name; cancelling keeps Modified.
  form->mnuSpeichern->trigger();
  ASSERT_EQ(prompts.dialogs.size(), 1u);
  EXPECT_EQ(prompts.dialogs[0].filter, "Rob Script (*.RB3 *.rb3)");
  EXPECT_EQ(prompts.dialogs[0].suffix, "RB3");
  EXPECT_EQ(prompts.dialogs[0].folder.toStdString(), progDir);
  EXPECT_TRUE(form->Modified);

  prompts.saveResult = base + "/other/T.RB3";
  form->mnuSpeichernU->trigger();
  EXPECT_EQ(ReadFile(base + "/other/T.RB3"),
            QByteArray("     0     0     0     0\r\n     0     0     0     1\r\n"));
  EXPECT_EQ(form->ScriptName, "T.RB3");
  EXPECT_EQ(form->windowTitle(), ApplicationTitle() + " [T.RB3]");
  EXPECT_FALSE(form->Modified);

  // Opened from another folder, "&Speichern" writes into the program's folder.
  form->mnuNeu->trigger();
  prompts.openResult = base + "/other/T.RB3";
  form->mnuOffnen->trigger();
  EXPECT_THAT(Lines(), ElementsAre("     0     0     0     0", "     0     0     0     1"));
  EXPECT_EQ(Marked(), 0);
  EXPECT_EQ(form->windowTitle(), ApplicationTitle() + " [T.RB3]");
  form->cmdPosLoschenClick();
  form->mnuSpeichern->trigger();
  EXPECT_EQ(ReadFile(base + "/T.RB3"), QByteArray("     0     0     0     1\r\n"));
  EXPECT_EQ(ReadFile(base + "/other/T.RB3").size(), 52);
  EXPECT_FALSE(form->Modified);
  EXPECT_TRUE(prompts.errors.empty());
}

TEST_F(FrmMainScriptTest, AFileThatCannotBeOpenedChangesNothing) {
  form->mnuNeu->trigger();
  prompts.openResult = dir.path() + "/missing.RB3";
  form->mnuOffnen->trigger();
  ASSERT_EQ(prompts.errors.size(), 1u);
  EXPECT_EQ(prompts.errors[0], ApplicationTitle() + " | Datei " + dir.path() +
                                   "/missing.RB3 kann nicht geöffnet werden.");
  EXPECT_THAT(Lines(), ElementsAre("     0     0     0     0"));
  EXPECT_EQ(form->windowTitle(), ApplicationTitle() + " [Neu]");
  // The failed name is not taken: "&Speichern" still asks where to save.
  EXPECT_TRUE(form->ScriptName.isEmpty());
}

TEST_F(FrmMainScriptTest, AFailedSaveKeepsTheOldFileNameAndModified) {
  const QString old = dir.path() + "/S.RB3";
  {
    QFile f(old);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old\r\n");
  }
  prompts.openResult = old;
  form->mnuOffnen->trigger();
  form->cmdPosAnfugenClick();
  ASSERT_TRUE(form->Modified);
  // The target is a folder now: the write cannot replace it.
  prompts.saveResult = dir.path() + "/folder.RB3";
  QDir(dir.path()).mkpath("folder.RB3/inside");
  form->mnuSpeichernU->trigger();
  ASSERT_EQ(prompts.errors.size(), 1u);
  EXPECT_EQ(prompts.errors[0], ApplicationTitle() + " | Datei " + dir.path() +
                                   "/folder.RB3 kann nicht erstellt werden.");
  EXPECT_EQ(form->ScriptName, "S.RB3");
  EXPECT_TRUE(form->Modified);
  EXPECT_EQ(ReadFile(old), QByteArray("old\r\n"));
}

TEST_F(FrmMainScriptTest, AModelChangeKeepsTheScriptAndChangesTheExtension) {
  SetLines({"   120    85    40     1"});
  form->Settings.SetRobModel("Rob5");
  form->mnuSpeichernU->trigger();  // cancelled
  ASSERT_EQ(prompts.dialogs.size(), 1u);
  EXPECT_EQ(prompts.dialogs[0].filter, "Rob Script (*.RB5 *.rb5)");
  EXPECT_EQ(prompts.dialogs[0].suffix, "RB5");
  EXPECT_THAT(Lines(), ElementsAre("   120    85    40     1"));
}

}  // namespace
}  // namespace kelvora::app
