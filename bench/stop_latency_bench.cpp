// SPDX-License-Identifier: MIT
// How quickly a stop reaches the robot: the time from a HALT click, a jog release and
// an Esc press during a move to the motor word 0 arriving on the virtual box's wire.
// The whole stack runs in virtual time (window, robot, driver, box), so the figures are
// exact and repeatable; the stop lands at a random control cycle of each trial.
// Target: at most two poll periods (20 ms).
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "access/brel_mot_list.h"
#include "app/frm_main.h"
#include "platform/gui_hooks_qt.h"
#include "sim/virtual_robot.h"
#include "tests/support/window_controls.h"

namespace {

using kelvora::app::ControlOf;
using kelvora::app::TfrmMain;

class SilentPrompts : public kelvora::app::Prompts {
 public:
  void Error(QWidget*, const QString& t, const QString& x) override {
    std::fprintf(stderr, "error: %s: %s\n", qPrintable(t), qPrintable(x));
  }
  void Info(QWidget*, const QString&, const QString&) override {}
  bool Question(QWidget*, const QString&, const QString&) override { return false; }
  QString OpenFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString SaveFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
};

struct Figures {
  const char* name;
  std::vector<uint64_t> ms;
};

void Report(Figures& f, uint32_t pollMs) {
  std::sort(f.ms.begin(), f.ms.end());
  const size_t n = f.ms.size();
  if (n == 0) {
    std::printf("%-12s no trials\n", f.name);
    return;
  }
  double mean = 0;
  for (uint64_t v : f.ms) mean += static_cast<double>(v);
  mean /= static_cast<double>(n);
  const uint64_t worst = f.ms.back();
  std::printf(
      "%-12s trials %4zu  min %3llu ms  median %3llu ms  mean %5.1f ms  p99 %3llu ms  "
      "max %3llu ms  = %.1f poll periods  %s\n",
      f.name, n, static_cast<unsigned long long>(f.ms.front()),
      static_cast<unsigned long long>(f.ms[n / 2]), mean,
      static_cast<unsigned long long>(f.ms[std::min(n - 1, n * 99 / 100)]),
      static_cast<unsigned long long>(worst), static_cast<double>(worst) / pollMs,
      worst <= 2 * pollMs ? "ok" : "ABOVE TARGET");
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const int trials = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;

  kelvora::sim::RobotRigOptions options;
  options.start = {120, 80, 60, 10};
  kelvora::sim::RobotRig rig(options);
  QTemporaryDir dir;
  SilentPrompts prompts;
  kelvora::app::SetPrompts(&prompts);
  kelvora::platform::InstallQtGuiHooks();  // the real pump and the real Esc filter

  auto form = std::make_unique<TfrmMain>(nullptr, dir.path().toStdString() + "/");
  form->show();
  QPushButton* action = ControlOf<QPushButton>(*form, "cmdAction");
  QWidget* arrow = ControlOf<kelvora::app::TShape>(*form, "shpM1R");  // column to the right
  QTest::mouseClick(action, Qt::LeftButton);                          // EIN
  QTest::mouseClick(action, Qt::LeftButton);                          // STARTEN
  if (form->PrgModus() != 3) {
    std::fprintf(stderr, "the window did not reach mode 3\n");
    return 1;
  }
  kelvora::access::TBrelRobot& robot = *form->Robot();
  const uint32_t pollMs = robot.Record.PollInterval;

  // Watches the wire every virtual millisecond once a stop has been given.
  uint64_t stopAt = 0, zeroAt = 0;
  bool watching = false;
  rig.clock.AddStepper([&](uint64_t now) {
    if (watching && zeroAt == 0 && rig.box.MotorWord() == 0) zeroAt = now;
  });

  std::mt19937 random(20261207);
  auto trial = [&](Figures& figures, const std::function<void()>& start,
                   const std::function<void()>& stop) {
    const int atCycle = std::uniform_int_distribution<int>(3, 40)(random);
    int cycle = 0;
    watching = false;
    zeroAt = 0;
    // A random phase between the control loop and the driver's poll timer.
    rig.Advance(std::uniform_int_distribution<uint32_t>(0, pollMs - 1)(random));
    robot.OnMoveStep = [&](kelvora::access::TBrelRobot&) {
      if (++cycle != atCycle) return;
      // The motor must be running on the wire when the stop comes.
      if (rig.box.MotorWord() == 0) return;
      stopAt = rig.clock.NowMs();
      watching = true;
      stop();
    };
    start();
    robot.OnMoveStep = nullptr;
    // Let a tick pass in case the move ended without one.
    rig.Advance(2 * pollMs);
    if (watching && zeroAt != 0) figures.ms.push_back(zeroAt - stopAt);
    watching = false;
  };
  // Puts the column (and the program's belief) back at 0 between trials.
  auto rehome = [&] {
    rig.robot.SetPosition(1, 0);
    robot.Axes.SetPos(1, kelvora::access::mcPosition, 0);
    rig.Advance(2 * pollMs);
  };

  Figures halt{"HALT", {}};
  for (int i = 0; i < trials; ++i) {
    rig.robot.SetPosition(1, 200);  // far from its switch: the home run drives it
    rig.Advance(2 * pollMs);        // the driver sees the switch open
    trial(
        halt, [&] { QTest::mouseClick(action, Qt::LeftButton); },
        [&] { QTest::mouseClick(action, Qt::LeftButton); });
    QTest::mouseClick(action, Qt::LeftButton);  // HOME to finish
  }

  Figures release{"jog release", {}};
  for (int i = 0; i < trials; ++i) {
    rehome();
    trial(
        release, [&] { QTest::mousePress(arrow, Qt::LeftButton); },
        [&] { QTest::mouseRelease(arrow, Qt::LeftButton, {}, QPoint(-30, -30)); });
  }

  Figures esc{"Esc", {}};
  for (int i = 0; i < trials; ++i) {
    rehome();
    trial(
        esc, [&] { QTest::mousePress(arrow, Qt::LeftButton); },
        [&] { QTest::keyClick(form.get(), Qt::Key_Escape); });
    QTest::mouseRelease(arrow, Qt::LeftButton);
  }

  std::printf(
      "Stop to motor word 0 on the virtual box's wire (virtual time, poll period %u ms,"
      " control cycle %u ms):\n",
      pollMs, robot.LoopPause);
  Report(halt, pollMs);
  Report(release, pollMs);
  Report(esc, pollMs);

  form->close();
  form.reset();
  kelvora::app::SetPrompts(nullptr);
  kelvora::platform::SetGuiHooks(nullptr);
  return 0;
}
