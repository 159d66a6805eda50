// SPDX-License-Identifier: MIT
// kelvora-sim's robot window and the program's main window on one screen, offscreen at the
// size the test is run with (1280 x 720 and 1920 x 1080, a configuration file for the
// offscreen platform): the robot window opens where the main window does not, the main
// window clear of it wherever it was stored, both whole on the screen. The robot is drawn
// smaller only where the screen asks for it; its banner and controls keep their size.
#include <QAbstractButton>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include "platform/window_pair_qt.h"
#include "settings/program_settings.h"
#include "sim/robot.h"
#include "sim/view/sim_view_qt.h"
#include "sim/virtual_box.h"
#include "tests/support/main_window_rig.h"
#include "tests/support/scoped_env.h"

namespace kelvora::app {
namespace {

struct RobotWindow {
  explicit RobotWindow(sim::Layout layout)
      : robot(sim::RobotOptions{.layout = layout, .start = {}}),
        target(robot, box),
        window(target) {}
  sim::VirtualBox box;
  sim::Robot robot;
  sim::view::ViewTarget target;
  sim::view::SimView window;
};

class WindowPairTest : public MainWindowRig {};

TEST_F(WindowPairTest, NeitherWindowCoversTheOther) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  ASSERT_GE(screen.width(), 1280);
  ASSERT_GE(screen.height(), 720);
  const bool roomy = screen.width() >= 1920;
  kelvora::testing::ScopedEnv env({platform::kSimWindowVariable});
  const QPoint stored[] = {{50, 50}, {700, 50}, {300, 200}, {screen.right() - 700, 300}};
  for (const sim::Layout layout : {sim::Layout::kStandard, sim::Layout::kRob5}) {
    RobotWindow robot(layout);
    const QSize natural = robot.window.sizeHint();
    const QRect planned = sim::view::PlaceBesideProgram(robot.window);
    robot.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&robot.window));
    const QRect robotFrame = robot.window.frameGeometry();
    SCOPED_TRACE(::testing::Message() << "robot window " << robotFrame.x() << "," << robotFrame.y()
                                      << " " << robotFrame.width() << "x" << robotFrame.height()
                                      << " scale " << robot.window.Drawing().Scale());
    EXPECT_TRUE(planned.contains(robotFrame)) << "the frame allowance covers the real frame";
    EXPECT_TRUE(screen.contains(robotFrame));
    // Full size on the large screen; on the small one just as much smaller as it must be.
    if (roomy) {
      EXPECT_EQ(robot.window.Drawing().Scale(), 1.0);
      EXPECT_EQ(robot.window.size(), natural);
    } else {
      EXPECT_LT(robot.window.Drawing().Scale(), 1.0);
      EXPECT_GE(robot.window.Drawing().Scale(), 0.7);
    }
    kelvora::testing::ScopedEnv::Set(platform::kSimWindowVariable,
                                     platform::FormatArea(planned).c_str());
    for (const QPoint& at : stored) {
      SCOPED_TRACE(::testing::Message() << "stored at " << at.x() << "," << at.y());
      Make({.layout = layout,
            .ini = QStringLiteral("[Common]\r\nLeft=%1\r\nTop=%2\r\n")
                       .arg(at.x())
                       .arg(at.y())
                       .toLatin1()});
      ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
      // what the simulator plans with is the main window's own size and default place
      EXPECT_EQ(form->size(), platform::kMainWindowSize);
      const settings::ProgramSettings defaults;
      EXPECT_EQ(QPoint(defaults.Left, defaults.Top), platform::kMainWindowPlace);
      const QRect mainFrame = form->frameGeometry();
      EXPECT_FALSE(mainFrame.intersects(robotFrame));
      EXPECT_TRUE(screen.contains(mainFrame));
      if (!platform::PlannedFrame(at, platform::kMainWindowSize).intersects(planned)) {
        EXPECT_EQ(form->pos(), at) << "left alone";
      }
      TearDown();
    }
  }
}

// The banner keeps the window's lettering, bold, and shows every fault's text whole down
// to the smallest scale the window is placed at; the controls beside the drawing keep their
// own size.
TEST_F(WindowPairTest, BannerAndControlsKeepTheirSizeInTheSmallerDrawing) {
  RobotWindow robot(sim::Layout::kRob5);
  QAbstractButton* fault = robot.window.findChild<QAbstractButton*>("optFault_none");
  ASSERT_NE(fault, nullptr);
  const QSize control = fault->sizeHint();
  const double smallest = robot.window.Drawing().SmallestScale();
  EXPECT_GT(smallest, 0.3);
  EXPECT_LT(smallest, 0.75);
  for (const double scale : {1.0, 0.8, smallest}) {
    SCOPED_TRACE(scale);
    robot.window.SetDrawingScale(scale);
    robot.window.adjustSize();
    const sim::view::RobotDrawing& drawing = robot.window.Drawing();
    EXPECT_EQ(drawing.BannerFont().pointSizeF(), robot.window.font().pointSizeF());
    EXPECT_TRUE(drawing.BannerFont().bold());
    const QFontMetrics metrics(drawing.BannerFont());
    for (const sim::view::FaultView& f : sim::view::FaultViews()) {
      const QString text = QStringLiteral("SIMULATION – ") + QString::fromUtf8(f.banner);
      EXPECT_LE(metrics.horizontalAdvance(text), drawing.width() - 8) << f.banner;
    }
    EXPECT_EQ(fault->sizeHint(), control);
    EXPECT_GE(fault->width(), control.width());
  }
}

// What kelvora-sim hands over is read strictly: anything but four integers, a positive
// size among them, names no window, and the program opens where it would have.
TEST(SimWindowArea, OnlyFourIntegersWithAPositiveSizeNameAWindow) {
  const QRect frame(-20, 35, 640, 480);
  EXPECT_EQ(platform::ParseArea(platform::FormatArea(frame).c_str()), frame);
  for (const char* text : {"", "1,2,3", "1,2,3,4,5", "1,2,0,4", "1,2,3,-4", "a,2,3,4", "1, 2,3,4",
                           "1,2,3,4 ", "99999999999,2,3,4", "1,2,3,4x"}) {
    EXPECT_EQ(platform::ParseArea(text), std::nullopt) << text;
  }
  EXPECT_EQ(platform::ParseArea(nullptr), std::nullopt);
  kelvora::testing::ScopedEnv env({platform::kSimWindowVariable});
  kelvora::testing::ScopedEnv::Set(platform::kSimWindowVariable, "0,0,garbage");
  EXPECT_EQ(platform::PlaceClearOfSimWindow(QPoint(50, 50), platform::kMainWindowSize),
            QPoint(50, 50));
}

}  // namespace
}  // namespace kelvora::app
