// SPDX-License-Identifier: MIT
// Private-profile (INI) files as the program has always used them: named sections of
// key=value lines, names matched without regard to case, the file kept in code page 1252.
// Strings in memory are UTF-8; conversion happens here, at the file's edge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvora::platform {

// --- Code page 1252 ---------------------------------------------------------------------

// Every byte has a character (the five unassigned bytes map to the C1 controls of the
// same number), so file bytes survive a round trip through memory unchanged.
std::string Cp1252ToUtf8(std::string_view bytes);
// Characters without a byte in the code page, and malformed UTF-8, become '?'; *exact
// (when given) tells whether everything converted.
std::string Utf8ToCp1252(std::string_view utf8, bool* exact = nullptr);

// --- Integer text ------------------------------------------------------------------------

// Leading blanks, an optional sign, then decimal digits or, with allowHex, "$", "0x" or
// "0X" and hexadecimal digits. Anything after the number (a blank too), no digits, or a
// value outside the signed 32-bit range fails.
bool TryStrToInt(std::string_view text, int32_t& value, bool allowHex = true);
int32_t StrToIntDef(std::string_view text, int32_t def, bool allowHex = true);

// --- The file format, on bytes -----------------------------------------------------------
// These work on the file's raw bytes (code page 1252) so that the parser can be tested and
// fuzzed on a buffer. They never read outside the view they are given.
namespace profile {

// Values come back with at most this many characters.
inline constexpr size_t kMaxValueLength = 2047;

// The value of key in section: blanks and tabs trimmed, an outer pair of equal quotes
// removed, cut to kMaxValueLength. The searched section is the first header of that name
// with at least one key line under it; the first of duplicate keys wins. A line is split at
// its first '='; lines starting with ';' are comments; lines end with CR LF, LF or CR.
std::optional<std::string> FindValue(std::string_view bytes, std::string_view section,
                                     std::string_view key);

// A header of that name with at least one key under it (an empty header is no section).
bool SectionHasKeys(std::string_view bytes, std::string_view section);

// Sets key in section, leaving every other byte as it was: an existing key keeps its line
// and spelling; a new key goes after the last key line of its section; a new section goes to
// the end, after one blank line unless the file is empty. Written lines end in CR LF.
// A value that the reading rules would change (blanks or tabs at either end, an outer
// pair of equal quotes) is written inside double quotes, so it reads back as it was.
// Returns false (bytes unchanged) when the names or the value cannot be stored as one line.
bool SetValue(std::string& bytes, std::string_view section, std::string_view key,
              std::string_view value);

}  // namespace profile

// --- The file ----------------------------------------------------------------------------

// A settings file bound to a path. Each read looks at the file as it is now; each write
// goes to the file at once, by writing a complete new file beside it and renaming it over
// the old one, so the file is always either the old or the new version.
class ProfileFile {
 public:
  // fallbackPath: a file read in place of path for as long as path does not exist; the
  // first write then starts from its contents. Empty for none.
  explicit ProfileFile(std::string path, std::string fallbackPath = {})
      : path_(std::move(path)), fallback_(std::move(fallbackPath)) {}

  const std::string& Path() const { return path_; }
  const std::string& FallbackPath() const { return fallback_; }

  // Names and values are UTF-8. A file that is missing or unreadable reads as empty.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  // The text value converted with TryStrToInt (hexadecimal allowed); def when the key is
  // missing or its text does not convert.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
  bool SectionExists(std::string_view section) const;

  // False when the file could not be written; LastError() then says why, and the file on
  // disk is exactly as it was before the call.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool WriteInteger(std::string_view section, std::string_view key, int32_t value);

  struct Entry {
    std::string section;
    std::string key;
    std::string value;
  };
  // Sets every entry, in order, with one replacement of the file: either all of them are
  // written or, when one cannot be stored or the file cannot be replaced, none is.
  bool WriteEntries(const std::vector<Entry>& entries);
  const std::string& LastError() const { return lastError_; }

 private:
  std::string path_;
  std::string fallback_;
  std::string lastError_;
};

}  // namespace kelvora::platform
