// SPDX-License-Identifier: MIT
// The interface object over the real driver core and the virtual box in virtual time:
// port names, open and close bookkeeping, queries, waits and the abort test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "tests/access/robot_rig.h"

namespace kelvora::access {
namespace {

using testing::RobotOnRig;
constexpr uint32_t kErr = kInterfaceError;
constexpr int32_t kErrStatus = static_cast<int32_t>(kErr);

TEST(CheckPortName, KindForEveryCaseAndLength) {
  const std::pair<const char*, int> cases[] = {
      {"LPT", 1},    {"lpt", 1},   {"Lpt", 1},    {"LPT1", 1}, {"lpt2", 1},  {"lPt3", 1},
      {"COM1", 2},   {"com2", 2},  {"Com5", 2},   {"cOM9", 2}, {"", 0},      {"L", 0},
      {"LP", 0},     {"COM", 0},   {"com", 0},    {"LPT4", 0}, {"lpt9", 0},  {"LPT0", 0},
      {"COM0", 0},   {"COM10", 0}, {"LPT10", 0},  {"NONE", 0}, {"COMA", 0},  {" LPT", 0},
      {"LPT ", 0},   {"LPT1 ", 0}, {"COM1\n", 0}, {"CON1", 0}, {"COMM1", 0}, {"LPT1:", 0},
      {"\xC4PT1", 0}};
  for (const auto& [name, kind] : cases) EXPECT_EQ(CheckPortName(name), kind) << '"' << name << '"';
}

TEST(TBrelFace, OsKindFollowsTheDriversPlatformChoice) {
  const char* old = std::getenv("ZQBREL_PLATFORM");
  const std::string saved = old ? old : "";
  for (const auto& [value, kind] :
       {std::pair{"", 1}, std::pair{"nt", 2}, std::pair{"NT", 2}, std::pair{"9x", 1}}) {
    if (*value) {
      setenv("ZQBREL_PLATFORM", value, 1);
    } else {
      unsetenv("ZQBREL_PLATFORM");
    }
    EXPECT_EQ(TBrelFace().OsKind, kind) << value;
  }
  old ? setenv("ZQBREL_PLATFORM", saved.c_str(), 1) : unsetenv("ZQBREL_PLATFORM");
}

TEST(FaceOnRig, OpenBookkeepingForRefusedFailedAndGoodPortsAndTheClosedObject) {
  RobotOnRig t(testing::Rig({0, 60, 0, 10}));
  t.rig.os.AttachSerial("COM10", &t.rig.box);  // a driver handed this name would open it
  t.rig.os.ClearCalls();
  TBrelFace f;
  f.StopFlag = true;
  for (const char* n : {"NONE", "COM10", "LPT4", "", "COM2"}) {
    f.LastStatus = 0;
    EXPECT_EQ(f.OpenInterface(n), kErr) << n;
    EXPECT_EQ(f.LastStatus, 1);
    EXPECT_EQ(f.PortKind, n == std::string("COM2") ? 2 : 0);
    EXPECT_EQ(f.OpenError, n == std::string("COM2") ? ENOENT : EINVAL) << n;
    EXPECT_EQ(f.ActivePort, "NONE");
    EXPECT_FALSE(f.Opened);
    EXPECT_TRUE(f.StopFlag);  // only a successful open clears it
  }
  // Only COM2, which has no box behind it, reached the driver.
  const auto& calls = t.rig.os.Calls();
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& c) { return c.rfind("open ", 0) == 0; }),
            1);
  EXPECT_EQ(std::find(calls.begin(), calls.end(), "open COM10"), calls.end());
  // Closed, it refuses everything and keeps its status.
  f.LastStatus = 0;
  const uint64_t t0 = t.Now();
  EXPECT_EQ(f.SetMotor(1, 2) & f.GetInputs() & f.GetAnalog(0) & f.WaitForInput(1, true), kErr);
  EXPECT_FALSE(f.GetInput(1));
  EXPECT_EQ(f.ShowPanel(true, 10, 20), kErr);
  EXPECT_EQ(f.CloseInterface(), kErr);
  EXPECT_EQ(t.hooks.panels, 0);
  EXPECT_FALSE(f.PanelShown);
  EXPECT_EQ(t.Now(), t0);
  EXPECT_EQ(f.LastStatus, 0);

  // A good open passes the name as given and reports the first exchange: the end
  // switches of axes 1 and 3. Opening again closes the open port first.
  t.robot.StopFlag = true;
  t.robot.SetMotor(4, 1);
  t.rig.os.ClearCalls();
  EXPECT_EQ(t.robot.OpenInterface("com1"), 0x0011u);
  EXPECT_EQ(t.robot.ActivePort, "com1");
  EXPECT_EQ(t.robot.PortKind, 2);
  EXPECT_TRUE(t.robot.Opened);
  EXPECT_EQ(t.robot.LastStatus, 0);
  EXPECT_EQ(t.robot.OpenError, 0);
  EXPECT_FALSE(t.robot.StopFlag);
  EXPECT_EQ(t.robot.MotorWord(), 0u);
  const auto closed = std::find(calls.begin(), calls.end(), "close COM1");
  EXPECT_LT(closed, std::find(calls.begin(), calls.end(), "open COM1"));
  EXPECT_EQ(t.rig.os.OpenPorts().size(), 1u);
  EXPECT_EQ(t.rig.clock.TimerCount(), 1u);
}

// What the driver says about a port it could not open reaches the program through the
// interface object: held by another, refused, no serial line, no box answering.
TEST(FaceOnRig, AFailedOpenKeepsTheDriversReason) {
  RobotOnRig t(testing::Rig({0, 60, 0, 10}));  // its robot holds COM1
  TBrelFace f;
  EXPECT_EQ(f.OpenInterface("COM1"), kErr);
  EXPECT_EQ(f.OpenError, EBUSY);
  t.robot.CloseInterface();
  t.rig.os.FailOpen(EACCES);
  EXPECT_EQ(f.OpenInterface("COM1"), kErr);
  EXPECT_EQ(f.OpenError, EACCES);
  t.rig.os.FailOpen(0);
  t.rig.os.FailCommLine(true);
  EXPECT_EQ(f.OpenInterface("COM1"), kErr);
  EXPECT_EQ(f.OpenError, ENOTTY);
  t.rig.os.FailCommLine(false);
  t.rig.box.SetFault(sim::BoxFault::kSilent);
  EXPECT_EQ(f.OpenInterface("COM1"), kErr);
  EXPECT_EQ(f.OpenError, ETIMEDOUT);
  EXPECT_TRUE(t.rig.os.OpenPorts().empty());
  t.rig.box.SetFault(sim::BoxFault::kNone);
  EXPECT_NE(f.OpenInterface("COM1"), kErr);
  EXPECT_EQ(f.OpenError, 0);
}

TEST(FaceOnRig, QueriesWhileTheInterfaceReportsAnError) {
  RobotOnRig t(testing::Rig({0, 60, 0, 10}));
  TBrelRobot& f = t.robot;
  EXPECT_EQ(f.GetInputs(), 0x0011u);  // end switches of axes 1 and 3
  EXPECT_TRUE(f.GetInput(5));
  EXPECT_FALSE(f.GetInput(3));
  EXPECT_FALSE(f.GetInput(0));
  EXPECT_FALSE(f.GetInput(17));  // no input there, and no read past the table
  EXPECT_EQ(f.Counter(0) + f.Counter(17), 0u);
  f.ResetCounter(17);
  EXPECT_EQ(f.GetAnalog(2), kErr);
  EXPECT_EQ(f.LastStatus, 0);

  t.rig.box.SetFault(sim::BoxFault::kSilent);
  t.rig.Advance(200);
  ASSERT_EQ(f.InputWord(), kErr);
  for (int n = 1; n <= 16; ++n) {
    f.LastStatus = 0;
    EXPECT_TRUE(f.GetInput(n)) << n;
    EXPECT_EQ(f.LastStatus, kErrStatus);
  }
  EXPECT_EQ(f.GetInputs(), kErr);
  EXPECT_EQ(f.SetMotor(1, 1), kErr);
  EXPECT_EQ(f.LastStatus, kErrStatus);
  f.Record.AnalogX = kErr;
  f.Record.AnalogY = 700;
  EXPECT_EQ(f.GetAnalog(0), kErr);
  EXPECT_EQ(f.LastStatus, kErrStatus);
  EXPECT_EQ(f.GetAnalog(1), 700u);
  EXPECT_EQ(f.LastStatus, 0);

  t.rig.box.SetFault(sim::BoxFault::kNone);
  t.rig.Advance(50);
  EXPECT_EQ(f.GetInputs(), 0x0011u);  // polling goes on and recovers
  EXPECT_EQ(f.LastStatus, 0);
}

// Exchanges that fail while the close waits may not have carried the cleared motor word
// (a command lost on the line is not answered either): the close waits, for a second at
// most, for one that came through, before the library's own wait of four polls.
TEST(FaceOnRig, CloseOnAFailingLineWaitsForAnExchangeThatComesThrough) {
  for (const bool recovers : {true, false}) {
    RobotOnRig t(testing::Rig({0, 60, 50, 10}));
    t.robot.SetMotor(1, 2);
    t.rig.Advance(50);
    t.rig.box.SetFault(sim::BoxFault::kSilent);
    t.rig.Advance(20);
    const uint64_t t0 = t.Now();
    const int stepper = t.rig.clock.AddStepper([&](uint64_t now) {
      if (recovers && now == t0 + 100) t.rig.box.SetFault(sim::BoxFault::kNone);
    });
    EXPECT_NE(t.robot.CloseInterface(), 0u);
    t.rig.clock.RemoveStepper(stepper);
    const uint64_t took = t.Now() - t0;
    // A good exchange within a poll of the box's return, then the library's 40 ms.
    EXPECT_GE(took, recovers ? 140u : 1080u) << recovers;
    EXPECT_LE(took, recovers ? 160u : 1090u) << recovers;
    EXPECT_EQ(t.rig.box.MotorWord(), 0);
  }
}

TEST(FaceOnRig, CloseSendsTheClearedMotorWordFourPollsBeforeThePortCloses) {
  RobotOnRig t(testing::Rig({0, 60, 50, 10}));
  EXPECT_EQ(t.robot.SetMotor(1, 2), 0x0001u);
  t.rig.Advance(100);
  EXPECT_EQ(t.rig.box.MotorWord(), 0x0002);
  ASSERT_GT(t.rig.Position(1), 2.0);

  t.rig.box.ClearRecords();
  t.rig.os.ClearCalls();
  // What the box had received when the driver was first entered (its first OS call).
  uint64_t driverAt = 0;
  std::vector<uint16_t> words;
  const int stepper = t.rig.clock.AddStepper([&](uint64_t now) {
    if (driverAt == 0 && !t.rig.os.Calls().empty()) {
      driverAt = now;
      words = t.rig.box.MotorWords();
    }
  });
  t.robot.LastStatus = 2;
  const uint64_t t0 = t.Now();
  EXPECT_NE(t.robot.CloseInterface(), 0u);
  t.rig.clock.RemoveStepper(stepper);
  EXPECT_GT(driverAt, t0 + 40);  // four polls of the face's own
  EXPECT_FALSE(t.robot.Opened);
  EXPECT_EQ(t.robot.ActivePort, "NONE");
  EXPECT_EQ(t.robot.LastStatus, 2);
  ASSERT_GE(words.size(), 3u);
  EXPECT_EQ(words.back(), 0);
  EXPECT_EQ(t.rig.box.MotorWord(), 0);
  EXPECT_TRUE(t.rig.os.OpenPorts().empty());
  // The robot stands still, nothing reaches the box any more, a second close refuses.
  const double stopped = t.rig.Position(1);
  t.rig.Advance(200);
  EXPECT_EQ(t.rig.Position(1), stopped);
  EXPECT_EQ(t.rig.box.MotorWords().size(), words.size());
  EXPECT_EQ(t.robot.CloseInterface(), kErr);

  {  // Destruction closes an open interface the same way.
    TBrelFace other;
    ASSERT_NE(other.OpenInterface("COM1"), kErr);
    other.SetMotorWord(0x02);
    t.rig.Advance(30);
    EXPECT_EQ(t.rig.box.MotorWord(), 0x02);
  }
  EXPECT_EQ(t.rig.box.MotorWord(), 0);
  EXPECT_TRUE(t.rig.os.OpenPorts().empty());
}

TEST(FaceOnRig, WaitsAndPausesThatRunTheirCourse) {
  RobotOnRig t;
  TBrelRobot& f = t.robot;
  f.LastStatus = 7;  // a pause that runs to its end leaves it alone
  for (const auto& [ms, took] : {std::pair{0u, 10u}, {35u, 40u}, {250u, 260u}}) {
    const uint64_t t0 = t.Now();
    f.Pause(ms);
    EXPECT_EQ(t.Now() - t0, took) << ms;
  }
  EXPECT_EQ(f.LastStatus, 7);

  // An input already there takes one wait poll.
  f.WaitPoll = 7;
  uint64_t t0 = t.Now();
  EXPECT_EQ(f.WaitForInput(1, false), 0u);
  EXPECT_EQ(t.Now() - t0, 7u);
  EXPECT_EQ(f.LastStatus, 0);
  f.WaitPoll = 10;

  // Axis 1 runs down onto its end switch: 20 units at 40 per second.
  f.SetMotor(1, 1);
  t0 = t.Now();
  const uint32_t w = f.WaitForInput(1, true);
  EXPECT_NE(w, kErr);
  EXPECT_NE(w & 1u, 0u);
  EXPECT_EQ(t.rig.Position(1), 0.0);
  EXPECT_GE(t.Now() - t0, 490u);
  EXPECT_LE(t.Now() - t0, 540u);
  // ... and up off it again.
  f.SetMotor(1, 2);
  EXPECT_EQ(f.WaitForInput(1, false) & 1u, 0u);
  EXPECT_GT(t.rig.Position(1), 0.0);
  EXPECT_LT(t.rig.Position(1), 1.0);
  EXPECT_EQ(f.LastStatus, 0);
  f.ClearMotors();
  t.rig.Advance(30);

  // The tick count's wrap does not end a pause early or make it endless.
  t.rig.clock.SetNow(0xFFFFFFFFull - 15);
  t0 = t.Now();
  f.Pause(40);
  EXPECT_EQ(t.Now() - t0, 50u);
}

enum class EndBy { kHandler, kEsc, kSilentBox };

class FaceAbort : public ::testing::TestWithParam<EndBy> {};

// Waits for an input that never comes, for the clear input 5 (an error word is never
// "clear") and the set input 7 (an error word has every bit set), and a long pause.
TEST_P(FaceAbort, WaitsAndPausesEndWithTheMotorsLeftAlone) {
  RobotOnRig t(testing::Rig({20, 60, 0, 10}));  // input 5 closed, input 7 open
  const int32_t status = GetParam() == EndBy::kSilentBox ? kErrStatus : 2;
  for (int what = 0; what < 3; ++what) {
    t.robot.StopFlag = false;
    t.hooks.escAnswer = false;
    t.rig.box.SetFault(sim::BoxFault::kNone);
    t.rig.Advance(50);
    t.robot.SetMotor(2, 2);
    t.robot.LastStatus = 0;
    t.AfterPumps(3, [&] {
      if (GetParam() == EndBy::kHandler) t.robot.StopFlag = true;  // a HALT button
      if (GetParam() == EndBy::kEsc) t.hooks.escAnswer = true;
      if (GetParam() == EndBy::kSilentBox) t.rig.box.SetFault(sim::BoxFault::kSilent);
    });
    const uint64_t t0 = t.Now();
    if (what == 2) {
      t.robot.Pause(5000);
    } else {
      EXPECT_EQ(t.robot.WaitForInput(what == 0 ? 7 : 5, what == 0), kErr);
    }
    EXPECT_EQ(t.robot.LastStatus, status) << what;
    if (GetParam() == EndBy::kSilentBox) {
      EXPECT_LE(t.Now() - t0, 200u) << what;
    } else {
      EXPECT_EQ(t.Now() - t0, 30u) << what;
    }
    EXPECT_EQ(t.robot.MotorWord(), 0x0008u);  // waits do not switch motors off
    t.hooks.onMessages = nullptr;
  }
  t.rig.box.SetFault(sim::BoxFault::kNone);
}

INSTANTIATE_TEST_SUITE_P(ByEveryMeans, FaceAbort,
                         ::testing::Values(EndBy::kHandler, EndBy::kEsc, EndBy::kSilentBox));

TEST(FaceOnRig, ShowPanelModalModelessAndWithoutAGui) {
  RobotOnRig t;
  bool shownDuring = false;
  t.hooks.onPanel = [&] { shownDuring = t.robot.PanelShown; };
  EXPECT_EQ(t.robot.ShowPanel(true, 640, 60), 0u);
  EXPECT_EQ(t.hooks.shownFace, &t.robot);
  EXPECT_EQ(t.hooks.shownAt, std::vector<int>({1, 640, 60}));
  EXPECT_TRUE(shownDuring);
  EXPECT_FALSE(t.robot.PanelShown);
  EXPECT_EQ(t.robot.ShowPanel(false, 1, 2), 0u);
  EXPECT_TRUE(t.robot.PanelShown);
  t.robot.PanelShown = false;
  t.hooks.panelResult = false;  // no GUI to show it in: no success
  EXPECT_EQ(t.robot.ShowPanel(false, 1, 2), kErr);
  EXPECT_FALSE(t.robot.PanelShown);
}

}  // namespace
}  // namespace kelvora::access
