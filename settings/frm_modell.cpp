#include "settings/frm_modell.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <vector>

#include "access/brel_mot_list.h"
#include "platform/profile.h"
#include "settings/frm_dialog_common.h"
#include "settings/settings.h"

namespace kelvora::settings {

namespace {

constexpr const char* kFieldError = "Fehlerhafte Werte für den Arbeitsraum";

QString Num(int32_t v) {
  return QString::number(v);
}

// One row of the working-range group: caption, "0 - ", field and unit.
TLimitedEdit* MakeRangeRow(QGroupBox* group, int row, const char* captionName,
                           const QString& caption, const char* fieldName, const QString& unit,
                           QLabel** captionOut = nullptr) {
  const int top = 24 + row * 36;
  auto* cap = new QLabel(caption, group);
  cap->setObjectName(QString::fromLatin1(captionName));
  cap->setGeometry(16, top + 4, 110, 17);
  auto* from = new QLabel(QStringLiteral("0 - "), group);
  from->setObjectName(QStringLiteral("%1Von").arg(QString::fromLatin1(fieldName)));
  from->setGeometry(136, top + 4, 24, 17);
  auto* field = new TLimitedEdit(3, group);
  field->setObjectName(QString::fromLatin1(fieldName));
  field->setText(QStringLiteral("0"));
  field->setGeometry(164, top, 49, 24);
  auto* unitLabel = new QLabel(unit, group);
  unitLabel->setObjectName(QStringLiteral("%1Einheit").arg(QString::fromLatin1(fieldName)));
  unitLabel->setGeometry(224, top + 4, 150, 17);
  if (captionOut) *captionOut = cap;
  return field;
}

}  // namespace

TfrmModell::TfrmModell(ProgramSettings& settings, const platform::ProfileFile& profile,
                       access::TBrelMotList& axes, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      settings_(settings),
      profile_(profile),
      axes_(axes) {
  setObjectName(QStringLiteral("frmModell"));
  setWindowTitle(QStringLiteral("Kelvora : Modelle"));
  setFont(DialogFont());
  setProperty("HelpContext", 6);
  setFixedSize(418, 375);

  lblTitel = MakeDialogTitle(this, QStringLiteral("Modelldaten"), 8, 8, 402);

  cboRob = new QComboBox(this);
  cboRob->setObjectName(QStringLiteral("cboRob"));
  for (int i = 1; i <= 9; ++i) cboRob->addItem(QStringLiteral("Rob%1").arg(i));
  cboRob->setGeometry(8, 48, 81, 24);

  cboZusatz = new QComboBox(this);
  cboZusatz->setObjectName(QStringLiteral("cboZusatz"));
  cboZusatz->addItems({QStringLiteral("G - Greifer"), QStringLiteral("Z - Zusatz")});
  cboZusatz->setGeometry(96, 48, 113, 24);

  txtBeschreibung = new TLimitedEdit(40, this);
  txtBeschreibung->setObjectName(QStringLiteral("txtBeschreibung"));
  txtBeschreibung->setText(QStringLiteral("Säulenroboter"));
  txtBeschreibung->setGeometry(216, 48, 194, 24);

  GroupBox1 = new QGroupBox(QStringLiteral("Arbeitsraum"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(8, 84, 402, 216);
  txtSaule = MakeRangeRow(GroupBox1, 0, "Label1", QStringLiteral("Säule"), "txtSaule",
                          QStringLiteral("Impulse nach rechts"));
  txtArmV = MakeRangeRow(GroupBox1, 1, "Label2", QStringLiteral("Arm vertikal"), "txtArmV",
                         QStringLiteral("Impulse nach vorn"));
  txtArmH = MakeRangeRow(GroupBox1, 2, "Label3", QStringLiteral("Arm horizontal"), "txtArmH",
                         QStringLiteral("Impulse nach unten"));
  txtGreifer = MakeRangeRow(GroupBox1, 3, "lblGreifer", QStringLiteral("Greifer"), "txtGreifer",
                            QStringLiteral("Impulse zum Schließen"), &lblGreifer);
  txtWagen = MakeRangeRow(GroupBox1, 4, "lblWagen", QStringLiteral("Wagen"), "txtWagen",
                          QStringLiteral("Impulse nach rechts"), &lblWagen);

  cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setGeometry(104, 320, 97, 29);
  cmdEnde = new QPushButton(QStringLiteral("Abbrechen"), this);
  cmdEnde->setObjectName(QStringLiteral("cmdEnde"));
  cmdEnde->setGeometry(216, 320, 97, 29);
  // Neither button is the default one: Enter does not confirm the dialog.
  for (QPushButton* b : {cmdOK, cmdEnde}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }

  setTabOrder(cmdOK, cmdEnde);
  setTabOrder(cmdEnde, cboRob);
  setTabOrder(cboRob, cboZusatz);
  setTabOrder(cboZusatz, txtBeschreibung);
  setTabOrder(txtBeschreibung, txtSaule);
  setTabOrder(txtSaule, txtArmV);
  setTabOrder(txtArmV, txtArmH);
  setTabOrder(txtArmH, txtGreifer);
  setTabOrder(txtGreifer, txtWagen);

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
    txtBeschreibung->setText(SingleLineText(read("RobText", "XXX")));
    txtSaule->setText(readMaximum("Säule", "9999"));
    txtArmH->setText(readMaximum("ArmH", "9999"));
    txtArmV->setText(readMaximum("ArmV", "9999"));
    if (profile_.ReadString(section, "RobType", "G") == "G") {
      txtGreifer->setText(readMaximum("Greifer", "9999"));
      cboZusatz->setCurrentIndex(0);
      SetGripperRowEnabled(true);
    } else {
      txtGreifer->setText(QStringLiteral("9999"));
      cboZusatz->setCurrentIndex(1);
      SetGripperRowEnabled(false);
    }
    if (isRob5) {
      txtWagen->setText(readMaximum("Wagen", "1000"));
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

void TfrmModell::cmdOKClick() {
  const std::string model = cboRob->currentText().toStdString();
  // The fields the new model uses, in the order they are checked; every one is checked
  // before anything is applied, so a refused "OK" changes nothing (not another model's
  // maxima, nor the model itself).
  struct Maximum {
    TLimitedEdit* field;
    int axis;
    int32_t value;
  };
  std::vector<Maximum> maxima = {{txtSaule, 1, 0}, {txtArmV, 3, 0}, {txtArmH, 2, 0}};
  if (model != "Rob5") {
    maxima.push_back({txtGreifer, 4, 0});
  } else {
    maxima.push_back({txtWagen, 4, 0});
    maxima.push_back({txtGreifer, 5, 0});
  }
  for (Maximum& m : maxima) {
    // The rows announce a range from 0; the upper end is what the settings file can hold.
    if (!DialogStrToInt(m.field->text(), m.value) || !ValidMaximum(m.value)) {
      ShowErrorBox(this, QString::fromUtf8(kFieldError));
      return;
    }
  }
  settings_.SetRobModel(model);
  settings_.RobType = cboZusatz->currentIndex() != 0 ? "Z" : "G";
  settings_.RobText = SingleLineText(txtBeschreibung->text()).toStdString();
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
  lblGreifer->setEnabled(on);
  txtGreifer->setEnabled(on);
}

void TfrmModell::SetCarriageRowEnabled(bool on) {
  lblWagen->setEnabled(on);
  txtWagen->setEnabled(on);
}

}  // namespace kelvora::settings
