// SPDX-License-Identifier: MIT
#include "access/brel_mot_list.h"

#include "access/brel_consts.h"

namespace kelvora::access {
namespace {

// Axis numbers come from callers that keep to 1..8; an out-of-range number must still
// never reach past the table.
bool ValidAxis(int axis) {
  return axis >= 1 && axis <= 8;
}

}  // namespace

TBrelMotList::TBrelMotList() {
  for (int i = 1; i <= 8; ++i) {
    Mot[i].EndSwitch = 2 * i - 1;
    Mot[i].MaxPos = kNotHomed;
    Mot[i].ImpulseInput = 2 * i;
    Mot[i].Name = "Dummy";
    Mot[i].Motor = i;
    Mot[i].Position = kNotHomed;
  }
  Mot[0] = TMot{0, kNotHomed, 0, std::string(), 0, kNotHomed};
}

int32_t TBrelMotList::GetNumber(int axis, int32_t code) const {
  if (!ValidAxis(axis)) return kNotGiven;
  switch (code) {
    case mcEndSwitch:
      return Mot[axis].EndSwitch;
    case mcImpulse:
      return Mot[axis].ImpulseInput;
    case mcMotor:
      return Mot[axis].Motor;
    default:
      return kNotGiven;
  }
}

void TBrelMotList::SetNumber(int axis, int32_t code, int32_t value) {
  if (!ValidAxis(axis)) return;
  switch (code) {
    case mcEndSwitch:
      Mot[axis].EndSwitch = value;
      break;
    case mcImpulse:
      Mot[axis].ImpulseInput = value;
      break;
    case mcMotor:
      Mot[axis].Motor = value;
      break;
    default:
      break;
  }
}

int32_t TBrelMotList::GetPos(int axis, int32_t code) const {
  if (!ValidAxis(axis)) return kNotGiven;
  switch (code) {
    case mcMaximum:
      return Mot[axis].MaxPos;
    case mcPosition:
      return Mot[axis].Position;
    default:
      return kNotGiven;
  }
}

void TBrelMotList::SetPos(int axis, int32_t code, int32_t value) {
  if (!ValidAxis(axis)) return;
  switch (code) {
    case mcMaximum:
      Mot[axis].MaxPos = value;
      break;
    case mcPosition:
      Mot[axis].Position = value;
      break;
    default:
      break;
  }
}

void TBrelMotList::SetName(int axis, int32_t /*code*/, const std::string& name) {
  if (!ValidAxis(axis)) return;
  Mot[axis].Name = name;
}

}  // namespace kelvora::access
