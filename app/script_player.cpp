// SPDX-License-Identifier: MIT
#include "app/script_player.h"

#include "access/brel_consts.h"
#include "access/brel_mot_list.h"
#include "access/brel_robot.h"
#include "platform/gui_hooks.h"
#include "settings/program_settings.h"

namespace kelvora::app {

void SetGripper(access::TBrelRobot& robot, const settings::ProgramSettings& settings,
                int32_t lineValues[8], int32_t value) {
  const int axis = settings.IsRob5() ? 5 : 4;
  lineValues[axis - 1] = value;
  if (settings.IsTypeG()) {
    robot.MoveAxisToEnd(axis, value != 0);
  } else {
    robot.SetMotor(robot.Axes.GetNumber(axis, access::mcMotor), value);
    robot.Pause(500);
  }
}

void SetExtra(access::TBrelRobot& robot, int32_t lineValues[8], int output, int32_t value) {
  if (output < 6 || output > 8) return;
  lineValues[output - 1] = value;
  if (output == 8)
    robot.WaitForInput(11, value == 1);
  else
    robot.SetMotor(output, value);
}

void ScriptHost::ProcessMessages() {
  platform::CurrentGuiHooks().ProcessMessages();
}

void ScriptHost::SetGripper(int32_t value) {
  app::SetGripper(Robot(), Settings(), LineValues(), value);
}

void ScriptHost::SetExtra(int output, int32_t value) {
  app::SetExtra(Robot(), LineValues(), output, value);
}

namespace {

// After a step of a line: the interface failed under it, or the robot recorded a fault
// since the line began.
bool StepFailed(access::TBrelRobot& robot, uint32_t faultsBefore) {
  return robot.LastStatus == static_cast<int32_t>(access::kInterfaceError) ||
         robot.FaultCount() != faultsBefore;
}

}  // namespace

bool DriveLine(ScriptHost& host) {
  const int32_t* v = host.LineValues();
  access::TBrelRobot& robot = host.Robot();
  const uint32_t before = robot.FaultCount();
  if (host.Settings().IsRob5()) {
    robot.MoveToPositions(v[0], v[1], v[2], v[3], 65535, 65535, 65535, 65535);
    if (StepFailed(robot, before)) return false;
    host.SetGripper(v[4]);
    if (StepFailed(robot, before)) return false;
    for (int output = 6; output <= 8; ++output) {
      host.SetExtra(output, v[output - 1]);
      if (StepFailed(robot, before)) return false;
    }
  } else {
    robot.MoveToPositions(v[0], v[1], v[2], 65535, 65535, 65535, 65535, 65535);
    if (StepFailed(robot, before)) return false;
    host.SetGripper(v[3]);
    if (StepFailed(robot, before)) return false;
  }
  return true;
}

namespace {

void ParseAndDrive(ScriptHost& host) {
  ScriptList& list = host.Script();
  ParseMarkedLine(list, host.Settings().IsRob5(), host.LineValues());
  host.LineDriven(list.ItemIndex(), list.Line(list.ItemIndex()));
}

}  // namespace

void RunScript(ScriptHost& host) {
  ScriptList& list = host.Script();
  access::TBrelRobot& robot = host.Robot();
  host.SetMode(kModeRun);
  do {
    // A pass starts before line 1; the list keeps its mark, so the next line is counted
    // here rather than by unmarking the list.
    int next = 0;
    robot.ClearStopFlag();
    for (;;) {
      list.SetItemIndex(next);
      ParseAndDrive(host);
      if (!DriveLine(host)) {
        // As HALT: no further line, no further pass.
        robot.StopFlag = true;
        host.SetRepeat(false);
        break;
      }
      // Moves that fail at once (a dead interface) process no messages; without this
      // a repeated run could never see HALT.
      host.ProcessMessages();
      // The user may have marked another line meanwhile: the run goes on after it.
      const int marked = list.ItemIndex();
      if (marked == list.Count() - 1) break;
      if (robot.StopFlag) break;
      next = marked + 1;
    }
  } while (host.Repeat());
  host.SetMode(kModeTeachIn);
}

void DriveToLine(ScriptHost& host, int tag) {
  ScriptList& list = host.Script();
  int index = list.ItemIndex();
  if (tag == 1 && index != 0) list.SetItemIndex(index - 1);
  if (tag == 2 && index != list.Count() - 1) list.SetItemIndex(index + 1);
  host.SetMode(kModeRun);
  ParseAndDrive(host);
  host.Robot().ClearStopFlag();
  DriveLine(host);
  host.SetMode(kModeTeachIn);
}

void Halt(ScriptHost& host) {
  host.Robot().StopFlag = true;
  host.SetRepeat(false);
  host.SetMode(kModeTeachIn);
}

}  // namespace kelvora::app
