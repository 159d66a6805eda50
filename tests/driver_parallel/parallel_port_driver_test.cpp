// SPDX-License-Identifier: MIT
// The port-driver path: the poll program item by item, the requests and their codes,
// results from word 3, the analog requests, and the same exchange as the direct path
// when the stand-in runs the program against the virtual box.
#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

#include "driver/connections.h"
#include "driver/parallel.h"
#include "portdriver/port_program.h"
#include "tests/driver_parallel/parallel_test_util.h"

namespace kelvora::testing {
namespace {

using driver::kPollProgramWords;
using driver::OpenParallelPort;
using driver::ParallelPollInputs;
using driver::ParallelReadAnalog;

constexpr uint32_t P(uint32_t high, uint32_t low) {
  return (high << 16) | low;
}

// The poll program as its table gives it, motor word M.
std::vector<std::array<uint32_t, 3>> PollTable(uint32_t m) {
  const uint32_t D = 0x10001, LOOP = 0x10004, BIT = 0x10000, JMP = 0x10002, OP = 0x10003;
  const uint32_t C32 = P(0x1004, 1), V32 = P(4, 1), V16 = P(2, 1);
  const std::array<uint32_t, 3> pause = {0x8A, 0, 3};
  auto wr = [](uint32_t v) { return std::array<uint32_t, 3>{4, 0, v}; };
  return {
      {D, C32, 0x8000},
      {D, C32, 0x10},
      {D, C32, 0x80},
      {D, C32, 8},
      {D, C32, 2},
      {D, C32, 1},
      {D, C32, 0},
      {D, V16, 16},
      {D, V16, 0},
      {D, V32, 0},
      {D, V32, m},
      {D, V16, 0x8000},
      /*12*/ {LOOP, P(2, 14), P(7, 6)},
      /*13*/ {BIT, P(8, 6), P(10, 11)},
      /*14*/ wr(0x34),
      pause,
      wr(0x3C),
      pause,
      /*18*/ {JMP, 5, 0},
      /*19*/ wr(0x30),
      pause,
      wr(0x38),
      pause,
      /*23*/ {OP, P(0x0F, 7), P(7, 5)},
      /*24*/ {OP, P(0x11, 11), P(11, 4)},
      /*25*/ {JMP, static_cast<uint32_t>(-13), 0},
      /*26*/ wr(0x39),
      pause,
      wr(0x32),
      pause,
      wr(0x3A),
      pause,
      /*32*/ {OP, P(0x0D, 7), P(3, 0)},
      /*33*/ {OP, P(0x0D, 11), P(2, 0)},
      /*34*/ {LOOP, P(2, 13), P(7, 6)},
      /*35*/ {1, 1, 0},
      /*36*/ {OP, P(0x0D, 8), P(8, 0x4000)},
      /*37*/ pause,
      /*38*/ {BIT, P(8, 2), P(8, 2)},
      /*39*/ {OP, P(9, 9), P(9, 11)},
      /*40*/ wr(0x30),
      pause,
      wr(0x38),
      pause,
      /*44*/ {OP, P(0x0F, 7), P(7, 5)},
      /*45*/ {OP, P(0x11, 11), P(11, 4)},
      /*46*/ {JMP, static_cast<uint32_t>(-12), 0},
      /*47*/ {OP, P(0x0D, 7), P(1, 0)},
      /*48*/ {OP, P(0x0D, 11), P(0, 0)},
      /*49*/ {LOOP, P(2, 13), P(7, 3)},
      /*50*/ {1, 1, 0},
      /*51*/ {OP, P(0x0D, 8), P(8, 0x4000)},
      /*52*/ pause,
      /*53*/ {BIT, P(8, 2), P(8, 2)},
      /*54*/ {OP, P(9, 9), P(9, 11)},
      /*55*/ wr(0x30),
      pause,
      wr(0x38),
      pause,
      /*59*/ {OP, P(0x0F, 7), P(7, 5)},
      /*60*/ {OP, P(0x11, 11), P(11, 4)},
      /*61*/ {JMP, static_cast<uint32_t>(-12), 0},
  };
}

TEST(PollProgram, MatchesTheTableItemByItem) {
  for (uint32_t motor : {0u, 0x0001u, 0xA5C3u, 0xFFFFu}) {
    uint32_t words[kPollProgramWords];
    driver::BuildPollProgram(motor, words);
    const auto table = PollTable(motor);
    ASSERT_EQ(table.size(), 62u);
    static_assert(sizeof words == 744);
    for (size_t i = 0; i < table.size(); ++i) {
      EXPECT_EQ(words[3 * i], table[i][0]) << "item " << i << " command";
      EXPECT_EQ(words[3 * i + 1], table[i][1]) << "item " << i << " word 2";
      EXPECT_EQ(words[3 * i + 2], table[i][2]) << "item " << i << " word 3";
    }
  }
}

class PortDriverPathTest : public ::testing::Test {
 protected:
  ScriptedPorts ports;
  ParallelRig rig{&ports};
  TBrelRecord rec{};
  PortDriverPathTest() { rig.os.SetFamily(drvos::PlatformFamily::kPortDriver); }

  // Analog requests: the status read of the n-th read request has bit 7 clear from
  // `clearAt` on (0: never); request `failAt` (1-based, 0: none) fails.
  void AnswerAnalog(int clearAt, int failAt = 0) {
    ports.responder = [clearAt, failAt, n = 0, reads = 0](uint32_t code, uint32_t* out,
                                                          size_t words) mutable {
      if (code != 0x80002000 || words != 6 || ++n == failAt) return false;
      if (out[0] == 1) out[2] = (clearAt != 0 && ++reads >= clearAt) ? 0x7F : 0xFF;
      return true;
    };
  }
};

TEST_F(PortDriverPathTest, AnyParallelNameOpensDeviceZeroWithItsDefaults) {
  for (const char* name : {"LPT3", "LPT1", "LPT"}) {
    rec = TBrelRecord{};
    rec.LptDelay = 10;
    ports.opened.clear();
    ASSERT_EQ(OpenParallelPort(&rec, name), 0u) << name;
    EXPECT_EQ(ports.opened, (std::vector<std::string>{"\\\\.\\WRTdev0"}));
    EXPECT_EQ(rec.PortAddr, 1u);
    EXPECT_EQ(rec.LptDelay, 1u);
    EXPECT_EQ(rec.AnalogScan, 2048u);
    EXPECT_GT(rec.Handle, 1u);
  }
  rec = TBrelRecord{};
  rec.AnalogScan = 300;
  OpenParallelPort(&rec, "LPT2");
  EXPECT_EQ(rec.AnalogScan, 300u);
}

TEST_F(PortDriverPathTest, ExchangeSendsThePollProgramAndTakesWordThreeOfItemNine) {
  ASSERT_EQ(OpenParallelPort(&rec, "LPT1"), 0u);
  ports.Clear();
  ports.responder = [](uint32_t, uint32_t* out, size_t) {
    out[9 * 3 + 2] = 0xBEEF;
    return true;
  };
  rec.MotorWord = 0x0201;
  EXPECT_EQ(ParallelPollInputs(&rec), 0xBEEFu);
  EXPECT_EQ(rec.InputWord, 0xBEEFu);
  ASSERT_EQ(ports.requests.size(), 1u);
  const Request& r = ports.requests[0];
  EXPECT_EQ(r.code, 0x80002005u);
  EXPECT_TRUE(r.inNull && r.in.empty());
  EXPECT_EQ(r.outSize, 744u);
  uint32_t expected[kPollProgramWords];
  driver::BuildPollProgram(0x0201, expected);
  EXPECT_EQ(r.out, std::vector<uint32_t>(expected, expected + kPollProgramWords));
  EXPECT_TRUE(ports.accesses.empty());  // nothing goes to the registers directly
}

TEST_F(PortDriverPathTest, FailuresGiveTheErrorValueAndLeaveNoDeviceOpen) {
  ports.devices.clear();
  EXPECT_EQ(OpenParallelPort(&rec, "LPT1"), ZQ_ERROR);
  EXPECT_TRUE(ports.requests.empty());
  ports.devices.insert("\\\\.\\WRTdev0");
  ports.responder = [](uint32_t, uint32_t*, size_t) { return false; };
  EXPECT_EQ(OpenParallelPort(&rec, "LPT1"), ZQ_ERROR);  // the first exchange failed
  EXPECT_EQ(rec.Handle, 0u);
  EXPECT_EQ(ports.openHandles, 0);
  ports.responder = [](uint32_t, uint32_t*, size_t) { return true; };
  ASSERT_EQ(OpenParallelPort(&rec, "LPT1"), 0u);
  ports.responder = [](uint32_t, uint32_t*, size_t) { return false; };
  EXPECT_EQ(ParallelPollInputs(&rec), ZQ_ERROR);
  EXPECT_EQ(ParallelReadAnalog(&rec, 0), ZQ_ERROR);
  AnswerAnalog(0, 5);  // a read request fails in the middle of the measurement
  EXPECT_EQ(ParallelReadAnalog(&rec, 0), ZQ_ERROR);
}

TEST_F(PortDriverPathTest, AnalogRequestsAreTwoItemsOfRegisterAccessAndPause) {
  ASSERT_EQ(OpenParallelPort(&rec, "LPT1"), 0u);
  ports.Clear();
  AnswerAnalog(2);
  EXPECT_EQ(ParallelReadAnalog(&rec, 1), 2u);
  const std::vector<std::vector<uint32_t>> expected = {{4, 0, 0x90, 0x8A, 0, 3},
                                                       {4, 0, 0x38, 0x8A, 0, 3},
                                                       {1, 1, 0, 0x8A, 0, 3},
                                                       {1, 1, 0, 0x8A, 0, 3}};
  ASSERT_EQ(ports.requests.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(ports.requests[i].code, 0x80002000u);
    EXPECT_EQ(ports.requests[i].in, expected[i]) << "request " << i;
    EXPECT_EQ(ports.requests[i].outSize, 24u);
  }
  // Counts: clear at the first read is 1, a line that never clears ends at AnalogScan.
  const std::tuple<uint32_t, int, uint32_t> cases[] = {{0, 1, 1}, {40, 0, 40}, {0, 0, 2048}};
  for (auto [scan, clearAt, value] : cases) {
    rec = TBrelRecord{};
    rec.AnalogScan = scan;
    ports.responder = [](uint32_t, uint32_t*, size_t) { return true; };
    ASSERT_EQ(OpenParallelPort(&rec, "LPT1"), 0u);
    ports.Clear();
    AnswerAnalog(clearAt);
    EXPECT_EQ(ParallelReadAnalog(&rec, 0), value) << scan << " " << clearAt;
    EXPECT_EQ(ports.requests.size(), 2u + value) << scan << " " << clearAt;
    EXPECT_EQ(ports.requests[0].in[2], 0xA0u);
  }
}

// --- the stand-in against the virtual box ------------------------------------------

class OnTheBoxTest : public ::testing::Test {
 protected:
  sim::VirtualBox box;
  sim::VirtualParallel ports;
  ParallelRig rig{&ports};
  OnTheBoxTest() { ports.AttachBox(1, &box); }
};

TEST_F(OnTheBoxTest, PollProgramGivesTheDirectPathsInputWordAndRegisterSequence) {
  const std::pair<uint16_t, uint16_t> cases[] = {
      {0x0000, 0x0001}, {0xA5C3, 0x8001}, {0x0180, 0xFFFF}, {0xFFFF, 0x0000}};
  for (auto [inputs, motor] : cases) {
    box.SetInputs(inputs);
    rig.os.SetFamily(drvos::PlatformFamily::kDirect);
    TBrelRecord direct{};
    direct.LptDelay = 1;
    ASSERT_NE(OpenParallelPort(&direct, "LPT1"), ZQ_ERROR);
    direct.MotorWord = motor;
    ports.ClearAccesses();
    EXPECT_EQ(ParallelPollInputs(&direct), inputs);
    EXPECT_EQ(box.MotorWord(), motor);
    const auto directAccesses = ports.Accesses();
    rig.os.CloseHandle(direct.Handle);

    rig.os.SetFamily(drvos::PlatformFamily::kPortDriver);
    TBrelRecord viaDriver{};
    ASSERT_EQ(OpenParallelPort(&viaDriver, "LPT1"), inputs);
    viaDriver.MotorWord = motor;
    ports.ClearAccesses();
    EXPECT_EQ(ParallelPollInputs(&viaDriver), inputs);
    EXPECT_EQ(box.MotorWord(), motor);
    EXPECT_EQ(ports.Accesses(), directAccesses);
    EXPECT_EQ(ports.FailedPortDriverRequests(), 0u);
    rig.os.CloseHandle(viaDriver.Handle);
  }
}

TEST_F(OnTheBoxTest, BothPathsMeasureTheSameLine) {
  box.SetAnalog(0, 0);
  box.SetAnalog(1, 11);
  TBrelRecord direct{};
  ASSERT_NE(OpenParallelPort(&direct, "LPT1"), ZQ_ERROR);
  EXPECT_EQ(ParallelReadAnalog(&direct, 0), 0u);  // clear at the first read
  EXPECT_EQ(ParallelReadAnalog(&direct, 1), 2u);  // clear at the twelfth read, scan 5
  rig.os.CloseHandle(direct.Handle);

  rig.os.SetFamily(drvos::PlatformFamily::kPortDriver);
  TBrelRecord viaDriver{};
  ASSERT_NE(OpenParallelPort(&viaDriver, "LPT1"), ZQ_ERROR);
  EXPECT_EQ(ParallelReadAnalog(&viaDriver, 0), 1u);
  EXPECT_EQ(ParallelReadAnalog(&viaDriver, 1), 12u);
  box.SetAnalog(0, 5000);
  EXPECT_EQ(ParallelReadAnalog(&viaDriver, 0), 2048u);
  box.SetInputs(0x0100);  // a measurement leaves the shift chain as it was
  viaDriver.MotorWord = 0x0003;
  EXPECT_EQ(ParallelPollInputs(&viaDriver), 0x0100u);
  EXPECT_EQ(box.MotorWord(), 0x0003u);
  rig.os.CloseHandle(viaDriver.Handle);
}

}  // namespace
}  // namespace kelvora::testing
