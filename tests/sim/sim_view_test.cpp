// SPDX-License-Identifier: MIT
// The virtual robot's window, offscreen: the values the painter uses follow the robot as
// it moves in virtual time, and each control sets the input or fault it names (and shows
// what the keys set behind its back).
#include <QAbstractButton>
#include <QCheckBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include "sim/robot.h"
#include "sim/view/sim_view_qt.h"
#include "sim/view/view_model.h"
#include "sim/virtual_box.h"

namespace kelvora::sim::view {
namespace {

constexpr uint16_t Motor(int motor, int code) {
  return static_cast<uint16_t>(code << (2 * (motor - 1)));
}

// A robot behind its box, and the window on them.
struct Bench {
  explicit Bench(Layout layout, std::vector<double> start)
      : robot(RobotOptions{.layout = layout, .speed = 40, .coast = 0, .start = std::move(start)}),
        target(robot, box),
        window(target) {
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  // Runs the motors for ms of virtual time, then redraws.
  void Run(uint16_t motorWord, int ms) {
    robot.Step(static_cast<uint64_t>(ms) * 1000, motorWord);
    window.Refresh();
  }
  const ViewModel& Model() const { return window.Model(); }

  // A click on a check box or option button where its mark is: the control may be
  // wider than its caption.
  static void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
  }

  template <typename T>
  T* Control(const char* name) {
    T* c = window.findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
  }

  VirtualBox box;
  Robot robot;
  ViewTarget target;
  SimView window;
};

TEST(SimView, DrawnStateFollowsTheRobot) {
  Bench b(Layout::kStandard, {120, 80, 75, 14});
  EXPECT_EQ(b.window.windowTitle(), QStringLiteral("Kelvora – virtueller Roboter"));
  EXPECT_GE(SimView::kFrameMs * 30, 1000) << "at most 30 frames a second";
  ASSERT_EQ(b.Model().axes.size(), 4u);
  EXPECT_FALSE(b.Model().rob5);

  struct Step {
    uint16_t word;
    int ms;
    double pos[4];
    int direction[4];
  };
  // Column turns up, vertical arm rises to its end switch, horizontal arm reaches out,
  // gripper closes; then every motor off.
  const Step steps[] = {
      {Motor(1, 2) | Motor(3, 1), 500, {140, 80, 55, 14}, {1, 0, -1, 0}},
      {Motor(2, 2) | Motor(3, 1) | Motor(4, 2), 1500, {140, 140, 0, 40}, {0, 1, -1, 1}},
      {0, 100, {140, 140, 0, 40}, {0, 0, 0, 0}},
  };
  for (const Step& s : steps) {
    b.Run(s.word, s.ms);
    const ViewModel& m = b.Model();
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(m.axes[i].position, s.pos[i], 1e-6) << "axis " << i + 1;
      EXPECT_NEAR(m.axes[i].position, b.robot.Position(i + 1), 1e-9);
      EXPECT_EQ(m.axes[i].direction, s.direction[i]) << "axis " << i + 1;
      EXPECT_EQ(m.axes[i].endSwitch, s.pos[i] == 0) << "axis " << i + 1;
    }
    EXPECT_DOUBLE_EQ(m.columnAngle, s.pos[0] / 300 * kColumnSweep);
    EXPECT_DOUBLE_EQ(m.reach, s.pos[1] / 200);
    EXPECT_DOUBLE_EQ(m.height, 1 - s.pos[2] / 190);
    EXPECT_DOUBLE_EQ(m.gripperOpening, 1 - s.pos[3] / 40);
  }

  // The impulse lamp changes with every unit counted, as the input does.
  int changes = 0;
  bool last = b.Model().axes[0].impulse;
  for (int i = 0; i < 10; ++i) {
    b.Run(Motor(1, 1), 25);  // one unit at 40 units per second
    EXPECT_EQ(b.Model().axes[0].impulse, (b.robot.Inputs() >> 1) & 1);
    changes += b.Model().axes[0].impulse != last;
    last = b.Model().axes[0].impulse;
  }
  EXPECT_EQ(changes, 10);

  // The banner shows the box's state, each fault in its own tone.
  for (const FaultView& f : FaultViews()) {
    b.box.SetFault(f.fault);
    b.window.Refresh();
    EXPECT_EQ(b.Model().fault, f.fault) << BoxFaultName(f.fault);
  }
  EXPECT_EQ(FaultViewOf(BoxFault::kNone).tone, Tone::kNormal);
  EXPECT_EQ(FaultViewOf(BoxFault::kSilent).tone, Tone::kWarning);
  EXPECT_EQ(FaultViewOf(BoxFault::kVanished).tone, Tone::kGone);

  // It paints.
  const QImage image = b.window.grab().toImage();
  EXPECT_FALSE(image.isNull());
}

TEST(SimView, Rob5CarriageExtraOutputsAndInput11) {
  Bench b(Layout::kRob5, {0, 0, 0, 500, 0});
  ASSERT_EQ(b.Model().axes.size(), 5u);
  EXPECT_TRUE(b.Model().rob5);
  EXPECT_DOUBLE_EQ(b.Model().carriage, 500.0 / 1100);
  EXPECT_FALSE(b.Model().m6 || b.Model().m7 || b.Model().input11);

  b.Run(Motor(5, 1) | Motor(6, 2) | Motor(7, 1), 1000);
  const ViewModel& m = b.Model();
  EXPECT_DOUBLE_EQ(m.carriage, 460.0 / 1100);
  EXPECT_EQ(m.axes[3].name, "Wagen");
  EXPECT_EQ(m.axes[3].direction, -1);
  EXPECT_TRUE(m.m6);
  EXPECT_TRUE(m.m7);
  EXPECT_TRUE(m.axes[0].endSwitch);

  b.robot.SetExtraInput(11, true);
  b.Run(Motor(6, 2), 10);
  EXPECT_TRUE(b.Model().input11);
  EXPECT_TRUE(b.Model().m6);
  EXPECT_FALSE(b.Model().m7);
}

TEST(SimView, EachControlSetsWhatItNames) {
  Bench b(Layout::kRob5, {10, 20, 30, 40, 5});

  // Every fault of the table has its control; a final one (the last clicked) locks them.
  std::vector<FaultView> faults;
  for (const FaultView& f : FaultViews())
    if (!f.final) faults.push_back(f);
  for (const FaultView& f : FaultViews())
    if (f.final) faults.push_back(f);
  for (const FaultView& f : faults) {
    auto* option =
        b.Control<QAbstractButton>(("optFault_" + std::string(BoxFaultName(f.fault))).c_str());
    ASSERT_NE(option, nullptr);
    ASSERT_TRUE(option->isEnabled()) << BoxFaultName(f.fault);
    b.Click(option);
    EXPECT_EQ(b.box.Fault(), f.fault) << BoxFaultName(f.fault);
    EXPECT_TRUE(option->isChecked()) << BoxFaultName(f.fault);
    EXPECT_EQ(option->isEnabled(), !f.final) << BoxFaultName(f.fault);
    if (f.final) break;
  }

  auto* input11 = b.Control<QCheckBox>("chkInput11");
  ASSERT_NE(input11, nullptr);
  b.Click(input11);
  EXPECT_TRUE(b.robot.ExtraInput(11));
  EXPECT_TRUE(b.Model().input11);
  b.Click(input11);
  EXPECT_FALSE(b.robot.ExtraInput(11));

  const char* sliders[2] = {"sldEX", "sldEY"};
  for (int ch = 0; ch < 2; ++ch) {
    auto* slider = b.Control<QSlider>(sliders[ch]);
    ASSERT_NE(slider, nullptr);
    slider->setValue(1000 + ch);
    EXPECT_EQ(b.box.Analog(ch), 1000 + ch);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_PageUp);
    EXPECT_EQ(b.box.Analog(ch), 1128 + ch);
    EXPECT_EQ(b.Control<QLabel>(ch == 0 ? "lblEX" : "lblEY")->text(), QString::number(1128 + ch));
  }

  for (int axis = 1; axis <= 5; ++axis) {
    const std::string n = std::to_string(axis);
    auto* stuck = b.Control<QCheckBox>(("chkStuck" + n).c_str());
    auto* broken = b.Control<QCheckBox>(("chkEndBroken" + n).c_str());
    ASSERT_TRUE(stuck && broken);
    b.Click(stuck);
    EXPECT_TRUE(b.robot.StuckImpulse(axis));
    EXPECT_FALSE(b.robot.EndSwitchBroken(axis));
    b.Click(broken);
    EXPECT_TRUE(b.robot.EndSwitchBroken(axis));
    EXPECT_TRUE(b.Model().axes[static_cast<size_t>(axis - 1)].endSwitchBroken);
    b.Click(stuck);
    EXPECT_FALSE(b.robot.StuckImpulse(axis));
  }

  // What the keys change behind the window's back shows in its controls at the next frame.
  b.robot.SetEndSwitchBroken(2, false);
  b.robot.SetStuckImpulse(3, true);
  b.robot.SetExtraInput(11, true);
  b.box.SetAnalog(0, 256);
  b.window.Refresh();
  EXPECT_FALSE(b.Control<QCheckBox>("chkEndBroken2")->isChecked());
  EXPECT_TRUE(b.Control<QCheckBox>("chkStuck3")->isChecked());
  EXPECT_TRUE(input11->isChecked());
  EXPECT_EQ(b.Control<QSlider>("sldEX")->value(), 256);
}

// The window carries the program's icon, at every size the program has it.
TEST(SimView, ShowsTheProgramsIcon) {
  Bench b(Layout::kStandard, {0, 0, 0, 0});
  const QIcon icon = b.window.windowIcon();
  for (int size : {32, 48, 256}) {
    const QImage expected = QImage(QStringLiteral(KELVORA_ICON_DIR "/kelvora-%1.png").arg(size))
                                .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_FALSE(expected.isNull()) << size;
    EXPECT_EQ(icon.pixmap(size, size).toImage().convertToFormat(expected.format()), expected)
        << size;
  }
}

TEST(SimView, ABrokenEndSwitchStaysDarkAtZero) {
  Bench b(Layout::kStandard, {0, 5, 5, 5});
  EXPECT_TRUE(b.Model().axes[0].endSwitch);
  b.robot.SetEndSwitchBroken(1, true);
  b.window.Refresh();
  EXPECT_FALSE(b.Model().axes[0].endSwitch);
  EXPECT_TRUE(b.Model().axes[0].endSwitchBroken);
}

}  // namespace
}  // namespace kelvora::sim::view
