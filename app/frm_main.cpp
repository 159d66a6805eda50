// SPDX-License-Identifier: MIT
#include "app/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <stdexcept>

#include "access/brel_consts.h"
#include "access/frm_panel.h"
#include "app/frm_main_private.h"
#include "platform/clock.h"
#include "platform/form_setup_qt.h"
#include "platform/help_qt.h"
#include "platform/installed_data.h"
#include "platform/port_problem.h"
#include "platform/profile.h"
#include "platform/prog_dir.h"
#include "platform/screen_place_qt.h"
#include "platform/termination_qt.h"
#include "platform/user_text_qt.h"
#include "platform/window_pair_qt.h"
#include "settings/settings.h"
#include "ui_frm_main.h"

namespace kelvora::app {

namespace {

const QColor kGrey(224, 224, 224);

void SetBackground(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, color);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

// The mode's name in lblPrgModus and the captions of cmdAction and cmdEnde.
QString StatusText(int mode) {
  switch (mode) {
    case 1:
      return QCoreApplication::translate("Mode", "EINschalten");
    case 2:
      return QCoreApplication::translate("Mode", "Home anfahren");
    case 3:
      return QCoreApplication::translate("Mode", "TeachIn");
    default:
      return QCoreApplication::translate("Mode", "RUN");
  }
}

QString ActionText(int mode) {
  switch (mode) {
    case 1:
      return QCoreApplication::translate("Mode", "EIN");
    case 2:
      return QCoreApplication::translate("Mode", "STARTEN");
    case 3:
      return QCoreApplication::translate("Mode", "HOME");
    default:
      return QCoreApplication::translate("Mode", "HALT");
  }
}

QString EndText(int mode) {
  return mode == 1 ? QCoreApplication::translate("Mode", "Abbrechen")
                   : QCoreApplication::translate("Mode", "ENDE");
}

}  // namespace

QString ApplicationTitle() {
  return QCoreApplication::translate("Program", "Kelvora für Industrieroboter");
}

// ---- Construction -------------------------------------------------------------------

TfrmMain::TfrmMain(QWidget* parent, std::string progDir) : QMainWindow(parent) {
  setObjectName(QStringLiteral("frmMain"));
  if (!gWindow) gWindow = this;
  progDirOverride_ = std::move(progDir);
  BuildControls();
  ConnectHandlers();
  FormCreate();
}

TfrmMain::~TfrmMain() {
  // The children outlive this part of the window while QWidget tears them down (a held
  // arrow reports the lost mouse when it is hidden): nothing may call back into it.
  QObject::disconnect(qApp, nullptr, this, nullptr);
  for (QObject* child : findChildren<QObject*>())
    QObject::disconnect(child, nullptr, this, nullptr);
  // The panels and dialogs work on the robot and the settings, which go with the members
  // before the children would: they go first (a panel still shown switches its motors off
  // as it goes).
  for (QDialog* dialog : findChildren<QDialog*>(Qt::FindDirectChildrenOnly)) delete dialog;
  frmModell_ = nullptr;
  frmSchnitt_ = nullptr;
  frmAbout_ = nullptr;
  if (gWindow == this) gWindow = nullptr;
  // The default dispositions come back here, before the rest of the window goes.
  delete termination_;
  termination_ = nullptr;
}

void TfrmMain::BuildControls() {
  // A fixed single border with system menu and minimise button only.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  ui_ = std::make_unique<Ui::TfrmMain>();
  ui_->setupUi(this);
  platform::SetupFormData(this);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  // Where "Courier New" is missing, another fixed-pitch font keeps the script's columns.
  QFont courier = ui_->lstScript->font();
  courier.setStyleHint(QFont::Monospace);
  ui_->lstScript->setFont(courier);

  tmrI_ = new QTimer(this);
  tmrI_->setObjectName(QStringLiteral("tmrI"));
  tmrI_->setInterval(300);
}

void TfrmMain::ConnectHandlers() {
  using K = CommandKind;
  auto on = [this](auto* sender, auto signal, K kind, void (TfrmMain::*handler)()) {
    connect(sender, signal, this,
            [this, kind, handler] { Command(kind, [&] { (this->*handler)(); }); });
  };
  on(ui_->cmdAction, &QPushButton::clicked, K::kAction, &TfrmMain::cmdActionClick);
  on(ui_->cmdEnde, &QPushButton::clicked, K::kClose, &TfrmMain::cmdEndeClick);
  on(ui_->cmdInterface, &QPushButton::clicked, K::kPlain, &TfrmMain::cmdInterfaceClick);
  on(tmrI_, &QTimer::timeout, K::kAlways, &TfrmMain::tmrITimer);
  on(ui_->cmdPosSpeichern, &QPushButton::clicked, K::kPlain, &TfrmMain::cmdPosSpeichernClick);
  on(ui_->cmdPosEinfugen, &QPushButton::clicked, K::kPlain, &TfrmMain::cmdPosEinfugenClick);
  on(ui_->cmdPosAnfugen, &QPushButton::clicked, K::kPlain, &TfrmMain::cmdPosAnfugenClick);
  on(ui_->cmdPosLoschen, &QPushButton::clicked, K::kPlain, &TfrmMain::cmdPosLoschenClick);
  on(ui_->cmdScriptStarten, &QPushButton::clicked, K::kMoving, &TfrmMain::cmdScriptStartenClick);
  on(ui_->mnuNeu, &QAction::triggered, K::kPlain, &TfrmMain::mnuNeuClick);
  on(ui_->mnuOffnen, &QAction::triggered, K::kPlain, &TfrmMain::mnuOffnenClick);
  on(ui_->mnuSpeichern, &QAction::triggered, K::kPlain, &TfrmMain::mnuSpeichernClick);
  on(ui_->mnuSpeichernU, &QAction::triggered, K::kPlain, &TfrmMain::mnuSpeichernUClick);
  on(ui_->mnuEnde, &QAction::triggered, K::kClose, &TfrmMain::mnuEndeClick);
  on(ui_->mnuSchnitt, &QAction::triggered, K::kPlain, &TfrmMain::mnuSchnittClick);
  on(ui_->mnuModell, &QAction::triggered, K::kPlain, &TfrmMain::mnuModellClick);
  on(ui_->mnuInhalt, &QAction::triggered, K::kPlain, &TfrmMain::mnuInhaltClick);
  on(ui_->mnuAbout, &QAction::triggered, K::kPlain, &TfrmMain::mnuAboutClick);
  for (QPushButton* b : {ui_->cmdZuruck, ui_->cmdVor, ui_->cmdAufPosition}) {
    connect(b, &QPushButton::clicked, this, [this, b] {
      Command(K::kMoving, [&] { cmdZuPositionClick(b->property("Tag").toInt()); });
    });
  }
  for (TShape* s : {ui_->shpM1L, ui_->shpM1R, ui_->shpM2L, ui_->sphM2R, ui_->shpM3L, ui_->shpM3R,
                    ui_->shpM5R, ui_->shpM5L}) {
    connect(s, &TShape::MouseDown, this, [this](TShape* shape, Qt::MouseButton button) {
      Command(K::kMoving, [&] { shpMotMouseDown(shape, button); });
    });
    connect(s, &TShape::MouseUp, this, [this](TShape* shape, Qt::MouseButton button) {
      Command(K::kAlways, [&] { shpMotMouseUp(shape, button); });
    });
    connect(s, &TShape::MouseLost, this, [this](TShape*) { EndJog(); });
  }
  auto label = [this](TTagLabel* l, void (TfrmMain::*handler)(TTagLabel*)) {
    connect(l, &TTagLabel::Clicked, this, [this, handler](TTagLabel* clicked) {
      Command(K::kMoving, [&] { (this->*handler)(clicked); });
    });
  };
  label(ui_->lblM4Zu, &TfrmMain::lblM4Click);
  label(ui_->lblM4Auf, &TfrmMain::lblM4Click);
  label(ui_->lblM6Zu, &TfrmMain::lblM6Click);
  label(ui_->lblM6Auf, &TfrmMain::lblM6Click);
  label(ui_->lblM7Zu, &TfrmMain::lblM7Click);
  label(ui_->lblM7Auf, &TfrmMain::lblM7Click);
  label(ui_->lblM8Zu, &TfrmMain::lblM8Click);
  label(ui_->lblM8Auf, &TfrmMain::lblM8Click);
  connect(qApp, &QGuiApplication::applicationStateChanged, this,
          &TfrmMain::OnApplicationStateChanged);
}

void TfrmMain::FormCreate() {
  setWindowTitle(ApplicationTitle());
  prgModus_ = 0;
  robot_ = std::make_unique<access::TBrelRobot>();
  const platform::ProgramFolders folders = progDirOverride_.empty()
                                               ? platform::CurrentProgramFolders()
                                               : platform::ProgramFoldersFor(progDirOverride_);
  settings_.ProgDir = folders.progDir;
  // The help pages and relative names resolve in the program's folder.
  QDir::setCurrent(QString::fromStdString(settings_.ProgDir));
  dataDir_ = platform::InstalledDataDirectory();
  ini_ = std::make_unique<platform::ProfileFile>(settings::SettingsFile(folders));
  ReadSettings();
  ConfigureAxes();
  ShowModelData();
  mnuNeuClick();
  SetMode(1);
  ReportRecoveredScriptsLater();
}

// ---- Settings -----------------------------------------------------------------------

void TfrmMain::ReadSettings() {
  settings::ReadSettings(settings_, robot_->Axes, *ini_);
  // A position no screen shows (stored on a larger or a second screen) gives the
  // start-up default, so the window never opens out of reach; started by kelvora-sim
  // beside its robot window, the window opens clear of that.
  const settings::ProgramSettings defaults;
  move(platform::PlaceClearOfSimWindow(
      platform::PlaceOnScreen(QPoint(settings_.Left, settings_.Top), size(),
                              QPoint(defaults.Left, defaults.Top)),
      size()));
}

void TfrmMain::ConfigureAxes() {
  settings::ConfigureAxes(settings_, robot_->Axes);
}

void TfrmMain::ShowModelData() {
  const settings::ModelData data = settings::ShowModelData(settings_, robot_->Axes);
  ui_->lblTitel->setText(QString::fromStdString(data.title));
  ui_->memDaten->clear();
  for (const platform::UserText& line : data.memoLines)
    ui_->memDaten->appendPlainText(platform::Translated(line));
  for (const char* name : settings::kRob5Controls) {
    if (QWidget* w = ui_->pnlFahren->findChild<QWidget*>(QLatin1String(name)))
      w->setVisible(data.rob5ControlsVisible);
  }
}

void TfrmMain::WriteSettings() {
  settings_.Left = x();
  settings_.Top = y();
  if (!settings::WriteSettings(settings_, robot_->Axes, *ini_))
    throw platform::TextError(settings::WriteError(ini_->Path()));
}

// ---- Modes --------------------------------------------------------------------------

void TfrmMain::SetPanelState(QFrame* panel, bool enabled, bool grey) {
  panel->setEnabled(enabled);
  SetBackground(panel, grey ? kGrey : QApplication::palette().color(QPalette::Button));
}

void TfrmMain::SetMode(int mode) {
  prgModus_ = static_cast<uint8_t>(mode);
  ui_->lblPrgModus->setText(StatusText(mode));
  ui_->cmdAction->setText(ActionText(mode));
  ui_->cmdAction->setEnabled(true);
  ui_->cmdEnde->setText(EndText(mode));
  ui_->cmdEnde->setEnabled(mode != 4);
  ui_->cmdInterface->setEnabled(mode == 2 || mode == 3);
  SetPanelState(ui_->pnlFahren, mode == 3, mode == 3);
  SetPanelState(ui_->pnlPosition, mode == 3, mode == 3);
  SetPanelState(ui_->pnlRun, mode == 2 || mode == 3, mode == 3);
  ui_->mnuDatei->menuAction()->setEnabled(mode != 4);
  // Port and model can change only before the interface is first switched on.
  ui_->mnuOptionen->menuAction()->setVisible(mode == 1);
  ui_->mnuOptionen->menuAction()->setEnabled(mode == 1);
  ui_->mnuHilfe->menuAction()->setEnabled(mode != 4);
}

void TfrmMain::cmdActionClick() {
  switch (prgModus_) {
    case 1: {
      robot_->SetLptDelay(settings_.LPTDelay);
      // The extension follows the model of this attempt, also after a failed attempt
      // with another model.
      robot_->SetExtended(settings_.IsRob5());
      const uint32_t result = robot_->OpenInterface(settings_.PortName);
      if (result == access::kInterfaceError) {
        CurrentPrompts().Error(
            this, ErrorTitle(),
            tr("Inpterfaceproblem mit : %1").arg(QString::fromStdString(settings_.PortName)) +
                QLatin1Char('\n') +
                platform::Translated(platform::PortProblem(settings_.PortName, robot_->OpenError)));
        ui_->cmdAction->setFocus();
        return;
      }
      tmrI_->start();
      SetMode(2);
      break;
    }
    case 2:
    case 3:
      SetMode(4);
      HomeRun();
      SetMode(3);
      break;
    case 4:
      // Runs nested inside the command that set mode 4; its move or wait sees StopFlag.
      robot_->StopFlag = true;
      ui_->chkWiederholen->setChecked(false);
      SetMode(3);
      break;
    default:
      break;
  }
}

void TfrmMain::HomeRun() {
  robot_->ClearStopFlag();
  robot_->MoveHome();
  robot_->ClearMotors();
  for (int32_t& v : lineValues_) v = 0;
}

// ---- Panel, help, end ---------------------------------------------------------------

void TfrmMain::cmdInterfaceClick() {
  const QRect frame = frameGeometry();
  RunModal([&] { robot_->ShowPanel(true, frame.left() + frame.width() - 360, frame.top() + 60); });
}

void TfrmMain::mnuInhaltClick() {
  platform::ShowHelpContents(this);
}

void TfrmMain::cmdEndeClick() {
  close();
}

void TfrmMain::mnuEndeClick() {
  close();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (shutDown_) {
    event->accept();
    return;
  }
  event->ignore();
  // A second close while the shutdown asks or saves: the first one goes on.
  if (shuttingDown_) return;
  // Never free the robot under a running move or wait. In mode 4 the command below is
  // stopped by HALT; a jog ends at the close, as at any other key.
  if (prgModus_ == 4 || Moving()) {
    EndJog();
    return;
  }
  if (nesting_ > 0) {
    DeferClose();
    return;
  }
  if (Shutdown()) event->accept();
}

bool TfrmMain::Shutdown() {
  shuttingDown_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{shuttingDown_};
  tmrI_->stop();
  // A settings file that cannot be written must not keep the program, and perhaps its
  // outputs, alive: the error is shown and the shutdown goes on.
  RunCommand([this] { WriteSettings(); });
  bool saved = true;
  try {
    saved = SaveModifiedScript();
  } catch (const std::exception& error) {
    ShowTopLevelError(error);
    saved = false;
  }
  if (!saved) {
    // The script could not be written, or the user cancelled its dialog: stay open so
    // that it is not lost, with the display running again.
    if (robot_ && robot_->Opened) tmrI_->start();
    return false;
  }
  platform::Sleep(robot_->SettlePause);
  robot_->CloseInterface();
  // The interface panels work on the robot: they go with it.
  for (access::TfrmPanel* panel : findChildren<access::TfrmPanel*>()) delete panel;
  robot_.reset();
  ini_.reset();
  shutDown_ = true;
  return true;
}

// ---- Termination signals ------------------------------------------------------------

void TfrmMain::InstallSignalHandling() {
  if (termination_) return;
  auto* requests = new platform::TerminationRequests(this);
  if (!requests->Active()) {
    delete requests;
    return;
  }
  termination_ = requests;
  connect(termination_, &platform::TerminationRequests::Requested, this, &TfrmMain::EmergencyStop);
}

void TfrmMain::EmergencyStop(int signal) {
  if (shutDown_) return;
  shutDown_ = true;  // the close that follows writes nothing and asks nothing
  tmrI_->stop();
  // This ends the program itself, once the stack below has unwound.
  closePending_ = false;
  if (robot_) {
    // Whatever runs underneath ends at its next abort test, and no further pass follows.
    robot_->StopFlag = true;
    ui_->chkWiederholen->setChecked(false);
    robot_->ClearMotors();
    robot_->CloseInterface();
  }
  WriteRecoveryScript();  // outputs off first, then the script
  QCoreApplication::exit(128 + signal);
}

}  // namespace kelvora::app
