// SPDX-License-Identifier: MIT
// The program settings, one set for the whole run, held by the main window.
// Texts are UTF-8 in memory; the settings file stores them in code page 1252.
#pragma once

#include <cstdint>
#include <string>

namespace kelvora::settings {

struct ProgramSettings {
  std::string ProgDir;   // ends with '/'
  std::string RobModel;  // "Rob1".."Rob9"; also the model's section name
  std::string RobType;   // "G" gripper axis; anything else: extra output ("Z")
  std::string RobText;   // description, at most 40 characters
  std::string PortName;  // "COM1".."COM4", "LPT1".."LPT3", "LPT"
  uint32_t LPTDelay = 10;
  std::string ScriptExt;  // "RB" + last character of RobModel
  int32_t Left = 50;      // main window position read at start / written at close
  int32_t Top = 50;

  bool IsRob5() const { return RobModel == "Rob5"; }
  bool IsTypeG() const { return RobType == "G"; }
  // Sets RobModel and recomputes ScriptExt from its last character (a whole UTF-8
  // sequence, so an odd model name never yields a broken extension).
  void SetRobModel(const std::string& model) {
    RobModel = model;
    size_t last = model.size();
    while (last > 0 && model.size() - last < 4) {
      --last;
      if ((static_cast<unsigned char>(model[last]) & 0xC0) != 0x80) break;
    }
    ScriptExt = "RB" + model.substr(last);
  }
};

}  // namespace kelvora::settings
