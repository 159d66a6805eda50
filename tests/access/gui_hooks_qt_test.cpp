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
    ASSERT_EQ(&CurrentGuiHooks(), hooks);
    ASSERT_NE(hooks->Filter(), nullptr);
    hooks->Filter()->Reset();
    edit.show();
  }
  void TearDown() override {
    QtGuiHooks::SetPanelFactory(nullptr);
    SetGuiHooks(nullptr);
  }
  QtGuiHooks* hooks = nullptr;
  QLineEdit edit;
};

TEST_F(QtHooks, APressAndReleaseCountsOnceAtTheNextQuery) {
  EXPECT_FALSE(hooks->EscPressed());
  QTest::keyClick(&edit, Qt::Key_Escape);
  EXPECT_TRUE(hooks->EscPressed());   // pressed since the last query
  EXPECT_FALSE(hooks->EscPressed());  // reading cleared it, and it is up
}

TEST_F(QtHooks, AKeyHeldDownCountsAtEveryQuery) {
  QTest::keyPress(&edit, Qt::Key_Escape);
  EXPECT_TRUE(hooks->EscPressed());
  EXPECT_TRUE(hooks->EscPressed());
  EXPECT_TRUE(hooks->EscPressed());
  QTest::keyRelease(&edit, Qt::Key_Escape);
  EXPECT_FALSE(hooks->EscPressed());
}

TEST_F(QtHooks, AutoRepeatReleasesDoNotLiftTheKey) {
  QTest::keyPress(&edit, Qt::Key_Escape);
  QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier, QString(),
                          /*autorep=*/true);
  QApplication::sendEvent(&edit, &repeatRelease);
  EXPECT_TRUE(hooks->EscPressed());
  EXPECT_TRUE(hooks->EscPressed());
  QTest::keyRelease(&edit, Qt::Key_Escape);
  EXPECT_FALSE(hooks->EscPressed());
}

TEST_F(QtHooks, OtherKeysAreNotEsc) {
  QTest::keyClick(&edit, Qt::Key_Return);
  QTest::keyClick(&edit, Qt::Key_A);
  QTest::keyPress(&edit, Qt::Key_Space);
  EXPECT_FALSE(hooks->EscPressed());
  QTest::keyRelease(&edit, Qt::Key_Space);
}

TEST_F(QtHooks, LosingTheApplicationFocusLiftsAHeldKey) {
  // The release that happens in another program's window never reaches us.
  QTest::keyPress(&edit, Qt::Key_Escape);
  QApplicationStateChangeEvent inactive(Qt::ApplicationInactive);
  QApplication::sendEvent(qApp, &inactive);
  EXPECT_TRUE(hooks->EscPressed());  // the press itself still counts once
  EXPECT_FALSE(hooks->EscPressed());

  QTest::keyPress(&edit, Qt::Key_Escape);
  QEvent deactivate(QEvent::ApplicationDeactivate);
  QApplication::sendEvent(qApp, &deactivate);
  EXPECT_TRUE(hooks->EscPressed());
  EXPECT_FALSE(hooks->EscPressed());
}

TEST_F(QtHooks, ProcessMessagesRunsWhatIsWaiting) {
  int ran = 0;
  QTimer::singleShot(0, qApp, [&] { ++ran; });
  hooks->ProcessMessages();
  EXPECT_EQ(ran, 1);
}

TEST_F(QtHooks, PanelGoesThroughTheRegisteredFactory) {
  access::TBrelFace face;
  EXPECT_FALSE(hooks->ShowPanel(face, true, 1, 2));  // nothing registered

  access::TBrelFace* seen = nullptr;
  int left = 0, top = 0;
  bool modal = false;
  QtGuiHooks::SetPanelFactory([&](access::TBrelFace& f, bool m, int l, int t) {
    seen = &f;
    modal = m;
    left = l;
    top = t;
    return true;
  });
  EXPECT_TRUE(hooks->ShowPanel(face, true, 640, 60));
  EXPECT_EQ(seen, &face);
  EXPECT_TRUE(modal);
  EXPECT_EQ(left, 640);
  EXPECT_EQ(top, 60);
}

TEST_F(QtHooks, InstallingTwiceKeepsOneFilter) {
  EscKeyFilter* first = hooks->Filter();
  EXPECT_EQ(&InstallQtGuiHooks(), hooks);
  EXPECT_EQ(hooks->Filter(), first);
  QTest::keyClick(&edit, Qt::Key_Escape);
  EXPECT_TRUE(hooks->EscPressed());
  EXPECT_FALSE(hooks->EscPressed());
}

}  // namespace
}  // namespace kelvora::platform
