// SPDX-License-Identifier: MIT
// Where the robot really is, whatever interrupts it. Every interruption a user meets
// (HALT, Esc, a silent box, garbled replies, a pulled adapter, a stuck impulse switch,
// a broken end switch, an unused axis, motors run from the panel) against every
// activity (home run, jog, move, script run, gripper), in virtual time on the virtual
// robot. The verdict is the virtual robot's true positions: no axis passes its maximum,
// and every position the robot object holds is true or 9999, also after the next
// ordinary command, which is where an untrue position used to drive an axis into its
// stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "app/script.h"
#include "app/script_player.h"
#include "settings/program_settings.h"
#include "tests/access/robot_rig.h"

namespace kelvora::access {
namespace {

using testing::Rig;
using testing::RobotOnRig;
constexpr int32_t N = kNotGiven;
constexpr int kAxes = 4;  // Säule, Arm horizontal, Arm vertikal, Greifer

// The script player's host, without a window.
class Host final : public app::ScriptHost {
 public:
  explicit Host(TBrelRobot& robot) : robot_(robot) { settings_.SetRobModel("Rob3"); }
  TBrelRobot& Robot() override { return robot_; }
  const settings::ProgramSettings& Settings() const override { return settings_; }
  int32_t* LineValues() override { return values_; }
  app::ScriptList& Script() override { return list; }
  void SetMode(int m) override { mode = m; }
  bool Repeat() const override { return repeat; }
  void SetRepeat(bool on) override { repeat = on; }
  app::VectorScriptList list;
  bool repeat = true;
  int mode = 0;

 private:
  TBrelRobot& robot_;
  settings::ProgramSettings settings_;
  int32_t values_[8] = {};
};

struct Cell;
using Step = std::function<void(Cell&)>;

// One interruption: what is wrong from the start, what happens at the 20th control
// cycle, and the robot's own faults that stay for the next command.
struct Interruption {
  const char* name;
  Step before;    // before the activity starts
  Step atCycle;   // at its 20th control cycle
  bool lineGoes;  // the box stops answering for a while
};

struct Cell {
  RobotOnRig t{Rig({120, 80, 75, 14}, 40.0, 1.0)};
  Host host{t.robot};
  int32_t max[kAxes + 1] = {0, 240, 160, 150, 30};
  double limit[kAxes + 1] = {0, 240, 160, 150, 30};  // how far an axis may go
  double worst[kAxes + 1] = {};  // furthest any axis got beyond its limit, while answering
  uint64_t lineBackAt = 0;       // the box is back from here (0: it never went)
  uint64_t answersAt = 0;        // the driver hears it again from here

  Cell() {
    for (int a = 1; a <= kAxes; ++a) t.robot.Axes.SetPos(a, mcMaximum, max[a]);
    t.rig.clock.AddStepper([this](uint64_t now) {
      if (lineBackAt != 0 && now == lineBackAt) t.rig.box.SetFault(sim::BoxFault::kNone);
      // While the line is down the box keeps its last outputs: nobody can stop them
      // then, which is why the user is told. The verdict starts once it answers.
      // The driver finds a returning device within a second; from 20 ms after it
      // answers again no axis may go further than where the outage left it.
      if (lineBackAt != 0 && answersAt == 0) {
        if (now < lineBackAt || t.robot.InputWord() == kInterfaceError) return;
        answersAt = now;
      }
      if (answersAt != 0 && now < answersAt + 20) return;
      for (int a = 1; a <= kAxes; ++a) {
        if (answersAt != 0 && now == answersAt + 20)
          limit[a] = std::max<double>(max[a], t.rig.Position(a));
        if (t.robot.AxisUsed(a)) worst[a] = std::max(worst[a], t.rig.Position(a) - limit[a]);
      }
    });
  }
  void LineDownFor(sim::BoxFault fault, uint32_t ms) {
    t.rig.box.SetFault(fault);
    lineBackAt = t.Now() + ms;
  }
  // Every position held is true (to the unit the counting resolves) or 9999.
  void ExpectTrueOrUnknown(const std::string& when) {
    for (int a = 1; a <= kAxes; ++a) {
      if (!t.robot.AxisUsed(a)) continue;
      const int32_t held = t.Pos(a);
      if (held == kNotHomed) continue;
      EXPECT_NEAR(held, t.rig.Position(a), 1.0) << when << ", axis " << a;
    }
    // An axis that arrives at its maximum still runs on for its coasting distance
    // (1 unit here) and up to half a unit more before the next impulse shows it.
    for (int a = 1; a <= kAxes; ++a)
      EXPECT_LE(worst[a], 1.6) << when << ", axis " << a << " passed its maximum";
  }
};

const Interruption kInterruptions[] = {
    {"HALT", nullptr, [](Cell& c) { c.t.robot.StopFlag = true; }, false},
    {"Esc", nullptr, [](Cell& c) { c.t.hooks.escAnswer = true; }, false},
    {"box silent for 2 s", nullptr, [](Cell& c) { c.LineDownFor(sim::BoxFault::kSilent, 2000); },
     true},
    {"garbled replies for 1.5 s", nullptr,
     [](Cell& c) { c.LineDownFor(sim::BoxFault::kGarbage, 1500); }, true},
    {"adapter pulled and plugged back", nullptr,
     [](Cell& c) { c.LineDownFor(sim::BoxFault::kVanished, 300); }, true},
    {"stuck impulse switch on axis 1", [](Cell& c) { c.t.rig.robot.SetStuckImpulse(1, true); },
     nullptr, false},
    {"broken end switch on axis 1",
     [](Cell& c) {
       c.t.rig.robot.SetEndSwitchBroken(1, true);
       c.t.robot.Axes.SetPos(1, mcPosition, kNotHomed);  // as after a failed home run
     },
     nullptr, false},
    {"Arm vertikal unused", [](Cell& c) { c.t.robot.Axes.SetPos(3, mcMaximum, kNotHomed); },
     nullptr, false},
    {"panel ran motors 1 and 2",
     [](Cell& c) {
       c.t.robot.SetMotor(1, 2);
       c.t.robot.SetMotor(2, 1);
       c.t.rig.Advance(700);
       c.t.robot.SetMotor(1, 0);
       c.t.robot.SetMotor(2, 0);
     },
     nullptr, false},
};

struct Activity {
  const char* name;
  std::function<void(Cell&)> run;
};

const Activity kActivities[] = {
    {"home run", [](Cell& c) { c.t.robot.MoveHome(); }},
    {"jog",
     [](Cell& c) {
       c.t.onCycle = [&c, inner = c.t.onCycle](int n) {
         if (inner) inner(n);
         if (n == 150) c.t.robot.StopFlag = true;  // released
       };
       c.t.robot.JogAxis(1, 2);
     }},
    {"move", [](Cell& c) { c.t.robot.MoveToPositions(200, 130, 120, N, N, N, N, N); }},
    {"script run",
     [](Cell& c) {
       TBrelMotList at;
       for (int32_t p : {200, 30}) {
         for (int a = 1; a <= 3; ++a) at.SetPos(a, mcPosition, p);
         const int32_t values[8] = {0, 0, 0, p == 200 ? 1 : 0};
         c.host.list.Append(app::FormatLine(at, values, false));
       }
       c.host.list.SetItemIndex(0);
       // Repeated until HALT, well into the third line driven.
       int pumps = 0;
       c.t.hooks.onMessages = [&c, &pumps] {
         if (++pumps == 900) app::Halt(c.host);
       };
       app::RunScript(c.host);
       c.t.hooks.onMessages = nullptr;
       EXPECT_EQ(c.host.mode, 3);
       EXPECT_FALSE(c.host.repeat);
     }},
    {"gripper", [](Cell& c) { c.t.robot.MoveAxisToEnd(4, true); }},
};

class TruePositions : public ::testing::TestWithParam<int> {};

TEST_P(TruePositions, NoAxisPassesItsMaximumAndNoPositionIsAGuess) {
  const Activity& activity = kActivities[GetParam()];
  for (const Interruption& cut : kInterruptions) {
    const std::string what = std::string(activity.name) + " / " + cut.name;
    SCOPED_TRACE(what);
    Cell c;
    if (cut.before) cut.before(c);
    c.t.robot.ClearStopFlag();
    if (cut.atCycle) {
      c.t.onCycle = [&c, &cut](int n) {
        if (n == 20) cut.atCycle(c);
      };
    }
    activity.run(c);
    c.t.onCycle = nullptr;
    c.t.hooks.escAnswer = false;
    if (c.lineBackAt != 0 && c.t.Now() < c.lineBackAt + 1500) {
      c.t.rig.Advance(static_cast<uint32_t>(c.lineBackAt + 1500 - c.t.Now()));
    }
    c.ExpectTrueOrUnknown("after the " + std::string(activity.name));
    if (cut.lineGoes) {
      EXPECT_TRUE(c.t.robot.TakeFaults().interfaceLost);
      for (int a = 1; a <= kAxes; ++a) EXPECT_EQ(c.t.Pos(a), kNotHomed) << a;
    }
    // The next ordinary commands: every axis to its maximum, then the gripper. An
    // untrue position would now drive an axis into its stop.
    c.t.robot.ClearStopFlag();
    c.t.robot.MoveToPositions(c.max[1], c.max[2], c.max[3], N, N, N, N, N);
    c.t.robot.MoveAxisToEnd(4, true);
    c.ExpectTrueOrUnknown("after the next move");
    c.t.robot.TakeFaults();
  }
}

INSTANTIATE_TEST_SUITE_P(EveryActivity, TruePositions, ::testing::Range(0, 5),
                         [](const ::testing::TestParamInfo<int>& info) {
                           std::string n = kActivities[info.param].name;
                           std::replace(n.begin(), n.end(), ' ', '_');
                           return n;
                         });

}  // namespace
}  // namespace kelvora::access

namespace kelvora::access {
namespace {

TEST(TruePositions, AHundredJogsKeepTheirRunDown) {
  // Jogs of every length in both directions, each released where it happens to be,
  // with a run-down of up to 1.5 units after every release.
  RobotOnRig t(Rig({120, 80, 75, 14}, 40.0, 1.5));
  t.robot.Axes.SetPos(1, mcMaximum, 240);
  double worst = 0;
  for (int jog = 0; jog < 100; ++jog) {
    const int cycles = 5 + (jog * 37) % 60;
    t.onCycle = [&t, cycles](int n) {
      if (n == cycles) t.robot.StopFlag = true;
    };
    t.trace.clear();
    t.robot.ClearStopFlag();
    t.robot.JogAxis(1, jog % 2 == 0 ? 2 : 1);
    t.rig.Advance(jog % 3 == 0 ? 0 : 150);  // sometimes the next press comes at once
    worst = std::max(worst, std::abs(t.Pos(1) - t.rig.Position(1)));
  }
  // A final move settles the last run-down too.
  t.robot.MoveToPositions(100, N, N, N, N, N, N, N);
  worst = std::max(worst, std::abs(t.Pos(1) - t.rig.Position(1)));
  EXPECT_LE(worst, 1.0);
  EXPECT_FALSE(t.robot.TakeFaults().Any());
}

TEST(MotionGuard, AWindowThreadThatStopsRunningHasTheMotorsSwitchedOffFromOutside) {
  // The move's loop stops at its 20th cycle for 600 ms (a handler that does not
  // return, a loop nobody here wrote); time goes on meanwhile.
  RobotOnRig t(Rig({50, 80, 75, 14}, 40.0, 0.5));
  t.ExtraMotorOn();
  uint64_t frozeAt = 0;
  size_t wordsAt = 0;
  t.AfterPumps(20, [&] {
    frozeAt = t.Now();
    wordsAt = t.rig.box.MotorWords().size();
    t.rig.Advance(600);
  });
  EXPECT_EQ(t.robot.MoveToPositions(200, 150, N, N, N, N, N, N), kInterfaceError);
  EXPECT_EQ(t.robot.LastStatus, 2);
  // The first exchange after the watchdog's 100 ms carries the move's motors off;
  // motor 4, no part of the move, keeps its bit.
  const std::vector<uint16_t> words = t.rig.box.MotorWords();
  ASSERT_GT(words.size(), wordsAt + 12);
  size_t off = wordsAt;
  while (off < words.size() && (words[off] & 0x000F) != 0) ++off;
  ASSERT_LT(off, words.size());
  EXPECT_LE(off - wordsAt, 11u);  // 100 ms and one poll period, at 10 ms a poll
  EXPECT_GE(off - wordsAt, 9u);   // not before its time
  for (size_t k = off; k < words.size(); ++k) EXPECT_EQ(words[k] & 0x000F, 0) << k;
  EXPECT_EQ(t.rig.box.MotorWord() & 0x00C0, 0x0040);
  // The axes that ran unwatched are unknown, and the user is told.
  EXPECT_EQ(t.Pos(1), kNotHomed);
  EXPECT_EQ(t.Pos(2), kNotHomed);
  EXPECT_TRUE(t.robot.TakeFaults().watchdog);
  EXPECT_LT(t.rig.Position(1), 100);
  (void)frozeAt;

  // Nothing moves: the guard is not running.
  EXPECT_FALSE(t.robot.Guard().Running());
}

}  // namespace
}  // namespace kelvora::access
