// SPDX-License-Identifier: MIT
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

using ::testing::EndsWith;
using ::testing::HasSubstr;

struct Box {
  QString title, text;
};

class RecordingPrompts : public app::Prompts {
 public:
  void Error(QWidget*, const QString& title, const QString& text) override {
    errors.push_back({title, text});
  }
  void Info(QWidget*, const QString&, const QString&) override {}
  bool Question(QWidget*, const QString&, const QString&) override { return false; }
  QString OpenFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString SaveFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  std::vector<Box> errors;
};

class MainDialogsTest : public ::testing::Test {
 protected:
  void Start(const std::string& ini = std::string()) {
    main.reset();
    std::filesystem::remove(dir.File("Kelvora.INI"));
    if (!ini.empty()) WriteBytes(dir.File("Kelvora.INI"), platform::Utf8ToCp1252(ini));
    main = std::make_unique<app::TfrmMain>(nullptr, dir.Path());
    // As the program does: the dialogs after the main window, owned by it.
    main->CreateDialogs();
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
    WithDialog(In<QAction>(main.get(), "mnuModell"), In<QDialog>(main.get(), "frmModell"),
               [&] { work(In<QDialog>(main.get(), "frmModell")); });
  }
  // Picks a model in the model dialog, lets more() adjust the fields, and confirms.
  void ChooseModel(const QString& model, const std::function<void(QWidget*)>& more = {}) {
    Modell([&](QWidget* d) {
      ExpectPlaced(d, 20, 16);
      Pick(In<QComboBox>(d, "cboRob"), model);
      if (more) more(d);
      Click(In<QPushButton>(d, "cmdOK"));
    });
  }
  void Schnitt(const std::function<void(QWidget*)>& work) {
    WithDialog(In<QAction>(main.get(), "mnuSchnitt"), In<QDialog>(main.get(), "frmSchnitt"),
               [&] { work(In<QDialog>(main.get(), "frmSchnitt")); });
  }
  QStringList Memo() {
    return In<QPlainTextEdit>(main.get(), "memDaten")->toPlainText().split(QLatin1Char('\n'));
  }
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

TEST_F(MainDialogsTest, ModelsWithoutSectionsShowInTitleMemoAndFile) {
  const struct {
    const char* ini;
    QString model, title;
    QStringList range;
    std::string section;  // the file's last section
  } cases[] = {
      // clang-format off
      {"", "Rob4", "Rob4 : Knickarm-Roboter",
       {"Säule : 240", "ArmH : 160", "ArmV : 112", "Greifer : 28"},
       "[Rob4]\r\nRobType=G\r\nRobText=Knickarm-Roboter\r\nSäule=240\r\nArmH=160\r\nArmV=112\r\n"
       "Greifer=28\r\n"},
      // The welding robot has an extra motor instead of a gripper: no line, no key.
      {"", "Rob2", "Rob2 : Schweiß-Roboter", {"Säule : 210", "ArmH : 160", "ArmV : 80"},
       "[Rob2]\r\nRobType=Z\r\nRobText=Schweiß-Roboter\r\nSäule=210\r\nArmH=160\r\nArmV=80\r\n"},
      // A model that is no built-in keeps what the fields showed.
      {"[Common]\nRobModel=Rob3\n[Rob3]\nRobText=Mein Roboter\nArmV=120\n", "Rob7",
       "Rob7 : Mein Roboter", {"Säule : 240", "ArmH : 160", "ArmV : 120", "Greifer : 28"},
       "[Rob7]\r\nRobType=G\r\nRobText=Mein Roboter\r\nSäule=240\r\nArmH=160\r\nArmV=120\r\n"
       "Greifer=28\r\n"},
      // clang-format on
  };
  for (const auto& c : cases) {
    Start(c.ini);
    ChooseModel(c.model);
    EXPECT_EQ(In<QLabel>(main.get(), "lblTitel")->text(), c.title);
    EXPECT_EQ(Memo(), QStringList({"Modelldaten", "Modell : " + c.model, "Port : COM1", " ",
                                   "Arbeitsraum"}) +
                          c.range);
    EXPECT_THAT(FileAfterClose(), EndsWith(c.section)) << c.model.toStdString();
  }
}

TEST_F(MainDialogsTest, Rob5WithoutSectionShowsTheCarriageAndItsControls) {
  Start();
  EXPECT_FALSE(In<app::TShape>(main.get(), "shpWagen")->isVisible());
  ChooseModel("Rob5", [&](QWidget* d) {
    Pick(In<QComboBox>(d, "cboZusatz"), "Z - Zusatz");
    EXPECT_EQ(In<QLineEdit>(d, "txtWagen")->text(), "0");
    Type(In<QLineEdit>(d, "txtWagen"), "800");
  });
  EXPECT_EQ(In<QLabel>(main.get(), "lblTitel")->text(), "Rob5 : Säulenroboter");
  EXPECT_TRUE(In<app::TShape>(main.get(), "shpWagen")->isVisible());
  EXPECT_TRUE(In<app::TTagLabel>(main.get(), "lblM8Auf")->isVisible());
  EXPECT_EQ(Memo().mid(8), QStringList({"Wagen : 800", "Greifer : 9999"}));
  EXPECT_THAT(FileAfterClose(), EndsWith("[Rob5]\r\nRobType=Z\r\nRobText=Säulenroboter\r\n"
                                         "Säule=240\r\nArmH=160\r\nArmV=150\r\nWagen=800\r\n"
                                         "Greifer=9999\r\n"));
}

TEST_F(MainDialogsTest, LetterInArmVShowsFehlerAndCancelChangesNothing) {
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
  // Every field is checked before any is applied: axis 1 keeps its maximum too.
  EXPECT_TRUE(Memo().contains("Säule : 240"));
  EXPECT_TRUE(Memo().contains("ArmV : 150"));
  EXPECT_THAT(FileAfterClose(), HasSubstr("Säule=240\r\nArmH=160\r\nArmV=150\r\n"));
}

TEST_F(MainDialogsTest, CancelAndReopenShowTheAbandonedSelection) {
  Start();
  Modell([&](QWidget* d) {
    Pick(In<QComboBox>(d, "cboRob"), "Rob2");
    Click(In<QPushButton>(d, "cmdEnde"));
  });
  EXPECT_EQ(In<QLabel>(main.get(), "lblTitel")->text(), "Rob3 : Säulenroboter");
  Modell([&](QWidget* d) {
    EXPECT_EQ(In<QComboBox>(d, "cboRob")->currentText(), "Rob2");
    EXPECT_EQ(In<QLineEdit>(d, "txtBeschreibung")->text(), "Schweiß-Roboter");
    QTest::keyClick(d, Qt::Key_Escape);  // there is no cancel button: Esc does nothing
    EXPECT_TRUE(d->isVisible());
    d->close();  // the close box acts like "Abbrechen"
  });
  EXPECT_EQ(In<QLabel>(main.get(), "lblTitel")->text(), "Rob3 : Säulenroboter");
  EXPECT_THAT(FileAfterClose(), HasSubstr("RobModel=Rob3\r\n"));
}

TEST_F(MainDialogsTest, InterfaceDialogSetsPortAndDelayShownInMemoAndFile) {
  Start();
  Schnitt([&](QWidget* d) {
    ExpectPlaced(d, 20, 16);
    QLineEdit* delay = In<QLineEdit>(d, "txtDelay");
    EXPECT_FALSE(delay->isVisible());
    Pick(In<QComboBox>(d, "cboPort"), "LPT2");
    EXPECT_TRUE(delay->isVisible());
    EXPECT_TRUE(In<QLabel>(d, "lblDelay")->isVisible());
    EXPECT_EQ(delay->text(), "10");
    Type(delay, "253");  // two characters at most
    Click(In<QPushButton>(d, "cmdOK"));
  });
  EXPECT_EQ(Memo()[2], "Port : LPT2");
  EXPECT_THAT(FileAfterClose(), HasSubstr("[Port]\r\nPortName=LPT2\r\nLPTDelay=25\r\n"));
}

TEST_F(MainDialogsTest, DelayFieldShowsStoredValueAndLptResetsItTo10) {
  Start("[Port]\nPortName=LPT1\nLPTDelay=12\n");
  Schnitt([&](QWidget* d) {
    QLineEdit* delay = In<QLineEdit>(d, "txtDelay");
    EXPECT_EQ(delay->text(), "12");
    Type(delay, "30");
    Pick(In<QComboBox>(d, "cboPort"), "COM2");
    EXPECT_FALSE(delay->isVisible());
    Pick(In<QComboBox>(d, "cboPort"), "LPT3");
    EXPECT_EQ(delay->text(), "12");
    Pick(In<QComboBox>(d, "cboPort"), "LPT");
    EXPECT_FALSE(delay->isVisible());
    Click(In<QPushButton>(d, "cmdOK"));
  });
  EXPECT_EQ(Memo()[2], "Port : LPT");
  EXPECT_THAT(FileAfterClose(), HasSubstr("PortName=LPT\r\nLPTDelay=10\r\n"));
}

TEST_F(MainDialogsTest, FaultyDelayShowsFehlerWithThePortAlreadyApplied) {
  Start();
  Schnitt([&](QWidget* d) {
    Pick(In<QComboBox>(d, "cboPort"), "LPT1");
    // "-1" would wrap to a repeat count in the billions for every register write.
    for (const char* bad : {"", "x", "-1"}) {
      Type(In<QLineEdit>(d, "txtDelay"), bad);
      Click(In<QPushButton>(d, "cmdOK"));
      ASSERT_FALSE(prompts.errors.empty()) << bad;
      EXPECT_EQ(prompts.errors.back().title, "Fehler");
      EXPECT_EQ(prompts.errors.back().text, "Fehlerhafter Wert für Verzögerungsfaktor");
      EXPECT_TRUE(d->isVisible());
    }
    EXPECT_EQ(prompts.errors.size(), 3u);
    EXPECT_EQ(main->Settings().PortName, "LPT1");
    EXPECT_EQ(main->Settings().LPTDelay, 10u);
    Type(In<QLineEdit>(d, "txtDelay"), "0");  // the driver makes 10 of it
    Click(In<QPushButton>(d, "cmdOK"));
  });
  EXPECT_EQ(Memo()[2], "Port : LPT1");
  EXPECT_THAT(FileAfterClose(), HasSubstr("PortName=LPT1\r\nLPTDelay=0\r\n"));
}

TEST_F(MainDialogsTest, AboutBoxIsPlacedAndClosedByOk) {
  Start();
  WithDialog(In<QAction>(main.get(), "mnuAbout"), In<QDialog>(main.get(), "frmAbout"), [&] {
    ExpectPlaced(In<QDialog>(main.get(), "frmAbout"), 32, 20);
    Click(In<QPushButton>(In<QDialog>(main.get(), "frmAbout"), "cmdEnde"));
  });
  EXPECT_EQ(In<QLabel>(main.get(), "lblTitel")->text(), "Rob3 : Säulenroboter");
}

}  // namespace
}  // namespace kelvora::testing
