// SPDX-License-Identifier: MIT
// Arbitrary bytes as a script file, and each line read back in both layouts: the reader
// must take anything, and the line parser must either convert a line or throw its
// conversion error, never read outside the line. The same bytes also go through a real
// file and the program's reading path (zero bytes, CR/LF mixes, long lines), which must
// give the same lines as the text split in memory and mark line 1.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/script.h"
#include "fuzz/scratch_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kelvora::app;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto lines = SplitScriptText(bytes);

  // Writing the lines back and reading them again gives the same lines: the reader keeps
  // every byte up to the first zero, line ends aside.
  if (SplitScriptText(JoinScriptText(lines)) != lines) __builtin_trap();

  static const kelvora::fuzz::ScratchFolder scratch("FUZZ.RB3");
  scratch.Write(bytes);
  VectorScriptList list({"old"});
  try {
    LoadScript(list, scratch.File());
  } catch (const ScriptError&) {
    __builtin_trap();  // a regular file within the size limit always reads
  }
  if (list.Lines() != lines) __builtin_trap();
  if (list.ItemIndex() != (lines.empty() ? -1 : 0)) __builtin_trap();

  for (const std::string& line : lines) {
    for (bool rob5 : {false, true}) {
      int32_t values[8] = {};
      try {
        ParseLine(line, rob5, values);
      } catch (const ScriptError&) {
      }
    }
  }
  // The raw input as one line too, zero bytes and line ends included.
  for (bool rob5 : {false, true}) {
    int32_t values[8] = {};
    try {
      ParseLine(bytes, rob5, values);
    } catch (const ScriptError&) {
    }
  }
  return 0;
}
