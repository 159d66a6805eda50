// SPDX-License-Identifier: MIT
// The stand-in's item interpreter: what well-formed lists do, and that every kind of
// malformed list fails its request before or while running, never loops or crashes.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "portdriver/port_program.h"

namespace kelvora::portdriver {
namespace {

using Item = std::array<uint32_t, 3>;
constexpr uint32_t P(uint32_t high, uint32_t low) {
  return (high << 16) | low;
}
constexpr Item Pause{kCmdPause, 0, 3};
Item Write(uint32_t v) {
  return {kCmdWrite, 0, v};
}

class RecordingRegisters final : public RegisterBackend {
 public:
  std::vector<uint8_t> writes;
  std::vector<uint8_t> statusBytes;  // answered in turn, then 0
  size_t reads = 0;
  uint32_t paused = 0;
  bool fail = false;
  bool WriteData(uint8_t v) override {
    if (fail) return false;
    writes.push_back(v);
    return true;
  }
  bool ReadStatus(uint8_t* v) override {
    if (fail) return false;
    *v = reads < statusBytes.size() ? statusBytes[reads] : 0;
    ++reads;
    return true;
  }
  void Pause(uint32_t us) override { paused += us; }
};

std::vector<uint8_t> Bytes(const std::vector<Item>& items) {
  std::vector<uint8_t> b(items.size() * 12);
  std::memcpy(b.data(), items.data(), b.size());
  return b;
}

uint32_t WordOf(const std::vector<uint8_t>& b, size_t item, int word) {
  uint32_t v;
  std::memcpy(&v, b.data() + item * 12 + word * 4, 4);
  return v;
}

RunStatus RunList(const std::vector<Item>& items, RecordingRegisters& regs) {
  auto b = Bytes(items);
  return RunItems(b.data(), b.size(), regs);
}

// A counting loop: [0] constant 1, [1] constant 0, [2] counter n; writes 0x30 n times.
std::vector<Item> CountingLoop(uint32_t n) {
  return {
      {kCmdDeclare, kTypeConst32, 1},
      {kCmdDeclare, kTypeConst32, 0},
      {kCmdDeclare, kTypeVar16, n},
      {kCmdLoopTest, P(kOpGreater, 4), P(2, 1)},
      Write(0x30),
      {kCmdCompute, P(kOpSubtract, 2), P(2, 0)},
      {kCmdJump, static_cast<uint32_t>(-3), 0},
  };
}

TEST(PortProgram, CountingLoopRunsAndWritesTheFinalValuesBack) {
  RecordingRegisters regs;
  auto b = Bytes(CountingLoop(5));
  ASSERT_EQ(RunItems(b.data(), b.size(), regs), RunStatus::kOk);
  EXPECT_EQ(regs.writes, std::vector<uint8_t>(5, 0x30));
  EXPECT_EQ(WordOf(b, 2, 2), 0u);  // the counter's final value
  EXPECT_EQ(WordOf(b, 0, 2), 1u);  // constants keep theirs
}

TEST(PortProgram, ReadItemsReturnTheirByteAndFeedTheLatch) {
  RecordingRegisters regs;
  regs.statusBytes = {0x87, 0x11};
  auto b = Bytes({
      {kCmdDeclare, kTypeVar16, 0},
      {kCmdDeclare, kTypeVar32, 0},
      {kCmdRead, 1, 0},
      {kCmdCompute, P(kOpMove, 0), P(0, kReadLatch)},
      Pause,
      {kCmdRead, 1, 0},
      {kCmdCompute, P(kOpOr, 1), P(1, kReadLatch)},
  });
  ASSERT_EQ(RunItems(b.data(), b.size(), regs), RunStatus::kOk);
  EXPECT_EQ(WordOf(b, 2, 2), 0x87u);
  EXPECT_EQ(WordOf(b, 5, 2), 0x11u);
  EXPECT_EQ(WordOf(b, 0, 2), 0x87u);
  EXPECT_EQ(WordOf(b, 1, 2), 0x11u);
  EXPECT_EQ(regs.paused, 3u);
}

TEST(PortProgram, SixteenBitVariablesWrapAndABitTestSkipsWhenTheAndIsZero) {
  RecordingRegisters regs;
  auto b = Bytes({{kCmdDeclare, kTypeVar16, 0},
                  {kCmdDeclare, kTypeConst32, 1},
                  {kCmdCompute, P(kOpSubtract, 0), P(0, 1)},
                  {kCmdDeclare, kTypeConst32, 0x80},
                  {kCmdDeclare, kTypeVar32, 0x7F},
                  {kCmdBitTest, P(kOpAnd, 2), P(3, 2)},
                  Write(0x01),
                  Write(0x02)});
  ASSERT_EQ(RunItems(b.data(), b.size(), regs), RunStatus::kOk);
  EXPECT_EQ(WordOf(b, 0, 2), 0xFFFFu);
  EXPECT_EQ(regs.writes, (std::vector<uint8_t>{0x02}));
}

struct Malformed {
  const char* what;
  std::vector<Item> items;
  RunStatus status;
};

class MalformedList : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedList, FailsWithoutTouchingTheRegisters) {
  const Malformed& m = GetParam();
  RecordingRegisters regs;
  EXPECT_EQ(RunList(m.items, regs), m.status) << m.what;
  if (m.status != RunStatus::kDivideByZero && m.status != RunStatus::kStepLimit) {
    EXPECT_TRUE(regs.writes.empty()) << m.what;  // refused before anything ran
    EXPECT_EQ(regs.reads, 0u) << m.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, MalformedList,
    ::testing::Values(
        Malformed{"unknown command", {Write(1), {7, 0, 0}}, RunStatus::kBadCommand},
        Malformed{"write to the control register", {{kCmdWrite, 2, 0x30}}, RunStatus::kBadRegister},
        Malformed{"write value above a byte", {Write(0x130)}, RunStatus::kBadRegister},
        Malformed{"read of the data register", {{kCmdRead, 0, 0}}, RunStatus::kBadRegister},
        Malformed{"unknown type", {{kCmdDeclare, P(3, 1), 0}}, RunStatus::kBadType},
        Malformed{
            "initial value too wide", {{kCmdDeclare, kTypeVar16, 0x10000}}, RunStatus::kBadType},
        Malformed{"undeclared operand",
                  {{kCmdDeclare, kTypeVar32, 0}, {kCmdCompute, P(kOpOr, 0), P(0, 1)}},
                  RunStatus::kBadVariable},
        Malformed{"constant as target",
                  {{kCmdDeclare, kTypeConst32, 0}, {kCmdCompute, P(kOpMove, 0), P(0, 0)}},
                  RunStatus::kBadVariable},
        Malformed{"operand near the latch number",
                  {{kCmdDeclare, kTypeVar32, 0}, {kCmdCompute, P(kOpMove, 0), P(0, 0x4001)}},
                  RunStatus::kBadVariable},
        Malformed{"unknown operator",
                  {{kCmdDeclare, kTypeVar32, 0}, {kCmdCompute, P(0x10, 0), P(0, 0)}},
                  RunStatus::kBadOperator},
        Malformed{"comparison operator in a bit test",
                  {{kCmdDeclare, kTypeVar32, 0}, {kCmdBitTest, P(kOpGreater, 1), P(0, 0)}},
                  RunStatus::kBadOperator},
        Malformed{"jump before the start",
                  {Write(1), {kCmdJump, static_cast<uint32_t>(-2), 0}},
                  RunStatus::kBadJump},
        Malformed{"jump past the end", {Write(1), {kCmdJump, 2, 0}}, RunStatus::kBadJump},
        Malformed{"loop test past the end",
                  {{kCmdDeclare, kTypeVar32, 0}, {kCmdLoopTest, P(kOpGreater, 3), P(0, 0)}},
                  RunStatus::kBadJump},
        Malformed{"pause too long", {{kCmdPause, 0, kMaxPause + 1}}, RunStatus::kBadPause},
        Malformed{"division by zero",
                  {{kCmdDeclare, kTypeVar32, 8},
                   {kCmdDeclare, kTypeConst32, 0},
                   {kCmdCompute, P(kOpDivide, 0), P(0, 1)}},
                  RunStatus::kDivideByZero},
        Malformed{"endless loop",
                  {Write(1), {kCmdJump, static_cast<uint32_t>(-1), 0}},
                  RunStatus::kStepLimit},
        Malformed{"endless pauses",
                  {{kCmdPause, 0, kMaxPause}, {kCmdJump, static_cast<uint32_t>(-1), 0}},
                  RunStatus::kStepLimit}));

TEST(PortProgram, SizesThatAreNoWholeListAndPortFailuresFail) {
  RecordingRegisters regs;
  auto b = Bytes(CountingLoop(2));
  EXPECT_EQ(RunItems(b.data(), 0, regs), RunStatus::kBadSize);
  EXPECT_EQ(RunItems(b.data(), b.size() - 1, regs), RunStatus::kBadSize);
  EXPECT_EQ(RunItems(nullptr, 12, regs), RunStatus::kBadSize);
  std::vector<Item> huge(kMaxItems + 1, Write(1));
  EXPECT_EQ(RunList(huge, regs), RunStatus::kBadSize);
  EXPECT_TRUE(regs.writes.empty());
  regs.fail = true;  // a port that fails fails the request
  EXPECT_EQ(RunList({Write(1)}, regs), RunStatus::kPortFailed);
  EXPECT_EQ(RunList({{kCmdRead, 1, 0}}, regs), RunStatus::kPortFailed);
}

TEST(DeviceControl, CodesAndBuffers) {
  RecordingRegisters regs;
  const std::vector<Item> request = {{kCmdRead, 1, 0}, Pause};
  auto in = Bytes(request);
  std::vector<uint8_t> out(24, 0xEE);
  regs.statusBytes = {0x5A};
  ASSERT_TRUE(DeviceControl(regs, kCtlRunRequest, in.data(), 24, out.data(), 24));
  EXPECT_EQ(WordOf(out, 0, 2), 0x5Au);
  EXPECT_EQ(WordOf(in, 0, 2), 0u);  // the input buffer stays as it was

  EXPECT_FALSE(DeviceControl(regs, kCtlRunRequest, in.data(), 24, out.data(), 12));
  EXPECT_FALSE(DeviceControl(regs, kCtlRunRequest, nullptr, 0, out.data(), 24));
  EXPECT_FALSE(DeviceControl(regs, kCtlRunProgram, in.data(), 24, out.data(), 24));
  EXPECT_FALSE(DeviceControl(regs, 0x80002004, nullptr, 0, out.data(), 24));
  EXPECT_FALSE(DeviceControl(regs, kCtlRunProgram, nullptr, 0, nullptr, 24));

  auto program = Bytes(CountingLoop(3));
  regs.writes.clear();
  ASSERT_TRUE(DeviceControl(regs, kCtlRunProgram, nullptr, 0, program.data(),
                            static_cast<uint32_t>(program.size())));
  EXPECT_EQ(regs.writes.size(), 3u);
}

}  // namespace
}  // namespace kelvora::portdriver
