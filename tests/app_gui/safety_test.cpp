// SPDX-License-Identifier: MIT
// The main window keeps the robot safe where Qt's own loops, the panel or a failing
// line get in the way, and never loses a script: on the virtual robot in virtual time,
// with the real menus, message boxes and file dialogs where the behaviour depends on
// their loops.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "access/brel_consts.h"
#include "access/frm_panel.h"
#include "app/frm_main.h"
#include "settings/frm_about.h"
#include "tests/support/main_window_rig.h"

namespace kelvora::app {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SafetyTest : public MainWindowRig {
 protected:
  std::vector<std::string> ErrorTexts() const {
    std::vector<std::string> out;
    for (const QString& e : errors) out.push_back(e.toStdString());
    return out;
  }
  int32_t Pos(int axis) const { return form->Robot()->Axes.GetPos(axis, access::mcPosition); }
  // Acts on the next modal window that shows, from inside its own loop.
  void WhenModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(form.get());
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || !modal->isVisible()) return;
      timer->stop();
      timer->deleteLater();
      act(modal);
    });
    timer->start();
  }
  // One line that drives the three axes well up, marked.
  void SetLinesForMove() {
    Control<QListWidget>("lstScript")->clear();
    Control<QListWidget>("lstScript")->addItem(QStringLiteral("   150   150   140     0"));
    Control<QListWidget>("lstScript")->setCurrentRow(0);
  }
  // Index of the first motor word from `from` on that has none of `bits`.
  size_t FirstOff(size_t from, uint16_t bits) const {
    const std::vector<uint16_t> w = rig->box.MotorWords();
    while (from < w.size() && (w[from] & bits) != 0) ++from;
    return from;
  }
};

TEST_F(SafetyTest, AMenuLoopOpenedDuringAMoveFreezesItButNotItsMotors) {
  Make();
  SwitchOnAndHome();
  SetPrompts(this);
  SetLinesForMove();
  bool quietDuringMove = false;
  size_t wordsAtMenu = 0;
  int shown = 0;
  onMessages = [&] {
    if (++shown != 20) return;
    onMessages = nullptr;
    // The data field offers no drag and no context menu of its own meanwhile...
    quietDuringMove =
        Control<QPlainTextEdit>("memDaten")->textInteractionFlags() == Qt::NoTextInteraction &&
        Control<QPlainTextEdit>("memDaten")->contextMenuPolicy() == Qt::NoContextMenu;
    // ...but any other loop Qt runs (a menu, a drag) keeps the move's loop from running.
    QMenu menu;
    menu.addAction(QStringLiteral("Kopieren"));
    QTimer time;  // the robot's time goes on while the menu is up
    int ms = 0;
    QObject::connect(&time, &QTimer::timeout, [&] {
      rig->Advance(10);
      if ((ms += 10) >= 500) menu.close();
    });
    time.start(0);
    wordsAtMenu = rig->box.MotorWords().size();
    menu.exec(form->mapToGlobal(QPoint(10, 10)));
  };
  Click("cmdAufPosition");
  EXPECT_TRUE(quietDuringMove);
  // Off on the wire within the watchdog's 100 ms and one poll period.
  EXPECT_LE(FirstOff(wordsAtMenu, 0x003F) - wordsAtMenu, 11u);
  for (int axis = 1; axis <= 3; ++axis) {
    EXPECT_EQ(Pos(axis), 9999) << axis;
    EXPECT_LT(rig->Position(axis), 150) << axis;
  }
  EXPECT_EQ(form->PrgModus(), 3);
  EXPECT_THAT(ErrorTexts(), ElementsAre(HasSubstr("länger als 100 ms")));
  EXPECT_EQ(Control<QPlainTextEdit>("memDaten")->contextMenuPolicy(), Qt::DefaultContextMenu);
  EXPECT_NE(Control<QPlainTextEdit>("memDaten")->textInteractionFlags(), Qt::NoTextInteraction);
}

TEST_F(SafetyTest, ARunEndsOnAnInterfaceErrorAndTheUserHearsOfTheMotorsOnce) {
  Make();
  SwitchOnAndHome();
  SetLinesForMove();
  Control<QCheckBox>("chkWiederholen")->setChecked(true);
  int pumps = 0;
  onMessages = [&] {
    if (++pumps == 30) rig->box.SetFault(sim::BoxFault::kSilent);
  };
  Click("cmdScriptStarten");
  onMessages = nullptr;
  EXPECT_EQ(form->PrgModus(), 3);
  EXPECT_FALSE(Control<QCheckBox>("chkWiederholen")->isChecked());
  EXPECT_LT(pumps, 60);  // it did not step on through the failing lines
  EXPECT_THAT(ErrorTexts(), ElementsAre(HasSubstr("antwortet nicht mehr")));
  for (int axis = 1; axis <= 4; ++axis) EXPECT_EQ(Pos(axis), 9999) << axis;
  form->tmrITimer();  // the display goes on; the failure is not told twice
  EXPECT_EQ(errors.size(), 1u);
  rig->box.SetFault(sim::BoxFault::kNone);
}

TEST_F(SafetyTest, AMotorLatchedInThePanelThatStallsIsSwitchedOffAndNamed) {
  Make();
  SwitchOnAndHome();
  bool inPanel = false;
  WhenModal([&](QWidget* w) {
    auto* panel = qobject_cast<access::TfrmPanel*>(w);
    ASSERT_NE(panel, nullptr);
    inPanel = true;
    QTest::mousePress(panel->DrehLabel(2), Qt::LeftButton, Qt::ControlModifier);  // M1 right
    QTest::mouseRelease(panel->DrehLabel(2), Qt::LeftButton);
    EXPECT_EQ(Pos(1), 9999);  // the panel moved the column: no longer known
    rig->Advance(9000);       // into its stop at 300 after 7.5 s, and a second there
    form->tmrITimer();        // the main window's display runs under the panel
    EXPECT_EQ(rig->box.MotorWord() & 0x0003, 0);
    EXPECT_EQ(rig->Position(1), 300.0);
    panel->findChild<QPushButton*>(QStringLiteral("cmdEnde"))->click();
  });
  Click("cmdInterface");
  EXPECT_TRUE(inPanel);
  EXPECT_THAT(ErrorTexts(), ElementsAre(HasSubstr("Achse Säule bewegt sich nicht")));
  // The next move runs the column down to its switch first, and stops there.
  SetLinesForMove();
  Click("cmdAufPosition");
  EXPECT_EQ(rig->Position(1), 0.0);
  EXPECT_EQ(Pos(1), 0);
}

TEST_F(SafetyTest, ACloseUnderAModalWindowSwitchesEveryOutputOffBeforeAnythingReturns) {
  Make({.ini = "[Rob3]\r\nRobType=Z\r\n"});
  SwitchOnAndHome();
  Click("lblM4Zu");  // the extra motor on, for good
  ASSERT_EQ(form->Robot()->MotorWord(), 0x0040u);
  form->CreateDialogs();
  uint32_t wordAfterClose = 0xFFFF;
  WhenModal([&](QWidget* about) {
    form->close();  // the window system ends the session
    wordAfterClose = form->Robot()->MotorWord();
    rig->Advance(20);
    EXPECT_EQ(rig->box.MotorWord(), 0);  // on the wire while the box's loop still runs
    if (about->isVisible()) static_cast<QDialog*>(about)->reject();
  });
  Control<QAction>("mnuAbout")->trigger();
  EXPECT_EQ(wordAfterClose, 0u);
  EXPECT_FALSE(form->isVisible());
}

// "Neu", "&Öffnen" and the close ask about a modified script; "&Ja" and a cancelled file
// dialog keep it, with the real question box and the real file dialog.
TEST_F(SafetyTest, AModifiedScriptIsNeverDroppedUnasked) {
  Make();
  SwitchOnAndHome();
  SetPrompts(nullptr);
  auto script = [&] {
    QStringList lines;
    for (int i = 0; i < Control<QListWidget>("lstScript")->count(); ++i)
      lines << Control<QListWidget>("lstScript")->item(i)->text();
    return lines;
  };
  Click("cmdPosAnfugen");
  ASSERT_TRUE(form->Modified());
  const QStringList before = script();

  struct Step {
    std::function<void()> command;
    const char* answer;  // the question box's button
    bool dialogShown;    // a file dialog follows, and is cancelled
  } steps[] = {
      {[&] { Control<QAction>("mnuNeu")->trigger(); }, "&Ja", true},
      {[&] { Control<QAction>("mnuOffnen")->trigger(); }, "&Ja", true},
      {[&] { Control<QAction>("mnuOffnen")->trigger(); }, "&Nein", true},  // the open dialog itself
      {[&] { Click("cmdEnde"); }, "&Ja", true},
  };
  for (const Step& s : steps) {
    bool asked = false, dialog = false;
    WhenModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      asked = box->text() == QStringLiteral("Script-Datei Speichern?");
      for (QAbstractButton* b : box->buttons()) {
        if (b->text() == QLatin1String(s.answer)) {
          WhenModal([&](QWidget* d) {
            dialog = qobject_cast<QFileDialog*>(d) != nullptr;
            static_cast<QDialog*>(d)->reject();
          });
          b->click();
        }
      }
    });
    s.command();
    EXPECT_TRUE(asked) << s.answer;
    EXPECT_EQ(dialog, s.dialogShown) << s.answer;
    EXPECT_EQ(script(), before);
    EXPECT_TRUE(form->Modified());
    EXPECT_TRUE(form->isVisible());
  }
  // "&Nein" to "Neu" drops it, as asked.
  WhenModal([&](QWidget* w) {
    for (QAbstractButton* b : static_cast<QMessageBox*>(w)->buttons())
      if (b->text() == QLatin1String("&Nein")) b->click();
  });
  Control<QAction>("mnuNeu")->trigger();
  EXPECT_EQ(Control<QListWidget>("lstScript")->count(), 1);
  EXPECT_FALSE(form->Modified());
}

}  // namespace
}  // namespace kelvora::app
