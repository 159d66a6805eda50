// SPDX-License-Identifier: MIT
// The main window on the virtual robot, in virtual time, for the tests that click it.
// The fixture is the window's prompt seam and its GUI hooks: message boxes and file
// dialogs are recorded and answered from fields the test sets (or, after
// SetPrompts(nullptr), are the real ones), and the message pump, which moves and waits
// run once per control cycle, calls onMessages so that a test can act "meanwhile", as
// the user would during a run. Esc is the program's own key filter and the interface
// panel the real one.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "app/frm_main.h"
#include "platform/gui_hooks.h"
#include "platform/gui_hooks_qt.h"
#include "sim/virtual_robot.h"
#include "tests/support/window_controls.h"

namespace kelvora::app {

struct MainWindowOptions {
  sim::Layout layout = sim::Layout::kStandard;
  std::vector<double> start = {};  // per axis; empty: the fixture's defaultStart
  QByteArray ini = {};             // settings file written before the window is made
};

class MainWindowRig : public ::testing::Test, public Prompts, public platform::GuiHooks {
 protected:
  struct Dialog {
    QString filter, suffix, folder;
  };

  // Prompts: errors and questions recorded, questions answered with `answer`; file
  // dialogs recorded, returning the path the test set.
  void Error(QWidget*, const QString& title, const QString& text) override {
    errors.push_back(title + " | " + text);
  }
  void Info(QWidget*, const QString& title, const QString& text) override {
    infos.push_back(title + " | " + text);
  }
  bool Question(QWidget*, const QString& title, const QString& text) override {
    questions.push_back(title + " | " + text);
    return answer;
  }
  QString OpenFile(QWidget*, const QString& f, const QString& s, const QString& d) override {
    dialogs.push_back({f, s, d});
    return openResult;
  }
  QString SaveFile(QWidget*, const QString& f, const QString& s, const QString& d) override {
    dialogs.push_back({f, s, d});
    return saveResult;
  }
  // The real pump, then what the test does "meanwhile" (once per control cycle).
  void ProcessMessages() override {
    QCoreApplication::processEvents();
    ++pumps;
    if (auto f = onMessages) f();  // a copy: the callback may clear or replace itself
  }
  bool EscPressed() override { return esc.Query(); }
  void ForgetEscPress() override { esc.ForgetPress(); }
  bool ShowPanel(access::TBrelFace& face, bool modal, int left, int top) override {
    return qtHooks.ShowPanel(face, modal, left, top);
  }

  // The robot first, then the settings file (none for an empty ini), then the window.
  void Make(const MainWindowOptions& options = {}) {
    sim::RobotRigOptions o;
    o.layout = options.layout;
    o.start = options.start.empty() ? defaultStart : options.start;
    rig = std::make_unique<sim::RobotRig>(o);
    ASSERT_TRUE(dir.isValid());
    if (!options.ini.isEmpty()) {
      QFile ini(dir.filePath("Kelvora.INI"));
      ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
      ini.write(options.ini);
      ini.close();
    }
    SetPrompts(this);
    platform::SetGuiHooks(this);
    esc.Reset();
    qApp->installEventFilter(&esc);
    form = std::make_unique<TfrmMain>(nullptr, dir.path().toStdString() + "/");
    form->show();
    QApplication::setActiveWindow(form.get());
  }
  void TearDown() override {
    onMessages = nullptr;
    if (form) {
      if (form->PrgModus() == 4) form->EmergencyStop(SIGTERM);  // frees nothing, closes the port
      form->close();
      form.reset();
    }
    qApp->removeEventFilter(&esc);
    platform::SetGuiHooks(nullptr);
    SetPrompts(nullptr);
    // An emergency stop ends the event loops and leaves Qt refusing new ones (modal
    // windows would return at once) until the application's own loop has run: run it.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
  }

  // A control, menu, menu item or the display timer of the window by its object name.
  template <typename T = QWidget>
  T* Control(const char* name) const {
    return ControlOf<T>(*form, name);
  }
  void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
  void Click(const char* name) { Click(Control(name)); }
  // "EIN": the interface on the virtual box, mode 2.
  void SwitchOn() {
    Click("cmdAction");
    ASSERT_EQ(form->PrgModus(), 2);
  }
  // "EIN", then "STARTEN": the robot at home, mode 3.
  void SwitchOnAndHome() {
    SwitchOn();
    Click("cmdAction");
    ASSERT_EQ(form->PrgModus(), 3);
  }
  // Runs f once, the n-th time the pump runs from now on.
  void After(int n, std::function<void()> f) {
    auto count = std::make_shared<int>(0);
    onMessages = [this, n, count, f] {
      if (++*count == n) {
        onMessages = nullptr;
        f();
      }
    };
  }
  // A message box's record for the program's own title.
  QString Shown(const QString& text) const { return ApplicationTitle() + " | " + text + "."; }

  std::vector<double> defaultStart;  // empty: the layout's own start positions
  std::vector<QString> errors, questions, infos;
  std::vector<Dialog> dialogs;
  bool answer = false;  // "&Nein"
  QString openResult, saveResult;
  std::function<void()> onMessages;
  int pumps = 0;
  platform::EscKeyFilter esc;
  platform::QtGuiHooks qtHooks;  // only for the real panel

  QTemporaryDir dir;
  std::unique_ptr<sim::RobotRig> rig;  // outlives the window, whose robot uses its box
  std::unique_ptr<TfrmMain> form;
};

}  // namespace kelvora::app
