// SPDX-License-Identifier: MIT
// The main window in English on the virtual robot: what a session shows by mode, the
// model data, the title, and what its message boxes, questions and file dialogs say,
// including the window-free code's texts (the port's problem, a script's error, the
// robot's faults with the axis they name). Afterwards German is back, as it was.
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/language_qt.h"
#include "app/robot_faults.h"
#include "platform/user_text_qt.h"
#include "settings/settings.h"
#include "tests/support/main_window_rig.h"

namespace kelvora::app {
namespace {

using ::testing::ElementsAre;

class EnglishSession : public MainWindowRig {
 protected:
  void SetUp() override { ASSERT_TRUE(UseLanguage(kEnglish)); }
  void TearDown() override {
    MainWindowRig::TearDown();
    UseLanguage(kGerman);
  }
  static std::vector<std::string> Utf8(const std::vector<QString>& texts) {
    std::vector<std::string> out;
    for (const QString& t : texts) out.push_back(t.toStdString());
    return out;
  }
  // Mode name, action caption and end caption as the window shows them now.
  std::vector<QString> ModeCaptions() {
    return {Control<QLabel>("lblPrgModus")->text(), Control<QPushButton>("cmdAction")->text(),
            Control<QPushButton>("cmdEnde")->text()};
  }
};

TEST_F(EnglishSession, ModesTitleAndModelDataSpeakEnglish) {
  Make();
  EXPECT_EQ(form->windowTitle(), "Kelvora for Industrial Robots [New]");
  EXPECT_EQ(Control<QPlainTextEdit>("memDaten")->toPlainText(),
            "Model data\nModel : Rob3\nPort : COM1\n \nWorking range\nColumn : 240\n"
            "Arm H : 160\nArm V : 150\nGripper : 28");
  EXPECT_THAT(ModeCaptions(), ElementsAre("Switch ON", "ON", "Cancel"));
  SwitchOn();
  EXPECT_THAT(ModeCaptions(), ElementsAre("Go Home", "START", "EXIT"));
  std::vector<QString> running;
  After(3, [&] { running = ModeCaptions(); });
  Click("cmdAction");
  EXPECT_THAT(running, ElementsAre("RUN", "HALT", "EXIT"));
  EXPECT_THAT(ModeCaptions(), ElementsAre("Teach-In", "HOME", "EXIT"));
  EXPECT_TRUE(errors.empty());
}

TEST_F(EnglishSession, BoxesQuestionsAndFileDialogsSpeakEnglish) {
  qputenv("ZQBREL_COM7", "/dev/kelvora-no-box");
  struct Unset {
    ~Unset() { qunsetenv("ZQBREL_COM7"); }
  } unset;
  Make({.ini = "[Port]\r\nPortName=COM7\r\n"});
  Click("cmdAction");
  form->Settings().PortName = "COM1";
  SwitchOnAndHome();
  Click("cmdPosAnfugen");  // the script changed
  // The interface falls silent while the gripper runs: the robot's fault report.
  After(5, [&] { rig->box.SetFault(sim::BoxFault::kSilent); });
  Click("lblM4Zu");
  rig->box.SetFault(sim::BoxFault::kNone);
  rig->Advance(1100);  // the driver finds the box again
  // A line that is no number: the script's own error, through the top-level handler; the
  // window then waits in RUN for HALT.
  Control<QListWidget>("lstScript")->addItem("   abc     0     0     0");
  Control<QListWidget>("lstScript")->setCurrentRow(2);
  Click("cmdAufPosition");
  Click("cmdAction");  // HALT
  EXPECT_THAT(
      Utf8(errors),
      ElementsAre("Error | Interface problem on COM7\nDevice /dev/kelvora-no-box: not present. Is "
                  "the adapter plugged in? kelvora-ports lists the ports of this computer.",
                  Shown("The interface stopped answering while a motor was running. Until it "
                        "answers again or is switched off, it may keep its last outputs: "
                        "motors then keep running")
                      .toStdString(),
                  Shown("'   abc' is not a valid integer value").toStdString()));
  // Closing with a changed script: the question, then the save dialog's filter.
  answer = true;
  EXPECT_FALSE(form->close());  // the dialog below is cancelled: the script is kept
  EXPECT_THAT(Utf8(questions), ElementsAre("Information | Save the script file?"));
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].filter, "Robot script (*.RB3 *.rb3)");
}

// A fault text names its axis in the language in use, as the settings' words.
TEST_F(EnglishSession, FaultsNameTheirAxisInEnglish) {
  access::TBrelMotList axes;
  settings::ProgramSettings model;
  model.SetRobModel("Rob3");
  model.RobType = "G";
  settings::ConfigureAxes(model, axes);
  access::TBrelRobot::TFaults faults;
  faults.stalled = 1u << 1;
  faults.strayed = 1u << 4;
  std::vector<QString> shown;
  for (const platform::UserText& text : FaultTexts(faults, axes))
    shown.push_back(platform::Translated(text));
  EXPECT_THAT(shown, ElementsAre("Axis Column does not move although its motor is running: "
                                 "motor switched off, position unknown",
                                 "The inputs of axis Gripper do not match its motor (moved by "
                                 "hand, or a faulty connection): position unknown"));
  // The player without windows says it in German.
  EXPECT_THAT(FaultMessages(faults, axes),
              ElementsAre(::testing::StartsWith("Achse Säule bewegt sich nicht"),
                          ::testing::StartsWith("Die Eingänge der Achse Greifer")));
}

}  // namespace
}  // namespace kelvora::app
