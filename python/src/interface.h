// SPDX-License-Identifier: MIT
// The interface as the Python module holds it: one TBrelFace (or TBrelRobot) with its
// call state, and kelvora.Interface, the driver on one port.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "access/brel_face.h"
#include "app/script.h"
#include "calls.h"

namespace kelvora::python {

// One open interface. Shared between its Python object and the list of open interfaces
// that the interpreter's exit closes, so that neither outlives the other's use of it.
class Core : public std::enable_shared_from_this<Core> {
 public:
  Core(std::unique_ptr<access::TBrelFace> face, access::TBrelRobot* robot, std::string port);
  ~Core();
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  access::TBrelFace& Face() { return *face_; }
  access::TBrelRobot* Robot() { return robot_; }
  CallState& State() { return state_; }
  const std::string& Port() const { return port_; }
  // The device the port reached when it was opened ("" where none is known).
  const std::string& Device() const { return device_; }
  bool IsOpen() const { return state_.open.load(); }

  // Opens the interface on the port (GIL held); kelvora.InterfaceError when it fails.
  // device, when not empty, is mapped to the port for this open only.
  void Open(const std::string& device = {});
  // InterfaceError when the interface is closed.
  void CheckOpen() const;

  // Runs op(RunningCall&) as a call that may wait: the GIL released, one call at a time,
  // ended early by a stop, a signal or the time limit. Returns how it ended.
  template <class Op>
  CallEnd Run(Op&& op, std::optional<uint32_t> timeoutMs = {});

  // For a reader of the robot's positions (GIL held, never waits): when no call runs,
  // takes in what the motion guard did and looks at the line, so that positions lost
  // meanwhile read as not established; during a call the call keeps them up to date.
  void Refresh();

  // From any thread: the running call ends, every motor off at the driver's next poll.
  void Stop();
  // Every motor off, the driver given time to send that, the port closed. Idempotent.
  // releaseGil false: for a destructor, which must not let other threads in.
  void Close(bool releaseGil = true);

  // Closes every interface still open (at the interpreter's exit).
  static void CloseAll();

 private:
  void CloseLocked();

  std::unique_ptr<access::TBrelFace> face_;
  access::TBrelRobot* robot_;
  std::string port_;
  std::string device_;
  CallState state_;
};

// A call made from a signal handler that runs inside another call on this thread would
// wait for that call forever.
[[noreturn]] void ThrowNestedCall();

template <class Op>
CallEnd Core::Run(Op&& op, std::optional<uint32_t> timeoutMs) {
  if (InsideCall()) ThrowNestedCall();
  const uint32_t stops = state_.stops.load(std::memory_order_relaxed);
  const bool mainThread = OnMainThread();
  const bool ctrlC = mainThread && CtrlCRaisesKeyboardInterrupt();
  CallEnd end;
  {
    pybind11::gil_scoped_release nogil;
    std::lock_guard lock(state_.callMutex);
    if (!IsOpen()) {
      end.lastStatus = 1;
      return end;
    }
    if (robot_ != nullptr) {
      // A fault recorded while no call ran (the line failed since the last look) is this
      // call's to raise, before anything moves on positions that went with it.
      robot_->GetInputs();
      if (robot_->FaultPending()) {
        end.faults = robot_->TakeFaults();
        end.faultsBefore = true;
        end.lastStatus = face_->LastStatus;
        end.unknownAxes = UnknownAxes(*robot_);
        NotePositions(state_, *robot_);
        return end;
      }
    }
    RunningCall call(*face_, robot_, state_, stops, mainThread, ctrlC, timeoutMs);
    std::string coreError, runtimeError;
    try {
      op(call);
    } catch (const app::ScriptError& e) {
      coreError = e.what();
    } catch (const std::exception& e) {
      runtimeError = e.what();
    }
    end = call.Finish();
    end.coreError = coreError;
    end.runtimeError = runtimeError;
    if (state_.closeWanted.load(std::memory_order_relaxed)) CloseLocked();
  }
  return end;
}

// kelvora.Interface.
class Interface {
 public:
  Interface(const std::string& port, int inputs);
  ~Interface();

  void SetMotor(int motor, int direction);
  void SetOutput(int output, bool on);
  bool Input(int input);
  uint32_t Inputs();
  uint32_t Counter(int input);
  bool WaitForInput(int input, bool state, std::optional<double> timeout);
  void Close() { core_->Close(); }
  bool Closed() const { return !core_->IsOpen(); }
  const std::string& Port() const { return core_->Port(); }

 private:
  int InputCount() const;
  int MotorCount() const;
  // After a motor command: InterfaceError, every motor off, when another thread closed
  // the interface meanwhile.
  void CheckStillOpen();
  // InterfaceError when the box no longer answers (every motor switched off first).
  void CheckAnswer(uint32_t word);

  std::shared_ptr<Core> core_;
};

// A number of the seconds a call may take: none, or 0 and above (ValueError otherwise);
// in milliseconds.
std::optional<uint32_t> TimeoutMs(std::optional<double> seconds, const char* name);
// ValueError unless lo <= value <= hi.
void CheckRange(const char* what, long long value, long long lo, long long hi);

void BindInterface(pybind11::module_& m);

}  // namespace kelvora::python
