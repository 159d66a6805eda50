// SPDX-License-Identifier: MIT
// TBrelFace: the program's single access point to the interface box, over zqBrel20.
// The interface record is its first member; its address stays fixed for the object's
// life because the driver's timer writes into it in place.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "driver/zqBrel20.h"

namespace kelvora::access {

class TfrmPanel;  // the Qt panel; only a pointer is kept here

// 0 invalid, 1 parallel, 2 serial.
int32_t CheckPortName(const std::string& name);

class TBrelFace {
 public:
  TBrelFace();
  virtual ~TBrelFace();
  TBrelFace(const TBrelFace&) = delete;
  TBrelFace& operator=(const TBrelFace&) = delete;

  TBrelRecord Record{};  // first member

  std::string ActivePort = "NONE";
  bool Opened = false;
  int32_t PortKind = 0;
  int32_t OsKind = 1;
  bool StopFlag = false;  // GUI thread only
  int32_t LastStatus = 1;
  int32_t MotorCount = 4;
  std::string Version = "5.1";
  TfrmPanel* Panel = nullptr;
  bool PanelShown = false;
  uint32_t WaitPoll = 10;
  // Why the last OpenInterface failed, as an errno value (the driver's, or EINVAL for a
  // name CheckPortName refuses); 0 after a successful one. PortProblemText
  // (platform/port_problem.h) says it in words.
  int OpenError = 0;

  uint32_t OpenInterface(const std::string& portName);
  uint32_t CloseInterface();
  uint32_t ClearMotors();
  uint32_t SetMotor(int32_t motor, int32_t direction);
  uint32_t GetInputs();
  bool GetInput(int32_t input);
  uint32_t GetAnalog(int32_t index);
  uint32_t WaitForInput(int32_t input, bool state);
  void Pause(uint32_t ms);
  void SetExtended(bool on);
  bool IsExtended() const;
  uint32_t ShowPanel(bool modal, int left, int top);
  // The abort test shared by waits and moves: StopFlag, or Esc since the last test.
  bool AbortRequested();
  // What every command that moves does before it starts: StopFlag := false, and an Esc
  // press made before now is forgotten, so that it cannot abort the new command in its
  // first cycle. Esc still held down counts: the user is pressing it now.
  void ClearStopFlag();

  // Shared record fields, read and written atomically (the driver's timer thread
  // writes InputWord, the analog values and the counters).
  uint32_t MotorWord() const;
  void SetMotorWord(uint32_t w);
  uint32_t InputWord() const;
  uint32_t Counter(int input) const;  // input 1..16
  void ResetCounter(int input);
  uint32_t AnalogX() const;
  uint32_t AnalogY() const;
  void SetLptDelay(uint32_t d) { Record.LptDelay = d; }

  // Switches motors off from any thread (the motion guard): the bits go off in the
  // record at once, and nothing on the window thread switches them on again until a new
  // command for those motors allows them (AllowMotors; SetMotor does it itself).
  void CutMotors(uint32_t bits);
  void AllowMotors(uint32_t bits);
  uint32_t CutBits() const { return cut_.load(); }

 protected:
  // What the robot object builds its knowledge of positions on. Called on the window
  // thread: after every motor command of SetMotor (motor 1..8 and its direction) and of
  // ClearMotors (motor 0); and with every input word a query, pause or wait looked at.
  virtual void MotorCommanded(int32_t /*motor*/, int32_t /*direction*/) {}
  virtual void InputWordSeen(uint32_t /*word*/) {}

 private:
  // Motor bits the guard switched off and the window thread may not switch on again yet.
  std::atomic<uint32_t> cut_{0};
};

}  // namespace kelvora::access
