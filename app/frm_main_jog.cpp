// SPDX-License-Identifier: MIT
// Jogging with the mouse, the gripper and extra outputs, and the live display of the
// main window.
#include <QEvent>
#include <QLabel>

#include "access/brel_consts.h"
#include "app/frm_main.h"
#include "app/script_player.h"
#include "ui_frm_main.h"

namespace kelvora::app {

namespace {

const QColor kLime(0, 255, 0);
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);

}  // namespace

void TfrmMain::SetGripper(int32_t value) {
  app::SetGripper(*robot_, settings_, lineValues_, value);
}

void TfrmMain::SetExtra(int output, int32_t value) {
  app::SetExtra(*robot_, lineValues_, output, value);
}

void TfrmMain::lblM4Click(TTagLabel* label) {
  SetMode(4);
  robot_->ClearStopFlag();
  SetGripper(label->Tag);
  SetMode(3);
}

void TfrmMain::lblM6Click(TTagLabel* label) {
  SetMode(4);
  robot_->ClearStopFlag();
  SetExtra(6, label->Tag);
  SetMode(3);
}

void TfrmMain::lblM7Click(TTagLabel* label) {
  SetMode(4);
  robot_->ClearStopFlag();
  SetExtra(7, label->Tag);
  SetMode(3);
}

void TfrmMain::lblM8Click(TTagLabel* label) {
  SetMode(4);
  robot_->ClearStopFlag();
  SetExtra(8, label->Tag);
  SetMode(3);
}

// ---- Jogging ------------------------------------------------------------------------

void TfrmMain::shpMotMouseDown(TShape* shape, Qt::MouseButton /*button*/) {
  static constexpr int kAxis[9] = {0, 1, 1, 2, 2, 3, 3, 4, 4};
  static constexpr int kDirection[9] = {0, 1, 2, 1, 2, 1, 2, 1, 2};
  const int tag = shape->Tag;
  if (tag < 1 || tag > 8) return;
  // (A second button pressed on a held arrow never gets here: a jog runs below.)
  robot_->ClearStopFlag();
  jogging_ = true;
  jogShape_ = shape;
  struct Done {
    TfrmMain* w;
    ~Done() {
      w->jogging_ = false;
      w->jogShape_ = nullptr;
    }
  } done{this};
  robot_->JogAxis(kAxis[tag], kDirection[tag]);
}

void TfrmMain::shpMotMouseUp(TShape* /*shape*/, Qt::MouseButton /*button*/) {
  if (robot_) robot_->StopFlag = true;
}

void TfrmMain::EndJog() {
  if (jogging_ && robot_) robot_->StopMoving();
}

void TfrmMain::OnApplicationStateChanged(Qt::ApplicationState state) {
  if (state != Qt::ApplicationActive) EndJog();
}

bool TfrmMain::event(QEvent* event) {
  // A release that never arrives must not leave a motor running.
  if (event->type() == QEvent::WindowDeactivate) EndJog();
  return QMainWindow::event(event);
}

// ---- Display ------------------------------------------------------------------------

void TfrmMain::tmrITimer() {
  if (!robot_) return;
  // What the motion guard did meanwhile changes positions; a fault outside any command
  // (a motor run from the panel that stalled, the line lost while an output was on) is
  // told from here.
  robot_->CheckGuard();
  const uint32_t motorWord = robot_->MotorWord();
  const bool failed = robot_->GetInputs() == access::kInterfaceError;
  RunCommand([this] { ReportRobotFaults(); });
  if (failed) {
    ui_->shpInterface->SetBrushColor(kRed);
    return;
  }
  ui_->shpInterface->SetBrushColor(kLime);
  auto active = [motorWord](uint32_t mask) { return (motorWord & mask) != 0 ? kLime : kWhite; };
  auto pos = [this](int axis) {
    return QString::number(robot_->Axes.GetPos(axis, access::mcPosition));
  };
  ui_->lblM1Pos->setText(pos(1));
  ui_->shpSaule->SetBrushColor(active(0x0003));
  ui_->lblM2Pos->setText(pos(2));
  ui_->shpArmH->SetBrushColor(active(0x000C));
  ui_->lblM3Pos->setText(pos(3));
  ui_->shpArmV->SetBrushColor(active(0x0030));
  ui_->shpZusatz->SetBrushColor(active(0x00C0));
  if (settings_.IsRob5()) {
    ui_->lblM5Pos->setText(pos(4));
    ui_->shpWagen->SetBrushColor(active(0x0300));
    ui_->shpM6->SetBrushColor(active(0x0C00));
    ui_->shpM7->SetBrushColor(active(0x3000));
    ui_->shpM8->SetBrushColor(robot_->GetInput(11) ? kLime : kWhite);
  }
}

}  // namespace kelvora::app
