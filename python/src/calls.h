// SPDX-License-Identifier: MIT
// The calls of the Python module that wait or move, and everything that may end them
// early: stop() from any thread, a signal the interpreter has to handle (Ctrl+C is a
// KeyboardInterrupt), and a time limit. A call runs with the GIL released, so that other
// Python threads go on meanwhile; the robot's moves and waits let the GUI hooks run once
// per control cycle, and the module's hooks are where a call sees what should end it.
#pragma once

#include <Python.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "access/brel_robot.h"

namespace kelvora::python {

// What the calls on one interface share with stop() and close(), which may come from any
// thread.
struct CallState {
  std::mutex callMutex;  // one call at a time; never waited for while holding the GIL
  std::atomic<bool> open{false};
  // Counts stop() requests; a call ends early when it changed since the call was made.
  std::atomic<uint32_t> stops{0};
  // A close asked for from inside a running call on the same thread (a signal handler):
  // done when that call returns.
  std::atomic<bool> closeWanted{false};
  // The robot's positions as the running call last saw them ([1..8]): what another
  // thread reads, since the moves write the axis table without locks.
  std::atomic<int32_t> positions[9]{};
};

// A Python exception caught inside a call (from a signal handler), to be raised when the
// call has returned. Holds references: touch only with the GIL.
struct PendingError {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  bool Set() const { return type != nullptr; }
  // Raises it (throws pybind11::error_already_set).
  [[noreturn]] void Raise();
  void Clear();
};

// How a call ended, for the code that raises (with the GIL).
struct CallEnd {
  bool stopped = false;   // stop() or close() ended it
  bool timedOut = false;  // its time limit ran out
  int32_t lastStatus = 0;
  PendingError pending;
  // An error of the program's core (a line that does not convert, say), already worded;
  // and anything else that went wrong inside (raised as RuntimeError).
  std::string coreError;
  std::string runtimeError;
  // What the robot recorded as gone wrong (robot calls only), taken from it so that each
  // fault is raised once. before: recorded while no call ran (the line found failed at
  // the call's start), and the call did nothing.
  access::TBrelRobot::TFaults faults;
  bool faultsBefore = false;
  // Bit a: axis a (in use) is not established when the call ends.
  uint16_t unknownAxes = 0;

  // A time limit ran out and nothing else ended the call: a wait that did not see its
  // input, a jog released.
  bool OnlyTimedOut() const {
    return timedOut && lastStatus == 2 && !stopped && !pending.Set() && !faults.Any();
  }
};

// The robot's positions as another thread may read them ([1..8]), and which axes in use
// are not established.
void NotePositions(CallState& state, const access::TBrelRobot& robot);
uint16_t UnknownAxes(const access::TBrelRobot& robot);

// True on the interpreter's main thread, the only one that runs signal handlers.
bool OnMainThread();
// True when Ctrl+C raises KeyboardInterrupt (the interpreter's own handler is in place);
// with the GIL.
bool CtrlCRaisesKeyboardInterrupt();
// Remembers the main thread (at import).
void NoteMainThread();
// Installs the module's GUI hooks (at import).
void InstallHooks();
// True while this thread is inside a running call (its signal handler runs there), and
// whether that call is one on state.
bool InsideCall();
bool InsideCallOn(const CallState& state);

// One running call, on the thread that made it, between the start and the end of the
// robot operation; made with the GIL released and the state's call mutex held. While it
// exists the hooks test it once per control cycle.
class RunningCall {
 public:
  // stopsAtEntry: CallState::stops when the call was made, before it waited for the mutex.
  // ctrlC: on the main thread, with Ctrl+C raising KeyboardInterrupt: a Ctrl+C switches
  // every motor off the moment it comes, before the interpreter runs its handler.
  RunningCall(access::TBrelFace& face, access::TBrelRobot* robot, CallState& state,
              uint32_t stopsAtEntry, bool mainThread, bool ctrlC,
              std::optional<uint32_t> timeoutMs);
  ~RunningCall();
  RunningCall(const RunningCall&) = delete;
  RunningCall& operator=(const RunningCall&) = delete;

  // Once per control cycle (the message pump): a signal, a stop, the time limit.
  void Poll();
  // The abort test's other half (where the GUI tests Esc).
  bool AbortWanted() const;
  // Whether the call has to end early, and whether every motor has to be off then.
  bool StopWanted() const;
  bool TimedOut() const { return timedOut_; }
  const CallState& State() const { return state_; }
  const RunningCall* Outer() const { return outer_; }
  // After the operation: every motor off when a stop or a signal ended it; the outcome.
  CallEnd Finish();

 private:
  void Abort();

  access::TBrelFace& face_;
  access::TBrelRobot* robot_;
  CallState& state_;
  RunningCall* outer_;
  uint32_t stopsAtEntry_;
  bool mainThread_;
  bool ctrlC_;
  std::optional<uint32_t> timeoutMs_;
  uint32_t startTick_;
  bool timedOut_ = false;
  PendingError pending_;
};

}  // namespace kelvora::python
