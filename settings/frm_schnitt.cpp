// SPDX-License-Identifier: MIT
#include "settings/frm_schnitt.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "platform/form_setup_qt.h"
#include "settings/frm_dialog_common.h"
#include "settings/settings.h"
#include "ui_frm_schnitt.h"

namespace kelvora::settings {

TfrmSchnitt::TfrmSchnitt(ProgramSettings& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      settings_(settings),
      ui_(std::make_unique<Ui::TfrmSchnitt>()) {
  ui_->setupUi(this);
  platform::SetupFormData(this);

  connect(ui_->cboPort, &QComboBox::activated, this, &TfrmSchnitt::cboPortClick);
  connect(ui_->cmdOK, &QPushButton::clicked, this, &TfrmSchnitt::cmdOKClick);
  connect(ui_->cmdEnde, &QPushButton::clicked, this, &TfrmSchnitt::cmdEndeClick);

  FormCreate();
}

TfrmSchnitt::~TfrmSchnitt() = default;

void TfrmSchnitt::FormCreate() {
  const QString port = QString::fromStdString(settings_.PortName);
  int index = ui_->cboPort->findText(port, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (index < 0) {
    // A port the list does not name (COM5, a lower-case name) stays the choice, so that
    // "OK" keeps it instead of applying nothing.
    ui_->cboPort->addItem(port);
    index = ui_->cboPort->count() - 1;
  }
  ui_->cboPort->setCurrentIndex(index);
  ApplyDelayRule();
}

void TfrmSchnitt::ApplyDelayRule() {
  const int index = ui_->cboPort->currentIndex();
  // Only the numbered parallel ports LPT1..LPT3 are clocked by the program itself.
  const bool numberedLpt = index >= 4 && index <= 6;
  ui_->lblDelay->setVisible(numberedLpt);
  ui_->txtDelay->setVisible(numberedLpt);
  ui_->txtDelay->setText(numberedLpt ? QString::number(settings_.LPTDelay) : QStringLiteral("10"));
}

void TfrmSchnitt::cboPortClick(int) {
  ApplyDelayRule();
}

void TfrmSchnitt::cmdOKClick() {
  settings_.PortName = ui_->cboPort->currentText().toStdString();
  int32_t delay = 0;
  // The driver repeats every register write this many times: beyond the advised range a
  // value only slows the box down, and a negative one would wrap to a count in the
  // billions. The settings file holds the same range, so a stored delay always passes.
  if (!DialogStrToInt(ui_->txtDelay->text(), delay) || !ValidLptDelay(delay)) {
    ShowErrorBox(this, tr("Fehlerhafter Wert für Verzögerungsfaktor"));
    return;
  }
  settings_.LPTDelay = static_cast<uint32_t>(delay);
  accept();
}

void TfrmSchnitt::cmdEndeClick() {
  reject();
}

void TfrmSchnitt::keyPressEvent(QKeyEvent* e) {
  // No cancel button: Esc does not close the dialog; Enter does not confirm it.
  if (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

}  // namespace kelvora::settings
