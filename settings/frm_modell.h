// SPDX-License-Identifier: MIT
// TfrmModell: the model dialog. Chooses the robot model entry, gripper or extra motor, the
// description and each axis's working range. Filled once when created; a reopened dialog
// shows what it showed when it was last closed. "OK" changes the settings and the axis
// maxima in memory only; the settings file is written at program end.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "settings/program_settings.h"

namespace Ui {
class TfrmModell;
}  // namespace Ui

namespace kelvora::access {
class TBrelMotList;
}
namespace kelvora::platform {
class ProfileFile;
}

namespace kelvora::settings {

class TfrmModell : public QDialog {
  Q_OBJECT
 public:
  // None of the three is owned; all live as long as the main window. Runs FormCreate.
  TfrmModell(ProgramSettings& settings, const platform::ProfileFile& profile,
             access::TBrelMotList& axes, QWidget* parent);
  ~TfrmModell() override;

  // Fills the controls for entry from its section in the settings file, or from the
  // built-in values of Rob2 and Rob4; any other entry keeps what the fields show.
  void LoadModelEntry(const QString& entry);

 public slots:
  void cboRobClick(int index);
  void cboZusatzClick(int index);
  void cmdOKClick();
  void cmdEndeClick();

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void FormCreate();
  void SetGripperRowEnabled(bool on);
  void SetCarriageRowEnabled(bool on);

  ProgramSettings& settings_;
  const platform::ProfileFile& profile_;
  access::TBrelMotList& axes_;

  // The form's widgets, reached by their object names.
  std::unique_ptr<Ui::TfrmModell> ui_;
};

}  // namespace kelvora::settings
