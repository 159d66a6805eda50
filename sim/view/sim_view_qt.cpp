// SPDX-License-Identifier: MIT
#include "sim/view/sim_view_qt.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/program_icon_qt.h"
#include "platform/window_pair_qt.h"

namespace kelvora::sim::view {
namespace {

// The drawing's layout, in pixels.
constexpr int kWidth = 480;
constexpr int kBannerHeight = RobotDrawing::kBannerHeight;
constexpr int kBannerPadding = 8;  // each side of the banner's text, at the least
constexpr int kViewsTop = 36;
constexpr int kViewsHeight = 240;
constexpr int kCarriageHeight = 46;
constexpr int kRowHeight = 20;
constexpr int kAnalogMax = 4095;

const QColor kBackground(250, 250, 247);
const QColor kMetal(96, 105, 115);
const QColor kRange(214, 218, 222);
const QColor kLampOff(236, 236, 236);
const QColor kLampEnd(60, 200, 60);
const QColor kLampImpulse(255, 200, 0);
const QColor kFaultText(190, 30, 30);

QColor ToneColour(Tone tone) {
  switch (tone) {
    case Tone::kNormal:
      return QColor(21, 101, 192);
    case Tone::kWarning:
      return QColor(230, 81, 0);
    case Tone::kGone:
      return QColor(183, 28, 28);
  }
  return QColor(230, 81, 0);
}

int TableTop(bool rob5) {
  return kViewsTop + kViewsHeight + (rob5 ? kCarriageHeight : 6);
}

int DrawingHeight(bool rob5, int axes) {
  return TableTop(rob5) + kRowHeight * (axes + 1) + (rob5 ? 28 : 0) + 8;
}

void Lamp(QPainter& p, QPointF centre, bool lit, const QColor& colour) {
  p.setPen(QPen(kMetal, 1));
  p.setBrush(lit ? colour : kLampOff);
  p.drawEllipse(centre, 6, 6);
}

// A filled arrow head pointing along (dx, dy), a unit vector on screen.
void Arrow(QPainter& p, QPointF centre, double dx, double dy, const QColor& colour) {
  const double s = 7;
  QPolygonF head;
  head << QPointF(centre.x() + dx * s, centre.y() + dy * s)
       << QPointF(centre.x() - dx * s - dy * s * 0.8, centre.y() - dy * s + dx * s * 0.8)
       << QPointF(centre.x() - dx * s + dy * s * 0.8, centre.y() - dy * s - dx * s * 0.8);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPolygon(head);
}

void Caption(QPainter& p, QPointF at, const QString& text) {
  p.setPen(kMetal);
  p.drawText(at, text);
}

// Top view: the column turns the arm over its range; the arm reaches out as a radius.
void DrawTopView(QPainter& p, const ViewModel& m) {
  const QPointF c(125, kViewsTop + 128);
  const double range = 104;
  Caption(p, QPointF(12, kViewsTop + 14), QStringLiteral("Draufsicht"));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(kRange, 7, Qt::SolidLine, Qt::FlatCap));
  // 0 at lower left, turning clockwise through the top to lower right
  const double start = 225.0;
  p.drawArc(QRectF(c.x() - range, c.y() - range, 2 * range, 2 * range),
            static_cast<int>((start - kColumnSweep) * 16), static_cast<int>(kColumnSweep * 16));
  const double rad0 = start * std::numbers::pi / 180.0;
  p.setPen(QPen(kMetal, 2));
  p.drawLine(c + QPointF(std::cos(rad0), -std::sin(rad0)) * (range - 8),
             c + QPointF(std::cos(rad0), -std::sin(rad0)) * (range + 8));
  Caption(p, c + QPointF(std::cos(rad0), -std::sin(rad0)) * (range + 16) + QPointF(-4, 4),
          QStringLiteral("0"));

  const double phi = (start - m.columnAngle) * std::numbers::pi / 180.0;
  const QPointF u(std::cos(phi), -std::sin(phi));
  const QPointF n(-u.y(), u.x());
  const double r = 30 + m.reach * 62;
  const QPointF tip = c + u * r;
  p.setPen(QPen(kMetal, 9, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(c, tip);
  const double gap = 3 + m.gripperOpening * 8;
  p.setPen(QPen(kMetal, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(tip + n * (gap + 2), tip - n * (gap + 2));
  p.drawLine(tip + n * gap, tip + n * gap + u * 12);
  p.drawLine(tip - n * gap, tip - n * gap + u * 12);
  p.setPen(QPen(kMetal, 2));
  p.setBrush(QColor(200, 205, 210));
  p.drawEllipse(c, 18, 18);
}

// Side view: the arm at its height on the column, reaching out, the gripper at its tip.
void DrawSideView(QPainter& p, const ViewModel& m) {
  const double left = 262;
  const double ground = kViewsTop + kViewsHeight - 12;
  Caption(p, QPointF(left, kViewsTop + 14), QStringLiteral("Seitenansicht"));
  p.setPen(QPen(kMetal, 2));
  p.drawLine(QPointF(left, ground), QPointF(kWidth - 10, ground));
  const double colX = left + 22;
  const double top = kViewsTop + 30;
  const double low = ground - 40;
  p.setBrush(QColor(200, 205, 210));
  p.drawRect(QRectF(colX, top - 8, 16, ground - top + 8));
  const double armY = top + (1.0 - m.height) * (low - top);
  const double tipX = colX + 8 + 40 + m.reach * 120;
  p.setBrush(kMetal);
  p.drawRect(QRectF(colX - 4, armY - 5, tipX - colX + 4, 10));
  const double gap = 2 + m.gripperOpening * 8;
  p.setPen(QPen(kMetal, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(tipX - gap - 2, armY + 6), QPointF(tipX + gap + 2, armY + 6));
  p.drawLine(QPointF(tipX - gap, armY + 6), QPointF(tipX - gap, armY + 24));
  p.drawLine(QPointF(tipX + gap, armY + 6), QPointF(tipX + gap, armY + 24));
}

// Rob5: the carriage Wagen on its slide under the column, its end switch at the right.
void DrawCarriage(QPainter& p, const ViewModel& m) {
  const double y = kViewsTop + kViewsHeight + 28;
  const double left = 20, right = kWidth - 20, width = 76;
  p.setPen(QPen(kRange, 6, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QPointF(left, y), QPointF(right, y));
  p.setPen(QPen(kMetal, 2));
  p.drawLine(QPointF(right, y - 10), QPointF(right, y + 6));
  const double x = right - width - m.carriage * (right - left - width);
  p.setBrush(QColor(200, 205, 210));
  p.drawRect(QRectF(x, y - 19, width, 16));
  p.drawEllipse(QPointF(x + width / 2, y - 11), 5, 5);
  Caption(p, QPointF(x + 4, y - 24), QStringLiteral("Wagen"));
}

void DrawTable(QPainter& p, const ViewModel& m) {
  const int top = TableTop(m.rob5);
  const int base = top + kRowHeight - 6;
  Caption(p, QPointF(14, base), QStringLiteral("Achse"));
  Caption(p, QPointF(140, base), QStringLiteral("Endsch."));
  Caption(p, QPointF(200, base), QStringLiteral("Impuls"));
  Caption(p, QPointF(256, base), QStringLiteral("Motor"));
  Caption(p, QPointF(318, base), QStringLiteral("Position"));
  for (size_t i = 0; i < m.axes.size(); ++i) {
    const AxisModel& a = m.axes[i];
    const int y = top + kRowHeight * static_cast<int>(i + 1);
    const double mid = y + kRowHeight / 2.0;
    Caption(p, QPointF(14, y + kRowHeight - 6), QString::fromStdString(a.name));
    Lamp(p, QPointF(160, mid), a.endSwitch, kLampEnd);
    Lamp(p, QPointF(219, mid), a.impulse, kLampImpulse);
    if (a.direction != 0) Arrow(p, QPointF(272, mid), a.direction, 0, QColor(30, 130, 30));
    p.setPen(Qt::black);
    p.drawText(QRectF(300, y, 68, kRowHeight), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(a.position, 'f', 1));
    QString faults;
    if (a.stuckImpulse) faults = QStringLiteral("Imp. klemmt");
    if (a.endSwitchBroken)
      faults += faults.isEmpty() ? QStringLiteral("End. defekt") : QStringLiteral(", End.");
    if (!faults.isEmpty()) {
      p.setPen(kFaultText);
      p.drawText(QRectF(378, y, kWidth - 380, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                 faults);
    }
  }
  if (m.rob5) {
    const double mid = top + kRowHeight * static_cast<double>(m.axes.size() + 1) + 14;
    struct {
      const char* label;
      bool on;
    } const lamps[] = {{"M6", m.m6}, {"M7", m.m7}, {"Eingang 11", m.input11}};
    double x = 14;
    for (const auto& l : lamps) {
      Caption(p, QPointF(x, mid + 5), QString::fromUtf8(l.label));
      x += p.fontMetrics().horizontalAdvance(QString::fromUtf8(l.label)) + 12;
      Lamp(p, QPointF(x, mid), l.on, kLampEnd);
      x += 30;
    }
  }
}

QString BannerText(const FaultView& f) {
  return QStringLiteral("SIMULATION – ") + QString::fromUtf8(f.banner);
}

void DrawBanner(QPainter& p, const ViewModel& m, int width, const QFont& font) {
  const FaultView f = FaultViewOf(m.fault);
  p.setPen(Qt::NoPen);
  p.setBrush(ToneColour(f.tone));
  p.drawRect(QRectF(0, 0, width, kBannerHeight));
  p.save();
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 0, width, kBannerHeight), Qt::AlignCenter, BannerText(f));
  p.restore();
}

}  // namespace

RobotDrawing::RobotDrawing(bool rob5, int axes, QWidget* parent) : QWidget(parent) {
  model_.rob5 = rob5;
  model_.axes.resize(static_cast<size_t>(axes));
  Resize();
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void RobotDrawing::Resize() {
  // the banner at full height, the rest at scale
  const int height = DrawingHeight(model_.rob5, static_cast<int>(model_.axes.size()));
  setFixedSize(static_cast<int>(std::lround(kWidth * scale_)),
               kBannerHeight + static_cast<int>(std::lround((height - kBannerHeight) * scale_)));
}

void RobotDrawing::SetModel(const ViewModel& model) {
  if (model == model_) return;
  const bool resize = model.rob5 != model_.rob5 || model.axes.size() != model_.axes.size();
  model_ = model;
  if (resize) Resize();
  update();
}

void RobotDrawing::SetScale(double scale) {
  scale = std::clamp(scale, 0.1, 1.0);
  if (scale == scale_) return;
  scale_ = scale;
  Resize();
  update();
}

QFont RobotDrawing::BannerFont() const {
  QFont bold = font();
  bold.setBold(true);
  return bold;
}

double RobotDrawing::SmallestScale() const {
  const QFontMetrics metrics(BannerFont());
  int widest = 0;
  for (const FaultView& f : FaultViews())
    widest = std::max(widest, metrics.horizontalAdvance(BannerText(f)));
  return std::min(1.0, (widest + 2 * kBannerPadding) / static_cast<double>(kWidth));
}

void RobotDrawing::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kBackground);
  p.setRenderHint(QPainter::Antialiasing);
  DrawBanner(p, model_, width(), BannerFont());
  // everything below the banner at the drawing's scale
  p.translate(0, kBannerHeight);
  p.scale(scale_, scale_);
  p.translate(0, -kBannerHeight);
  DrawTopView(p, model_);
  DrawSideView(p, model_);
  if (model_.rob5) DrawCarriage(p, model_);
  DrawTable(p, model_);
}

SimView::SimView(ViewTarget& target, QWidget* parent) : QWidget(parent), target_(target) {
  setWindowTitle(QStringLiteral("Kelvora – virtueller Roboter"));
  setWindowIcon(platform::ProgramIcon());  // as the program's windows
  const ViewModel first = BuildViewModel(target_.Take());
  drawing_ = new RobotDrawing(first.rob5, static_cast<int>(first.axes.size()), this);

  auto* boxGroup = new QGroupBox(QStringLiteral("Box"));
  auto* boxLayout = new QVBoxLayout(boxGroup);
  faults_ = new QButtonGroup(this);
  const auto faults = FaultViews();
  for (size_t i = 0; i < faults.size(); ++i) {
    auto* button = new QRadioButton(QString::fromUtf8(faults[i].control));
    button->setObjectName(QStringLiteral("optFault_") +
                          QString::fromUtf8(BoxFaultName(faults[i].fault)));
    faults_->addButton(button, static_cast<int>(i));
    boxLayout->addWidget(button);
  }
  connect(faults_, &QButtonGroup::idClicked, this, [this](int id) {
    target_.SetFault(FaultViews()[static_cast<size_t>(id)].fault);
    Refresh();
  });

  auto* inputGroup = new QGroupBox(QStringLiteral("Eingänge"));
  auto* inputLayout = new QGridLayout(inputGroup);
  chkInput11_ = new QCheckBox(QStringLiteral("Schalter an Eingang 11"));
  chkInput11_->setObjectName(QStringLiteral("chkInput11"));
  connect(chkInput11_, &QCheckBox::clicked, this, [this](bool on) {
    target_.SetInput11(on);
    Refresh();
  });
  inputLayout->addWidget(chkInput11_, 0, 0, 1, 3);
  const char* analogNames[2] = {"EX", "EY"};
  for (int ch = 0; ch < 2; ++ch) {
    const QString name = QString::fromUtf8(analogNames[ch]);
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setObjectName(QStringLiteral("sld") + name);
    slider->setRange(0, kAnalogMax);
    slider->setSingleStep(16);
    slider->setPageStep(128);
    auto* value = new QLabel;
    value->setObjectName(QStringLiteral("lbl") + name);
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("00000")));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // A drag changes the value many times a frame: the box takes each, the drawing
    // follows at the frame timer.
    connect(slider, &QSlider::valueChanged, this, [this, ch](int v) {
      target_.SetAnalog(ch, v);
      lblAnalog_[ch]->setText(QString::number(v));
    });
    inputLayout->addWidget(new QLabel(name), ch + 1, 0);
    inputLayout->addWidget(slider, ch + 1, 1);
    inputLayout->addWidget(value, ch + 1, 2);
    sldAnalog_[ch] = slider;
    lblAnalog_[ch] = value;
  }

  // one row per axis; the captions head their columns, so the group stays narrow
  auto* axisGroup = new QGroupBox(QStringLiteral("Achsen"));
  auto* axisLayout = new QGridLayout(axisGroup);
  const QString stuckCaption = QStringLiteral("Impuls\nklemmt");
  const QString brokenCaption = QStringLiteral("Endschalter\ndefekt");
  for (const auto& [column, caption] : {std::pair{1, stuckCaption}, std::pair{2, brokenCaption}}) {
    auto* header = new QLabel(caption);
    header->setAlignment(Qt::AlignCenter);
    axisLayout->addWidget(header, 0, column);
  }
  for (size_t i = 0; i < first.axes.size(); ++i) {
    const int axis = static_cast<int>(i) + 1;
    const QString name = QString::fromStdString(first.axes[i].name);
    axisLayout->addWidget(new QLabel(name), axis, 0);
    auto* stuck = new QCheckBox;
    stuck->setObjectName(QStringLiteral("chkStuck%1").arg(axis));
    stuck->setToolTip(name + QStringLiteral(": Impulsschalter klemmt"));
    connect(stuck, &QCheckBox::clicked, this, [this, axis](bool on) {
      target_.SetStuckImpulse(axis, on);
      Refresh();
    });
    auto* broken = new QCheckBox;
    broken->setObjectName(QStringLiteral("chkEndBroken%1").arg(axis));
    broken->setToolTip(name + QStringLiteral(": Endschalter defekt, schließt nie"));
    connect(broken, &QCheckBox::clicked, this, [this, axis](bool on) {
      target_.SetEndSwitchBroken(axis, on);
      Refresh();
    });
    axisLayout->addWidget(stuck, axis, 1, Qt::AlignCenter);
    axisLayout->addWidget(broken, axis, 2, Qt::AlignCenter);
    chkStuck_.push_back(stuck);
    chkEndBroken_.push_back(broken);
  }

  auto* controls = new QVBoxLayout;
  controls->addWidget(boxGroup);
  controls->addWidget(inputGroup);
  controls->addWidget(axisGroup);
  controls->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(drawing_, 0, Qt::AlignTop);
  layout->addLayout(controls);

  tmrFrame_ = new QTimer(this);
  tmrFrame_->setInterval(kFrameMs);
  // a coarse timer may fire early, and so more than 30 times a second
  tmrFrame_->setTimerType(Qt::PreciseTimer);
  connect(tmrFrame_, &QTimer::timeout, this, &SimView::Refresh);
  Refresh();
}

void SimView::showEvent(QShowEvent* event) {
  Refresh();
  tmrFrame_->start();
  QWidget::showEvent(event);
}

void SimView::hideEvent(QHideEvent* event) {
  // nothing to draw for: a closed window costs nothing
  tmrFrame_->stop();
  QWidget::hideEvent(event);
}

void SimView::Refresh() {
  const ViewModel m = BuildViewModel(target_.Take());
  drawing_->SetModel(m);

  const auto faults = FaultViews();
  const FaultView current = FaultViewOf(m.fault);
  QAbstractButton* want = nullptr;
  for (size_t i = 0; i < faults.size(); ++i)
    if (faults[i].fault == m.fault) want = faults_->button(static_cast<int>(i));
  if (faults_->checkedButton() != want) {
    // an exclusive group cannot show "none of these" (a fault missing from the table)
    faults_->setExclusive(false);
    for (QAbstractButton* b : faults_->buttons()) b->setChecked(b == want);
    faults_->setExclusive(true);
  }
  for (QAbstractButton* b : faults_->buttons()) b->setEnabled(!current.final);

  chkInput11_->setChecked(m.input11);
  const int analog[2] = {m.ex, m.ey};
  for (int ch = 0; ch < 2; ++ch) {
    lblAnalog_[ch]->setText(QString::number(analog[ch]));
    if (!sldAnalog_[ch]->isSliderDown()) {
      const QSignalBlocker quiet(sldAnalog_[ch]);
      sldAnalog_[ch]->setValue(std::min(analog[ch], kAnalogMax));
    }
  }
  for (size_t i = 0; i < m.axes.size() && i < chkStuck_.size(); ++i) {
    chkStuck_[i]->setChecked(m.axes[i].stuckImpulse);
    chkEndBroken_[i]->setChecked(m.axes[i].endSwitchBroken);
  }
}

QRect PlaceBesideProgram(SimView& window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return window.frameGeometry();
  const platform::SimWindowPlace place = platform::PlaceSimWindow(
      screen->availableGeometry(), window.Drawing().SmallestScale(), [&window](double scale) {
        window.SetDrawingScale(scale);
        return window.sizeHint();
      });
  window.SetDrawingScale(place.scale);
  window.adjustSize();
  window.move(place.frame.topLeft());
  return place.frame;
}

}  // namespace kelvora::sim::view
