// SPDX-License-Identifier: MIT
#include "calls.h"

#include <pybind11/pybind11.h>
#include <signal.h>

#include "access/brel_consts.h"
#include "access/brel_face.h"
#include "access/brel_robot.h"
#include "platform/clock.h"
#include "platform/gui_hooks.h"

namespace kelvora::python {
namespace {

std::atomic<unsigned long> gMainThread{0};
thread_local RunningCall* tCall = nullptr;

// The robot's waits and moves call these once per control cycle; the running call on
// this thread decides. Outside a call (nothing moves) they do nothing.
class PythonHooks final : public platform::GuiHooks {
 public:
  void ProcessMessages() override {
    if (tCall != nullptr) tCall->Poll();
  }
  bool EscPressed() override { return tCall != nullptr && tCall->AbortWanted(); }
};

PythonHooks gHooks;

// Ctrl+C during a call on the main thread: the interpreter's own handler only notes the
// signal, and the call sees it at its next control cycle. Chained in front of it, this
// one switches the motors off the moment the signal comes (one atomic store, safe in a
// handler) and marks the call, so that its next abort test ends the move.
std::atomic<uint32_t*> gCtrlCMotorWord{nullptr};
std::atomic<bool> gCtrlC{false};
struct sigaction gInterpreterSigint;

extern "C" void OnCtrlC(int sig, siginfo_t* info, void* context) {
  if (uint32_t* word = gCtrlCMotorWord.load(std::memory_order_acquire))
    std::atomic_ref<uint32_t>(*word).store(0, std::memory_order_relaxed);
  gCtrlC.store(true, std::memory_order_relaxed);
  if (gInterpreterSigint.sa_flags & SA_SIGINFO)
    gInterpreterSigint.sa_sigaction(sig, info, context);
  else if (gInterpreterSigint.sa_handler != SIG_DFL && gInterpreterSigint.sa_handler != SIG_IGN)
    gInterpreterSigint.sa_handler(sig);
}

void ChainCtrlC(uint32_t* motorWord) {
  struct sigaction ours {};
  if (::sigaction(SIGINT, nullptr, &gInterpreterSigint) != 0) return;
  gCtrlC.store(false, std::memory_order_relaxed);
  gCtrlCMotorWord.store(motorWord, std::memory_order_release);
  ours.sa_sigaction = OnCtrlC;
  ours.sa_flags = (gInterpreterSigint.sa_flags | SA_SIGINFO) & ~SA_RESETHAND;
  ours.sa_mask = gInterpreterSigint.sa_mask;
  ::sigaction(SIGINT, &ours, nullptr);
}

void UnchainCtrlC() {
  gCtrlCMotorWord.store(nullptr, std::memory_order_release);
  struct sigaction now {};
  // A handler installed meanwhile (by a signal handler run in the call) stays.
  if (::sigaction(SIGINT, nullptr, &now) == 0 && (now.sa_flags & SA_SIGINFO) &&
      now.sa_sigaction == OnCtrlC)
    ::sigaction(SIGINT, &gInterpreterSigint, nullptr);
}

}  // namespace

bool CtrlCRaisesKeyboardInterrupt() {
  namespace py = pybind11;
  const py::module_ signal = py::module_::import("signal");
  return signal.attr("getsignal")(signal.attr("SIGINT")).is(signal.attr("default_int_handler"));
}

void PendingError::Raise() {
  PyErr_Restore(type, value, traceback);
  type = value = traceback = nullptr;
  throw pybind11::error_already_set();
}

void PendingError::Clear() {
  Py_CLEAR(type);
  Py_CLEAR(value);
  Py_CLEAR(traceback);
}

bool OnMainThread() {
  return PyThread_get_thread_ident() == gMainThread.load(std::memory_order_relaxed);
}

void NoteMainThread() {
  namespace py = pybind11;
  const auto ident = py::module_::import("threading").attr("main_thread")().attr("ident");
  gMainThread.store(ident.cast<unsigned long>(), std::memory_order_relaxed);
}

void InstallHooks() {
  platform::SetGuiHooks(&gHooks);
}

bool InsideCall() {
  return tCall != nullptr;
}

bool InsideCallOn(const CallState& state) {
  for (const RunningCall* c = tCall; c != nullptr; c = c->Outer())
    if (&c->State() == &state) return true;
  return false;
}

RunningCall::RunningCall(access::TBrelFace& face, access::TBrelRobot* robot, CallState& state,
                         uint32_t stopsAtEntry, bool mainThread, bool ctrlC,
                         std::optional<uint32_t> timeoutMs)
    : face_(face),
      robot_(robot),
      state_(state),
      outer_(tCall),
      stopsAtEntry_(stopsAtEntry),
      mainThread_(mainThread),
      ctrlC_(ctrlC),
      timeoutMs_(timeoutMs),
      startTick_(platform::GetTickCount()) {
  tCall = this;
  if (ctrlC_) ChainCtrlC(&face_.Record.MotorWord);
}

RunningCall::~RunningCall() {
  if (ctrlC_) UnchainCtrlC();
  tCall = outer_;
  if (pending_.Set()) {
    // Only when Finish never ran (an exception of the core): let go of the references.
    PyGILState_STATE gil = PyGILState_Ensure();
    pending_.Clear();
    PyGILState_Release(gil);
  }
}

void RunningCall::Poll() {
  // Signal handlers run on the main thread only, and only with the GIL: taken briefly,
  // once a cycle. A handler that raises (Ctrl+C: KeyboardInterrupt) ends the call, and
  // its exception is raised when the call has returned.
  if (mainThread_ && !pending_.Set()) {
    PyGILState_STATE gil = PyGILState_Ensure();
    if (PyErr_CheckSignals() != 0)
      PyErr_Fetch(&pending_.type, &pending_.value, &pending_.traceback);
    PyGILState_Release(gil);
  }
  // Unsigned difference: the tick count's wrap does no harm.
  if (timeoutMs_ && !timedOut_ && platform::GetTickCount() - startTick_ >= *timeoutMs_)
    timedOut_ = true;
  if (AbortWanted()) Abort();
  if (robot_ != nullptr) NotePositions(state_, *robot_);
}

void NotePositions(CallState& state, const access::TBrelRobot& robot) {
  for (int axis = 1; axis <= 8; ++axis)
    state.positions[axis].store(robot.Axes.Mot[axis].Position, std::memory_order_relaxed);
}

uint16_t UnknownAxes(const access::TBrelRobot& robot) {
  uint16_t unknown = 0;
  for (int axis = 1; axis <= 8; ++axis) {
    if (robot.AxisUsed(axis) && robot.Axes.Mot[axis].Position == access::kNotHomed)
      unknown |= static_cast<uint16_t>(1u << axis);
  }
  return unknown;
}

bool RunningCall::StopWanted() const {
  return pending_.Set() || (ctrlC_ && gCtrlC.load(std::memory_order_relaxed)) ||
         state_.stops.load(std::memory_order_relaxed) != stopsAtEntry_ ||
         state_.closeWanted.load(std::memory_order_relaxed);
}

bool RunningCall::AbortWanted() const {
  return timedOut_ || StopWanted();
}

void RunningCall::Abort() {
  // As HALT does: the move below ends at its next abort test, its motors off at once.
  face_.StopFlag = true;
  if (robot_ != nullptr) robot_->StopMoving();
  // A stop or a signal switches every motor off, not only the move's: the gripper's extra
  // motor and the outputs too. A time limit (the end of a jog) is only a release.
  if (StopWanted()) face_.SetMotorWord(0);
}

CallEnd RunningCall::Finish() {
  // A signal that came after the last cycle (during the settle pause) counts as well.
  Poll();
  CallEnd end;
  end.stopped = StopWanted() && !pending_.Set();
  end.timedOut = timedOut_;
  end.lastStatus = face_.LastStatus;
  // The abort paths restore the motor word the move started from: a stop means all off,
  // and so does a failed interface (the driver sends it once the box answers again).
  if (StopWanted() || end.lastStatus == static_cast<int32_t>(access::kInterfaceError))
    face_.ClearMotors();
  if (robot_ != nullptr) {
    // Whatever went wrong, every motor off: the extra motor and the outputs too.
    if (robot_->FaultPending()) robot_->ClearMotors();
    end.faults = robot_->TakeFaults();
    end.unknownAxes = UnknownAxes(*robot_);
    NotePositions(state_, *robot_);
  }
  end.pending = pending_;
  pending_ = {};
  return end;
}

}  // namespace kelvora::python
