// SPDX-License-Identifier: MIT
#include "errors.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <pybind11/pybind11.h>

#include "access/brel_consts.h"
#include "access/brel_face.h"
#include "driver/os/posix_os.h"
#include "interface.h"

namespace py = pybind11;

namespace kelvora::python {
namespace {

py::object ErrorType(const char* name) {
  return py::module_::import("kelvora._errors").attr(name);
}

[[noreturn]] void Throw(const py::object& exception) {
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.ptr())), exception.ptr());
  throw py::error_already_set();
}

std::string GroupOf(const std::string& device) {
  struct stat st;
  if (::stat(device.c_str(), &st) != 0) return {};
  const group* g = ::getgrgid(st.st_gid);
  return g != nullptr && g->gr_name != nullptr ? g->gr_name : "";
}

}  // namespace

void ThrowInterfaceError(const std::string& port, const std::string& reason,
                         const std::string& device, int err) {
  const py::object dev = device.empty() ? py::object(py::none()) : py::object(py::str(device));
  const py::object number = err == 0 ? py::object(py::none()) : py::object(py::int_(err));
  Throw(ErrorType("InterfaceError")(port, reason, dev, number));
}

void ThrowMoveStopped(const std::string& text) {
  Throw(ErrorType("MoveStopped")(text));
}

namespace {

[[noreturn]] void ThrowAxes(const char* type, const std::string& port, const std::string& text,
                            uint16_t axes, const std::string* names) {
  py::list numbers, named;
  for (int axis = 1; axis <= 8; ++axis) {
    if ((axes & (1u << axis)) == 0) continue;
    numbers.append(axis);
    named.append(names != nullptr ? names[axis] : "axis " + std::to_string(axis));
  }
  Throw(ErrorType(type)(port, text, py::tuple(numbers), py::tuple(named)));
}

}  // namespace

void ThrowAxisError(const std::string& port, const std::string& text, uint16_t axes,
                    const std::string names[9]) {
  ThrowAxes("AxisError", port, text, axes, names);
}

void ThrowFileError(const std::string& path, int err, const std::string& text) {
  const py::object oserror = py::module_::import("builtins").attr("OSError");
  // OSError(errno, text, filename) becomes FileNotFoundError, PermissionError, ...
  if (err != 0) Throw(oserror(err, std::strerror(err), path));
  Throw(oserror(text));
}

std::string DeviceOf(const std::string& port) {
  return drvos::DevicePathFor(port.c_str());
}

OpenFailure ExplainOpenFailure(const std::string& port) {
  OpenFailure f;
  if (access::CheckPortName(port) == 0) {
    f.reason = "no port name (COM1 to COM9, LPT, LPT1 to LPT3)";
    return f;
  }
  f.device = DeviceOf(port);
  const bool parallel = access::CheckPortName(port) == 1;
  struct stat st;
  if (::stat(f.device.c_str(), &st) != 0) {
    f.err = errno;
    f.reason = "no such device; map the port to the box's device with ZQBREL_" + port +
               "=DEVICE or a line " + port +
               "=DEVICE in ~/.config/kelvora/ports (kelvora-ports lists the ports)";
    return f;
  }
  // Opened the way the driver opens it, without waiting for a line: refused, in use, or
  // opened, in which case the box did not answer.
  const int fd = ::open(f.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    f.err = errno;
    if (f.err == EACCES || f.err == EPERM) {
      std::string group = GroupOf(f.device);
      if (group.empty()) group = parallel ? "lp" : "dialout";
      f.reason = "no permission to open it; join the group " + group + " (sudo usermod -aG " +
                 group + " $USER) and log in again";
    } else if (f.err == EBUSY) {
      f.reason = "in use by another program";
    } else {
      f.reason = std::string("cannot open it: ") + std::strerror(f.err);
    }
    return f;
  }
  ::close(fd);
  f.reason = parallel ? "the interface box cannot be reached on this port"
                      : "the interface box does not answer (switched off or not connected?)";
  return f;
}

std::string AxisList(uint16_t axes, const std::string names[9]) {
  std::string list;
  for (int axis = 1; axis <= 8; ++axis) {
    if ((axes & (1u << axis)) == 0) continue;
    if (!list.empty()) list += ", ";
    const std::string n = std::to_string(axis);
    list += names != nullptr ? names[axis] + " (" + n + ")" : "axis " + n;
  }
  return list;
}

namespace {

bool Several(uint16_t axes) {
  return (axes & (axes - 1)) != 0;
}

// One fault of the robot as the exception that tells it: its type, its words (after a
// lead naming the call) and the axes it concerns.
struct Fault {
  const char* type;
  std::string text;
  uint16_t axes = 0;
};

std::vector<Fault> FaultsOf(const CallEnd& end, const std::string* names) {
  const access::TBrelRobot::TFaults& f = end.faults;
  std::vector<Fault> faults;
  if (f.interfaceLost || f.motorsWereOn) {
    std::string text = end.faultsBefore ? "the interface box stopped answering while no call ran"
                                        : "the interface box stopped answering";
    text += "; every position is unknown (None) until home()";
    if (f.motorsWereOn) {
      text +=
          ". It stopped while a motor ran: until it answers again or is switched off, the "
          "box may keep its last outputs, and a motor may run on";
    }
    faults.push_back({"InterfaceError", text});
  }
  if (const uint16_t a = f.stalled; a != 0) {
    const bool many = Several(a);
    faults.push_back(
        {"AxisStalled",
         AxisList(a, names) +
             (many ? " do not move although their motors run"
                   : " does not move although its motor runs") +
             " (jammed, against its stop because its end switch does not close, or its "
             "impulse switch sticks); " +
             (many ? "their motors are off and their positions unknown (None)"
                   : "its motor is off and its position unknown (None)") +
             " until home()",
         a});
  }
  if (const uint16_t a = f.strayed; a != 0) {
    const bool many = Several(a);
    faults.push_back({"AxisError",
                      "the inputs of " + AxisList(a, names) +
                          (many ? " do not fit their motors" : " do not fit its motor") +
                          " (moved by hand, or a disturbed connection); " +
                          (many ? "their positions are" : "its position is") +
                          " unknown (None) until home()",
                      a});
  }
  if (f.watchdog) {
    faults.push_back(
        {"WatchdogTripped",
         "the watchdog switched its motors off: its control cycle did not run for 100 ms, "
         "and the positions of the axes it drove are unknown (None) until home(). A move on "
         "the main thread takes the GIL for a moment every 10 ms; another Python thread "
         "that held the GIL longer (a long computation inside one C call) or a slow signal "
         "handler kept it from running. Keep such work out of the moves, or make them on a "
         "thread of their own"});
  }
  return faults;
}

// The whole text: what the call did, the first fault, the others, and which positions
// are not established beyond the ones named.
std::string FaultText(const CallEnd& end, const std::vector<Fault>& faults, const std::string& what,
                      const std::string* names) {
  const bool allGone = std::string(faults[0].type) == "InterfaceError";
  std::string text = what +
                     (end.faultsBefore ? " did nothing: "
                      : allGone        ? " ended: "
                                       : " stopped: ") +
                     faults[0].text;
  for (size_t i = 1; i < faults.size(); ++i) text += ". Also " + faults[i].text;
  uint16_t named = 0;
  for (const Fault& f : faults) named |= f.axes;
  if (!allGone && (end.unknownAxes & ~named) != 0)
    text += ". Not established now: " + AxisList(end.unknownAxes, names);
  return text;
}

[[noreturn]] void ThrowFault(const Fault& fault, const std::string& text, const Core& core,
                             const std::string* names) {
  const std::string type = fault.type;
  if (type == "InterfaceError") ThrowInterfaceError(core.Port(), text, core.Device());
  if (type == "WatchdogTripped") Throw(ErrorType("WatchdogTripped")(text));
  ThrowAxes(fault.type, core.Port(), text, fault.axes, names);
}

}  // namespace

void RaiseForEnd(CallEnd& end, const std::string& what, const Core& core,
                 const std::string* names) {
  const std::vector<Fault> faults = FaultsOf(end, names);
  if (end.pending.Set()) {
    // Ctrl+C (or what a signal handler raised) goes on; what went wrong meanwhile is told
    // with it, since it is not raised again.
    if (!faults.empty()) {
      PyErr_NormalizeException(&end.pending.type, &end.pending.value, &end.pending.traceback);
      py::handle value(end.pending.value);
      if (value && py::hasattr(value, "add_note")) {
        value.attr("add_note")("kelvora." + std::string(faults[0].type) + ": " +
                               FaultText(end, faults, what, names));
      }
    }
    end.pending.Raise();
  }
  if (!faults.empty()) ThrowFault(faults[0], FaultText(end, faults, what, names), core, names);
  if (!end.coreError.empty()) throw py::value_error(end.coreError);
  if (!end.runtimeError.empty()) throw std::runtime_error(end.runtimeError);
  if (end.stopped) ThrowMoveStopped(what + " stopped");
  if (end.lastStatus == static_cast<int32_t>(access::kInterfaceError)) {
    ThrowInterfaceError(core.Port(),
                        names != nullptr
                            ? "the interface box does not answer; every position is unknown "
                              "(None) until home()"
                            : "the interface box does not answer; every motor is off",
                        core.Device());
  }
  // A time limit ends a jog or a wait as a release does.
  if (end.lastStatus == 2 && !end.timedOut) ThrowMoveStopped(what + " was aborted");
  if (end.lastStatus == 1) ThrowInterfaceError(core.Port(), "the interface is closed");
  if (end.lastStatus != 0 && end.lastStatus != 2) {
    ThrowMoveStopped(what + " ended by the robot (status " + std::to_string(end.lastStatus) +
                     "); every motor is off");
  }
}

}  // namespace kelvora::python
