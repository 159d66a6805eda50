// SPDX-License-Identifier: MIT
#include "settings/settings.h"

namespace kelvora::settings {
namespace {

using access::mcEndSwitch;
using access::mcImpulse;
using access::mcMaximum;
using access::mcMotor;
using access::mcName;

constexpr int32_t kAbsent = 9999;

struct AxisWiring {
  const char* name;
  int32_t motor;
  int32_t impulse;
  int32_t endSwitch;
};

// The names are the German source texts of the catalogue context kAxisNameContext.
constexpr AxisWiring kSaule{KELVORA_TEXT("Axis", "Säule").source, 1, 2, 1};
constexpr AxisWiring kArmH{KELVORA_TEXT("Axis", "Arm horizontal").source, 2, 4, 3};
constexpr AxisWiring kArmV{KELVORA_TEXT("Axis", "Arm vertikal").source, 3, 6, 5};
constexpr AxisWiring kGripper{KELVORA_TEXT("Axis", "Greifer").source, 4, 8, 7};
constexpr AxisWiring kCarriage{KELVORA_TEXT("Axis", "Wagen").source, 5, 10, 9};

void Wire(access::TBrelMotList& axes, int axis, const AxisWiring& w) {
  axes.SetName(axis, mcName, w.name);
  axes.SetNumber(axis, mcMotor, w.motor);
  axes.SetNumber(axis, mcImpulse, w.impulse);
  axes.SetNumber(axis, mcEndSwitch, w.endSwitch);
}

void MakeAbsent(access::TBrelMotList& axes, int axis) {
  axes.SetName(axis, mcName, "Dummy");
  axes.SetNumber(axis, mcMotor, axis);
  axes.SetNumber(axis, mcImpulse, 2 * axis);
  axes.SetNumber(axis, mcEndSwitch, 2 * axis - 1);
  axes.SetPos(axis, mcMaximum, kAbsent);
}

// A number of the file within its range; def when it is missing, no number or outside.
int32_t ReadInRange(const platform::ProfileFile& file, std::string_view section,
                    std::string_view key, int32_t def, bool (*valid)(int64_t)) {
  const int32_t v = file.ReadInteger(section, key, def);
  return valid(v) ? v : def;
}

int32_t ReadMaximum(const platform::ProfileFile& file, std::string_view section,
                    std::string_view key, int32_t def) {
  return ReadInRange(file, section, key, def, ValidMaximum);
}

std::string MaxText(const access::TBrelMotList& axes, int axis) {
  return std::to_string(axes.GetPos(axis, mcMaximum));
}

}  // namespace

std::string SettingsPath(const ProgramSettings& settings) {
  return settings.ProgDir + kSettingsFileName;
}

platform::ProfileFile SettingsFile(const platform::ProgramFolders& folders) {
  return platform::ProfileFile(
      folders.progDir + kSettingsFileName,
      folders.fallbackDir.empty() ? std::string() : folders.fallbackDir + kSettingsFileName);
}

void ReadSettings(ProgramSettings& settings, access::TBrelMotList& axes,
                  const platform::ProfileFile& file) {
  settings.Left = file.ReadInteger("Common", "Left", 50);
  settings.Top = file.ReadInteger("Common", "Top", 50);
  // Any other name would have the model dialog apply a different entry unasked, and the
  // close then overwrite that entry's section with this one's values.
  const std::string model = file.ReadString("Common", "RobModel", "Rob3");
  settings.SetRobModel(ValidRobModel(model) ? model : "Rob3");
  settings.PortName = file.ReadString("Port", "PortName", "COM1");
  settings.LPTDelay =
      static_cast<uint32_t>(ReadInRange(file, "Port", "LPTDelay", 10, ValidLptDelay));
  ReadModelEntry(settings, axes, file, settings.RobModel);
}

void ReadModelEntry(ProgramSettings& settings, access::TBrelMotList& axes,
                    const platform::ProfileFile& file, const std::string& model) {
  settings.SetRobModel(model);
  settings.RobType = file.ReadString(model, "RobType", "G");
  settings.RobText = file.ReadString(model, "RobText", "Säulenroboter");
  axes.SetPos(1, mcMaximum, ReadMaximum(file, model, "Säule", 240));
  axes.SetPos(2, mcMaximum, ReadMaximum(file, model, "ArmH", 160));
  axes.SetPos(3, mcMaximum, ReadMaximum(file, model, "ArmV", 150));
  if (settings.IsRob5()) {
    axes.SetPos(4, mcMaximum, ReadMaximum(file, "Rob5", "Wagen", 1000));
    axes.SetPos(5, mcMaximum, ReadMaximum(file, "Rob5", "Greifer", 28));
  } else if (settings.IsTypeG()) {
    axes.SetPos(4, mcMaximum, ReadMaximum(file, model, "Greifer", 28));
  }
}

void ReadSettings(ProgramSettings& settings, access::TBrelMotList& axes, const std::string& path) {
  ReadSettings(settings, axes, platform::ProfileFile(path));
}

void ConfigureAxes(const ProgramSettings& settings, access::TBrelMotList& axes) {
  Wire(axes, 1, kSaule);
  Wire(axes, 2, kArmH);
  Wire(axes, 3, kArmV);
  int firstAbsent;
  if (settings.IsRob5()) {
    Wire(axes, 4, kCarriage);
    Wire(axes, 5, kGripper);
    firstAbsent = 6;
  } else if (settings.IsTypeG()) {
    Wire(axes, 4, kGripper);
    firstAbsent = 5;
  } else {
    firstAbsent = 4;
  }
  for (int axis = firstAbsent; axis <= 8; ++axis) MakeAbsent(axes, axis);
}

ModelData ShowModelData(const ProgramSettings& settings, const access::TBrelMotList& axes) {
  ModelData data;
  data.title = settings.RobModel + " : " + settings.RobText;
  data.memoLines = {
      {KELVORA_TEXT("ModelData", "Modelldaten")},
      {KELVORA_TEXT("ModelData", "Modell : %1"), {{settings.RobModel}}},
      {KELVORA_TEXT("ModelData", "Port : %1"), {{settings.PortName}}},
      {platform::TextId{"", " "}},  // a blank line: nothing to translate
      {KELVORA_TEXT("ModelData", "Arbeitsraum")},
      {KELVORA_TEXT("ModelData", "Säule : %1"), {{MaxText(axes, 1)}}},
      {KELVORA_TEXT("ModelData", "ArmH : %1"), {{MaxText(axes, 2)}}},
      {KELVORA_TEXT("ModelData", "ArmV : %1"), {{MaxText(axes, 3)}}},
  };
  if (settings.IsRob5()) {
    data.memoLines.push_back({KELVORA_TEXT("ModelData", "Wagen : %1"), {{MaxText(axes, 4)}}});
    data.memoLines.push_back({KELVORA_TEXT("ModelData", "Greifer : %1"), {{MaxText(axes, 5)}}});
  } else if (settings.IsTypeG()) {
    data.memoLines.push_back({KELVORA_TEXT("ModelData", "Greifer : %1"), {{MaxText(axes, 4)}}});
  }
  for (const platform::UserText& line : data.memoLines) data.memo.push_back(line.German());
  data.rob5ControlsVisible = settings.IsRob5();
  return data;
}

platform::UserText WriteError(const std::string& path) {
  return {KELVORA_TEXT("Settings", "nach %1 kann nicht geschrieben werden"), {{path}}};
}

std::string WriteErrorText(const std::string& path) {
  return WriteError(path).German();
}

bool WriteSettings(const ProgramSettings& settings, const access::TBrelMotList& axes,
                   platform::ProfileFile& file, std::string* error) {
  const std::string& model = settings.RobModel;
  auto maxOf = [&](int axis) { return std::to_string(axes.GetPos(axis, mcMaximum)); };
  std::vector<platform::ProfileFile::Entry> entries = {
      {"Common", "Left", std::to_string(settings.Left)},
      {"Common", "Top", std::to_string(settings.Top)},
      {"Common", "RobModel", model},
      {"Port", "PortName", settings.PortName},
      {"Port", "LPTDelay", std::to_string(settings.LPTDelay)},
      {model, "RobType", settings.RobType},
      {model, "RobText", settings.RobText},
      {model, "Säule", maxOf(1)},
      {model, "ArmH", maxOf(2)},
      {model, "ArmV", maxOf(3)},
  };
  if (settings.IsRob5()) {
    entries.push_back({"Rob5", "Wagen", maxOf(4)});
    entries.push_back({"Rob5", "Greifer", maxOf(5)});
  } else if (settings.IsTypeG()) {
    entries.push_back({model, "Greifer", maxOf(4)});
  }
  const bool ok = file.WriteEntries(entries);
  if (!ok && error) *error = WriteErrorText(file.Path());
  return ok;
}

}  // namespace kelvora::settings
