// SPDX-License-Identifier: MIT
#include "app/command_line_qt.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/frm_main.h"
#include "app/language_qt.h"

#ifndef KELVORA_VERSION
#define KELVORA_VERSION "5.1.0"
#endif

namespace kelvora::app {

CommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  // Whole words after one dash, as Qt's own options are (-stylesheet is not -s -t ... -h).
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(
      QStringLiteral("Kelvora: teach-in program for construction-kit industrial robots."));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Show this help and end."));
  const QCommandLineOption version({QStringLiteral("V"), QStringLiteral("version")},
                                   QStringLiteral("Show the version and end."));
  const QCommandLineOption language(
      QStringLiteral("language"),
      QStringLiteral("Language of the windows: de (German) or en (English). Default: the "
                     "variable KELVORA_LANGUAGE, else the system's language (German for C, "
                     "POSIX or none)."),
      QStringLiteral("LANG"));
  parser.addOption(help);
  parser.addOption(version);
  parser.addOption(language);
  // The menu item by the name the windows give it in the language in use.
  const QString open = Translate("TfrmMain", "&Öffnen").remove(QLatin1Char('&'));
  parser.addPositionalArgument(
      QStringLiteral("FILE"),
      QStringLiteral("Script file to open at start (for example DEMO.RB3), as \"%1\" would "
                     "open it.")
          .arg(open),
      QStringLiteral("[FILE]"));

  CommandLine result;
  const bool parsed = parser.parse(arguments);
  if (parser.isSet(help)) {
    // Qt names the program by its full path or a placeholder; the command is "kelvora".
    QString text = parser.helpText();
    text.replace(0, text.indexOf(QLatin1Char('\n')),
                 QStringLiteral("Usage: kelvora [options] [FILE]"));
    result.out = text;
    result.exitCode = 0;
  } else if (parser.isSet(version)) {
    result.out = QStringLiteral("kelvora " KELVORA_VERSION "\n");
    result.exitCode = 0;
  } else if (!parsed) {
    result.err = QStringLiteral("kelvora: ") + parser.errorText() +
                 QStringLiteral("\nTry 'kelvora --help'.\n");
    result.exitCode = 2;
  } else if (parser.isSet(language) && !LanguageNamed(parser.value(language))) {
    result.err = QStringLiteral("kelvora: unknown language '%1' (%2)\nTry 'kelvora --help'.\n")
                     .arg(parser.value(language), AvailableLanguages().join(QLatin1String(" or ")));
    result.exitCode = 2;
  } else if (parser.positionalArguments().size() > 1) {
    result.err = QStringLiteral("kelvora: one script file at most\nTry 'kelvora --help'.\n");
    result.exitCode = 2;
  } else if (parser.positionalArguments().size() == 1) {
    // Absolute now: the window makes the program's folder the current one.
    result.scriptFile = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
  }
  if (parsed) result.language = parser.value(language);
  return result;
}

QStringList WithoutToolkitOptions(const QStringList& arguments) {
  // Qt 6's own options (QCoreApplication, QGuiApplication, QApplication and the X11
  // platform), each also taken with two dashes, as Qt itself does.
  static const QStringList kWithValue =
      QStringLiteral(
          "-platform -platformpluginpath -platformtheme -plugin -qwindowgeometry "
          "-qwindowicon -qwindowtitle -geometry -title -icon -session -style "
          "-stylesheet -qmljsdebugger -display -name -visual")
          .split(QLatin1Char(' '));
  static const QStringList kFlags =
      QStringLiteral("-reverse -testability -widgetcount -nograb -dograb -qdebug -qdevel")
          .split(QLatin1Char(' '));
  static const QStringList kJoined =
      QStringLiteral("-style= -stylesheet= -qmljsdebugger=").split(QLatin1Char(' '));
  QStringList kept;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    QString arg = arguments[i];
    if (i > 0 && arg.startsWith(QLatin1String("--"))) arg.remove(0, 1);
    if (i == 0 || !arg.startsWith(QLatin1Char('-'))) {
      kept << arguments[i];
    } else if (kWithValue.contains(arg) && i + 1 < arguments.size()) {
      ++i;
    } else if (!kFlags.contains(arg) &&
               std::none_of(kJoined.begin(), kJoined.end(),
                            [&](const QString& prefix) { return arg.startsWith(prefix); })) {
      kept << arguments[i];
    }
  }
  return kept;
}

int InfoOptionsExit(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  arguments = WithoutToolkitOptions(arguments);
  // The language first, as what is printed names the windows' words.
  const QString variable = qEnvironmentVariable(kLanguageVariable);
  if (!variable.isEmpty() && !LanguageNamed(variable)) {
    std::fprintf(stderr, "kelvora: %s=%s is no language of the program (%s); ignored\n",
                 kLanguageVariable, variable.toLocal8Bit().constData(),
                 AvailableLanguages().join(QLatin1String(", ")).toLocal8Bit().constData());
  }
  UseLanguage(ChooseLanguage(ParseCommandLine(arguments).language));
  const CommandLine line = ParseCommandLine(arguments);
  if (line.exitCode < 0) return -1;
  std::fputs(line.err.toLocal8Bit().constData(), stderr);
  std::fputs(line.out.toLocal8Bit().constData(), stdout);
  return line.exitCode;
}

int StartScriptArgument(QString* scriptFile) {
  const CommandLine line = ParseCommandLine(QCoreApplication::arguments());
  std::fputs(line.err.toLocal8Bit().constData(), stderr);
  std::fputs(line.out.toLocal8Bit().constData(), stdout);
  *scriptFile = line.scriptFile;
  return line.exitCode;
}

void OpenStartScript(TfrmMain& window, const QString& scriptFile) {
  if (scriptFile.isEmpty()) return;
  QPointer<TfrmMain> target(&window);
  QTimer::singleShot(0, &window, [target, scriptFile] {
    if (target) RunCommand([&] { target->OpenScript(scriptFile); });
  });
}

}  // namespace kelvora::app
