// SPDX-License-Identifier: MIT
#include "platform/profile.h"

#include "platform/file_replace.h"
#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kelvora::platform {

// --- Code page 1252 ---------------------------------------------------------------------

namespace {

// Characters of bytes 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t ByteToChar(unsigned char b) {
  return (b >= 0x80 && b <= 0x9F) ? kHighControls[b - 0x80] : static_cast<char32_t>(b);
}

std::optional<unsigned char> CharToByte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == c) return static_cast<unsigned char>(0x80 + i);
  }
  return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[i]; advances i. Malformed input (overlong forms,
// surrogates, truncated sequences) gives nullopt and skips one byte.
std::optional<char32_t> DecodeUtf8(std::string_view text, size_t& i) {
  auto b0 = static_cast<unsigned char>(text[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = 0;
  char32_t c = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, c = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, c = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, c = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return std::nullopt;
  }
  if (text.size() - i < static_cast<size_t>(len)) {
    ++i;
    return std::nullopt;
  }
  for (int k = 1; k < len; ++k) {
    auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return std::nullopt;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return std::nullopt;
  }
  i += len;
  return c;
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) AppendUtf8(out, ByteToChar(static_cast<unsigned char>(ch)));
  return out;
}

std::string Utf8ToCp1252(std::string_view utf8, bool* exact) {
  std::string out;
  out.reserve(utf8.size());
  bool allConverted = true;
  size_t i = 0;
  while (i < utf8.size()) {
    std::optional<char32_t> c = DecodeUtf8(utf8, i);
    std::optional<unsigned char> b = c ? CharToByte(*c) : std::nullopt;
    if (b) {
      out += static_cast<char>(*b);
    } else {
      out += '?';
      allConverted = false;
    }
  }
  if (exact) *exact = allConverted;
  return out;
}

// --- Integer text ------------------------------------------------------------------------

bool TryStrToInt(std::string_view text, int32_t& value, bool allowHex) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (allowHex && i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (allowHex && text.size() - i >= 2 && text[i] == '0' &&
             (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  // Magnitude up to 2^31 (the most negative value); anything larger fails early.
  constexpr int64_t kLimit = int64_t{1} << 31;
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    char ch = text[i];
    int digit;
    if (ch >= '0' && ch <= '9') {
      digit = ch - '0';
    } else if (base == 16 && ch >= 'a' && ch <= 'f') {
      digit = ch - 'a' + 10;
    } else if (base == 16 && ch >= 'A' && ch <= 'F') {
      digit = ch - 'A' + 10;
    } else {
      return false;
    }
    magnitude = magnitude * base + digit;
    if (magnitude > kLimit) return false;
  }
  if (!negative && magnitude == kLimit) return false;
  value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return true;
}

int32_t StrToIntDef(std::string_view text, int32_t def, bool allowHex) {
  int32_t value;
  return TryStrToInt(text, value, allowHex) ? value : def;
}

// --- The file format ---------------------------------------------------------------------

namespace profile {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Upper case of a code page 1252 byte: ASCII letters, the accented letters of the Latin-1
// half and the four pairs of the 0x80 row.
unsigned char FoldCase(unsigned char b) {
  if (b >= 'a' && b <= 'z') return b - 0x20;
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return b - 0x20;
  switch (b) {
    case 0x9A:
      return 0x8A;
    case 0x9C:
      return 0x8C;
    case 0x9E:
      return 0x8E;
    case 0xFF:
      return 0x9F;
    default:
      return b;
  }
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

enum class LineKind { kOther, kHeader, kKey };

struct Line {
  size_t begin;       // first byte of the line
  size_t contentEnd;  // first byte of its line end (or of the file's end)
  size_t end;         // first byte after its line end
  LineKind kind;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key lines: the text after the first '=', trimmed
};

std::vector<Line> SplitLines(std::string_view bytes) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < bytes.size()) {
    Line line{pos, pos, pos, LineKind::kOther, {}, {}};
    size_t e = pos;
    while (e < bytes.size() && bytes[e] != '\r' && bytes[e] != '\n') ++e;
    line.contentEnd = e;
    if (e < bytes.size()) {
      e += (bytes[e] == '\r' && e + 1 < bytes.size() && bytes[e + 1] == '\n') ? 2 : 1;
    }
    line.end = e;
    std::string_view content = Trim(bytes.substr(pos, line.contentEnd - pos));
    size_t close = content.rfind(']');
    if (!content.empty() && content[0] == '[' && close != std::string_view::npos && close > 0) {
      line.kind = LineKind::kHeader;
      line.name = Trim(content.substr(1, close - 1));
    } else if (!content.empty() && content[0] != ';') {
      size_t eq = content.find('=');
      if (eq != std::string_view::npos) {
        line.kind = LineKind::kKey;
        line.name = Trim(content.substr(0, eq));
        line.value = Trim(content.substr(eq + 1));
      }
    }
    lines.push_back(line);
    pos = e;
  }
  return lines;
}

// A section as found in the file: its header line and its last key line (indices).
struct Section {
  size_t header;
  std::optional<size_t> lastKey;
};

// The first header named section that has key lines; failing that, the first header of
// that name at all (lastKey empty); nullopt when there is none.
std::optional<Section> LocateSection(const std::vector<Line>& lines, std::string_view section) {
  std::optional<Section> keyless;
  for (size_t h = 0; h < lines.size(); ++h) {
    if (lines[h].kind != LineKind::kHeader || !SameName(lines[h].name, section)) continue;
    std::optional<size_t> lastKey;
    for (size_t k = h + 1; k < lines.size() && lines[k].kind != LineKind::kHeader; ++k) {
      if (lines[k].kind == LineKind::kKey) lastKey = k;
    }
    if (lastKey) return Section{h, lastKey};
    if (!keyless) keyless = Section{h, std::nullopt};
  }
  return keyless;
}

std::optional<size_t> LocateKey(const std::vector<Line>& lines, const Section& section,
                                std::string_view key) {
  if (!section.lastKey) return std::nullopt;
  for (size_t k = section.header + 1; k <= *section.lastKey; ++k) {
    if (lines[k].kind == LineKind::kKey && SameName(lines[k].name, key)) return k;
  }
  return std::nullopt;
}

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// True when reading would not give value back: the reader trims blanks and tabs and
// removes an outer pair of equal quotes.
bool NeedsQuotes(std::string_view value) {
  if (value.empty()) return false;
  if (IsBlank(value.front()) || IsBlank(value.back())) return true;
  return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
         value.back() == value.front();
}

}  // namespace

std::optional<std::string> FindValue(std::string_view bytes, std::string_view section,
                                     std::string_view key) {
  std::vector<Line> lines = SplitLines(bytes);
  std::optional<Section> found = LocateSection(lines, Trim(section));
  if (!found) return std::nullopt;
  std::optional<size_t> k = LocateKey(lines, *found, Trim(key));
  if (!k) return std::nullopt;
  std::string_view value = lines[*k].value;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, kMaxValueLength));
}

bool SectionHasKeys(std::string_view bytes, std::string_view section) {
  std::vector<Line> lines = SplitLines(bytes);
  std::optional<Section> found = LocateSection(lines, Trim(section));
  return found && found->lastKey;
}

bool SetValue(std::string& bytes, std::string_view section, std::string_view key,
              std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  // Anything that would read back as a different line structure is refused rather than
  // written: a line break would let a value forge keys or sections.
  if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value) ||
      key.empty() || key.find('=') != std::string_view::npos || key.front() == '[' ||
      key.front() == ';') {
    return false;
  }
  std::string quoted;
  if (NeedsQuotes(value)) {
    quoted = '"' + std::string(value) + '"';
    value = quoted;
  }
  std::vector<Line> lines = SplitLines(bytes);
  std::optional<Section> found = LocateSection(lines, section);
  if (found) {
    if (std::optional<size_t> k = LocateKey(lines, *found, key)) {
      const Line& line = lines[*k];
      std::string replacement(line.name);
      replacement += '=';
      replacement += value;
      replacement += "\r\n";
      bytes.replace(line.begin, line.end - line.begin, replacement);
      return true;
    }
    const Line& after = lines[found->lastKey ? *found->lastKey : found->header];
    std::string insertion;
    if (after.end == after.contentEnd) insertion += "\r\n";  // last line had no line end
    insertion += key;
    insertion += '=';
    insertion += value;
    insertion += "\r\n";
    bytes.insert(after.end, insertion);
    return true;
  }
  std::string tail;
  if (!bytes.empty()) {
    if (bytes.back() != '\r' && bytes.back() != '\n') tail += "\r\n";
    // One blank line before the new section, unless the file already ends with one.
    bool lastLineBlank = !lines.empty() && lines.back().contentEnd == lines.back().begin;
    if (!lastLineBlank) tail += "\r\n";
  }
  tail += '[';
  tail += section;
  tail += "]\r\n";
  tail += key;
  tail += '=';
  tail += value;
  tail += "\r\n";
  bytes += tail;
  return true;
}

}  // namespace profile

// --- The file ----------------------------------------------------------------------------

namespace {

enum class ReadResult { kOk, kMissing, kFailed };

ReadResult ReadBytes(const std::string& path, std::string& bytes, int& error) {
  error = platform::ReadWholeFile(path, &bytes);
  if (error == 0) return ReadResult::kOk;
  bytes.clear();
  return error == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
}

// What reads and writes start from: the file, or the fallback while the file is missing.
ReadResult SourceBytes(const std::string& path, const std::string& fallback, std::string& bytes,
                       int& error) {
  ReadResult read = ReadBytes(path, bytes, error);
  if (read == ReadResult::kMissing && !fallback.empty()) {
    read = ReadBytes(fallback, bytes, error);
    // An unreadable fallback is no reason to refuse the file's first write.
    if (read != ReadResult::kOk) {
      bytes.clear();
      read = ReadResult::kMissing;
    }
  }
  return read;
}

std::string FileBytes(const std::string& path, const std::string& fallback) {
  std::string bytes;
  int error = 0;
  if (SourceBytes(path, fallback, bytes, error) != ReadResult::kOk) bytes.clear();
  return bytes;
}

std::string SystemText(int error) {
  return std::strerror(error);
}

}  // namespace

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
  bool sectionExact = true;
  bool keyExact = true;
  std::string sectionBytes = Utf8ToCp1252(section, &sectionExact);
  std::string keyBytes = Utf8ToCp1252(key, &keyExact);
  std::optional<std::string> value;
  // A name the code page cannot hold cannot be in the file either.
  if (sectionExact && keyExact)
    value = profile::FindValue(FileBytes(path_, fallback_), sectionBytes, keyBytes);
  if (value) return Cp1252ToUtf8(*value);
  // The default comes back the way a stored value would: cut to the same length.
  std::string d = Utf8ToCp1252(def);
  return Cp1252ToUtf8(std::string_view(d).substr(0, profile::kMaxValueLength));
}

int32_t ProfileFile::ReadInteger(std::string_view section, std::string_view key,
                                 int32_t def) const {
  bool sectionExact = true;
  bool keyExact = true;
  std::string sectionBytes = Utf8ToCp1252(section, &sectionExact);
  std::string keyBytes = Utf8ToCp1252(key, &keyExact);
  if (!sectionExact || !keyExact) return def;
  std::optional<std::string> value =
      profile::FindValue(FileBytes(path_, fallback_), sectionBytes, keyBytes);
  return value ? StrToIntDef(*value, def) : def;
}

bool ProfileFile::SectionExists(std::string_view section) const {
  bool exact = true;
  std::string sectionBytes = Utf8ToCp1252(section, &exact);
  return exact && profile::SectionHasKeys(FileBytes(path_, fallback_), sectionBytes);
}

bool ProfileFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

bool ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
  return WriteEntries({{std::string(section), std::string(key), std::string(value)}});
}

bool ProfileFile::WriteEntries(const std::vector<Entry>& entries) {
  lastError_.clear();
  std::string bytes;
  int error = 0;
  if (SourceBytes(path_, fallback_, bytes, error) == ReadResult::kFailed) {
    // A file that exists but cannot be read must not be replaced by a fresh one.
    lastError_ = SystemText(error);
    return false;
  }
  // The whole new file is built first: a value that cannot be stored stops the write
  // before anything reaches the disk.
  for (const Entry& e : entries) {
    if (!profile::SetValue(bytes, Utf8ToCp1252(e.section), Utf8ToCp1252(e.key),
                           Utf8ToCp1252(e.value))) {
      lastError_ = "Zeilenumbruch oder ungültiger Name";
      return false;
    }
  }
  if (int failure = ReplaceFile(path_, bytes)) {
    lastError_ = SystemText(failure);
    return false;
  }
  return true;
}

}  // namespace kelvora::platform
