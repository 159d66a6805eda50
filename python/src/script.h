// SPDX-License-Identifier: MIT
// Script files for Python: kelvora.read_script and kelvora.write_script over the
// program's own line format and files, and the lines a Robot plays.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

namespace kelvora::python {

// ValueError unless model is one of the nine model entries "Rob1" to "Rob9".
void CheckModel(const std::string& model);
// An integer argument (TypeError for anything else, bool included; ValueError when it is
// far outside any range).
long long IntOf(const pybind11::handle& value, const std::string& what);
// The path of a str or os.PathLike.
std::string PathOf(const pybind11::handle& path);

// The lines to play: a script file (str or os.PathLike), or a sequence of value tuples
// in the model's layout. Every line is checked first (ValueError naming the line).
std::vector<std::string> ScriptLines(const pybind11::handle& script, bool rob5);

void BindScript(pybind11::module_& m);

}  // namespace kelvora::python
