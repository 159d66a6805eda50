#include "access/brel_robot.h"

#include "access/brel_consts.h"
#include "platform/clock.h"
#include "platform/gui_hooks.h"

namespace kelvora::access {
namespace {

constexpr int32_t kStatusAborted = 2;
constexpr int32_t kStatusError = static_cast<int32_t>(kInterfaceError);

enum class Drive : int8_t { kNone, kUp, kDown };

}  // namespace

TBrelRobot::TBrelRobot() = default;

// The interface object's destructor closes an open interface; the axis table goes with
// the members.
TBrelRobot::~TBrelRobot() = default;

uint32_t TBrelRobot::MoveTo(const int32_t targets[8], int count) {
  if (!Opened) return kInterfaceError;
  // The working arrays hold eight axes; a count outside 0..8 is refused, not clipped.
  if (count < 0 || count > 8 || (count > 0 && targets == nullptr)) return kInterfaceError;

  // Everything a move works on lives in fixed arrays on the stack: no allocation and no
  // floating point between the first and the last motor word.
  int32_t T[9] = {};
  int32_t S[9] = {};
  int32_t B[9] = {};
  bool phase[9] = {};
  Drive drive[9] = {};
  bool stoppedBySwitch[9] = {};
  for (int f = 1; f <= count; ++f) T[f] = targets[f - 1];

  TMot* const mot = Axes.Mot;
  uint32_t W = MotorWord();
  uint32_t W0 = W;

  // An input word that reports an interface error reads as every end switch closed,
  // which would zero the positions of the whole move. Stop the move's motors and leave
  // the positions alone instead, as an error at the start of a cycle does.
  uint32_t in = InputWord();
  if (in == kInterfaceError && count > 0) {
    for (int f = 1; f <= count; ++f) W0 &= ClearMaskOf(mot[f].Motor);
    SetMotorWord(W0);
    LastStatus = kStatusError;
    return kInterfaceError;
  }

  for (int f = 1; f <= count; ++f) {
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

  uint32_t run = W;
  SetMotorWord(W);  // all started motors start together

  // While this move runs, a nested StopMoving may switch its motors off.
  struct MoveMotors {
    uint32_t& bits;
    uint32_t outer;
    ~MoveMotors() { bits = outer; }
  } moveMotors{moveMotors_, moveMotors_};
  for (int f = 1; f <= count; ++f) moveMotors_ |= ~ClearMaskOf(mot[f].Motor) & 0xFFFFu;

  while (run != W0) {
    if (AbortRequested()) {
      SetMotorWord(W0);
      LastStatus = kStatusAborted;
      return kInterfaceError;
    }
    if (InputWord() == kInterfaceError) {
      SetMotorWord(W0);
      LastStatus = kStatusError;
      return kInterfaceError;
    }
    platform::Sleep(LoopPause);
    platform::CurrentGuiHooks().ProcessMessages();
    // What the previous cycle decided; but a handler that stopped the move meanwhile (a
    // HALT, a release, a shutdown) may have switched the motors off already, and writing
    // W now would start them again until the abort test below.
    if (!StopFlag) SetMotorWord(W);

    in = InputWord();
    for (int f = 1; f <= count; ++f) {
      TMot& a = mot[f];
      const int32_t m = a.Motor;
      const uint32_t right = RightMaskOf(m);
      const uint32_t left = LeftMaskOf(m);
      const int32_t k = static_cast<int32_t>(Counter(a.ImpulseInput));
      if ((run & right) != 0) {
        a.Position = S[f] + k;
        if (a.Position >= B[f]) {  // creep: off and on in alternate cycles
          if (phase[f]) {
            W |= right;
            phase[f] = false;
          } else {
            W &= ClearMaskOf(m);
            phase[f] = true;
          }
        }
        if (a.Position >= T[f]) {
          W &= ClearMaskOf(m);
          run = W;
        }
      } else if ((run & left) != 0) {
        a.Position = S[f] - k;
        if (a.Position <= B[f]) {
          if (phase[f]) {
            W |= left;
            phase[f] = false;
          } else {
            W &= ClearMaskOf(m);
            phase[f] = true;
          }
        }
        if (a.Position <= T[f]) {
          W &= ClearMaskOf(m);
          run = W;
        }
        // An error word is no closed switch: the next cycle's error test ends the move.
        if (in != kInterfaceError && (in & InputMaskOf(a.EndSwitch)) != 0) {
          a.Position = 0;
          stoppedBySwitch[f] = true;
          W &= ClearMaskOf(m);
          run = W;
        }
      }
    }
    if (OnMoveStep) OnMoveStep(*this);
  }

  SetMotorWord(W0);
  platform::Sleep(SettlePause);

  // Final pass. The counters now include the run-down after the motors went off.
  for (int f = 1; f <= count; ++f) {
    TMot& a = mot[f];
    const int32_t k = static_cast<int32_t>(Counter(a.ImpulseInput));
    if (stoppedBySwitch[f]) {
      a.Position = 0;  // the switch is the zero reference
    } else if (a.Position == T[f]) {
      // Arrived exactly: units counted while settling are not added.
    } else if (drive[f] == Drive::kUp) {
      // Stopped short, or passed the target: either way the count says where it is.
      a.Position = S[f] + k;
    } else if (drive[f] == Drive::kDown) {
      a.Position = S[f] - k;
    } else {
      a.Position = S[f] < T[f] ? S[f] + k : S[f] - k;
    }
  }

  platform::CurrentGuiHooks().ProcessMessages();
  const uint32_t w = InputWord();
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
  int32_t t[9];
  for (int i = 1; i <= 8; ++i) t[i] = Axes.Mot[i].MaxPos < kNotHomed ? kToEndSwitch : kNotGiven;
  const uint32_t r = MoveToPositions(t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8]);
  // Wherever the axes stand now is the new zero, also after an abort or an error.
  for (int i = 1; i <= 8; ++i) Axes.Mot[i].Position = 0;
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

}  // namespace kelvora::access
