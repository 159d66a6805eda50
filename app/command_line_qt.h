// SPDX-License-Identifier: MIT
// The program's command line: kelvora [--help] [--version] [--language de|en] [FILE].
// FILE is a script that is opened at start, as "&Öffnen" would open it. The command
// line's own words are English, as the manual pages are; the name of the windows'
// command it quotes is in the language the windows speak.
#pragma once

#include <QString>
#include <QStringList>

namespace kelvora::app {

class TfrmMain;

struct CommandLine {
  int exitCode = -1;   // >= 0: end the program with it after printing
  QString out;         // for standard output (help, version)
  QString err;         // for standard error (a usage error)
  QString scriptFile;  // the script to open at start, absolute; empty for none
  QString language;    // --language as given; empty when not given
};

// arguments[0] is the program. Relative script names are taken from the current folder.
CommandLine ParseCommandLine(const QStringList& arguments);

// arguments without the options the Qt toolkit takes for itself (-platform NAME,
// -style=NAME, --display NAME, -reverse, ...), as the application object will take them.
// An option lacking its value stays, to be reported as a mistake.
QStringList WithoutToolkitOptions(const QStringList& arguments);

// Before the application object exists, so that --help, --version and a mistake are
// answered without a display: chooses the program's language (ChooseLanguage, with
// --language) and makes it the one in use, then prints and returns the exit code for
// them (0 or 2), -1 for a command line the program runs with.
int InfoOptionsExit(int argc, char** argv);

// After the application object: sets the script named on the command line (empty for
// none) and returns -1, or prints a usage error and returns the exit code.
int StartScriptArgument(QString* scriptFile);

// Opens the script once the event loop runs, through the window's command handler: an
// error is shown as one of "&Öffnen" is. Nothing for an empty name.
void OpenStartScript(TfrmMain& window, const QString& scriptFile);

}  // namespace kelvora::app
