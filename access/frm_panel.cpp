// SPDX-License-Identifier: MIT
#include "access/frm_panel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include "access/brel_consts.h"
#include "access/brel_face.h"
#include "platform/form_setup_qt.h"
#include "platform/gui_hooks.h"
#include "platform/gui_hooks_qt.h"
#include "ui_frm_panel.h"

namespace kelvora::access {

namespace {

// Right edge of the last indicator place in an input strip.
constexpr int kStripRight = 139;

QString Hex4(uint32_t v) {
  return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

TPanelLamp::TPanelLamp(QWidget* parent) : QWidget(parent), brush_(TfrmPanel::Grey()) {}

void TPanelLamp::SetBrushColor(const QColor& c) {
  if (brush_ == c) return;
  brush_ = c;
  update();
}

void TPanelLamp::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::black);
  p.setBrush(brush_);
  p.drawEllipse(rect().adjusted(0, 0, -1, -1));
}

TfrmPanel::TfrmPanel(TBrelFace& face, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      face_(&face),
      ui_(std::make_unique<Ui::TfrmPanel>()) {
  ui_->setupUi(this);
  platform::SetupFormData(this);
  // The window's face is the system's button colour, which is also the idle colour of
  // the indicators.
  QPalette pal = palette();
  pal.setColor(QPalette::Window, BtnFace());
  setPalette(pal);
  // The right-hand legend of an input strip ends at the strip's last place, whatever
  // its text's width.
  for (QLabel* legend : {ui_->Label10, ui_->Label12})
    legend->move(kStripRight + 2 - legend->width(), legend->y());
  connect(ui_->cmdEnde, &QPushButton::clicked, this, &TfrmPanel::cmdEndeClick);
  connect(ui_->cmdAction, &QPushButton::clicked, this, &TfrmPanel::cmdActionClick);

  tmrI = new QTimer(this);
  tmrI->setObjectName(QStringLiteral("tmrI"));
  tmrI->setInterval(300);
  connect(tmrI, &QTimer::timeout, this, &TfrmPanel::tmrITimer);

  FormCreate();
  // Idle indicators show the button colour; the motor bits and the motor labels take
  // the mouse.
  for (int i = 1; i <= 16; ++i) {
    SetColour(InputLabels[i], BtnFace());
    SetColour(DrehLabels[i], BtnFace());
    DrehLabels[i]->installEventFilter(this);
  }
  for (QLabel* label : findChildren<QLabel*>())
    if (label->property("MotorLabel").toBool()) label->installEventFilter(this);
}

TfrmPanel::~TfrmPanel() = default;

TPanelLamp* TfrmPanel::Lamp() const {
  return ui_->shpPort;
}

QColor TfrmPanel::BtnFace() const {
  return QApplication::palette().color(QPalette::Button);
}

void TfrmPanel::SetColour(QLabel* label, const QColor& c) {
  QPalette pal = label->palette();
  if (label->autoFillBackground() && pal.color(QPalette::Window) == c) return;
  pal.setColor(QPalette::Window, c);
  label->setPalette(pal);
  label->setAutoFillBackground(true);
}

void TfrmPanel::FormCreate() {
  for (int i = 1; i <= 16; ++i) {
    DrehLabels[i] = findChild<QLabel*>(QStringLiteral("lblDreh%1").arg(i, 2, 10, QLatin1Char('0')));
    InputLabels[i] =
        findChild<QLabel*>(QStringLiteral("lblEingabe%1").arg(i, 2, 10, QLatin1Char('0')));
  }
}

void TfrmPanel::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (!e->spontaneous()) {
    FormShow();
  } else {
    tmrI->start();  // back from being minimised
  }
}

// Hidden by any means (EXIT, the close button, Esc's reject, the main window ending
// it, minimised): the panel stops watching and leaves no motor of its own running,
// since nobody could stop it there any more.
void TfrmPanel::hideEvent(QHideEvent* e) {
  FormClose();
  QDialog::hideEvent(e);
}

void TfrmPanel::FormShow() {
  if (!face_->IsExtended()) {
    // Without the extension module only inputs 1..8 and motors 1..4 exist.
    ui_->pnlIn2->hide();
    ui_->pnlMot2->hide();
    const int left = ui_->lblAHex->x();
    ui_->pnlAnalog->move(left, ui_->pnlAnalog->y());
    ui_->pnlButtons->move(left, ui_->pnlButtons->y());
    const int right = ui_->pnlAnalog->x() + ui_->pnlAnalog->width();
    ui_->pnlIn1->move(right - ui_->pnlIn1->width(), ui_->pnlIn1->y());
    ui_->pnlMot1->move(right - ui_->pnlMot1->width(), ui_->pnlMot1->y());
    setFixedWidth(330);
  }
  ui_->lblPort->setText(QString::fromStdString(face_->ActivePort));
  ui_->lblPort->adjustSize();
  tmrI->start();
}

void TfrmPanel::closeEvent(QCloseEvent* e) {
  FormClose();
  QDialog::closeEvent(e);
}

void TfrmPanel::FormClose() {
  tmrI->stop();
  // Only the motors started here: outputs the main window set (M6, M7, the extra
  // motor) stay as they are.
  for (int motor = 1; motor <= 8; ++motor) {
    Held[motor] = false;
    if (Running[motor]) MotorOff(motor);
  }
}

void TfrmPanel::keyPressEvent(QKeyEvent* e) {
  // As in the other dialogs: Esc does not close the panel, Enter does not press a button.
  if (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

bool TfrmPanel::event(QEvent* e) {
  // Another window took the activation: a release made there never reaches the label.
  if (e->type() == QEvent::WindowDeactivate) ReleaseHeld();
  return QDialog::event(e);
}

void TfrmPanel::ReleaseHeld() {
  for (int motor = 1; motor <= 8; ++motor) {
    if (!Held[motor]) continue;
    Held[motor] = false;
    if (!Latched[motor]) MotorOff(motor);
  }
}

void TfrmPanel::tmrITimer() {
  const uint32_t in = face_->InputWord();
  if (in == kInterfaceError) {
    // The other indicators keep their last state until the box answers again.
    ui_->shpPort->SetBrushColor(Red());
    return;
  }
  ui_->shpPort->SetBrushColor(Lime());
  ui_->lblAnalogX->setText(QStringLiteral("%1").arg(face_->GetAnalog(0), 4));
  ui_->lblAnalogY->setText(QStringLiteral("%1").arg(face_->GetAnalog(1), 4));
  const uint32_t mot = face_->MotorWord();
  const int n = face_->IsExtended() ? 16 : 8;
  for (int i = 1; i <= n; ++i) {
    SetColour(InputLabels[i], (in & InputMask[i]) != 0 ? Lime() : BtnFace());
    SetColour(DrehLabels[i], (mot >> (i - 1)) & 1u ? Lime() : BtnFace());
  }
  if (face_->Record.InputCount == 16) {
    ui_->lblAHex->setText(Hex4(mot));
    ui_->lblEHex->setText(Hex4(in));
  } else {
    ui_->lblAHex->setText(Hex4(mot & 0xFF));
    ui_->lblEHex->setText(Hex4(in & 0xFF));
  }
}

bool TfrmPanel::eventFilter(QObject* watched, QEvent* event) {
  auto* label = qobject_cast<QLabel*>(watched);
  if (!label) return QDialog::eventFilter(watched, event);
  const bool motorLabel = label->property("MotorLabel").toBool();
  // A quick second press arrives as a double click: on a direction label it is a press.
  if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
    auto* me = static_cast<QMouseEvent*>(event);
    if (!motorLabel) lblDrehDown(label, (me->modifiers() & Qt::ControlModifier) != 0);
    return true;
  }
  if (event->type() == QEvent::MouseButtonRelease) {
    auto* me = static_cast<QMouseEvent*>(event);
    if (motorLabel) {
      // A click is the left button, released over the label it was pressed on.
      if (me->button() == Qt::LeftButton && label->rect().contains(me->position().toPoint()))
        lblMotorClick(label);
    } else {
      lblDrehUp(label);
    }
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmPanel::lblDrehDown(QLabel* label, bool ctrl) {
  const int tag = label->property("Tag").toInt();
  const int motor = (tag - 1) / 2 + 1;
  const int direction = tag % 2 == 1 ? 1 : 2;
  if (ctrl) Latched[motor] = true;
  Held[motor] = true;
  Running[motor] = true;
  face_->SetMotor(motor, direction);
  SetColour(label, Lime());
  ShowMotorWordFull();
}

void TfrmPanel::lblDrehUp(QLabel* label) {
  const int motor = (label->property("Tag").toInt() - 1) / 2 + 1;
  Held[motor] = false;
  if (!Latched[motor]) MotorOff(motor);
}

void TfrmPanel::lblMotorClick(QLabel* label) {
  const int motor = label->property("Tag").toInt();
  Latched[motor] = false;
  MotorOff(motor);
}

void TfrmPanel::MotorOff(int motor) {
  Running[motor] = false;
  face_->SetMotor(motor, 0);
  SetColour(DrehLabels[2 * motor - 1], BtnFace());
  SetColour(DrehLabels[2 * motor], BtnFace());
  ShowMotorWordFull();
}

void TfrmPanel::ShowMotorWordFull() {
  ui_->lblAHex->setText(Hex4(face_->MotorWord()));
}

void TfrmPanel::cmdActionClick() {
  // StopFlag stays set after the panel closes; the main window clears it before its next
  // command, so a wait started without clearing it ends at once.
  face_->StopFlag = true;
  face_->ClearMotors();
  for (bool& running : Running) running = false;
}

void TfrmPanel::cmdEndeClick() {
  face_->PanelShown = false;
  platform::CurrentGuiHooks().ProcessMessages();
  close();
}

void RegisterPanelFactory(QWidget* owner) {
  QPointer<QWidget> guarded(owner);
  RegisterPanelFactory([guarded](TBrelFace&) -> QWidget* { return guarded.data(); });
}

void RegisterPanelFactory(std::function<QWidget*(TBrelFace& face)> ownerOf) {
  platform::QtGuiHooks::SetPanelFactory(
      [ownerOf = std::move(ownerOf)](TBrelFace& face, bool modal, int left, int top) -> bool {
        QWidget* owner = ownerOf ? ownerOf(face) : nullptr;
        if (owner == nullptr) return false;
        auto* panel = new TfrmPanel(face, owner);
        face.Panel = panel;
        panel->move(left, top);
        if (modal) {
          panel->exec();
        } else {
          panel->show();
        }
        return true;
      });
}

}  // namespace kelvora::access
