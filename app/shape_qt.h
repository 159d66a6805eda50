// SPDX-License-Identifier: MIT
// The two small controls the main window draws the robot with: a filled shape that
// reports mouse presses and releases (the jog arrows are shapes), and a label that
// reports clicks. Both carry a Tag that tells their handler which axis or state they
// stand for. In the window's form the kind, the colour and the Tag are properties.
#pragma once

#include <QColor>
#include <QLabel>
#include <QWidget>

namespace kelvora::app {

class TShape : public QWidget {
  Q_OBJECT
  Q_PROPERTY(Kind kind READ ShapeKind WRITE SetShapeKind)
  Q_PROPERTY(QColor brushColor READ BrushColor WRITE SetBrushColor)
  Q_PROPERTY(int Tag MEMBER Tag)

 public:
  enum class Kind { Rectangle, Square, Ellipse, Circle };
  Q_ENUM(Kind)

  explicit TShape(QWidget* parent = nullptr);

  Kind ShapeKind() const { return kind_; }
  void SetShapeKind(Kind kind);
  QColor BrushColor() const { return brush_; }
  void SetBrushColor(const QColor& color);
  bool Pressed() const { return pressed_; }

  int Tag = 0;

 signals:
  // Any mouse button went down on the shape.
  void MouseDown(kelvora::app::TShape* shape, Qt::MouseButton button);
  // The button went up, wherever the pointer is: the shape keeps the mouse while a
  // button is down.
  void MouseUp(kelvora::app::TShape* shape, Qt::MouseButton button);
  // The shape lost the mouse while a button was down on it (a popup took the mouse,
  // hidden, disabled): the release will never arrive here.
  void MouseLost(kelvora::app::TShape* shape);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LoseMouse();

  Kind kind_ = Kind::Rectangle;
  QColor brush_{Qt::white};
  bool pressed_ = false;
};

class TTagLabel : public QLabel {
  Q_OBJECT
  Q_PROPERTY(int Tag MEMBER Tag)

 public:
  explicit TTagLabel(QWidget* parent = nullptr);

  int Tag = 0;

 signals:
  // A press and release of the left button on the label.
  void Clicked(kelvora::app::TTagLabel* label);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool pressed_ = false;
};

}  // namespace kelvora::app
