// SPDX-License-Identifier: MIT
// The serial side of the virtual box, its state, faults and records. The parallel
// side (data and status registers) lives in virtual_box_parallel.cpp.
#include "sim/virtual_box.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kelvora::sim {
namespace {

// Command length by command byte; 0 for a byte the box does not know.
size_t CommandLength(uint8_t cmd) {
  switch (cmd) {
    case 0xC1:
    case 0xC5:
    case 0xC9:
      return 2;
    case 0xC2:
    case 0xC6:
    case 0xCA:
      return 3;
    default:
      return 0;
  }
}

}  // namespace

const char* BoxFaultName(BoxFault fault) {
  for (const BoxFaultInfo& f : kBoxFaults) {
    if (f.fault == fault) return f.name;
  }
  return "?";
}

bool ParseBoxFault(const char* name, BoxFault* out) {
  for (const BoxFaultInfo& f : kBoxFaults) {
    if (name != nullptr && std::strcmp(f.name, name) == 0) {
      *out = f.fault;
      return true;
    }
  }
  return false;
}

VirtualBox::VirtualBox() = default;

uint16_t VirtualBox::CurrentInputsLocked() const {
  return inputSource_ ? inputSource_() : inputs_;
}

uint8_t VirtualBox::NextGarbageLocked() {
  // xorshift32: reproducible garbage, so a failing test can be replayed.
  uint32_t x = garbageSeed_;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  garbageSeed_ = x;
  return static_cast<uint8_t>(x);
}

void VirtualBox::TakeMotorWordLocked(uint16_t word) {
  motorWord_ = word;
  motorWords_.push_back(word);
  if (motorListener_) motorListener_(word);
}

void VirtualBox::ExecuteLocked() {
  const uint8_t cmd = pendingCommand_[0];
  const bool wide = CommandLength(cmd) == 3;
  uint16_t word = wide ? static_cast<uint16_t>(pendingCommand_[1] | (pendingCommand_[2] << 8))
                       // the 8-input box addresses motors 1 to 4 only; 5 to 8 keep their state
                       : static_cast<uint16_t>((motorWord_ & 0xFF00) | pendingCommand_[1]);
  ++exchanges_;
  TakeMotorWordLocked(word);

  const uint16_t in = CurrentInputsLocked();
  uint8_t reply[4];
  size_t len = 0;
  reply[len++] = static_cast<uint8_t>(in);
  if (wide) reply[len++] = static_cast<uint8_t>(in >> 8);
  const uint8_t base = wide ? 0xC2 : 0xC1;
  if (cmd != base) {
    const uint16_t value = analog_[cmd == base + 4 ? 0 : 1];
    reply[len++] = static_cast<uint8_t>(value >> 8);
    reply[len++] = static_cast<uint8_t>(value);
  }
  std::vector<uint8_t> bytes(reply, reply + len);
  // What a reader of the replies sees change; a reply that cannot be read counts nothing.
  if (fault_ != BoxFault::kSilent && fault_ != BoxFault::kShort && fault_ != BoxFault::kGarbage &&
      fault_ != BoxFault::kVanished && fault_ != BoxFault::kReplug)
    CountReplyLocked(wide ? in : static_cast<uint16_t>(in & 0xFF));
  uint32_t delay = 0;
  switch (fault_) {
    case BoxFault::kNone:
      break;
    case BoxFault::kSilent:
    case BoxFault::kVanished:
    case BoxFault::kReplug:
      return;
    case BoxFault::kShort:
      bytes.resize(1);
      break;
    case BoxFault::kGarbage:
      for (uint8_t& b : bytes) b = NextGarbageLocked();
      break;
    case BoxFault::kSplit:
      if (bytes.size() > 1) {
        replies_.push_back({0, {bytes[0]}});
        replies_.push_back({splitGapMs_, std::vector<uint8_t>(bytes.begin() + 1, bytes.end())});
        return;
      }
      break;  // a one-byte reply cannot be split
    case BoxFault::kLate:
      delay = lateMs_;
      break;
    case BoxFault::kStray:
      bytes.push_back(NextGarbageLocked());
      break;
  }
  replies_.push_back({delay, std::move(bytes)});
}

bool VirtualBox::SerialWrite(const uint8_t* data, size_t n) {
  std::lock_guard lock(mutex_);
  if (fault_ == BoxFault::kVanished || fault_ == BoxFault::kReplug) return false;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = data[i];
    received_.push_back(b);
    // A byte the box does not know as a command start is dropped, as the firmware
    // waits for the next command byte.
    if (pendingCommand_.empty() && CommandLength(b) == 0) continue;
    pendingCommand_.push_back(b);
    if (pendingCommand_.size() == CommandLength(pendingCommand_[0])) {
      ExecuteLocked();
      pendingCommand_.clear();
    }
  }
  return true;
}

std::vector<ReplyPiece> VirtualBox::TakeReplies() {
  std::lock_guard lock(mutex_);
  return std::exchange(replies_, {});
}

uint16_t VirtualBox::MotorWord() const {
  std::lock_guard lock(mutex_);
  return motorWord_;
}

void VirtualBox::SetInputs(uint16_t word) {
  std::lock_guard lock(mutex_);
  inputs_ = word;
}

void VirtualBox::SetInput(int input, bool on) {
  if (input < 1 || input > 16) return;
  std::lock_guard lock(mutex_);
  const uint16_t bit = static_cast<uint16_t>(1u << (input - 1));
  inputs_ = on ? static_cast<uint16_t>(inputs_ | bit) : static_cast<uint16_t>(inputs_ & ~bit);
}

uint16_t VirtualBox::Inputs() const {
  std::lock_guard lock(mutex_);
  return CurrentInputsLocked();
}

void VirtualBox::SetAnalog(int channel, uint16_t value) {
  if (channel < 0 || channel > 1) return;
  std::lock_guard lock(mutex_);
  analog_[channel] = value;
}

uint16_t VirtualBox::Analog(int channel) const {
  if (channel < 0 || channel > 1) return 0;
  std::lock_guard lock(mutex_);
  return analog_[channel];
}

void VirtualBox::SetInputSource(std::function<uint16_t()> source) {
  std::lock_guard lock(mutex_);
  inputSource_ = std::move(source);
}

void VirtualBox::SetMotorListener(std::function<void(uint16_t)> listener) {
  std::lock_guard lock(mutex_);
  motorListener_ = std::move(listener);
}

void VirtualBox::SetFault(BoxFault fault) {
  std::lock_guard lock(mutex_);
  const bool wasGone = fault_ == BoxFault::kVanished || fault_ == BoxFault::kReplug;
  fault_ = fault;
  const bool gone = fault == BoxFault::kVanished || fault == BoxFault::kReplug;
  if (gone) {
    // A pulled device takes its buffers with it.
    replies_.clear();
    pendingCommand_.clear();
  } else if (wasGone) {
    ++plugs_;
  }
}

BoxFault VirtualBox::Fault() const {
  std::lock_guard lock(mutex_);
  return fault_;
}

bool VirtualBox::Vanished() const {
  std::lock_guard lock(mutex_);
  return fault_ == BoxFault::kVanished || fault_ == BoxFault::kReplug;
}

uint32_t VirtualBox::Plugs() const {
  std::lock_guard lock(mutex_);
  return plugs_;
}

void VirtualBox::SetSplitGapMs(uint32_t ms) {
  std::lock_guard lock(mutex_);
  splitGapMs_ = ms;
}

void VirtualBox::SetLateMs(uint32_t ms) {
  std::lock_guard lock(mutex_);
  lateMs_ = ms;
}

std::vector<uint8_t> VirtualBox::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

std::vector<uint16_t> VirtualBox::MotorWords() const {
  std::lock_guard lock(mutex_);
  return motorWords_;
}

size_t VirtualBox::ExchangeCount() const {
  std::lock_guard lock(mutex_);
  return exchanges_;
}

void VirtualBox::ClearRecords() {
  std::lock_guard lock(mutex_);
  received_.clear();
  motorWords_.clear();
  exchanges_ = 0;
  replied_ = false;
  for (uint64_t& n : replyChanges_) n = 0;
}

void VirtualBox::CountReplyLocked(uint16_t inputs) {
  if (replied_) {
    const uint16_t changed = static_cast<uint16_t>(inputs ^ lastReply_);
    for (int n = 0; n < 16; ++n) {
      if (changed & (1u << n)) ++replyChanges_[n];
    }
  }
  replied_ = true;
  lastReply_ = inputs;
}

uint64_t VirtualBox::ReplyChanges(int input) const {
  if (input < 1 || input > 16) return 0;
  std::lock_guard lock(mutex_);
  return replyChanges_[input - 1];
}

}  // namespace kelvora::sim
