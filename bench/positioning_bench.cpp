// SPDX-License-Identifier: MIT
// How exactly coordinated positioning ends: many moves of three axes to random targets
// on the virtual robot, in virtual time, for several axis speeds (units per control
// cycle) and coasting distances. Reports, per configuration, how far the robot really
// stands from its target and how far the stored position is from the true one, both
// per move and as the drift accumulated over a run of moves after one home run.
//
//   positioning_bench [moves per configuration, default 100] [seed]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "access/brel_consts.h"
#include "access/brel_robot.h"
#include "sim/virtual_robot.h"

namespace {

using kelvora::access::mcMaximum;
using kelvora::access::mcPosition;
using kelvora::access::TBrelRobot;

constexpr int kAxes = 3;
constexpr int32_t kMax[kAxes] = {240, 160, 150};

struct Stats {
  int samples = 0;
  int onTarget = 0;    // true position rounds to the target
  int storedTrue = 0;  // stored position equals the rounded true position
  double sumTarget = 0;
  double maxTarget = 0;
  double sumStored = 0;
  double maxStored = 0;
  double finalStored = 0;  // |stored - true| summed over axes after the last move
  int failedMoves = 0;
};

// A move has no time limit of its own; an axis whose belief has drifted past its
// mechanical stop would drive against it for ever. Such moves are aborted and counted.
constexpr int kCycleLimit = 3000;

Stats Run(int axes, double unitsPerCycle, double coast, int moves, uint32_t seed) {
  kelvora::sim::RobotRigOptions o;
  o.speed = unitsPerCycle * 100.0;  // control cycle and poll are both 10 ms
  o.coast = coast;
  kelvora::sim::RobotRig rig(o);
  Stats s;
  {
    TBrelRobot robot;
    for (int a = 1; a <= kAxes; ++a) robot.Axes.SetPos(a, mcMaximum, kMax[a - 1]);
    if (robot.OpenInterface(rig.Port()) == kelvora::access::kInterfaceError) {
      std::fprintf(stderr, "open failed\n");
      std::exit(1);
    }
    int cycles = 0;
    robot.OnMoveStep = [&cycles](TBrelRobot& r) {
      if (++cycles > kCycleLimit) r.StopFlag = true;
    };
    robot.MoveHome();
    std::mt19937 rng(seed);
    for (int m = 0; m < moves; ++m) {
      int32_t t[8];
      for (int a = 0; a < 8; ++a) {
        t[a] = a < axes ? std::uniform_int_distribution<int32_t>(1, kMax[a])(rng)
                        : kelvora::access::kNotGiven;
      }
      rig.box.ClearRecords();
      cycles = 0;
      robot.ClearStopFlag();
      robot.MoveToPositions(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7]);
      if (robot.LastStatus != 0) ++s.failedMoves;
      rig.Advance(200);  // let every run-down end before looking
      for (int a = 1; a <= axes; ++a) {
        const double truePos = rig.Position(a);
        const double stored = robot.Axes.GetPos(a, mcPosition);
        const double et = std::fabs(truePos - t[a - 1]);
        const double es = std::fabs(stored - truePos);
        ++s.samples;
        s.onTarget += std::lround(truePos) == t[a - 1];
        s.storedTrue += std::lround(truePos) == static_cast<long>(stored);
        s.sumTarget += et;
        s.sumStored += es;
        if (et > s.maxTarget) s.maxTarget = et;
        if (es > s.maxStored) s.maxStored = es;
      }
    }
    for (int a = 1; a <= axes; ++a) {
      s.finalStored += std::fabs(robot.Axes.GetPos(a, mcPosition) - rig.Position(a));
    }
    robot.CloseInterface();
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const int moves = argc > 1 ? std::atoi(argv[1]) : 100;
  const uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1;
  if (moves <= 0) {
    std::fprintf(stderr, "usage: positioning_bench [moves] [seed]\n");
    return 2;
  }
  std::printf(
      "Positioning on the virtual robot: %d moves of 1 or %d axes to random targets per row,\n"
      "after one home run, seed %u. Control cycle and poll 10 ms, BrakeZone 6.\n"
      "true-target: |true position - target|; stored-true: |stored - true position|;\n"
      "exact: true rounds to the target / stored equals the rounded true position;\n"
      "drift: sum over the axes of |stored - true| after the last move;\n"
      "fail: moves aborted after %d cycles (an axis whose belief has drifted drives against\n"
      "its mechanical stop, where it counts nothing, and a move has no time limit).\n\n",
      moves, kAxes, seed, kCycleLimit);
  std::printf("%4s %6s %6s | %7s %7s %7s | %7s %7s %7s | %7s %5s\n", "axes", "u/cyc", "coast",
              "exact%", "mean", "max", "exact%", "mean", "max", "drift", "fail");
  std::printf("%4s %6s %6s | %23s | %23s |\n", "", "", "", "true - target", "stored - true");
  for (int axes : {1, kAxes}) {
    for (double speed : {0.5, 1.0, 1.5, 2.0, 3.0}) {
      for (double coast : {0.0, 0.5, 1.0, 3.0}) {
        const Stats s = Run(axes, speed, coast, moves, seed);
        const double n = s.samples;
        std::printf("%4d %6.1f %6.1f | %7.1f %7.2f %7.2f | %7.1f %7.2f %7.2f | %7.1f %5d\n", axes,
                    speed, coast, 100.0 * s.onTarget / n, s.sumTarget / n, s.maxTarget,
                    100.0 * s.storedTrue / n, s.sumStored / n, s.maxStored, s.finalStored,
                    s.failedMoves);
        std::fflush(stdout);
      }
    }
  }
  return 0;
}
