// The interface dialog and the about box on their own.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gmock/gmock.h>

#include "settings/frm_about.h"
#include "settings/frm_schnitt.h"
#include "tests/settings_gui/dialog_rig.h"

namespace kelvora::testing {
namespace {

using settings::TfrmSchnitt;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SchnittDialogTest : public ::testing::Test {
 protected:
  void Open(const std::string& ini = std::string()) {
    rig = std::make_unique<SettingsRig>(ini);
    dlg = std::make_unique<TfrmSchnitt>(rig->s, nullptr);
    dlg->show();
  }
  QComboBox* Port() { return dlg->findChild<QComboBox*>("cboPort"); }
  QLineEdit* Delay() { return dlg->findChild<QLineEdit*>("txtDelay"); }
  QLabel* DelayLabel() { return dlg->findChild<QLabel*>("lblDelay"); }
  void Ok() { Click(dlg->findChild<QPushButton*>("cmdOK")); }
  void Cancel() { Click(dlg->findChild<QPushButton*>("cmdEnde")); }

  ErrorBoxCatcher errors;
  std::unique_ptr<SettingsRig> rig;
  std::unique_ptr<TfrmSchnitt> dlg;
};

TEST_F(SchnittDialogTest, DefaultsShowCom1WithoutDelayField) {
  Open();
  EXPECT_EQ(dlg->windowTitle(), "Kelvora : Schnittstelle");
  EXPECT_EQ(dlg->size(), QSize(400, 218));
  EXPECT_EQ(dlg->findChild<QLabel*>("lblTitel")->text(), "Schnittstellendaten");
  EXPECT_EQ(dlg->findChild<QLabel*>("Label1")->text(), "Anschluß über COM oder LPT");
  EXPECT_EQ(DelayLabel()->text(), "Verzögerungfaktor (1 - 99, Pentium 200 : 10)");
  QStringList items;
  for (int i = 0; i < Port()->count(); ++i) items << Port()->itemText(i);
  EXPECT_EQ(items, QStringList({"COM1", "COM2", "COM3", "COM4", "LPT1", "LPT2", "LPT3", "LPT"}));
  EXPECT_EQ(Port()->currentText(), "COM1");
  EXPECT_FALSE(Delay()->isVisible());
  EXPECT_FALSE(DelayLabel()->isVisible());
  EXPECT_EQ(Delay()->maxLength(), 32767);  // the typing limit lives in the validator
  QWidget* w = dlg->findChild<QWidget*>("cmdOK");
  QStringList order;
  for (int i = 0; i < 3; ++i) {
    w = w->nextInFocusChain();
    while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
    order << w->objectName();
  }
  EXPECT_EQ(order, QStringList({"cmdEnde", "cboPort", "txtDelay"}));
}

TEST_F(SchnittDialogTest, Lpt2WithDelay25IsAppliedAndShownAndWritten) {
  Open();
  Pick(Port(), "LPT2");
  EXPECT_TRUE(Delay()->isVisible());
  EXPECT_TRUE(DelayLabel()->isVisible());
  EXPECT_EQ(Delay()->text(), "10");
  Type(Delay(), "253");  // two characters at most
  EXPECT_EQ(Delay()->text(), "25");
  Ok();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(rig->s.PortName, "LPT2");
  EXPECT_EQ(rig->s.LPTDelay, 25u);
  EXPECT_THAT(rig->Shown().memo, Contains("Port : LPT2"));
  EXPECT_THAT(rig->WrittenFile(), HasSubstr("[Port]\r\nPortName=LPT2\r\nLPTDelay=25\r\n"));
}

TEST_F(SchnittDialogTest, DelayFieldShowsTheStoredValueNotWhatWasTyped) {
  Open();
  Pick(Port(), "LPT1");
  Type(Delay(), "30");
  Pick(Port(), "COM2");
  EXPECT_FALSE(Delay()->isVisible());
  EXPECT_EQ(Delay()->text(), "10");
  Pick(Port(), "LPT3");
  EXPECT_EQ(Delay()->text(), "10");
}

TEST_F(SchnittDialogTest, LptWithoutNumberResetsTheDelayTo10) {
  Open("[Port]\nPortName=LPT1\nLPTDelay=25\n");
  EXPECT_EQ(Port()->currentText(), "LPT1");
  EXPECT_TRUE(Delay()->isVisible());
  EXPECT_EQ(Delay()->text(), "25");
  Pick(Port(), "LPT");
  EXPECT_FALSE(Delay()->isVisible());
  Ok();
  EXPECT_EQ(rig->s.PortName, "LPT");
  EXPECT_EQ(rig->s.LPTDelay, 10u);
  EXPECT_THAT(rig->WrittenFile(), HasSubstr("PortName=LPT\r\nLPTDelay=10\r\n"));
}

TEST_F(SchnittDialogTest, FaultyDelayKeepsDialogOpenWithThePortApplied) {
  Open();
  Pick(Port(), "LPT2");
  Type(Delay(), "");
  Ok();
  Type(Delay(), "x");
  Ok();
  Type(Delay(), "-1");  // would wrap to a repeat count in the billions
  Ok();
  EXPECT_THAT(errors.texts, ElementsAre("Fehlerhafter Wert für Verzögerungsfaktor",
                                        "Fehlerhafter Wert für Verzögerungsfaktor",
                                        "Fehlerhafter Wert für Verzögerungsfaktor"));
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_EQ(rig->s.PortName, "LPT2");
  EXPECT_EQ(rig->s.LPTDelay, 10u);
  Cancel();
  EXPECT_THAT(rig->Shown().memo, Contains("Port : LPT2"));
  // A delay of 0 is accepted (the driver makes 10 of it).
  dlg->show();
  Type(Delay(), "0");
  Ok();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(rig->s.LPTDelay, 0u);
}

TEST_F(SchnittDialogTest, CancelAppliesNothingAndReopenShowsTheAbandonedChoice) {
  Open();
  Pick(Port(), "COM3");
  Cancel();
  EXPECT_EQ(rig->s.PortName, "COM1");
  dlg->show();
  EXPECT_EQ(Port()->currentText(), "COM3");
  dlg->close();
  EXPECT_EQ(rig->s.PortName, "COM1");
}

TEST_F(SchnittDialogTest, UnlistedStoredPortIsKeptAsSelectedExtraItem) {
  Open("[Port]\nPortName=COM5\nLPTDelay=12\n");
  EXPECT_EQ(Port()->count(), 9);
  EXPECT_EQ(Port()->currentText(), "COM5");
  EXPECT_FALSE(Delay()->isVisible());
  Ok();
  EXPECT_EQ(rig->s.PortName, "COM5");
  rig.reset();
  dlg.reset();
  // Lower case is another name: the search is exact.
  Open("[Port]\nPortName=lpt2\n");
  EXPECT_EQ(Port()->currentText(), "lpt2");
  EXPECT_EQ(Port()->findText("LPT2"), 5);
}

TEST(AboutBoxTest, ShowsNameSubtitleToolsAuthorAndVersion) {
  settings::TfrmAbout about(nullptr);
  EXPECT_EQ(about.windowTitle(), "Kelvora : About");
  EXPECT_EQ(about.size(), QSize(385, 253));
  auto* name = about.findChild<QLabel*>("Label1");
  EXPECT_EQ(name->text(), "KelvoraIn");
  EXPECT_EQ(name->font().pixelSize(), 27);
  EXPECT_TRUE(name->font().bold());
  EXPECT_EQ(about.findChild<QLabel*>("Label2")->text(), "Baukasten-Industrieroboter : TeachIn");
  EXPECT_EQ(about.findChild<QLabel*>("Label2")->font().pixelSize(), 16);
  const QString tools = about.findChild<QLabel*>("Label4")->text();
  EXPECT_TRUE(tools.contains(QStringLiteral("Qt " QT_VERSION_STR))) << tools.toStdString();
  EXPECT_TRUE(tools.contains(QStringLiteral(__VERSION__))) << tools.toStdString();
  EXPECT_FALSE(about.findChild<QLabel*>("Label3")->text().isEmpty());
  EXPECT_EQ(about.findChild<QLabel*>("Label5")->text(), "Version 5.1.0");
  EXPECT_FALSE(about.findChild<QLabel*>("Image1")->pixmap().isNull());
  about.show();
  Click(about.findChild<QPushButton*>("cmdEnde"));
  EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace kelvora::testing
