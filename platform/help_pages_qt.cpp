// SPDX-License-Identifier: MIT
// Which page of the help resource belongs to which help context, in which language. The
// pages themselves are HTML files under help/ (German) and help/en/ (English, the same
// file names), compiled into the program from help/help.qrc.
#include <QDir>
#include <QFile>
#include <QString>
#include <QUrl>

#include "platform/help_qt.h"

// The resource lives in a static library: register it before the first look-up, or the
// linker may leave its initializer out.
static void InitHelpResource() {
  Q_INIT_RESOURCE(help);
}

namespace kelvora::platform {

namespace {

struct PageEntry {
  int context;
  const char* file;
};

constexpr PageEntry kPages[] = {
    {0, "inhalt.html"},  {3, "panel.html"},   {5, "schnittstelle.html"},
    {6, "modelle.html"}, {9, "script.html"},  {11, "datei.html"},
    {12, "about.html"},  {16, "menues.html"}, {18, "hauptfenster.html"},
};

void EnsureResource() {
  static const bool done = (InitHelpResource(), true);
  (void)done;
}

QString& CurrentLanguage() {
  static QString language = QStringLiteral("de");
  return language;
}

}  // namespace

QStringList HelpLanguages() {
  EnsureResource();
  // German at the top of the folder, each other language in a folder of its code.
  QStringList languages{QStringLiteral("de")};
  for (const QString& folder : QDir(QStringLiteral(":/help")).entryList(QDir::Dirs))
    if (QFile::exists(QStringLiteral(":/help/%1/inhalt.html").arg(folder))) languages << folder;
  return languages;
}

void SetHelpLanguage(const QString& language) {
  if (HelpLanguages().contains(language)) CurrentLanguage() = language;
}

QString HelpLanguage() {
  return CurrentLanguage();
}

QList<int> HelpContexts() {
  QList<int> contexts;
  for (const PageEntry& page : kPages) contexts.append(page.context);
  return contexts;
}

QUrl HelpPageUrl(int context) {
  EnsureResource();
  for (const PageEntry& page : kPages)
    if (page.context == context)
      // German is the help's own language: its pages lie at the top of the folder.
      return QUrl(QStringLiteral("qrc:/help/") +
                  (CurrentLanguage() == QLatin1String("de")
                       ? QString()
                       : CurrentLanguage() + QLatin1Char('/')) +
                  QString::fromLatin1(page.file));
  return QUrl();
}

int HelpPageContext(const QUrl& url) {
  for (const PageEntry& page : kPages)
    if (url == HelpPageUrl(page.context)) return page.context;
  return -1;
}

QString HelpPage(int context) {
  const QUrl url = HelpPageUrl(context);
  if (url.isEmpty()) return QString();
  QFile file(QLatin1Char(':') + url.path());
  if (!file.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(file.readAll());
}

}  // namespace kelvora::platform
