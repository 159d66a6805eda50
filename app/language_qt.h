// SPDX-License-Identifier: MIT
// The language the program speaks: German ("de"), its own (every text in the code and
// the forms is German), or one whose translation catalogue is compiled into the program
// (translations/kelvora_<code>.qm, English "en" among them). A catalogue is all a further
// language needs here. The choice is made at start and never stored in the settings file.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kelvora::app {

// The variable that chooses the language when the command line does not.
inline constexpr const char* kLanguageVariable = "KELVORA_LANGUAGE";
// The program's own language, and the one for users whose language it lacks.
inline constexpr const char* kGerman = "de";
inline constexpr const char* kEnglish = "en";

// "de" and the codes of the compiled-in catalogues, sorted.
QStringList AvailableLanguages();

// The available language a name stands for: its code ("de", "en"), in upper or lower
// case, also with a region or a code set ("de_AT", "en-GB", "en_US.UTF-8"); nullopt for
// any other.
std::optional<QString> LanguageNamed(const QString& name);

// The language for --language (empty when not given), else for KELVORA_LANGUAGE (empty
// when unset), else for the user's interface languages as Qt reads them from the system
// (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), most preferred first: the first of them the
// program has, where "C" and "POSIX" count as German; a list that names none of them
// (French only, say) gives English, and an empty one German. A --language or variable
// that names no language of the program leaves the choice to the next rule (the command
// line reports its mistake itself).
QString ChooseLanguage(const QString& option, const QString& variable,
                       const QStringList& uiLanguages);
// The same from this process's environment and the system's locale.
QString ChooseLanguage(const QString& option);

// Makes language the one the program speaks: its catalogue is loaded (none for German)
// and installed into the application object, if there is one yet; a later application
// object gets it through InstallLanguage. The help follows where it has pages in the
// language, else it stays German. False when the catalogue is missing (German is spoken
// then).
bool UseLanguage(const QString& language);
// Installs the loaded catalogue into the application object made since.
void InstallLanguage();
QString CurrentLanguage();

// source of context in the language in use, also before the application object exists.
QString Translate(const char* context, const char* source);

}  // namespace kelvora::app
