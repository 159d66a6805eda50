// SPDX-License-Identifier: MIT
#include "access/brel_robot.h"

#include <algorithm>

#include "access/brel_consts.h"
#include "platform/clock.h"
#include "platform/gui_hooks.h"

namespace kelvora::access {
namespace {

constexpr int32_t kStatusAborted = 2;
constexpr int32_t kStatusError = static_cast<int32_t>(kInterfaceError);

enum class Drive : int8_t { kNone, kUp, kDown };

// How a move's control loop ended.
enum class End : int8_t { kArrived, kAborted, kLineFailed, kGuard };

uint32_t BitsOf(int32_t motor) {
  return ~ClearMaskOf(motor) & 0xFFFFu;
}

}  // namespace

TBrelRobot::TBrelRobot() = default;

// The interface object's destructor closes an open interface; the guard stops first,
// the axis table goes with the members.
TBrelRobot::~TBrelRobot() = default;

bool TBrelRobot::AxisUsed(int axis) const {
  return axis >= 1 && axis <= 8 && Axes.Mot[axis].MaxPos < kNotHomed;
}

uint32_t TBrelRobot::MoveTo(const int32_t targets[8], int count) {
  bool atSwitch[9] = {};
  return MoveToImpl(targets, count, atSwitch);
}

uint32_t TBrelRobot::MoveToImpl(const int32_t targets[8], int count, bool atSwitch[9]) {
  if (!Opened) return kInterfaceError;
  // The working arrays hold eight axes; a count outside 0..8 is refused, not clipped.
  if (count < 0 || count > 8 || (count > 0 && targets == nullptr)) return kInterfaceError;
  CheckGuard();
  sinceMove_ = {};

  // Everything a move works on lives in fixed arrays on the stack: no allocation and no
  // floating point between the first and the last motor word.
  int32_t T[9] = {};
  int32_t S[9] = {};
  int32_t B[9] = {};
  bool phase[9] = {};
  bool used[9] = {};
  Drive drive[9] = {};
  bool stoppedBySwitch[9] = {};
  for (int f = 1; f <= count; ++f) T[f] = targets[f - 1];

  TMot* const mot = Axes.Mot;
  uint32_t W = MotorWord();
  uint32_t W0 = W;
  uint32_t moveBits = 0;
  uint16_t usedAxes = 0;
  // An axis the model does not use is no part of any move: its motor may be wired to
  // something else, and its maximum (9999) is no place to drive to.
  for (int f = 1; f <= count; ++f) {
    used[f] = AxisUsed(f);
    if (!used[f]) continue;
    moveBits |= BitsOf(mot[f].Motor);
    usedAxes |= static_cast<uint16_t>(1u << f);
  }

  // An input word that reports an interface error reads as every end switch closed,
  // which would zero the positions of the whole move. Stop the move's motors instead, as
  // an error at the start of a cycle does.
  uint32_t in = InputWord();
  if (in == kInterfaceError && count > 0) {
    InputWordSeen(in);
    SetMotorWord(W0 & ~moveBits);
    LastStatus = kStatusError;
    return kInterfaceError;
  }

  for (int f = 1; f <= count; ++f) {
    if (!used[f]) continue;
    CountSinceSettled(f);
    TMot& a = mot[f];
    const int32_t m = a.Motor;
    W &= ClearMaskOf(m);
    W0 &= ClearMaskOf(m);
    ResetCounter(a.ImpulseInput);
    phase[f] = false;
    const int32_t p = a.Position;
    if (p < T[f]) {
      if (a.MaxPos < T[f]) T[f] = a.MaxPos;
      // A clamp below where the axis stands turns the move into a downward one below;
      // driving up as well would set both direction bits of the motor.
      if (p < T[f]) {
        W |= RightMaskOf(m);
        B[f] = T[f] - BrakeZone;
        drive[f] = Drive::kUp;
      }
    }
    if ((in & InputMaskOf(a.EndSwitch)) != 0) {
      a.Position = 0;
      atSwitch[f] = true;
    } else {
      if (T[f] <= 0 && a.Position > 0) T[f] = kToEndSwitch;
      if (drive[f] == Drive::kNone && a.Position > T[f]) {
        W |= LeftMaskOf(m);
        B[f] = T[f] + BrakeZone;
        drive[f] = Drive::kDown;
      }
    }
    S[f] = a.Position;
  }

  // A new command for these motors: what the guard switched off before may run again.
  AllowMotors(moveBits);
  uint32_t run = W;
  SetMotorWord(W);  // all started motors start together

  // While this move runs, a nested StopMoving may switch its motors off.
  struct MoveMotors {
    uint32_t& bits;
    uint32_t outer;
    ~MoveMotors() { bits = outer; }
  } moveMotors{moveMotors_, moveMotors_};
  moveMotors_ |= moveBits;

  const uint32_t lossEpoch = lossEpoch_;
  End end = End::kArrived;
  if (run != W0) {
    uint16_t downward = 0;
    for (int f = 1; f <= count; ++f) {
      if (drive[f] == Drive::kDown) downward |= static_cast<uint16_t>(1u << f);
    }
    UpdateWatched(downward);
    guard_.BeginMove(moveBits);
  }
  while (run != W0) {
    if (AbortRequested()) {
      end = End::kAborted;
      break;
    }
    in = InputWord();
    InputWordSeen(in);
    // The line failed, now or while a handler below looked at it.
    if (in == kInterfaceError || lossEpoch_ != lossEpoch) {
      end = End::kLineFailed;
      break;
    }
    // The guard switched motors of this move off: an axis stalled, or this loop did not
    // run for too long. (A stalled motor outside the move is no reason to end it.)
    if (guard_.Tripped()) CheckGuard();
    if ((sinceMove_.cutBits & moveBits) != 0 || sinceMove_.watchdog ||
        (sinceMove_.strayed & usedAxes) != 0) {
      end = End::kGuard;
      break;
    }
    platform::Sleep(LoopPause);
    guard_.Beat();
    platform::CurrentGuiHooks().ProcessMessages();
    // What the previous cycle decided; but a handler that stopped the move meanwhile (a
    // HALT, a release, a shutdown) may have switched the motors off already, and writing
    // W now would start them again until the abort test below.
    if (!StopFlag) SetMotorWord(W);

    in = InputWord();
    for (int f = 1; f <= count; ++f) {
      if (!used[f]) continue;
      TMot& a = mot[f];
      const int32_t m = a.Motor;
      const uint32_t right = RightMaskOf(m);
      const uint32_t left = LeftMaskOf(m);
      const int32_t k = static_cast<int32_t>(Counter(a.ImpulseInput));
      // An axis that started from 9999 stays 9999 until its switch closes: the count
      // from a start nobody knows is no position, only the way to the switch.
      const bool unknown = S[f] == kNotHomed;
      if ((run & right) != 0) {
        const int32_t p = S[f] + k;
        if (!unknown) a.Position = p;
        if (p >= B[f]) {  // creep: off and on in alternate cycles
          if (phase[f]) {
            W |= right;
            phase[f] = false;
          } else {
            W &= ClearMaskOf(m);
            phase[f] = true;
          }
        }
        if (p >= T[f]) {
          W &= ClearMaskOf(m);
          run = W;
        }
      } else if ((run & left) != 0) {
        const int32_t p = S[f] - k;
        if (!unknown) a.Position = p;
        if (p <= B[f]) {
          if (phase[f]) {
            W |= left;
            phase[f] = false;
          } else {
            W &= ClearMaskOf(m);
            phase[f] = true;
          }
        }
        if (p <= T[f]) {
          W &= ClearMaskOf(m);
          run = W;
        }
        // An error word is no closed switch: the next cycle's error test ends the move.
        if (in != kInterfaceError && (in & InputMaskOf(a.EndSwitch)) != 0) {
          a.Position = 0;
          stoppedBySwitch[f] = true;
          atSwitch[f] = true;
          W &= ClearMaskOf(m);
          run = W;
        }
      }
    }
    if (OnMoveStep) OnMoveStep(*this);
  }

  SetMotorWord(W0);
  guard_.EndMove();
  if (end == End::kLineFailed) {
    // The counts are no longer to be trusted and the positions went with the line, and
    // so did switches seen closed just before: they may have been its first garbage.
    for (int f = 1; f <= count; ++f) atSwitch[f] = false;
    LastStatus = kStatusError;
    return kInterfaceError;
  }
  // Also after an abort the motors run down; the settle pause lets them, and the final
  // pass adds what they counted meanwhile, so that the positions stay true.
  SettleAndWatchSwitches(stoppedBySwitch, count);
  if (lossEpoch_ != lossEpoch) {
    // Switches seen closed before the failure showed may have been its first garbage.
    for (int f = 1; f <= count; ++f) atSwitch[f] = false;
    LastStatus = kStatusError;
    return kInterfaceError;
  }

  // Final pass. The counters now include the run-down after the motors went off.
  for (int f = 1; f <= count; ++f) {
    if (!used[f]) continue;
    TMot& a = mot[f];
    const int32_t k = static_cast<int32_t>(Counter(a.ImpulseInput));
    if (stoppedBySwitch[f]) {
      a.Position = 0;  // the switch is the zero reference
    } else if (S[f] == kNotHomed) {
      a.Position = kNotHomed;  // it never got to its switch
    } else if (drive[f] == Drive::kUp) {
      // Arrived, stopped short, stopped on the way or passed the target: the count,
      // run-down included, says where. (An arrival that kept the target would lose the
      // run-down of every move, and the positions would drift from the robot's.)
      a.Position = S[f] + k;
    } else if (drive[f] == Drive::kDown) {
      a.Position = S[f] - k;
    } else {
      a.Position = S[f] < T[f] ? S[f] + k : S[f] - k;
    }
  }

  // What the guard switched off: a stalled axis's count says nothing, and the axes a
  // frozen loop left running ran unwatched.
  CheckGuard();
  for (int f = 1; f <= count; ++f) {
    if (!used[f]) continue;
    const uint32_t bit = 1u << f;
    const bool stalled = (sinceMove_.stalled & bit) != 0;
    const bool unwatched = sinceMove_.watchdog && (run & BitsOf(mot[f].Motor)) != 0;
    const bool strayed = (sinceMove_.strayed & bit) != 0;
    Settled& z = settled_[f];
    if (stalled || unwatched || strayed || mot[f].Position == kNotHomed) {
      mot[f].Position = kNotHomed;
      atSwitch[f] = false;
      z.valid = false;
      continue;
    }
    z.valid = true;
    z.count = Counter(mot[f].ImpulseInput);
    z.dir = stoppedBySwitch[f] ? 2 : drive[f] == Drive::kUp ? 1 : drive[f] == Drive::kDown ? -1 : 0;
  }
  if (end == End::kAborted || end == End::kGuard) {
    LastStatus = kStatusAborted;
    return kInterfaceError;
  }

  platform::CurrentGuiHooks().ProcessMessages();
  const uint32_t w = InputWord();
  InputWordSeen(w);
  if (lossEpoch_ != lossEpoch) {
    for (int f = 1; f <= count; ++f) atSwitch[f] = false;
    LastStatus = kStatusError;
    return kInterfaceError;
  }
  LastStatus = w == kInterfaceError ? kStatusError : 0;
  return w;
}

void TBrelRobot::StopMoving() {
  StopFlag = true;
  if (moveMotors_ != 0) SetMotorWord(MotorWord() & ~moveMotors_);
}

uint32_t TBrelRobot::MoveToPositions(int32_t p1, int32_t p2, int32_t p3, int32_t p4, int32_t p5,
                                     int32_t p6, int32_t p7, int32_t p8) {
  if (!Opened) return kInterfaceError;
  const int32_t p[8] = {p1, p2, p3, p4, p5, p6, p7, p8};
  int32_t t[8] = {};
  int n = 8;
  for (int i = 7; i >= 1; --i) {
    if (p[i] == kNotGiven) {
      --n;
    } else {
      t[i] = p[i];
    }
  }
  if (p1 == kNotGiven) return kInterfaceError;
  t[0] = p1;
  return MoveTo(t, n);
}

uint32_t TBrelRobot::MoveHome() {
  if (!Opened) return kInterfaceError;
  // Every axis in use toward its end switch, wherever it stands in the table; the axes
  // the model does not use stay out of it.
  int32_t t[8] = {};
  int count = 0;
  for (int i = 1; i <= 8; ++i) {
    t[i - 1] = kToEndSwitch;
    if (AxisUsed(i)) count = i;
  }
  bool atSwitch[9] = {};
  const uint32_t r = MoveToImpl(t, count, atSwitch);
  // Only a closed end switch makes a position 0. An axis that did not get there (an
  // abort, an interface error, a stall) stands somewhere unknown.
  for (int i = 1; i <= 8; ++i) {
    if (AxisUsed(i)) Axes.Mot[i].Position = atSwitch[i] ? 0 : kNotHomed;
  }
  return r;
}

namespace {

// Axes below the driven one take part without being driven: they keep their targets.
void HoldAxesBelow(const TBrelMotList& axes, int axis, int32_t t[8]) {
  for (int i = 1; i < axis; ++i) t[i - 1] = axes.Mot[i].Position;
}

}  // namespace

uint32_t TBrelRobot::JogAxis(int axis, int direction) {
  if (!Opened) return kInterfaceError;
  if (axis < 1 || axis > 8) return kInterfaceError;
  int32_t t[8] = {};
  HoldAxesBelow(Axes, axis, t);
  t[axis - 1] = direction == 1 ? 0 : Axes.Mot[axis].MaxPos;
  return MoveTo(t, axis);
}

uint32_t TBrelRobot::MoveAxisToEnd(int axis, bool atMax) {
  if (!Opened) return kInterfaceError;
  if (axis < 1 || axis > 8) return kInterfaceError;
  int32_t t[8] = {};
  HoldAxesBelow(Axes, axis, t);
  t[axis - 1] = atMax ? Axes.Mot[axis].MaxPos : 0;
  return MoveTo(t, axis);
}

// ---- What the robot knows ------------------------------------------------------------

void TBrelRobot::MotorCommanded(int32_t motor, int32_t direction) {
  // A motor switched on outside a move (the panel, say) moves its axis without the
  // impulses being counted against a start: the axis's position is gone.
  if (direction == 1 || direction == 2) {
    for (int a = 1; a <= 8; ++a) {
      if (AxisUsed(a) && Axes.Mot[a].Motor == motor) {
        Axes.Mot[a].Position = kNotHomed;
        settled_[a].valid = false;
      }
    }
  }
  UpdateWatched();
  CheckGuard();
  guard_.Refresh();
}

void TBrelRobot::InputWordSeen(uint32_t word) {
  if (word == kInterfaceError) {
    if (!lineFailed_) LineFailed(MotorWord() != 0);
  } else {
    lineFailed_ = false;
    motorsTold_ = false;
  }
}

void TBrelRobot::LineFailed(bool motorsOn) {
  if (!lineFailed_) {
    // Nothing was counted while the line was down, and a device that comes back cannot
    // be told from a garbled line: the box may have been switched off or reset, the arm
    // moved by hand. No position survives that.
    lineFailed_ = true;
    ++lossEpoch_;
    for (int a = 1; a <= 8; ++a) {
      Axes.Mot[a].Position = kNotHomed;
      settled_[a].valid = false;
    }
    faults_.interfaceLost = true;
    ++faultCount_;
  }
  if (motorsOn && !motorsTold_) {
    motorsTold_ = true;
    faults_.motorsWereOn = true;
    ++faultCount_;
  }
}

void TBrelRobot::CountSinceSettled(int axis) {
  Settled& z = settled_[axis];
  if (!z.valid) return;
  z.valid = false;
  const uint32_t now = Counter(Axes.Mot[axis].ImpulseInput);
  if (now == z.count) return;
  const uint32_t more = now - z.count;
  TMot& a = Axes.Mot[axis];
  if (now > z.count && more <= kStrayUnits && (z.dir == 1 || z.dir == -1)) {
    a.Position += z.dir * static_cast<int32_t>(more);  // it ran down a little longer
  } else if (now > z.count && more <= kStrayUnits && z.dir == 2) {
    // Run down against its end stop: a closed switch zeroes it again below.
  } else if (a.Position != kNotHomed) {
    Strayed(static_cast<uint16_t>(1u << axis));
  }
}

// The settle pause, looked through: an axis its end switch stopped must still be on
// it when it has run down. Where it is not, the switch that stopped it was no switch
// (inputs that are not the box's), and its 0 is no position.
void TBrelRobot::SettleAndWatchSwitches(const bool stoppedBySwitch[9], int count) {
  uint32_t slept = 0;
  uint16_t lost = 0;
  while (slept < SettlePause) {
    const uint32_t step =
        LoopPause == 0 ? SettlePause - slept : std::min(LoopPause, SettlePause - slept);
    platform::Sleep(step);
    slept += step;
    const uint32_t in = InputWord();
    if (in == kInterfaceError) {
      InputWordSeen(in);
      return;
    }
    for (int f = 1; f <= count; ++f) {
      if (stoppedBySwitch[f] && (in & InputMaskOf(Axes.Mot[f].EndSwitch)) == 0)
        lost |= static_cast<uint16_t>(1u << f);
    }
  }
  if (lost != 0) Strayed(lost);
}

void TBrelRobot::Strayed(uint16_t axes) {
  // One axis that moved on its own was pushed; several at once are inputs that are not
  // the box's (a garbled line), and then no count of any axis is to be trusted.
  if ((axes & (axes - 1)) != 0) LineFailed(MotorWord() != 0);
  for (int a = 1; a <= 8; ++a) {
    if ((axes & (1u << a)) != 0) {
      Axes.Mot[a].Position = kNotHomed;
      settled_[a].valid = false;
    }
  }
  faults_.strayed |= axes;
  sinceMove_.strayed |= axes;
  ++faultCount_;
}

void TBrelRobot::CheckGuard() {
  const TMotionGuard::Findings f = guard_.Take();
  if (!f.Any()) return;
  if (f.lineFailed) LineFailed(f.motorsOnAtFailure);
  if (f.stalled != 0) {
    for (int a = 1; a <= 8; ++a) {
      if ((f.stalled & (1u << a)) != 0) Axes.Mot[a].Position = kNotHomed;
    }
    faults_.stalled |= f.stalled;
    ++faultCount_;
  }
  if (f.watchdog) {
    faults_.watchdog = true;
    ++faultCount_;
  }
  // A quiet axis that counts has moved without the program.
  const uint16_t strayed = f.strayed;
  if (strayed != 0) Strayed(strayed);
  sinceMove_.cutBits |= f.cutBits;
  sinceMove_.stalled |= f.stalled;
  sinceMove_.watchdog = sinceMove_.watchdog || f.watchdog;
  guard_.Refresh();
}

bool TBrelRobot::FaultPending() {
  CheckGuard();
  return faults_.Any();
}

uint32_t TBrelRobot::FaultCount() {
  CheckGuard();
  return faultCount_;
}

TBrelRobot::TFaults TBrelRobot::TakeFaults() {
  CheckGuard();
  const TFaults f = faults_;
  faults_ = {};
  return f;
}

void TBrelRobot::UpdateWatched(uint16_t downward) {
  // Well away from its switch: a switch closes within a unit or two of 0.
  constexpr int32_t kFarFromSwitch = 10;
  TMotionGuard::Watched w[8];
  int n = 0;
  for (int a = 1; a <= 8; ++a) {
    const TMot& m = Axes.Mot[a];
    if (!AxisUsed(a) || m.Motor < 1 || m.Motor > 8 || m.ImpulseInput < 1 || m.ImpulseInput > 16)
      continue;
    const bool far =
        m.Position != kNotHomed && m.Position > kFarFromSwitch && (downward & (1u << a)) == 0;
    w[n++] = {a, BitsOf(m.Motor), m.ImpulseInput, far ? InputMaskOf(m.EndSwitch) : 0u};
  }
  guard_.SetWatched(w, n);
}

}  // namespace kelvora::access
