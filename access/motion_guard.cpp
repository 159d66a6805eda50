// SPDX-License-Identifier: MIT
#include "access/motion_guard.h"

#include "access/brel_consts.h"
#include "access/brel_face.h"
#include "platform/clock.h"

namespace kelvora::access {
namespace {

void GuardTick(void* self) {
  static_cast<TMotionGuard*>(self)->Tick();
}

// Exactly one direction bit: both bits or neither is a motor that is off.
bool MotorOn(uint32_t word, uint32_t bits) {
  const uint32_t b = word & bits;
  return b != 0 && b != bits;
}

}  // namespace

TMotionGuard::TMotionGuard(TBrelFace& face) : face_(face) {}

TMotionGuard::~TMotionGuard() {
  if (timerId_ != 0) platform::CurrentClock().StopTimer(timerId_);
}

void TMotionGuard::SetWatched(const Watched* axes, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count < 0) count = 0;
  if (count > 8) count = 8;
  for (int i = 0; i < count; ++i) {
    if (watched_[i].axis != axes[i].axis || watched_[i].impulseInput != axes[i].impulseInput ||
        i >= watchedCount_) {
      lastCount_[i] = face_.Counter(axes[i].impulseInput);
      onMs_[i] = 0;
      seen_[i] = false;
    }
    watched_[i] = axes[i];
  }
  watchedCount_ = count;
}

void TMotionGuard::BeginMove(uint32_t motorBits) {
  moveBits_.store(motorBits);
  lastBeat_.store(platform::GetTickCount());
  moveArmed_.store(true);
  Refresh();
}

void TMotionGuard::Beat() {
  lastBeat_.store(platform::GetTickCount());
}

void TMotionGuard::EndMove() {
  moveArmed_.store(false);
  moveBits_.store(0);
  Refresh();
}

bool TMotionGuard::AnyWatchedMotorOn() const {
  const uint32_t word = face_.MotorWord();
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 0; i < watchedCount_; ++i) {
    if (MotorOn(word, watched_[i].motorBits)) return true;
  }
  return false;
}

void TMotionGuard::Refresh() {
  const bool wanted = moveArmed_.load() || AnyWatchedMotorOn();
  if (wanted && timerId_ == 0) {
    {
      // Driven and quiet time count from the first tick on; what was counted while the
      // guard slept is the robot object's to judge when its next move starts.
      std::lock_guard<std::mutex> lock(mutex_);
      ticked_ = false;
      // Quiet time goes on across a pause of the guard: it only pauses while no watched
      // motor is on.
      for (int i = 0; i < watchedCount_; ++i) {
        lastCount_[i] = face_.Counter(watched_[i].impulseInput);
        stray_[i] = 0;
      }
    }
    timerId_ = platform::CurrentClock().StartTimer(kGuardPeriodMs, &GuardTick, this);
  } else if (!wanted && timerId_ != 0) {
    const uint32_t id = timerId_;
    timerId_ = 0;
    platform::CurrentClock().StopTimer(id);  // not under the lock: a tick may be waiting for it
  }
}

TMotionGuard::Findings TMotionGuard::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  const Findings f = findings_;
  findings_ = {};
  tripped_.store(false);
  return f;
}

void TMotionGuard::Cut(uint32_t bits) {
  face_.CutMotors(bits);
  findings_.cutBits |= bits;
  tripped_.store(true);
}

void TMotionGuard::Tick() {
  const uint32_t now = platform::GetTickCount();
  std::lock_guard<std::mutex> lock(mutex_);
  const uint32_t word = face_.MotorWord();

  const uint32_t in = face_.InputWord();
  if (in == kInterfaceError) {
    // Seen from here too, because the window thread may not be running: a box that no
    // longer hears us may keep whatever it was told last.
    findings_.lineFailed = true;
    if (word != 0) findings_.motorsOnAtFailure = true;
  } else {
    for (int i = 0; i < watchedCount_; ++i) {
      if ((in & watched_[i].switchBit) != 0)
        findings_.strayed |= static_cast<uint16_t>(1u << watched_[i].axis);
    }
  }

  if (moveArmed_.load() && now - lastBeat_.load() >= kWatchdogMs) {
    moveArmed_.store(false);
    findings_.watchdog = true;
    Cut(moveBits_.load());
  }

  const uint32_t elapsed = ticked_ ? now - lastTick_ : 0;
  lastTick_ = now;
  ticked_ = true;
  for (int i = 0; i < watchedCount_; ++i) {
    const Watched& w = watched_[i];
    const uint32_t count = face_.Counter(w.impulseInput);
    const bool on = MotorOn(word, w.motorBits);
    const bool changed = count != lastCount_[i];
    if (!seen_[i]) {
      seen_[i] = true;  // quiet from now on, as far as the guard knows
      lastOn_[i] = now;
    }
    if (changed) {
      // A count below the last one is a move resetting the counter, no movement.
      if (count > lastCount_[i] && !on && now - lastOn_[i] >= kQuietMs) {
        stray_[i] += count - lastCount_[i];
        if (stray_[i] > kStrayUnits) {
          stray_[i] = 0;
          findings_.strayed |= static_cast<uint16_t>(1u << w.axis);
        }
      }
      lastCount_[i] = count;
      onMs_[i] = 0;
    }
    if (!on) continue;
    lastOn_[i] = now;
    stray_[i] = 0;
    if (changed) continue;
    onMs_[i] += elapsed;
    if (onMs_[i] >= kStallOnMs) {
      onMs_[i] = 0;
      findings_.stalled |= static_cast<uint16_t>(1u << w.axis);
      Cut(w.motorBits);
    }
  }
}

}  // namespace kelvora::access
