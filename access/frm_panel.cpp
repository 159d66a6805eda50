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
#include "platform/gui_hooks.h"
#include "platform/gui_hooks_qt.h"

namespace kelvora::access {

namespace {

// Left edges of the eight indicator places inside a strip, leftmost first.
constexpr int kStripLeft[8] = {8, 24, 40, 56, 78, 95, 111, 128};
// Left edges of the four motor labels below a motor strip, leftmost first.
constexpr int kMotorLeft[4] = {8, 40, 80, 112};

QFont ArialPx(int px, bool bold = false) {
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(px);
  f.setBold(bold);
  return f;
}

QString Hex4(uint32_t v) {
  return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper();
}

QFrame* MakePanel(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* p = new QFrame(parent);
  p->setObjectName(QString::fromLatin1(name));
  p->setFrameShape(QFrame::NoFrame);
  p->setGeometry(left, top, width, height);
  return p;
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
      face_(&face) {
  setObjectName(QStringLiteral("frmPanel"));
  setWindowTitle(QStringLiteral("BrelFace : Interface Panel"));
  setFont(ArialPx(11));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, BtnFace());
  setPalette(pal);
  setAutoFillBackground(true);
  setFixedSize(430, 286);

  lblEHex = MakeField(this, "lblEHex", 32, 40, 57);
  MakeLabel(this, "Label47", QStringLiteral("Input"), 40, 64, true);
  lblAHex = MakeField(this, "lblAHex", 32, 120, 57);
  MakeLabel(this, "Label48", QStringLiteral("Output"), 40, 152, true);

  pnlIn2 = MakePanel(this, "pnlIn2", 104, 32, 148, 52);
  pnlIn1 = MakePanel(this, "pnlIn1", 264, 32, 148, 52);
  pnlMot2 = MakePanel(this, "pnlMot2", 104, 112, 148, 65);
  pnlMot1 = MakePanel(this, "pnlMot1", 264, 112, 148, 65);
  pnlAnalog = MakePanel(this, "pnlAnalog", 144, 200, 265, 24);
  pnlButtons = MakePanel(this, "pnlButtons", 144, 248, 273, 30);

  BuildInputPanel(pnlIn1, "Panel1", 1, "E8", "Label9", "E1", "Label10");
  BuildInputPanel(pnlIn2, "Panel6", 9, "E16", "Label11", "E9", "Label12");
  BuildMotorPanel(pnlMot1, "Panel4", 1);
  BuildMotorPanel(pnlMot2, "Panel8", 5);

  MakeLabel(pnlAnalog, "Label53", QStringLiteral("Analog"), 8, 3, true);
  MakeLabel(pnlAnalog, "Label52", QStringLiteral("EX"), 72, 3, true);
  lblAnalogX = MakeField(pnlAnalog, "lblAnalogX", 104, 3, 57);
  MakeLabel(pnlAnalog, "Label51", QStringLiteral("EY"), 173, 3, true);
  lblAnalogY = MakeField(pnlAnalog, "lblAnalogY", 200, 3, 57);

  shpPort = new TPanelLamp(pnlButtons);
  shpPort->setObjectName(QStringLiteral("shpPort"));
  shpPort->setGeometry(0, 1, 20, 20);
  lblPort = MakeLabel(pnlButtons, "lblPort", QStringLiteral("PORT"), 24, 2, true);
  cmdEnde = new QPushButton(QStringLiteral("EXIT"), pnlButtons);
  cmdEnde->setObjectName(QStringLiteral("cmdEnde"));
  cmdEnde->setGeometry(80, 0, 90, 25);
  cmdEnde->setAutoDefault(false);
  cmdAction = new QPushButton(QStringLiteral("HALT"), pnlButtons);
  cmdAction->setObjectName(QStringLiteral("cmdAction"));
  cmdAction->setGeometry(176, 0, 90, 25);
  cmdAction->setAutoDefault(false);
  connect(cmdEnde, &QPushButton::clicked, this, &TfrmPanel::cmdEndeClick);
  connect(cmdAction, &QPushButton::clicked, this, &TfrmPanel::cmdActionClick);

  tmrI = new QTimer(this);
  tmrI->setObjectName(QStringLiteral("tmrI"));
  tmrI->setInterval(300);
  connect(tmrI, &QTimer::timeout, this, &TfrmPanel::tmrITimer);

  FormCreate();
}

QColor TfrmPanel::BtnFace() const {
  return QApplication::palette().color(QPalette::Button);
}

QLabel* TfrmPanel::MakeLabel(QWidget* parent, const char* name, const QString& caption, int left,
                             int top, bool big) {
  auto* l = new QLabel(caption, parent);
  l->setObjectName(QString::fromLatin1(name));
  if (big) l->setFont(ArialPx(16));
  l->move(left, top);
  l->adjustSize();
  return l;
}

// A centred, light-grey value field of 18 pixels' height.
QLabel* TfrmPanel::MakeField(QWidget* parent, const char* name, int left, int top, int width) {
  auto* l = new QLabel(QStringLiteral("0"), parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setFont(ArialPx(16));
  l->setAlignment(Qt::AlignCenter);
  l->setGeometry(left, top, width, 18);
  SetColour(l, LightGrey());
  return l;
}

void TfrmPanel::SetColour(QLabel* label, const QColor& c) {
  QPalette pal = label->palette();
  if (label->autoFillBackground() && pal.color(QPalette::Window) == c) return;
  pal.setColor(QPalette::Window, c);
  label->setPalette(pal);
  label->setAutoFillBackground(true);
}

void TfrmPanel::BuildInputPanel(QFrame* panel, const char* stripName, int firstInput,
                                const char* legendL, const char* legendLName, const char* legendR,
                                const char* legendRName) {
  auto* strip = MakePanel(panel, stripName, 0, 0, 145, 33);
  QPalette pal = strip->palette();
  pal.setColor(QPalette::Window, LightGrey());
  strip->setPalette(pal);
  strip->setAutoFillBackground(true);
  // Highest input leftmost, so the strip reads like the bits of the word.
  for (int k = 0; k < 8; ++k) {
    const int input = firstInput + 7 - k;
    const QString name = QStringLiteral("lblEingabe%1").arg(input, 2, 10, QLatin1Char('0'));
    auto* l = new QLabel(QStringLiteral("E"), strip);
    l->setObjectName(name);
    l->setFont(ArialPx(16));
    l->setAlignment(Qt::AlignCenter);
    l->setGeometry(kStripLeft[k], 6, 11, 18);
    l->setProperty("Tag", input);
    SetColour(l, BtnFace());
  }
  MakeLabel(panel, legendLName, QString::fromLatin1(legendL), 4, 36, false);
  QLabel* right = MakeLabel(panel, legendRName, QString::fromLatin1(legendR), 0, 36, false);
  right->move(kStripLeft[7] + 11 - right->width() + 2, 36);
}

void TfrmPanel::BuildMotorPanel(QFrame* panel, const char* stripName, int firstMotor) {
  auto* strip = MakePanel(panel, stripName, 0, 0, 145, 33);
  QPalette pal = strip->palette();
  pal.setColor(QPalette::Window, LightGrey());
  strip->setPalette(pal);
  strip->setAutoFillBackground(true);
  const int firstBit = 2 * firstMotor - 2;  // bit number of the strip's rightmost label
  for (int k = 0; k < 8; ++k) {
    const int tag = firstBit + 8 - k;  // motor-word bit number + 1
    const QString name = QStringLiteral("lblDreh%1").arg(tag, 2, 10, QLatin1Char('0'));
    // Even tags are the right-hand bit of a motor, odd tags the left-hand bit.
    auto* l = new QLabel(tag % 2 == 0 ? QStringLiteral("R") : QStringLiteral("L"), strip);
    l->setObjectName(name);
    l->setFont(ArialPx(16));
    l->setAlignment(Qt::AlignCenter);
    l->setGeometry(kStripLeft[k], 6, 11, 18);
    l->setProperty("Tag", tag);
    l->setCursor(Qt::PointingHandCursor);
    SetColour(l, BtnFace());
    l->installEventFilter(this);
  }
  for (int k = 0; k < 4; ++k) {
    const int motor = firstMotor + 3 - k;
    auto* l = new QLabel(QStringLiteral("M%1").arg(motor), panel);
    l->setObjectName(QStringLiteral("lblMotor%1").arg(motor));
    l->setFont(ArialPx(16));
    l->setAlignment(Qt::AlignCenter);
    l->setGeometry(kMotorLeft[k], 40, 30, 18);
    l->setProperty("Tag", motor);
    l->setProperty("MotorLabel", true);
    SetColour(l, LightGrey());
    l->installEventFilter(this);
  }
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
    pnlIn2->hide();
    pnlMot2->hide();
    const int left = lblAHex->x();
    pnlAnalog->move(left, pnlAnalog->y());
    pnlButtons->move(left, pnlButtons->y());
    const int right = pnlAnalog->x() + pnlAnalog->width();
    pnlIn1->move(right - pnlIn1->width(), pnlIn1->y());
    pnlMot1->move(right - pnlMot1->width(), pnlMot1->y());
    setFixedWidth(330);
  }
  lblPort->setText(QString::fromStdString(face_->ActivePort));
  lblPort->adjustSize();
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
    shpPort->SetBrushColor(Red());
    return;
  }
  shpPort->SetBrushColor(Lime());
  lblAnalogX->setText(QStringLiteral("%1").arg(face_->GetAnalog(0), 4));
  lblAnalogY->setText(QStringLiteral("%1").arg(face_->GetAnalog(1), 4));
  const uint32_t mot = face_->MotorWord();
  const int n = face_->IsExtended() ? 16 : 8;
  for (int i = 1; i <= n; ++i) {
    SetColour(InputLabels[i], (in & InputMask[i]) != 0 ? Lime() : BtnFace());
    SetColour(DrehLabels[i], (mot >> (i - 1)) & 1u ? Lime() : BtnFace());
  }
  if (face_->Record.InputCount == 16) {
    lblAHex->setText(Hex4(mot));
    lblEHex->setText(Hex4(in));
  } else {
    lblAHex->setText(Hex4(mot & 0xFF));
    lblEHex->setText(Hex4(in & 0xFF));
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
  lblAHex->setText(Hex4(face_->MotorWord()));
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
