// SPDX-License-Identifier: MIT
#include "robot.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>

#include <pybind11/stl.h>

#include "access/brel_consts.h"
#include "access/brel_robot.h"
#include "app/script.h"
#include "app/script_player.h"
#include "errors.h"
#include "platform/profile.h"
#include "platform/prog_dir.h"
#include "script.h"
#include "settings/settings.h"

namespace py = pybind11;

namespace kelvora::python {
namespace {

using access::kNotHomed;

constexpr int kLeft = 1;
constexpr int kRight = 2;

// The settings file that names the model and the port: the one given, else the user's.
platform::ProfileFile SettingsFile(const std::optional<std::string>& path) {
  if (path) {
    struct stat st;
    if (::stat(path->c_str(), &st) != 0) ThrowFileError(*path, errno, "no settings file");
    if (S_ISDIR(st.st_mode)) ThrowFileError(*path, EISDIR, "no settings file");
    return platform::ProfileFile(*path);
  }
  return platform::ProfileFile(platform::UserConfigDirectory() + settings::kSettingsFileName);
}

// Axis names as keywords: "Arm horizontal" is arm_horizontal, "Säule" säule or saeule.
std::string KeyOf(const std::string& name) {
  std::string key;
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c == 0xC3 && i + 1 < name.size()) {  // the umlauts and ß in UTF-8
      const unsigned char d = static_cast<unsigned char>(name[i + 1]);
      const char* plain = d == 0xA4 || d == 0x84   ? "ae"
                          : d == 0xB6 || d == 0x96 ? "oe"
                          : d == 0xBC || d == 0x9C ? "ue"
                          : d == 0x9F              ? "ss"
                                                   : nullptr;
      if (plain != nullptr) {
        key += plain;
        ++i;
        continue;
      }
    }
    if (c == ' ' || c == '-')
      key += '_';
    else
      key += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return key;
}

// A script run as "Script Starten" does it, in a call: a stop or Ctrl+C ends it after the
// current line's movements returned, without switching any output on after that. A
// fault of the robot or the line ends it by the run's own rule.
class PlayHost final : public app::ScriptHost {
 public:
  PlayHost(access::TBrelRobot& robot, const settings::ProgramSettings& settings,
           int32_t* lineValues, app::ScriptList& list, bool repeat, const RunningCall& call)
      : robot_(robot),
        settings_(settings),
        lineValues_(lineValues),
        list_(list),
        repeat_(repeat),
        call_(call) {}

  access::TBrelRobot& Robot() override { return robot_; }
  const settings::ProgramSettings& Settings() const override { return settings_; }
  int32_t* LineValues() override { return lineValues_; }
  app::ScriptList& Script() override { return list_; }
  void SetMode(int) override {}
  bool Repeat() const override { return repeat_ && !call_.StopWanted(); }
  void SetRepeat(bool on) override { repeat_ = on; }
  void SetGripper(int32_t value) override {
    if (!call_.StopWanted()) ScriptHost::SetGripper(value);
  }
  void SetExtra(int output, int32_t value) override {
    if (!call_.StopWanted()) ScriptHost::SetExtra(output, value);
  }

 private:
  access::TBrelRobot& robot_;
  const settings::ProgramSettings& settings_;
  int32_t* lineValues_;
  app::ScriptList& list_;
  bool repeat_;
  const RunningCall& call_;
};

// Runs move, and once more when one of the axes (bit a: axis a) it is meant to drive
// started from a position not established: such an axis only ran to its end switch,
// which established it, and now goes where it was sent. Not after an abort or a fault.
template <class Move>
void MoveFromAnywhere(access::TBrelRobot& r, const RunningCall& call, uint16_t axes, Move move) {
  const bool unknown = (UnknownAxes(r) & axes) != 0;
  const uint32_t faults = r.FaultCount();
  move();
  if (!unknown || r.LastStatus != 0 || call.AbortWanted() || r.FaultCount() != faults ||
      (UnknownAxes(r) & axes) != 0)
    return;
  move();
}

}  // namespace

Robot::Robot(std::optional<std::string> port, std::optional<std::string> model,
             std::optional<std::string> settingsPath, bool simulate, bool view) {
  if (model) CheckModel(*model);
  if (port && access::CheckPortName(*port) == 0)
    throw py::value_error("port must be COM1 to COM9, LPT or LPT1 to LPT3, not '" + *port + "'");

  auto bot = std::make_unique<access::TBrelRobot>();
  access::TBrelRobot* robot = bot.get();
  // The model and the port as the program reads them, then what the caller said.
  const platform::ProfileFile ini = SettingsFile(settingsPath);
  settings::ReadSettings(settings_, robot->Axes, ini);
  if (model && *model != settings_.RobModel)
    settings::ReadModelEntry(settings_, robot->Axes, ini, *model);
  if (port) settings_.PortName = *port;
  settings::ConfigureAxes(settings_, robot->Axes);
  robot->SetLptDelay(settings_.LPTDelay);
  if (settings_.IsRob5()) robot->SetExtended(true);
  inputCount_ = settings_.IsRob5() ? 16 : 8;
  for (int axis = 1; axis <= 8; ++axis) {
    maxima_[axis] = robot->Axes.GetPos(axis, access::mcMaximum);
    names_[axis] = robot->Axes.GetName(axis);
    if (maxima_[axis] < kNotHomed) axes_.push_back(axis);
  }

  std::string portName = settings_.PortName;
  std::string device;
  if (simulate) {
    // The virtual robot is a serial box: the robot's COM port, or COM1 for another one.
    const bool serial = access::CheckPortName(portName) == 2;
    portName = "COM" + std::string(1, serial ? portName[3] : '1');
    settings_.PortName = portName;
    simulator_ =
        py::module_::import("kelvora._simulator").attr("start")(portName, settings_.IsRob5(), view);
    device = simulator_.attr("device").cast<std::string>();
  }
  core_ = std::make_shared<Core>(std::move(bot), robot, portName);
  try {
    core_->Open(device);
  } catch (...) {
    EndSimulator();
    throw;
  }
  for (int axis = 1; axis <= 8; ++axis)
    core_->State().positions[axis].store(robot->Axes.Mot[axis].Position);
  py::module_::import("kelvora").attr("_guard_termination")();
}

Robot::~Robot() {
  core_->Close(false);
  EndSimulator();
}

void Robot::EndSimulator() {
  if (!simulator_) return;
  py::object sim = std::move(simulator_);
  simulator_ = py::object();
  try {
    sim.attr("close")();
  } catch (py::error_already_set& e) {
    e.discard_as_unraisable("closing the virtual robot");
  }
}

void Robot::Close() {
  core_->Close();
  EndSimulator();
}

py::tuple Robot::Axes() const {
  py::tuple t(axes_.size());
  for (size_t i = 0; i < axes_.size(); ++i) t[i] = py::str(names_[axes_[i]]);
  return t;
}

py::tuple Robot::Maxima() const {
  py::tuple t(axes_.size());
  for (size_t i = 0; i < axes_.size(); ++i) t[i] = py::int_(maxima_[axes_[i]]);
  return t;
}

py::tuple Robot::Positions() {
  core_->Refresh();
  py::tuple t(axes_.size());
  for (size_t i = 0; i < axes_.size(); ++i) {
    const int32_t p = core_->State().positions[axes_[i]].load(std::memory_order_relaxed);
    t[i] = p == kNotHomed ? py::object(py::none()) : py::object(py::int_(p));
  }
  return t;
}

int Robot::AxisByName(const std::string& name) const {
  for (int axis : axes_)
    if (names_[axis] == name || KeyOf(names_[axis]) == KeyOf(name)) return axis;
  std::string known;
  for (int axis : axes_) known += (known.empty() ? "" : ", ") + KeyOf(names_[axis]);
  throw py::value_error(Model() + " has no axis '" + name + "' (its axes: " + known + ")");
}

int Robot::AxisOf(const py::object& axis) const {
  if (py::isinstance<py::str>(axis)) return AxisByName(axis.cast<std::string>());
  const long long n = IntOf(axis, "axis");
  for (int a : axes_)
    if (a == n) return a;
  throw py::value_error(Model() + " has axes 1 to " + std::to_string(axes_.size()) + ", not " +
                        std::to_string(n));
}

void Robot::Home() {
  core_->CheckOpen();
  CallEnd end = core_->Run([&](RunningCall&) {
    access::TBrelRobot& r = Bot();
    r.ClearStopFlag();
    r.MoveHome();
    r.ClearMotors();
    // The gripper and the outputs count as off after a home run.
    for (int32_t& v : lineValues_) v = 0;
  });
  RaiseForEnd(end, "home", *core_, names_);
  // Ended as if done, yet an axis is not on its end switch: a home run that did not
  // establish every position is no home run.
  if (end.unknownAxes != 0) {
    ThrowAxisError(Port(),
                   "home stopped: " + AxisList(end.unknownAxes, names_) +
                       " did not get to the end switch (a switch that does not close, or "
                       "its cable?); not established (None)",
                   end.unknownAxes, names_);
  }
}

void Robot::MoveTo(const py::args& positions, const py::kwargs& byAxisName) {
  core_->CheckOpen();
  if (positions.size() > axes_.size()) {
    throw py::value_error(Model() + " has " + std::to_string(axes_.size()) + " axes, not " +
                          std::to_string(positions.size()));
  }
  std::optional<int32_t> target[9];
  auto take = [&](int axis, const py::handle& value) {
    if (target[axis]) throw py::type_error("two positions for " + names_[axis]);
    if (value.is_none()) return;
    const long long p = IntOf(value, "the position of " + names_[axis]);
    CheckRange(("the position of " + names_[axis]).c_str(), p, 0, maxima_[axis]);
    target[axis] = static_cast<int32_t>(p);
  };
  for (size_t i = 0; i < positions.size(); ++i) take(axes_[i], positions[i]);
  for (const auto& [key, value] : byAxisName) take(AxisByName(key.cast<std::string>()), value);
  int count = 0;
  for (int axis = 1; axis <= 8; ++axis)
    if (target[axis]) count = axis;
  if (count == 0) return;  // nothing to move

  uint16_t targeted = 0;
  for (int axis = 1; axis <= count; ++axis)
    if (target[axis]) targeted |= static_cast<uint16_t>(1u << axis);

  CallEnd end = core_->Run([&](RunningCall& call) {
    access::TBrelRobot& r = Bot();
    r.ClearStopFlag();
    MoveFromAnywhere(r, call, targeted, [&] {
      // An axis without a target keeps its place: its own position is its target.
      int32_t t[8];
      for (int axis = 1; axis <= count; ++axis)
        t[axis - 1] = target[axis] ? *target[axis] : r.Axes.Mot[axis].Position;
      r.MoveTo(t, count);
    });
  });
  RaiseForEnd(end, "move_to", *core_, names_);
}

void Robot::Jog(const py::object& axis, int direction, double seconds) {
  core_->CheckOpen();
  const int a = AxisOf(axis);
  if (direction != kLeft && direction != kRight)
    throw py::value_error("direction must be kelvora.LEFT or kelvora.RIGHT");
  if (!std::isfinite(seconds) || seconds <= 0)
    throw py::value_error("seconds must be a number above 0");
  // As the jog arrows: the axis runs until it is let go (after seconds) or reaches its end.
  CallEnd end = core_->Run(
      [&](RunningCall&) {
        access::TBrelRobot& r = Bot();
        r.ClearStopFlag();
        r.JogAxis(a, direction);
      },
      TimeoutMs(seconds, "seconds"));
  RaiseForEnd(end, "jog", *core_, names_);
}

void Robot::Gripper(bool close) {
  core_->CheckOpen();
  if (!settings_.IsTypeG()) {
    throw std::runtime_error(Model() + " has no gripper axis (type " + settings_.RobType +
                             "): its motor 4 is switched with extra_motor(on)");
  }
  const int gripper = settings_.IsRob5() ? 5 : 4;
  CallEnd end = core_->Run([&](RunningCall& call) {
    access::TBrelRobot& r = Bot();
    r.ClearStopFlag();
    MoveFromAnywhere(r, call, static_cast<uint16_t>(1u << gripper),
                     [&] { app::SetGripper(r, settings_, lineValues_, close ? 1 : 0); });
  });
  RaiseForEnd(end, close ? "gripper_close" : "gripper_open", *core_, names_);
}

void Robot::ExtraMotor(bool on) {
  core_->CheckOpen();
  if (settings_.IsTypeG()) {
    throw std::runtime_error(Model() +
                             " has a gripper axis (type G): use gripper_open() and "
                             "gripper_close()");
  }
  CallEnd end = core_->Run([&](RunningCall&) {
    access::TBrelRobot& r = Bot();
    r.ClearStopFlag();
    app::SetGripper(r, settings_, lineValues_, on ? 1 : 0);
  });
  RaiseForEnd(end, "extra_motor", *core_, names_);
}

void Robot::Output(int output, bool on) {
  core_->CheckOpen();
  if (!settings_.IsRob5())
    throw std::runtime_error(Model() + " has no extra outputs (only Rob5 has M6 and M7)");
  if (output != 6 && output != 7) throw py::value_error("output must be 6 or 7 (M6, M7)");
  CallEnd end =
      core_->Run([&](RunningCall&) { app::SetExtra(Bot(), lineValues_, output, on ? 1 : 0); });
  RaiseForEnd(end, "output", *core_, names_);
}

bool Robot::WaitForInput(int input, bool state, std::optional<double> timeout) {
  core_->CheckOpen();
  CheckRange("input", input, 1, inputCount_);
  CallEnd end = core_->Run(
      [&](RunningCall&) {
        access::TBrelRobot& r = Bot();
        r.ClearStopFlag();
        r.WaitForInput(input, state);
      },
      TimeoutMs(timeout, "timeout"));
  if (end.OnlyTimedOut()) return false;
  RaiseForEnd(end, "wait_for_input", *core_, names_);
  return true;
}

void Robot::Play(const py::object& script, bool repeat) {
  core_->CheckOpen();
  const bool rob5 = settings_.IsRob5();
  app::VectorScriptList list(ScriptLines(script, rob5));
  CallEnd end = core_->Run([&](RunningCall& call) {
    PlayHost host(Bot(), settings_, lineValues_, list, repeat, call);
    app::RunScript(host);
  });
  RaiseForEnd(end, "play", *core_, names_);
}

void BindRobot(py::module_& m) {
  py::class_<Robot>(m, "Robot", R"doc(
The robot as the program drives it: the model's axes, its moves, home run, gripper and
outputs, with the program's own positioning and safety rules.

Robot(port=None, model=None, settings=None, simulate=False, view=False)

port and model default to what a settings file says: the file named by settings, else
the user's ~/.config/kelvora/Kelvora.INI (in $XDG_CONFIG_HOME when that is set) when it
exists; without any file the built-in models and COM1 apply. model is "Rob1" to "Rob9".
simulate=True starts the virtual robot (kelvora-sim) for this robot and ends it on
close, so a program runs unchanged without the kit; view=True opens its window where a
display exists. A port that cannot be opened raises kelvora.InterfaceError.

    with kelvora.Robot(model="Rob3") as robot:
        robot.home()
        robot.move_to(120, 85, 40)
        robot.gripper_close()
        print(robot.positions)

Positions count impulses from each axis's end switch (0) up to its maximum, and are
true (the run-down after a stop is counted too) or None: None before the first home
run and wherever the program lost count (a home run that did not get the axis to its
switch, a fault below). An axis at None is run to its end switch before anything else.

Every motor stops whatever happens: on Ctrl+C during any call (KeyboardInterrupt), an
exception leaving the with block, close(), the end of the program, garbage collection
of a robot left open, and SIGTERM. Moves and waits let other Python threads run;
stop() from any of them ends the running call with kelvora.MoveStopped. Calls on one
robot run one at a time (stop() does not wait).

What goes wrong ends the call with every motor off, and is raised once, by the call
it happened in:
  kelvora.InterfaceError   the box stopped answering (silent, pulled, replugged):
                           every position None
  kelvora.AxisStalled      an axis's motor ran 1 s without an impulse (jammed, against
                           its stop, a stuck impulse switch): that axis None; its name
                           and number in .name and .axis
  kelvora.AxisError        an axis's inputs do not fit its motor (moved by hand), or
                           home() left it away from its end switch: that axis None
  kelvora.WatchdogTripped  a move on the main thread did not get the GIL for 100 ms
                           (another thread held it): the axes it drove None
The program looks at the line at the start of every call: a box that stopped answering
while no call ran is raised by the next call, which then does nothing. Reading
positions never raises; it shows None at once.
)doc")
      .def(py::init([](std::optional<std::string> port, std::optional<std::string> model,
                       const py::object& settings, bool simulate, bool view) {
             std::optional<std::string> path;
             if (!settings.is_none()) path = PathOf(settings);
             return std::make_unique<Robot>(port, model, path, simulate, view);
           }),
           py::arg("port") = py::none(), py::arg("model") = py::none(),
           py::arg("settings") = py::none(), py::arg("simulate") = false, py::arg("view") = false,
           "Switches the interface on for the model's robot.")
      .def_property_readonly("model", &Robot::Model, "The model entry, \"Rob1\" to \"Rob9\".")
      .def_property_readonly("description", &Robot::Description,
                             "The model's description, for example \"Säulenroboter\".")
      .def_property_readonly("port", &Robot::Port, "The port the interface is on.")
      .def_property_readonly("axes", &Robot::Axes,
                             "The names of the axes in use, in axis order, for example "
                             "('Säule', 'Arm horizontal', 'Arm vertikal', 'Greifer').")
      .def_property_readonly("maxima", &Robot::Maxima,
                             "The highest position of each axis in use, in impulses.")
      .def_property_readonly("positions", &Robot::Positions,
                             "Where each axis in use stands, in impulses from its end switch; "
                             "None for an axis whose position is not established.")
      .def_property_readonly("closed", &Robot::Closed, "True once the interface is closed.")
      .def("home", &Robot::Home, R"doc(Runs every axis to its end switch (the program's
STARTEN/HOME): each stands at 0 afterwards. An axis that does not get there raises:
kelvora.AxisStalled when it stalled on the way (an end switch that does not close lets
it run into its stop), kelvora.AxisError when it ended away from its switch; that
axis is None then, and so is every other one not at its switch.)doc")
      .def("move_to", &Robot::MoveTo, R"doc(move_to(*positions, **by_axis_name)

Moves the axes to the positions given, all starting together, each creeping into its
target: move_to(120, 85, 40) in axis order, or by name, move_to(säule=120,
arm_vertikal=40) (names in lower case, '_' for a blank; saeule works too). None, or
leaving an axis out, keeps it where it is. A position outside 0 to the axis's maximum
raises ValueError. An axis whose position is not established (None) is run to its end
switch first, then to its target.)doc")
      .def("jog", &Robot::Jog, py::arg("axis"), py::arg("direction"), py::arg("seconds"),
           R"doc(Runs one axis (number from 1, or name) toward its end switch
(kelvora.LEFT) or its maximum (kelvora.RIGHT) for seconds, as holding a jog arrow does;
it stops earlier at its end. The axes below it stay where they are. An axis whose
position is not established (None) runs toward its end switch whatever the direction.)doc")
      .def("gripper_open", &Robot::GripperOpen,
           "Opens the gripper (runs the gripper axis to its end switch). Type G models.")
      .def("gripper_close", &Robot::GripperClose,
           "Closes the gripper (runs the gripper axis to its maximum). Type G models.")
      .def("extra_motor", &Robot::ExtraMotor, py::arg("on"),
           "Switches the extra motor on motor 4 on or off (models of type Z, no gripper axis).")
      .def("output", &Robot::Output, py::arg("n"), py::arg("on"),
           "Switches Rob5's extra output M6 (n=6) or M7 (n=7) on or off.")
      .def("wait_for_input", &Robot::WaitForInput, py::arg("n"), py::arg("state") = true,
           py::arg("timeout") = py::none(),
           R"doc(Waits until input n (1 to 8, 1 to 16 for Rob5) is closed (state=True) or
open and returns True; False when timeout seconds passed first (None: no limit).)doc")
      .def("play", &Robot::Play, py::arg("script"), py::arg("repeat") = false,
           R"doc(Plays a script as "Script Starten" does: line after line, each line's axes
together, then its gripper (and for Rob5 M6, M7 and the wait for input 11). script is
a script file (RB3, RB5, ...) or a list of line tuples as read_script returns them;
every line is checked before anything moves. repeat=True plays it again and again
until stop() or Ctrl+C. A fault (see Robot) ends the whole run, and is raised.)doc")
      .def("stop", &Robot::Stop, R"doc(Stops the robot now, from any thread: every motor off
at the driver's next poll, and the running call (move, wait, script) ends with
kelvora.MoveStopped. Without a running call it only switches the motors off.)doc")
      .def("close", &Robot::Close, R"doc(Switches every motor off, closes the interface and
ends the virtual robot of simulate=True. Closing twice does nothing.)doc")
      .def(
          "__enter__", [](Robot& self) -> Robot& { return self; },
          py::return_value_policy::reference, "Returns the robot itself.")
      .def(
          "__exit__",
          [](Robot& self, py::args) {
            self.Close();
            return false;
          },
          "Closes the robot (every motor off); an exception goes on.")
      .def("__repr__", [](const Robot& self) {
        return "<kelvora.Robot " + self.Model() + " on " + self.Port() +
               (self.Closed() ? " closed>" : ">");
      });
}

}  // namespace kelvora::python
