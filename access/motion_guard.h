// SPDX-License-Identifier: MIT
// TMotionGuard: what keeps a motor from running on unwatched. It runs on a timer of its
// own, outside the window thread, and only while something moves:
//
// - Watchdog: while a movement's control loop runs, the loop beats once per cycle. When
//   no beat has come for kWatchdogMs (a drag, a context menu, a native dialog or a stuck
//   handler is running its own event loop on top of the move), the guard switches the
//   movement's motors off in the record itself, so the driver's next poll sends that.
// - Stall guard: an axis whose motor is on and whose impulse counter does not change
//   for kStallOnMs of driven time (a stuck impulse switch, an axis against its stop, an
//   impulse input the driver does not count) has its motor switched off.
// - An axis whose motor is off and has run down but which still counts impulses moved
//   without the program: it is reported, so that its position can be given up.
//
// The guard only ever switches motors off; what that means for the positions and what
// the user is told is the robot object's business on the window thread, which takes
// the guard's findings with Take().
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace kelvora::access {

class TBrelFace;

// A movement whose control cycle has not run for this long is stopped.
inline constexpr uint32_t kWatchdogMs = 100;

// Driven time without an impulse after which an axis counts as stalled. The positioning
// assumes an axis gains at most one unit per 10 ms control cycle at full power, and in
// its creep zone the motor is on only in every other cycle. So a healthy axis sees an
// impulse within a few cycles of driving; 1000 ms of driving (100 driven cycles, at
// least twenty times the slowest creep of a healthy axis) without one means it is not
// moving. Counting only the time the motor is actually on keeps a creeping axis to the
// same limit; in wall time that is at most 2 s (a stalled axis creeping at half power).
inline constexpr uint32_t kStallOnMs = 1000;

// An axis whose motor has been off this long has run down; impulses counted after that
// mean it moved without the program (pushed by hand, or inputs that are not the box's).
inline constexpr uint32_t kQuietMs = 300;
// More units than this counted on a quiet axis: its position is gone.
inline constexpr uint32_t kStrayUnits = 2;

// How often the guard looks: fine enough that a trip is sent within one poll period
// after the limit.
inline constexpr uint32_t kGuardPeriodMs = 1;

class TMotionGuard {
 public:
  // One axis the stall guard watches: its motor's two bits and its impulse input.
  struct Watched {
    int axis = 0;  // 1..8
    uint32_t motorBits = 0;
    int impulseInput = 0;  // 1..16
    // Its end switch's input bit where the switch cannot close now: the axis stands
    // well away from it and is not driven toward it. Closed all the same, the inputs
    // are not the box's. 0: not looked at.
    uint32_t switchBit = 0;
  };

  // What the guard did since the last Take().
  struct Findings {
    uint32_t cutBits = 0;            // motor bits it switched off
    bool watchdog = false;           // a movement's control cycle stopped running
    uint16_t stalled = 0;            // bit a: axis a stalled
    uint16_t strayed = 0;            // bit a: axis a moved with its motor off
    bool lineFailed = false;         // the input word read as an interface error
    bool motorsOnAtFailure = false;  // ... while a motor was on
    bool Any() const {
      return cutBits != 0 || watchdog || stalled != 0 || strayed != 0 || lineFailed;
    }
  };

  explicit TMotionGuard(TBrelFace& face);
  ~TMotionGuard();
  TMotionGuard(const TMotionGuard&) = delete;
  TMotionGuard& operator=(const TMotionGuard&) = delete;

  // ---- Window thread ----
  // The axes the stall guard watches (at most 8).
  void SetWatched(const Watched* axes, int count);
  // A movement's control loop starts: its motors, beat now.
  void BeginMove(uint32_t motorBits);
  // Once per control cycle, right before the cycle lets messages run.
  void Beat();
  // The control loop has ended (its motors are off).
  void EndMove();
  // Runs the guard while a movement runs or a watched axis's motor is on, and stops it
  // otherwise, so that it costs nothing while nothing moves. Called after every motor
  // command.
  void Refresh();
  bool Running() const { return timerId_ != 0; }
  // Cheap test for the control loop: has the guard switched anything off?
  bool Tripped() const { return tripped_.load(); }
  // Hands over and forgets the findings.
  Findings Take();

  // ---- Guard timer ----
  void Tick();

 private:
  bool AnyWatchedMotorOn() const;
  void Cut(uint32_t bits);

  TBrelFace& face_;
  std::atomic<bool> moveArmed_{false};
  std::atomic<uint32_t> moveBits_{0};
  std::atomic<uint32_t> lastBeat_{0};
  std::atomic<bool> tripped_{false};
  uint32_t timerId_ = 0;  // window thread only

  // The tick's state and the findings; the window thread reads and writes them under
  // the lock too.
  mutable std::mutex mutex_;
  Watched watched_[8] = {};
  int watchedCount_ = 0;
  uint32_t lastCount_[8] = {};
  uint32_t onMs_[8] = {};
  uint32_t lastOn_[8] = {};  // tick the motor was last seen on (or the guard first looked)
  bool seen_[8] = {};
  uint32_t stray_[8] = {};
  uint32_t lastTick_ = 0;
  bool ticked_ = false;
  Findings findings_;
};

}  // namespace kelvora::access
