// SPDX-License-Identifier: MIT
// TfrmSchnitt: the interface dialog. Chooses the port of the interface box and, for a
// numbered parallel port, the delay factor of the shift clock. Changes PortName and
// LPTDelay in memory; they take effect the next time the interface is switched on.
#pragma once

#include <QDialog>
#include <memory>

#include "settings/program_settings.h"

namespace Ui {
class TfrmSchnitt;
}  // namespace Ui

namespace kelvora::settings {

class TfrmSchnitt : public QDialog {
  Q_OBJECT
 public:
  // settings is not owned. Runs FormCreate.
  TfrmSchnitt(ProgramSettings& settings, QWidget* parent);
  ~TfrmSchnitt() override;

 public slots:
  void cboPortClick(int index);
  void cmdOKClick();
  void cmdEndeClick();

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void FormCreate();
  void ApplyDelayRule();

  ProgramSettings& settings_;
  // The form's widgets, reached by their object names.
  std::unique_ptr<Ui::TfrmSchnitt> ui_;
};

}  // namespace kelvora::settings
