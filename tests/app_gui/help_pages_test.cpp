// SPDX-License-Identifier: MIT
// The help as the windows use it: every context a window, control, menu or menu item of
// the program carries has a page in the resource, and every link and stylesheet a page
// refers to is there too.
#include <QAction>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <QWidget>
#include <memory>

#include <gtest/gtest.h>

#include "access/brel_face.h"
#include "access/brel_mot_list.h"
#include "access/frm_panel.h"
#include "app/frm_main.h"
#include "platform/help_qt.h"
#include "platform/profile.h"
#include "settings/frm_about.h"
#include "settings/frm_modell.h"
#include "settings/frm_schnitt.h"

namespace kelvora::testing {
namespace {

// The contexts object and everything below it carry (objects without one are skipped).
void CollectContexts(const QObject* object, QSet<int>& contexts) {
  const QVariant value = object->property(platform::kHelpContextProperty);
  if (value.isValid()) contexts.insert(value.toInt());
  for (const QObject* child : object->children()) CollectContexts(child, contexts);
  if (auto* widget = qobject_cast<const QWidget*>(object))
    for (const QAction* action : widget->actions()) CollectContexts(action, contexts);
}

TEST(HelpPages, EveryContextOfTheWindowsHasAPage) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  app::TfrmMain main(nullptr, dir.path().toStdString() + "/");
  settings::ProgramSettings s;
  platform::ProfileFile profile(dir.filePath("Kelvora.INI").toStdString());
  access::TBrelMotList axes;
  access::TBrelFace face;
  settings::TfrmModell modell(s, profile, axes, nullptr);
  settings::TfrmSchnitt schnitt(s, nullptr);
  settings::TfrmAbout about(nullptr);
  access::TfrmPanel panel(face, nullptr);

  QSet<int> contexts;
  for (const QObject* form : {static_cast<QObject*>(&main), static_cast<QObject*>(&modell),
                              static_cast<QObject*>(&schnitt), static_cast<QObject*>(&about),
                              static_cast<QObject*>(&panel)})
    CollectContexts(form, contexts);
  // The windows' own, the script list's, the menus' and the panel button's.
  EXPECT_EQ(contexts, (QSet<int>{3, 5, 6, 9, 11, 12, 16, 18}));
  for (int context : contexts) {
    EXPECT_FALSE(platform::HelpPageUrl(context).isEmpty()) << context;
    EXPECT_FALSE(platform::HelpPage(context).isEmpty()) << context;
  }
  EXPECT_TRUE(platform::HelpPageUrl(4711).isEmpty());
}

TEST(HelpPages, EveryLinkAndStylesheetResolves) {
  const QRegularExpression href(QStringLiteral("href=['\"]([^'\"]*)['\"]"));
  ASSERT_FALSE(platform::HelpContexts().isEmpty());
  for (int context : platform::HelpContexts()) {
    const QUrl page = platform::HelpPageUrl(context);
    EXPECT_EQ(platform::HelpPageContext(page), context);
    const QString html = platform::HelpPage(context);
    ASSERT_FALSE(html.isEmpty()) << page.toString().toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral("<meta charset=\"utf-8\">")));
    int links = 0;
    for (const auto& match : href.globalMatch(html)) {
      const QUrl target = page.resolved(QUrl(match.captured(1)));
      SCOPED_TRACE(page.toString().toStdString() + " -> " + target.toString().toStdString());
      EXPECT_EQ(target.scheme(), QStringLiteral("qrc"));
      EXPECT_TRUE(QFile::exists(QLatin1Char(':') + target.path()));
      // A link to a page opens that page in the help window.
      if (target.path().endsWith(QStringLiteral(".html"))) {
        EXPECT_GE(platform::HelpPageContext(target), 0);
      }
      ++links;
    }
    EXPECT_GE(links, 5);  // the stylesheet and the navigation line at least
  }
}

// The window shows a page from the resource with the shared stylesheet applied, and a
// link moves it to the linked page and its context.
TEST(HelpPages, TheHelpWindowFollowsLinksAndAppliesTheStylesheet) {
  platform::ShowHelp(0);
  auto* browser = platform::HelpWindow()->findChild<QTextBrowser*>(QStringLiteral("txtHilfe"));
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(platform::HelpWindowContext(), 0);
  emit browser->anchorClicked(QUrl(QStringLiteral("script.html")));
  EXPECT_EQ(platform::HelpWindowContext(), 9);
  QTextBlock heading = browser->document()->begin();
  while (heading.isValid() && heading.text() != QStringLiteral("Die Scriptliste"))
    heading = heading.next();
  ASSERT_TRUE(heading.isValid());
  QTextCursor cursor(heading);
  cursor.movePosition(QTextCursor::NextCharacter);
  EXPECT_EQ(cursor.charFormat().fontPointSize(), 16);
  EXPECT_TRUE(browser->document()->toPlainText().contains(QStringLiteral("Positionen speichern")));
  emit browser->anchorClicked(QUrl(QStringLiteral("https://example.org/")));
  EXPECT_EQ(platform::HelpWindowContext(), 9);  // not a page of the help: ignored
  delete platform::HelpWindow();
}

// Each language has a page for every context, with the same links (to the same pages of
// its own language) and the same stylesheet as the German page; F1 opens the page of the
// language in use.
TEST(HelpPages, EveryContextHasAPageInEveryLanguage) {
  const QRegularExpression href(QStringLiteral("href=['\"]([^'\"]*)['\"]"));
  auto links = [&href](int context) {
    const QUrl page = platform::HelpPageUrl(context);
    QStringList targets;  // pages by file name, the stylesheet by its address
    for (const auto& match : href.globalMatch(platform::HelpPage(context))) {
      const QUrl target = page.resolved(QUrl(match.captured(1)));
      targets << (target.path().endsWith(QLatin1String(".html")) ? target.fileName()
                                                                 : target.toString());
      EXPECT_TRUE(QFile::exists(QLatin1Char(':') + target.path()))
          << target.toString().toStdString();
      if (target.path().endsWith(QLatin1String(".html"))) {
        EXPECT_GE(platform::HelpPageContext(target), 0) << target.toString().toStdString();
      }
    }
    return targets;
  };
  ASSERT_EQ(platform::HelpLanguages(), (QStringList{"de", "en"}));
  QMap<int, QStringList> german;
  for (int context : platform::HelpContexts()) german[context] = links(context);
  for (const QString& language : platform::HelpLanguages()) {
    platform::SetHelpLanguage(language);
    SCOPED_TRACE(language.toStdString());
    for (int context : platform::HelpContexts()) {
      SCOPED_TRACE(context);
      const QUrl page = platform::HelpPageUrl(context);
      EXPECT_EQ(page.path().startsWith(QLatin1String("/help/en/")), language == "en");
      EXPECT_EQ(platform::HelpPageContext(page), context);
      EXPECT_TRUE(platform::HelpPage(context).contains("<html lang=\"" + language + "\">"));
      EXPECT_EQ(links(context), german[context]);
    }
  }
  // F1 on the script list: the English page, since English is in use now.
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  app::TfrmMain main(nullptr, dir.path().toStdString() + "/");
  main.show();
  platform::InstallHelpKey();
  auto* list = main.findChild<QWidget*>(QStringLiteral("lstScript"));
  list->setFocus();
  QTest::keyClick(list, Qt::Key_F1);
  auto* browser = platform::HelpWindow()->findChild<QTextBrowser*>(QStringLiteral("txtHilfe"));
  EXPECT_EQ(browser->source(), QUrl(QStringLiteral("qrc:/help/en/script.html")));
  delete platform::HelpWindow();
  platform::SetHelpLanguage(QStringLiteral("de"));
}

}  // namespace
}  // namespace kelvora::testing
