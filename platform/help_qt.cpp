// SPDX-License-Identifier: MIT
#include "platform/help_qt.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariant>

namespace kelvora::platform {

namespace {

class HelpBrowser final : public QTextBrowser {
 public:
  explicit HelpBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
      // Links between pages are relative to the page shown.
      const int context = HelpPageContext(source().resolved(url));
      if (context >= 0) Show(context);
    });
  }
  void Show(int context) {
    QUrl url = HelpPageUrl(context);
    if (url.isEmpty()) {
      context = 0;
      url = HelpPageUrl(0);
    }
    context_ = context;
    setSource(url);
  }
  int Context() const { return context_; }

 protected:
  QVariant loadResource(int type, const QUrl& name) override {
    QVariant data = QTextBrowser::loadResource(type, name);
    // A page file ends with a line break; after </html> it would only add a blank to the
    // page's last paragraph.
    if (type == QTextDocument::HtmlResource && data.typeId() == QMetaType::QByteArray)
      return data.toByteArray().trimmed();
    return data;
  }

 private:
  int context_ = 0;
};

class HelpWindowWidget final : public QWidget {
 public:
  HelpWindowWidget() : QWidget(nullptr, Qt::Window) {
    setObjectName(QStringLiteral("frmHilfe"));
    setWindowTitle(QCoreApplication::translate("Help", "Kelvora : Hilfe"));
    setAttribute(Qt::WA_DeleteOnClose);
    // An open help window does not keep the program running once its main window closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(560, 520);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    browser = new HelpBrowser(this);
    browser->setObjectName(QStringLiteral("txtHilfe"));
    layout->addWidget(browser);
  }
  HelpBrowser* browser;
};

QPointer<HelpWindowWidget> gHelpWindow;

class HelpKeyFilter final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) return false;
    int context = 0;
    if (auto* menu = qobject_cast<QMenu*>(watched)) {
      if (QAction* action = menu->activeAction())
        context = action->property(kHelpContextProperty).toInt();
      if (context == 0) context = HelpContextOf(menu);
    } else if (QWidget* focus = QApplication::focusWidget()) {
      context = HelpContextOf(focus);
    } else {
      context = HelpContextOf(watched);
    }
    ShowHelp(context, nullptr);
    return true;  // handled once, not again by the parents
  }
};

}  // namespace

int HelpContextOf(const QObject* object) {
  for (const QObject* o = object; o; o = o->parent()) {
    const int context = o->property(kHelpContextProperty).toInt();
    if (context > 0) return context;
  }
  return 0;
}

void ShowHelp(int context, QWidget* /*parent*/) {
  // The help window is a window of its own; it stays open beside the program.
  if (!gHelpWindow) gHelpWindow = new HelpWindowWidget();
  gHelpWindow->browser->Show(context);
  gHelpWindow->show();
  gHelpWindow->raise();
  gHelpWindow->activateWindow();
}

void ShowHelpContents(QWidget* parent) {
  ShowHelp(0, parent);
}

QWidget* HelpWindow() {
  return gHelpWindow.data();
}

int HelpWindowContext() {
  return gHelpWindow ? gHelpWindow->browser->Context() : -1;
}

void InstallHelpKey() {
  static QPointer<HelpKeyFilter> filter;
  if (filter || !qApp) return;
  filter = new HelpKeyFilter(qApp);
  qApp->installEventFilter(filter);
}

}  // namespace kelvora::platform
