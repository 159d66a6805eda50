// SPDX-License-Identifier: MIT
// The direct path: register values and reads in their exact order, the repetition of
// writes, the input bit order, base addresses, open failures and the measurement loop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/connections.h"
#include "driver/parallel.h"
#include "tests/driver_parallel/parallel_test_util.h"

namespace kelvora::testing {
namespace {

using driver::OpenParallelPort;
using driver::ParallelPollInputs;
using driver::ParallelReadAnalog;
using sim::RegisterAccess;

// The exchange as a list: every write LptDelay times, reads once (compared with value 0,
// the scripted status).
std::vector<RegisterAccess> ExpectedExchange(uint32_t base, uint32_t delay, uint16_t motor) {
  std::vector<RegisterAccess> v;
  auto write = [&](std::initializer_list<uint16_t> values) {
    for (uint16_t value : values) v.insert(v.end(), delay, RegisterAccess{true, base, value});
  };
  for (int bit = 15; bit >= 0; --bit) {
    if ((motor >> bit) & 1)
      write({0x34, 0x3C});
    else
      write({0x30, 0x38});
  }
  write({0x39, 0x32, 0x3A});
  for (int i = 0; i < 16; ++i) {
    v.push_back({false, base + 1, 0});
    write({0x30, 0x38});
  }
  return v;
}

class DirectPathTest : public ::testing::Test {
 protected:
  ScriptedPorts ports;
  ParallelRig rig{&ports};
  TBrelRecord rec{};

  void OpenLpt1(uint32_t lptDelay) {
    rec = TBrelRecord{};
    rec.LptDelay = lptDelay;
    ports.status = [](int) { return uint8_t{0}; };
    ASSERT_EQ(OpenParallelPort(&rec, "LPT1"), 0u);
    ports.Clear();
  }
};

TEST_F(DirectPathTest, ExchangeWritesEachBitPairLptDelayTimesBit15First) {
  // LptDelay 0 written after open: no writes at all, the reads still happen.
  const std::pair<uint16_t, uint32_t> cases[] = {
      {0x0001, 1}, {0x8000, 1}, {0xA5C3, 10}, {0x0001, 0}};
  for (auto [motor, delay] : cases) {
    OpenLpt1(1);
    rec.LptDelay = delay;
    rec.MotorWord = motor;
    EXPECT_EQ(ParallelPollInputs(&rec), 0u);
    EXPECT_EQ(ports.accesses, ExpectedExchange(0x378, delay, motor)) << motor << " " << delay;
    EXPECT_EQ(ports.reads, 16);
  }
  // Spelled out for 0x0001: fifteen zero pairs, then the one pair, then the load.
  OpenLpt1(1);
  rec.MotorWord = 0x0001;
  ParallelPollInputs(&rec);
  const auto w = ports.Writes();
  EXPECT_EQ((std::vector<uint16_t>(w.begin() + 28, w.begin() + 35)),
            (std::vector<uint16_t>{0x30, 0x38, 0x34, 0x3C, 0x39, 0x32, 0x3A}));
}

TEST_F(DirectPathTest, OpenFillsDefaultsAndSendsMotorWordZero) {
  rec.MotorWord = 0xFFFF;
  ports.status = [](int n) { return uint8_t(n == 1 ? 0x80 : 0x7F); };  // only bit 7 counts
  EXPECT_EQ(OpenParallelPort(&rec, "LPT1"), 0x0080u);
  EXPECT_EQ(rec.LptDelay, 10u);
  EXPECT_EQ(rec.AnalogScan, 5u);
  EXPECT_EQ(rec.MotorWord, 0u);
  EXPECT_EQ(rec.InputWord, 0x0080u);
  std::vector<uint16_t> writes;
  for (const auto& a : ExpectedExchange(0x378, 10, 0))
    if (a.write) writes.push_back(a.value);
  EXPECT_EQ(ports.Writes(), writes);
  EXPECT_EQ(ports.reads, 16);
  TBrelRecord preset{};
  preset.LptDelay = 3;
  preset.AnalogScan = 9;
  OpenParallelPort(&preset, "LPT2");
  EXPECT_EQ(preset.LptDelay, 3u);
  EXPECT_EQ(preset.AnalogScan, 9u);
}

// Read k (1-based) after the load carries input 8 .. 1 for k = 1 .. 8 and input
// 16 .. 9 for k = 9 .. 16.
TEST_F(DirectPathTest, InputBitOrderIsEightToOneThenSixteenToNine) {
  OpenLpt1(1);
  for (int k = 1; k <= 16; ++k) {
    ports.status = [k](int n) { return uint8_t(n == k ? 0x80 : 0x00); };
    ports.reads = 0;
    const int input = k <= 8 ? 9 - k : 25 - k;
    EXPECT_EQ(ParallelPollInputs(&rec), 1u << (input - 1)) << "read " << k;
  }
}

TEST_F(DirectPathTest, FourthCharacterChoosesTheBaseAndTheDeviceIsOnlyReserved) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"LPT1", 0x378}, {"LPT2", 0x278}, {"LPT3", 0x3BC}, {"LPT7", 0x378}, {"lpt2", 0x278}};
  for (auto [name, base] : cases) {
    rec = TBrelRecord{};
    ports.Clear();
    ports.opened.clear();
    ASSERT_EQ(OpenParallelPort(&rec, name), 0u) << name;
    EXPECT_EQ(rec.PortAddr, base) << name;
    EXPECT_GT(rec.Handle, 1u);
    EXPECT_EQ(ports.opened, (std::vector<std::string>{name}));
    EXPECT_EQ(ports.accesses.size(), 67u * 10 + 16);
    for (const auto& a : ports.accesses) EXPECT_EQ(a.port, a.write ? base : base + 1) << name;
  }
  // The three-letter name drives the preset base and opens no device.
  rec = TBrelRecord{};
  rec.PortAddr = 0x3BC;
  ports.Clear();
  ports.opened.clear();
  EXPECT_EQ(OpenParallelPort(&rec, "LPT"), 0u);
  EXPECT_EQ(rec.Handle, 1u);
  EXPECT_TRUE(ports.opened.empty());
  EXPECT_EQ(ports.accesses, ExpectedExchange(0x3BC, 10, 0));
}

TEST_F(DirectPathTest, FailedOpensDoNoIo) {
  // The three-letter name needs one of the three bases: anything else would reach
  // arbitrary I/O.
  for (uint32_t preset : {0u, 1u, 0x379u, 0x80u, 0x1234u}) {
    rec = TBrelRecord{};
    rec.PortAddr = preset;
    EXPECT_EQ(OpenParallelPort(&rec, "LPT"), ZQ_ERROR) << preset;
    EXPECT_EQ(rec.Handle, 0u);
  }
  EXPECT_TRUE(ports.opened.empty());
  ports.devices.erase("LPT2");
  EXPECT_EQ(OpenParallelPort(&rec, "LPT2"), ZQ_ERROR);
  EXPECT_EQ(ports.openHandles, 0);
  for (const char* name : {"L", "", "LP"}) {
    // Exact-size heap copies, so that a read past the terminator is caught.
    const size_t n = std::strlen(name) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    std::memcpy(copy, name, n);
    rec = TBrelRecord{};
    EXPECT_EQ(OpenParallelPort(&rec, copy), ZQ_ERROR) << name;
    EXPECT_EQ(rec.Handle, 0u);
    std::free(copy);
  }
  EXPECT_TRUE(ports.accesses.empty());
}

struct Measure {
  uint32_t delay, scan, channel;
  int clearAt;  // status read at which bit 7 clears; 0: never
  uint32_t value;
  int reads;
};

// One start pair of writes (0xA0 for X, 0x90 for Y), then reads until bit 7 clears,
// counting one step per AnalogScan reads; a line that never clears ends at 2048.
TEST_F(DirectPathTest, MeasurementCountsReadsUntilTheLineClears) {
  const Measure cases[] = {
      {1, 5, 0, 1, 0, 1},        {1, 5, 0, 12, 2, 12},  {4, 5, 1, 1, 0, 1},
      {1, 5, 0, 0, 2048, 10239}, {1, 0, 0, 0, 0, 2048}, {1, 0, 0, 7, 0, 7},  // scan 0 after open
  };
  for (const Measure& m : cases) {
    OpenLpt1(m.delay);
    rec.AnalogScan = m.scan;
    rec.InputWord = 0x1234;
    ports.status = [&m](int n) { return uint8_t(m.clearAt != 0 && n >= m.clearAt ? 0 : 0x80); };
    EXPECT_EQ(ParallelReadAnalog(&rec, m.channel), m.value) << m.clearAt;
    EXPECT_EQ(ports.reads, m.reads) << m.clearAt;
    std::vector<uint16_t> writes(m.delay, m.channel == 0 ? 0xA0 : 0x90);
    writes.insert(writes.end(), m.delay, 0x38);
    EXPECT_EQ(ports.Writes(), writes);
    for (const auto& a : ports.accesses) EXPECT_EQ(a.port, a.write ? 0x378u : 0x379u);
    EXPECT_EQ(rec.InputWord, 0x1234u);  // measurements leave the inputs alone
  }
}

}  // namespace
}  // namespace kelvora::testing
