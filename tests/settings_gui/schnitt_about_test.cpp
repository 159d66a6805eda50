// SPDX-License-Identifier: MIT
// The interface dialog and the about box on their own. What the main window then shows and
// writes is in main_dialogs_test.cpp.
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

class SchnittDialogTest : public ::testing::Test {
 protected:
  void Open(const std::string& ini = std::string()) {
    dlg.reset();
    rig = std::make_unique<SettingsRig>(ini);
    dlg = std::make_unique<settings::TfrmSchnitt>(rig->s, nullptr);
    dlg->show();
  }
  QComboBox* Port() { return dlg->findChild<QComboBox*>("cboPort"); }
  QLineEdit* Delay() { return dlg->findChild<QLineEdit*>("txtDelay"); }
  void Ok() { Click(dlg->findChild<QPushButton*>("cmdOK")); }

  ErrorBoxCatcher errors;
  std::unique_ptr<SettingsRig> rig;
  std::unique_ptr<settings::TfrmSchnitt> dlg;
};

TEST_F(SchnittDialogTest, ShowsTheEightPortsInItsTabOrderAndCancelAppliesNothing) {
  Open();
  QStringList items;
  for (int i = 0; i < Port()->count(); ++i) items << Port()->itemText(i);
  EXPECT_EQ(items, QStringList({"COM1", "COM2", "COM3", "COM4", "LPT1", "LPT2", "LPT3", "LPT"}));
  EXPECT_EQ(Port()->currentText(), "COM1");
  EXPECT_FALSE(Delay()->isVisible());
  EXPECT_EQ(TabOrder(dlg->findChild<QWidget*>("cmdOK"), 3),
            QStringList({"cmdOK", "cmdEnde", "cboPort", "txtDelay"}));
  // Cancel keeps the stored port; a reopened dialog shows the abandoned choice.
  Pick(Port(), "COM3");
  Click(dlg->findChild<QPushButton*>("cmdEnde"));
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
  // Lower case is another name: the search is exact.
  Open("[Port]\nPortName=lpt2\n");
  EXPECT_EQ(Port()->currentText(), "lpt2");
  EXPECT_EQ(Port()->findText("LPT2"), 5);
}

// A stored delay outside the dialog's range reads as the default, so the dialog opened
// on it can be confirmed unchanged; in range it is kept as stored.
TEST_F(SchnittDialogTest, AStoredDelayAlwaysPassesOk) {
  const std::pair<const char*, const char*> cases[] = {
      {"150", "10"}, {"-1", "10"}, {"99", "99"}, {"0", "0"}};
  for (const auto& [stored, shown] : cases) {
    Open(std::string("[Port]\nPortName=LPT1\nLPTDelay=") + stored + "\n");
    EXPECT_EQ(Delay()->text(), shown) << stored;
    Ok();
    EXPECT_FALSE(dlg->isVisible()) << stored;
    EXPECT_EQ(QString::number(rig->s.LPTDelay), shown) << stored;
  }
  EXPECT_TRUE(errors.texts.isEmpty());
}

TEST(AboutBoxTest, ShowsToolsAuthorVersionAndIcon) {
  settings::TfrmAbout about(nullptr);
  auto label = [&](const char* name) { return about.findChild<QLabel*>(name); };
  const QString tools = label("Label4")->text();
  EXPECT_TRUE(tools.contains(QStringLiteral("Qt " QT_VERSION_STR))) << tools.toStdString();
  EXPECT_TRUE(tools.contains(QStringLiteral(__VERSION__))) << tools.toStdString();
  EXPECT_FALSE(label("Label3")->text().isEmpty());
  EXPECT_EQ(label("Label5")->text(), "Version 5.1.0");
  EXPECT_FALSE(label("Image1")->pixmap().isNull());
}

}  // namespace
}  // namespace kelvora::testing
