// SPDX-License-Identifier: MIT
// The native part of the package kelvora: the interface, the robot and the script files,
// over the program's own code and the shared driver library.
#include <pybind11/pybind11.h>

#include "calls.h"
#include "interface.h"
#include "robot.h"
#include "script.h"

namespace py = pybind11;

PYBIND11_MODULE(_kelvora, m) {
  m.doc() = "The native part of kelvora; use the package kelvora.";
  kelvora::python::NoteMainThread();
  kelvora::python::InstallHooks();
  m.attr("__version__") = KELVORA_VERSION;
  m.attr("OFF") = 0;
  m.attr("LEFT") = 1;
  m.attr("RIGHT") = 2;
  // The classes and functions are the package's: named kelvora.Robot in help and errors.
  const py::object name = m.attr("__name__");
  m.attr("__name__") = "kelvora";
  kelvora::python::BindInterface(m);
  kelvora::python::BindRobot(m);
  kelvora::python::BindScript(m);
  m.attr("__name__") = name;
  m.def("_close_all", &kelvora::python::Core::CloseAll,
        "Closes every interface still open (the interpreter's exit does it).");
}
