// SPDX-License-Identifier: MIT
#include "interface.h"

#include <pybind11/stl.h>

#include <cmath>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "access/brel_consts.h"
#include "errors.h"

namespace py = pybind11;

namespace kelvora::python {
namespace {

std::mutex gOpenMutex;  // the environment while a simulator's device is mapped for an open
std::mutex gRegistryMutex;
std::vector<std::weak_ptr<Core>> gCores;

// The way the driver is told which device a port reaches, set for one open and put back.
class ScopedPortMapping {
 public:
  ScopedPortMapping(const std::string& port, const std::string& device) {
    if (device.empty()) return;
    variable_ = "ZQBREL_";
    for (char c : port) variable_ += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    active_ = true;
    if (const char* old = std::getenv(variable_.c_str())) old_ = old;
    ::setenv(variable_.c_str(), device.c_str(), 1);
  }
  ~ScopedPortMapping() {
    if (!active_) return;
    if (old_)
      ::setenv(variable_.c_str(), old_->c_str(), 1);
    else
      ::unsetenv(variable_.c_str());
  }

 private:
  std::string variable_;
  std::optional<std::string> old_;
  bool active_ = false;
};

}  // namespace

void ThrowNestedCall() {
  throw std::runtime_error(
      "a signal handler cannot work the robot while one of its calls is running; "
      "call stop() or close() there, or raise an exception");
}

void CheckRange(const char* what, long long value, long long lo, long long hi) {
  if (value < lo || value > hi) {
    throw py::value_error(std::string(what) + " must be " + std::to_string(lo) + " to " +
                          std::to_string(hi) + ", not " + std::to_string(value));
  }
}

std::optional<uint32_t> TimeoutMs(std::optional<double> seconds, const char* name) {
  if (!seconds) return std::nullopt;
  if (!std::isfinite(*seconds) || *seconds < 0 || *seconds > 4.0e6) {
    throw py::value_error(std::string(name) + " must be a number of seconds, 0 or more");
  }
  return static_cast<uint32_t>(std::llround(*seconds * 1000.0));
}

// --- Core ------------------------------------------------------------------------------

Core::Core(std::unique_ptr<access::TBrelFace> face, access::TBrelRobot* robot, std::string port)
    : face_(std::move(face)), robot_(robot), port_(std::move(port)) {}

Core::~Core() {
  // Every owner closes first; this is the last guard.
  if (IsOpen()) CloseLocked();
}

void Core::Open(const std::string& device) {
  uint32_t r;
  {
    std::lock_guard lock(gOpenMutex);
    ScopedPortMapping mapping(port_, device);
    r = face_->OpenInterface(port_);
  }
  if (r == access::kInterfaceError) {
    if (!device.empty()) ThrowInterfaceError(port_, "the virtual robot does not answer", device);
    const OpenFailure f = ExplainOpenFailure(port_);
    ThrowInterfaceError(port_, f.reason, f.device, f.err);
  }
  device_ = device.empty() ? DeviceOf(port_) : device;
  state_.open.store(true);
  std::lock_guard lock(gRegistryMutex);
  std::erase_if(gCores, [](const std::weak_ptr<Core>& c) { return c.expired(); });
  gCores.push_back(weak_from_this());
}

void Core::CheckOpen() const {
  if (!IsOpen()) ThrowInterfaceError(port_, "the interface is closed");
}

void Core::Refresh() {
  // Inside a call on this thread (a signal handler) the lock may be this thread's own.
  if (robot_ == nullptr || InsideCall()) return;
  std::unique_lock lock(state_.callMutex, std::try_to_lock);
  if (!lock.owns_lock() || !IsOpen()) return;
  robot_->GetInputs();
  robot_->CheckGuard();
  NotePositions(state_, *robot_);
}

void Core::Stop() {
  state_.stops.fetch_add(1, std::memory_order_relaxed);
  // At once, from this thread: the record's motor word is atomic, the driver sends it at
  // its next poll. The call that moves sees the stop at its next control cycle.
  if (IsOpen()) face_->SetMotorWord(0);
}

void Core::Close(bool releaseGil) {
  if (!IsOpen()) return;
  Stop();
  if (InsideCallOn(state_)) {
    // A signal handler inside one of this interface's own calls: that call closes it as
    // soon as it has returned, its motors already off.
    state_.closeWanted.store(true, std::memory_order_relaxed);
    return;
  }
  if (releaseGil) {
    py::gil_scoped_release nogil;
    std::lock_guard lock(state_.callMutex);
    CloseLocked();
  } else {
    std::lock_guard lock(state_.callMutex);
    CloseLocked();
  }
}

void Core::CloseLocked() {
  if (!state_.open.exchange(false)) return;
  state_.closeWanted.store(false, std::memory_order_relaxed);
  // Motor word 0, four poll periods for the driver to send it, then the port is closed.
  face_->CloseInterface();
}

void Core::CloseAll() {
  std::vector<std::shared_ptr<Core>> open;
  {
    std::lock_guard lock(gRegistryMutex);
    for (const auto& weak : gCores)
      if (auto core = weak.lock()) open.push_back(std::move(core));
  }
  for (const auto& core : open) core->Close();
}

// --- Interface -----------------------------------------------------------------------

Interface::Interface(const std::string& port, int inputs) {
  if (access::CheckPortName(port) == 0)
    throw py::value_error("port must be COM1 to COM9, LPT or LPT1 to LPT3, not '" + port + "'");
  if (inputs != 8 && inputs != 16) throw py::value_error("inputs must be 8 or 16");
  auto face = std::make_unique<access::TBrelFace>();
  face->SetExtended(inputs == 16);
  core_ = std::make_shared<Core>(std::move(face), nullptr, port);
  core_->Open();
}

Interface::~Interface() {
  core_->Close(false);
}

int Interface::InputCount() const {
  return static_cast<int>(core_->Face().Record.InputCount);
}

int Interface::MotorCount() const {
  return core_->Face().MotorCount;
}

void Interface::CheckAnswer(uint32_t word) {
  if (word != access::kInterfaceError) return;
  core_->Face().ClearMotors();
  ThrowInterfaceError(Port(), "the interface box does not answer; every motor is off",
                      core_->Device());
}

void Interface::CheckStillOpen() {
  // A close from another thread marks the interface closed before it clears the motor
  // word and lets the driver send that; a motor switched on after the mark would outlive
  // the close, so it is switched off again here.
  if (core_->IsOpen()) return;
  core_->Face().SetMotorWord(0);
  core_->CheckOpen();
}

// The quick calls read and write the record's shared words only (atomically, as the
// driver's timer does), so that they work while another thread waits for an input.
void Interface::SetMotor(int motor, int direction) {
  core_->CheckOpen();
  CheckRange("motor", motor, 0, MotorCount());
  CheckRange("direction", direction, 0, 2);
  TBrelRecord* record = &core_->Face().Record;
  uint32_t r = 0;
  if (motor == 0) {
    for (int m = 1; m <= MotorCount(); ++m)
      r = static_cast<uint32_t>(zqSetMotor(record, m, direction));
  } else {
    r = static_cast<uint32_t>(zqSetMotor(record, motor, direction));
  }
  CheckStillOpen();
  CheckAnswer(r);
}

void Interface::SetOutput(int output, bool on) {
  core_->CheckOpen();
  CheckRange("output", output, 1, 2 * MotorCount());
  const uint32_t r = static_cast<uint32_t>(zqSetLamp(&core_->Face().Record, output, on ? 1 : 0));
  CheckStillOpen();
  CheckAnswer(r);
}

bool Interface::Input(int input) {
  core_->CheckOpen();
  CheckRange("input", input, 1, InputCount());
  const uint32_t w = core_->Face().InputWord();
  CheckAnswer(w);
  return (w & access::InputMaskOf(input)) != 0;
}

uint32_t Interface::Inputs() {
  core_->CheckOpen();
  const uint32_t w = core_->Face().InputWord();
  CheckAnswer(w);
  return w;
}

uint32_t Interface::Counter(int input) {
  core_->CheckOpen();
  CheckRange("input", input, 1, InputCount());
  return core_->Face().Counter(input);
}

bool Interface::WaitForInput(int input, bool state, std::optional<double> timeout) {
  core_->CheckOpen();
  CheckRange("input", input, 1, InputCount());
  CallEnd end = core_->Run(
      [&](RunningCall&) {
        access::TBrelFace& face = core_->Face();
        face.ClearStopFlag();
        face.WaitForInput(input, state);
      },
      TimeoutMs(timeout, "timeout"));
  if (end.OnlyTimedOut()) return false;
  RaiseForEnd(end, "wait_for_input", *core_);
  return true;
}

// --- Binding -------------------------------------------------------------------------

void BindInterface(py::module_& m) {
  py::class_<Interface>(m, "Interface", R"doc(
The interface box on one port, driven directly: motors, outputs, inputs and counters.

Interface(port="COM1", inputs=8) opens the port (COM1 to COM9, LPT, LPT1 to LPT3) and
starts the driver's poll timer; inputs=16 selects the extension module (8 motors,
16 inputs). A port that cannot be opened raises kelvora.InterfaceError.

Use it in a with block, which closes it whatever happens:

    with kelvora.Interface("COM1") as box:
        box.set_motor(1, kelvora.RIGHT)
        box.wait_for_input(1, timeout=5)
        box.set_motor(1, kelvora.OFF)

Closing switches every motor off first. So do Ctrl+C, an exception leaving the with
block, the end of the program and garbage collection of an interface left open.
The box alone knows no axes, so nothing watches its motors: a motor switched on runs
until it is switched off (a stall guard would cut a motor that counts no impulses,
such as a lamp's or a conveyor's). For a robot model with its axes, moves, home run
and guards, use kelvora.Robot instead.
)doc")
      .def(py::init<const std::string&, int>(), py::arg("port") = "COM1", py::arg("inputs") = 8,
           "Opens the interface on port with 8 inputs, or 16 with the extension module.")
      .def("set_motor", &Interface::SetMotor, py::arg("motor"), py::arg("direction"),
           R"doc(Switches motor 1 to 4 (1 to 8 with the extension module) to direction:
kelvora.OFF, kelvora.LEFT (toward an axis's end switch) or kelvora.RIGHT. Motor 0
means every motor. The motor runs until it is switched again; the driver sends the
change at its next poll (every 10 ms).)doc")
      .def("set_output", &Interface::SetOutput, py::arg("n"), py::arg("on"),
           R"doc(Switches single output n (1 to 8, 1 to 16 with the extension module) on or
off, as the driver's zqSetLamp does; outputs 2m-1 and 2m are the two direction bits of
motor m. On the serial box an output is active low: on clears its bit, off sets it.)doc")
      .def("input", &Interface::Input, py::arg("n"),
           "True while input n (1 to 8, or 1 to 16) is closed.")
      .def_property_readonly("inputs", &Interface::Inputs, "The input word: input n is bit n-1.")
      .def("counter", &Interface::Counter, py::arg("n"),
           "How often input n changed since the interface was opened (the impulse count).")
      .def("wait_for_input", &Interface::WaitForInput, py::arg("n"), py::arg("state") = true,
           py::arg("timeout") = py::none(),
           R"doc(Waits until input n is closed (state=True) or open (state=False) and returns
True; returns False when timeout seconds passed first (None: no limit). Other
Python threads run meanwhile; Ctrl+C ends the wait with KeyboardInterrupt.)doc")
      .def("close", &Interface::Close,
           "Switches every motor off and closes the port. Closing twice does nothing.")
      .def_property_readonly("closed", &Interface::Closed, "True once the port is closed.")
      .def_property_readonly("port", &Interface::Port, "The port name.")
      .def(
          "__enter__", [](Interface& self) -> Interface& { return self; },
          py::return_value_policy::reference, "Returns the interface itself.")
      .def(
          "__exit__",
          [](Interface& self, py::args) {
            self.Close();
            return false;
          },
          "Closes the interface; an exception goes on.")
      .def("__repr__", [](const Interface& self) {
        return "<kelvora.Interface " + self.Port() + (self.Closed() ? " closed>" : ">");
      });
}

}  // namespace kelvora::python
