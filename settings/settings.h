// SPDX-License-Identifier: MIT
// The settings file "Kelvora.INI" and the robot models: reading the settings at start,
// wiring the axis table for the model's layout, the model-data display, and writing the
// settings back at the end. Window-free: the main window shows what these return.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "access/brel_mot_list.h"
#include "platform/profile.h"
#include "platform/prog_dir.h"
#include "platform/user_text.h"
#include "settings/program_settings.h"

namespace kelvora::settings {

inline constexpr const char* kSettingsFileName = "Kelvora.INI";

// The catalogue context of the axis names ("Säule", "Arm vertikal", ...) that
// ConfigureAxes gives the axes: texts that name an axis translate its name in it.
inline constexpr const char* kAxisNameContext = "Axis";

// ProgDir + "Kelvora.INI".
std::string SettingsPath(const ProgramSettings& settings);
// The settings file of the program's folders: written in ProgDir, read from the program
// folder's file until ProgDir has one (see platform::ProgramFolders).
platform::ProfileFile SettingsFile(const platform::ProgramFolders& folders);

// The one valid range of each number the settings hold, shared by the reader (a value
// outside it counts as absent and gives the default), the dialogs (which refuse it) and
// the writer (which therefore only writes what it can read back).
// LPTDelay: a repeat count for every register write of the parallel box; the interface
// dialog's field takes two digits.
inline constexpr int32_t kMinLptDelay = 0;
inline constexpr int32_t kMaxLptDelay = 99;
// Axis maxima in impulses: typed ones have three digits; 1000 (the carriage) and 9999
// (an axis the model does not use) come from the file and the built-in values.
inline constexpr int32_t kMinMaximum = 0;
inline constexpr int32_t kMaxMaximum = 9999;
inline bool ValidLptDelay(int64_t v) {
  return v >= kMinLptDelay && v <= kMaxLptDelay;
}
inline bool ValidMaximum(int64_t v) {
  return v >= kMinMaximum && v <= kMaxMaximum;
}
// RobModel: one of the nine model entries, "Rob" and a digit 1 to 9. The letters match
// without regard to case, as section names do, so a stored "rob5" names the entry (with
// the standard layout, since only "Rob5" itself is the carriage model).
inline bool ValidRobModel(std::string_view m) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return m.size() == 4 && lower(m[0]) == 'r' && lower(m[1]) == 'o' && lower(m[2]) == 'b' &&
         m[3] >= '1' && m[3] <= '9';
}

// Fills the settings (window position included) and the axis maxima from the file; missing
// keys, integers that do not convert, numbers outside their range and a RobModel that names
// no model entry give the start-up defaults. ProgDir is left alone.
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
  std::string title;                          // for lblTitel
  std::vector<platform::UserText> memoLines;  // the lines of memDaten
  std::vector<std::string> memo;              // the same in German
  bool rob5ControlsVisible = false;
};
ModelData ShowModelData(const ProgramSettings& settings, const access::TBrelMotList& axes);

// The jog-panel controls that only the Rob5 layout uses.
inline constexpr const char* kRob5Controls[13] = {
    "shpWagen", "shpM5R",  "shpM5L",   "lblM5Pos", "shpM6",   "lblM6Zu", "lblM6Auf",
    "shpM7",    "lblM7Zu", "lblM7Auf", "shpM8",    "lblM8Zu", "lblM8Auf"};

// "nach <path> kann nicht geschrieben werden"
platform::UserText WriteError(const std::string& path);
// The same in German.
std::string WriteErrorText(const std::string& path);

// Writes every key of the settings with one replacement of the file, the window position
// taken from settings.Left/Top (the caller stores the window's current edges there
// first). When any key cannot be stored or the file cannot be replaced, nothing is
// written and it returns false with WriteErrorText(file path) in *error: the file holds
// either all of the keys or what it held before.
bool WriteSettings(const ProgramSettings& settings, const access::TBrelMotList& axes,
                   platform::ProfileFile& file, std::string* error = nullptr);

}  // namespace kelvora::settings
