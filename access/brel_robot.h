// TBrelRobot: the interface object with the axis table and coordinated positioning.
#pragma once

#include <cstdint>
#include <functional>

#include "access/brel_face.h"
#include "access/brel_mot_list.h"

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

 private:
  uint32_t moveMotors_ = 0;  // motor bits of the moves on the stack
};

}  // namespace kelvora::access
