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

enum class BoxFault {
  kNone,
  kSilent,    // no reply at all
  kShort,     // only the first reply byte
  kGarbage,   // reply of the right length with random bytes
  kVanished,  // the device is gone: reads and writes fail
};

class VirtualBox {
 public:
  VirtualBox();

  // --- serial side: one exchange is one write of a command and one read of the reply.
  // Takes the bytes of one write; a complete command queues its reply.
  // Returns false when the device has vanished.
  bool SerialWrite(const uint8_t* data, size_t n);
  // Hands out up to n queued reply bytes; returns how many, or -1 when vanished.
  int SerialRead(uint8_t* out, size_t n);
  // Reply bytes waiting.
  size_t SerialPending() const;

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

  // --- what the box saw. Bytes and motor words are recorded under every fault but
  // kVanished: a silent, short or garbled box still hears the command.
  std::vector<uint8_t> Received() const;     // every serial byte, in order
  std::vector<uint16_t> MotorWords() const;  // the motor word of every exchange
  size_t ExchangeCount() const;
  void ClearRecords();

 private:
  // implementation detail of the box; see virtual_box.cpp
  uint16_t CurrentInputsLocked() const;
  uint8_t NextGarbageLocked();
  void TakeMotorWordLocked(uint16_t word);
  void ExecuteLocked();  // runs the complete command in pendingCommand_

  mutable std::mutex mutex_;
  size_t exchanges_ = 0;
  std::vector<uint8_t> pendingCommand_;
  std::vector<uint8_t> reply_;
  std::vector<uint8_t> received_;
  std::vector<uint16_t> motorWords_;
  uint16_t motorWord_ = 0;
  uint16_t inputs_ = 0;
  uint16_t analog_[2] = {0, 0};
  BoxFault fault_ = BoxFault::kNone;
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
