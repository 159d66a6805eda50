// The program's application object: an error that escapes an event handler reaches the
// one top-level handler in notify, is shown, and the program goes on. Runs under the
// program's own application class, so this test brings its own main.
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/frm_main.h"
#include "app/kelvora_application_qt.h"

namespace kelvora::app {
namespace {

using ::testing::ElementsAre;

class RecordingPrompts : public Prompts {
 public:
  void Error(QWidget*, const QString& title, const QString& text) override {
    errors.push_back(title + QStringLiteral(" | ") + text);
  }
  void Info(QWidget*, const QString&, const QString&) override {}
  bool Question(QWidget*, const QString&, const QString&) override { return false; }
  QString OpenFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString SaveFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  std::vector<QString> errors;
};

// An event handler that fails: the kind of code the notify override stands behind.
class FailingWidget : public QWidget {
 public:
  int presses = 0;

 protected:
  void mousePressEvent(QMouseEvent*) override {
    ++presses;
    throw std::runtime_error("Datei /nirgends/DEMO.RB3 kann nicht geöffnet werden");
  }
};

TEST(KelvoraApplication, AnErrorEscapingAnEventIsShownOnceAndTheProgramGoesOn) {
  RecordingPrompts prompts;
  SetPrompts(&prompts);
  FailingWidget widget;
  widget.resize(50, 50);
  widget.show();
  QTest::mouseClick(&widget, Qt::LeftButton);
  QTest::mouseClick(&widget, Qt::LeftButton);
  EXPECT_EQ(widget.presses, 2);
  const QString shown = QStringLiteral(
      "Kelvora für Industrieroboter | Datei /nirgends/DEMO.RB3 kann nicht geöffnet werden.");
  EXPECT_THAT(prompts.errors, ElementsAre(shown, shown));
  SetPrompts(nullptr);
}

}  // namespace
}  // namespace kelvora::app

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  kelvora::app::KelvoraApplication app(argc, argv);
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
