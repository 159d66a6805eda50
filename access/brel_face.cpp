// SPDX-License-Identifier: MIT
#include "access/brel_face.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "access/brel_consts.h"
#include "platform/clock.h"
#include "platform/gui_hooks.h"
#include "platform/os_family.h"

namespace kelvora::access {
namespace {

// The driver's timer thread writes the input word, the analog values and the counters
// while the GUI thread reads them; every shared word goes through an atomic reference.
uint32_t Load(const uint32_t& field) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(field)).load(std::memory_order_relaxed);
}
void Store(uint32_t& field, uint32_t value) {
  std::atomic_ref<uint32_t>(field).store(value, std::memory_order_relaxed);
}

// How long a close waits beyond its four polls for an exchange that carries the cleared
// motor word to the box.
constexpr uint32_t kCloseWaitMs = 1000;

}  // namespace

int32_t CheckPortName(const std::string& name) {
  // Upper-case a copy byte by byte (ASCII only: no locale may change what a port is).
  std::string up = name;
  for (char& c : up) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (up == "LPT") return 1;
  if (up.size() == 4 && up[3] >= '1' && up[3] <= '9') {
    const std::string head = up.substr(0, 3);
    if (head == "COM") return 2;
    if (head == "LPT" && up[3] <= '3') return 1;
  }
  return 0;
}

TBrelFace::TBrelFace() {
  Record.InputCount = 8;
  Record.PollInterval = 10;
  OsKind = platform::PlatformFamilyKind();
}

TBrelFace::~TBrelFace() {
  if (Load(Record.Handle) != 0) CloseInterface();
}

uint32_t TBrelFace::OpenInterface(const std::string& portName) {
  // A second open on a live record would leave the first port and its timer running
  // on the same record; close it properly first.
  if (Load(Record.Handle) != 0) CloseInterface();
  ActivePort = "NONE";
  Opened = false;
  LastStatus = 1;
  OpenError = 0;
  PortKind = CheckPortName(portName);
  if (PortKind == 0) {
    OpenError = EINVAL;
    return kInterfaceError;
  }
  const uint32_t r = static_cast<uint32_t>(zqOpenInterface(&Record, portName.c_str()));
  if (r == kInterfaceError) {
    OpenError = errno;  // the driver's reason; read before anything else can change it
    return r;
  }
  ActivePort = portName;
  cut_.store(0);
  SetMotorWord(0);
  ClearStopFlag();
  Opened = true;
  LastStatus = 0;
  MotorCommanded(0, 0);
  return r;
}

uint32_t TBrelFace::CloseInterface() {
  if (Load(Record.Handle) == 0) return kInterfaceError;
  SetMotorWord(0);
  // The timer is still running and carries the cleared motor word to the box meanwhile.
  platform::Sleep(4 * Record.PollInterval);
  // Unless those exchanges failed (a loose line, a machine too busy for the replies to
  // come in time): the box may then still be running a motor. The close waits, for a
  // while, for an exchange that came through.
  const uint32_t period = std::max<uint32_t>(Record.PollInterval, 1);
  for (uint32_t waited = 0; InputWord() == kInterfaceError && waited < kCloseWaitMs;
       waited += period)
    platform::Sleep(period);
  // The timer lives inside the library, which kills it itself in zqCloseInterface.
  const uint32_t r = static_cast<uint32_t>(zqCloseInterface(&Record));
  Opened = false;
  ActivePort = "NONE";
  MotorCommanded(0, 0);
  return r;
}

uint32_t TBrelFace::ClearMotors() {
  SetMotorWord(0);
  MotorCommanded(0, 0);
  return InputWord();
}

uint32_t TBrelFace::SetMotor(int32_t motor, int32_t direction) {
  if (!Opened) return kInterfaceError;
  // A new command for this motor: what the guard switched off may run again.
  if (direction == 1 || direction == 2) AllowMotors(LeftMaskOf(motor) | RightMaskOf(motor));
  const uint32_t r = static_cast<uint32_t>(zqSetMotor(&Record, motor, direction));
  // The driver wrote the word itself; a cut made meanwhile still holds.
  SetMotorWord(MotorWord());
  LastStatus = r == kInterfaceError ? static_cast<int32_t>(kInterfaceError) : 0;
  MotorCommanded(motor, direction);
  return r;
}

uint32_t TBrelFace::GetInputs() {
  platform::CurrentGuiHooks().ProcessMessages();
  if (!Opened) return kInterfaceError;
  const uint32_t w = InputWord();
  InputWordSeen(w);
  LastStatus = w == kInterfaceError ? static_cast<int32_t>(kInterfaceError) : 0;
  return w;
}

bool TBrelFace::GetInput(int32_t input) {
  platform::CurrentGuiHooks().ProcessMessages();
  if (!Opened) return false;
  const uint32_t w = InputWord();
  InputWordSeen(w);
  LastStatus = w == kInterfaceError ? static_cast<int32_t>(kInterfaceError) : 0;
  return (w & InputMaskOf(input)) != 0;
}

uint32_t TBrelFace::GetAnalog(int32_t index) {
  platform::CurrentGuiHooks().ProcessMessages();
  if (!Opened) return kInterfaceError;
  if (index != 0 && index != 1) return kInterfaceError;  // there are two analog inputs
  const uint32_t v = index == 0 ? AnalogX() : AnalogY();
  LastStatus = v == kInterfaceError ? static_cast<int32_t>(kInterfaceError) : 0;
  return v;
}

bool TBrelFace::AbortRequested() {
  // Esc is only queried while StopFlag is clear, so a press is not swallowed by a test
  // that StopFlag already decided.
  return StopFlag || platform::CurrentGuiHooks().EscPressed();
}

void TBrelFace::ClearStopFlag() {
  StopFlag = false;
  platform::CurrentGuiHooks().ForgetEscPress();
}

uint32_t TBrelFace::WaitForInput(int32_t input, bool state) {
  if (!Opened) return kInterfaceError;
  const uint32_t mask = InputMaskOf(input);
  for (;;) {
    if (AbortRequested()) {
      LastStatus = 2;
      return kInterfaceError;
    }
    if (InputWord() == kInterfaceError) {
      InputWordSeen(kInterfaceError);
      LastStatus = static_cast<int32_t>(kInterfaceError);
      return kInterfaceError;
    }
    platform::CurrentGuiHooks().ProcessMessages();
    platform::Sleep(WaitPoll);
    const uint32_t w = InputWord();
    InputWordSeen(w);
    if (((w & mask) != 0) == state) {
      LastStatus = w == kInterfaceError ? static_cast<int32_t>(kInterfaceError) : 0;
      return w;
    }
  }
}

void TBrelFace::Pause(uint32_t ms) {
  const uint32_t start = platform::GetTickCount();
  do {
    platform::CurrentGuiHooks().ProcessMessages();
    platform::Sleep(Record.PollInterval);
    const uint32_t w = InputWord();
    InputWordSeen(w);
    if (w == kInterfaceError) {
      LastStatus = static_cast<int32_t>(kInterfaceError);
      return;
    }
    if (AbortRequested()) {
      LastStatus = 2;
      return;
    }
    // Unsigned difference: the tick count's wrap does no harm.
  } while (ms >= platform::GetTickCount() - start);
}

void TBrelFace::SetExtended(bool on) {
  Store(Record.InputCount, on ? 16u : 8u);
  MotorCount = on ? 8 : 4;
}

bool TBrelFace::IsExtended() const {
  return MotorCount != 4;
}

uint32_t TBrelFace::ShowPanel(bool modal, int left, int top) {
  if (!Opened) return kInterfaceError;
  PanelShown = true;
  const bool shown = platform::CurrentGuiHooks().ShowPanel(*this, modal, left, top);
  if (modal || !shown) PanelShown = false;
  // Without a GUI no panel comes up; that is not reported as success.
  return shown ? 0 : kInterfaceError;
}

uint32_t TBrelFace::MotorWord() const {
  return Load(Record.MotorWord);
}

// The window thread's writes and the guard's cuts meet here. Either the guard's cut
// lands after this store, or this thread sees the cut bit when it looks again after
// its store and takes the bits off itself: sequentially consistent on both sides, so a
// cut motor is never left on.
void TBrelFace::SetMotorWord(uint32_t w) {
  std::atomic_ref<uint32_t> word(Record.MotorWord);
  word.store(w & ~cut_.load());
  const uint32_t cut = cut_.load();
  uint32_t now = word.load();
  while ((now & cut) != 0 && !word.compare_exchange_weak(now, now & ~cut)) {
  }
}

void TBrelFace::CutMotors(uint32_t bits) {
  cut_.fetch_or(bits);
  std::atomic_ref<uint32_t> word(Record.MotorWord);
  uint32_t now = word.load();
  while ((now & bits) != 0 && !word.compare_exchange_weak(now, now & ~bits)) {
  }
}

void TBrelFace::AllowMotors(uint32_t bits) {
  cut_.fetch_and(~bits);
}
uint32_t TBrelFace::InputWord() const {
  return Load(Record.InputWord);
}

uint32_t TBrelFace::Counter(int input) const {
  if (input < 1 || input > 16) return 0;  // an input the driver never counts
  return Load(Record.Counters[input - 1]);
}

void TBrelFace::ResetCounter(int input) {
  if (input < 1 || input > 16) return;
  Store(Record.Counters[input - 1], 0);
}

uint32_t TBrelFace::AnalogX() const {
  return Load(Record.AnalogX);
}
uint32_t TBrelFace::AnalogY() const {
  return Load(Record.AnalogY);
}

}  // namespace kelvora::access
