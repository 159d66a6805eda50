// SPDX-License-Identifier: MIT
// The parallel side of the virtual box: the shift-register chain and the analog line
// at register level.
//
// Data register bit 2 carries the output bit and bit 3 is the shift clock: on each
// rising edge of bit 3 the data bit enters the 16-bit output chain (MSB first) and
// the input chain moves on by one. The load sequence 0x39, 0x32, 0x3A takes the
// output chain over as the motor word and latches the 16 inputs; status bit 7 then
// shows input 8, and each further clock brings up the next of 7..1, then 16..9.
//
// 0xA0 (EX) or 0x90 (EY) followed by 0x38 starts a measurement: status bit 7 then
// stays set for as many status reads as the analog value, and clears.
//
// Faults: a silent or vanished box ignores the data register and its status reads 0;
// a garbling box answers random status bytes.
#include "sim/virtual_box.h"

namespace kelvora::sim {
namespace {

constexpr uint8_t kClockBit = 0x08;
constexpr uint8_t kDataBit = 0x04;
constexpr uint8_t kLoadValues[3] = {0x39, 0x32, 0x3A};
constexpr uint8_t kStartEx = 0xA0;
constexpr uint8_t kStartEy = 0x90;
constexpr uint8_t kAnalogGo = 0x38;

// Input number shown at position k (0..15) of the chain after a load.
int InputAt(int k) {
  return k < 8 ? 8 - k : 24 - k;
}

}  // namespace

void VirtualBox::WriteData(uint8_t value) {
  std::lock_guard lock(mutex_);
  if (fault_ == BoxFault::kSilent || fault_ == BoxFault::kVanished) return;
  const uint8_t previous = lastData_;
  lastData_ = value;
  if (value == previous) return;  // a repeated write is the same level, no new edge

  // The analog line: a start value arms a channel, the 0x38 that follows starts it.
  if (value == kStartEx || value == kStartEy) {
    analogArmed_ = value == kStartEx ? 0 : 1;
    analogRunning_ = false;
    loadStage_ = 0;
    return;
  }
  if (analogArmed_ >= 0 && value == kAnalogGo) {
    analogRunning_ = true;
    analogReadsLeft_ = analog_[analogArmed_];
    analogArmed_ = -1;
    return;
  }
  analogArmed_ = -1;
  analogRunning_ = false;

  // The load sequence, one distinct value after the other.
  if (value == kLoadValues[loadStage_]) {
    if (++loadStage_ == 3) {
      loadStage_ = 0;
      latchedInputs_ = CurrentInputsLocked();
      inputBit_ = 0;
      ++exchanges_;
      TakeMotorWordLocked(static_cast<uint16_t>(shiftOut_));
    }
    return;
  }
  loadStage_ = value == kLoadValues[0] ? 1 : 0;

  const bool rising = (previous & kClockBit) == 0 && (value & kClockBit) != 0;
  if (!rising) return;
  shiftOut_ = ((shiftOut_ << 1) | ((value & kDataBit) != 0 ? 1u : 0u)) & 0xFFFF;
  if (shiftOutBits_ < 16) ++shiftOutBits_;
  if (inputBit_ < 16) ++inputBit_;
}

uint8_t VirtualBox::ReadStatus() {
  std::lock_guard lock(mutex_);
  switch (fault_) {
    case BoxFault::kSilent:
    case BoxFault::kVanished:
      return 0;
    case BoxFault::kGarbage:
      return NextGarbageLocked();
    default:
      break;
  }
  if (analogRunning_) {
    if (analogReadsLeft_ > 0) {
      --analogReadsLeft_;
      return 0x80;
    }
    return 0;
  }
  if (inputBit_ >= 16) return 0;
  const int input = InputAt(inputBit_);
  return (latchedInputs_ & (1u << (input - 1))) != 0 ? 0x80 : 0;
}

}  // namespace kelvora::sim
