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

constexpr AxisWiring kSaule{"Säule", 1, 2, 1};
constexpr AxisWiring kArmH{"Arm horizontal", 2, 4, 3};
constexpr AxisWiring kArmV{"Arm vertikal", 3, 6, 5};
constexpr AxisWiring kGripper{"Greifer", 4, 8, 7};
constexpr AxisWiring kCarriage{"Wagen", 5, 10, 9};

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

std::string MaxText(const access::TBrelMotList& axes, int axis) {
  return std::to_string(axes.GetPos(axis, mcMaximum));
}

}  // namespace

std::string SettingsPath(const ProgramSettings& settings) {
  return settings.ProgDir + kSettingsFileName;
}

void ReadSettings(ProgramSettings& settings, access::TBrelMotList& axes,
                  const platform::ProfileFile& file) {
  settings.Left = file.ReadInteger("Common", "Left", 50);
  settings.Top = file.ReadInteger("Common", "Top", 50);
  settings.SetRobModel(file.ReadString("Common", "RobModel", "Rob3"));
  settings.PortName = file.ReadString("Port", "PortName", "COM1");
  settings.LPTDelay = static_cast<uint32_t>(file.ReadInteger("Port", "LPTDelay", 10));
  ReadModelEntry(settings, axes, file, settings.RobModel);
}

void ReadModelEntry(ProgramSettings& settings, access::TBrelMotList& axes,
                    const platform::ProfileFile& file, const std::string& model) {
  settings.SetRobModel(model);
  settings.RobType = file.ReadString(model, "RobType", "G");
  settings.RobText = file.ReadString(model, "RobText", "Säulenroboter");
  axes.SetPos(1, mcMaximum, file.ReadInteger(model, "Säule", 240));
  axes.SetPos(2, mcMaximum, file.ReadInteger(model, "ArmH", 160));
  axes.SetPos(3, mcMaximum, file.ReadInteger(model, "ArmV", 150));
  if (settings.IsRob5()) {
    axes.SetPos(4, mcMaximum, file.ReadInteger("Rob5", "Wagen", 1000));
    axes.SetPos(5, mcMaximum, file.ReadInteger("Rob5", "Greifer", 28));
  } else if (settings.IsTypeG()) {
    axes.SetPos(4, mcMaximum, file.ReadInteger(model, "Greifer", 28));
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
  data.memo = {
      "Modelldaten",
      "Modell : " + settings.RobModel,
      "Port : " + settings.PortName,
      " ",
      "Arbeitsraum",
      "Säule : " + MaxText(axes, 1),
      "ArmH : " + MaxText(axes, 2),
      "ArmV : " + MaxText(axes, 3),
  };
  if (settings.IsRob5()) {
    data.memo.push_back("Wagen : " + MaxText(axes, 4));
    data.memo.push_back("Greifer : " + MaxText(axes, 5));
  } else if (settings.IsTypeG()) {
    data.memo.push_back("Greifer : " + MaxText(axes, 4));
  }
  data.rob5ControlsVisible = settings.IsRob5();
  return data;
}

std::string WriteErrorText(const std::string& path) {
  return "nach " + path + " kann nicht geschrieben werden";
}

bool WriteSettings(const ProgramSettings& settings, const access::TBrelMotList& axes,
                   platform::ProfileFile& file, std::string* error) {
  const std::string& model = settings.RobModel;
  auto maxOf = [&](int axis) { return axes.GetPos(axis, mcMaximum); };
  bool ok = file.WriteInteger("Common", "Left", settings.Left) &&
            file.WriteInteger("Common", "Top", settings.Top) &&
            file.WriteString("Common", "RobModel", model) &&
            file.WriteString("Port", "PortName", settings.PortName) &&
            file.WriteString("Port", "LPTDelay", std::to_string(settings.LPTDelay)) &&
            file.WriteString(model, "RobType", settings.RobType) &&
            file.WriteString(model, "RobText", settings.RobText) &&
            file.WriteInteger(model, "Säule", maxOf(1)) &&
            file.WriteInteger(model, "ArmH", maxOf(2)) &&
            file.WriteInteger(model, "ArmV", maxOf(3));
  if (ok && settings.IsRob5()) {
    ok = file.WriteInteger("Rob5", "Wagen", maxOf(4)) &&
         file.WriteInteger("Rob5", "Greifer", maxOf(5));
  } else if (ok && settings.IsTypeG()) {
    ok = file.WriteInteger(model, "Greifer", maxOf(4));
  }
  if (!ok && error) *error = WriteErrorText(file.Path());
  return ok;
}

}  // namespace kelvora::settings
