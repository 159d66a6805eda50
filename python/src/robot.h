// SPDX-License-Identifier: MIT
// kelvora.Robot: the program's robot object (TBrelRobot) with the model's layout from the
// settings file, its moves, home run, gripper and outputs, waits and script runs.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "interface.h"
#include "settings/program_settings.h"

namespace kelvora::access {
class TBrelRobot;
}

namespace kelvora::python {

class Robot {
 public:
  Robot(std::optional<std::string> port, std::optional<std::string> model,
        std::optional<std::string> settingsPath, bool simulate, bool view);
  ~Robot();

  const std::string& Model() const { return settings_.RobModel; }
  const std::string& Description() const { return settings_.RobText; }
  const std::string& Port() const { return core_->Port(); }
  bool Closed() const { return !core_->IsOpen(); }
  pybind11::tuple Axes() const;
  pybind11::tuple Maxima() const;
  // None for an axis not established; takes in what happened since the last call.
  pybind11::tuple Positions();

  void Home();
  void MoveTo(const pybind11::args& positions, const pybind11::kwargs& byAxisName);
  void Jog(const pybind11::object& axis, int direction, double seconds);
  void GripperOpen() { Gripper(false); }
  void GripperClose() { Gripper(true); }
  void ExtraMotor(bool on);
  void Output(int output, bool on);
  bool WaitForInput(int input, bool state, std::optional<double> timeout);
  void Play(const pybind11::object& script, bool repeat);
  void Stop() { core_->Stop(); }
  void Close();

 private:
  access::TBrelRobot& Bot() { return *core_->Robot(); }
  void Gripper(bool close);
  // The axis number of a name or a number among the axes in use; ValueError otherwise.
  int AxisOf(const pybind11::object& axis) const;
  int AxisByName(const std::string& name) const;
  void EndSimulator();

  settings::ProgramSettings settings_;
  std::shared_ptr<Core> core_;
  std::vector<int> axes_;  // the axis numbers in use, in order
  int32_t maxima_[9] = {};
  std::string names_[9];
  int inputCount_ = 8;
  // The states last commanded for the gripper and the outputs (touched in calls only).
  int32_t lineValues_[8] = {};
  pybind11::object simulator_;
};

void BindRobot(pybind11::module_& m);

}  // namespace kelvora::python
