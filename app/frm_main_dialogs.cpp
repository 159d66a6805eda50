// SPDX-License-Identifier: MIT
// The main window's model dialog, interface dialog and about box and the commands that
// open them, and the wiring that lets ShowPanel make interface panels for this window.
#include <QApplication>

#include "access/frm_panel.h"
#include "app/frm_main.h"
#include "settings/frm_about.h"
#include "settings/frm_dialog_common.h"
#include "settings/frm_modell.h"
#include "settings/frm_schnitt.h"
#include "ui_frm_main.h"

namespace kelvora::app {

namespace {

// Places dialog so that its lower right corner lies dx pixels left of and dy pixels
// above the main window's lower right corner (outer sizes).
void PlaceDialog(const QWidget& main, QWidget& dialog, int dx, int dy) {
  const QRect m = main.frameGeometry();
  QSize d = dialog.frameGeometry().size();
  if (d == dialog.size()) {
    // Before its first showing a window has no frame yet; it will get the frame the
    // main window has.
    d += m.size() - main.size();
  }
  dialog.move(m.left() + m.width() - d.width() - dx, m.top() + m.height() - d.height() - dy);
}

// The dialogs' "Fehler" boxes go through the program's prompts like every other box.
void RouteDialogErrors() {
  settings::SetErrorBoxHook([](QWidget* parent, const QString& text) {
    CurrentPrompts().Error(parent, ErrorTitle(), text);
  });
}

// Interface panels belong to the main window whose robot they show.
QWidget* MainWindowOf(access::TBrelFace& face) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* main = qobject_cast<TfrmMain*>(w);
    if (main != nullptr && main->Robot() == &face) return main;
  }
  return nullptr;
}

[[maybe_unused]] const bool kPanelFactoryRegistered = [] {
  access::RegisterPanelFactory(&MainWindowOf);
  return true;
}();

}  // namespace

void TfrmMain::CreateDialogs() {
  if (frmModell_ == nullptr)
    frmModell_ = new settings::TfrmModell(settings_, *ini_, robot_->Axes, this);
  if (frmSchnitt_ == nullptr) frmSchnitt_ = new settings::TfrmSchnitt(settings_, this);
  if (frmAbout_ == nullptr) frmAbout_ = new settings::TfrmAbout(this);
}

void TfrmMain::mnuModellClick() {
  if (frmModell_ == nullptr) return;
  RouteDialogErrors();
  PlaceDialog(*this, *frmModell_, 20, 16);
  RunModal([this] { frmModell_->exec(); });
  // Whichever way it closed: a failed "OK" may already have applied part of the values.
  ConfigureAxes();
  ShowModelData();
}

void TfrmMain::mnuSchnittClick() {
  if (frmSchnitt_ == nullptr) return;
  RouteDialogErrors();
  PlaceDialog(*this, *frmSchnitt_, 20, 16);
  RunModal([this] { frmSchnitt_->exec(); });
  ShowModelData();
}

void TfrmMain::mnuAboutClick() {
  if (frmAbout_ == nullptr) return;
  PlaceDialog(*this, *frmAbout_, 32, 20);
  RunModal([this] { frmAbout_->exec(); });
}

}  // namespace kelvora::app
