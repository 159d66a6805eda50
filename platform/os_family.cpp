// SPDX-License-Identifier: MIT
#include <cstdlib>

#include "platform/os_family.h"

namespace kelvora::platform {

int32_t PlatformFamilyKind() {
  // Follows the driver's own choice: the port-driver family only when the environment
  // asks for it.
  const char* p = std::getenv("ZQBREL_PLATFORM");
  if (p == nullptr) return 1;
  const bool nt = (p[0] == 'n' || p[0] == 'N') && (p[1] == 't' || p[1] == 'T') && p[2] == '\0';
  return nt ? 2 : 1;
}

}  // namespace kelvora::platform
