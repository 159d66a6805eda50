// SPDX-License-Identifier: MIT
// TBrelRobot: the interface object with the axis table and coordinated positioning.
//
// Position is the only record of where the robot stands, so it is either true or 9999
// ("not established"), never a guess. Whatever breaks the chain of counted impulses
// turns the affected positions into 9999: a home run that did not close an axis's end
// switch, an interface error, a stalled axis, a movement the watchdog had to stop, a
// motor switched on outside a move (the interface panel). An axis at 9999 is driven to
// its end switch before anything else, which keeps the next move safe.
#pragma once

#include <cstdint>
#include <functional>

#include "access/brel_face.h"
#include "access/brel_mot_list.h"
#include "access/motion_guard.h"

namespace kelvora::access {

class TBrelRobot : public TBrelFace {
 public:
  TBrelRobot();
  ~TBrelRobot() override;

  int32_t BrakeZone = 6;
  uint32_t SettlePause = 100;
  uint32_t LoopPause = 10;
  // Called once per control cycle when set, after that cycle's positions are updated.
  std::function<void(TBrelRobot&)> OnMoveStep;
  TBrelMotList Axes;

  uint32_t MoveTo(const int32_t targets[8], int count);
  uint32_t MoveToPositions(int32_t p1, int32_t p2, int32_t p3, int32_t p4, int32_t p5, int32_t p6,
                           int32_t p7, int32_t p8);
  uint32_t MoveHome();
  uint32_t JogAxis(int axis, int direction);
  uint32_t MoveAxisToEnd(int axis, bool atMax);

  // For a handler that runs nested inside a move and will not return to it soon (a
  // modal window, a shutdown): StopFlag, and the motors of every move running below
  // switched off at once, so that the driver's next poll sends that while the move
  // itself cannot run. Other motors keep their bits; the move ends at its next abort
  // test as after any HALT.
  void StopMoving();

  // What went wrong beyond what LastStatus says, collected until the window (or the
  // player) takes it to tell the user; a script run ends on any of it.
  struct TFaults {
    bool interfaceLost = false;  // the line failed: every position became 9999
    bool motorsWereOn = false;   // ... while a motor was on (once per failure of the line)
    uint16_t stalled = 0;        // bit a: axis a ran without impulses; motor off, 9999
    bool watchdog = false;       // a movement's control cycle stopped running; motors off
    uint16_t strayed = 0;        // bit a: axis a's inputs disagree with its motor; 9999
    bool Any() const {
      return interfaceLost || motorsWereOn || stalled != 0 || watchdog || strayed != 0;
    }
  };
  // Takes in what the motion guard did meanwhile, then tells whether anything is there.
  bool FaultPending();
  // Hands the faults over and forgets them.
  TFaults TakeFaults();
  // How many faults have been recorded so far (taken or not): a caller compares two
  // readings to learn whether something went wrong in between.
  uint32_t FaultCount();
  // Takes in what the motion guard did since the last call (the positions it cost, the
  // faults). The window's display timer calls it; moves and motor commands do too.
  void CheckGuard();
  // True when the axis takes part in moves (its maximum is not the 9999 of an axis the
  // model does not use).
  bool AxisUsed(int axis) const;
  const TMotionGuard& Guard() const { return guard_; }

 protected:
  void MotorCommanded(int32_t motor, int32_t direction) override;
  void InputWordSeen(uint32_t word) override;

 private:
  uint32_t MoveToImpl(const int32_t targets[8], int count, bool atSwitch[9]);
  void LineFailed(bool motorsOn);
  void Strayed(uint16_t axes);
  // Impulses counted on an axis since its last move settled: a late run-down is added,
  // anything more makes its position unknown.
  void CountSinceSettled(int axis);
  void SettleAndWatchSwitches(const bool stoppedBySwitch[9], int count);
  // downward: bit a set for an axis the move below drives toward its end switch.
  void UpdateWatched(uint16_t downward = 0);

  uint32_t moveMotors_ = 0;           // motor bits of the moves on the stack
  bool lineFailed_ = false;           // the last input word looked at was the error word
  bool motorsTold_ = false;           // this failure of the line has had its motors-on fault
  uint32_t lossEpoch_ = 0;            // counts the failures of the line
  TMotionGuard::Findings sinceMove_;  // the guard's findings since the last move began
  TFaults faults_;
  uint32_t faultCount_ = 0;
  // Each axis's counter when its last move settled, and how it was driven then.
  struct Settled {
    bool valid = false;
    uint32_t count = 0;
    int8_t dir = 0;  // +1 up, -1 down, 0 not driven, 2 stopped on its end switch
  } settled_[9];
  TMotionGuard guard_{*this};  // last: stopped before anything it reads goes
};

}  // namespace kelvora::access
