// SPDX-License-Identifier: MIT
// The parallel ports as the machine knows them: the register base of LPT1 to LPT3, the
// port a name selects, and the device name of the outside port driver. The protocol
// above and the register access below both work from these.
#pragma once

#include <cstdint>

namespace kelvora::drvos {

inline constexpr uint32_t kBaseLpt1 = 0x378;
inline constexpr uint32_t kBaseLpt2 = 0x278;
inline constexpr uint32_t kBaseLpt3 = 0x3BC;

// Base address chosen by the fourth character of a port name ("2" → LPT2, "3" → LPT3,
// anything else LPT1).
constexpr uint32_t BaseForPortChar(char fourth) {
  return fourth == '2' ? kBaseLpt2 : fourth == '3' ? kBaseLpt3 : kBaseLpt1;
}
constexpr bool IsParallelBase(uint32_t addr) {
  return addr == kBaseLpt1 || addr == kBaseLpt2 || addr == kBaseLpt3;
}

inline constexpr char kPortDriverDevice[] = "\\\\.\\WRTdev0";

}  // namespace kelvora::drvos
