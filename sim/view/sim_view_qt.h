// SPDX-License-Identifier: MIT
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
  static constexpr int kBannerHeight = 30;

  explicit RobotDrawing(bool rob5, int axes, QWidget* parent = nullptr);
  // Repaints when the model differs from the one on screen.
  void SetModel(const ViewModel& model);
  const ViewModel& Model() const { return model_; }
  // Draws the robot smaller (scale below 1) where the screen is short of room; the banner
  // keeps its height and its lettering, across the drawing's width.
  void SetScale(double scale);
  double Scale() const { return scale_; }
  // The banner's lettering, as it is drawn, and the smallest scale at which every banner
  // text still shows whole in it.
  QFont BannerFont() const;
  double SmallestScale() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Resize();

  ViewModel model_;
  double scale_ = 1;
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
  const RobotDrawing& Drawing() const { return *drawing_; }
  // The drawing's scale; the controls beside it keep their size.
  void SetDrawingScale(double scale) { drawing_->SetScale(scale); }

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

// Sizes the window and moves it to where it opens beside the program's main window, on
// the primary screen (platform/window_pair_qt.h); returns the frame planned for it, which
// the program is told to keep clear of.
QRect PlaceBesideProgram(SimView& window);

}  // namespace kelvora::sim::view
