// SPDX-License-Identifier: MIT
// The table of the robot's eight axes: wiring, maximum and current position of each.
#pragma once

#include <cstdint>
#include <string>

namespace kelvora::access {

// Selector codes of the accessors.
enum MotCode : int32_t {
  mcEndSwitch = 1,
  mcMaximum = 2,
  mcImpulse = 3,
  mcName = 4,
  mcMotor = 5,
  mcPosition = 6,
};

struct TMot {
  int32_t EndSwitch;     // input closed at the axis's zero end
  int32_t MaxPos;        // highest target; 9999 = axis not used
  int32_t ImpulseInput;  // input whose changes count the units
  std::string Name;      // UTF-8
  int32_t Motor;         // motor output 1..8
  int32_t Position;      // units from the end switch; 9999 until first positioned
};

class TBrelMotList {
 public:
  TBrelMotList();  // axis i: end switch 2i-1, impulse 2i, motor i, "Dummy", 9999, 9999

  // Axis 1..8, not range-tested. Codes 1, 3, 5 (else 65535 / nothing).
  int32_t GetNumber(int axis, int32_t code) const;
  void SetNumber(int axis, int32_t code, int32_t value);
  // Codes 2, 6 (else 65535 / nothing).
  int32_t GetPos(int axis, int32_t code) const;
  void SetPos(int axis, int32_t code, int32_t value);
  // Code is not examined.
  void SetName(int axis, int32_t code, const std::string& name);
  const std::string& GetName(int axis) const {
    return Mot[axis >= 1 && axis <= 8 ? axis : 0].Name;  // [0] holds an empty name
  }

  TMot Mot[9];  // [1..8] used; [0] unused so that axis numbers index directly
};

}  // namespace kelvora::access
