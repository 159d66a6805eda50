// The model dialog on its own: what it shows, what "OK" applies, what the main window then
// shows (title and memo through the model-data display) and what the settings file holds
// after the program's close has written it.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gmock/gmock.h>

#include "settings/frm_modell.h"
#include "tests/settings_gui/dialog_rig.h"

namespace kelvora::testing {
namespace {

using settings::TfrmModell;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class ModellDialogTest : public ::testing::Test {
 protected:
  void Open(const std::string& ini = std::string()) {
    rig = std::make_unique<SettingsRig>(ini);
    dlg = std::make_unique<TfrmModell>(rig->s, *rig->file, rig->axes, nullptr);
    dlg->show();
  }
  template <typename T>
  T* C(const char* name) {
    T* w = dlg->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QComboBox* Rob() { return C<QComboBox>("cboRob"); }
  QComboBox* Zusatz() { return C<QComboBox>("cboZusatz"); }
  QLineEdit* Edit(const char* name) { return C<QLineEdit>(name); }
  QString Text(const char* name) { return Edit(name)->text(); }
  void Ok() { Click(C<QPushButton>("cmdOK")); }
  void Cancel() { Click(C<QPushButton>("cmdEnde")); }

  ErrorBoxCatcher errors;
  std::unique_ptr<SettingsRig> rig;
  std::unique_ptr<TfrmModell> dlg;
};

TEST_F(ModellDialogTest, FormShowsTheDefaultsAndTheDesignedLayout) {
  Open();
  EXPECT_EQ(dlg->windowTitle(), "Kelvora : Modelle");
  EXPECT_EQ(dlg->size(), QSize(418, 375));
  EXPECT_EQ(dlg->font().family(), "Arial");
  EXPECT_EQ(C<QLabel>("lblTitel")->text(), "Modelldaten");
  EXPECT_EQ(C<QLabel>("lblTitel")->font().pixelSize(), 21);
  EXPECT_EQ(C<QGroupBox>("GroupBox1")->title(), "Arbeitsraum");
  EXPECT_EQ(Rob()->currentText(), "Rob3");
  EXPECT_EQ(Rob()->count(), 9);
  EXPECT_FALSE(Rob()->isEditable());
  EXPECT_EQ(Zusatz()->currentText(), "G - Greifer");
  EXPECT_EQ(Text("txtBeschreibung"), "Säulenroboter");
  EXPECT_EQ(Text("txtSaule"), "240");
  EXPECT_EQ(Text("txtArmV"), "150");
  EXPECT_EQ(Text("txtArmH"), "160");
  EXPECT_EQ(Text("txtGreifer"), "28");
  EXPECT_TRUE(Edit("txtGreifer")->isEnabled());
  EXPECT_TRUE(C<QLabel>("lblGreifer")->isEnabled());
  // The carriage row belongs to Rob5 only and was never filled.
  EXPECT_EQ(Text("txtWagen"), "0");
  EXPECT_FALSE(Edit("txtWagen")->isEnabled());
  EXPECT_FALSE(C<QLabel>("lblWagen")->isEnabled());

  // Tab order: buttons first, then the selectors, then the range rows.
  const char* order[] = {"cmdOK",    "cmdEnde", "cboRob",  "cboZusatz",  "txtBeschreibung",
                         "txtSaule", "txtArmV", "txtArmH", "txtGreifer", "txtWagen"};
  QWidget* w = C<QWidget>(order[0]);
  for (size_t i = 1; i < std::size(order); ++i) {
    w = w->nextInFocusChain();
    while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
    EXPECT_EQ(w->objectName(), order[i]);
  }
}

TEST_F(ModellDialogTest, FieldsLimitTypingButKeepLongerStoredValues) {
  Open();
  Type(Edit("txtSaule"), "12345");
  EXPECT_EQ(Text("txtSaule"), "123");
  QTest::keyClicks(Edit("txtBeschreibung"), QString(50, QLatin1Char('x')));
  EXPECT_EQ(Text("txtBeschreibung").size(), 40);
  // Built-in and file values above 999 stay whole up to "OK".
  Pick(Zusatz(), "Z - Zusatz");
  EXPECT_EQ(Text("txtGreifer"), "9999");
}

TEST_F(ModellDialogTest, Rob4WithoutSectionTakesTheArticulatedArmValues) {
  Open();
  Pick(Rob(), "Rob4");
  EXPECT_EQ(Text("txtBeschreibung"), "Knickarm-Roboter");
  Ok();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_TRUE(errors.texts.isEmpty());
  EXPECT_EQ(rig->s.RobModel, "Rob4");
  EXPECT_EQ(rig->s.ScriptExt, "RB4");
  EXPECT_EQ(rig->s.RobType, "G");
  EXPECT_EQ(rig->s.RobText, "Knickarm-Roboter");
  const settings::ModelData shown = rig->Shown();
  EXPECT_EQ(shown.title, "Rob4 : Knickarm-Roboter");
  EXPECT_THAT(shown.memo,
              ElementsAre("Modelldaten", "Modell : Rob4", "Port : COM1", " ", "Arbeitsraum",
                          "Säule : 240", "ArmH : 160", "ArmV : 112", "Greifer : 28"));
  const std::string file = rig->WrittenFile();
  EXPECT_THAT(file, HasSubstr("RobModel=Rob4\r\n"));
  EXPECT_THAT(file, HasSubstr("[Rob4]\r\nRobType=G\r\nRobText=Knickarm-Roboter\r\nSäule=240\r\n"
                              "ArmH=160\r\nArmV=112\r\nGreifer=28\r\n"));
}

TEST_F(ModellDialogTest, Rob2WithoutSectionIsTheWeldingRobotWithAnExtraMotor) {
  Open();
  Pick(Rob(), "Rob2");
  EXPECT_EQ(Zusatz()->currentText(), "Z - Zusatz");
  EXPECT_FALSE(Edit("txtGreifer")->isEnabled());
  Ok();
  EXPECT_EQ(rig->s.RobType, "Z");
  const settings::ModelData shown = rig->Shown();
  EXPECT_EQ(shown.title, "Rob2 : Schweiß-Roboter");
  EXPECT_EQ(rig->Max(4), 9999);
  EXPECT_THAT(shown.memo, ElementsAre("Modelldaten", "Modell : Rob2", "Port : COM1", " ",
                                      "Arbeitsraum", "Säule : 210", "ArmH : 160", "ArmV : 80"));
  const std::string file = rig->WrittenFile();
  EXPECT_THAT(file, HasSubstr("[Rob2]\r\nRobType=Z\r\nRobText=Schweiß-Roboter\r\nSäule=210\r\n"
                              "ArmH=160\r\nArmV=80\r\n"));
  EXPECT_THAT(file.substr(file.find("[Rob2]")), Not(HasSubstr("Greifer")));
}

TEST_F(ModellDialogTest, Rob7WithoutSectionKeepsTheFieldsAndBecomesTheNewModel) {
  Open();
  Type(Edit("txtArmV"), "99");
  Pick(Rob(), "Rob7");
  EXPECT_EQ(Zusatz()->currentText(), "G - Greifer");
  EXPECT_EQ(Text("txtBeschreibung"), "Säulenroboter");
  EXPECT_EQ(Text("txtArmV"), "99");
  EXPECT_EQ(Text("txtGreifer"), "28");
  Ok();
  EXPECT_EQ(rig->s.RobModel, "Rob7");
  EXPECT_EQ(rig->s.ScriptExt, "RB7");
  EXPECT_EQ(rig->Shown().title, "Rob7 : Säulenroboter");
  EXPECT_EQ(rig->Max(3), 99);
  EXPECT_THAT(rig->WrittenFile(), HasSubstr("[Rob7]\r\nRobType=G\r\nRobText=Säulenroboter\r\n"
                                            "Säule=240\r\nArmH=160\r\nArmV=99\r\nGreifer=28\r\n"));
}

TEST_F(ModellDialogTest, Rob5WithoutSectionEnablesTheCarriageWithItsPreviousText) {
  Open();
  Pick(Rob(), "Rob5");
  EXPECT_TRUE(Edit("txtWagen")->isEnabled());
  EXPECT_TRUE(C<QLabel>("lblWagen")->isEnabled());
  EXPECT_EQ(Text("txtWagen"), "0");
  Ok();
  EXPECT_EQ(rig->s.RobModel, "Rob5");
  const settings::ModelData shown = rig->Shown();
  EXPECT_TRUE(shown.rob5ControlsVisible);
  EXPECT_EQ(rig->Max(4), 0);
  EXPECT_EQ(rig->Max(5), 28);
  EXPECT_THAT(shown.memo,
              ElementsAre("Modelldaten", "Modell : Rob5", "Port : COM1", " ", "Arbeitsraum",
                          "Säule : 240", "ArmH : 160", "ArmV : 150", "Wagen : 0", "Greifer : 28"));
  EXPECT_THAT(rig->WrittenFile(), HasSubstr("Wagen=0\r\nGreifer=28\r\n"));

  // Back to a standard model: the carriage row is disabled again and axis 5 is absent.
  dlg->show();
  Pick(Rob(), "Rob3");
  EXPECT_FALSE(Edit("txtWagen")->isEnabled());
  Ok();
  rig->Shown();
  EXPECT_EQ(rig->Max(4), 28);
  EXPECT_EQ(rig->Max(5), 9999);
}

TEST_F(ModellDialogTest, LetterInArmVKeepsDialogOpenWithAxisOneAlreadyApplied) {
  Open();
  Type(Edit("txtSaule"), "200");
  Type(Edit("txtArmV"), "1a");
  Ok();
  EXPECT_THAT(errors.texts, ElementsAre("Fehlerhafte Werte für den Arbeitsraum"));
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_EQ(rig->Max(1), 200);
  EXPECT_EQ(rig->Max(3), 150);
  // "Abbrechen" now leaves what was applied; the main window's follow-up shows it.
  Cancel();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_THAT(rig->Shown().memo, ::testing::Contains("Säule : 200"));
  EXPECT_THAT(rig->WrittenFile(), HasSubstr("Säule=200\r\nArmH=160\r\nArmV=150\r\n"));
}

TEST_F(ModellDialogTest, EmptyOrNegativeMaximumIsRefusedLikeALetter) {
  Open();
  Type(Edit("txtArmH"), "");
  Ok();
  Type(Edit("txtArmH"), "-5");
  Ok();
  EXPECT_EQ(errors.texts.size(), 2);
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_EQ(rig->Max(2), 160);
  // Hexadecimal with "$" is a number; "0x" belongs to the settings file only.
  Type(Edit("txtArmH"), "$1F");
  Ok();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(rig->Max(2), 31);
}

TEST_F(ModellDialogTest, HexWithZeroXPrefixIsNoDialogNumber) {
  Open();
  Type(Edit("txtArmH"), "0x1");
  Ok();
  EXPECT_EQ(errors.texts.size(), 1);
}

TEST_F(ModellDialogTest, ExistingSectionFillsFieldsUnconvertedWithItsDefaults) {
  Open(
      "[Common]\nRobModel=Rob3\n"
      "[Rob6]\nRobType=Z\nRobText=Portal\nSäule=abc\nGreifer=77\n"
      "[Rob5]\nArmH=120\n"
      "[Rob2]\n");
  Pick(Rob(), "Rob6");
  EXPECT_EQ(Text("txtBeschreibung"), "Portal");
  EXPECT_EQ(Text("txtSaule"), "abc");
  EXPECT_EQ(Text("txtArmH"), "9999");
  EXPECT_EQ(Text("txtArmV"), "9999");
  EXPECT_EQ(Text("txtGreifer"), "9999");
  EXPECT_EQ(Zusatz()->currentText(), "Z - Zusatz");
  EXPECT_FALSE(Edit("txtGreifer")->isEnabled());

  Pick(Rob(), "Rob5");
  EXPECT_EQ(Text("txtBeschreibung"), "XXX");
  EXPECT_EQ(Text("txtArmH"), "120");
  EXPECT_EQ(Text("txtGreifer"), "9999");
  EXPECT_EQ(Text("txtWagen"), "1000");
  EXPECT_EQ(Zusatz()->currentText(), "G - Greifer");
  EXPECT_TRUE(Edit("txtWagen")->isEnabled());

  // A header without keys is no section: Rob2's built-in values apply.
  Pick(Rob(), "Rob2");
  EXPECT_EQ(Text("txtBeschreibung"), "Schweiß-Roboter");

  // A value that is no number shows as it is and fails at "OK".
  Pick(Rob(), "Rob6");
  Ok();
  EXPECT_EQ(errors.texts.size(), 1);
  EXPECT_EQ(rig->s.RobModel, "Rob6");
}

TEST_F(ModellDialogTest, ZusatzChoiceResetsGripperAndProgramSelectionDoesNot) {
  Open();
  Pick(Zusatz(), "Z - Zusatz");
  EXPECT_EQ(Text("txtGreifer"), "9999");
  EXPECT_FALSE(Edit("txtGreifer")->isEnabled());
  Pick(Zusatz(), "G - Greifer");
  EXPECT_EQ(Text("txtGreifer"), "9999");
  EXPECT_TRUE(Edit("txtGreifer")->isEnabled());
  Type(Edit("txtGreifer"), "30");
  // Rob4's built-ins select "G - Greifer" themselves; that is no user choice.
  Pick(Rob(), "Rob4");
  EXPECT_EQ(Text("txtGreifer"), "28");
}

TEST_F(ModellDialogTest, CancelAndReopenShowTheAbandonedChoices) {
  Open();
  Pick(Rob(), "Rob2");
  Cancel();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(rig->s.RobModel, "Rob3");
  EXPECT_EQ(rig->Shown().title, "Rob3 : Säulenroboter");
  dlg->show();
  EXPECT_EQ(Rob()->currentText(), "Rob2");
  EXPECT_EQ(Text("txtBeschreibung"), "Schweiß-Roboter");
  // The close box acts like "Abbrechen"; Esc does nothing, there is no cancel button.
  QTest::keyClick(dlg.get(), Qt::Key_Escape);
  EXPECT_TRUE(dlg->isVisible());
  dlg->close();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(rig->s.RobModel, "Rob3");
  EXPECT_THAT(rig->WrittenFile(), HasSubstr("RobModel=Rob3\r\n"));
}

TEST_F(ModellDialogTest, ModelWithoutADigitSelectsRob1) {
  Open("[Common]\nRobModel=RobX\n[RobX]\nRobType=Z\nSäule=100\n");
  EXPECT_EQ(Rob()->currentText(), "Rob1");
  EXPECT_EQ(Zusatz()->currentText(), "Z - Zusatz");
  EXPECT_EQ(Text("txtSaule"), "100");
  Ok();
  EXPECT_EQ(rig->s.RobModel, "Rob1");
  EXPECT_EQ(rig->s.ScriptExt, "RB1");
}

TEST_F(ModellDialogTest, Rob5SettingsFillCarriageAndGripperFromTheirAxes) {
  Open("[Common]\nRobModel=Rob5\n[Rob5]\nRobType=G\nWagen=800\nGreifer=33\n");
  EXPECT_EQ(Rob()->currentText(), "Rob5");
  EXPECT_EQ(Text("txtWagen"), "800");
  EXPECT_EQ(Text("txtGreifer"), "33");
  EXPECT_TRUE(Edit("txtWagen")->isEnabled());
  Type(Edit("txtWagen"), "900");
  Ok();
  EXPECT_EQ(rig->Max(4), 900);
  EXPECT_EQ(rig->Max(5), 33);
}

}  // namespace
}  // namespace kelvora::testing
