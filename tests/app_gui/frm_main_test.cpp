// SPDX-License-Identifier: MIT
// The main window against the virtual robot, in virtual time: the operating modes,
// switching on, the home run and HALT, jogging, gripper and extra outputs, the display,
// closing and the error handler. Clicks come from QTest; what the user does in the
// middle of a move comes from the message pump, which the move runs once per cycle.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRect>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <functional>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "access/brel_consts.h"
#include "app/frm_main.h"
#include "platform/help_qt.h"
#include "sim/virtual_robot.h"
#include "tests/support/main_window_rig.h"

namespace kelvora::app {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const QColor kLime(0, 255, 0);
const QColor kWhite(255, 255, 255);

class FrmMainTest : public MainWindowRig {
 protected:
  FrmMainTest() { defaultStart = {120, 80, 60, 10}; }

  // Holds the arrow shape down; after n pump cycles, f runs and the button is released.
  void Jog(TShape* shape, int n, std::function<void()> f = {}) {
    After(n, [shape, f] {
      if (f) f();
      QTest::mouseRelease(shape, Qt::LeftButton);
    });
    QTest::mousePress(shape, Qt::LeftButton);
  }
  // The motor word on the wire once the driver's next poll has sent the record's word.
  uint16_t WireMotorWord() {
    rig->Advance(20);
    return rig->box.MotorWord();
  }
  int32_t Pos(int axis) const { return form->Robot()->Axes.GetPos(axis, access::mcPosition); }
  bool SettingsWritten() const { return QFile::exists(dir.filePath("Kelvora.INI")); }
  static QColor Background(QWidget* w) { return w->palette().color(QPalette::Window); }

  // The whole row of the mode table for the window as it stands.
  void ExpectMode(int mode) {
    SCOPED_TRACE(testing::Message() << "mode " << mode);
    static const char* status[] = {"", "EINschalten", "Home anfahren", "TeachIn", "RUN"};
    static const char* action[] = {"", "EIN", "STARTEN", "HOME", "HALT"};
    EXPECT_EQ(form->PrgModus(), mode);
    EXPECT_EQ(Control<QLabel>("lblPrgModus")->text(), QString::fromUtf8(status[mode]));
    EXPECT_EQ(Control<QPushButton>("cmdAction")->text(), QString::fromUtf8(action[mode]));
    EXPECT_TRUE(Control<QPushButton>("cmdAction")->isEnabled());
    EXPECT_EQ(Control<QPushButton>("cmdEnde")->text(), mode == 1 ? "Abbrechen" : "ENDE");
    EXPECT_EQ(Control<QPushButton>("cmdEnde")->isEnabled(), mode != 4);
    EXPECT_EQ(Control<QPushButton>("cmdInterface")->isEnabled(), mode == 2 || mode == 3);
    EXPECT_EQ(Control<QFrame>("pnlFahren")->isEnabled(), mode == 3);
    EXPECT_EQ(Control<QFrame>("pnlPosition")->isEnabled(), mode == 3);
    EXPECT_EQ(Control<QFrame>("pnlRun")->isEnabled(), mode == 2 || mode == 3);
    const QColor panel =
        mode == 3 ? QColor(224, 224, 224) : QApplication::palette().color(QPalette::Button);
    for (QWidget* p :
         {Control<QFrame>("pnlFahren"), Control<QFrame>("pnlPosition"), Control<QFrame>("pnlRun")})
      EXPECT_EQ(Background(p), panel) << p->objectName().toStdString();
    EXPECT_EQ(Control<QMenu>("mnuDatei")->menuAction()->isEnabled(), mode != 4);
    EXPECT_EQ(Control<QMenu>("mnuOptionen")->menuAction()->isVisible(), mode == 1);
    EXPECT_EQ(Control<QMenu>("mnuHilfe")->menuAction()->isEnabled(), mode != 4);
    // The script list and the model data stay usable in every mode.
    EXPECT_TRUE(Control<QListWidget>("lstScript")->isEnabled());
    EXPECT_TRUE(Control<QPlainTextEdit>("memDaten")->isEnabled());
  }
};

TEST_F(FrmMainTest, ModeTableThroughAWholeSession) {
  Make();
  ExpectMode(1);
  EXPECT_EQ(Control<QLabel>("lblTitel")->text(), "Rob3 : Säulenroboter");
  EXPECT_FALSE(Control<TShape>("shpWagen")->isVisibleTo(form.get()));
  EXPECT_FALSE(Control<QTimer>("tmrI")->isActive());
  SwitchOn();
  ExpectMode(2);
  EXPECT_TRUE(Control<QTimer>("tmrI")->isActive());
  EXPECT_EQ(Control<QTimer>("tmrI")->interval(), 300);

  bool seenRun = false;
  After(3, [&] {
    ExpectMode(4);
    seenRun = true;
  });
  Click("cmdAction");  // STARTEN
  EXPECT_TRUE(seenRun);
  ExpectMode(3);
  for (int axis = 1; axis <= 4; ++axis) EXPECT_EQ(Pos(axis), 0) << axis;
  for (int axis = 5; axis <= 8; ++axis) EXPECT_EQ(Pos(axis), 9999) << axis;  // not the model's
  EXPECT_NEAR(rig->Position(1), 0, 1.0);  // the home run really reached the switches
  EXPECT_NEAR(rig->Position(4), 0, 1.0);

  Click("cmdAction");  // HOME
  ExpectMode(3);
  Click("cmdEnde");
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->Robot(), nullptr);
  EXPECT_EQ(WireMotorWord(), 0);
  EXPECT_TRUE(SettingsWritten());
  EXPECT_THAT(errors, IsEmpty());
}

TEST_F(FrmMainTest, FailedSwitchOnReportsThePortAndWhyAndStaysInModeOne) {
  // The device the message names, whatever this machine's ports file says.
  qputenv("ZQBREL_COM7", "/dev/kelvora-no-box");
  struct Unset {
    ~Unset() { qunsetenv("ZQBREL_COM7"); }
  } unset;
  Make({.ini = "[Port]\r\nPortName=COM7\r\n"});
  Click("cmdAction");
  ExpectMode(1);
  EXPECT_EQ(QApplication::focusWidget(), Control<QPushButton>("cmdAction"));
  EXPECT_FALSE(Control<QTimer>("tmrI")->isActive());
  EXPECT_EQ(Control<TShape>("shpInterface")->BrushColor(), QColor(192, 192, 192));
  // A name the interface object refuses never reaches the driver; the same message.
  form->Settings().PortName = "COM10";
  Click("cmdAction");
  // The second line: the device the port reaches and why it failed.
  EXPECT_THAT(errors, ElementsAre("Fehler | Inpterfaceproblem mit : COM7\nGerät "
                                  "/dev/kelvora-no-box: nicht vorhanden. Ist der Adapter "
                                  "eingesteckt? kelvora-ports zeigt die Ports dieses Rechners.",
                                  "Fehler | Inpterfaceproblem mit : COM10\nCOM10 ist kein "
                                  "gültiger Portname (COM1 bis COM9, LPT, LPT1 bis LPT3)."));
  form->Settings().PortName = "COM1";  // after choosing the right port, EIN works
  SwitchOn();
}

TEST_F(FrmMainTest, HaltDuringTheHomeRunLeavesTeachInWithThePositionsUnknown) {
  Make({.start = {200, 150, 120, 5}});
  SwitchOn();
  Control<QCheckBox>("chkWiederholen")->setChecked(true);
  After(40, [&] { Click("cmdAction"); });  // HALT
  Click("cmdAction");                      // STARTEN
  ExpectMode(3);
  EXPECT_FALSE(Control<QCheckBox>("chkWiederholen")->isChecked());
  // The gripper reached its switch; the others stopped half-way and are unknown, as
  // before the first home run, and the display says so.
  for (int axis = 1; axis <= 3; ++axis) EXPECT_EQ(Pos(axis), 9999) << axis;
  EXPECT_EQ(Pos(4), 0);
  EXPECT_EQ(rig->Position(4), 0.0);
  EXPECT_EQ(WireMotorWord(), 0);
  EXPECT_GT(rig->Position(1), 150);
  EXPECT_LT(rig->Position(1), 199);
  form->tmrITimer();
  EXPECT_EQ(Control<QLabel>("lblM1Pos")->text(), "9999");
  // The next jog, even toward the maximum, first runs the column down to its switch
  // and ends there.
  QTest::mousePress(Control<TShape>("shpM1R"), Qt::LeftButton);
  QTest::mouseRelease(Control<TShape>("shpM1R"), Qt::LeftButton);
  EXPECT_EQ(rig->Position(1), 0.0);
  EXPECT_EQ(Pos(1), 0);
  EXPECT_THAT(errors, IsEmpty());
}

TEST_F(FrmMainTest, JogReleasedOutsideItsShapeEnds) {
  Make();
  SwitchOnAndHome();
  // Toward zero on its switch: no move.
  QTest::mousePress(Control<TShape>("shpM2L"), Qt::LeftButton);
  QTest::mouseRelease(Control<TShape>("shpM2L"), Qt::LeftButton);
  EXPECT_NEAR(rig->Position(2), 0, 0.5);

  bool motorOn = false;
  After(60, [&] {
    motorOn = (WireMotorWord() & 0x0002) != 0;  // motor 1 right
    // The pointer has left the arrow: the shape still gets the release.
    QTest::mouseRelease(Control<TShape>("shpM1R"), Qt::LeftButton, {}, QPoint(-80, -60));
  });
  QTest::mousePress(Control<TShape>("shpM1R"), Qt::LeftButton);
  EXPECT_TRUE(motorOn);
  EXPECT_FALSE(form->Jogging());
  EXPECT_TRUE(form->Robot()->StopFlag);
  EXPECT_EQ(WireMotorWord() & 0x0003, 0);
  ExpectMode(3);
  const double truePos = rig->Position(1);
  EXPECT_GT(truePos, 10);
  EXPECT_LT(truePos, 240);
  EXPECT_NEAR(Pos(1), truePos, 2.0);  // the window's belief: the last control cycle
  EXPECT_EQ(Pos(2), 0);
}

TEST_F(FrmMainTest, JogEndsWhenTheWindowLosesActivationOrTheShapeTheMouse) {
  Make();
  SwitchOnAndHome();
  After(30, [&] {
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(form.get(), &deactivate);
  });
  QTest::mousePress(Control<TShape>("shpM3R"), Qt::LeftButton);  // arm down, toward its maximum
  EXPECT_FALSE(form->Jogging());
  EXPECT_EQ(WireMotorWord() & 0x0030, 0);
  EXPECT_GT(rig->Position(3), 5);
  EXPECT_LT(rig->Position(3), 150);
  QTest::mouseRelease(Control<TShape>("shpM3R"), Qt::LeftButton);

  // A popup takes the mouse from under the held button (a menu opened by its key).
  QMenu menu;
  menu.addAction("x");
  After(30, [&] { menu.popup(form->mapToGlobal(QPoint(10, 10))); });
  QTest::mousePress(Control<TShape>("shpM1R"), Qt::LeftButton);
  EXPECT_FALSE(form->Jogging());
  EXPECT_EQ(WireMotorWord(), 0);
  EXPECT_GT(rig->Position(1), 5);
  menu.close();
}

TEST_F(FrmMainTest, AMovingCommandFromTheKeyboardEndsAJogInsteadOfStarting) {
  // Space on the focused "HOME" during a jog: no home run inside the jog, and no jog
  // left running with nobody holding it.
  Make();
  SwitchOnAndHome();
  After(30, [&] { Control<QPushButton>("cmdAction")->click(); });
  QTest::mousePress(Control<TShape>("sphM2R"), Qt::LeftButton);
  EXPECT_FALSE(form->Jogging());
  EXPECT_EQ(WireMotorWord(), 0);
  // It moved, and stopped at the key instead of running on to its maximum unheld.
  EXPECT_GT(rig->Position(2), 5);
  EXPECT_LT(rig->Position(2), 40);
  EXPECT_NEAR(Pos(2), rig->Position(2), 2.0);
  ExpectMode(3);
  QTest::mouseRelease(Control<TShape>("sphM2R"), Qt::LeftButton);
}

TEST_F(FrmMainTest, CloseIsRefusedWhileAMoveOrAJogRuns) {
  Make({.start = {200, 150, 120, 20}});
  SwitchOn();
  std::vector<bool> closed;
  After(20, [&] {
    closed.push_back(form->close());
    ExpectMode(4);
    Click("cmdAction");  // HALT
  });
  Click("cmdAction");  // STARTEN
  Jog(Control<TShape>("shpM1R"), 20, [&] { closed.push_back(form->close()); });
  EXPECT_THAT(closed, ElementsAre(false, false));
  EXPECT_TRUE(form->isVisible());
  ASSERT_NE(form->Robot(), nullptr);
  EXPECT_TRUE(form->Robot()->Opened);
  EXPECT_FALSE(SettingsWritten());
  EXPECT_TRUE(form->close());  // now it may
  EXPECT_EQ(WireMotorWord(), 0);
}

TEST_F(FrmMainTest, ExtraMotorOnZSwitchesMotorFourForGood) {
  Make({.ini = "[Rob3]\r\nRobType=Z\r\n"});
  SwitchOnAndHome();
  bool runDuringClick = false;
  After(5, [&] { runDuringClick = form->PrgModus() == 4; });
  const uint64_t t0 = rig->clock.NowMs();
  Click("lblM4Zu");
  EXPECT_TRUE(runDuringClick);
  EXPECT_NEAR(static_cast<double>(rig->clock.NowMs() - t0), 500, 30);
  ExpectMode(3);
  EXPECT_EQ(form->LineValues()[3], 1);
  EXPECT_EQ(WireMotorWord(), 0x0040);  // motor 4 left, still on
  rig->Advance(1000);
  EXPECT_EQ(WireMotorWord(), 0x0040);
  Click("lblM4Auf");
  EXPECT_EQ(form->LineValues()[3], 0);
  EXPECT_EQ(WireMotorWord(), 0);
}

TEST_F(FrmMainTest, GripperOnGClosesToItsMaximumAndOpensToItsSwitch) {
  Make();
  SwitchOnAndHome();
  Click("lblM4Zu");
  EXPECT_EQ(form->LineValues()[3], 1);
  EXPECT_NEAR(rig->Position(4), 28, 1.5);
  Click("lblM4Auf");
  EXPECT_EQ(form->LineValues()[3], 0);
  EXPECT_NEAR(rig->Position(4), 0, 1.0);
  ExpectMode(3);
}

class FrmMainRob5Test : public FrmMainTest {
 protected:
  void SetUp() override {
    Make({.layout = sim::Layout::kRob5,
          .start = {50, 40, 30, 60, 10},
          .ini = "[Common]\r\nRobModel=Rob5\r\n"});
    SwitchOnAndHome();
    EXPECT_TRUE(form->Robot()->IsExtended());
  }
};

TEST_F(FrmMainRob5Test, M8WaitEndsOnInput11OrOnHalt) {
  bool waiting = false;
  After(50, [&] {
    waiting = form->PrgModus() == 4 && Control<QLabel>("lblPrgModus")->text() == "RUN";
    rig->SetInput(11, true);
  });
  Click("lblM8Zu");
  EXPECT_TRUE(waiting);
  EXPECT_GE(pumps, 50);
  ExpectMode(3);
  EXPECT_EQ(form->LineValues()[7], 1);

  rig->SetInput(11, false);
  After(50, [&] { Click("cmdAction"); });  // HALT
  Click("lblM8Zu");                        // input 11 stays off
  ExpectMode(3);
  EXPECT_EQ(form->Robot()->LastStatus, 2);
}

TEST_F(FrmMainRob5Test, OutputsM6AndM7SwitchWithoutPause) {
  const uint64_t t0 = rig->clock.NowMs();
  Click("lblM6Zu");
  Click("lblM7Zu");
  EXPECT_LT(rig->clock.NowMs() - t0, 50u);
  EXPECT_EQ(WireMotorWord(), 0x0400 | 0x1000);
  EXPECT_EQ(form->LineValues()[5], 1);
  EXPECT_EQ(form->LineValues()[6], 1);
  Click("lblM6Auf");
  EXPECT_EQ(WireMotorWord(), 0x1000);
}

TEST_F(FrmMainRob5Test, DisplayShowsTheCarriageAndInput11) {
  for (QWidget* w : std::initializer_list<QWidget*>{
           Control<TShape>("shpWagen"), Control<TShape>("shpM5R"), Control<QLabel>("lblM5Pos"),
           Control<TShape>("shpM8"), Control<TTagLabel>("lblM8Zu")})
    EXPECT_TRUE(w->isVisibleTo(form.get())) << w->objectName().toStdString();
  form->tmrITimer();
  EXPECT_EQ(Control<TShape>("shpM8")->BrushColor(), kWhite);
  rig->SetInput(11, true);
  rig->Advance(30);
  form->tmrITimer();
  EXPECT_EQ(Control<TShape>("shpM8")->BrushColor(), kLime);  // the input, not motor 8

  QColor carriageWhileJogging;
  Jog(Control<TShape>("shpM5L"), 40, [&] {  // carriage toward its maximum
    form->tmrITimer();
    carriageWhileJogging = Control<TShape>("shpWagen")->BrushColor();
  });
  EXPECT_EQ(carriageWhileJogging, kLime);
  form->tmrITimer();
  EXPECT_EQ(Control<TShape>("shpWagen")->BrushColor(), kWhite);
  EXPECT_GT(Pos(4), 0);
  EXPECT_EQ(Control<QLabel>("lblM5Pos")->text(), QString::number(Pos(4)));
}

TEST_F(FrmMainTest, DisplayColoursFollowMotorsAndTheInterface) {
  Make();
  SwitchOnAndHome();
  form->tmrITimer();
  EXPECT_EQ(Control<TShape>("shpInterface")->BrushColor(), kLime);
  EXPECT_EQ(Control<TShape>("shpSaule")->BrushColor(), kWhite);
  EXPECT_EQ(Control<QLabel>("lblM1Pos")->text(), "0");

  QColor column, armV;
  Jog(Control<TShape>("shpM1R"), 40, [&] {
    form->tmrITimer();
    column = Control<TShape>("shpSaule")->BrushColor();
    armV = Control<TShape>("shpArmV")->BrushColor();
  });
  EXPECT_EQ(column, kLime);
  EXPECT_EQ(armV, kWhite);
  form->tmrITimer();
  EXPECT_EQ(Control<TShape>("shpSaule")->BrushColor(), kWhite);
  EXPECT_EQ(Control<QLabel>("lblM1Pos")->text(), QString::number(Pos(1)));

  // The box falls silent: red, and the rest stays as it was.
  const QString shown = Control<QLabel>("lblM1Pos")->text();
  rig->box.SetFault(sim::BoxFault::kSilent);
  rig->Advance(50);
  form->tmrITimer();
  EXPECT_EQ(Control<TShape>("shpInterface")->BrushColor(), QColor(255, 0, 0));
  EXPECT_EQ(Control<QLabel>("lblM1Pos")->text(), shown);

  // The adapter is pulled and plugged back in: red while it is gone, green again once
  // the driver has found it, with no switching off and on.
  rig->box.SetFault(sim::BoxFault::kVanished);
  rig->Advance(500);
  form->tmrITimer();
  EXPECT_EQ(Control<TShape>("shpInterface")->BrushColor(), QColor(255, 0, 0));
  rig->box.SetFault(sim::BoxFault::kNone);
  rig->Advance(1100);
  form->tmrITimer();
  EXPECT_EQ(Control<TShape>("shpInterface")->BrushColor(), kLime);
}

TEST_F(FrmMainTest, ShutdownAsksAboutAModifiedScriptAndStaysOpenWhenItCannotBeSaved) {
  Make();
  SwitchOnAndHome();
  Click("cmdPosAnfugen");  // the script modified
  answer = true;           // "&Ja"
  saveResult = dir.filePath("fehlt/DEMO.RB3");
  EXPECT_FALSE(form->close());
  EXPECT_THAT(questions, ElementsAre("Information | Script-Datei Speichern?"));
  EXPECT_THAT(errors, ElementsAre(Shown("Datei " + saveResult + " kann nicht erstellt werden")));
  // Still there to save elsewhere: robot open, script kept, the display running.
  ASSERT_NE(form->Robot(), nullptr);
  EXPECT_TRUE(form->Robot()->Opened);
  EXPECT_TRUE(Control<QTimer>("tmrI")->isActive());
  EXPECT_TRUE(form->Modified());

  // "&Ja", then the dialog cancelled: the close is cancelled too, nothing is lost.
  questions.clear();
  saveResult.clear();
  EXPECT_FALSE(form->close());
  EXPECT_THAT(questions, ElementsAre("Information | Script-Datei Speichern?"));
  ASSERT_NE(form->Robot(), nullptr);
  EXPECT_TRUE(form->Modified());
  EXPECT_TRUE(form->isVisible());

  saveResult = dir.filePath("DEMO.RB3");
  EXPECT_TRUE(form->close());
  EXPECT_TRUE(QFile::exists(saveResult));
  EXPECT_EQ(form->Robot(), nullptr);
  EXPECT_EQ(WireMotorWord(), 0);
}

TEST_F(FrmMainTest, ASettingsFileThatCannotBeWrittenDoesNotKeepTheProgramAlive) {
  Make();
  SwitchOnAndHome();
  Click("cmdPosAnfugen");                              // the script modified
  ASSERT_TRUE(QDir(dir.path()).mkdir("Kelvora.INI"));  // every write fails
  Click("lblM4Zu");                                    // something running at the end
  EXPECT_TRUE(form->close());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].startsWith(ApplicationTitle() + " | nach "));
  EXPECT_TRUE(errors[0].endsWith("kann nicht geschrieben werden."));
  EXPECT_EQ(questions.size(), 1u);  // the script question still came
  EXPECT_EQ(form->Robot(), nullptr);
  EXPECT_EQ(WireMotorWord(), 0);
}

TEST_F(FrmMainTest, AStoredPositionNoScreenShowsOpensTheWindowAtTheDefaultPlace) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  const struct {
    QPoint stored;
    bool kept;
  } cases[] = {
      {{120, 80}, true},
      {{screen.right() - 120, screen.bottom() - 40}, true},  // mostly off, title bar on
      {{screen.right() + 400, 80}, false},
      {{120, screen.bottom() + 300}, false},
      {{120, screen.top() - 100}, false},  // the title bar above the screen
      {{-5000, -5000}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.stored.x() << "," << c.stored.y());
    Make({.ini = QStringLiteral("[Common]\r\nLeft=%1\r\nTop=%2\r\n")
                     .arg(c.stored.x())
                     .arg(c.stored.y())
                     .toLatin1()});
    const QPoint expected = c.kept ? c.stored : QPoint(50, 50);
    EXPECT_EQ(form->pos(), expected);
    TearDown();  // closes the window, which writes where it stood
    QFile ini(dir.filePath("Kelvora.INI"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().startsWith(QStringLiteral("[Common]\r\nLeft=%1\r\nTop=%2\r\n")
                                             .arg(expected.x())
                                             .arg(expected.y())
                                             .toLatin1()));
  }
}

TEST_F(FrmMainTest, TerminationSignalSwitchesOffWithoutWritingSettings) {
  Make();
  SwitchOnAndHome();
  form->InstallSignalHandling();
  bool stopped = false;
  After(30, [&] {
    ::raise(SIGTERM);
    QCoreApplication::processEvents();  // the self-pipe's notifier
    stopped = form->Robot() && !form->Robot()->Opened;
  });
  QTest::mousePress(Control<TShape>("shpM1R"), Qt::LeftButton);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(WireMotorWord(), 0);
  EXPECT_FALSE(Control<QTimer>("tmrI")->isActive());
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(SettingsWritten());
}

// A termination signal ends at once, but a modified script is not lost: it goes to a
// recovery file beside the settings, and the next start names that file once.
TEST_F(FrmMainTest, TerminationSignalKeepsAModifiedScriptInARecoveryFile) {
  Make();
  SwitchOnAndHome();
  Click("cmdPosAnfugen");
  ASSERT_TRUE(form->Modified());
  const QStringList lines = {Control<QListWidget>("lstScript")->item(0)->text(),
                             Control<QListWidget>("lstScript")->item(1)->text()};
  form->EmergencyStop(SIGHUP);
  EXPECT_EQ(WireMotorWord(), 0);
  const QStringList found =
      QDir(dir.path()).entryList({"Kelvora-recovered-*.RB3"}, QDir::Files, QDir::Name);
  ASSERT_EQ(found.size(), 1);
  QFile file(dir.filePath(found[0]));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), (lines.join("\r\n") + "\r\n").toLatin1());
  EXPECT_TRUE(form->close());
  form.reset();
  rig.reset();

  // The next start names it in one "Information" box, once the window's loop runs.
  Make();
  QCoreApplication::processEvents();
  ASSERT_EQ(infos.size(), 1u);
  EXPECT_TRUE(infos[0].startsWith("Information | "));
  EXPECT_TRUE(infos[0].endsWith(dir.filePath(found[0]))) << infos[0].toStdString();
  form->close();
  form.reset();
  rig.reset();
  infos.clear();
  Make();  // and not again
  QCoreApplication::processEvents();
  EXPECT_THAT(infos, IsEmpty());
  EXPECT_TRUE(QFile::exists(dir.filePath(found[0])));
}

TEST_F(FrmMainTest, F1OpensTheHelpPageOfTheFocusedControl) {
  Make();
  platform::InstallHelpKey();
  Control<QListWidget>("lstScript")->setFocus();
  QTest::keyClick(Control<QListWidget>("lstScript"), Qt::Key_F1);
  ASSERT_NE(platform::HelpWindow(), nullptr);
  EXPECT_EQ(platform::HelpWindowContext(), 9);
  Control<QPlainTextEdit>("memDaten")->setFocus();  // no context of its own: the window's
  QTest::keyClick(Control<QPlainTextEdit>("memDaten"), Qt::Key_F1);
  EXPECT_EQ(platform::HelpWindowContext(), 18);
  Control<QAction>("mnuInhalt")->trigger();
  EXPECT_EQ(platform::HelpWindowContext(), 0);
  for (int context : {3, 5, 6, 9, 11, 12, 16, 18})
    EXPECT_FALSE(platform::HelpPage(context).isEmpty());
  delete platform::HelpWindow();
}

}  // namespace
}  // namespace kelvora::app
