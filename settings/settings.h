// The settings file "Kelvora.INI" and the robot models: reading the settings at start,
// wiring the axis table for the model's layout, the model-data display, and writing the
// settings back at the end. Window-free: the main window shows what these return.
#pragma once

#include <string>
#include <vector>

#include "access/brel_mot_list.h"
#include "platform/profile.h"
#include "settings/program_settings.h"

namespace kelvora::settings {

inline constexpr const char* kSettingsFileName = "Kelvora.INI";

// ProgDir + "Kelvora.INI".
std::string SettingsPath(const ProgramSettings& settings);

// Fills the settings (window position included) and the axis maxima from the file; missing
// keys and integers that do not convert give the start-up defaults. ProgDir is left alone.
void ReadSettings(ProgramSettings& settings, access::TBrelMotList& axes,
                  const platform::ProfileFile& file);
void ReadSettings(ProgramSettings& settings, access::TBrelMotList& axes, const std::string& path);
// The model part of ReadSettings alone: makes model the current entry and reads its type,
// text and axis maxima with the start-up defaults.
void ReadModelEntry(ProgramSettings& settings, access::TBrelMotList& axes,
                    const platform::ProfileFile& file, const std::string& model);

// Names, motors and inputs of the model's axes; every axis the layout does not use gets its
// initial wiring and the maximum 9999 (absent).
void ConfigureAxes(const ProgramSettings& settings, access::TBrelMotList& axes);

// What the main window shows for the model.
struct ModelData {
  std::string title;              // for lblTitel
  std::vector<std::string> memo;  // the lines of memDaten
  bool rob5ControlsVisible = false;
};
ModelData ShowModelData(const ProgramSettings& settings, const access::TBrelMotList& axes);

// The jog-panel controls that only the Rob5 layout uses.
inline constexpr const char* kRob5Controls[13] = {
    "shpWagen", "shpM5R",  "shpM5L",   "lblM5Pos", "shpM6",   "lblM6Zu", "lblM6Auf",
    "shpM7",    "lblM7Zu", "lblM7Auf", "shpM8",    "lblM8Zu", "lblM8Auf"};

// "nach <path> kann nicht geschrieben werden"
std::string WriteErrorText(const std::string& path);

// Writes the settings key by key, each at once, the window position taken from
// settings.Left/Top (the caller stores the window's current edges there first). Stops at
// the first write that fails and returns false with WriteErrorText(file path) in *error;
// the keys before it are written, the file is never left half-written.
bool WriteSettings(const ProgramSettings& settings, const access::TBrelMotList& axes,
                   platform::ProfileFile& file, std::string* error = nullptr);

}  // namespace kelvora::settings
