// SPDX-License-Identifier: MIT
// The interface panel against the virtual box in virtual time: what it shows and what its
// mouse actions put on the wire.
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

#include <gtest/gtest.h>

#include "access/brel_consts.h"
#include "access/brel_face.h"
#include "access/brel_robot.h"
#include "access/frm_panel.h"
#include "sim/virtual_rig.h"
#include "sim/virtual_robot.h"

namespace kelvora::testing {
namespace {

using access::TfrmPanel;

// One poll period and a little more: the driver has sent the motor word and read inputs.
constexpr uint32_t kTick = 25;

class PanelTest : public ::testing::Test {
 protected:
  void Open(bool extended) {
    face.SetExtended(extended);
    ASSERT_NE(face.OpenInterface("COM1"), access::kInterfaceError);
    panel = std::make_unique<TfrmPanel>(face, nullptr);
    panel->show();
    EXPECT_EQ(panel->Timer()->isActive() ? panel->Timer()->interval() : 0, 300);
    // The display is refreshed by calling the timer's handler in virtual time.
    panel->Timer()->stop();
  }
  void TearDown() override {
    panel.reset();
    face.CloseInterface();
  }
  QPushButton* Button(const char* name) { return panel->findChild<QPushButton*>(name); }
  QLabel* L(const char* name) { return panel->findChild<QLabel*>(QString::fromLatin1(name)); }
  QWidget* W(const char* name) { return panel->findChild<QWidget*>(QString::fromLatin1(name)); }
  void Press(const char* name, Qt::KeyboardModifiers mods = {}) {
    QTest::mousePress(L(name), Qt::LeftButton, mods);
  }
  void Release(const char* name) { QTest::mouseRelease(L(name), Qt::LeftButton); }
  // What the box received last, after the driver's next polls.
  uint16_t Wire() {
    rig.clock.Advance(kTick);
    return rig.box.MotorWord();
  }
  QColor Colour(QLabel* l) { return l->palette().color(QPalette::Window); }
  void Refresh() {
    rig.clock.Advance(kTick);
    panel->tmrITimer();
  }

  sim::VirtualRig rig;
  access::TBrelFace face;
  std::unique_ptr<TfrmPanel> panel;
};

TEST_F(PanelTest, EightInputLayoutIsNarrowAndShowsLowBytesOnly) {
  Open(false);
  EXPECT_EQ(panel->width(), 330);
  EXPECT_FALSE(W("pnlIn2")->isVisible());
  EXPECT_FALSE(W("pnlMot2")->isVisible());
  EXPECT_EQ(L("lblPort")->text(), "COM1");

  rig.box.SetInputs(0x01A5);  // input 9 is not shown with 8 inputs
  Refresh();
  EXPECT_EQ(panel->Lamp()->BrushColor(), TfrmPanel::Lime());
  EXPECT_EQ(L("lblEHex")->text(), "00A5");
  for (int i = 1; i <= 8; ++i) {
    const bool on = (0xA5 >> (i - 1)) & 1;
    EXPECT_EQ(Colour(panel->InputLabel(i)), on ? TfrmPanel::Lime() : panel->BtnFace()) << i;
  }
  // Analog polling is off: EX and EY read 0, padded to four characters.
  EXPECT_EQ(L("lblAnalogX")->text() + L("lblAnalogY")->text(), "   0   0");

  // A press writes the full motor word until the next tick shows the low byte again.
  face.SetMotorWord(0x0100);
  Press("lblDreh01");
  EXPECT_EQ(L("lblAHex")->text(), "0101");
  Refresh();
  EXPECT_EQ(L("lblAHex")->text(), "0001");
  Release("lblDreh01");
}

TEST_F(PanelTest, SixteenInputLayoutIsFullWidthWithFullWords) {
  Open(true);
  EXPECT_EQ(panel->width(), 430);
  EXPECT_TRUE(W("pnlIn2")->isVisible());
  rig.box.SetInputs(0x8101);
  Press("lblDreh16");  // R of motor 8
  EXPECT_EQ(Wire(), 0x8000);
  Refresh();
  EXPECT_EQ(L("lblEHex")->text(), "8101");
  EXPECT_EQ(L("lblAHex")->text(), "8000");
  for (QLabel* l : {panel->InputLabel(16), panel->InputLabel(9), panel->DrehLabel(16)}) {
    EXPECT_EQ(Colour(l), TfrmPanel::Lime()) << l->objectName().toStdString();
  }
  Release("lblDreh16");
  EXPECT_EQ(Wire(), 0);
}

TEST_F(PanelTest, PressOnLblDreh03RunsMotor2LeftAndReleaseStopsIt) {
  Open(false);
  EXPECT_EQ(L("lblDreh03")->text(), "L");
  EXPECT_EQ(L("lblDreh04")->text(), "R");
  Press("lblDreh03");
  EXPECT_EQ(Wire(), access::MotorLeftMask[2]);
  EXPECT_EQ(Colour(L("lblDreh03")), TfrmPanel::Lime());
  EXPECT_EQ(L("lblAHex")->text(), "0004");
  Release("lblDreh03");
  EXPECT_EQ(Wire(), 0);
  EXPECT_EQ(Colour(L("lblDreh03")), panel->BtnFace());
  EXPECT_EQ(L("lblAHex")->text(), "0000");
}

TEST_F(PanelTest, CtrlLatchSurvivesReleaseAndHalt) {
  Open(false);
  Press("lblDreh04", Qt::ControlModifier);
  Release("lblDreh04");
  EXPECT_TRUE(panel->IsLatched(2));
  EXPECT_EQ(Wire(), access::MotorRightMask[2]);

  QTest::mouseClick(Button("cmdAction"), Qt::LeftButton);
  EXPECT_TRUE(face.StopFlag);
  EXPECT_EQ(Wire(), 0);
  // HALT leaves the latch: the next plain press keeps running after release.
  EXPECT_TRUE(panel->IsLatched(2));
  Press("lblDreh03");
  Release("lblDreh03");
  EXPECT_EQ(Wire(), access::MotorLeftMask[2]);

  // A click on the motor's label unlatches and stops it.
  QTest::mouseClick(L("lblMotor2"), Qt::LeftButton);
  EXPECT_FALSE(panel->IsLatched(2));
  EXPECT_EQ(Wire(), 0);
  Press("lblDreh03");
  Release("lblDreh03");
  EXPECT_EQ(Wire(), 0);
}

TEST_F(PanelTest, PressOnLeftWhileLatchedRightSwitchesTheMotor) {
  Open(false);
  Press("lblDreh02", Qt::ControlModifier);
  Release("lblDreh02");
  EXPECT_EQ(Wire(), access::MotorRightMask[1]);
  Press("lblDreh01");
  EXPECT_EQ(Wire(), access::MotorLeftMask[1]);  // not both bits
  Release("lblDreh01");
  EXPECT_EQ(Wire(), access::MotorLeftMask[1]);  // still latched
  // Other motors are not touched by a motor's own commands.
  Press("lblDreh07");
  EXPECT_EQ(Wire(), access::MotorLeftMask[1] | access::MotorLeftMask[4]);
  Release("lblDreh07");
  EXPECT_EQ(Wire(), access::MotorLeftMask[1]);
}

TEST_F(PanelTest, LampTurnsRedWhileTheBoxIsSilentAndKeepsTheRest) {
  Open(false);
  rig.box.SetInputs(0x0003);
  Refresh();
  EXPECT_EQ(L("lblEHex")->text(), "0003");
  rig.box.SetFault(sim::BoxFault::kSilent);
  rig.clock.Advance(200);
  ASSERT_EQ(face.InputWord(), access::kInterfaceError);
  panel->tmrITimer();
  EXPECT_EQ(panel->Lamp()->BrushColor(), TfrmPanel::Red());
  EXPECT_EQ(L("lblEHex")->text(), "0003");
  EXPECT_EQ(Colour(panel->InputLabel(1)), TfrmPanel::Lime());
  rig.box.SetFault(sim::BoxFault::kNone);
  Refresh();
  EXPECT_EQ(panel->Lamp()->BrushColor(), TfrmPanel::Lime());
}

TEST_F(PanelTest, StopFlagStaysSetAfterHaltWhenThePanelCloses) {
  Open(false);
  Press("lblDreh05", Qt::ControlModifier);
  Release("lblDreh05");
  QTest::mouseClick(Button("cmdAction"), Qt::LeftButton);
  face.PanelShown = true;
  QTest::mouseClick(Button("cmdEnde"), Qt::LeftButton);
  EXPECT_FALSE(panel->isVisible());
  EXPECT_FALSE(panel->Timer()->isActive());
  EXPECT_FALSE(face.PanelShown);
  EXPECT_TRUE(face.StopFlag);
  EXPECT_EQ(Wire(), 0);
  // A wait started without clearing the flag ends at once.
  EXPECT_EQ(face.WaitForInput(1, true), access::kInterfaceError);
  EXPECT_EQ(face.LastStatus, 2);
}

TEST_F(PanelTest, ClosedByAnyMeansItStopsWatchingAndItsOwnMotors) {
  enum class Means { kExit, kCloseButton, kRejected, kHidden };
  for (Means means : {Means::kExit, Means::kCloseButton, Means::kRejected, Means::kHidden}) {
    SCOPED_TRACE(static_cast<int>(means));
    Open(false);
    panel->Timer()->start();
    face.SetMotor(4, 1);  // the extra motor, switched on in the main window
    Press("lblDreh02", Qt::ControlModifier);
    Release("lblDreh02");  // motor 1 right, latched
    Press("lblDreh03");    // motor 2 left, held
    EXPECT_EQ(Wire(), 0x0002 | 0x0004 | 0x0040);
    switch (means) {
      case Means::kExit:
        Button("cmdEnde")->click();
        break;
      case Means::kCloseButton:
        panel->close();
        break;
      case Means::kRejected:  // how a dialog goes on Esc, and when the main window ends it
        panel->reject();
        break;
      case Means::kHidden:  // minimised
        panel->hide();
        break;
    }
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(panel->Timer()->isActive());
    EXPECT_EQ(Wire(), 0x0040);
    Release("lblDreh03");
    EXPECT_EQ(Wire(), 0x0040);
    face.SetMotor(4, 0);
  }
}

TEST_F(PanelTest, KeysDoubleClicksOtherButtonsAndLosingTheActivation) {
  Open(false);
  panel->Timer()->start();
  Press("lblDreh02", Qt::ControlModifier);
  Release("lblDreh02");  // latched
  // Esc and Enter neither close the panel nor press a button.
  for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
    QTest::keyClick(panel.get(), key);
    EXPECT_TRUE(panel->isVisible()) << key;
    EXPECT_TRUE(panel->Timer()->isActive()) << key;
    EXPECT_FALSE(face.StopFlag) << key;
  }
  EXPECT_EQ(Wire(), 0x0002);

  // A quick second press comes as a double click: it runs the motor like a press.
  QLabel* left = L("lblDreh03");
  Press("lblDreh03");
  Release("lblDreh03");
  QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), left->mapToGlobal(QPointF(5, 5)),
                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(left, &dbl);
  EXPECT_EQ(Wire(), 0x0002 | 0x0004);
  Release("lblDreh03");
  EXPECT_EQ(Wire(), 0x0002);

  // A held motor whose release will go to another window stops when the panel loses
  // the activation; the latched one runs on.
  Press("lblDreh03");
  QEvent deactivate(QEvent::WindowDeactivate);
  QApplication::sendEvent(panel.get(), &deactivate);
  EXPECT_EQ(Wire(), 0x0002);
  Release("lblDreh03");

  // Only the left button clicks a motor label.
  QTest::mouseClick(L("lblMotor1"), Qt::RightButton);
  EXPECT_TRUE(panel->IsLatched(1));
  EXPECT_EQ(Wire(), 0x0002);
  QTest::mouseClick(L("lblMotor1"), Qt::LeftButton);
  EXPECT_FALSE(panel->IsLatched(1));
  EXPECT_EQ(Wire(), 0);
}

TEST(PanelOnRobotTest, ManualRunsLeaveTheAxisPositionsAlone) {
  sim::RobotRig rig;
  access::TBrelRobot robot;
  for (int a = 1; a <= 8; ++a) robot.Axes.SetPos(a, access::mcPosition, 50);
  ASSERT_NE(robot.OpenInterface(rig.Port()), access::kInterfaceError);
  {
    TfrmPanel panel(robot, nullptr);
    panel.show();
    auto* l = panel.findChild<QLabel*>("lblDreh02");  // motor 1 towards its maximum
    QTest::mousePress(l, Qt::LeftButton);
    const double before = rig.Position(1);
    rig.Advance(500);
    QTest::mouseRelease(l, Qt::LeftButton);
    rig.Advance(100);
    EXPECT_GT(rig.Position(1), before + 5);  // the robot really moved
    EXPECT_GT(robot.Counter(robot.Axes.GetNumber(1, access::mcImpulse)), 0u);
    panel.close();
  }
  for (int a = 1; a <= 8; ++a) EXPECT_EQ(robot.Axes.GetPos(a, access::mcPosition), 50) << a;
  robot.CloseInterface();
}

}  // namespace
}  // namespace kelvora::testing
