// SPDX-License-Identifier: MIT
// The script of taught positions, without any window: the fixed-column line format,
// reading a line back into values, the editing rules, the Rb3 files, and playing lines
// on the robot. The main window adapts its list box to ScriptList and implements
// ScriptHost; the headless player and the tests bring their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/user_text.h"

namespace kelvora::access {
class TBrelMotList;
}

namespace kelvora::app {

// An error of a script command. what() is the German text; the windows show it in the
// user's language, and the top-level handler adds the full stop.
class ScriptError : public platform::TextError {
 public:
  using platform::TextError::TextError;
};

// "'%s' ist kein gültiger Integerwert"
[[noreturn]] void ThrowConversionError(std::string_view field);
// "Der Index der Liste überschreitet das Maximum (%d)"
[[noreturn]] void ThrowIndexError(int index);
// "Datei %s kann nicht geöffnet werden" / "Datei %s kann nicht erstellt werden"
[[noreturn]] void ThrowOpenError(const std::string& path);
[[noreturn]] void ThrowCreateError(const std::string& path);

constexpr int kLineValueCount = 8;

// ---- Line format -------------------------------------------------------------------

// A line from the axes' positions and the commanded states in lineValues: four "%6d"
// fields in the standard layout; for Rob5 five "%4d" fields and three "%2d" fields.
std::string FormatLine(const access::TBrelMotList& axes, const int32_t lineValues[8], bool rob5);
// The line every new script starts with.
std::string ZeroLine(bool rob5);

// One field as a whole: leading blanks, an optional sign, then digits only, within the
// 32-bit range. Anything else throws the conversion error naming the field's text.
int32_t ConvertField(std::string_view field);
// Reads the fields of line, taken by their columns, into lineValues (standard: entries
// 0..3, the others keep their values; Rob5: entries 0..7). On an error the entries
// converted before it keep their new values.
void ParseLine(std::string_view line, bool rob5, int32_t lineValues[8]);

// ---- The list ----------------------------------------------------------------------

// The script as the commands see it: an ordered list of lines. A list with lines has
// exactly one marked line once one was marked (the commands rely on it); ItemIndex -1
// means no line is marked, as in an empty list. Indices start at 0.
class ScriptList {
 public:
  virtual ~ScriptList() = default;
  virtual int Count() const = 0;
  virtual std::string Line(int index) const = 0;  // 0 <= index < Count()
  virtual void SetLine(int index, const std::string& text) = 0;
  virtual void Insert(int index, const std::string& text) = 0;  // before index
  virtual void Append(const std::string& text) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual int ItemIndex() const = 0;
  // An index outside the list leaves the mark where it is (an empty list has none).
  virtual void SetItemIndex(int index) = 0;
};

// A plain list for the player and the tests.
class VectorScriptList final : public ScriptList {
 public:
  VectorScriptList() = default;
  explicit VectorScriptList(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  int Count() const override { return static_cast<int>(lines_.size()); }
  std::string Line(int index) const override;
  void SetLine(int index, const std::string& text) override;
  void Insert(int index, const std::string& text) override;
  void Append(const std::string& text) override { lines_.push_back(text); }
  void Delete(int index) override;
  void Clear() override;
  int ItemIndex() const override { return itemIndex_; }
  void SetItemIndex(int index) override;
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
  int itemIndex_ = -1;
};

// The marked line's text; without a marked line the list-index error (-1).
std::string MarkedLine(const ScriptList& list);
// ParseLine on the marked line.
void ParseMarkedLine(const ScriptList& list, bool rob5, int32_t lineValues[8]);
// All lines, in order.
std::vector<std::string> AllLines(const ScriptList& list);

// ---- Editing: each returns true when it changed the list (the caller sets Modified).

// "Position Speichern": replaces the marked line; nothing on an empty script.
bool StorePosition(ScriptList& list, const std::string& line);
// "Position Einfügen": before the marked line, which it then marks; nothing unmarked.
bool InsertPosition(ScriptList& list, const std::string& line);
// "Position Anfügen": as the new last line, marked.
bool AppendPosition(ScriptList& list, const std::string& line);
// "Position Löschen": the marked line, unless it is the only one; marks the line
// before it, or line 1.
bool DeletePosition(ScriptList& list);
// "Neu": the zero line alone, marked; every line value 0.
void NewScript(ScriptList& list, int32_t lineValues[8], bool rob5);

// ---- Files -------------------------------------------------------------------------

// Splits file bytes into lines: at CR, LF or CR LF; empty lines kept; a last line
// without line end taken; a zero byte ends the text. Bytes are code page 1252.
std::vector<std::string> SplitScriptText(std::string_view bytes);
// The file bytes: every line in code page 1252 followed by CR LF.
std::string JoinScriptText(const std::vector<std::string>& lines);
// The largest script file read: 1 MiB, some 40 000 lines.
inline constexpr size_t kMaxScriptFileSize = size_t{1} << 20;
// Reads a regular file up to its first zero byte. Throws the open error when the file
// cannot be read, is no regular file (a device or a pipe would never end) or is larger
// than kMaxScriptFileSize.
std::vector<std::string> ReadScriptFile(const std::string& path);
// Replaces the file atomically: a temporary file in the same folder, flushed to disk,
// then renamed over the old one. On any failure the old file is left as it was and the
// create error is thrown.
void WriteScriptFile(const std::string& path, const std::vector<std::string>& lines);
// Reads the file, then replaces the list by its lines and marks line 1. On a read
// error the list is unchanged.
void LoadScript(ScriptList& list, const std::string& path);
void SaveScript(const ScriptList& list, const std::string& path);
// The file-name part of a path.
std::string FileNamePart(const std::string& path);

// ---- Recovery ----------------------------------------------------------------------
// A modified script that a termination signal would lose is written beside the settings
// file as Kelvora-recovered-<time>.<ext>; the next start names it once.

inline constexpr const char* kRecoveryPrefix = "Kelvora-recovered-";
// Lists the recovery files already named to the user, one name a line.
inline constexpr const char* kRecoveryNoticeFile = ".Kelvora-recovered-notice";

// Writes lines to a new file dir + "Kelvora-recovered-YYYYMMDD-HHMMSS." + ext (local
// time of now), never over an existing file: a taken name gets "-2", "-3", ... before
// the extension. The file appears whole or not at all. An extension that is not "RB"
// and one letter or digit becomes "RB". Returns the path, empty when nothing could be
// written.
std::string WriteRecoveryFile(const std::string& dir, const std::string& ext,
                              const std::vector<std::string>& lines, std::time_t now);
// The recovery files in dir not yet named to the user (by file name, sorted), and the
// call that records them as named.
std::vector<std::string> UnnoticedRecoveryFiles(const std::string& dir);
void MarkRecoveryFilesNoticed(const std::string& dir);

}  // namespace kelvora::app
