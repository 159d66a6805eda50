// SPDX-License-Identifier: MIT
// The Qt GUI hooks: the Esc state as the abort test reads it, the message pump and the
// panel factory, driven by real key events on a widget.
#include <gtest/gtest.h>

#include <QApplication>
#include <QApplicationStateChangeEvent>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "access/brel_face.h"
#include "platform/gui_hooks_qt.h"

namespace kelvora::platform {
namespace {

class QtHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    hooks = &InstallQtGuiHooks();
    ASSERT_EQ(&InstallQtGuiHooks(), hooks);  // installing twice keeps one filter
    ASSERT_EQ(&CurrentGuiHooks(), hooks);
    hooks->Filter()->Reset();
    edit.show();
  }
  void TearDown() override {
    QtGuiHooks::SetPanelFactory(nullptr);
    SetGuiHooks(nullptr);
  }
  // What the next queries answer.
  std::vector<bool> Queries(int n) {
    std::vector<bool> r;
    for (int i = 0; i < n; ++i) r.push_back(hooks->EscPressed());
    return r;
  }
  QtGuiHooks* hooks = nullptr;
  QLineEdit edit;
};

TEST_F(QtHooks, EscCountsWhileDownAndOnceAfterAPressSinceTheLastQuery) {
  QTest::keyClick(&edit, Qt::Key_Return);
  QTest::keyClick(&edit, Qt::Key_A);
  EXPECT_EQ(Queries(1), std::vector<bool>({false}));
  QTest::keyClick(&edit, Qt::Key_Escape);
  EXPECT_EQ(Queries(2), std::vector<bool>({true, false}));

  QTest::keyPress(&edit, Qt::Key_Escape);
  QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier, QString(),
                          /*autorep=*/true);
  QApplication::sendEvent(&edit, &repeatRelease);  // auto-repeat does not lift the key
  EXPECT_EQ(Queries(3), std::vector<bool>({true, true, true}));
  QTest::keyRelease(&edit, Qt::Key_Escape);
  EXPECT_EQ(Queries(1), std::vector<bool>({false}));
}

TEST_F(QtHooks, AStartingCommandForgetsAnEarlierPressButNotAHeldKey) {
  QTest::keyClick(&edit, Qt::Key_Escape);
  hooks->ForgetEscPress();
  EXPECT_EQ(Queries(1), std::vector<bool>({false}));

  QTest::keyPress(&edit, Qt::Key_Escape);  // still held when the command starts
  hooks->ForgetEscPress();
  EXPECT_EQ(Queries(1), std::vector<bool>({true}));
  QTest::keyRelease(&edit, Qt::Key_Escape);
  EXPECT_EQ(Queries(1), std::vector<bool>({false}));
}

TEST_F(QtHooks, LosingTheApplicationFocusLiftsAHeldKey) {
  // The release that happens in another program's window never reaches us.
  QTest::keyPress(&edit, Qt::Key_Escape);
  QApplicationStateChangeEvent inactive(Qt::ApplicationInactive);
  QApplication::sendEvent(qApp, &inactive);
  EXPECT_EQ(Queries(2), std::vector<bool>({true, false}));  // the press still counts once

  QTest::keyPress(&edit, Qt::Key_Escape);
  QEvent deactivate(QEvent::ApplicationDeactivate);
  QApplication::sendEvent(qApp, &deactivate);
  EXPECT_EQ(Queries(2), std::vector<bool>({true, false}));
}

TEST_F(QtHooks, MessagesRunAndThePanelGoesThroughTheRegisteredFactory) {
  int ran = 0;
  QTimer::singleShot(0, qApp, [&] { ++ran; });
  hooks->ProcessMessages();
  EXPECT_EQ(ran, 1);

  access::TBrelFace face;
  EXPECT_FALSE(hooks->ShowPanel(face, true, 1, 2));  // nothing registered
  std::vector<int> seen;
  QtGuiHooks::SetPanelFactory([&](access::TBrelFace& f, bool m, int l, int t) {
    seen = {&f == &face, m, l, t};
    return true;
  });
  EXPECT_TRUE(hooks->ShowPanel(face, true, 640, 60));
  EXPECT_EQ(seen, std::vector<int>({1, 1, 640, 60}));
}

}  // namespace
}  // namespace kelvora::platform
