// SPDX-License-Identifier: MIT
// The program's own copies of the driver's bit-mask tables, and the shared sentinels.
#pragma once

#include <cstdint>

namespace kelvora::access {

inline constexpr uint32_t kInterfaceError = 0x1FFFF;  // failure result and failed input word
inline constexpr int32_t kNotHomed = 9999;            // position not established; unused axis
inline constexpr int32_t kNotGiven = 65535;           // position not given; unhandled code
inline constexpr int32_t kToEndSwitch = -9999;        // target of a run to the end switch

inline constexpr uint32_t MotorClearMask[9] = {0x0000, 0xFFFC, 0xFFF3, 0xFFCF, 0xFF3F,
                                               0xFCFF, 0xF3FF, 0xCFFF, 0x3FFF};
inline constexpr uint32_t MotorLeftMask[9] = {0x0000, 0x0001, 0x0004, 0x0010, 0x0040,
                                              0x0100, 0x0400, 0x1000, 0x4000};
inline constexpr uint32_t MotorRightMask[9] = {0x0000, 0x0002, 0x0008, 0x0020, 0x0080,
                                               0x0200, 0x0800, 0x2000, 0x8000};
inline constexpr uint32_t InputMask[17] = {0x0000, 0x0001, 0x0002, 0x0004, 0x0008, 0x0010,
                                           0x0020, 0x0040, 0x0080, 0x0100, 0x0200, 0x0400,
                                           0x0800, 0x1000, 0x2000, 0x4000, 0x8000};

// Table lookups for numbers that come from settings or callers: a number outside the
// tables selects no motor bits and no input instead of reading past the table.
inline constexpr uint32_t ClearMaskOf(int32_t motor) {
  return motor >= 1 && motor <= 8 ? MotorClearMask[motor] : 0xFFFFu;
}
inline constexpr uint32_t LeftMaskOf(int32_t motor) {
  return motor >= 1 && motor <= 8 ? MotorLeftMask[motor] : 0u;
}
inline constexpr uint32_t RightMaskOf(int32_t motor) {
  return motor >= 1 && motor <= 8 ? MotorRightMask[motor] : 0u;
}
inline constexpr uint32_t InputMaskOf(int32_t input) {
  return input >= 1 && input <= 16 ? InputMask[input] : 0u;
}

}  // namespace kelvora::access
