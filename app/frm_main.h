// SPDX-License-Identifier: MIT
// TfrmMain: the program's main window and whole working surface. It owns the robot
// object and the settings, runs the operating modes behind the action button, the
// home run, HALT, jogging with the mouse, the gripper and extra outputs and the live
// display. Its controls come from frm_main.ui; construction, settings, the modes, start
// and shutdown are in frm_main.cpp, the rule for commands, modal windows and a deferred
// close in frm_main_gate.cpp, jogging, gripper and display in frm_main_jog.cpp, the
// script commands in frm_main_script.cpp, the dialogs' menu commands in
// frm_main_dialogs.cpp and the message boxes and file dialogs in frm_main_prompts.cpp.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "access/brel_robot.h"
#include "app/shape_qt.h"
#include "settings/program_settings.h"

class QFrame;
class QTimer;

namespace Ui {
class TfrmMain;
}  // namespace Ui

namespace kelvora::platform {
class ProfileFile;
class TerminationRequests;
}  // namespace kelvora::platform

namespace kelvora::settings {
class TfrmModell;
class TfrmSchnitt;
class TfrmAbout;
}  // namespace kelvora::settings

namespace kelvora::app {

// Message boxes and file dialogs of the program. The real one shows QMessageBox and
// QFileDialog; tests install their own so that nothing modal ever blocks them.
class Prompts {
 public:
  virtual ~Prompts() = default;
  // Error icon, one button "OK".
  virtual void Error(QWidget* parent, const QString& title, const QString& text) = 0;
  // Information icon, one button "OK".
  virtual void Info(QWidget* parent, const QString& title, const QString& text) = 0;
  // Information icon, buttons "&Ja" and "&Nein"; true for "&Ja".
  virtual bool Question(QWidget* parent, const QString& title, const QString& text) = 0;
  // File dialogs. filter is in Qt's form ("Rob Script (*.RB3 *.rb3)"); the result is
  // the chosen full path, empty when the dialog was cancelled.
  virtual QString OpenFile(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                           const QString& folder) = 0;
  virtual QString SaveFile(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                           const QString& folder) = 0;
};

// The prompts in use: the real ones unless a test installed others, opened through the
// main window's modal seam (TfrmMain::RunModal) either way.
Prompts& CurrentPrompts();
// nullptr restores the real prompts.
void SetPrompts(Prompts* prompts);

// The application title, also the caption of the main window and of error boxes.
QString ApplicationTitle();
// The titles of the program's other error boxes and of its information boxes and
// questions: "Fehler" and "Information".
QString ErrorTitle();
QString InformationTitle();
// What the top-level handler shows for an error that escaped a command: a box titled
// with the application title, error icon, "OK", the text followed by a full stop.
void ShowTopLevelError(const QString& text);
// The same for an error object: its text in the user's language (platform::ErrorText).
void ShowTopLevelError(const std::exception& error);
// Runs a command under that handler: an error it raises is shown and ends the command
// only, also when the command runs nested inside a move. Every handler of the window
// runs through it (inside TfrmMain::Command).
void RunCommand(const std::function<void()>& command);

class TfrmMain : public QMainWindow {
  Q_OBJECT
 public:
  // progDir: the program's folder; empty means the folder of the running program (or
  // the per-user folder when that cannot be written). Tests pass a folder of their own.
  explicit TfrmMain(QWidget* parent = nullptr, std::string progDir = {});
  ~TfrmMain() override;

  // ---- What the program's start sets up after the window --------------------------
  // The model dialog, the interface dialog and the about box, owned by the window and
  // hidden until their menu items are chosen. Made after the window, which they edit.
  void CreateDialogs();
  // Routes SIGINT, SIGTERM and SIGHUP to EmergencyStop, on this thread (platform/
  // termination_qt.h). The program calls it once; tests need not.
  void InstallSignalHandling();
  // The installed program's data folder with the demo script (empty when not installed):
  // where "&Öffnen" starts until the program's folder holds a script of the model. The
  // start-up sequence finds it beside the program.
  void SetDataDir(std::string dataDir) { dataDir_ = std::move(dataDir); }

  // ---- Window state -----------------------------------------------------------------
  // Operating mode: 0 while the window is being made, then 1 to 4.
  uint8_t PrgModus() const { return prgModus_; }
  // The robot object; nullptr once the shutdown has freed it.
  access::TBrelRobot* Robot() const { return robot_.get(); }
  // ProgDir, RobModel, RobType, PortName, ...: read at start, changed by the dialogs,
  // written at the end.
  settings::ProgramSettings& Settings() { return settings_; }
  const settings::ProgramSettings& Settings() const { return settings_; }
  // The values of one script line (targets, gripper and extra outputs).
  using TLineValues = int32_t[8];
  const TLineValues& LineValues() const { return lineValues_; }
  // The script was changed since it was started, opened or last written.
  bool Modified() const { return modified_; }
  // The current script's file name without its folder; empty for a new script.
  const QString& ScriptName() const { return scriptName_; }

  // ---- Operations -------------------------------------------------------------------
  // True while an arrow shape is held down and its jog runs.
  bool Jogging() const { return jogging_; }
  // Ends a running jog as its release would, with its motors off at once.
  void EndJog();
  // Opens a modal window (open returns when it has closed). A movement running below is
  // ended first, since its loop cannot run while the modal one does. Every message box
  // and dialog of the program opens through it (the rule is at Command, below).
  void RunModal(const std::function<void()>& open);
  // A movement, wait or jog is running (on the stack below the caller).
  bool Moving() const { return moving_ > 0; }
  // A close arrived while something was on the stack: the shutdown runs once it has
  // unwound.
  bool ClosePending() const { return closePending_; }
  // The switch-off that SIGINT, SIGTERM and SIGHUP lead to: every output off (the
  // motor word 0 reaches the box), the interface closed, the program ended with exit
  // code 128 + signal, without writing the settings; a modified script goes to a
  // recovery file.
  void EmergencyStop(int signal);
  // What "&Öffnen" does with the file the dialog gave; also the script named at start.
  void OpenScript(const QString& path);

  // ---- Handlers -------------------------------------------------------------------
  void cmdActionClick();
  void cmdEndeClick();
  void mnuEndeClick();
  void cmdInterfaceClick();
  void shpMotMouseDown(TShape* shape, Qt::MouseButton button);
  void shpMotMouseUp(TShape* shape, Qt::MouseButton button);
  void lblM4Click(TTagLabel* label);
  void lblM6Click(TTagLabel* label);
  void lblM7Click(TTagLabel* label);
  void lblM8Click(TTagLabel* label);
  void tmrITimer();
  void mnuInhaltClick();

  // Script commands (frm_main_script.cpp).
  void cmdPosSpeichernClick();
  void cmdPosEinfugenClick();
  void cmdPosAnfugenClick();
  void cmdPosLoschenClick();
  void cmdScriptStartenClick();
  void cmdZuPositionClick(int tag);  // tag of cmdZuruck (1), cmdVor (2), cmdAufPosition (3)
  void mnuNeuClick();
  void mnuOffnenClick();
  void mnuSpeichernClick();
  void mnuSpeichernUClick();

  // Dialog commands (frm_main_dialogs.cpp).
  void mnuModellClick();
  void mnuSchnittClick();
  void mnuAboutClick();

 protected:
  // FormClose: refused in mode 4 and while a jog runs (which ends at it); with a modal
  // window or a handler still on the stack, every output goes off at once, the modal
  // windows close and the shutdown follows when the stack has unwound; otherwise the
  // shutdown.
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  // The controls and menus from the window's form.
  void BuildControls();
  void ConnectHandlers();
  // The start-up sequence; the constructor runs it.
  void FormCreate();
  // Puts the window into mode 1..4 and stores it in PrgModus.
  void SetMode(int mode);
  void HomeRun();
  void SetGripper(int32_t value);
  void SetExtra(int output, int32_t value);

  // ---- One rule for everything that waits ---------------------------------------------
  // Moves, waits and jogs run on this thread and let messages run, so handlers nest.
  // Every handler comes in through Command and every modal window opens through
  // RunModal, and the rule is kept there: while a movement, wait or jog runs, no second
  // command starts inside it, nothing modal opens over it before it is stopped on the
  // wire, and nothing is freed while anything is still running below.
  enum class CommandKind {
    kPlain,   // refused while something moves or a modal window is up; a jog ends at it
    kMoving,  // the same, and itself a movement, wait or jog while it runs
    kAction,  // cmdAction: HALT in mode 4 always runs; "EIN" is plain, the home run moving
    kClose,   // "ENDE", "Beenden": refused while something moves, else the close decides
    kAlways,  // the display timer and a jog's release: they stop or only read
  };
  void Command(CommandKind kind, const std::function<void()>& handler);
  // What HALT does to the command below, from a handler that will not return to it
  // soon: its move or wait ends, a repeated run is not taken up again, and the motors
  // of its move are off at once.
  void EndMovement();
  // Tells the user what the robot recorded as gone wrong (a stalled axis, a movement
  // the watchdog stopped, the interface lost while a motor ran), once nothing moves.
  void ReportRobotFaults();

  // Settings: the window's side of reading, configuring, showing and writing them.
  void ReadSettings();
  void ConfigureAxes();
  void ShowModelData();
  void WriteSettings();

  // A modified script that a termination signal would lose: written to a recovery file
  // beside the settings file, its path printed on standard error (frm_main_script.cpp).
  void WriteRecoveryScript();
  // Names the recovery files not yet named in one "Information" box; the start-up
  // sequence asks for it once the window's event loop runs (ReportRecoveredScriptsLater).
  void ReportRecoveredScripts();
  void ReportRecoveredScriptsLater();
  // Before a modified script is replaced or the program ends: "Script-Datei Speichern?";
  // on "&Ja" the save-as dialog. False when the user cancelled that dialog: the script
  // is then kept, and whatever was to replace it does not happen. A file that cannot be
  // written throws.
  bool SaveModifiedScript();

  // The shutdown sequence; false when the close is abandoned.
  bool Shutdown();
  void DeferClose();
  void FinishPendingClose();
  // Counts a handler or modal window on the stack for the scope's life.
  class Nest;
  // The window as the script player's host (frm_main_script.cpp).
  class ScriptHostOfWindow;
  void SetPanelState(QFrame* panel, bool enabled, bool grey);
  void OnApplicationStateChanged(Qt::ApplicationState state);

  std::unique_ptr<access::TBrelRobot> robot_;
  uint8_t prgModus_ = 0;
  settings::ProgramSettings settings_;
  // The settings-file object bound to ProgDir + "Kelvora.INI"; freed at shutdown.
  std::unique_ptr<platform::ProfileFile> ini_;
  TLineValues lineValues_ = {0, 0, 0, 0, 0, 0, 0, 0};
  bool modified_ = false;
  QString scriptName_;
  std::string dataDir_;

  // The dialogs, made by CreateDialogs (nullptr until then).
  settings::TfrmModell* frmModell_ = nullptr;
  settings::TfrmSchnitt* frmSchnitt_ = nullptr;
  settings::TfrmAbout* frmAbout_ = nullptr;

  // The form's widgets, reached by their object names (the help and the tests know them).
  std::unique_ptr<Ui::TfrmMain> ui_;
  QTimer* tmrI_ = nullptr;

  bool jogging_ = false;
  bool shutDown_ = false;
  bool shuttingDown_ = false;  // the shutdown sequence is running (asking, saving)
  bool closePending_ = false;
  bool reportingFaults_ = false;
  int nesting_ = 0;
  int moving_ = 0;
  int modal_ = 0;  // modal windows opened through RunModal on the stack
  QPointer<TShape> jogShape_;
  std::string progDirOverride_;
  platform::TerminationRequests* termination_ = nullptr;
};

}  // namespace kelvora::app
