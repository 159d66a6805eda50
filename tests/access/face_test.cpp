// The interface object against a stand-in driver, in fake time: port names, open and
// close bookkeeping, queries, waits and the abort test.
#include <gtest/gtest.h>

#include <cstdlib>

#include "access/brel_consts.h"
#include "access/brel_face.h"
#include "tests/access/fake_driver.h"

namespace kelvora::access {
namespace {

using testing::Driver;
using testing::FakeEnvironment;

constexpr uint32_t kErr = kInterfaceError;

TEST(CheckPortName, AcceptsParallelAndSerialNamesInAnyCase) {
  for (const char* n : {"LPT", "lpt", "Lpt", "LPT1", "lpt2", "lPt3"}) {
    EXPECT_EQ(CheckPortName(n), 1) << n;
  }
  for (const char* n : {"COM1", "com2", "Com5", "cOM9"}) {
    EXPECT_EQ(CheckPortName(n), 2) << n;
  }
}

TEST(CheckPortName, RefusesEverythingElse) {
  for (const char* n : {"",     "L",     "LP",     "COM",  "com",  "LPT4",  "lpt9", "LPT0",
                        "COM0", "COM10", "LPT10",  "NONE", "none", "COMA",  "LPTX", " LPT",
                        "LPT ", "LPT1 ", "COM1\n", "CON1", "PRN1", "COMM1", "LPT1:"}) {
    EXPECT_EQ(CheckPortName(n), 0) << '"' << n << '"';
  }
}

TEST(CheckPortName, LeavesTheCallersStringAlone) {
  const std::string name = "lpt2";
  EXPECT_EQ(CheckPortName(name), 1);
  EXPECT_EQ(name, "lpt2");
}

TEST(TBrelFace, ConstructionValues) {
  TBrelFace f;
  EXPECT_EQ(f.ActivePort, "NONE");
  EXPECT_FALSE(f.Opened);
  EXPECT_EQ(f.PortKind, 0);
  EXPECT_EQ(f.Record.InputCount, 8u);
  EXPECT_EQ(f.MotorCount, 4);
  EXPECT_EQ(f.Record.AnalogPhase, 0u);
  EXPECT_EQ(f.MotorWord(), 0u);
  EXPECT_EQ(f.InputWord(), 0u);
  EXPECT_FALSE(f.StopFlag);
  EXPECT_FALSE(f.PanelShown);
  EXPECT_EQ(f.Panel, nullptr);
  EXPECT_EQ(f.LastStatus, 1);
  EXPECT_EQ(f.Record.PollInterval, 10u);
  EXPECT_EQ(f.WaitPoll, 10u);
  EXPECT_EQ(f.Version, "5.1");
  EXPECT_EQ(f.Record.Handle, 0u);
  EXPECT_EQ(f.Record.TimerId, 0u);
  EXPECT_EQ(f.Record.LptDelay, 0u);
  for (uint32_t c : f.Record.Counters) EXPECT_EQ(c, 0u);
  EXPECT_FALSE(f.IsExtended());
}

TEST(TBrelFace, OsKindFollowsTheDriversPlatformChoice) {
  const char* old = std::getenv("ZQBREL_PLATFORM");
  const std::string saved = old ? old : "";
  unsetenv("ZQBREL_PLATFORM");
  EXPECT_EQ(TBrelFace().OsKind, 1);
  setenv("ZQBREL_PLATFORM", "nt", 1);
  EXPECT_EQ(TBrelFace().OsKind, 2);
  setenv("ZQBREL_PLATFORM", "NT", 1);
  EXPECT_EQ(TBrelFace().OsKind, 2);
  setenv("ZQBREL_PLATFORM", "9x", 1);
  EXPECT_EQ(TBrelFace().OsKind, 1);
  if (old) {
    setenv("ZQBREL_PLATFORM", saved.c_str(), 1);
  } else {
    unsetenv("ZQBREL_PLATFORM");
  }
}

TEST(TBrelFace, RefusedPortNameNeverReachesTheDriver) {
  FakeEnvironment env;
  TBrelFace f;
  for (const char* n : {"NONE", "COM10", "LPT4", ""}) {
    f.LastStatus = 0;
    EXPECT_EQ(f.OpenInterface(n), kErr) << n;
    EXPECT_EQ(f.LastStatus, 1);
    EXPECT_EQ(f.PortKind, 0);
    EXPECT_EQ(f.ActivePort, "NONE");
    EXPECT_FALSE(f.Opened);
  }
  EXPECT_TRUE(Driver().openedNames.empty());
}

TEST(TBrelFace, OpenPassesTheNameUnconvertedAndKeepsTheBooks) {
  FakeEnvironment env;
  Driver().openResult = 0x00A5;
  TBrelFace f;
  f.StopFlag = true;
  EXPECT_EQ(f.OpenInterface("lpt2"), 0x00A5u);
  ASSERT_EQ(Driver().openedNames.size(), 1u);
  EXPECT_EQ(Driver().openedNames[0], "lpt2");
  EXPECT_EQ(f.PortKind, 1);
  EXPECT_EQ(f.ActivePort, "lpt2");
  EXPECT_TRUE(f.Opened);
  EXPECT_EQ(f.LastStatus, 0);
  EXPECT_FALSE(f.StopFlag);
  EXPECT_EQ(f.MotorWord(), 0u);
}

TEST(TBrelFace, OpenFailureStaysClosed) {
  FakeEnvironment env;
  Driver().openResult = kErr;
  TBrelFace f;
  f.StopFlag = true;
  EXPECT_EQ(f.OpenInterface("COM3"), kErr);
  EXPECT_EQ(Driver().openedNames.size(), 1u);
  EXPECT_EQ(f.PortKind, 2);
  EXPECT_EQ(f.LastStatus, 1);
  EXPECT_FALSE(f.Opened);
  EXPECT_EQ(f.ActivePort, "NONE");
  EXPECT_TRUE(f.StopFlag);  // only a successful open clears it
}

TEST(TBrelFace, ClosedObjectRefusesAndKeepsItsStatus) {
  FakeEnvironment env;
  TBrelFace f;
  f.LastStatus = 0;
  f.Record.InputWord = 0x0F;
  EXPECT_EQ(f.SetMotor(1, 2), kErr);
  EXPECT_EQ(Driver().setMotorCalls, 0);
  EXPECT_EQ(f.GetInputs(), kErr);
  EXPECT_FALSE(f.GetInput(1));
  EXPECT_EQ(f.GetAnalog(0), kErr);
  EXPECT_EQ(f.WaitForInput(1, true), kErr);
  EXPECT_EQ(f.ShowPanel(true, 10, 20), kErr);
  EXPECT_EQ(env.hooks.panels, 0);
  EXPECT_FALSE(f.PanelShown);
  EXPECT_EQ(f.CloseInterface(), kErr);
  EXPECT_EQ(Driver().closeCalls, 0);
  EXPECT_EQ(env.clock.sleeps, 0);
  EXPECT_EQ(f.LastStatus, 0);
  // The queries keep the windows alive even when they refuse.
  EXPECT_EQ(env.hooks.messagePumps, 3);

  // These work whether open or not.
  f.SetMotorWord(0x0A);
  EXPECT_EQ(f.ClearMotors(), 0x0Fu);
  EXPECT_EQ(f.MotorWord(), 0u);
  f.SetExtended(true);
  EXPECT_EQ(f.Record.InputCount, 16u);
  EXPECT_EQ(f.MotorCount, 8);
  EXPECT_TRUE(f.IsExtended());
  f.SetExtended(false);
  EXPECT_EQ(f.Record.InputCount, 8u);
  EXPECT_FALSE(f.IsExtended());
  EXPECT_EQ(f.LastStatus, 0);
}

class OpenFace : public ::testing::Test {
 protected:
  void SetUp() override {
    Driver().openResult = 0;
    ASSERT_EQ(face.OpenInterface("COM1"), 0u);
  }
  FakeEnvironment env;
  TBrelFace face;
};

TEST_F(OpenFace, QueriesWhileTheInterfaceReportsAnError) {
  face.Record.InputWord = kErr;
  face.Record.AnalogX = kErr;
  face.Record.AnalogY = 700;
  for (int n = 1; n <= 16; ++n) {
    face.LastStatus = 0;
    EXPECT_TRUE(face.GetInput(n)) << n;
    EXPECT_EQ(face.LastStatus, static_cast<int32_t>(kErr));
  }
  EXPECT_EQ(face.GetInputs(), kErr);
  EXPECT_EQ(face.GetAnalog(0), kErr);
  EXPECT_EQ(face.LastStatus, static_cast<int32_t>(kErr));
  EXPECT_EQ(face.GetAnalog(1), 700u);
  EXPECT_EQ(face.LastStatus, 0);

  face.Record.InputWord = 0x0005;
  EXPECT_TRUE(face.GetInput(1));
  EXPECT_FALSE(face.GetInput(2));
  EXPECT_TRUE(face.GetInput(3));
  EXPECT_EQ(face.LastStatus, 0);
  EXPECT_FALSE(face.GetInput(0));
  EXPECT_FALSE(face.GetInput(17));  // no input there, and no read past the table
  EXPECT_EQ(face.GetInputs(), 0x0005u);
}

TEST_F(OpenFace, SetMotorGoesThroughTheDriver) {
  face.Record.InputWord = 0x30;
  EXPECT_EQ(face.SetMotor(2, 1), 0x30u);
  EXPECT_EQ(face.MotorWord(), 0x04u);
  EXPECT_EQ(face.SetMotor(2, 2), 0x30u);
  EXPECT_EQ(face.MotorWord(), 0x08u);
  EXPECT_EQ(face.LastStatus, 0);
  face.Record.InputWord = kErr;
  EXPECT_EQ(face.SetMotor(1, 1), kErr);
  EXPECT_EQ(face.LastStatus, static_cast<int32_t>(kErr));
  EXPECT_EQ(env.hooks.messagePumps, 0);  // motor commands do not pump messages
}

TEST_F(OpenFace, CloseClearsTheMotorsAndWaitsFourPollsBeforeTheDriverCloses) {
  face.Record.PollInterval = 12;
  face.SetMotorWord(0x0182);
  face.LastStatus = 2;
  const uint64_t t0 = env.clock.now;
  uint32_t motorWordDuringWait = 0xFFFF;
  env.clock.onTick = [&](uint64_t) { motorWordDuringWait = face.MotorWord(); };
  EXPECT_EQ(face.CloseInterface(), 1u);
  EXPECT_EQ(motorWordDuringWait, 0u);
  EXPECT_EQ(Driver().motorWordAtClose, 0u);
  EXPECT_EQ(Driver().closedAtMs, t0 + 48);
  EXPECT_FALSE(face.Opened);
  EXPECT_EQ(face.ActivePort, "NONE");
  EXPECT_EQ(face.LastStatus, 2);

  // Closed now: a second close changes nothing.
  EXPECT_EQ(face.CloseInterface(), kErr);
  EXPECT_EQ(Driver().closeCalls, 1);
}

TEST_F(OpenFace, CloseReportsTheDriversFailureButEndsClosed) {
  Driver().closeResult = 0;
  EXPECT_EQ(face.CloseInterface(), 0u);
  EXPECT_FALSE(face.Opened);
  EXPECT_EQ(face.ActivePort, "NONE");
}

TEST_F(OpenFace, DestructionClosesAnOpenInterface) {
  {
    TBrelFace other;
    ASSERT_EQ(other.OpenInterface("LPT1"), 0u);
    other.SetMotorWord(0x02);
  }
  EXPECT_EQ(Driver().closeCalls, 1);
  EXPECT_EQ(Driver().motorWordAtClose, 0u);
}

TEST_F(OpenFace, OpeningAgainClosesTheOpenPortFirst) {
  EXPECT_EQ(face.OpenInterface("COM2"), 0u);
  EXPECT_EQ(Driver().closeCalls, 1);
  EXPECT_EQ(Driver().openedNames.size(), 2u);
  EXPECT_EQ(face.ActivePort, "COM2");
  EXPECT_TRUE(face.Opened);
}

TEST_F(OpenFace, PauseRunsAtLeastOnePollAndCountsTheTicks) {
  face.LastStatus = 7;  // a pause that runs to its end leaves it alone
  face.Pause(0);
  EXPECT_EQ(env.clock.sleptMs, std::vector<uint32_t>({10}));
  env.clock.sleptMs.clear();
  face.Pause(35);  // goes on while 35 >= elapsed: 10, 20, 30 → one more pass
  EXPECT_EQ(env.clock.sleptMs.size(), 4u);
  EXPECT_EQ(face.LastStatus, 7);
  EXPECT_GE(env.hooks.messagePumps, 5);
}

TEST_F(OpenFace, PauseSurvivesTheTickCountWrap) {
  env.clock.now = 0xFFFFFFFFull - 15;
  face.Pause(40);
  EXPECT_EQ(env.clock.sleptMs.size(), 5u);
}

TEST_F(OpenFace, PauseEndsByStopFlagEscOrInterfaceError) {
  face.StopFlag = true;
  face.Pause(1000);
  EXPECT_EQ(env.clock.sleptMs.size(), 1u);
  EXPECT_EQ(face.LastStatus, 2);
  EXPECT_EQ(env.hooks.escQueries, 0);  // StopFlag decides; Esc is not asked

  face.StopFlag = false;
  face.LastStatus = 0;
  env.clock.sleptMs.clear();
  int pumps = 0;
  env.hooks.onMessages = [&] {
    if (++pumps == 3) env.hooks.escAnswer = true;
  };
  face.Pause(1000);
  EXPECT_EQ(env.clock.sleptMs.size(), 3u);
  EXPECT_EQ(face.LastStatus, 2);

  env.hooks.escAnswer = false;
  env.hooks.onMessages = nullptr;
  face.LastStatus = 0;
  env.clock.sleptMs.clear();
  env.clock.onTick = [&](uint64_t) {
    if (env.clock.sleptMs.size() == 2) face.Record.InputWord = kErr;
  };
  face.Pause(1000);
  EXPECT_EQ(env.clock.sleptMs.size(), 2u);
  EXPECT_EQ(face.LastStatus, static_cast<int32_t>(kErr));
}

TEST_F(OpenFace, PauseSetFromANestedHandlerStopsIt) {
  // A HALT button's handler runs inside the message pump of the pause.
  env.hooks.onMessages = [&] { face.StopFlag = true; };
  face.Pause(500);
  EXPECT_EQ(env.clock.sleptMs.size(), 1u);
  EXPECT_EQ(face.LastStatus, 2);
}

TEST_F(OpenFace, WaitForInputAlreadyThereTakesOnePoll) {
  face.WaitPoll = 7;
  face.Record.InputWord = 0x0004;
  EXPECT_EQ(face.WaitForInput(3, true), 0x0004u);
  EXPECT_EQ(env.clock.sleptMs, std::vector<uint32_t>({7}));
  EXPECT_EQ(face.LastStatus, 0);
  env.clock.sleptMs.clear();
  EXPECT_EQ(face.WaitForInput(2, false), 0x0004u);
  EXPECT_EQ(env.clock.sleptMs.size(), 1u);
}

TEST_F(OpenFace, WaitForInputEndsWhenTheInputArrives) {
  const uint64_t t0 = env.clock.now;
  env.clock.onTick = [&](uint64_t now) {
    if (now == t0 + 95) face.Record.InputWord = 0x0800;
  };
  EXPECT_EQ(face.WaitForInput(12, true), 0x0800u);
  EXPECT_EQ(env.clock.now, t0 + 100);
  EXPECT_EQ(face.LastStatus, 0);

  env.clock.onTick = [&](uint64_t now) {
    if (now == t0 + 133) face.Record.InputWord = 0;
  };
  EXPECT_EQ(face.WaitForInput(12, false), 0u);
  EXPECT_EQ(env.clock.now, t0 + 140);
}

TEST_F(OpenFace, WaitForInputWithStopFlagReturnsAtOnce) {
  face.StopFlag = true;
  EXPECT_EQ(face.WaitForInput(1, true), kErr);
  EXPECT_EQ(face.LastStatus, 2);
  EXPECT_EQ(env.clock.sleeps, 0);
}

TEST_F(OpenFace, WaitForInputEndsByEscOrANestedStop) {
  int pumps = 0;
  env.hooks.onMessages = [&] {
    if (++pumps == 4) env.hooks.escAnswer = true;
  };
  EXPECT_EQ(face.WaitForInput(1, true), kErr);
  EXPECT_EQ(face.LastStatus, 2);
  EXPECT_EQ(env.clock.sleeps, 4);

  env.hooks.escAnswer = false;
  pumps = 0;
  env.hooks.onMessages = [&] {
    if (++pumps == 2) face.StopFlag = true;
  };
  face.LastStatus = 0;
  EXPECT_EQ(face.WaitForInput(1, true), kErr);
  EXPECT_EQ(face.LastStatus, 2);
}

TEST_F(OpenFace, WaitForInputEndsByInterfaceError) {
  // Waiting for a clear input: the error word is never "clear", the error test ends it.
  face.Record.InputWord = 0x0010;
  env.clock.onTick = [&](uint64_t) {
    if (env.clock.sleeps == 3) face.Record.InputWord = kErr;
  };
  EXPECT_EQ(face.WaitForInput(5, false), kErr);
  EXPECT_EQ(face.LastStatus, static_cast<int32_t>(kErr));
  EXPECT_EQ(env.clock.sleeps, 3);

  // Waiting for a set input: the error word has every bit set, and it says so.
  face.Record.InputWord = 0;
  env.clock.sleeps = 0;
  env.clock.onTick = [&](uint64_t) { face.Record.InputWord = kErr; };
  EXPECT_EQ(face.WaitForInput(5, true), kErr);
  EXPECT_EQ(face.LastStatus, static_cast<int32_t>(kErr));
  EXPECT_EQ(env.clock.sleeps, 1);

  // Already in error before the wait: no sleep at all.
  env.clock.sleeps = 0;
  EXPECT_EQ(face.WaitForInput(5, false), kErr);
  EXPECT_EQ(env.clock.sleeps, 0);
}

TEST_F(OpenFace, ShowPanelModalAndModeless) {
  bool shownDuring = false;
  env.hooks.onPanel = [&] { shownDuring = face.PanelShown; };
  EXPECT_EQ(face.ShowPanel(true, 640, 60), 0u);
  EXPECT_EQ(env.hooks.panels, 1);
  EXPECT_EQ(env.hooks.lastFace, &face);
  EXPECT_TRUE(env.hooks.lastModal);
  EXPECT_EQ(env.hooks.lastLeft, 640);
  EXPECT_EQ(env.hooks.lastTop, 60);
  EXPECT_TRUE(shownDuring);
  EXPECT_FALSE(face.PanelShown);

  EXPECT_EQ(face.ShowPanel(false, 1, 2), 0u);
  EXPECT_TRUE(face.PanelShown);

  face.PanelShown = false;
  env.hooks.panelResult = false;  // no GUI to show it in
  EXPECT_EQ(face.ShowPanel(false, 1, 2), kErr);
  EXPECT_FALSE(face.PanelShown);
}

TEST_F(OpenFace, CountersAndAnalogOutsideTheTablesAreHarmless) {
  face.Record.Counters[15] = 9;
  EXPECT_EQ(face.Counter(16), 9u);
  EXPECT_EQ(face.Counter(0), 0u);
  EXPECT_EQ(face.Counter(17), 0u);
  face.ResetCounter(17);
  face.ResetCounter(16);
  EXPECT_EQ(face.Record.Counters[15], 0u);
  face.LastStatus = 0;
  EXPECT_EQ(face.GetAnalog(2), kErr);
  EXPECT_EQ(face.LastStatus, 0);
}

}  // namespace
}  // namespace kelvora::access
