// SPDX-License-Identifier: MIT
// The platform family the interface object reports, as the driver chooses its parallel
// path by it.
#pragma once

#include <cstdint>

namespace kelvora::platform {

// 1: the registers are reached directly (the Windows 95 family; on Linux the default),
// 2: through the port driver (the NT family; on Linux with ZQBREL_PLATFORM=nt).
int32_t PlatformFamilyKind();

}  // namespace kelvora::platform
