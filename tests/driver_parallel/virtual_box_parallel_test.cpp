// The virtual box's parallel side driven at register level, independent of the driver.
#include <gtest/gtest.h>

#include <vector>

#include "sim/virtual_box.h"

namespace kelvora::sim {
namespace {

// Writes every value `repeat` times, as the driver's delay does.
void Write(VirtualBox& box, std::initializer_list<uint8_t> values, int repeat = 1) {
  for (uint8_t v : values)
    for (int i = 0; i < repeat; ++i) box.WriteData(v);
}

void ShiftOut(VirtualBox& box, uint16_t word, int repeat) {
  for (int bit = 15; bit >= 0; --bit) {
    if ((word >> bit) & 1)
      Write(box, {0x34, 0x3C}, repeat);
    else
      Write(box, {0x30, 0x38}, repeat);
  }
}

// Reads the 16 bits after a load; bit i of the result is the i-th read.
std::vector<bool> ShiftIn(VirtualBox& box, int repeat) {
  std::vector<bool> bits;
  for (int i = 0; i < 16; ++i) {
    bits.push_back((box.ReadStatus() & 0x80) != 0);
    Write(box, {0x30, 0x38}, repeat);
  }
  return bits;
}

TEST(VirtualBoxParallel, LoadTakesTheShiftedMotorWordWhateverTheRepetition) {
  for (int repeat : {1, 10}) {
    VirtualBox box;
    ShiftOut(box, 0x8001, repeat);
    EXPECT_TRUE(box.MotorWords().empty());  // nothing is taken before the load
    Write(box, {0x39, 0x32, 0x3A}, repeat);
    EXPECT_EQ(box.MotorWord(), 0x8001u) << repeat;
    EXPECT_EQ(box.ExchangeCount(), 1u);
    EXPECT_EQ(box.MotorWords(), (std::vector<uint16_t>{0x8001}));
  }
}

TEST(VirtualBoxParallel, InputsComeOutEightToOneThenSixteenToNine) {
  for (int input = 1; input <= 16; ++input) {
    VirtualBox box;
    box.SetInput(input, true);
    ShiftOut(box, 0, 3);
    Write(box, {0x39, 0x32, 0x3A}, 3);
    const auto bits = ShiftIn(box, 3);
    const int expectedRead = input <= 8 ? 8 - input : 24 - input;  // 0-based
    for (int k = 0; k < 16; ++k) EXPECT_EQ(bits[k], k == expectedRead) << input << " " << k;
  }
}

TEST(VirtualBoxParallel, InputsAreLatchedAtTheLoad) {
  VirtualBox box;
  box.SetInputs(0x0080);
  Write(box, {0x39, 0x32, 0x3A});
  box.SetInputs(0x0000);  // a change after the load shows in the next exchange
  EXPECT_EQ(box.ReadStatus() & 0x80, 0x80);
}

TEST(VirtualBoxParallel, AnalogLineStaysSetForValueReads) {
  VirtualBox box;
  box.SetAnalog(0, 3);
  box.SetAnalog(1, 0);
  Write(box, {0xA0, 0x38}, 10);
  std::vector<int> seen;
  for (int i = 0; i < 5; ++i) seen.push_back(box.ReadStatus() >> 7);
  EXPECT_EQ(seen, (std::vector<int>{1, 1, 1, 0, 0}));
  Write(box, {0x90, 0x38});
  EXPECT_EQ(box.ReadStatus() & 0x80, 0);
}

TEST(VirtualBoxParallel, MeasurementDoesNotDisturbTheNextExchange) {
  VirtualBox box;
  box.SetAnalog(0, 100);
  box.SetInputs(0x0100);
  Write(box, {0xA0, 0x38});
  box.ReadStatus();
  ShiftOut(box, 0x0003, 1);
  Write(box, {0x39, 0x32, 0x3A});
  EXPECT_EQ(box.MotorWord(), 0x0003u);
  const auto bits = ShiftIn(box, 1);
  EXPECT_TRUE(bits[15]);  // input 9 is the last read
}

TEST(VirtualBoxParallel, SilentBoxIgnoresTheRegisters) {
  VirtualBox box;
  box.SetInputs(0xFFFF);
  box.SetFault(BoxFault::kSilent);
  ShiftOut(box, 0x1234, 1);
  Write(box, {0x39, 0x32, 0x3A});
  EXPECT_EQ(box.ExchangeCount(), 0u);
  EXPECT_EQ(box.ReadStatus(), 0);
}

}  // namespace
}  // namespace kelvora::sim
