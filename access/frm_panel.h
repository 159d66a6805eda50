// SPDX-License-Identifier: MIT
// TfrmPanel: the diagnostic window over the open interface. It shows inputs, motor bits,
// both words in hexadecimal, the analog values and a status lamp, and lets the user run
// any motor with the mouse. It drives motors only through SetMotor and ClearMotors, so
// manual runs never touch the axis positions of the robot.
#pragma once

#include <QColor>
#include <QDialog>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QTimer;

namespace Ui {
class TfrmPanel;
}  // namespace Ui

namespace kelvora::access {

class TBrelFace;

// The round status lamp.
class TPanelLamp : public QWidget {
  Q_OBJECT
 public:
  explicit TPanelLamp(QWidget* parent);
  void SetBrushColor(const QColor& c);
  QColor BrushColor() const { return brush_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QColor brush_;
};

class TfrmPanel : public QDialog {
  Q_OBJECT
 public:
  // face is not owned; it must outlive the panel's shown time.
  TfrmPanel(TBrelFace& face, QWidget* parent);
  ~TfrmPanel() override;

  // Colours of the indicators.
  static QColor LightGrey() { return QColor(224, 224, 224); }
  static QColor Lime() { return QColor(0, 255, 0); }
  static QColor Red() { return QColor(255, 0, 0); }
  static QColor Grey() { return QColor(128, 128, 128); }
  QColor BtnFace() const;

  bool IsLatched(int motor) const { return motor >= 1 && motor <= 8 && Latched[motor]; }
  QLabel* DrehLabel(int tag) const { return DrehLabels[tag]; }
  QLabel* InputLabel(int input) const { return InputLabels[input]; }
  TPanelLamp* Lamp() const;
  QTimer* Timer() const { return tmrI; }

 public slots:
  void tmrITimer();
  void cmdActionClick();
  void cmdEndeClick();

 protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  void FormClose();
  void lblDrehDown(QLabel* label, bool ctrl);
  void lblDrehUp(QLabel* label);
  void lblMotorClick(QLabel* label);
  void MotorOff(int motor);
  // The held motors that are not latched off: their release will not come.
  void ReleaseHeld();
  void ShowMotorWordFull();

  void SetColour(QLabel* label, const QColor& c);

  TBrelFace* face_;
  bool Latched[9] = {};
  bool Held[9] = {};     // a direction label of the motor is pressed
  bool Running[9] = {};  // switched on here and not off since
  QLabel* DrehLabels[17] = {};
  QLabel* InputLabels[17] = {};

  QTimer* tmrI = nullptr;
  // The form's widgets, reached by their object names.
  std::unique_ptr<Ui::TfrmPanel> ui_;
};

// Tells the Qt GUI hooks how ShowPanel makes a panel: every call creates a new TfrmPanel
// owned by owner (the main window), placed at (left, top), shown modally or not. Panels
// stay with their owner until it is destroyed. Without an owner no panel is shown.
void RegisterPanelFactory(QWidget* owner);
// The same with the owner looked up for the interface object at each showing.
void RegisterPanelFactory(std::function<QWidget*(TBrelFace& face)> ownerOf);

}  // namespace kelvora::access
