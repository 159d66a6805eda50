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

QString StatusText(int mode) {
  switch (mode) {
    case 1:
      return QStringLiteral("EINschalten");
    case 2:
      return QStringLiteral("Home anfahren");
    case 3:
      return QStringLiteral("TeachIn");
    default:
      return QStringLiteral("RUN");
  }
}

QString ActionText(int mode) {
  switch (mode) {
    case 1:
      return QStringLiteral("EIN");
    case 2:
      return QStringLiteral("STARTEN");
    case 3:
      return QStringLiteral("HOME");
    default:
      return QStringLiteral("HALT");
  }
}

}  // namespace

QString ApplicationTitle() {
  return QStringLiteral("Kelvora für Industrieroboter");
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
  frmModell = nullptr;
  frmSchnitt = nullptr;
  frmAbout = nullptr;
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
  Ui::TfrmMain ui;
  ui.setupUi(this);
  platform::SetupFormData(this);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  // Where "Courier New" is missing, another fixed-pitch font keeps the script's columns.
  QFont courier = ui.lstScript->font();
  courier.setStyleHint(QFont::Monospace);
  ui.lstScript->setFont(courier);

  lblTitel = ui.lblTitel;
  lstScript = ui.lstScript;
  pnlPosition = ui.pnlPosition;
  cmdPosSpeichern = ui.cmdPosSpeichern;
  cmdPosEinfugen = ui.cmdPosEinfugen;
  cmdPosAnfugen = ui.cmdPosAnfugen;
  cmdPosLoschen = ui.cmdPosLoschen;
  pnlRun = ui.pnlRun;
  cmdScriptStarten = ui.cmdScriptStarten;
  chkWiederholen = ui.chkWiederholen;
  cmdZuruck = ui.cmdZuruck;
  cmdVor = ui.cmdVor;
  cmdAufPosition = ui.cmdAufPosition;
  memDaten = ui.memDaten;
  pnlFahren = ui.pnlFahren;
  shpSaule = ui.shpSaule;
  shpArmV = ui.shpArmV;
  shpArmH = ui.shpArmH;
  shpZusatz = ui.shpZusatz;
  shpWagen = ui.shpWagen;
  shpM6 = ui.shpM6;
  shpM7 = ui.shpM7;
  shpM8 = ui.shpM8;
  shpM1L = ui.shpM1L;
  shpM1R = ui.shpM1R;
  shpM2L = ui.shpM2L;
  sphM2R = ui.sphM2R;
  shpM3L = ui.shpM3L;
  shpM3R = ui.shpM3R;
  shpM5R = ui.shpM5R;
  shpM5L = ui.shpM5L;
  lblM1Pos = ui.lblM1Pos;
  lblM2Pos = ui.lblM2Pos;
  lblM3Pos = ui.lblM3Pos;
  lblM5Pos = ui.lblM5Pos;
  lblM4Zu = ui.lblM4Zu;
  lblM4Auf = ui.lblM4Auf;
  lblM6Zu = ui.lblM6Zu;
  lblM6Auf = ui.lblM6Auf;
  lblM7Zu = ui.lblM7Zu;
  lblM7Auf = ui.lblM7Auf;
  lblM8Zu = ui.lblM8Zu;
  lblM8Auf = ui.lblM8Auf;
  shpInterface = ui.shpInterface;
  lblPrgModus = ui.lblPrgModus;
  cmdInterface = ui.cmdInterface;
  cmdEnde = ui.cmdEnde;
  cmdAction = ui.cmdAction;

  mnuDatei = ui.mnuDatei;
  mnuNeu = ui.mnuNeu;
  mnuOffnen = ui.mnuOffnen;
  mnuSpeichern = ui.mnuSpeichern;
  mnuSpeichernU = ui.mnuSpeichernU;
  mnuEnde = ui.mnuEnde;
  mnuOptionen = ui.mnuOptionen;
  mnuSchnitt = ui.mnuSchnitt;
  mnuModell = ui.mnuModell;
  mnuHilfe = ui.mnuHilfe;
  mnuInhalt = ui.mnuInhalt;
  mnuAbout = ui.mnuAbout;

  tmrI = new QTimer(this);
  tmrI->setObjectName(QStringLiteral("tmrI"));
  tmrI->setInterval(300);
}

void TfrmMain::ConnectHandlers() {
  using K = CommandKind;
  auto on = [this](auto* sender, auto signal, K kind, void (TfrmMain::*handler)()) {
    connect(sender, signal, this,
            [this, kind, handler] { Command(kind, [&] { (this->*handler)(); }); });
  };
  on(cmdAction, &QPushButton::clicked, K::kAction, &TfrmMain::cmdActionClick);
  on(cmdEnde, &QPushButton::clicked, K::kClose, &TfrmMain::cmdEndeClick);
  on(cmdInterface, &QPushButton::clicked, K::kPlain, &TfrmMain::cmdInterfaceClick);
  on(tmrI, &QTimer::timeout, K::kAlways, &TfrmMain::tmrITimer);
  on(cmdPosSpeichern, &QPushButton::clicked, K::kPlain, &TfrmMain::cmdPosSpeichernClick);
  on(cmdPosEinfugen, &QPushButton::clicked, K::kPlain, &TfrmMain::cmdPosEinfugenClick);
  on(cmdPosAnfugen, &QPushButton::clicked, K::kPlain, &TfrmMain::cmdPosAnfugenClick);
  on(cmdPosLoschen, &QPushButton::clicked, K::kPlain, &TfrmMain::cmdPosLoschenClick);
  on(cmdScriptStarten, &QPushButton::clicked, K::kMoving, &TfrmMain::cmdScriptStartenClick);
  on(mnuNeu, &QAction::triggered, K::kPlain, &TfrmMain::mnuNeuClick);
  on(mnuOffnen, &QAction::triggered, K::kPlain, &TfrmMain::mnuOffnenClick);
  on(mnuSpeichern, &QAction::triggered, K::kPlain, &TfrmMain::mnuSpeichernClick);
  on(mnuSpeichernU, &QAction::triggered, K::kPlain, &TfrmMain::mnuSpeichernUClick);
  on(mnuEnde, &QAction::triggered, K::kClose, &TfrmMain::mnuEndeClick);
  on(mnuSchnitt, &QAction::triggered, K::kPlain, &TfrmMain::mnuSchnittClick);
  on(mnuModell, &QAction::triggered, K::kPlain, &TfrmMain::mnuModellClick);
  on(mnuInhalt, &QAction::triggered, K::kPlain, &TfrmMain::mnuInhaltClick);
  on(mnuAbout, &QAction::triggered, K::kPlain, &TfrmMain::mnuAboutClick);
  for (QPushButton* b : {cmdZuruck, cmdVor, cmdAufPosition}) {
    connect(b, &QPushButton::clicked, this, [this, b] {
      Command(K::kMoving, [&] { cmdZuPositionClick(b->property("Tag").toInt()); });
    });
  }
  for (TShape* s : {shpM1L, shpM1R, shpM2L, sphM2R, shpM3L, shpM3R, shpM5R, shpM5L}) {
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
  label(lblM4Zu, &TfrmMain::lblM4Click);
  label(lblM4Auf, &TfrmMain::lblM4Click);
  label(lblM6Zu, &TfrmMain::lblM6Click);
  label(lblM6Auf, &TfrmMain::lblM6Click);
  label(lblM7Zu, &TfrmMain::lblM7Click);
  label(lblM7Auf, &TfrmMain::lblM7Click);
  label(lblM8Zu, &TfrmMain::lblM8Click);
  label(lblM8Auf, &TfrmMain::lblM8Click);
  connect(qApp, &QGuiApplication::applicationStateChanged, this,
          &TfrmMain::OnApplicationStateChanged);
}

void TfrmMain::FormCreate() {
  setWindowTitle(ApplicationTitle());
  PrgModus = 0;
  Robot = std::make_unique<access::TBrelRobot>();
  const platform::ProgramFolders folders = progDirOverride_.empty()
                                               ? platform::CurrentProgramFolders()
                                               : platform::ProgramFoldersFor(progDirOverride_);
  Settings.ProgDir = folders.progDir;
  // The help pages and relative names resolve in the program's folder.
  QDir::setCurrent(QString::fromStdString(Settings.ProgDir));
  DataDir = platform::InstalledDataDirectory();
  Ini = std::make_unique<platform::ProfileFile>(settings::SettingsFile(folders));
  ReadSettings();
  ConfigureAxes();
  ShowModelData();
  mnuNeuClick();
  SetMode(1);
  ReportRecoveredScriptsLater();
}

// ---- Settings -----------------------------------------------------------------------

void TfrmMain::ReadSettings() {
  settings::ReadSettings(Settings, Robot->Axes, *Ini);
  // A position no screen shows (stored on a larger or a second screen) gives the
  // start-up default, so the window never opens out of reach.
  const settings::ProgramSettings defaults;
  move(platform::PlaceOnScreen(QPoint(Settings.Left, Settings.Top), size(),
                               QPoint(defaults.Left, defaults.Top)));
}

void TfrmMain::ConfigureAxes() {
  settings::ConfigureAxes(Settings, Robot->Axes);
}

void TfrmMain::ShowModelData() {
  const settings::ModelData data = settings::ShowModelData(Settings, Robot->Axes);
  lblTitel->setText(QString::fromStdString(data.title));
  memDaten->clear();
  for (const std::string& line : data.memo) memDaten->appendPlainText(QString::fromStdString(line));
  for (const char* name : settings::kRob5Controls) {
    if (QWidget* w = pnlFahren->findChild<QWidget*>(QLatin1String(name)))
      w->setVisible(data.rob5ControlsVisible);
  }
}

void TfrmMain::WriteSettings() {
  Settings.Left = x();
  Settings.Top = y();
  std::string error;
  if (!settings::WriteSettings(Settings, Robot->Axes, *Ini, &error))
    throw std::runtime_error(error);
}

// ---- Modes --------------------------------------------------------------------------

void TfrmMain::SetPanelState(QFrame* panel, bool enabled, bool grey) {
  panel->setEnabled(enabled);
  SetBackground(panel, grey ? kGrey : QApplication::palette().color(QPalette::Button));
}

void TfrmMain::SetMode(int mode) {
  PrgModus = static_cast<uint8_t>(mode);
  lblPrgModus->setText(StatusText(mode));
  cmdAction->setText(ActionText(mode));
  cmdAction->setEnabled(true);
  cmdEnde->setText(mode == 1 ? QStringLiteral("Abbrechen") : QStringLiteral("ENDE"));
  cmdEnde->setEnabled(mode != 4);
  cmdInterface->setEnabled(mode == 2 || mode == 3);
  SetPanelState(pnlFahren, mode == 3, mode == 3);
  SetPanelState(pnlPosition, mode == 3, mode == 3);
  SetPanelState(pnlRun, mode == 2 || mode == 3, mode == 3);
  mnuDatei->menuAction()->setEnabled(mode != 4);
  // Port and model can change only before the interface is first switched on.
  mnuOptionen->menuAction()->setVisible(mode == 1);
  mnuOptionen->menuAction()->setEnabled(mode == 1);
  mnuHilfe->menuAction()->setEnabled(mode != 4);
}

void TfrmMain::cmdActionClick() {
  switch (PrgModus) {
    case 1: {
      Robot->SetLptDelay(Settings.LPTDelay);
      // The extension follows the model of this attempt, also after a failed attempt
      // with another model.
      Robot->SetExtended(Settings.IsRob5());
      const uint32_t result = Robot->OpenInterface(Settings.PortName);
      if (result == access::kInterfaceError) {
        CurrentPrompts().Error(this, QStringLiteral("Fehler"),
                               QStringLiteral("Inpterfaceproblem mit : ") +
                                   QString::fromStdString(Settings.PortName) + QLatin1Char('\n') +
                                   QString::fromStdString(platform::PortProblemText(
                                       Settings.PortName, Robot->OpenError)));
        cmdAction->setFocus();
        return;
      }
      tmrI->start();
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
      Robot->StopFlag = true;
      chkWiederholen->setChecked(false);
      SetMode(3);
      break;
    default:
      break;
  }
}

void TfrmMain::HomeRun() {
  Robot->ClearStopFlag();
  Robot->MoveHome();
  Robot->ClearMotors();
  for (int32_t& v : LineValues) v = 0;
}

// ---- Panel, help, end ---------------------------------------------------------------

void TfrmMain::cmdInterfaceClick() {
  const QRect frame = frameGeometry();
  RunModal([&] { Robot->ShowPanel(true, frame.left() + frame.width() - 360, frame.top() + 60); });
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
  if (PrgModus == 4 || Moving()) {
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
  tmrI->stop();
  // A settings file that cannot be written must not keep the program, and perhaps its
  // outputs, alive: the error is shown and the shutdown goes on.
  RunCommand([this] { WriteSettings(); });
  if (Modified && CurrentPrompts().Question(this, QStringLiteral("Information"),
                                            QStringLiteral("Script-Datei Speichern?"))) {
    bool saved = true;
    try {
      mnuSpeichernUClick();
    } catch (const std::exception& error) {
      ShowTopLevelError(QString::fromUtf8(error.what()));
      saved = false;
    }
    if (!saved) {
      // The script could not be written: stay open so that it is not lost. The display
      // stays stopped until the next close runs the shutdown again.
      return false;
    }
  }
  platform::Sleep(Robot->SettlePause);
  Robot->CloseInterface();
  // The interface panels work on the robot: they go with it.
  for (access::TfrmPanel* panel : findChildren<access::TfrmPanel*>()) delete panel;
  Robot.reset();
  Ini.reset();
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
  tmrI->stop();
  // This ends the program itself, once the stack below has unwound.
  closePending_ = false;
  if (Robot) {
    // Whatever runs underneath ends at its next abort test, and no further pass follows.
    Robot->StopFlag = true;
    chkWiederholen->setChecked(false);
    Robot->ClearMotors();
    Robot->CloseInterface();
  }
  WriteRecoveryScript();  // outputs off first, then the script
  QCoreApplication::exit(128 + signal);
}

}  // namespace kelvora::app
