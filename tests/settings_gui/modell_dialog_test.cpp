// SPDX-License-Identifier: MIT
// The model dialog on its own: what it loads into its fields and what "OK" accepts. What the
// main window then shows and writes is in main_dialogs_test.cpp.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gmock/gmock.h>

#include "settings/frm_modell.h"
#include "tests/settings_gui/dialog_rig.h"

namespace kelvora::testing {
namespace {

class ModellDialogTest : public ::testing::Test {
 protected:
  void Open(const std::string& ini = std::string()) {
    rig = std::make_unique<SettingsRig>(ini);
    dlg = std::make_unique<settings::TfrmModell>(rig->s, *rig->file, rig->axes, nullptr);
    dlg->show();
  }
  QComboBox* Rob() { return dlg->findChild<QComboBox*>("cboRob"); }
  QComboBox* Zusatz() { return dlg->findChild<QComboBox*>("cboZusatz"); }
  QLineEdit* Edit(const char* name) { return dlg->findChild<QLineEdit*>(name); }
  QString Text(const char* name) { return Edit(name)->text(); }
  void Ok() { Click(dlg->findChild<QPushButton*>("cmdOK")); }

  ErrorBoxCatcher errors;
  std::unique_ptr<SettingsRig> rig;
  std::unique_ptr<settings::TfrmModell> dlg;
};

TEST_F(ModellDialogTest, FormShowsTheStoredModelInItsTabOrder) {
  Open();
  EXPECT_EQ(Rob()->currentText(), "Rob3");
  EXPECT_FALSE(Rob()->isEditable());
  EXPECT_EQ(Zusatz()->currentText(), "G - Greifer");
  EXPECT_EQ(Text("txtBeschreibung"), "Säulenroboter");
  EXPECT_EQ(Text("txtSaule"), "240");
  EXPECT_EQ(Text("txtArmV"), "150");
  EXPECT_EQ(Text("txtArmH"), "160");
  EXPECT_EQ(Text("txtGreifer"), "28");
  EXPECT_TRUE(Edit("txtGreifer")->isEnabled());
  // The carriage row belongs to Rob5 only and was never filled.
  EXPECT_EQ(Text("txtWagen"), "0");
  EXPECT_FALSE(Edit("txtWagen")->isEnabled());
  EXPECT_FALSE(dlg->findChild<QLabel*>("lblWagen")->isEnabled());
  EXPECT_EQ(TabOrder(dlg->findChild<QWidget*>("cmdOK"), 9),
            QStringList({"cmdOK", "cmdEnde", "cboRob", "cboZusatz", "txtBeschreibung", "txtSaule",
                         "txtArmV", "txtArmH", "txtGreifer", "txtWagen"}));
  // Typing is limited; longer built-in values stay whole up to "OK".
  Type(Edit("txtSaule"), "12345");
  EXPECT_EQ(Text("txtSaule"), "123");
  QTest::keyClicks(Edit("txtBeschreibung"), QString(50, QLatin1Char('x')));
  EXPECT_EQ(Text("txtBeschreibung").size(), 40);
  Pick(Zusatz(), "Z - Zusatz");
  EXPECT_EQ(Text("txtGreifer"), "9999");
}

TEST_F(ModellDialogTest, TypeChoiceSetsTheRowsAndOnlyAUserChoiceResetsTheGripper) {
  Open();
  Pick(Zusatz(), "Z - Zusatz");
  EXPECT_EQ(Text("txtGreifer"), "9999");
  EXPECT_FALSE(Edit("txtGreifer")->isEnabled());
  Pick(Zusatz(), "G - Greifer");
  EXPECT_EQ(Text("txtGreifer"), "9999");
  EXPECT_TRUE(Edit("txtGreifer")->isEnabled());
  Type(Edit("txtGreifer"), "30");
  // Built-ins select the type themselves; that is no user choice.
  Pick(Rob(), "Rob4");
  EXPECT_EQ(Text("txtGreifer"), "28");
  Pick(Rob(), "Rob2");
  EXPECT_EQ(Zusatz()->currentText(), "Z - Zusatz");
  EXPECT_FALSE(Edit("txtGreifer")->isEnabled());
  // The carriage row follows the model.
  Pick(Rob(), "Rob5");
  EXPECT_TRUE(Edit("txtWagen")->isEnabled());
  EXPECT_TRUE(dlg->findChild<QLabel*>("lblWagen")->isEnabled());
  Pick(Rob(), "Rob3");
  EXPECT_FALSE(Edit("txtWagen")->isEnabled());
}

TEST_F(ModellDialogTest, EmptyNegativeOrZeroXMaximumIsRefusedLikeALetter) {
  Open();
  for (const char* bad : {"", "-5", "0x1"}) {  // "0x" belongs to the settings file only
    Type(Edit("txtArmH"), bad);
    Ok();
    EXPECT_TRUE(dlg->isVisible()) << bad;
  }
  EXPECT_THAT(errors.texts, ::testing::Each(QString("Fehlerhafte Werte für den Arbeitsraum")));
  EXPECT_EQ(errors.texts.size(), 3);
  EXPECT_EQ(rig->Max(2), 160);
  Type(Edit("txtArmH"), "$1F");
  Ok();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(rig->Max(2), 31);
}

TEST_F(ModellDialogTest, ExistingSectionFillsFieldsUnconvertedWithItsDefaults) {
  Open(
      "[Common]\nRobModel=Rob3\n[Rob6]\nRobType=Z\nRobText=Portal\nSäule=abc\nGreifer=77\n"
      "[Rob5]\nArmH=120\n[Rob2]\n");
  Pick(Rob(), "Rob6");
  EXPECT_EQ(Text("txtBeschreibung"), "Portal");
  EXPECT_EQ(Text("txtSaule"), "abc");
  EXPECT_EQ(Text("txtArmH"), "9999");
  EXPECT_EQ(Text("txtGreifer"), "9999");
  EXPECT_EQ(Zusatz()->currentText(), "Z - Zusatz");
  Pick(Rob(), "Rob5");
  EXPECT_EQ(Text("txtBeschreibung"), "XXX");
  EXPECT_EQ(Text("txtArmH"), "120");
  EXPECT_EQ(Text("txtWagen"), "1000");
  EXPECT_EQ(Zusatz()->currentText(), "G - Greifer");
  // A header without keys is no section: Rob2's built-in values apply.
  Pick(Rob(), "Rob2");
  EXPECT_EQ(Text("txtBeschreibung"), "Schweiß-Roboter");
  // A value that is no number fails at "OK", and nothing is taken.
  Pick(Rob(), "Rob6");
  Ok();
  EXPECT_EQ(errors.texts.size(), 1);
  EXPECT_EQ(rig->s.RobModel, "Rob3");
}

// "OK" checks every field before it applies any: a refused "OK" changes nothing, so
// "Abbrechen" after it leaves the current model as it was (not another model's section).
TEST_F(ModellDialogTest, ARefusedOkAppliesNothing) {
  Open("[Common]\nRobModel=Rob5\n[Rob5]\nRobType=G\nWagen=800\nGreifer=33\nArmV=120\n");
  const std::vector<int32_t> before = {rig->Max(1), rig->Max(2), rig->Max(3), rig->Max(4),
                                       rig->Max(5)};
  struct Bad {
    const char* field;
    const char* text;
  };
  for (const Bad& bad : {Bad{"txtSaule", "x"}, Bad{"txtArmV", "a"}, Bad{"txtGreifer", "-1"}}) {
    Pick(Rob(), "Rob3");
    Type(Edit(bad.field), bad.text);
    Ok();
    EXPECT_TRUE(dlg->isVisible()) << bad.field;
    Click(dlg->findChild<QPushButton*>("cmdEnde"));
    EXPECT_EQ(rig->s.RobModel, "Rob5") << bad.field;
    EXPECT_EQ(rig->s.RobType, "G");
    EXPECT_EQ(rig->s.RobText, "Säulenroboter");
    EXPECT_EQ(
        (std::vector<int32_t>{rig->Max(1), rig->Max(2), rig->Max(3), rig->Max(4), rig->Max(5)}),
        before)
        << bad.field;
    dlg->show();
  }
  EXPECT_THAT(errors.texts, ::testing::Each(QString("Fehlerhafte Werte für den Arbeitsraum")));
  EXPECT_EQ(errors.texts.size(), 3);
}

// Reader and dialog agree: stored numbers outside the valid range read as missing, and the
// dialog opened on what was read, or on another entry's section, is confirmed unchanged.
TEST_F(ModellDialogTest, StoredValuesAlwaysPassOk) {
  Open(
      "[Common]\nRobModel=Rob3\n[Rob3]\nSäule=-5\nArmH=10000\nArmV=0x1E\n"
      "[Rob6]\nSäule=-7\nArmH=0x20\nArmV=9999\nGreifer=12000\n");
  EXPECT_EQ(Text("txtSaule"), "240");
  EXPECT_EQ(Text("txtArmH"), "160");
  EXPECT_EQ(Text("txtArmV"), "30");
  Ok();
  EXPECT_FALSE(dlg->isVisible());
  dlg->show();
  Pick(Rob(), "Rob6");
  EXPECT_EQ(Text("txtSaule"), "9999");
  EXPECT_EQ(Text("txtArmH"), "32");
  EXPECT_EQ(Text("txtArmV"), "9999");
  EXPECT_EQ(Text("txtGreifer"), "9999");
  Ok();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_TRUE(errors.texts.isEmpty());
  EXPECT_EQ(rig->Max(2), 32);
}

// A pasted line break would end the description's line in the settings file.
TEST_F(ModellDialogTest, TheDescriptionTakesNoLineBreak) {
  Open();
  QApplication::clipboard()->setText("zwei\nZeilen\r\nund\tmehr");
  Edit("txtBeschreibung")->setFocus();
  Edit("txtBeschreibung")->selectAll();
  QTest::keyClick(Edit("txtBeschreibung"), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Text("txtBeschreibung"), "zwei Zeilen  und mehr");
  Ok();
  EXPECT_EQ(rig->s.RobText, "zwei Zeilen  und mehr");
  std::string error;
  EXPECT_TRUE(settings::WriteSettings(rig->s, rig->axes, *rig->file, &error)) << error;
}

// A stored model that names no entry counts as absent: the dialog opens on the default
// entry, and "OK" on it changes no other model's section.
TEST_F(ModellDialogTest, ModelNamingNoEntryOpensOnTheDefaultAndOkLeavesOtherSections) {
  Open("[Common]\nRobModel=RobX\n[RobX]\nRobType=Z\nSäule=100\n[Rob1]\nRobText=Eins\nSäule=111\n");
  EXPECT_EQ(Rob()->currentText(), "Rob3");
  EXPECT_EQ(Zusatz()->currentText(), "G - Greifer");
  EXPECT_EQ(Text("txtSaule"), "240");
  Ok();
  EXPECT_EQ(rig->s.RobModel, "Rob3");
  EXPECT_EQ(rig->s.ScriptExt, "RB3");
  ASSERT_TRUE(settings::WriteSettings(rig->s, rig->axes, *rig->file));
  const platform::ProfileFile after(rig->file->Path());
  EXPECT_EQ(after.ReadString("Rob1", "RobText", ""), "Eins");
  EXPECT_EQ(after.ReadInteger("Rob1", "Säule", 0), 111);
  EXPECT_EQ(after.ReadString("RobX", "RobType", ""), "Z");
  EXPECT_EQ(after.ReadInteger("RobX", "Säule", 0), 100);
  EXPECT_EQ(after.ReadInteger("Rob3", "Säule", 0), 240);
}

TEST_F(ModellDialogTest, Rob5SettingsFillCarriageAndGripperFromTheirAxes) {
  Open("[Common]\nRobModel=Rob5\n[Rob5]\nRobType=G\nWagen=800\nGreifer=33\n");
  EXPECT_EQ(Text("txtWagen"), "800");
  EXPECT_EQ(Text("txtGreifer"), "33");
  EXPECT_TRUE(Edit("txtWagen")->isEnabled());
  Type(Edit("txtWagen"), "900");
  Ok();
  EXPECT_EQ(rig->Max(4), 900);
  EXPECT_EQ(rig->Max(5), 33);
}

// "rob5" runs with the standard layout, but "OK" makes it Rob5: the dialog shows Rob5 as
// the file holds it, so that confirming unchanged keeps the carriage maximum.
TEST_F(ModellDialogTest, AModelNameInOtherCaseShowsWhatOkApplies) {
  Open("[Common]\nRobModel=rob5\n[Rob5]\nRobType=G\nWagen=800\nGreifer=33\n");
  EXPECT_EQ(Rob()->currentText(), "Rob5");
  EXPECT_EQ(Text("txtWagen"), "800");
  EXPECT_TRUE(Edit("txtWagen")->isEnabled());
  Ok();
  EXPECT_EQ(rig->s.RobModel, "Rob5");
  EXPECT_EQ(rig->Max(4), 800);
  EXPECT_EQ(rig->Max(5), 33);
}

}  // namespace
}  // namespace kelvora::testing
