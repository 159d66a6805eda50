// SPDX-License-Identifier: MIT
#include "script.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <pybind11/stl.h>

#include "access/brel_mot_list.h"
#include "app/script.h"
#include "errors.h"
#include "interface.h"

namespace py = pybind11;

namespace kelvora::python {
namespace {

// The field widths of a line, from the program's formats: "%6d" four times; for Rob5
// "%4d" five times and "%2d" three times. A value wider than its field would shift the
// columns after it, and the line would no longer read back: refused.
const std::vector<int>& Widths(bool rob5) {
  static const std::vector<int> standard{6, 6, 6, 6};
  static const std::vector<int> withCarriage{4, 4, 4, 4, 4, 2, 2, 2};
  return rob5 ? withCarriage : standard;
}

long long PowerOfTen(int n) {
  long long v = 1;
  while (n-- > 0) v *= 10;
  return v;
}

const char* LayoutText(bool rob5) {
  return rob5 ? "a Rob5 line has 8 values (Säule, Arm horizontal, Arm vertikal, Wagen, "
                "Greifer, M6, M7, M8)"
              : "a line has 4 values (Säule, Arm horizontal, Arm vertikal, gripper or extra "
                "motor)";
}

std::string FormatValues(const py::handle& values, bool rob5, const std::string& where) {
  if (!py::isinstance<py::sequence>(values) || py::isinstance<py::str>(values)) {
    throw py::type_error(where + ": a line is a tuple of integers");
  }
  const auto seq = py::reinterpret_borrow<py::sequence>(values);
  const std::vector<int>& widths = Widths(rob5);
  if (seq.size() != widths.size()) {
    throw py::value_error(where + ": " + LayoutText(rob5) + ", not " + std::to_string(seq.size()));
  }
  int32_t v[8] = {};
  for (size_t i = 0; i < widths.size(); ++i) {
    const std::string what = where + ", value " + std::to_string(i + 1);
    const long long n = IntOf(seq[i], what);
    CheckRange(what.c_str(), n, -(PowerOfTen(widths[i] - 1) - 1), PowerOfTen(widths[i]) - 1);
    v[i] = static_cast<int32_t>(n);
  }
  // The program's own formatting: positions from the axis table, states from the values.
  access::TBrelMotList axes;
  int32_t lineValues[8] = {};
  const int positioned = rob5 ? 4 : 3;
  for (int axis = 1; axis <= positioned; ++axis) axes.SetPos(axis, access::mcPosition, v[axis - 1]);
  for (size_t i = positioned; i < widths.size(); ++i) lineValues[i] = v[i];
  return app::FormatLine(axes, lineValues, rob5);
}

py::tuple ValuesOf(const std::string& line, bool rob5) {
  int32_t v[8] = {};
  app::ParseLine(line, rob5, v);
  const size_t n = Widths(rob5).size();
  py::tuple t(n);
  for (size_t i = 0; i < n; ++i) t[i] = py::int_(v[i]);
  return t;
}

bool HasRb5Extension(const std::string& path) {
  return path.size() >= 4 && ::strcasecmp(path.c_str() + path.size() - 4, ".RB5") == 0;
}

// What the system says about reading path, 0 when it would not object (the program then
// refused the file itself: no regular file, or too large).
int ReadErrno(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno;
  struct stat st;
  const bool dir = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  ::close(fd);
  return dir ? EISDIR : 0;
}

int WriteErrno(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0) return errno;
  if (::access(dir.c_str(), W_OK | X_OK) != 0) return errno;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return EISDIR;
  return 0;
}

std::vector<std::string> ReadLines(const std::string& path) {
  try {
    return app::ReadScriptFile(path);
  } catch (const app::ScriptError& e) {
    ThrowFileError(path, ReadErrno(path), e.what());
  }
}

bool LayoutFor(const std::optional<std::string>& model, const std::string& path) {
  if (!model) return HasRb5Extension(path);
  CheckModel(*model);
  return *model == "Rob5";
}

py::list ReadScript(const py::object& path, const std::optional<std::string>& model) {
  const std::string p = PathOf(path);
  const bool rob5 = LayoutFor(model, p);
  const std::vector<std::string> lines = ReadLines(p);
  py::list out;
  for (size_t i = 0; i < lines.size(); ++i) {
    try {
      out.append(ValuesOf(lines[i], rob5));
    } catch (const app::ScriptError& e) {
      throw py::value_error(p + ", line " + std::to_string(i + 1) + ": " + e.what());
    }
  }
  return out;
}

void WriteScript(const py::object& path, const py::iterable& lines, const std::string& model) {
  const std::string p = PathOf(path);
  CheckModel(model);
  const bool rob5 = model == "Rob5";
  std::vector<std::string> texts;
  for (const py::handle line : lines)
    texts.push_back(FormatValues(line, rob5, "line " + std::to_string(texts.size() + 1)));
  try {
    app::WriteScriptFile(p, texts);
  } catch (const app::ScriptError& e) {
    ThrowFileError(p, WriteErrno(p), e.what());
  }
}

}  // namespace

long long IntOf(const py::handle& value, const std::string& what) {
  if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr()))
    throw py::type_error(what + " must be an integer");
  const py::int_ n = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
  if (!n) throw py::error_already_set();
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(n.ptr(), &overflow);
  if (overflow != 0) throw py::value_error(what + " is out of range");
  return v;
}

void CheckModel(const std::string& model) {
  if (model.size() != 4 || model.compare(0, 3, "Rob") != 0 || model[3] < '1' || model[3] > '9')
    throw py::value_error("model must be Rob1 to Rob9, not '" + model + "'");
}

std::string PathOf(const py::handle& path) {
  const py::object p = py::module_::import("os").attr("fspath")(path);
  if (!py::isinstance<py::str>(p)) throw py::type_error("a path is a str or an os.PathLike of str");
  return p.cast<std::string>();
}

std::vector<std::string> ScriptLines(const py::handle& script, bool rob5) {
  std::vector<std::string> lines;
  std::string name;
  if (py::isinstance<py::str>(script) || py::hasattr(script, "__fspath__")) {
    name = PathOf(script);
    lines = ReadLines(name);
  } else {
    if (!py::isinstance<py::iterable>(script))
      throw py::type_error("a script is a file name or a list of line tuples");
    for (const py::handle line : py::reinterpret_borrow<py::iterable>(script))
      lines.push_back(FormatValues(line, rob5, "line " + std::to_string(lines.size() + 1)));
    name = "the script";
  }
  if (lines.empty()) throw py::value_error(name + " has no lines");
  // Every line is read before the robot moves, so that a bad line cannot stop it halfway.
  for (size_t i = 0; i < lines.size(); ++i) {
    try {
      ValuesOf(lines[i], rob5);
    } catch (const app::ScriptError& e) {
      throw py::value_error(name + ", line " + std::to_string(i + 1) + ": " + e.what());
    }
  }
  return lines;
}

void BindScript(py::module_& m) {
  m.def("read_script", &ReadScript, py::arg("path"), py::arg("model") = py::none(),
        R"doc(Reads a script file of the program (RB3, RB5, ...) and returns its lines as
tuples of integers, in the model's layout:

    (säule, arm_horizontal, arm_vertikal, gripper)          standard layout
    (säule, arm_horizontal, arm_vertikal, wagen, gripper,
     m6, m7, m8)                                             Rob5

The gripper column is 1 closed (or the extra motor on), 0 open; M8 1 waits for input
11 on, 0 for it off. The layout follows model, else the file's extension (.RB5 is Rob5).
A line that is no line of that layout raises ValueError naming it; a file that cannot
be read raises OSError.)doc");
  m.def("write_script", &WriteScript, py::arg("path"), py::arg("lines"), py::arg("model") = "Rob3",
        R"doc(Writes lines (tuples as read_script returns them) as a script file of model,
byte for byte as the program writes it: fixed columns, each line ending in CR LF. The
file is replaced whole or not at all. A value that does not fit its column raises
ValueError, and nothing is written.)doc");
}

}  // namespace kelvora::python
