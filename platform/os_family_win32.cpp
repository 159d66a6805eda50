// SPDX-License-Identifier: MIT
#include <windows.h>

#include "platform/os_family.h"

namespace kelvora::platform {

int32_t PlatformFamilyKind() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  // Deprecated for version numbers, but the platform id it gives is all this needs.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL known = GetVersionExA(&info);
#pragma GCC diagnostic pop
  return known && info.dwPlatformId == VER_PLATFORM_WIN32_NT ? 2 : 1;
}

}  // namespace kelvora::platform
