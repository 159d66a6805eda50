// SPDX-License-Identifier: MIT
#include "app/shape_qt.h"

#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

namespace kelvora::app {

TShape::TShape(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TShape::SetShapeKind(Kind kind) {
  if (kind_ == kind) return;
  kind_ = kind;
  update();
}

void TShape::SetBrushColor(const QColor& color) {
  if (brush_ == color) return;
  brush_ = color;
  update();
}

void TShape::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, kind_ == Kind::Ellipse || kind_ == Kind::Circle);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(brush_);
  // The outline lies inside the widget, as a shape's pen does.
  QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  switch (kind_) {
    case Kind::Rectangle:
      painter.drawRect(box);
      break;
    case Kind::Square: {
      qreal side = std::min(box.width(), box.height());
      painter.drawRect(
          QRectF(box.center().x() - side / 2, box.center().y() - side / 2, side, side));
      break;
    }
    case Kind::Ellipse:
      painter.drawEllipse(box);
      break;
    case Kind::Circle: {
      qreal side = std::min(box.width(), box.height());
      painter.drawEllipse(
          QRectF(box.center().x() - side / 2, box.center().y() - side / 2, side, side));
      break;
    }
  }
}

void TShape::mousePressEvent(QMouseEvent* event) {
  // Qt gives the pressed widget the mouse until the last button goes up, so the
  // release comes here wherever the pointer is by then.
  pressed_ = true;
  // While a button is held, watch the whole program: a popup (a menu opened from the
  // keyboard, say) takes the mouse from a plain widget without telling it.
  qApp->installEventFilter(this);
  event->accept();
  emit MouseDown(this, event->button());
}

void TShape::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  if (event->buttons() == Qt::NoButton) {
    pressed_ = false;
    qApp->removeEventFilter(this);
  }
  emit MouseUp(this, event->button());
}

bool TShape::eventFilter(QObject* watched, QEvent* event) {
  if (pressed_ && watched != this) {
    auto* widget = qobject_cast<QWidget*>(watched);
    bool popupShown = event->type() == QEvent::Show && widget && widget->isWindow() &&
                      widget->windowType() == Qt::Popup;
    bool releasedElsewhere = event->type() == QEvent::MouseButtonRelease && widget;
    if (popupShown || releasedElsewhere) LoseMouse();
  }
  return false;
}

void TShape::hideEvent(QHideEvent* event) {
  LoseMouse();
  QWidget::hideEvent(event);
}

void TShape::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange && !isEnabled()) LoseMouse();
  QWidget::changeEvent(event);
}

void TShape::LoseMouse() {
  if (!pressed_) return;
  pressed_ = false;
  qApp->removeEventFilter(this);
  emit MouseLost(this);
}

TTagLabel::TTagLabel(QWidget* parent) : QLabel(parent) {}

void TTagLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = true;
  event->accept();
}

void TTagLabel::mouseReleaseEvent(QMouseEvent* event) {
  bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) pressed_ = false;
  event->accept();
  if (click) emit Clicked(this);
}

}  // namespace kelvora::app
