// SPDX-License-Identifier: MIT
// Playing script lines on the robot: driving one line, running the script once or
// until HALT, and the gripper and extra-output commands those lines end with. Written
// against ScriptHost, which the main window and the headless player implement.
#pragma once

#include <cstdint>
#include <string>

#include "app/script.h"

namespace kelvora::access {
class TBrelRobot;
}

namespace kelvora::settings {
struct ProgramSettings;
}

namespace kelvora::app {

constexpr int kModeTeachIn = 3;
constexpr int kModeRun = 4;

// Gripper axis ("G") or extra motor on motor 4: entry 3 (Rob5: 4) of lineValues :=
// value, then the axis runs to its maximum (value != 0) or its end switch, or the motor
// is switched to direction value for good with a pause of 500 ms.
void SetGripper(access::TBrelRobot& robot, const settings::ProgramSettings& settings,
                int32_t lineValues[8], int32_t value);
// Rob5 outputs: entry output-1 := value; M6/M7 switch motor 6/7 to direction value,
// M8 waits for input 11 on (value 1) or off (any other value).
void SetExtra(access::TBrelRobot& robot, int32_t lineValues[8], int output, int32_t value);

// What a run needs from the window (or the player).
class ScriptHost {
 public:
  virtual ~ScriptHost() = default;
  virtual access::TBrelRobot& Robot() = 0;
  virtual const settings::ProgramSettings& Settings() const = 0;
  virtual int32_t* LineValues() = 0;  // 8 entries
  virtual ScriptList& Script() = 0;
  virtual void SetMode(int mode) = 0;
  // The "Wiederholen" tick.
  virtual bool Repeat() const = 0;
  virtual void SetRepeat(bool on) = 0;
  // Lets pending window messages run; by default through the platform's GUI hooks.
  virtual void ProcessMessages();
  // By default the free functions above on Robot(), Settings() and LineValues().
  virtual void SetGripper(int32_t value);
  virtual void SetExtra(int output, int32_t value);
  // Told before each line is driven, after it was read (the player prints it).
  virtual void LineDriven(int /*index*/, const std::string& /*text*/) {}
};

// Carries out LineValues: the positioned axes together, then the gripper, then for
// Rob5 M6, M7 and M8. An abort (HALT, Esc) lets the rest of the line run, which then
// returns at once but for plain output switching. A step that ends on an interface
// error or a fault of the robot (a stalled axis, a movement the watchdog stopped) ends
// the line there: false then, and the robot's faults tell what happened.
bool DriveLine(ScriptHost& host);
// "Script Starten": passes from line 1 to the end, the marked line re-read at every
// step so the user can mark another one; a pass ends after the last line or when
// StopFlag is set; the next pass follows while Repeat() holds; then mode 3. A line that
// ends on an interface error or a fault ends the whole run as HALT does ("Wiederholen"
// unticked, mode 3): stepping on through failing lines, or from positions the robot no
// longer vouches for, is never right.
// An unreadable line throws and leaves the host in mode 4.
void RunScript(ScriptHost& host);
// "&<" (tag 1), "&>" (tag 2), "Postion Anfahren" (tag 3).
void DriveToLine(ScriptHost& host, int tag);
// HALT during a run or drive: StopFlag, "Wiederholen" unticked, mode 3.
void Halt(ScriptHost& host);

}  // namespace kelvora::app
