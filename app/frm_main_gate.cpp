// SPDX-License-Identifier: MIT
// The rule for everything that waits in the main window: which commands may start, the
// modal windows opened on top of them, and a close that comes while they run.
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPointer>

#include "app/frm_main.h"
#include "app/robot_faults.h"
#include "platform/user_text_qt.h"
#include "ui_frm_main.h"

namespace kelvora::app {

// ---- The rule for everything that waits -----------------------------------------------

namespace {

// Takes selection, drag and context menu from a read-only text field for its scope.
class QuietDataField {
 public:
  explicit QuietDataField(QPlainTextEdit* field) : field_(field) {
    if (!field_) return;
    flags_ = field_->textInteractionFlags();
    policy_ = field_->contextMenuPolicy();
    field_->setTextInteractionFlags(Qt::NoTextInteraction);
    field_->setContextMenuPolicy(Qt::NoContextMenu);
  }
  ~QuietDataField() {
    if (!field_) return;
    field_->setTextInteractionFlags(flags_);
    field_->setContextMenuPolicy(policy_);
  }
  QuietDataField(const QuietDataField&) = delete;
  QuietDataField& operator=(const QuietDataField&) = delete;

 private:
  QPointer<QPlainTextEdit> field_;
  Qt::TextInteractionFlags flags_;
  Qt::ContextMenuPolicy policy_ = Qt::DefaultContextMenu;
};

}  // namespace

// Counts a frame on the stack, and in `also` (moving_ or modal_) what kind it is.
class TfrmMain::Nest {
 public:
  Nest(TfrmMain& w, int* also) : w_(w), also_(also) {
    ++w_.nesting_;
    if (also_) ++*also_;
  }
  ~Nest() {
    if (also_) --*also_;
    --w_.nesting_;
  }
  Nest(const Nest&) = delete;
  Nest& operator=(const Nest&) = delete;

 private:
  TfrmMain& w_;
  int* also_;
};

void TfrmMain::Command(CommandKind kind, const std::function<void()>& handler) {
  if (kind == CommandKind::kAction) {
    // In mode 4 the button is HALT, which runs nested inside the command that set mode 4.
    kind = prgModus_ == 4 ? CommandKind::kAlways
                          : (prgModus_ == 1 ? CommandKind::kPlain : CommandKind::kMoving);
  }
  if (kind != CommandKind::kAlways) {
    // The program is ending: nothing new starts.
    if (shutDown_ || shuttingDown_) return;
    if (Moving()) {
      // Nothing starts inside a movement: it would run its own move or modal loop on
      // top of it. A command reached from the keyboard during a jog is the user doing
      // something else: the jog ends, as at its release, and the command does not run.
      // Commands in mode 4 are disabled; one that comes anyway is refused.
      EndJog();
      return;
    }
    // A modal window keeps the user's clicks from this window; one that comes anyway
    // (from a program) is refused like them. A close goes to the close, which waits.
    if (modal_ > 0 && kind != CommandKind::kClose) return;
  }
  if (kind == CommandKind::kClose) {
    // Not counted: the close itself decides what runs below it.
    RunCommand(handler);
    return;
  }
  {
    Nest nest(*this, kind == CommandKind::kMoving ? &moving_ : nullptr);
    // Qt's own loops (a text drag, a context menu) would freeze the movement below
    // them: the data field offers neither while anything moves.
    QuietDataField quiet(kind == CommandKind::kMoving ? ui_->memDaten : nullptr);
    RunCommand(handler);
  }
  if (nesting_ == 0) {
    FinishPendingClose();
    // What went wrong in the command is told once it is over.
    RunCommand([this] { ReportRobotFaults(); });
  }
}

void TfrmMain::ReportRobotFaults() {
  if (!robot_ || reportingFaults_ || shutDown_ || shuttingDown_) return;
  if (Moving()) return;  // told when the movement is over
  const access::TBrelRobot::TFaults faults = robot_->TakeFaults();
  if (!faults.Any()) return;
  reportingFaults_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{reportingFaults_};
  for (const platform::UserText& text : FaultTexts(faults, robot_->Axes))
    ShowTopLevelError(platform::Translated(text));
}

void TfrmMain::RunModal(const std::function<void()>& open) {
  // A modal loop keeps the loop below it from running: a movement there must be stopped
  // on the wire before the window opens, or its motors would run on unwatched.
  if (Moving()) EndMovement();
  {
    Nest nest(*this, &modal_);
    open();
  }
  if (nesting_ == 0) FinishPendingClose();
}

void TfrmMain::EndMovement() {
  if (!robot_) return;
  robot_->StopMoving();
  if (prgModus_ == 4) ui_->chkWiederholen->setChecked(false);
}

void TfrmMain::DeferClose() {
  closePending_ = true;
  // Every output off at once: whatever runs below (a panel's motors, say) must not run
  // on while the stack unwinds.
  if (robot_) robot_->ClearMotors();
  // The modal windows on the stack close (a panel switches its motors off as it goes),
  // so that their loops return; the last frame to return runs the shutdown.
  QWidget* modal = QApplication::activeModalWidget();
  while (modal != nullptr) {
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
    QWidget* next = QApplication::activeModalWidget();
    if (next == modal) break;  // it would not go; the user closes it
    modal = next;
  }
}

void TfrmMain::FinishPendingClose() {
  if (!closePending_) return;
  closePending_ = false;
  close();
}

}  // namespace kelvora::app
