// SPDX-License-Identifier: MIT
#include "app/script.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <limits>

#include "access/brel_mot_list.h"
#include "platform/file_replace.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace kelvora::app {

// ---- Errors ------------------------------------------------------------------------

void ThrowConversionError(std::string_view field) {
  throw ScriptError(
      {KELVORA_TEXT("Script", "'%1' ist kein gültiger Integerwert"), {{std::string(field)}}});
}

void ThrowIndexError(int index) {
  throw ScriptError({KELVORA_TEXT("Script", "Der Index der Liste überschreitet das Maximum (%1)"),
                     {{std::to_string(index)}}});
}

void ThrowOpenError(const std::string& path) {
  throw ScriptError({KELVORA_TEXT("Script", "Datei %1 kann nicht geöffnet werden"), {{path}}});
}

void ThrowCreateError(const std::string& path) {
  throw ScriptError({KELVORA_TEXT("Script", "Datei %1 kann nicht erstellt werden"), {{path}}});
}

// ---- Line format -------------------------------------------------------------------

namespace {

std::string Field(const char* format, int32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, format, static_cast<int>(value));
  return buf;
}

// The characters (not bytes) from column start (1-based) on, at most len of them, as a
// line in the 8-bit file had them. Columns past the end give an empty or short field.
std::string_view Columns(std::string_view line, size_t start, size_t len) {
  size_t col = 1;
  size_t i = 0;
  size_t begin = line.size();
  size_t end = line.size();
  while (i <= line.size()) {
    if (col == start) begin = i;
    if (col == start + len) {
      end = i;
      break;
    }
    if (i == line.size()) break;
    // Step over one UTF-8 sequence; a stray byte counts as one character.
    size_t step = 1;
    while (i + step < line.size() && (static_cast<unsigned char>(line[i + step]) & 0xC0) == 0x80)
      ++step;
    i += step;
    ++col;
  }
  if (begin > end) return {};
  return line.substr(begin, end - begin);
}

}  // namespace

std::string FormatLine(const access::TBrelMotList& axes, const int32_t lineValues[8], bool rob5) {
  std::string line;
  if (rob5) {
    for (int axis = 1; axis <= 4; ++axis)
      line += Field("%4d", axes.GetPos(axis, access::mcPosition));
    line += Field("%4d", lineValues[4]);
    for (int i = 5; i <= 7; ++i) line += Field("%2d", lineValues[i]);
  } else {
    for (int axis = 1; axis <= 3; ++axis)
      line += Field("%6d", axes.GetPos(axis, access::mcPosition));
    line += Field("%6d", lineValues[3]);
  }
  return line;
}

std::string ZeroLine(bool rob5) {
  return rob5 ? "   0   0   0   0   0 0 0 0" : "     0     0     0     0";
}

int32_t ConvertField(std::string_view field) {
  size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
    negative = field[i] == '-';
    ++i;
  }
  if (i == field.size()) ThrowConversionError(field);
  int64_t value = 0;
  for (; i < field.size(); ++i) {
    char c = field[i];
    if (c < '0' || c > '9') ThrowConversionError(field);
    value = value * 10 + (c - '0');
    // Past the 32-bit range it can only grow: stop before int64 could overflow.
    if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) ThrowConversionError(field);
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) ThrowConversionError(field);
  return static_cast<int32_t>(value);
}

void ParseLine(std::string_view line, bool rob5, int32_t lineValues[8]) {
  if (rob5) {
    for (int f = 0; f < 5; ++f) lineValues[f] = ConvertField(Columns(line, 1 + 4 * f, 4));
    for (int f = 5; f < 8; ++f) lineValues[f] = ConvertField(Columns(line, 21 + 2 * (f - 5), 2));
  } else {
    for (int f = 0; f < 4; ++f) lineValues[f] = ConvertField(Columns(line, 1 + 6 * f, 6));
  }
}

// ---- The list ----------------------------------------------------------------------

std::string VectorScriptList::Line(int index) const {
  if (index < 0 || index >= Count()) ThrowIndexError(index);
  return lines_[index];
}

void VectorScriptList::SetLine(int index, const std::string& text) {
  if (index < 0 || index >= Count()) ThrowIndexError(index);
  lines_[index] = text;
}

void VectorScriptList::Insert(int index, const std::string& text) {
  if (index < 0 || index > Count()) ThrowIndexError(index);
  lines_.insert(lines_.begin() + index, text);
  if (itemIndex_ >= index) ++itemIndex_;
}

void VectorScriptList::Delete(int index) {
  if (index < 0 || index >= Count()) ThrowIndexError(index);
  lines_.erase(lines_.begin() + index);
  if (itemIndex_ == index)
    itemIndex_ = -1;
  else if (itemIndex_ > index)
    --itemIndex_;
}

void VectorScriptList::Clear() {
  lines_.clear();
  itemIndex_ = -1;
}

void VectorScriptList::SetItemIndex(int index) {
  if (index >= 0 && index < Count())
    itemIndex_ = index;
  else if (Count() == 0)
    itemIndex_ = -1;
}

std::string MarkedLine(const ScriptList& list) {
  int index = list.ItemIndex();
  if (index < 0 || index >= list.Count()) ThrowIndexError(index);
  return list.Line(index);
}

void ParseMarkedLine(const ScriptList& list, bool rob5, int32_t lineValues[8]) {
  ParseLine(MarkedLine(list), rob5, lineValues);
}

std::vector<std::string> AllLines(const ScriptList& list) {
  std::vector<std::string> lines;
  lines.reserve(list.Count());
  for (int i = 0; i < list.Count(); ++i) lines.push_back(list.Line(i));
  return lines;
}

// ---- Editing -----------------------------------------------------------------------

bool StorePosition(ScriptList& list, const std::string& line) {
  if (list.Count() == 0) return false;
  int index = list.ItemIndex();
  if (index < 0) ThrowIndexError(index);
  list.SetLine(index, line);
  list.SetItemIndex(index);
  return true;
}

bool InsertPosition(ScriptList& list, const std::string& line) {
  int index = list.ItemIndex();
  if (index < 0) return false;
  list.Insert(index, line);
  list.SetItemIndex(index);
  return true;
}

bool AppendPosition(ScriptList& list, const std::string& line) {
  list.Append(line);
  list.SetItemIndex(list.Count() - 1);
  return true;
}

bool DeletePosition(ScriptList& list) {
  if (list.Count() == 1) return false;
  int index = list.ItemIndex();
  if (index < 0) ThrowIndexError(index);
  list.Delete(index);
  list.SetItemIndex(index > 0 ? index - 1 : 0);
  return true;
}

void NewScript(ScriptList& list, int32_t lineValues[8], bool rob5) {
  list.Clear();
  for (int i = 0; i < kLineValueCount; ++i) lineValues[i] = 0;
  list.Append(ZeroLine(rob5));
  list.SetItemIndex(0);
}

// ---- Files -------------------------------------------------------------------------

std::vector<std::string> SplitScriptText(std::string_view bytes) {
  size_t zero = bytes.find('\0');
  if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
  std::vector<std::string> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < bytes.size()) {
    char c = bytes[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(platform::Cp1252ToUtf8(bytes.substr(start, i - start)));
      i += (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < bytes.size()) lines.push_back(platform::Cp1252ToUtf8(bytes.substr(start)));
  return lines;
}

std::string JoinScriptText(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += platform::Utf8ToCp1252(line);
    text += "\r\n";
  }
  return text;
}

std::vector<std::string> ReadScriptFile(const std::string& path) {
  // Only a regular file of a script's size is read; the text ends at a zero byte.
  std::string bytes;
  if (!platform::ReadRegularFile(path, kMaxScriptFileSize, &bytes, '\0')) ThrowOpenError(path);
  return SplitScriptText(bytes);
}

void WriteScriptFile(const std::string& path, const std::vector<std::string>& lines) {
  if (platform::ReplaceFile(path, JoinScriptText(lines)) != 0) ThrowCreateError(path);
}

void LoadScript(ScriptList& list, const std::string& path) {
  std::vector<std::string> lines = ReadScriptFile(path);
  list.Clear();
  for (const auto& line : lines) list.Append(line);
  list.SetItemIndex(0);
}

void SaveScript(const ScriptList& list, const std::string& path) {
  WriteScriptFile(path, AllLines(list));
}

std::string FileNamePart(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---- Recovery ----------------------------------------------------------------------

namespace {

// The names in dir that a recovery file may have, sorted.
std::vector<std::string> RecoveryNames(const std::string& dir) {
  return platform::RegularFilesStartingWith(dir, kRecoveryPrefix);
}

}  // namespace

std::string WriteRecoveryFile(const std::string& dir, const std::string& ext,
                              const std::vector<std::string>& lines, std::time_t now) {
  // The extension becomes part of a file name: never a path, never anything odd.
  const bool plain = ext.size() == 3 && ext.compare(0, 2, "RB") == 0 &&
                     std::isalnum(static_cast<unsigned char>(ext[2]));
  const std::string suffix = "." + (plain ? ext : std::string("RB"));
  const std::tm local = platform::LocalTime(now);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = dir + kRecoveryPrefix + stamp;
  const std::string bytes = JoinScriptText(lines);
  for (int n = 1; n <= 100; ++n) {
    const std::string path = base + (n == 1 ? std::string() : "-" + std::to_string(n)) + suffix;
    const int failure = platform::CreateNewFile(path, bytes);
    if (failure == 0) return path;
    if (failure != EEXIST) break;
  }
  return {};
}

std::vector<std::string> UnnoticedRecoveryFiles(const std::string& dir) {
  // The notice file holds raw names, one a line; a missing one names nothing.
  std::vector<std::string> noticed;
  try {
    for (const std::string& line : ReadScriptFile(dir + kRecoveryNoticeFile))
      noticed.push_back(platform::Utf8ToCp1252(line));
  } catch (const ScriptError&) {
  }
  std::vector<std::string> fresh;
  for (const std::string& name : RecoveryNames(dir)) {
    if (std::find(noticed.begin(), noticed.end(), name) == noticed.end()) fresh.push_back(name);
  }
  return fresh;
}

void MarkRecoveryFilesNoticed(const std::string& dir) {
  // Only names that still exist: the list never grows beyond the folder's own files.
  std::string bytes;
  for (const std::string& name : RecoveryNames(dir)) bytes += name + "\r\n";
  platform::ReplaceFile(dir + kRecoveryNoticeFile, bytes);
}

}  // namespace kelvora::app
