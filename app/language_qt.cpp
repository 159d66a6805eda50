// SPDX-License-Identifier: MIT
#include "app/language_qt.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QTranslator>
#include <memory>

#include "platform/help_qt.h"

namespace kelvora::app {

namespace {

// The catalogues are compiled into the program under this prefix (translations/).
constexpr const char* kCatalogueFolder = ":/i18n";

// The loaded catalogue; none while German is spoken.
std::unique_ptr<QTranslator>& Catalogue() {
  static std::unique_ptr<QTranslator> translator;
  return translator;
}

QString& Current() {
  static QString language = QString::fromLatin1(kGerman);
  return language;
}

// What a system's interface language says: one of the program's, or none.
std::optional<QString> SystemLanguage(const QString& name) {
  if (name == QLatin1String("C") || name == QLatin1String("POSIX"))
    return QString::fromLatin1(kGerman);
  return LanguageNamed(name);
}

}  // namespace

QStringList AvailableLanguages() {
  QStringList codes{QString::fromLatin1(kGerman)};
  const QStringList files =
      QDir(QLatin1String(kCatalogueFolder)).entryList({QStringLiteral("kelvora_*.qm")});
  for (const QString& file : files) codes << file.mid(8, file.size() - 8 - 3);
  codes.sort();
  return codes;
}

std::optional<QString> LanguageNamed(const QString& name) {
  const QString code = name.section(QLatin1Char('.'), 0, 0)
                           .section(QLatin1Char('@'), 0, 0)
                           .section(QLatin1Char('_'), 0, 0)
                           .section(QLatin1Char('-'), 0, 0)
                           .toLower();
  if (code.isEmpty() || !AvailableLanguages().contains(code)) return std::nullopt;
  return code;
}

QString ChooseLanguage(const QString& option, const QString& variable,
                       const QStringList& uiLanguages) {
  if (const auto chosen = LanguageNamed(option)) return *chosen;
  if (const auto chosen = LanguageNamed(variable)) return *chosen;
  if (uiLanguages.isEmpty()) return QString::fromLatin1(kGerman);
  for (const QString& name : uiLanguages) {
    if (const auto language = SystemLanguage(name)) return *language;
  }
  return QString::fromLatin1(kEnglish);
}

QString ChooseLanguage(const QString& option) {
  return ChooseLanguage(option, qEnvironmentVariable(kLanguageVariable),
                        QLocale::system().uiLanguages());
}

bool UseLanguage(const QString& language) {
  Catalogue().reset();  // uninstalls itself as it goes
  bool loaded = true;
  QString spoken = QString::fromLatin1(kGerman);
  if (language != spoken) {
    auto catalogue = std::make_unique<QTranslator>();
    loaded =
        catalogue->load(QStringLiteral("kelvora_") + language, QLatin1String(kCatalogueFolder));
    if (loaded) {
      Catalogue() = std::move(catalogue);
      spoken = language;
    }
  }
  Current() = spoken;
  InstallLanguage();
  platform::SetHelpLanguage(
      platform::HelpLanguages().contains(spoken) ? spoken : QString::fromLatin1(kGerman));
  return loaded;
}

void InstallLanguage() {
  if (!QCoreApplication::instance() || !Catalogue()) return;
  QCoreApplication::removeTranslator(Catalogue().get());  // installed once only
  QCoreApplication::installTranslator(Catalogue().get());
}

QString CurrentLanguage() {
  return Current();
}

QString Translate(const char* context, const char* source) {
  const QString text = Catalogue() ? Catalogue()->translate(context, source) : QString();
  return text.isEmpty() ? QString::fromUtf8(source) : text;
}

}  // namespace kelvora::app
