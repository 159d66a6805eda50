// SPDX-License-Identifier: MIT
// The virtual interface box: the protocol side of the kit's box, serial and parallel.
// It holds 16 inputs and two analog values, takes the motor word from every exchange,
// records what it receives, and can be told to misbehave. A robot (robot.h) can stand
// behind it: the box then asks the robot for its inputs and tells it the motor word.
//
// Thread-safe: in kelvora-sim and in end-to-end tests the box is served from another
// thread than the one that sets inputs and faults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace kelvora::sim {

// What the box can be told to do wrong. Every fault lasts until another is set.
enum class BoxFault {
  kNone,
  kSilent,    // no reply at all
  kShort,     // only the first reply byte
  kGarbage,   // reply of the right length with random bytes
  kSplit,     // the reply in two pieces: its first byte, the rest SplitGapMs later
  kLate,      // the whole reply LateMs after the command
  kStray,     // one extra byte after the reply
  kVanished,  // the device is gone: reads and writes fail
  kReplug,    // gone as kVanished; whoever serves the box brings it back after a while
};

// Every fault by name, in the order a list of them shows: kelvora-sim's options and
// keys, and any view of the box, take them from here.
struct BoxFaultInfo {
  BoxFault fault;
  const char* name;
  const char* what;
};
inline constexpr BoxFaultInfo kBoxFaults[] = {
    {BoxFault::kNone, "none", "the box answers normally"},
    {BoxFault::kSilent, "silent", "no reply at all"},
    {BoxFault::kShort, "short", "only the first reply byte"},
    {BoxFault::kGarbage, "garbage", "random reply bytes"},
    {BoxFault::kSplit, "split", "the reply in two pieces, the rest 8 ms after its first byte"},
    {BoxFault::kLate, "late", "the reply 40 ms late"},
    {BoxFault::kStray, "stray", "an extra byte after each reply"},
    {BoxFault::kVanished, "vanished", "the device vanishes for good"},
    {BoxFault::kReplug, "replug", "the device vanishes and comes back"},
};
const char* BoxFaultName(BoxFault fault);
bool ParseBoxFault(const char* name, BoxFault* out);

// Reply bytes that leave the box together, delayMs after the command that asked for
// them was complete.
struct ReplyPiece {
  uint32_t delayMs;
  std::vector<uint8_t> bytes;
};

class VirtualBox {
 public:
  VirtualBox();

  // --- serial side: one exchange is one write of a command and one read of the reply.
  // Takes the bytes of one write; a complete command queues its reply.
  // Returns false when the device has vanished.
  bool SerialWrite(const uint8_t* data, size_t n);
  // Hands out the reply pieces queued since the last call, in order. Whoever serves
  // the box delivers each at its delay; nothing while the device has vanished.
  std::vector<ReplyPiece> TakeReplies();

  // --- parallel side: the data register is written, the status register read.
  void WriteData(uint8_t value);
  uint8_t ReadStatus();

  // --- state.
  uint16_t MotorWord() const;  // last motor word the box received
  void SetInputs(uint16_t word);
  void SetInput(int input, bool on);            // input 1..16
  uint16_t Inputs() const;                      // what the next reply reports
  void SetAnalog(int channel, uint16_t value);  // channel 0 = EX, 1 = EY
  uint16_t Analog(int channel) const;           // 0 for a channel that is none

  // A robot behind the box: called under the box's lock.
  void SetInputSource(std::function<uint16_t()> source);
  void SetMotorListener(std::function<void(uint16_t)> listener);

  // --- faults.
  void SetFault(BoxFault fault);
  BoxFault Fault() const;
  // Gone (kVanished or kReplug): its device cannot be opened, reads and writes fail.
  bool Vanished() const;
  // How often the device came back after vanishing. A handle opened before the last
  // return is dead, as a descriptor of a pulled adapter stays dead after the replug.
  uint32_t Plugs() const;
  void SetSplitGapMs(uint32_t ms);
  void SetLateMs(uint32_t ms);

  // --- what the box saw. Bytes and motor words are recorded under every fault but a
  // vanished device: a silent, short or garbled box still hears the command.
  std::vector<uint8_t> Received() const;     // every serial byte, in order
  std::vector<uint16_t> MotorWords() const;  // the motor word of every exchange
  size_t ExchangeCount() const;
  // How often the input (1..16) changed from one serial reply to the next, as a reader of
  // every reply sees it (an 8-input reply has inputs 9 to 16 clear); the first reply
  // counts nothing, nor does one a fault makes unreadable. Below the robot's own count
  // of changes when the replies come too seldom to see each one.
  uint64_t ReplyChanges(int input) const;
  void ClearRecords();

 private:
  // implementation detail of the box; see virtual_box.cpp
  uint16_t CurrentInputsLocked() const;
  uint8_t NextGarbageLocked();
  void TakeMotorWordLocked(uint16_t word);
  void ExecuteLocked();  // runs the complete command in pendingCommand_
  void CountReplyLocked(uint16_t inputs);

  mutable std::mutex mutex_;
  size_t exchanges_ = 0;
  std::vector<uint8_t> pendingCommand_;
  std::vector<ReplyPiece> replies_;
  std::vector<uint8_t> received_;
  std::vector<uint16_t> motorWords_;
  uint16_t motorWord_ = 0;
  uint16_t inputs_ = 0;
  uint16_t analog_[2] = {0, 0};
  bool replied_ = false;
  uint16_t lastReply_ = 0;
  uint64_t replyChanges_[16] = {};
  BoxFault fault_ = BoxFault::kNone;
  uint32_t plugs_ = 0;
  uint32_t splitGapMs_ = 8;
  uint32_t lateMs_ = 40;
  std::function<uint16_t()> inputSource_;
  std::function<void(uint16_t)> motorListener_;
  uint32_t garbageSeed_ = 0x2545F491u;
  // parallel shift-register state
  uint32_t shiftOut_ = 0;
  int shiftOutBits_ = 0;
  uint16_t latchedInputs_ = 0;
  int inputBit_ = 0;
  uint8_t lastData_ = 0;
  int analogReadsLeft_ = 0;
  int loadStage_ = 0;     // how much of the load sequence 0x39, 0x32, 0x3A has come
  int analogArmed_ = -1;  // channel whose start value came last, -1 none
  bool analogRunning_ = false;
};

}  // namespace kelvora::sim
