// The program's command line: kelvora [--help] [--version] [FILE]. FILE is a script that
// is opened at start, as "&Öffnen" would open it.
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
};

// arguments[0] is the program. Relative script names are taken from the current folder.
CommandLine ParseCommandLine(const QStringList& arguments);

// Before the application object exists, so that --help and --version work without a
// display: prints and returns the exit code for them, -1 otherwise (other mistakes are
// left to StartScriptArgument, once Qt has taken its own options such as -platform).
int InfoOptionsExit(int argc, char** argv);

// After the application object: sets the script named on the command line (empty for
// none) and returns -1, or prints a usage error and returns the exit code.
int StartScriptArgument(QString* scriptFile);

// Opens the script once the event loop runs, through the window's command handler: an
// error is shown as one of "&Öffnen" is. Nothing for an empty name.
void OpenStartScript(TfrmMain& window, const QString& scriptFile);

}  // namespace kelvora::app
