// Jogging with the mouse, the gripper and extra outputs, and the live display of the
// main window.
#include <QEvent>
#include <QLabel>

#include "access/brel_consts.h"
#include "app/frm_main.h"
#include "app/script_player.h"

namespace kelvora::app {

namespace {

const QColor kLime(0, 255, 0);
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);

}  // namespace

void TfrmMain::SetGripper(int32_t value) {
  app::SetGripper(*Robot, Settings, LineValues, value);
}

void TfrmMain::SetExtra(int output, int32_t value) {
  app::SetExtra(*Robot, LineValues, output, value);
}

void TfrmMain::lblM4Click(TTagLabel* label) {
  SetMode(4);
  Robot->ClearStopFlag();
  SetGripper(label->Tag);
  SetMode(3);
}

void TfrmMain::lblM6Click(TTagLabel* label) {
  SetMode(4);
  Robot->ClearStopFlag();
  SetExtra(6, label->Tag);
  SetMode(3);
}

void TfrmMain::lblM7Click(TTagLabel* label) {
  SetMode(4);
  Robot->ClearStopFlag();
  SetExtra(7, label->Tag);
  SetMode(3);
}

void TfrmMain::lblM8Click(TTagLabel* label) {
  SetMode(4);
  Robot->ClearStopFlag();
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
  Robot->ClearStopFlag();
  jogging_ = true;
  jogShape_ = shape;
  struct Done {
    TfrmMain* w;
    ~Done() {
      w->jogging_ = false;
      w->jogShape_ = nullptr;
    }
  } done{this};
  Robot->JogAxis(kAxis[tag], kDirection[tag]);
}

void TfrmMain::shpMotMouseUp(TShape* /*shape*/, Qt::MouseButton /*button*/) {
  if (Robot) Robot->StopFlag = true;
}

void TfrmMain::EndJog() {
  if (jogging_ && Robot) Robot->StopMoving();
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
  if (!Robot) return;
  // What the motion guard did meanwhile changes positions; a fault outside any command
  // (a motor run from the panel that stalled, the line lost while an output was on) is
  // told from here.
  Robot->CheckGuard();
  const uint32_t motorWord = Robot->MotorWord();
  const bool failed = Robot->GetInputs() == access::kInterfaceError;
  RunCommand([this] { ReportRobotFaults(); });
  if (failed) {
    shpInterface->SetBrushColor(kRed);
    return;
  }
  shpInterface->SetBrushColor(kLime);
  auto active = [motorWord](uint32_t mask) { return (motorWord & mask) != 0 ? kLime : kWhite; };
  auto pos = [this](int axis) {
    return QString::number(Robot->Axes.GetPos(axis, access::mcPosition));
  };
  lblM1Pos->setText(pos(1));
  shpSaule->SetBrushColor(active(0x0003));
  lblM2Pos->setText(pos(2));
  shpArmH->SetBrushColor(active(0x000C));
  lblM3Pos->setText(pos(3));
  shpArmV->SetBrushColor(active(0x0030));
  shpZusatz->SetBrushColor(active(0x00C0));
  if (Settings.IsRob5()) {
    lblM5Pos->setText(pos(4));
    shpWagen->SetBrushColor(active(0x0300));
    shpM6->SetBrushColor(active(0x0C00));
    shpM7->SetBrushColor(active(0x3000));
    shpM8->SetBrushColor(Robot->GetInput(11) ? kLime : kWhite);
  }
}

}  // namespace kelvora::app
