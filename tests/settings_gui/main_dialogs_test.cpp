// The dialogs opened from the main window's menus: where they appear, what the window
// shows after they close (title, memo, Rob5 controls) and what the settings file holds
// after the window has been closed.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include <gmock/gmock.h>

#include "app/frm_main.h"
#include "platform/clock.h"
#include "platform/profile.h"
#include "settings/frm_about.h"
#include "settings/frm_modell.h"
#include "settings/frm_schnitt.h"
#include "sim/virtual_clock.h"
#include "tests/settings_gui/dialog_rig.h"

namespace kelvora::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

struct Box {
  QString title;
  QString text;
};

class RecordingPrompts : public app::Prompts {
 public:
  void Error(QWidget*, const QString& title, const QString& text) override {
    errors.push_back({title, text});
  }
  void Info(QWidget*, const QString& title, const QString& text) override {
    infos.push_back({title, text});
  }
  bool Question(QWidget*, const QString&, const QString&) override { return false; }
  QString OpenFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString SaveFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  std::vector<Box> errors;
  std::vector<Box> infos;
};

class MainDialogsTest : public ::testing::Test {
 protected:
  void Start(const std::string& ini = std::string()) {
    if (!ini.empty()) WriteBytes(dir.File("Kelvora.INI"), platform::Utf8ToCp1252(ini));
    main = std::make_unique<app::TfrmMain>(nullptr, dir.Path());
    // As the program does: the dialogs after the main window, owned by it.
    main->frmModell =
        new settings::TfrmModell(main->Settings, *main->Ini, main->Robot->Axes, main.get());
    main->frmSchnitt = new settings::TfrmSchnitt(main->Settings, main.get());
    main->frmAbout = new settings::TfrmAbout(main.get());
    main->show();
  }
  void SetUp() override {
    app::SetPrompts(&prompts);
    platform::SetClock(&clock);
  }
  void TearDown() override {
    main.reset();
    platform::SetClock(nullptr);
    app::SetPrompts(nullptr);
  }

  // Runs the menu command; while its dialog is up, work() operates it. A dialog that
  // work() leaves open is cancelled so that the test never hangs on it.
  void WithDialog(QAction* item, QDialog* dialog, const std::function<void()>& work) {
    bool ran = false;
    QTimer::singleShot(0, dialog, [&] {
      ran = true;
      EXPECT_TRUE(dialog->isVisible());
      EXPECT_TRUE(dialog->isModal());
      work();
      if (dialog->isVisible()) dialog->reject();
    });
    item->trigger();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(dialog->isVisible());
  }
  template <typename T>
  T* In(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  void Modell(const std::function<void(QWidget*)>& work) {
    WithDialog(main->mnuModell, main->frmModell, [&] { work(main->frmModell); });
  }
  void Schnitt(const std::function<void(QWidget*)>& work) {
    WithDialog(main->mnuSchnitt, main->frmSchnitt, [&] { work(main->frmSchnitt); });
  }
  QStringList Memo() { return main->memDaten->toPlainText().split(QLatin1Char('\n')); }
  std::string FileAfterClose() {
    EXPECT_TRUE(main->close());
    return platform::Cp1252ToUtf8(ReadBytes(dir.File("Kelvora.INI")));
  }
  void ExpectPlaced(QWidget* dialog, int dx, int dy) {
    const QRect m = main->frameGeometry();
    const QRect d = dialog->frameGeometry();
    EXPECT_EQ(d.left() + d.width(), m.left() + m.width() - dx);
    EXPECT_EQ(d.top() + d.height(), m.top() + m.height() - dy);
  }

  TestDir dir;
  sim::VirtualClock clock;  // the close's settle pause takes no wall time
  RecordingPrompts prompts;
  std::unique_ptr<app::TfrmMain> main;
};

TEST_F(MainDialogsTest, Rob4ChosenInTheMenuShowsInTitleMemoAndFile) {
  Start();
  EXPECT_EQ(main->lblTitel->text(), "Rob3 : Säulenroboter");
  Modell([&](QWidget* d) {
    ExpectPlaced(d, 20, 16);
    Pick(In<QComboBox>(d, "cboRob"), "Rob4");
    Click(In<QPushButton>(d, "cmdOK"));
  });
  EXPECT_EQ(main->lblTitel->text(), "Rob4 : Knickarm-Roboter");
  EXPECT_EQ(Memo(), QStringList({"Modelldaten", "Modell : Rob4", "Port : COM1", " ", "Arbeitsraum",
                                 "Säule : 240", "ArmH : 160", "ArmV : 112", "Greifer : 28"}));
  EXPECT_EQ(main->Settings.ScriptExt, "RB4");
  const std::string file = FileAfterClose();
  EXPECT_THAT(file, HasSubstr("RobModel=Rob4\r\n"));
  EXPECT_THAT(file, HasSubstr("[Rob4]\r\nRobType=G\r\nRobText=Knickarm-Roboter\r\nSäule=240\r\n"
                              "ArmH=160\r\nArmV=112\r\nGreifer=28\r\n"));
}

TEST_F(MainDialogsTest, Rob2HasNoGripperLineAndNoGripperKey) {
  Start();
  Modell([&](QWidget* d) {
    Pick(In<QComboBox>(d, "cboRob"), "Rob2");
    Click(In<QPushButton>(d, "cmdOK"));
  });
  EXPECT_EQ(main->lblTitel->text(), "Rob2 : Schweiß-Roboter");
  EXPECT_EQ(Memo(), QStringList({"Modelldaten", "Modell : Rob2", "Port : COM1", " ", "Arbeitsraum",
                                 "Säule : 210", "ArmH : 160", "ArmV : 80"}));
  EXPECT_EQ(main->Robot->Axes.GetPos(4, access::mcMaximum), 9999);
  const std::string file = FileAfterClose();
  const std::string rob2 = file.substr(file.find("[Rob2]"));
  EXPECT_THAT(rob2, HasSubstr("RobType=Z\r\n"));
  EXPECT_THAT(rob2, Not(HasSubstr("Greifer")));
}

TEST_F(MainDialogsTest, Rob7WithoutSectionBecomesANewModelWithTheShownValues) {
  Start("[Common]\nRobModel=Rob3\n[Rob3]\nRobText=Mein Roboter\nArmV=120\n");
  Modell([&](QWidget* d) {
    Pick(In<QComboBox>(d, "cboRob"), "Rob7");
    EXPECT_EQ(In<QLineEdit>(d, "txtBeschreibung")->text(), "Mein Roboter");
    Click(In<QPushButton>(d, "cmdOK"));
  });
  EXPECT_EQ(main->lblTitel->text(), "Rob7 : Mein Roboter");
  EXPECT_THAT(FileAfterClose(), HasSubstr("[Rob7]\r\nRobType=G\r\nRobText=Mein Roboter\r\n"
                                          "Säule=240\r\nArmH=160\r\nArmV=120\r\nGreifer=28\r\n"));
}

TEST_F(MainDialogsTest, Rob5WithoutSectionShowsTheCarriageAndItsControls) {
  Start();
  EXPECT_FALSE(main->shpWagen->isVisible());
  Modell([&](QWidget* d) {
    Pick(In<QComboBox>(d, "cboRob"), "Rob5");
    Pick(In<QComboBox>(d, "cboZusatz"), "Z - Zusatz");
    EXPECT_EQ(In<QLineEdit>(d, "txtWagen")->text(), "0");
    Type(In<QLineEdit>(d, "txtWagen"), "800");
    Click(In<QPushButton>(d, "cmdOK"));
  });
  EXPECT_EQ(main->lblTitel->text(), "Rob5 : Säulenroboter");
  EXPECT_TRUE(main->shpWagen->isVisible());
  EXPECT_TRUE(main->lblM8Auf->isVisible());
  EXPECT_EQ(Memo().mid(8), QStringList({"Wagen : 800", "Greifer : 9999"}));
  // The worked example of the settings file: Rob3's section stays, Rob5's is added.
  EXPECT_THAT(FileAfterClose(), HasSubstr("[Rob5]\r\nRobType=Z\r\nRobText=Säulenroboter\r\n"
                                          "Säule=240\r\nArmH=160\r\nArmV=150\r\nWagen=800\r\n"
                                          "Greifer=9999\r\n"));
}

TEST_F(MainDialogsTest, LetterInArmVShowsFehlerAndCancelKeepsAxisOne) {
  Start();
  Modell([&](QWidget* d) {
    Type(In<QLineEdit>(d, "txtSaule"), "200");
    Type(In<QLineEdit>(d, "txtArmV"), "x");
    Click(In<QPushButton>(d, "cmdOK"));
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0].title, "Fehler");
    EXPECT_EQ(prompts.errors[0].text, "Fehlerhafte Werte für den Arbeitsraum");
    EXPECT_TRUE(d->isVisible());
    Click(In<QPushButton>(d, "cmdEnde"));
  });
  EXPECT_TRUE(Memo().contains("Säule : 200"));
  EXPECT_TRUE(Memo().contains("ArmV : 150"));
  EXPECT_THAT(FileAfterClose(), HasSubstr("Säule=200\r\nArmH=160\r\nArmV=150\r\n"));
}

TEST_F(MainDialogsTest, CancelAndReopenShowTheAbandonedSelection) {
  Start();
  Modell([&](QWidget* d) {
    Pick(In<QComboBox>(d, "cboRob"), "Rob2");
    Click(In<QPushButton>(d, "cmdEnde"));
  });
  EXPECT_EQ(main->lblTitel->text(), "Rob3 : Säulenroboter");
  Modell([&](QWidget* d) {
    EXPECT_EQ(In<QComboBox>(d, "cboRob")->currentText(), "Rob2");
    EXPECT_EQ(In<QLineEdit>(d, "txtBeschreibung")->text(), "Schweiß-Roboter");
    d->close();  // the close box acts like "Abbrechen"
  });
  EXPECT_EQ(main->lblTitel->text(), "Rob3 : Säulenroboter");
  EXPECT_THAT(FileAfterClose(), HasSubstr("RobModel=Rob3\r\n"));
}

TEST_F(MainDialogsTest, InterfaceDialogSetsPortAndDelayShownInMemoAndFile) {
  Start();
  Schnitt([&](QWidget* d) {
    ExpectPlaced(d, 20, 16);
    EXPECT_FALSE(In<QLineEdit>(d, "txtDelay")->isVisible());
    Pick(In<QComboBox>(d, "cboPort"), "LPT2");
    EXPECT_TRUE(In<QLineEdit>(d, "txtDelay")->isVisible());
    EXPECT_EQ(In<QLineEdit>(d, "txtDelay")->text(), "10");
    Type(In<QLineEdit>(d, "txtDelay"), "25");
    Click(In<QPushButton>(d, "cmdOK"));
  });
  EXPECT_EQ(Memo()[2], "Port : LPT2");
  EXPECT_THAT(FileAfterClose(), HasSubstr("[Port]\r\nPortName=LPT2\r\nLPTDelay=25\r\n"));
}

TEST_F(MainDialogsTest, DelayFieldShowsStoredValueAndLptResetsItTo10) {
  Start("[Port]\nPortName=LPT1\nLPTDelay=12\n");
  Schnitt([&](QWidget* d) {
    EXPECT_EQ(In<QLineEdit>(d, "txtDelay")->text(), "12");
    Type(In<QLineEdit>(d, "txtDelay"), "30");
    Pick(In<QComboBox>(d, "cboPort"), "COM2");
    Pick(In<QComboBox>(d, "cboPort"), "LPT3");
    EXPECT_EQ(In<QLineEdit>(d, "txtDelay")->text(), "12");
    Pick(In<QComboBox>(d, "cboPort"), "LPT");
    Click(In<QPushButton>(d, "cmdOK"));
  });
  EXPECT_EQ(Memo()[2], "Port : LPT");
  EXPECT_THAT(FileAfterClose(), HasSubstr("PortName=LPT\r\nLPTDelay=10\r\n"));
}

TEST_F(MainDialogsTest, FaultyDelayShowsFehlerAndThePortIsAlreadyApplied) {
  Start();
  Schnitt([&](QWidget* d) {
    Pick(In<QComboBox>(d, "cboPort"), "LPT1");
    Type(In<QLineEdit>(d, "txtDelay"), "");
    Click(In<QPushButton>(d, "cmdOK"));
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0].title, "Fehler");
    EXPECT_EQ(prompts.errors[0].text, "Fehlerhafter Wert für Verzögerungsfaktor");
    EXPECT_TRUE(d->isVisible());
    Click(In<QPushButton>(d, "cmdEnde"));
  });
  EXPECT_EQ(Memo()[2], "Port : LPT1");
  EXPECT_THAT(FileAfterClose(), HasSubstr("PortName=LPT1\r\nLPTDelay=10\r\n"));
}

TEST_F(MainDialogsTest, AboutBoxIsPlacedAndClosedByOk) {
  Start();
  WithDialog(main->mnuAbout, main->frmAbout, [&] {
    ExpectPlaced(main->frmAbout, 32, 20);
    Click(In<QPushButton>(main->frmAbout, "cmdEnde"));
  });
  EXPECT_EQ(main->lblTitel->text(), "Rob3 : Säulenroboter");
}

}  // namespace
}  // namespace kelvora::testing
