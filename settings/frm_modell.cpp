#include "settings/frm_modell.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "access/brel_mot_list.h"
#include "platform/form_setup_qt.h"
#include "platform/profile.h"
#include "settings/frm_dialog_common.h"
#include "ui_frm_modell.h"

namespace kelvora::settings {

namespace {

constexpr const char* kFieldError = "Fehlerhafte Werte für den Arbeitsraum";

QString Num(int32_t v) {
  return QString::number(v);
}

}  // namespace

TfrmModell::TfrmModell(ProgramSettings& settings, const platform::ProfileFile& profile,
                       access::TBrelMotList& axes, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      settings_(settings),
      profile_(profile),
      axes_(axes) {
  Ui::TfrmModell ui;
  ui.setupUi(this);
  platform::SetupFormData(this);
  lblTitel = ui.lblTitel;
  cboRob = ui.cboRob;
  cboZusatz = ui.cboZusatz;
  txtBeschreibung = ui.txtBeschreibung;
  GroupBox1 = ui.GroupBox1;
  txtSaule = ui.txtSaule;
  txtArmV = ui.txtArmV;
  txtArmH = ui.txtArmH;
  lblGreifer = ui.lblGreifer;
  txtGreifer = ui.txtGreifer;
  lblWagen = ui.lblWagen;
  txtWagen = ui.txtWagen;
  cmdOK = ui.cmdOK;
  cmdEnde = ui.cmdEnde;

  // activated fires only for the user's choice, never for a selection made here.
  connect(cboRob, &QComboBox::activated, this, &TfrmModell::cboRobClick);
  connect(cboZusatz, &QComboBox::activated, this, &TfrmModell::cboZusatzClick);
  connect(cmdOK, &QPushButton::clicked, this, &TfrmModell::cmdOKClick);
  connect(cmdEnde, &QPushButton::clicked, this, &TfrmModell::cmdEndeClick);

  FormCreate();
}

void TfrmModell::FormCreate() {
  // Only "Rob1".."Rob9" name a list item; anything else selects Rob1 so that "OK" always
  // has an entry to apply.
  const std::string& model = settings_.RobModel;
  const char last = model.empty() ? '\0' : model.back();
  cboRob->setCurrentIndex(last >= '1' && last <= '9' ? last - '1' : 0);
  const bool typeG = settings_.IsTypeG();
  cboZusatz->setCurrentIndex(typeG ? 0 : 1);
  txtBeschreibung->setText(QString::fromStdString(settings_.RobText));
  txtSaule->setText(Num(axes_.GetPos(1, access::mcMaximum)));
  txtArmV->setText(Num(axes_.GetPos(3, access::mcMaximum)));
  txtArmH->setText(Num(axes_.GetPos(2, access::mcMaximum)));
  if (!typeG) {
    txtGreifer->setText(QStringLiteral("9999"));
    SetGripperRowEnabled(false);
  } else {
    txtGreifer->setText(Num(axes_.GetPos(settings_.IsRob5() ? 5 : 4, access::mcMaximum)));
    SetGripperRowEnabled(true);
  }
  if (settings_.IsRob5()) {
    txtWagen->setText(Num(axes_.GetPos(4, access::mcMaximum)));
    SetCarriageRowEnabled(true);
  } else {
    SetCarriageRowEnabled(false);
  }
}

void TfrmModell::LoadModelEntry(const QString& entry) {
  const std::string section = entry.toStdString();
  const bool isRob5 = entry == QStringLiteral("Rob5");
  if (profile_.SectionExists(section)) {
    // Texts unconverted: a value that is no number shows as it is and fails at "OK".
    auto read = [&](const char* key, const char* def) {
      return QString::fromStdString(profile_.ReadString(section, key, def));
    };
    txtBeschreibung->setText(read("RobText", "XXX"));
    txtSaule->setText(read("Säule", "9999"));
    txtArmH->setText(read("ArmH", "9999"));
    txtArmV->setText(read("ArmV", "9999"));
    if (profile_.ReadString(section, "RobType", "G") == "G") {
      txtGreifer->setText(read("Greifer", "9999"));
      cboZusatz->setCurrentIndex(0);
      SetGripperRowEnabled(true);
    } else {
      txtGreifer->setText(QStringLiteral("9999"));
      cboZusatz->setCurrentIndex(1);
      SetGripperRowEnabled(false);
    }
    if (isRob5) {
      txtWagen->setText(read("Wagen", "1000"));
      SetCarriageRowEnabled(true);
    } else {
      SetCarriageRowEnabled(false);
    }
  } else if (entry == QStringLiteral("Rob2")) {
    txtBeschreibung->setText(QStringLiteral("Schweiß-Roboter"));
    txtSaule->setText(QStringLiteral("210"));
    txtArmH->setText(QStringLiteral("160"));
    txtArmV->setText(QStringLiteral("80"));
    txtGreifer->setText(QStringLiteral("9999"));
    cboZusatz->setCurrentIndex(1);
    SetGripperRowEnabled(false);
    SetCarriageRowEnabled(false);
  } else if (entry == QStringLiteral("Rob4")) {
    txtBeschreibung->setText(QStringLiteral("Knickarm-Roboter"));
    txtSaule->setText(QStringLiteral("240"));
    txtArmH->setText(QStringLiteral("160"));
    txtArmV->setText(QStringLiteral("112"));
    txtGreifer->setText(QStringLiteral("28"));
    cboZusatz->setCurrentIndex(0);
    SetGripperRowEnabled(true);
    SetCarriageRowEnabled(false);
  } else {
    // A new entry starts from the values shown for the previous one.
    SetCarriageRowEnabled(isRob5);
  }
}

void TfrmModell::cboRobClick(int index) {
  if (index >= 0) LoadModelEntry(cboRob->itemText(index));
}

void TfrmModell::cboZusatzClick(int) {
  txtGreifer->setText(QStringLiteral("9999"));
  SetGripperRowEnabled(cboZusatz->currentIndex() == 0);
}

bool TfrmModell::StoreMaximum(TLimitedEdit* field, int axis) {
  int32_t value = 0;
  // The rows announce a range from 0; a negative maximum would make every target of
  // the axis a run to its end switch.
  if (!DialogStrToInt(field->text(), value) || value < 0) {
    ShowErrorBox(this, QString::fromUtf8(kFieldError));
    return false;
  }
  axes_.SetPos(axis, access::mcMaximum, value);
  return true;
}

void TfrmModell::cmdOKClick() {
  settings_.SetRobModel(cboRob->currentText().toStdString());
  settings_.RobType = cboZusatz->currentIndex() != 0 ? "Z" : "G";
  settings_.RobText = txtBeschreibung->text().toStdString();
  // Each maximum is stored as soon as it converts; a failing field leaves the earlier
  // ones applied and the dialog open.
  if (!StoreMaximum(txtSaule, 1)) return;
  if (!StoreMaximum(txtArmV, 3)) return;
  if (!StoreMaximum(txtArmH, 2)) return;
  if (!settings_.IsRob5()) {
    if (!StoreMaximum(txtGreifer, 4)) return;
  } else {
    if (!StoreMaximum(txtWagen, 4)) return;
    if (!StoreMaximum(txtGreifer, 5)) return;
  }
  accept();
}

void TfrmModell::cmdEndeClick() {
  reject();
}

void TfrmModell::keyPressEvent(QKeyEvent* e) {
  // No cancel button: Esc does not close the dialog; Enter does not confirm it.
  if (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

void TfrmModell::SetGripperRowEnabled(bool on) {
  lblGreifer->setEnabled(on);
  txtGreifer->setEnabled(on);
}

void TfrmModell::SetCarriageRowEnabled(bool on) {
  lblWagen->setEnabled(on);
  txtWagen->setEnabled(on);
}

}  // namespace kelvora::settings
