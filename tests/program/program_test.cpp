// SPDX-License-Identifier: MIT
// The program as installed software: its command line, the script named on it opened
// at start as "&Öffnen" opens one, where "&Öffnen" starts, and the program's icon on
// every window. Runs under the program's own application class, with its own main.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/command_line_qt.h"
#include "app/language_qt.h"
#include "settings/frm_about.h"
#include "settings/frm_schnitt.h"
#include "settings/program_settings.h"
#include "tests/support/child_process.h"
#include "tests/support/main_window_rig.h"
#include "tests/support/scoped_env.h"

namespace kelvora::app {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(CommandLine, OptionsFileAndMistakes) {
  const QString here = QDir::currentPath();
  const struct {
    QStringList args;
    int exitCode;
    const char* out;  // contained in the standard output
    const char* err;  // contained in the standard error
    QString file;
  } cases[] = {
      {{}, -1, "", "", {}},
      {{"DEMO.RB3"}, -1, "", "", here + "/DEMO.RB3"},
      {{"/tmp/x/A.RB5"}, -1, "", "", "/tmp/x/A.RB5"},
      {{"--version"}, 0, "kelvora " KELVORA_TEST_VERSION "\n", "", {}},
      {{"-V"}, 0, "kelvora " KELVORA_TEST_VERSION "\n", "", {}},
      {{"--help"}, 0, "Usage: kelvora [options] [FILE]\n", "", {}},
      {{"-h", "DEMO.RB3"}, 0, "--version", "", {}},
      {{"--frobnicate"}, 2, "", "kelvora: Unknown option 'frobnicate'.", {}},
      {{"A.RB3", "B.RB3"}, 2, "", "one script file at most", {}},
      // Qt's own options are gone by now; before, a word such as -stylesheet is no -h.
      {{"-stylesheet", "x.qss"}, 2, "", "Unknown option 'stylesheet'", {}},
  };
  for (const auto& c : cases) {
    const CommandLine line = ParseCommandLine(QStringList{"/usr/bin/kelvora"} + c.args);
    SCOPED_TRACE(c.args.join(' ').toStdString());
    EXPECT_EQ(line.exitCode, c.exitCode);
    EXPECT_THAT(line.out.toStdString(), HasSubstr(c.out));
    EXPECT_THAT(line.err.toStdString(), HasSubstr(c.err));
    EXPECT_EQ(line.scriptFile, c.file);
  }
}

// The language: --language, then KELVORA_LANGUAGE, then the system's interface
// languages in the order the user prefers them.
TEST(Language, ChosenByOptionVariableAndSystem) {
  const struct {
    const char* option;
    const char* variable;
    QStringList ui;
    const char* expected;
  } cases[] = {
      {"", "", {}, kGerman},                     // nothing set
      {"", "", {"C"}, kGerman},                  // LANG=C
      {"", "", {"POSIX"}, kGerman},              //
      {"", "", {"de-DE", "de"}, kGerman},        // LANG=de_DE.UTF-8
      {"", "", {"de-AT", "de"}, kGerman},        //
      {"", "", {"en-GB", "en"}, kEnglish},       // LANG=en_GB.UTF-8
      {"", "", {"fr-FR", "fr"}, kEnglish},       // neither: English
      {"", "", {"fr", "de-DE", "de"}, kGerman},  // LANGUAGE=fr:de
      {"", "", {"fr", "en", "de"}, kEnglish},    // LANGUAGE=fr:en:de
      {"", "en", {"de-DE"}, kEnglish},           // the variable over the system
      {"", "DE", {"en-US"}, kGerman},            //
      {"", "fr", {"en-US"}, kEnglish},           // no language of ours: ignored
      {"de", "en", {"en-US"}, kGerman},          // the option over both
      {"en_GB.UTF-8", "", {"de-DE"}, kEnglish},  //
      {"xx", "de", {"en-US"}, kGerman},          // (the command line reports "xx")
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.option) + "|" + c.variable + "|" + c.ui.join(':').toStdString());
    EXPECT_EQ(ChooseLanguage(c.option, c.variable, c.ui), QString::fromLatin1(c.expected));
  }
}

TEST(Language, TheCommandLineTakesItAndQuotesTheWindowsInIt) {
  const CommandLine wrong = ParseCommandLine({"kelvora", "--language", "fr"});
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_EQ(wrong.err, "kelvora: unknown language 'fr' (de or en)\nTry 'kelvora --help'.\n");
  EXPECT_EQ(AvailableLanguages(), (QStringList{"de", "en"}));
  const CommandLine english = ParseCommandLine({"kelvora", "--language", "en", "A.RB3"});
  EXPECT_EQ(english.exitCode, -1);
  EXPECT_EQ(english.language, "en");
  EXPECT_EQ(ParseCommandLine({"kelvora"}).language, "");
  // --help names the menu item as the windows do: the German one until English is in use.
  EXPECT_THAT(ParseCommandLine({"kelvora", "--help"}).out.toStdString(), HasSubstr("\"Öffnen\""));
  ASSERT_TRUE(UseLanguage(kEnglish));
  EXPECT_THAT(ParseCommandLine({"kelvora", "--help"}).out.toStdString(), HasSubstr("\"Open\""));
  UseLanguage(kGerman);
}

// The program itself, as a user starts it: the system's language decides, German where
// it is German, C, POSIX or unset.
TEST(Language, TheProgramFollowsTheSystem) {
  const struct {
    QStringList environment;  // set after LANGUAGE, LC_ALL, LC_MESSAGES, LANG are unset
    QStringList arguments;
    const char* quoted;
  } cases[] = {
      {{}, {}, "Öffnen"},
      {{"LANG=C"}, {}, "Öffnen"},
      {{"LANG=POSIX"}, {}, "Öffnen"},
      {{"LANG=de_DE.UTF-8"}, {}, "Öffnen"},
      {{"LANG=en_GB.UTF-8"}, {}, "Open"},
      {{"LANG=fr_FR.UTF-8"}, {}, "Open"},
      {{"LANGUAGE=fr:de", "LANG=fr_FR.UTF-8"}, {}, "Öffnen"},
      {{"LC_MESSAGES=en_US.UTF-8", "LANG=de_DE.UTF-8"}, {}, "Open"},
      {{"KELVORA_LANGUAGE=en", "LANG=de_DE.UTF-8"}, {}, "Open"},
      {{"KELVORA_LANGUAGE=en"}, {"--language", "de"}, "Öffnen"},
      {{"LANG=C"}, {"-language", "en"}, "Open"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE((c.environment + c.arguments).join(' ').toStdString());
    // Spawned, not forked by QProcess: a cross build's tests run under qemu-user, which
    // refuses QProcess's way of forking.
    kelvora::testing::ScopedEnv env{
        "LANGUAGE",         "LC_ALL",  "LC_MESSAGES",     "LANG",
        "KELVORA_LANGUAGE", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG", "KELVORA_LANGUAGE",
                             "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      kelvora::testing::ScopedEnv::Set(name, nullptr);
    for (const QString& pair : c.environment)
      kelvora::testing::ScopedEnv::Set(pair.section('=', 0, 0).toUtf8().constData(),
                                       pair.section('=', 1).toUtf8().constData());
    std::vector<std::string> argv{KELVORA_PROGRAM};
    for (const QString& a : c.arguments) argv.push_back(a.toStdString());
    argv.push_back("--help");
    kelvora::testing::Child program(argv);
    EXPECT_EQ(program.Wait(30000), 0);
    EXPECT_THAT(program.Output(), HasSubstr("\"" + std::string(c.quoted) + "\" would open it."));
  }
}

// Before the application object: Qt's own options are taken out as Qt will take them, so
// that what is left can be judged (and a mistake reported) without a display.
TEST(CommandLine, ToolkitOptionsAreLeftToQt) {
  const struct {
    QStringList args, kept;
  } cases[] = {
      {{"-platform", "offscreen", "A.RB3"}, {"A.RB3"}},
      {{"--display", ":1", "-reverse", "--style=fusion", "-qwindowtitle", "T"}, {}},
      {{"-stylesheet", "x.qss", "--frobnicate", "A.RB3", "B.RB3"},
       {"--frobnicate", "A.RB3", "B.RB3"}},
      {{"A.RB3", "-style"}, {"A.RB3", "-style"}},  // lacking its value: a mistake
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    EXPECT_EQ(WithoutToolkitOptions(QStringList{"kelvora"} + c.args),
              QStringList{"kelvora"} + c.kept);
  }
}

TEST(ProgramIcon, EveryWindowAndTheAboutBoxShowIt) {
  const QIcon icon = QApplication::windowIcon();
  ASSERT_FALSE(icon.isNull());
  for (int size : {32, 48, 256}) {
    EXPECT_EQ(icon.pixmap(size, size).size(), QSize(size, size)) << size;
  }
  const QImage expected = icon.pixmap(32, 32).toImage();
  settings::TfrmAbout about(nullptr);
  const QPixmap shown = about.findChild<QLabel*>(QStringLiteral("Image1"))->pixmap();
  EXPECT_EQ(shown.toImage().convertToFormat(expected.format()), expected);

  // No window sets an icon of its own, so each shows the program's.
  settings::ProgramSettings programSettings;
  settings::TfrmSchnitt schnitt(programSettings, nullptr);
  QMessageBox box;
  QFileDialog dialog;
  for (QWidget* w : std::initializer_list<QWidget*>{&about, &schnitt, &box, &dialog}) {
    EXPECT_EQ(w->windowIcon().cacheKey(), icon.cacheKey()) << w->metaObject()->className();
  }
}

class StartAndOpen : public MainWindowRig {
 protected:
  void WriteFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  QTemporaryDir data;  // stands for the installed share/kelvora
};

TEST_F(StartAndOpen, TheScriptNamedAtStartOpensAsOeffnenWould) {
  Make();
  const QString script = data.filePath("DEMO.RB3");
  WriteFile(script, "     0     0     0     0\r\n   120    85    40     1\r\n");
  OpenStartScript(*form, script);
  // The new script, until the event loop runs.
  EXPECT_EQ(Control<QListWidget>("lstScript")->count(), 1);
  QTRY_COMPARE(Control<QListWidget>("lstScript")->count(), 2);
  EXPECT_EQ(form->ScriptName(), QStringLiteral("DEMO.RB3"));
  EXPECT_EQ(form->windowTitle(), ApplicationTitle() + " [DEMO.RB3]");
  EXPECT_TRUE(dialogs.empty());

  // A file that cannot be read: the error box of "&Öffnen", the script stays.
  const QString missing = data.filePath("FEHLT.RB3");
  OpenStartScript(*form, missing);
  QTRY_COMPARE(errors.size(), size_t{1});
  EXPECT_THAT(errors, ElementsAre(Shown("Datei " + missing + " kann nicht geöffnet werden")));
  EXPECT_EQ(form->ScriptName(), QStringLiteral("DEMO.RB3"));
  EXPECT_EQ(Control<QListWidget>("lstScript")->count(), 2);
}

TEST_F(StartAndOpen, OeffnenStartsAtTheDemoUntilTheUserHasAScript) {
  Make();
  WriteFile(data.filePath("demo.RB3"), "     0     0     0     0\r\n");
  const QString progDir = QString::fromStdString(form->Settings().ProgDir);
  const QString dataDir = data.path() + "/";
  const struct {
    QString dataDir;
    const char* userFile;  // written into the program's folder before "&Öffnen"
    QString folder;
  } cases[] = {
      {"", nullptr, progDir},           // not installed
      {dataDir, nullptr, dataDir},      // first use: the demo is offered
      {dataDir, "NOTES.TXT", dataDir},  // other files do not count
      {dataDir, "OTHER.RB5", dataDir},  // nor scripts of other models
      {dataDir, "mine.rb3", progDir},   // the user's own script: their folder
  };
  for (const auto& c : cases) {
    if (c.userFile) WriteFile(progDir + c.userFile, "");
    form->SetDataDir(c.dataDir.toStdString());
    dialogs.clear();
    form->mnuOffnenClick();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].folder, c.folder) << (c.userFile ? c.userFile : "-");
  }
}

}  // namespace
}  // namespace kelvora::app
