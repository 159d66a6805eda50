// SPDX-License-Identifier: MIT
// Everything that can happen in the middle of a movement, on the virtual robot in
// virtual time and with the real modal windows (the interface panel, message boxes,
// file dialogs), closed by the test from inside their own loops. For every activity
// and every interruption, either the activity goes on under control, or its motors are
// off on the wire within two poll periods; no motor runs under a modal window other
// than the panel's own; nothing is freed while a loop still runs below (the address
// sanitizer build runs these too).
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "access/brel_consts.h"
#include "access/frm_panel.h"
#include "app/frm_main.h"
#include "app/script.h"
#include "settings/frm_about.h"
#include "settings/frm_modell.h"
#include "sim/virtual_robot.h"
#include "tests/support/main_window_rig.h"

namespace kelvora::app {
namespace {

enum class Activity { kJog, kHomeRun, kScriptRun, kM8Wait, kZPause, kPanelHeld };
enum class Cut {
  kHalt,        // cmdAction (in the panel: its own HALT)
  kEsc,         // Esc pressed during the activity
  kEscBefore,   // Esc pressed three seconds before the activity started
  kKeyCommand,  // Space on "Position Anfügen" and the accelerator of "&Speichern"
                // (in the panel: Space on EXIT)
  kKeyModal,    // Space on "InterfacePanel", which opens a modal window
  kErrorBox,    // an error escaping a nested handler: the real error box
  kDeactivate,  // another window takes the activation
  kClose,       // the main window is closed (by the window system, a session end)
  kSigterm,     // a termination signal
  kSilent,      // the box stops answering
};
constexpr Cut kAllCuts[] = {Cut::kHalt,     Cut::kEsc,      Cut::kEscBefore,  Cut::kKeyCommand,
                            Cut::kKeyModal, Cut::kErrorBox, Cut::kDeactivate, Cut::kClose,
                            Cut::kSigterm,  Cut::kSilent};
const char* const kCutNames[] = {"HALT",      "Esc",       "Esc before", "key command",
                                 "key modal", "error box", "deactivate", "close",
                                 "SIGTERM",   "box silent"};

// Per cell: true = the activity's motors are off on the wire (a wait or pause has
// ended) within two poll periods; false = it goes on under control.
struct Row {
  Activity activity;
  uint16_t motors;  // what the activity drives; 0 for a wait or pause
  bool stops[10];   // in the order of kAllCuts
};
constexpr bool S = true, G = false;
//                                  HALT Esc bef key modal box deact close TERM silent
constexpr Row kJog{Activity::kJog, 0x0003, {S, S, G, S, S, S, S, S, S, S}};
constexpr Row kHomeRun{Activity::kHomeRun, 0x00FF, {S, S, G, G, G, S, G, G, S, S}};
constexpr Row kScriptRun{Activity::kScriptRun, 0x00FF, {S, G, G, G, G, S, G, G, S, S}};
constexpr Row kM8Wait{Activity::kM8Wait, 0, {S, S, G, G, G, S, G, G, S, S}};
constexpr Row kZPause{Activity::kZPause, 0, {S, S, G, G, G, S, G, G, S, S}};
constexpr Row kPanelHeld{Activity::kPanelHeld, 0x0003, {S, G, G, S, G, S, S, S, S, G}};

constexpr uint32_t kPollsAfter = 25;  // two poll periods and a little

class NestingTest : public MainWindowRig {
 protected:
  // One cell on a window of its own, from switching on to closing.
  void RunCell(const Row& row, int cut) {
    row_ = &row;
    cut_ = kAllCuts[cut];
    SCOPED_TRACE(testing::Message() << "cut: " << kCutNames[cut]);
    Prepare();
    if (cut_ == Cut::kEscBefore) {
      QTest::keyClick(form.get(), Qt::Key_Escape);
      rig->Advance(3000);
    }
    Start();
    if (!sampled_) {  // the activity ended before the sample was due
      const uint64_t now = rig->clock.NowMs();
      if (now < t0_ + kPollsAfter) rig->Advance(static_cast<uint32_t>(t0_ + kPollsAfter - now));
      Sample();
    }
    Finish();
    Verify(row.stops[cut]);
    EndCell();
  }

  void Prepare() {
    switch (row_->activity) {
      case Activity::kHomeRun:
        Make({.start = {200, 150, 120, 20}});
        SwitchOn();
        break;
      case Activity::kM8Wait:
        Make({.layout = sim::Layout::kRob5,
              .start = {50, 40, 30, 60, 10},
              .ini = "[Common]\r\nRobModel=Rob5\r\n"});
        SwitchOnAndHome();
        break;
      case Activity::kZPause:
        Make({.ini = "[Rob3]\r\nRobType=Z\r\n"});
        SwitchOnAndHome();
        break;
      default:
        Make({.start = {120, 80, 60, 10}});
        SwitchOnAndHome();
        break;
    }
    form->CreateDialogs();  // as the program makes them
    if (row_->activity == Activity::kScriptRun) {
      Control<QListWidget>("lstScript")->clear();
      access::TBrelMotList at;
      for (int32_t p : {150, 20}) {
        for (int axis = 1; axis <= 3; ++axis) at.SetPos(axis, access::mcPosition, p);
        const int32_t values[8] = {};
        Control<QListWidget>("lstScript")
            ->addItem(QString::fromStdString(FormatLine(at, values, false)));
      }
    }
    form->InstallSignalHandling();
    SetPrompts(nullptr);  // the real message boxes and file dialogs from here on
    lines_ = Control<QListWidget>("lstScript")->count();
  }

  // Starts the activity; the cut comes after 20 control cycles (the panel: 100 ms after
  // its label was pressed). Returns when the activity has ended.
  void Start() {
    if (row_->activity == Activity::kPanelHeld) {
      WhenModal([](QWidget* w) { return qobject_cast<access::TfrmPanel*>(w) != nullptr; },
                [this](QWidget* w) { InPanel(static_cast<access::TfrmPanel*>(w)); });
      Click("cmdInterface");
      return;
    }
    int cycles = 0;  // the rig calls a copy of onMessages: count outside it
    onMessages = [this, &cycles] {
      ++cycles;
      if (cycles == 20) {
        DoCut();
      } else if (armed_ && !sampled_ && rig->clock.NowMs() >= t0_ + kPollsAfter) {
        Sample();
        Finish();
      } else if (cycles > 3000) {
        Finish();  // never left running, whatever went wrong
      }
    };
    switch (row_->activity) {
      case Activity::kJog:
        QTest::mousePress(Control<TShape>("shpM1R"), Qt::LeftButton);
        break;
      case Activity::kHomeRun:
        Click("cmdAction");  // STARTEN
        break;
      case Activity::kScriptRun:
        Click("cmdScriptStarten");
        break;
      case Activity::kM8Wait:
        Click("lblM8Zu");
        break;
      case Activity::kZPause:
        Click("lblM4Zu");
        break;
      default:
        break;
    }
    onMessages = nullptr;
    tEnd_ = rig->clock.NowMs();
  }

  void InPanel(access::TfrmPanel* panel) {
    panel_ = panel;
    QApplication::setActiveWindow(panel);
    QTest::mousePress(panel->DrehLabel(2), Qt::LeftButton);  // motor 1 right, held
    rig->Advance(100);
    EXPECT_EQ(rig->box.MotorWord(), 0x0002);
    DoCut();
    if (!sampled_) {
      rig->Advance(kPollsAfter);
      Sample();
    }
    Finish();
  }

  // The moment from which the motors must be off within two poll periods.
  void Arm() {
    armed_ = true;
    t0_ = rig->clock.NowMs();
    wordsBefore_ = rig->box.MotorWords().size();
  }

  void DoCut() {
    Arm();
    Interrupt(cut_);
    cutDone_ = rig->clock.NowMs();
  }

  void Interrupt(Cut cut) {
    const bool inPanel = row_->activity == Activity::kPanelHeld;
    switch (cut) {
      case Cut::kHalt:
        Button(inPanel ? static_cast<QWidget*>(panel_.data()) : form.get(), "cmdAction")->click();
        break;
      case Cut::kEsc:
        QTest::keyClick(inPanel ? static_cast<QWidget*>(panel_.data()) : form.get(),
                        Qt::Key_Escape);
        break;
      case Cut::kEscBefore:
        break;
      case Cut::kKeyCommand:
        if (inPanel) {
          QPushButton* exit = Button(panel_, "cmdEnde");
          exit->setFocus();
          QTest::keyClick(exit, Qt::Key_Space);
        } else {
          // Space on a focused button (disabled in mode 4), and a menu accelerator.
          // Should "Speichern" run, its file dialog is counted and cancelled.
          CloseUnexpectedModals();
          Control<QPushButton>("cmdPosAnfugen")->setFocus();
          QTest::keyClick(Control<QPushButton>("cmdPosAnfugen"), Qt::Key_Space);
          Control<QAction>("mnuSpeichern")->trigger();
        }
        break;
      case Cut::kKeyModal:
        // Disabled in mode 4; under the panel it reaches the window only past Qt's
        // modality (as a program's click would), and is refused.
        CloseUnexpectedModals();
        Control<QPushButton>("cmdInterface")->setFocus();
        QTest::keyClick(Control<QPushButton>("cmdInterface"), Qt::Key_Space);
        // The about box's accelerator stays live in mode 4 and under the panel: the gate
        // refuses it there. (A jog has ended at the key above: the box would rightly open.)
        if (row_->activity != Activity::kJog) Control<QAction>("mnuAbout")->trigger();
        break;
      case Cut::kErrorBox:
        WhenModal([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                  [this](QWidget* box) {
                    boxShown_ = true;
                    QCoreApplication::processEvents();  // the box takes the activation
                    rig->Advance(kPollsAfter);
                    Sample();  // with the box up
                    static_cast<QMessageBox*>(box)->buttons().first()->click();
                  });
        RunCommand([] { throw std::runtime_error("Datei X.RB3 kann nicht geöffnet werden"); });
        EXPECT_TRUE(boxShown_);
        break;
      case Cut::kDeactivate:
        other_ = std::make_unique<QWidget>();
        other_->show();
        QApplication::setActiveWindow(other_.get());
        break;
      case Cut::kClose:
        closeAccepted_ = form->close();
        // Whatever the close does, it frees nothing while this loop runs.
        EXPECT_NE(form->Robot(), nullptr);
        break;
      case Cut::kSigterm:
        ::raise(SIGTERM);
        QCoreApplication::processEvents();  // the self-pipe's notifier
        EXPECT_NE(form->Robot(), nullptr);
        break;
      case Cut::kSilent:
        // The program sees it after the read time-out of the next exchange; the motors
        // must be off within two poll periods from then.
        rig->box.SetFault(sim::BoxFault::kSilent);
        while (form->Robot()->InputWord() != access::kInterfaceError) rig->Advance(1);
        Arm();
        // With a motor on, the user is told, once, that the box may keep it running.
        WhenModal(
            [](QWidget* w) {
              auto* box = qobject_cast<QMessageBox*>(w);
              return box != nullptr && box->text().contains(QStringLiteral("antwortet nicht"));
            },
            [this](QWidget* box) {
              ++lostBoxes_;
              static_cast<QMessageBox*>(box)->buttons().first()->click();
            });
        break;
    }
  }

  void Sample() {
    if (sampled_) return;
    sampled_ = true;
    const std::vector<uint16_t> words = rig->box.MotorWords();
    lastWord_ = words.empty() ? 0 : words.back();
    modeAtSample_ = form->PrgModus();
    panelUp_ = panel_ != nullptr && panel_->isVisible();
    // Every exchange from the second after the cut on.
    offSince_ = words.size() >= wordsBefore_ + 2;
    wire_.clear();
    for (size_t k = wordsBefore_; k < words.size(); ++k) {
      wire_ += " " + std::to_string(words[k]);
      if (k >= wordsBefore_ + 1 && (words[k] & row_->motors) != 0) offSince_ = false;
    }
  }

  // Lets an activity that goes on end as its user would.
  void Finish() {
    if (Control<TShape>("shpM1R")->Pressed())
      QTest::mouseRelease(Control<TShape>("shpM1R"), Qt::LeftButton);
    if (row_->activity == Activity::kM8Wait) rig->SetInput(11, true);
    if (panel_ && panel_->isVisible()) {
      QTest::mouseRelease(panel_->DrehLabel(2), Qt::LeftButton);
      Button(panel_, "cmdEnde")->click();
    }
  }

  void Verify(bool stops) {
    const Row& row = *row_;
    EXPECT_TRUE(armed_) << "the activity ended before the cut";
    if (stops) {
      if (row.motors != 0) {
        EXPECT_TRUE(offSince_) << "on the wire after the cut:" << wire_;
      } else {
        EXPECT_LE(tEnd_ - cutDone_, 20u) << "the wait went on";
      }
    } else {
      switch (row.activity) {
        case Activity::kScriptRun:  // line 2 was driven after all
          for (int axis = 1; axis <= 3; ++axis) EXPECT_NEAR(rig->Position(axis), 20, 2) << axis;
          break;
        case Activity::kM8Wait:
        case Activity::kZPause:
          EXPECT_EQ(modeAtSample_, 4) << "the wait ended";
          break;
        default:
          EXPECT_NE(lastWord_ & row.motors, 0) << "motor word " << lastWord_;
          break;
      }
    }
    // What else each cell promises.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(unexpectedModals_, 0);
    EXPECT_EQ(Control<QListWidget>("lstScript")->count(), lines_);  // no command ran inside
    // No panel was opened inside a movement (a closed-down window has none left).
    EXPECT_EQ(form->findChildren<access::TfrmPanel*>().size(),
              row.activity == Activity::kPanelHeld && form->Robot() ? 1u : 0u);
    if (row.activity == Activity::kPanelHeld && cut_ != Cut::kSigterm) {
      // EXIT, and the main window's close, end the panel; nothing else does.
      EXPECT_EQ(panelUp_, cut_ != Cut::kKeyCommand && cut_ != Cut::kClose);
    }
    if (row.activity == Activity::kZPause) {
      // The extra motor is an output the user switched on; only the end switches it off.
      EXPECT_EQ(rig->box.MotorWord() & 0x00C0, cut_ == Cut::kSigterm ? 0 : 0x0040);
    }
    if (cut_ == Cut::kClose) {
      // Refused under a movement (mode 4 or a jog); under the panel it waited until the
      // panel had closed.
      EXPECT_FALSE(closeAccepted_);
      const bool closed = row.activity == Activity::kPanelHeld;
      EXPECT_EQ(form->isVisible(), !closed);
      EXPECT_EQ(form->Robot() == nullptr, closed);
    }
    if (cut_ == Cut::kSigterm) {
      ASSERT_NE(form->Robot(), nullptr);
      EXPECT_FALSE(form->Robot()->Opened);
    }
    if (cut_ == Cut::kSilent) {
      // Every activity but the M8 wait had a motor on: its own, the panel's, motor 4.
      EXPECT_EQ(lostBoxes_, row.activity == Activity::kM8Wait ? 0 : 1);
    }
    if (cut_ == Cut::kEscBefore && row.activity == Activity::kHomeRun) {
      for (int axis = 1; axis <= 4; ++axis) EXPECT_NEAR(rig->Position(axis), 0, 1.0) << axis;
    }
  }

  void EndCell() {
    TearDown();
    form.reset();
    rig.reset();
    other_.reset();
    QFile::remove(dir.filePath("Kelvora.INI"));
    armed_ = sampled_ = boxShown_ = closeAccepted_ = false;
    panel_ = nullptr;
    unexpectedModals_ = 0;
    lostBoxes_ = 0;
    watchers_.clear();
  }

  // Runs act on the next modal window that which accepts, from inside its own loop;
  // no longer once the cell has ended.
  void WhenModal(std::function<bool(QWidget*)> which, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    watchers_.emplace_back(timer);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, which, act] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || !modal->isVisible() || !which(modal)) return;
      timer->stop();
      act(modal);
    });
    timer->start();
  }
  // A modal window that comes up (other than the panel the cell opened) is counted and
  // cancelled.
  void CloseUnexpectedModals() {
    WhenModal([this](QWidget* w) { return w != panel_.data(); },
              [this](QWidget* w) {
                ++unexpectedModals_;
                if (auto* dialog = qobject_cast<QDialog*>(w)) dialog->reject();
              });
  }

  static QPushButton* Button(QWidget* parent, const char* name) {
    return parent->findChild<QPushButton*>(QLatin1String(name));
  }

  const Row* row_ = nullptr;
  Cut cut_ = Cut::kHalt;
  bool armed_ = false, sampled_ = false, boxShown_ = false, closeAccepted_ = false;
  uint64_t t0_ = 0, cutDone_ = 0, tEnd_ = 0;
  size_t wordsBefore_ = 0;
  uint16_t lastWord_ = 0;
  int modeAtSample_ = 0;
  bool panelUp_ = false;
  bool offSince_ = false;
  std::string wire_;
  int lines_ = 0;
  QPointer<access::TfrmPanel> panel_;  // goes with the robot at shutdown
  std::unique_ptr<QWidget> other_;
  std::vector<std::unique_ptr<QTimer>> watchers_;
  int unexpectedModals_ = 0;
  int lostBoxes_ = 0;
};

TEST_F(NestingTest, Jog) {
  for (int cut = 0; cut < 10; ++cut) RunCell(kJog, cut);
}
TEST_F(NestingTest, HomeRun) {
  for (int cut = 0; cut < 10; ++cut) RunCell(kHomeRun, cut);
}
TEST_F(NestingTest, ScriptRun) {
  for (int cut = 0; cut < 10; ++cut) RunCell(kScriptRun, cut);
}
TEST_F(NestingTest, M8Wait) {
  for (int cut = 0; cut < 10; ++cut) RunCell(kM8Wait, cut);
}
TEST_F(NestingTest, ZPause) {
  for (int cut = 0; cut < 10; ++cut) RunCell(kZPause, cut);
}
TEST_F(NestingTest, PanelMotorHeld) {
  for (int cut = 0; cut < 10; ++cut) RunCell(kPanelHeld, cut);
}

TEST_F(NestingTest, ACloseUnderAModalWindowEndsItFirstAndShutsDownAfterwards) {
  enum class Under { kModelDialog, kErrorBox, kOpenDialog, kAboutBox };
  for (Under under :
       {Under::kModelDialog, Under::kErrorBox, Under::kOpenDialog, Under::kAboutBox}) {
    SCOPED_TRACE(static_cast<int>(under));
    const bool before = under == Under::kModelDialog || under == Under::kErrorBox;
    Make({.ini = under == Under::kErrorBox ? "[Port]\r\nPortName=COM7\r\n" : ""});
    // The dialogs as the program makes them.
    form->CreateDialogs();
    if (!before) SwitchOnAndHome();
    SetPrompts(nullptr);
    const int mode = form->PrgModus();
    bool ran = false;
    WhenModal([](QWidget*) { return true; },
              [&](QWidget* modal) {
                ran = true;
                // A click that reaches the window past the modal window does nothing.
                Control<QPushButton>("cmdAction")->click();
                EXPECT_EQ(form->PrgModus(), mode);
                EXPECT_FALSE(form->close());
                EXPECT_FALSE(modal->isVisible());
                EXPECT_NE(form->Robot(), nullptr);  // still used below
                EXPECT_TRUE(form->ClosePending());
              });
    switch (under) {
      case Under::kModelDialog:
        Control<QAction>("mnuModell")->trigger();
        break;
      case Under::kErrorBox:
        Click("cmdAction");  // "EIN" on a port without a box: "Inpterfaceproblem"
        break;
      case Under::kOpenDialog:
        Control<QAction>("mnuOffnen")->trigger();
        break;
      case Under::kAboutBox:
        Control<QAction>("mnuAbout")->trigger();
        break;
    }
    EXPECT_TRUE(ran);
    // The shutdown ran once the command had returned: settings written, robot freed.
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->Robot(), nullptr);
    EXPECT_TRUE(QFile::exists(dir.filePath("Kelvora.INI")));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EndCell();
  }
}

}  // namespace
}  // namespace kelvora::app
