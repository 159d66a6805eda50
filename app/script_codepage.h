// Script files are 8-bit text in code page 1252, as the kit's software always wrote
// them; the program keeps text as UTF-8. These convert at the file boundary.
#pragma once

#include <string>
#include <string_view>

namespace kelvora::app {

// Every byte maps to one character; the five bytes 1252 leaves undefined map to the
// control characters of the same number, so any file reads and writes back unchanged.
std::string Cp1252ToUtf8(std::string_view bytes);
// Characters outside code page 1252, and malformed UTF-8, become '?'.
std::string Utf8ToCp1252(std::string_view text);

}  // namespace kelvora::app
