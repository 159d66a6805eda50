// SPDX-License-Identifier: MIT
#include "settings/frm_modell.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <vector>

#include "access/brel_mot_list.h"
#include "platform/form_setup_qt.h"
#include "platform/profile.h"
#include "settings/frm_dialog_common.h"
#include "settings/settings.h"
#include "ui_frm_modell.h"

namespace kelvora::settings {

namespace {

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
      axes_(axes),
      ui_(std::make_unique<Ui::TfrmModell>()) {
  ui_->setupUi(this);
  platform::SetupFormData(this);

  // activated fires only for the user's choice, never for a selection made here.
  connect(ui_->cboRob, &QComboBox::activated, this, &TfrmModell::cboRobClick);
  connect(ui_->cboZusatz, &QComboBox::activated, this, &TfrmModell::cboZusatzClick);
  connect(ui_->cmdOK, &QPushButton::clicked, this, &TfrmModell::cmdOKClick);
  connect(ui_->cmdEnde, &QPushButton::clicked, this, &TfrmModell::cmdEndeClick);

  FormCreate();
}

TfrmModell::~TfrmModell() = default;

void TfrmModell::FormCreate() {
  // The reader lets only an entry's name through ("rob5" selects Rob5); should anything
  // else get here, Rob1 is selected so that "OK" always has an entry to apply.
  const std::string& model = settings_.RobModel;
  const char last = model.empty() ? '\0' : model.back();
  ui_->cboRob->setCurrentIndex(last >= '1' && last <= '9' ? last - '1' : 0);
  const bool typeG = settings_.IsTypeG();
  ui_->cboZusatz->setCurrentIndex(typeG ? 0 : 1);
  ui_->txtBeschreibung->setText(QString::fromStdString(settings_.RobText));
  ui_->txtSaule->setText(Num(axes_.GetPos(1, access::mcMaximum)));
  ui_->txtArmV->setText(Num(axes_.GetPos(3, access::mcMaximum)));
  ui_->txtArmH->setText(Num(axes_.GetPos(2, access::mcMaximum)));
  if (!typeG) {
    ui_->txtGreifer->setText(QStringLiteral("9999"));
    SetGripperRowEnabled(false);
  } else {
    ui_->txtGreifer->setText(Num(axes_.GetPos(settings_.IsRob5() ? 5 : 4, access::mcMaximum)));
    SetGripperRowEnabled(true);
  }
  if (settings_.IsRob5()) {
    ui_->txtWagen->setText(Num(axes_.GetPos(4, access::mcMaximum)));
    SetCarriageRowEnabled(true);
  } else {
    SetCarriageRowEnabled(false);
  }
  // A name that matches its entry only without regard to case ("rob5") runs with the
  // standard layout, but "OK" makes it that entry: show the entry as the file holds it,
  // which is what "OK" applies, so that confirming unchanged loses nothing (Rob5's
  // carriage maximum, which the standard layout never shows).
  if (QString::fromStdString(model) != ui_->cboRob->currentText())
    LoadModelEntry(ui_->cboRob->currentText());
}

void TfrmModell::LoadModelEntry(const QString& entry) {
  const std::string section = entry.toStdString();
  const bool isRob5 = entry == QStringLiteral("Rob5");
  if (profile_.SectionExists(section)) {
    auto read = [&](const char* key, const char* def) {
      return QString::fromStdString(profile_.ReadString(section, key, def));
    };
    // A value that is no number shows as it is and fails at "OK". A number is read by
    // the settings file's rules: one outside the valid range counts as missing, as it
    // does at start, and any other is shown in decimal, which "OK" always takes.
    auto readMaximum = [&](const char* key, const char* def) {
      const QString text = read(key, def);
      int32_t value = 0;
      if (!platform::TryStrToInt(text.toStdString(), value)) return text;
      return ValidMaximum(value) ? Num(value) : QString::fromLatin1(def);
    };
    ui_->txtBeschreibung->setText(SingleLineText(read("RobText", "XXX")));
    ui_->txtSaule->setText(readMaximum("Säule", "9999"));
    ui_->txtArmH->setText(readMaximum("ArmH", "9999"));
    ui_->txtArmV->setText(readMaximum("ArmV", "9999"));
    if (profile_.ReadString(section, "RobType", "G") == "G") {
      ui_->txtGreifer->setText(readMaximum("Greifer", "9999"));
      ui_->cboZusatz->setCurrentIndex(0);
      SetGripperRowEnabled(true);
    } else {
      ui_->txtGreifer->setText(QStringLiteral("9999"));
      ui_->cboZusatz->setCurrentIndex(1);
      SetGripperRowEnabled(false);
    }
    if (isRob5) {
      ui_->txtWagen->setText(readMaximum("Wagen", "1000"));
      SetCarriageRowEnabled(true);
    } else {
      SetCarriageRowEnabled(false);
    }
  } else if (entry == QStringLiteral("Rob2")) {
    ui_->txtBeschreibung->setText(QStringLiteral("Schweiß-Roboter"));
    ui_->txtSaule->setText(QStringLiteral("210"));
    ui_->txtArmH->setText(QStringLiteral("160"));
    ui_->txtArmV->setText(QStringLiteral("80"));
    ui_->txtGreifer->setText(QStringLiteral("9999"));
    ui_->cboZusatz->setCurrentIndex(1);
    SetGripperRowEnabled(false);
    SetCarriageRowEnabled(false);
  } else if (entry == QStringLiteral("Rob4")) {
    ui_->txtBeschreibung->setText(QStringLiteral("Knickarm-Roboter"));
    ui_->txtSaule->setText(QStringLiteral("240"));
    ui_->txtArmH->setText(QStringLiteral("160"));
    ui_->txtArmV->setText(QStringLiteral("112"));
    ui_->txtGreifer->setText(QStringLiteral("28"));
    ui_->cboZusatz->setCurrentIndex(0);
    SetGripperRowEnabled(true);
    SetCarriageRowEnabled(false);
  } else {
    // A new entry starts from the values shown for the previous one.
    SetCarriageRowEnabled(isRob5);
  }
}

void TfrmModell::cboRobClick(int index) {
  if (index >= 0) LoadModelEntry(ui_->cboRob->itemText(index));
}

void TfrmModell::cboZusatzClick(int) {
  ui_->txtGreifer->setText(QStringLiteral("9999"));
  SetGripperRowEnabled(ui_->cboZusatz->currentIndex() == 0);
}

void TfrmModell::cmdOKClick() {
  const std::string model = ui_->cboRob->currentText().toStdString();
  // The fields the new model uses, in the order they are checked; every one is checked
  // before anything is applied, so a refused "OK" changes nothing (not another model's
  // maxima, nor the model itself).
  struct Maximum {
    TLimitedEdit* field;
    int axis;
    int32_t value;
  };
  std::vector<Maximum> maxima = {{ui_->txtSaule, 1, 0}, {ui_->txtArmV, 3, 0}, {ui_->txtArmH, 2, 0}};
  if (model != "Rob5") {
    maxima.push_back({ui_->txtGreifer, 4, 0});
  } else {
    maxima.push_back({ui_->txtWagen, 4, 0});
    maxima.push_back({ui_->txtGreifer, 5, 0});
  }
  for (Maximum& m : maxima) {
    // The rows announce a range from 0; the upper end is what the settings file can hold.
    if (!DialogStrToInt(m.field->text(), m.value) || !ValidMaximum(m.value)) {
      ShowErrorBox(this, tr("Fehlerhafte Werte für den Arbeitsraum"));
      return;
    }
  }
  settings_.SetRobModel(model);
  settings_.RobType = ui_->cboZusatz->currentIndex() != 0 ? "Z" : "G";
  settings_.RobText = SingleLineText(ui_->txtBeschreibung->text()).toStdString();
  for (const Maximum& m : maxima) axes_.SetPos(m.axis, access::mcMaximum, m.value);
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
  ui_->lblGreifer->setEnabled(on);
  ui_->txtGreifer->setEnabled(on);
}

void TfrmModell::SetCarriageRowEnabled(bool on) {
  ui_->lblWagen->setEnabled(on);
  ui_->txtWagen->setEnabled(on);
}

}  // namespace kelvora::settings
