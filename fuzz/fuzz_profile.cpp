// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the settings-file parser as file contents: lookups must neither
// crash nor read outside the input, and a write must land where a later read finds it
// without disturbing another section's value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/profile.h"

namespace profile = kelvora::platform::profile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static const char* const kSections[] = {"Common", "Port", "Rob3", "Rob5", "rob5", ""};
  static const char* const kKeys[] = {"Left", "RobModel", "PortName", "S\xE4ule", "Greifer", ""};
  for (const char* section : kSections) {
    profile::SectionHasKeys(bytes, section);
    for (const char* key : kKeys) {
      std::optional<std::string> value = profile::FindValue(bytes, section, key);
      if (value && value->size() > profile::kMaxValueLength) std::abort();
      if (value) kelvora::platform::StrToIntDef(*value, 0);
    }
  }
  kelvora::platform::Cp1252ToUtf8(bytes);
  kelvora::platform::Utf8ToCp1252(bytes);

  std::optional<std::string> leftBefore = profile::FindValue(bytes, "Common", "Left");
  std::string written(bytes);
  if (profile::SetValue(written, "Port", "LPTDelay", "12")) {
    if (profile::FindValue(written, "Port", "LPTDelay") != std::optional<std::string>("12"))
      std::abort();
    if (profile::FindValue(written, "Common", "Left") != leftBefore) std::abort();
  } else {
    std::abort();  // these names and this value are always storable
  }
  return 0;
}
