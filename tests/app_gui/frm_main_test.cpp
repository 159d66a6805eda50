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
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <functional>
#include <memory>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "access/brel_consts.h"
#include "app/frm_main.h"
#include "platform/gui_hooks.h"
#include "platform/help_qt.h"
#include "sim/virtual_robot.h"

namespace kelvora::app {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FakePrompts : public Prompts {
 public:
  void Error(QWidget*, const QString& title, const QString& text) override {
    errors.push_back(title + QStringLiteral(" | ") + text);
  }
  void Info(QWidget*, const QString&, const QString&) override {}
  bool Question(QWidget*, const QString& title, const QString& text) override {
    questions.push_back(title + QStringLiteral(" | ") + text);
    return answer;
  }
  QString OpenFile(QWidget*, const QString&, const QString&, const QString&) override {
    return openResult;
  }
  QString SaveFile(QWidget*, const QString&, const QString&, const QString&) override {
    ++saveDialogs;
    return saveResult;
  }
  std::vector<QString> errors;
  std::vector<QString> questions;
  bool answer = false;
  int saveDialogs = 0;
  QString openResult;
  QString saveResult;
};

// The real pump, then what the test does "meanwhile" (once per control cycle of a move).
class PumpHooks : public platform::GuiHooks {
 public:
  void ProcessMessages() override {
    QCoreApplication::processEvents();
    ++calls;
    if (onMessages) {
      auto f = onMessages;  // the callback may replace itself
      f();
    }
  }
  std::function<void()> onMessages;
  int calls = 0;
};

const QColor kLime(0, 255, 0);
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kGrey(224, 224, 224);

struct Options {
  sim::Layout layout = sim::Layout::kStandard;
  std::vector<double> start = {120, 80, 60, 10};
  QByteArray ini;  // settings file written before the window is made
};

class FrmMainTest : public ::testing::Test {
 protected:
  void Make(const Options& options = {}) {
    sim::RobotRigOptions o;
    o.layout = options.layout;
    o.start = options.start;
    rig = std::make_unique<sim::RobotRig>(o);
    ASSERT_TRUE(dir.isValid());
    progDir = dir.path().toStdString() + "/";
    if (!options.ini.isEmpty()) {
      QFile f(dir.filePath(QStringLiteral("Kelvora.INI")));
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write(options.ini);
    }
    SetPrompts(&prompts);
    platform::SetGuiHooks(&hooks);
    form = std::make_unique<TfrmMain>(nullptr, progDir);
    form->show();
    QApplication::setActiveWindow(form.get());
  }
  void TearDown() override {
    hooks.onMessages = nullptr;
    if (form) {
      if (form->PrgModus == 4) form->EmergencyStop(SIGTERM);  // frees nothing, closes the port
      form->close();
      form.reset();
    }
    platform::SetGuiHooks(nullptr);
    SetPrompts(nullptr);
    rig.reset();
  }

  void SwitchOn() {
    QTest::mouseClick(form->cmdAction, Qt::LeftButton);
    ASSERT_EQ(form->PrgModus, 2);
  }
  void SwitchOnAndHome() {
    SwitchOn();
    QTest::mouseClick(form->cmdAction, Qt::LeftButton);
    ASSERT_EQ(form->PrgModus, 3);
  }
  // Runs f once, the n-th time the pump runs from now on.
  void After(int n, std::function<void()> f) {
    auto count = std::make_shared<int>(0);
    hooks.onMessages = [this, n, count, f] {
      if (++*count == n) {
        hooks.onMessages = nullptr;
        f();
      }
    };
  }
  // The motor word on the wire once the driver's next poll has sent the record's word.
  uint16_t WireMotorWord() {
    rig->Advance(20);
    return rig->box.MotorWord();
  }
  int32_t Pos(int axis) const { return form->Robot->Axes.GetPos(axis, access::mcPosition); }
  bool MenuShown(QMenu* m) const { return m->menuAction()->isVisible(); }
  bool MenuEnabled(QMenu* m) const { return m->menuAction()->isEnabled(); }
  static QColor Background(QWidget* w) { return w->palette().color(QPalette::Window); }
  static QColor Face() { return QApplication::palette().color(QPalette::Button); }

  // The whole row of the mode table for the window as it stands.
  void ExpectMode(int mode) {
    SCOPED_TRACE(testing::Message() << "mode " << mode);
    static const char* status[] = {"", "EINschalten", "Home anfahren", "TeachIn", "RUN"};
    static const char* action[] = {"", "EIN", "STARTEN", "HOME", "HALT"};
    EXPECT_EQ(form->PrgModus, mode);
    EXPECT_EQ(form->lblPrgModus->text(), QString::fromUtf8(status[mode]));
    EXPECT_EQ(form->cmdAction->text(), QString::fromUtf8(action[mode]));
    EXPECT_TRUE(form->cmdAction->isEnabled());
    EXPECT_EQ(form->cmdEnde->text(),
              mode == 1 ? QStringLiteral("Abbrechen") : QStringLiteral("ENDE"));
    EXPECT_EQ(form->cmdEnde->isEnabled(), mode != 4);
    EXPECT_EQ(form->cmdInterface->isEnabled(), mode == 2 || mode == 3);
    EXPECT_EQ(form->pnlFahren->isEnabled(), mode == 3);
    EXPECT_EQ(form->pnlPosition->isEnabled(), mode == 3);
    EXPECT_EQ(form->pnlRun->isEnabled(), mode == 2 || mode == 3);
    const QColor panel = mode == 3 ? kGrey : Face();
    EXPECT_EQ(Background(form->pnlFahren), panel);
    EXPECT_EQ(Background(form->pnlPosition), panel);
    EXPECT_EQ(Background(form->pnlRun), panel);
    EXPECT_EQ(MenuEnabled(form->mnuDatei), mode != 4);
    EXPECT_EQ(MenuShown(form->mnuOptionen), mode == 1);
    EXPECT_EQ(MenuEnabled(form->mnuHilfe), mode != 4);
    // The script list and the model data stay usable in every mode.
    EXPECT_TRUE(form->lstScript->isEnabled());
    EXPECT_TRUE(form->memDaten->isEnabled());
  }

  std::unique_ptr<sim::RobotRig> rig;  // outlives the window, whose robot uses its box
  QTemporaryDir dir;
  std::string progDir;
  FakePrompts prompts;
  PumpHooks hooks;
  std::unique_ptr<TfrmMain> form;
};

TEST_F(FrmMainTest, StartsInModeOneWithTheModelShown) {
  Make();
  ExpectMode(1);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Kelvora für Industrieroboter [Neu]"));
  EXPECT_EQ(form->lblTitel->text(), QStringLiteral("Rob3 : Säulenroboter"));
  EXPECT_EQ(form->memDaten->toPlainText(),
            QStringLiteral("Modelldaten\nModell : Rob3\nPort : COM1\n \nArbeitsraum\n"
                           "Säule : 240\nArmH : 160\nArmV : 150\nGreifer : 28"));
  EXPECT_FALSE(form->shpWagen->isVisibleTo(form.get()));
  EXPECT_FALSE(form->lblM8Zu->isVisibleTo(form.get()));
  EXPECT_TRUE(form->shpM1L->isVisibleTo(form.get()));
  EXPECT_EQ(form->centralWidget()->size(), QSize(613, 432));
  EXPECT_EQ(form->pnlFahren->geometry(), QRect(176, 224, 273, 200));
  EXPECT_EQ(form->shpM3R->geometry(), QRect(176, 116, 17, 17));
  EXPECT_EQ(form->sphM2R->Tag, 4);
  EXPECT_EQ(form->lblM4Auf->Tag, 0);
  EXPECT_FALSE(form->tmrI->isActive());
  EXPECT_EQ(form->lstScript->count(), 1);
}

TEST_F(FrmMainTest, ModeTableThroughAWholeSession) {
  Make();
  ExpectMode(1);
  SwitchOn();
  ExpectMode(2);
  EXPECT_TRUE(form->tmrI->isActive());
  EXPECT_EQ(form->tmrI->interval(), 300);

  bool seenRun = false;
  After(3, [&] {
    ExpectMode(4);
    seenRun = true;
  });
  QTest::mouseClick(form->cmdAction, Qt::LeftButton);  // STARTEN
  EXPECT_TRUE(seenRun);
  ExpectMode(3);
  for (int axis = 1; axis <= 8; ++axis) EXPECT_EQ(Pos(axis), 0) << axis;
  // The home run really ran the robot onto its switches.
  EXPECT_NEAR(rig->Position(1), 0, 1.0);
  EXPECT_NEAR(rig->Position(4), 0, 1.0);

  QTest::mouseClick(form->cmdAction, Qt::LeftButton);  // HOME
  ExpectMode(3);
  EXPECT_FALSE(MenuShown(form->mnuOptionen));  // gone for good once switched on

  QTest::mouseClick(form->cmdEnde, Qt::LeftButton);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->Robot, nullptr);
  EXPECT_EQ(WireMotorWord(), 0);
  EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("Kelvora.INI"))));
  EXPECT_THAT(prompts.errors, IsEmpty());
}

TEST_F(FrmMainTest, FailedSwitchOnReportsThePortAndStaysInModeOne) {
  Make({.ini = "[Port]\r\nPortName=COM7\r\n"});
  QTest::mouseClick(form->cmdAction, Qt::LeftButton);
  EXPECT_THAT(prompts.errors, ElementsAre(QStringLiteral("Fehler | Inpterfaceproblem mit : COM7")));
  ExpectMode(1);
  EXPECT_EQ(QApplication::focusWidget(), form->cmdAction);
  EXPECT_FALSE(form->tmrI->isActive());
  EXPECT_EQ(form->shpInterface->BrushColor(), QColor(192, 192, 192));

  // A name the interface object refuses never reaches the driver; the same message.
  form->Settings.PortName = "COM10";
  QTest::mouseClick(form->cmdAction, Qt::LeftButton);
  ASSERT_EQ(prompts.errors.size(), 2u);
  EXPECT_EQ(prompts.errors[1], QStringLiteral("Fehler | Inpterfaceproblem mit : COM10"));

  // After choosing the right port, EIN works.
  form->Settings.PortName = "COM1";
  SwitchOn();
}

TEST_F(FrmMainTest, HaltDuringTheHomeRunLeavesTeachInWithAllPositionsZero) {
  Make({.start = {200, 150, 120, 20}});
  SwitchOn();
  After(40, [&] { QTest::mouseClick(form->cmdAction, Qt::LeftButton); });  // HALT
  QTest::mouseClick(form->cmdAction, Qt::LeftButton);                      // STARTEN
  ExpectMode(3);
  EXPECT_FALSE(form->chkWiederholen->isChecked());
  for (int axis = 1; axis <= 8; ++axis) EXPECT_EQ(Pos(axis), 0) << axis;
  EXPECT_EQ(WireMotorWord(), 0);
  // Stopped half-way: the robot did not reach its switches.
  EXPECT_GT(rig->Position(1), 150);
  EXPECT_LT(rig->Position(1), 199);
}

TEST_F(FrmMainTest, HaltUnticksRepeat) {
  Make();
  SwitchOn();
  form->chkWiederholen->setChecked(true);
  After(5, [&] { QTest::mouseClick(form->cmdAction, Qt::LeftButton); });
  QTest::mouseClick(form->cmdAction, Qt::LeftButton);  // STARTEN, halted
  EXPECT_FALSE(form->chkWiederholen->isChecked());
  ExpectMode(3);
}

TEST_F(FrmMainTest, JogReleasedOutsideItsShapeEnds) {
  Make();
  SwitchOnAndHome();
  bool motorOn = false;
  After(60, [&] {
    motorOn = (WireMotorWord() & 0x0002) != 0;  // motor 1 right
    // The pointer has left the arrow: the shape still gets the release.
    QTest::mouseRelease(form->shpM1R, Qt::LeftButton, {}, QPoint(-80, -60));
  });
  QTest::mousePress(form->shpM1R, Qt::LeftButton);
  EXPECT_TRUE(motorOn);
  EXPECT_FALSE(form->Jogging());
  EXPECT_TRUE(form->Robot->StopFlag);
  EXPECT_EQ(WireMotorWord() & 0x0003, 0);
  ExpectMode(3);
  const double truePos = rig->Position(1);
  EXPECT_GT(truePos, 10);
  EXPECT_LT(truePos, 240);
  // The window's belief: the position of the last control cycle.
  EXPECT_NEAR(Pos(1), truePos, 2.0);
  EXPECT_EQ(Pos(2), 0);
}

TEST_F(FrmMainTest, JogEndsWhenTheWindowLosesActivationOrTheShapeTheMouse) {
  Make();
  SwitchOnAndHome();
  After(30, [&] {
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(form.get(), &deactivate);
  });
  QTest::mousePress(form->shpM3R, Qt::LeftButton);  // arm down, toward its maximum
  EXPECT_FALSE(form->Jogging());
  EXPECT_EQ(WireMotorWord() & 0x0030, 0);
  const double afterFirst = rig->Position(3);
  EXPECT_GT(afterFirst, 5);
  EXPECT_LT(afterFirst, 150);
  QTest::mouseRelease(form->shpM3R, Qt::LeftButton);

  // The shape goes away under the held button (for example its panel is disabled).
  After(30, [&] {
    QEvent ungrab(QEvent::UngrabMouse);
    QApplication::sendEvent(form->shpM1R, &ungrab);
  });
  QTest::mousePress(form->shpM1R, Qt::LeftButton);
  EXPECT_FALSE(form->Jogging());
  EXPECT_EQ(WireMotorWord(), 0);
  EXPECT_GT(rig->Position(1), 5);
}

TEST_F(FrmMainTest, JogTowardZeroOnTheEndSwitchDoesNotMove) {
  Make();
  SwitchOnAndHome();
  const double before = rig->Position(2);
  QTest::mousePress(form->shpM2L, Qt::LeftButton);  // returns: nothing to drive
  QTest::mouseRelease(form->shpM2L, Qt::LeftButton);
  EXPECT_NEAR(rig->Position(2), before, 0.01);
  EXPECT_EQ(Pos(2), 0);
}

TEST_F(FrmMainTest, CloseIsRefusedWhileAMoveOrAJogRuns) {
  Make({.start = {200, 150, 120, 20}});
  SwitchOn();
  bool closed = true;
  After(20, [&] {
    closed = form->close();
    ExpectMode(4);
    QTest::mouseClick(form->cmdAction, Qt::LeftButton);  // HALT
  });
  QTest::mouseClick(form->cmdAction, Qt::LeftButton);  // STARTEN
  EXPECT_FALSE(closed);
  EXPECT_TRUE(form->isVisible());
  ASSERT_NE(form->Robot, nullptr);

  closed = true;
  After(20, [&] {
    closed = form->close();
    QTest::mouseRelease(form->shpM1R, Qt::LeftButton);
  });
  QTest::mousePress(form->shpM1R, Qt::LeftButton);
  EXPECT_FALSE(closed);
  ASSERT_NE(form->Robot, nullptr);
  EXPECT_TRUE(form->Robot->Opened);
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("Kelvora.INI"))));

  EXPECT_TRUE(form->close());  // now it may
  EXPECT_EQ(WireMotorWord(), 0);
}

TEST_F(FrmMainTest, ExtraMotorOnZSwitchesMotorFourForGood) {
  Make({.ini = "[Rob3]\r\nRobType=Z\r\n"});
  SwitchOnAndHome();
  bool runDuringClick = false;
  After(5, [&] { runDuringClick = form->PrgModus == 4; });
  const uint64_t t0 = rig->clock.NowMs();
  QTest::mouseClick(form->lblM4Zu, Qt::LeftButton);
  EXPECT_TRUE(runDuringClick);
  EXPECT_NEAR(static_cast<double>(rig->clock.NowMs() - t0), 500, 30);
  ExpectMode(3);
  EXPECT_EQ(form->LineValues[3], 1);
  EXPECT_EQ(WireMotorWord(), 0x0040);  // motor 4 left, still on
  rig->Advance(1000);
  EXPECT_EQ(WireMotorWord(), 0x0040);

  QTest::mouseClick(form->lblM4Auf, Qt::LeftButton);
  EXPECT_EQ(form->LineValues[3], 0);
  EXPECT_EQ(WireMotorWord(), 0);
}

TEST_F(FrmMainTest, GripperOnGClosesToItsMaximumAndOpensToItsSwitch) {
  Make();
  SwitchOnAndHome();
  QTest::mouseClick(form->lblM4Zu, Qt::LeftButton);
  EXPECT_EQ(form->LineValues[3], 1);
  EXPECT_NEAR(rig->Position(4), 28, 1.5);
  QTest::mouseClick(form->lblM4Auf, Qt::LeftButton);
  EXPECT_EQ(form->LineValues[3], 0);
  EXPECT_NEAR(rig->Position(4), 0, 1.0);
  ExpectMode(3);
}

class FrmMainRob5Test : public FrmMainTest {
 protected:
  void SetUp() override {
    Make({.layout = sim::Layout::kRob5,
          .start = {50, 40, 30, 60, 10},
          .ini = "[Common]\r\nRobModel=Rob5\r\n"});
  }
};

TEST_F(FrmMainRob5Test, ShowsTheCarriageControls) {
  for (QWidget* w : std::initializer_list<QWidget*>{
           form->shpWagen, form->shpM5R, form->shpM5L, form->lblM5Pos, form->shpM6, form->lblM6Zu,
           form->lblM6Auf, form->shpM7, form->lblM7Zu, form->lblM7Auf, form->shpM8, form->lblM8Zu,
           form->lblM8Auf})
    EXPECT_TRUE(w->isVisibleTo(form.get())) << w->objectName().toStdString();
  SwitchOn();
  EXPECT_TRUE(form->Robot->IsExtended());
}

TEST_F(FrmMainRob5Test, M8WaitEndsWhenInput11ComesOn) {
  SwitchOnAndHome();
  bool waiting = false;
  After(50, [&] {
    waiting = form->PrgModus == 4 && form->lblPrgModus->text() == QStringLiteral("RUN");
    rig->SetInput(11, true);
  });
  QTest::mouseClick(form->lblM8Zu, Qt::LeftButton);
  EXPECT_TRUE(waiting);
  ExpectMode(3);
  EXPECT_EQ(form->LineValues[7], 1);
  EXPECT_GE(hooks.calls, 50);
}

TEST_F(FrmMainRob5Test, M8WaitEndsOnHalt) {
  SwitchOnAndHome();
  After(50, [&] { QTest::mouseClick(form->cmdAction, Qt::LeftButton); });
  QTest::mouseClick(form->lblM8Zu, Qt::LeftButton);  // input 11 stays off
  ExpectMode(3);
  EXPECT_EQ(form->Robot->LastStatus, 2);
  EXPECT_EQ(form->LineValues[7], 1);
}

TEST_F(FrmMainRob5Test, OutputsM6AndM7SwitchWithoutPause) {
  SwitchOnAndHome();
  const uint64_t t0 = rig->clock.NowMs();
  QTest::mouseClick(form->lblM6Zu, Qt::LeftButton);
  QTest::mouseClick(form->lblM7Zu, Qt::LeftButton);
  EXPECT_LT(rig->clock.NowMs() - t0, 50u);
  rig->Advance(30);
  EXPECT_EQ(WireMotorWord(), 0x0400 | 0x1000);
  EXPECT_EQ(form->LineValues[5], 1);
  EXPECT_EQ(form->LineValues[6], 1);
  QTest::mouseClick(form->lblM6Auf, Qt::LeftButton);
  rig->Advance(30);
  EXPECT_EQ(WireMotorWord(), 0x1000);
}

TEST_F(FrmMainRob5Test, DisplayShowsPositionsMotorsAndInput11) {
  SwitchOnAndHome();
  form->tmrITimer();
  EXPECT_EQ(form->shpInterface->BrushColor(), kLime);
  EXPECT_EQ(form->shpWagen->BrushColor(), kWhite);
  EXPECT_EQ(form->shpM8->BrushColor(), kWhite);
  rig->SetInput(11, true);
  rig->Advance(30);
  form->tmrITimer();
  EXPECT_EQ(form->shpM8->BrushColor(), kLime);  // the input, not motor 8

  QColor carriageWhileJogging;
  After(40, [&] {
    form->tmrITimer();
    carriageWhileJogging = form->shpWagen->BrushColor();
    QTest::mouseRelease(form->shpM5L, Qt::LeftButton);
  });
  QTest::mousePress(form->shpM5L, Qt::LeftButton);  // carriage toward its maximum
  EXPECT_EQ(carriageWhileJogging, kLime);
  form->tmrITimer();
  EXPECT_EQ(form->shpWagen->BrushColor(), kWhite);
  EXPECT_EQ(form->lblM5Pos->text(), QString::number(Pos(4)));
  EXPECT_GT(Pos(4), 0);
}

TEST_F(FrmMainTest, DisplayColoursFollowMotorsAndTheInterface) {
  Make();
  SwitchOnAndHome();
  form->tmrITimer();
  EXPECT_EQ(form->shpInterface->BrushColor(), kLime);
  EXPECT_EQ(form->shpSaule->BrushColor(), kWhite);
  EXPECT_EQ(form->lblM1Pos->text(), QStringLiteral("0"));

  QColor column, armV;
  After(40, [&] {
    form->tmrITimer();
    column = form->shpSaule->BrushColor();
    armV = form->shpArmV->BrushColor();
    QTest::mouseRelease(form->shpM1R, Qt::LeftButton);
  });
  QTest::mousePress(form->shpM1R, Qt::LeftButton);
  EXPECT_EQ(column, kLime);
  EXPECT_EQ(armV, kWhite);
  form->tmrITimer();
  EXPECT_EQ(form->shpSaule->BrushColor(), kWhite);
  EXPECT_EQ(form->lblM1Pos->text(), QString::number(Pos(1)));

  // The box falls silent: red, and the rest stays as it was.
  const QString shown = form->lblM1Pos->text();
  rig->box.SetFault(sim::BoxFault::kSilent);
  rig->Advance(50);
  form->tmrITimer();
  EXPECT_EQ(form->shpInterface->BrushColor(), kRed);
  EXPECT_EQ(form->lblM1Pos->text(), shown);
  rig->box.SetFault(sim::BoxFault::kNone);
}

TEST_F(FrmMainTest, AnErrorInANestedHandlerIsShownAndTheMoveGoesOn) {
  Make();
  SwitchOnAndHome();
  const QString missing = dir.filePath(QStringLiteral("FEHLT.RB3"));
  prompts.openResult = missing;
  double atError = -1;
  After(30, [&] {
    // "Öffnen" by keyboard while the column jogs: the file cannot be read.
    form->mnuOffnen->trigger();
    atError = rig->Position(1);
    After(30, [&] { QTest::mouseRelease(form->shpM1R, Qt::LeftButton); });
  });
  QTest::mousePress(form->shpM1R, Qt::LeftButton);
  EXPECT_THAT(prompts.errors,
              ElementsAre(QStringLiteral("Kelvora für Industrieroboter | Datei ") + missing +
                          QStringLiteral(" kann nicht geöffnet werden.")));
  // The jog went on after the error until its release.
  EXPECT_GT(rig->Position(1), atError + 5);
  EXPECT_FALSE(form->Jogging());
  ExpectMode(3);
}

TEST_F(FrmMainTest, AFailedCommandStaysInModeFourUntilHalt) {
  Make();
  SwitchOnAndHome();
  form->lstScript->item(0)->setText(QStringLiteral("     x     0     0     0"));
  QTest::mouseClick(form->cmdAufPosition, Qt::LeftButton);
  EXPECT_THAT(prompts.errors,
              ElementsAre(QStringLiteral(
                  "Kelvora für Industrieroboter | '     x' ist kein gültiger Integerwert.")));
  ExpectMode(4);
  QTest::mouseClick(form->cmdAction, Qt::LeftButton);  // HALT
  ExpectMode(3);
}

TEST_F(FrmMainTest, ShutdownAsksAboutAModifiedScriptAndSwitchesEverythingOff) {
  Make();
  SwitchOnAndHome();
  form->Modified = true;
  prompts.answer = true;  // "&Ja": the save dialog, cancelled
  EXPECT_TRUE(form->close());
  EXPECT_THAT(prompts.questions,
              ElementsAre(QStringLiteral("Information | Script-Datei Speichern?")));
  EXPECT_EQ(prompts.saveDialogs, 1);
  EXPECT_EQ(form->Robot, nullptr);
  EXPECT_EQ(WireMotorWord(), 0);
}

TEST_F(FrmMainTest, AScriptThatCannotBeSavedAtTheEndKeepsTheWindowOpen) {
  Make();
  SwitchOnAndHome();
  form->Modified = true;
  prompts.answer = true;
  const QString target = dir.filePath(QStringLiteral("fehlt/DEMO.RB3"));
  prompts.saveResult = target;
  EXPECT_FALSE(form->close());
  ASSERT_EQ(prompts.errors.size(), 1u);
  EXPECT_EQ(prompts.errors[0], QStringLiteral("Kelvora für Industrieroboter | Datei ") + target +
                                   QStringLiteral(" kann nicht erstellt werden."));
  // Still there to save elsewhere: robot open, display running, script kept.
  ASSERT_NE(form->Robot, nullptr);
  EXPECT_TRUE(form->Robot->Opened);
  EXPECT_TRUE(form->tmrI->isActive());
  EXPECT_TRUE(form->Modified);
  prompts.saveResult = dir.filePath(QStringLiteral("DEMO.RB3"));
  EXPECT_TRUE(form->close());
  EXPECT_TRUE(QFile::exists(prompts.saveResult));
}

TEST_F(FrmMainTest, ASettingsFileThatCannotBeWrittenDoesNotKeepTheProgramAlive) {
  Make();
  SwitchOnAndHome();
  form->Modified = true;
  // A folder where the settings file should be: every write fails.
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Kelvora.INI")));
  QTest::mouseClick(form->lblM4Zu, Qt::LeftButton);  // something running at the end
  EXPECT_TRUE(form->close());
  ASSERT_EQ(prompts.errors.size(), 1u);
  EXPECT_TRUE(prompts.errors[0].startsWith(QStringLiteral("Kelvora für Industrieroboter | nach ")));
  EXPECT_TRUE(prompts.errors[0].endsWith(QStringLiteral("kann nicht geschrieben werden.")));
  EXPECT_EQ(prompts.questions.size(), 1u);  // the script question still came
  EXPECT_EQ(form->Robot, nullptr);
  EXPECT_EQ(WireMotorWord(), 0);
}

TEST_F(FrmMainTest, TerminationSignalSwitchesOffWithoutWritingSettings) {
  Make();
  SwitchOnAndHome();
  form->InstallSignalHandling();
  bool stopped = false;
  After(30, [&] {
    ::raise(SIGTERM);
    QCoreApplication::processEvents();  // the self-pipe's notifier
    stopped = form->Robot && !form->Robot->Opened;
  });
  QTest::mousePress(form->shpM1R, Qt::LeftButton);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(WireMotorWord(), 0);
  EXPECT_FALSE(form->tmrI->isActive());
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("Kelvora.INI"))));
}

TEST_F(FrmMainTest, F1OpensTheHelpPageOfTheFocusedControl) {
  Make();
  platform::InstallHelpKey();
  form->lstScript->setFocus();
  QTest::keyClick(form->lstScript, Qt::Key_F1);
  ASSERT_NE(platform::HelpWindow(), nullptr);
  EXPECT_EQ(platform::HelpWindowContext(), 9);
  form->memDaten->setFocus();  // no context of its own: the window's
  QTest::keyClick(form->memDaten, Qt::Key_F1);
  EXPECT_EQ(platform::HelpWindowContext(), 18);
  form->mnuInhalt->trigger();
  EXPECT_EQ(platform::HelpWindowContext(), 0);
  for (int context : {3, 5, 6, 9, 11, 12, 16, 18})
    EXPECT_FALSE(platform::HelpPage(context).isEmpty());
  delete platform::HelpWindow();
}

}  // namespace
}  // namespace kelvora::app
