// The port-driver path: the poll program item by item, the requests and their codes,
// results from word 3, the analog requests, and the same exchange as the direct path
// when the stand-in runs the program against the virtual box.
#include <gtest/gtest.h>

#include <array>
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

TEST(PollProgram, PassesTheStandInsChecks) {
  uint32_t words[kPollProgramWords];
  driver::BuildPollProgram(0xFFFF, words);
  EXPECT_EQ(portdriver::CheckItems(reinterpret_cast<const uint8_t*>(words), sizeof words),
            portdriver::RunStatus::kOk);
}

class PortDriverPathTest : public ::testing::Test {
 protected:
  ScriptedPorts ports;
  ParallelRig rig{&ports};
  TBrelRecord rec = FreshRecord();
  PortDriverPathTest() { rig.os.SetFamily(drvos::PlatformFamily::kPortDriver); }
};

TEST_F(PortDriverPathTest, AnyParallelNameOpensDeviceZero) {
  for (const char* name : {"LPT3", "LPT1", "LPT"}) {
    rec = FreshRecord();
    rec.LptDelay = 10;
    ports.opened.clear();
    ASSERT_EQ(OpenParallelPort(&rec, name), 0u) << name;
    ASSERT_EQ(ports.opened.size(), 1u);
    EXPECT_EQ(ports.opened[0], "\\\\.\\WRTdev0");
    EXPECT_EQ(rec.PortAddr, 1u);
    EXPECT_EQ(rec.LptDelay, 1u);
    EXPECT_EQ(rec.AnalogScan, 2048u);
    EXPECT_GT(rec.Handle, 1u);
  }
  rec = FreshRecord();
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
  EXPECT_TRUE(r.inNull);
  EXPECT_TRUE(r.in.empty());
  EXPECT_EQ(r.outSize, 744u);
  uint32_t expected[kPollProgramWords];
  driver::BuildPollProgram(0x0201, expected);
  EXPECT_EQ(r.out, std::vector<uint32_t>(expected, expected + kPollProgramWords));
  EXPECT_TRUE(ports.accesses.empty());  // nothing goes to the registers directly
}

TEST_F(PortDriverPathTest, FailedRequestYieldsTheErrorValue) {
  ASSERT_EQ(OpenParallelPort(&rec, "LPT1"), 0u);
  ports.responder = [](uint32_t, uint32_t*, size_t) { return false; };
  EXPECT_EQ(ParallelPollInputs(&rec), ZQ_ERROR);
  EXPECT_EQ(ParallelReadAnalog(&rec, 0), ZQ_ERROR);
}

TEST_F(PortDriverPathTest, FailedFirstExchangeClosesTheDevice) {
  ports.responder = [](uint32_t, uint32_t*, size_t) { return false; };
  EXPECT_EQ(OpenParallelPort(&rec, "LPT1"), ZQ_ERROR);
  EXPECT_EQ(rec.Handle, 0u);
  EXPECT_EQ(ports.openHandles, 0);
}

TEST_F(PortDriverPathTest, MissingDeviceFails) {
  ports.devices.clear();
  EXPECT_EQ(OpenParallelPort(&rec, "LPT1"), ZQ_ERROR);
  EXPECT_EQ(rec.Handle, 0u);
  EXPECT_TRUE(ports.requests.empty());
}

class PortDriverAnalogTest : public PortDriverPathTest {
 protected:
  int statusReads = 0;
  // Bit 7 clears at status read `clearAt` (0: never).
  void LineClearsAt(int clearAt) {
    statusReads = 0;
    ports.responder = [this, clearAt](uint32_t code, uint32_t* out, size_t words) {
      if (code != 0x80002000 || words != 6) return false;
      if (out[0] == 1) out[2] = (clearAt != 0 && ++statusReads >= clearAt) ? 0x7F : 0xFF;
      return true;
    };
  }
};

TEST_F(PortDriverAnalogTest, RequestsAreTwoItemsOfRegisterAccessAndPause) {
  ASSERT_EQ(OpenParallelPort(&rec, "LPT1"), 0u);
  ports.Clear();
  LineClearsAt(2);
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
  ports.Clear();
  LineClearsAt(1);
  ParallelReadAnalog(&rec, 0);
  EXPECT_EQ(ports.requests[0].in[2], 0xA0u);
}

TEST_F(PortDriverAnalogTest, ClearAtFirstReadGivesOne) {
  ASSERT_EQ(OpenParallelPort(&rec, "LPT1"), 0u);
  LineClearsAt(1);
  EXPECT_EQ(ParallelReadAnalog(&rec, 0), 1u);
}

TEST_F(PortDriverAnalogTest, NeverClearGivesAnalogScan) {
  rec.AnalogScan = 40;
  ASSERT_EQ(OpenParallelPort(&rec, "LPT1"), 0u);
  ports.Clear();
  LineClearsAt(0);
  EXPECT_EQ(ParallelReadAnalog(&rec, 0), 40u);
  EXPECT_EQ(ports.requests.size(), 2u + 40u);
}

TEST_F(PortDriverAnalogTest, DefaultScanIs2048) {
  ASSERT_EQ(OpenParallelPort(&rec, "LPT1"), 0u);
  LineClearsAt(0);
  EXPECT_EQ(ParallelReadAnalog(&rec, 1), 2048u);
}

TEST_F(PortDriverAnalogTest, FailedReadRequestEndsTheMeasurementWithTheErrorValue) {
  ASSERT_EQ(OpenParallelPort(&rec, "LPT1"), 0u);
  int n = 0;
  ports.responder = [&n](uint32_t, uint32_t* out, size_t) {
    if (out[0] == 1) out[2] = 0x80;
    return ++n < 5;
  };
  EXPECT_EQ(ParallelReadAnalog(&rec, 0), ZQ_ERROR);
}

// --- the stand-in against the virtual box ------------------------------------------

class SameExchangeTest : public ::testing::TestWithParam<std::pair<uint16_t, uint16_t>> {
 protected:
  sim::VirtualBox box;
  sim::VirtualParallel ports;
  ParallelRig rig{&ports};
  SameExchangeTest() { ports.AttachBox(1, &box); }
};

TEST_P(SameExchangeTest, PollProgramGivesTheDirectPathsInputWordAndRegisterSequence) {
  const auto [inputs, motor] = GetParam();
  box.SetInputs(inputs);

  TBrelRecord direct = FreshRecord();
  direct.LptDelay = 1;
  ASSERT_NE(OpenParallelPort(&direct, "LPT1"), ZQ_ERROR);
  direct.MotorWord = motor;
  ports.ClearAccesses();
  EXPECT_EQ(ParallelPollInputs(&direct), inputs);
  EXPECT_EQ(box.MotorWord(), motor);
  const auto directAccesses = ports.Accesses();
  rig.os.CloseHandle(direct.Handle);

  rig.os.SetFamily(drvos::PlatformFamily::kPortDriver);
  TBrelRecord viaDriver = FreshRecord();
  ASSERT_EQ(OpenParallelPort(&viaDriver, "LPT1"), inputs);
  viaDriver.MotorWord = motor;
  ports.ClearAccesses();
  EXPECT_EQ(ParallelPollInputs(&viaDriver), inputs);
  EXPECT_EQ(box.MotorWord(), motor);
  EXPECT_EQ(ports.Accesses(), directAccesses);
  EXPECT_EQ(ports.FailedPortDriverRequests(), 0u);
  rig.os.CloseHandle(viaDriver.Handle);
}

INSTANTIATE_TEST_SUITE_P(Words, SameExchangeTest,
                         ::testing::Values(std::pair<uint16_t, uint16_t>{0x0000, 0x0001},
                                           std::pair<uint16_t, uint16_t>{0xA5C3, 0x8001},
                                           std::pair<uint16_t, uint16_t>{0x0180, 0xFFFF},
                                           std::pair<uint16_t, uint16_t>{0xFFFF, 0x0000}));

TEST(PortDriverAnalogOnTheBox, BothPathsMeasureTheSameLine) {
  sim::VirtualBox box;
  sim::VirtualParallel ports;
  ParallelRig rig{&ports};
  ports.AttachBox(1, &box);
  box.SetAnalog(0, 0);
  box.SetAnalog(1, 11);

  TBrelRecord direct = FreshRecord();
  ASSERT_NE(OpenParallelPort(&direct, "LPT1"), ZQ_ERROR);
  EXPECT_EQ(ParallelReadAnalog(&direct, 0), 0u);  // clear at the first read
  EXPECT_EQ(ParallelReadAnalog(&direct, 1), 2u);  // clear at the twelfth read, scan 5
  rig.os.CloseHandle(direct.Handle);

  rig.os.SetFamily(drvos::PlatformFamily::kPortDriver);
  TBrelRecord viaDriver = FreshRecord();
  ASSERT_NE(OpenParallelPort(&viaDriver, "LPT1"), ZQ_ERROR);
  EXPECT_EQ(ParallelReadAnalog(&viaDriver, 0), 1u);
  EXPECT_EQ(ParallelReadAnalog(&viaDriver, 1), 12u);
  box.SetAnalog(0, 5000);
  EXPECT_EQ(ParallelReadAnalog(&viaDriver, 0), 2048u);
  rig.os.CloseHandle(viaDriver.Handle);
}

}  // namespace
}  // namespace kelvora::testing
