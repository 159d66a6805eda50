// SPDX-License-Identifier: MIT
#include "errors.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <pybind11/pybind11.h>

#include "access/brel_consts.h"
#include "access/brel_face.h"
#include "driver/os/posix_os.h"

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

void RaiseForEnd(CallEnd& end, const std::string& what, const std::string& port) {
  if (end.pending.Set()) end.pending.Raise();
  if (!end.coreError.empty()) throw py::value_error(end.coreError);
  if (!end.runtimeError.empty()) throw std::runtime_error(end.runtimeError);
  if (end.stopped) ThrowMoveStopped(what + " stopped");
  if (end.lastStatus == static_cast<int32_t>(access::kInterfaceError)) {
    ThrowInterfaceError(port, "the interface box does not answer; every motor is off",
                        DeviceOf(port));
  }
  // A time limit ends a jog or a wait as a release does.
  if (end.lastStatus == 2 && !end.timedOut) ThrowMoveStopped(what + " was aborted");
  if (end.lastStatus == 1) ThrowInterfaceError(port, "the interface is closed");
  if (end.lastStatus != 0 && end.lastStatus != 2) {
    ThrowMoveStopped(what + " ended by the robot (status " + std::to_string(end.lastStatus) +
                     "); every motor is off");
  }
}

}  // namespace kelvora::python
