// The window of the virtual robot, "Kelvora – virtueller Roboter": a drawing of the robot
// from its true state, and the controls that kelvora-sim's keys have (input 11, EX and
// EY, box faults, a stuck impulse switch or a broken end switch per axis).
//
// Everything runs on the window's thread: a timer takes a snapshot through the target at
// display rate and repaints only what changed; the box's own thread never paints.
#pragma once

#include <QWidget>
#include <vector>

#include "sim/view/view_model.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QSlider;
class QTimer;

namespace kelvora::sim::view {

// The painting of a view model: top view and side view of the robot, Rob5's carriage,
// one line of lamps, arrow and position per axis, and the box's banner.
class RobotDrawing : public QWidget {
  Q_OBJECT
 public:
  explicit RobotDrawing(bool rob5, int axes, QWidget* parent = nullptr);
  // Repaints when the model differs from the one on screen.
  void SetModel(const ViewModel& model);
  const ViewModel& Model() const { return model_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ViewModel model_;
};

class SimView : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kFrameMs = 34;  // at most 30 frames a second

  explicit SimView(ViewTarget& target, QWidget* parent = nullptr);

  // Takes a snapshot, redraws what changed and brings the controls up to date (a key in
  // kelvora-sim's terminal may have changed what they show). The frame timer calls it.
  void Refresh();
  const ViewModel& Model() const { return drawing_->Model(); }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  ViewTarget& target_;
  RobotDrawing* drawing_ = nullptr;
  QTimer* tmrFrame_ = nullptr;
  QButtonGroup* faults_ = nullptr;
  QCheckBox* chkInput11_ = nullptr;
  QSlider* sldAnalog_[2] = {nullptr, nullptr};
  QLabel* lblAnalog_[2] = {nullptr, nullptr};
  std::vector<QCheckBox*> chkStuck_;
  std::vector<QCheckBox*> chkEndBroken_;
};

}  // namespace kelvora::sim::view
