// SPDX-License-Identifier: MIT
// The program's help: HTML pages, one per help context and language (German under
// help/, English under help/en/), shown in a help window of the program's own. F1 opens the page of
// the focused control, or of its nearest container that has one; windows and controls carry their
// context in the property kHelpContextProperty (menus and menu items too).
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QObject;
class QUrl;
class QWidget;

namespace kelvora::platform {

inline constexpr const char* kHelpContextProperty = "HelpContext";

// The languages the help has pages in ("de" under help/, every other one in the folder of
// its code: "en"), and the one whose pages the help
// window, the addresses and the pages below are of: "de" until the program sets its own.
QStringList HelpLanguages();
void SetHelpLanguage(const QString& language);
QString HelpLanguage();

// The contexts that have a page, the page's address in the program's resource (empty for
// an unknown context), the context of a page address (-1 for none) and the page's HTML
// (empty for an unknown context). Context 0 is the contents page.
QList<int> HelpContexts();
QUrl HelpPageUrl(int context);
int HelpPageContext(const QUrl& url);
QString HelpPage(int context);
// The context of object or of its nearest parent with one; 0 when none has one.
int HelpContextOf(const QObject* object);

// Opens (or raises) the help window at the page of context; an unknown context shows
// the contents.
void ShowHelp(int context, QWidget* parent = nullptr);
void ShowHelpContents(QWidget* parent = nullptr);
// The help window while it exists, and the context it shows (for tests).
QWidget* HelpWindow();
int HelpWindowContext();

// Makes F1 open the help at the context of the focused control, in every window of the
// program and in open menus (the highlighted item's context, else the menu's).
void InstallHelpKey();

}  // namespace kelvora::platform
