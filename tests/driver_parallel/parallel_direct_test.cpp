// The direct path: register values and reads in their exact order, the repetition of
// writes, the input bit order, base addresses and the analog measurement loop.
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

RegisterAccess W(uint32_t port, uint16_t v) {
  return {true, port, v};
}
RegisterAccess R(uint32_t port) {
  return {false, port, 0};
}

// The exchange as a list: every write LptDelay times, reads once. Read values are
// compared separately, so the expected reads carry 0 and the scripted status is 0.
std::vector<RegisterAccess> ExpectedExchange(uint32_t base, uint32_t delay, uint16_t motor) {
  std::vector<RegisterAccess> v;
  auto write = [&](uint16_t value) {
    for (uint32_t i = 0; i < delay; ++i) v.push_back(W(base, value));
  };
  for (int bit = 15; bit >= 0; --bit) {
    const bool one = (motor >> bit) & 1;
    write(one ? 0x34 : 0x30);
    write(one ? 0x3C : 0x38);
  }
  write(0x39);
  write(0x32);
  write(0x3A);
  for (int i = 0; i < 16; ++i) {
    v.push_back(R(base + 1));
    write(0x30);
    write(0x38);
  }
  return v;
}

std::vector<uint16_t> WritesOf(const std::vector<RegisterAccess>& accesses) {
  std::vector<uint16_t> v;
  for (const auto& a : accesses)
    if (a.write) v.push_back(a.value);
  return v;
}

class DirectPathTest : public ::testing::Test {
 protected:
  ScriptedPorts ports;
  ParallelRig rig{&ports};
  TBrelRecord rec = FreshRecord();

  void OpenLpt1(uint32_t lptDelay) {
    rec.LptDelay = lptDelay;
    ASSERT_EQ(OpenParallelPort(&rec, "LPT1"), 0u);
    ports.Clear();
  }
};

TEST_F(DirectPathTest, MotorWord0001GoesOutAsFifteenZeroPairsThenAOnePair) {
  OpenLpt1(1);
  rec.MotorWord = 0x0001;
  EXPECT_EQ(ParallelPollInputs(&rec), 0u);
  EXPECT_EQ(ports.accesses, ExpectedExchange(0x378, 1, 0x0001));
  // Spelled out for the output phase: fifteen (0x30, 0x38), then (0x34, 0x3C), then the load.
  const auto writes = ports.Writes();
  for (int i = 0; i < 15; ++i) {
    EXPECT_EQ(writes[2 * i], 0x30);
    EXPECT_EQ(writes[2 * i + 1], 0x38);
  }
  EXPECT_EQ(writes[30], 0x34);
  EXPECT_EQ(writes[31], 0x3C);
  EXPECT_EQ((std::vector<uint16_t>(writes.begin() + 32, writes.begin() + 35)),
            (std::vector<uint16_t>{0x39, 0x32, 0x3A}));
}

TEST_F(DirectPathTest, MotorWordBit15GoesFirst) {
  OpenLpt1(1);
  rec.MotorWord = 0x8000;
  ParallelPollInputs(&rec);
  EXPECT_EQ(ports.accesses, ExpectedExchange(0x378, 1, 0x8000));
  EXPECT_EQ(ports.Writes()[0], 0x34);
}

TEST_F(DirectPathTest, LptDelayTenRepeatsEveryWriteTenTimesButNoRead) {
  OpenLpt1(10);
  rec.MotorWord = 0xA5C3;
  ParallelPollInputs(&rec);
  EXPECT_EQ(ports.accesses, ExpectedExchange(0x378, 10, 0xA5C3));
  size_t writes = 0, reads = 0;
  for (const auto& a : ports.accesses) (a.write ? writes : reads)++;
  EXPECT_EQ(writes, 67u * 10);
  EXPECT_EQ(reads, 16u);
}

TEST_F(DirectPathTest, LptDelayZeroWrittenAfterOpenWritesNothing) {
  OpenLpt1(1);
  rec.LptDelay = 0;
  ParallelPollInputs(&rec);
  EXPECT_TRUE(ports.Writes().empty());
  EXPECT_EQ(ports.reads, 16);
}

TEST_F(DirectPathTest, OpenFillsDefaultsAndSendsMotorWordZero) {
  rec.MotorWord = 0xFFFF;
  ports.status = [](int n) { return uint8_t(n == 1 ? 0x80 : 0x7F); };  // only bit 7 counts
  EXPECT_EQ(OpenParallelPort(&rec, "LPT1"), 0x0080u);
  EXPECT_EQ(rec.LptDelay, 10u);
  EXPECT_EQ(rec.AnalogScan, 5u);
  EXPECT_EQ(rec.MotorWord, 0u);
  EXPECT_EQ(rec.InputWord, 0x0080u);
  EXPECT_EQ(ports.Writes(), WritesOf(ExpectedExchange(0x378, 10, 0)));
  EXPECT_EQ(ports.reads, 16);
}

TEST_F(DirectPathTest, OpenKeepsPresetDelayAndScan) {
  rec.LptDelay = 3;
  rec.AnalogScan = 9;
  OpenParallelPort(&rec, "LPT1");
  EXPECT_EQ(rec.LptDelay, 3u);
  EXPECT_EQ(rec.AnalogScan, 9u);
}

// Read k (1-based) after the load carries input 8 .. 1 for k = 1 .. 8 and input
// 16 .. 9 for k = 9 .. 16.
class InputOrderTest : public DirectPathTest, public ::testing::WithParamInterface<int> {};

TEST_P(InputOrderTest, ReadKSetsItsInput) {
  OpenLpt1(1);
  const int k = GetParam();
  ports.status = [k](int n) { return uint8_t(n == k ? 0x80 : 0x00); };
  const int input = k <= 8 ? 9 - k : 25 - k;
  EXPECT_EQ(ParallelPollInputs(&rec), 1u << (input - 1)) << "read " << k;
}

INSTANTIATE_TEST_SUITE_P(AllSixteen, InputOrderTest, ::testing::Range(1, 17));

TEST_F(DirectPathTest, NamedInputOrderEdges) {
  OpenLpt1(1);
  const std::pair<int, uint32_t> cases[] = {{1, 0x0080}, {8, 0x0001}, {9, 0x8000}, {16, 0x0100}};
  for (auto [k, word] : cases) {
    ports.Clear();
    ports.status = [k](int n) { return uint8_t(n == k ? 0xFF : 0x7F); };
    EXPECT_EQ(ParallelPollInputs(&rec), word) << "read " << k;
  }
}

struct BaseCase {
  const char* name;
  uint32_t base;
};

class BaseAddressTest : public DirectPathTest, public ::testing::WithParamInterface<BaseCase> {};

TEST_P(BaseAddressTest, FourthCharacterChoosesTheBase) {
  const BaseCase c = GetParam();
  ASSERT_EQ(OpenParallelPort(&rec, c.name), 0u);
  EXPECT_EQ(rec.PortAddr, c.base);
  EXPECT_GT(rec.Handle, 1u);
  ASSERT_EQ(ports.opened.size(), 1u);
  EXPECT_EQ(ports.opened[0], c.name);  // the device of the name, only to reserve it
  ASSERT_FALSE(ports.accesses.empty());
  for (const auto& a : ports.accesses) EXPECT_EQ(a.port, a.write ? c.base : c.base + 1);
}

INSTANTIATE_TEST_SUITE_P(Names, BaseAddressTest,
                         ::testing::Values(BaseCase{"LPT1", 0x378}, BaseCase{"LPT2", 0x278},
                                           BaseCase{"LPT3", 0x3BC}, BaseCase{"LPT7", 0x378},
                                           BaseCase{"lpt2", 0x278}));

TEST_F(DirectPathTest, ThreeLetterNameDrivesThePresetBaseWithoutADevice) {
  rec.PortAddr = 0x3BC;
  EXPECT_EQ(OpenParallelPort(&rec, "LPT"), 0u);
  EXPECT_EQ(rec.Handle, 1u);
  EXPECT_EQ(rec.PortAddr, 0x3BCu);
  EXPECT_TRUE(ports.opened.empty());
  EXPECT_EQ(ports.accesses, ExpectedExchange(0x3BC, 10, 0));
}

TEST_F(DirectPathTest, ThreeLetterNameWithoutAParallelBaseFailsWithoutIo) {
  for (uint32_t preset : {0u, 1u, 0x379u, 0x80u, 0x1234u}) {
    rec = FreshRecord();
    rec.PortAddr = preset;
    EXPECT_EQ(OpenParallelPort(&rec, "LPT"), ZQ_ERROR) << preset;
    EXPECT_EQ(rec.Handle, 0u);
  }
  EXPECT_TRUE(ports.accesses.empty());
  EXPECT_TRUE(ports.opened.empty());
}

TEST_F(DirectPathTest, DeviceThatDoesNotOpenFailsWithoutIo) {
  ports.devices.erase("LPT2");
  EXPECT_EQ(OpenParallelPort(&rec, "LPT2"), ZQ_ERROR);
  EXPECT_EQ(rec.Handle, 0u);
  EXPECT_TRUE(ports.accesses.empty());
  EXPECT_EQ(ports.openHandles, 0);
}

TEST_F(DirectPathTest, ShortNamesAreReadOnlyUpToTheirEnd) {
  for (const char* name : {"L", "", "LP"}) {
    // Exact-size heap copies, so a read past the terminator would be caught.
    const size_t n = std::strlen(name) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    std::memcpy(copy, name, n);
    rec = FreshRecord();
    EXPECT_EQ(OpenParallelPort(&rec, copy), ZQ_ERROR) << name;
    EXPECT_EQ(rec.Handle, 0u);
    std::free(copy);
  }
  EXPECT_TRUE(ports.accesses.empty());
}

// --- the measurement ------------------------------------------------------------

class DirectAnalogTest : public DirectPathTest {
 protected:
  // Status bit 7 clears at read `clearAt` (0: never).
  void LineClearsAt(int clearAt) {
    ports.status = [clearAt](int n) { return uint8_t(clearAt != 0 && n >= clearAt ? 0 : 0x80); };
  }
};

TEST_F(DirectAnalogTest, ClearAtFirstReadGivesZero) {
  OpenLpt1(1);
  LineClearsAt(1);
  rec.InputWord = 0x1234;
  EXPECT_EQ(ParallelReadAnalog(&rec, 0), 0u);
  EXPECT_EQ(ports.reads, 1);
  EXPECT_EQ(rec.InputWord, 0x1234u);  // measurements leave the inputs alone
}

TEST_F(DirectAnalogTest, ClearAtTwelfthReadGivesTwo) {
  OpenLpt1(1);
  LineClearsAt(12);
  EXPECT_EQ(ParallelReadAnalog(&rec, 0), 2u);
  EXPECT_EQ(ports.reads, 12);
}

TEST_F(DirectAnalogTest, StartWritesRepeatLikeEveryWrite) {
  OpenLpt1(4);
  LineClearsAt(1);
  ParallelReadAnalog(&rec, 0);
  EXPECT_EQ(ports.Writes(),
            (std::vector<uint16_t>{0xA0, 0xA0, 0xA0, 0xA0, 0x38, 0x38, 0x38, 0x38}));
  ports.Clear();
  LineClearsAt(1);
  ParallelReadAnalog(&rec, 1);
  EXPECT_EQ(ports.Writes(),
            (std::vector<uint16_t>{0x90, 0x90, 0x90, 0x90, 0x38, 0x38, 0x38, 0x38}));
  for (const auto& a : ports.accesses) EXPECT_EQ(a.port, a.write ? 0x378u : 0x379u);
}

TEST_F(DirectAnalogTest, LineThatNeverClearsEndsAt2048WithoutAFurtherRead) {
  OpenLpt1(1);
  LineClearsAt(0);
  EXPECT_EQ(ParallelReadAnalog(&rec, 0), 2048u);
  EXPECT_EQ(ports.reads, 2048 * 5 - 1);
}

TEST_F(DirectAnalogTest, ScanZeroWrittenAfterOpenStillEndsOnAStuckLine) {
  OpenLpt1(1);
  rec.AnalogScan = 0;
  LineClearsAt(0);
  EXPECT_EQ(ParallelReadAnalog(&rec, 0), 0u);
  EXPECT_EQ(ports.reads, 2048);
  ports.Clear();
  LineClearsAt(7);
  EXPECT_EQ(ParallelReadAnalog(&rec, 0), 0u);
  EXPECT_EQ(ports.reads, 7);
}

}  // namespace
}  // namespace kelvora::testing
