// SPDX-License-Identifier: MIT
// The program's application object: an error that escapes an event handler reaches the
// one top-level handler in notify, is shown, and the program goes on. Runs under the
// program's own application class, so this test brings its own main.
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <stdexcept>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/frm_main.h"

namespace kelvora::app {
namespace {

using ::testing::ElementsAre;

class RecordingPrompts : public Prompts {
 public:
  void Error(QWidget*, const QString& title, const QString& text) override {
    errors.push_back(title + " | " + text);
  }
  void Info(QWidget*, const QString&, const QString&) override {}
  bool Question(QWidget*, const QString&, const QString&) override { return false; }
  QString OpenFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString SaveFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  std::vector<QString> errors;
};

const QEvent::Type kFailingEvent = static_cast<QEvent::Type>(QEvent::User + 7);

// An event handler that fails: the kind of code the notify override stands behind. (The
// window's own handlers catch at the command already; this is the backstop. A plain event
// is used because Qt's input-event paths are not built to be unwound through.)
class FailingWidget : public QWidget {
 public:
  int calls = 0;

 protected:
  bool event(QEvent* e) override {
    if (e->type() != kFailingEvent) return QWidget::event(e);
    ++calls;
    throw std::runtime_error("Datei /nirgends/DEMO.RB3 kann nicht geöffnet werden");
  }
};

TEST(KelvoraApplication, AnErrorEscapingAnEventIsShownOnceAndTheProgramGoesOn) {
  RecordingPrompts prompts;
  SetPrompts(&prompts);
  FailingWidget widget;
  widget.resize(50, 50);
  widget.show();
  QEvent first(kFailingEvent);
  EXPECT_FALSE(QCoreApplication::sendEvent(&widget, &first));
  QCoreApplication::postEvent(&widget, new QEvent(kFailingEvent));
  QCoreApplication::processEvents();
  EXPECT_EQ(widget.calls, 2);
  const QString shown =
      "Kelvora für Industrieroboter | Datei /nirgends/DEMO.RB3 kann nicht geöffnet werden.";
  EXPECT_THAT(prompts.errors, ElementsAre(shown, shown));
  SetPrompts(nullptr);
}

}  // namespace
}  // namespace kelvora::app
