// TfrmSchnitt: the interface dialog. Chooses the port of the interface box and, for a
// numbered parallel port, the delay factor of the shift clock. Changes PortName and
// LPTDelay in memory; they take effect the next time the interface is switched on.
#pragma once

#include <QDialog>

#include "settings/program_settings.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace kelvora::settings {

class TLimitedEdit;

class TfrmSchnitt : public QDialog {
  Q_OBJECT
 public:
  // settings is not owned. Runs FormCreate.
  TfrmSchnitt(ProgramSettings& settings, QWidget* parent);

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
  QLabel* lblTitel = nullptr;
  QLabel* Label1 = nullptr;
  QComboBox* cboPort = nullptr;
  QLabel* lblDelay = nullptr;
  TLimitedEdit* txtDelay = nullptr;
  QPushButton* cmdOK = nullptr;
  QPushButton* cmdEnde = nullptr;
};

}  // namespace kelvora::settings
