// SPDX-License-Identifier: MIT
// The "InterfacePanel" button of the main window, on the virtual box: each press makes a
// new modal panel owned by the main window, at the window's right edge.
#include <QPushButton>
#include <QTimer>
#include <memory>

#include <gmock/gmock.h>

#include "access/frm_panel.h"
#include "app/frm_main.h"
#include "platform/gui_hooks_qt.h"
#include "sim/virtual_rig.h"
#include "tests/settings/test_dir.h"
#include "tests/support/window_controls.h"

namespace kelvora::testing {
namespace {

TEST(PanelFromMainWindowTest, InterfaceButtonOpensANewOwnedPanelEachTime) {
  TestDir dir;
  sim::VirtualRig rig;
  platform::InstallQtGuiHooks();
  {
    app::TfrmMain main(nullptr, dir.Path());
    main.show();
    app::ControlOf<QPushButton>(main, "cmdAction")->click();  // "EIN" on COM1, the virtual box
    ASSERT_EQ(main.PrgModus(), 2);
    ASSERT_TRUE(app::ControlOf<QPushButton>(main, "cmdInterface")->isEnabled());

    int shown = 0;
    auto closeWhenUp = [&] {
      auto* panel = qobject_cast<access::TfrmPanel*>(main.Robot()->Panel);
      ASSERT_NE(panel, nullptr);
      EXPECT_EQ(panel->parent(), &main);
      EXPECT_TRUE(panel->isModal());
      EXPECT_TRUE(main.Robot()->PanelShown);
      const QRect m = main.frameGeometry();
      EXPECT_EQ(panel->frameGeometry().topLeft(), QPoint(m.left() + m.width() - 360, m.top() + 60));
      EXPECT_EQ(panel->width(), 330);  // no extension module for Rob3
      ++shown;
      panel->findChild<QPushButton*>("cmdEnde")->click();
    };
    QTimer::singleShot(0, closeWhenUp);
    app::ControlOf<QPushButton>(main, "cmdInterface")->click();
    QTimer::singleShot(0, closeWhenUp);
    app::ControlOf<QPushButton>(main, "cmdInterface")->click();
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(main.findChildren<access::TfrmPanel*>().size(), 2);
    EXPECT_FALSE(main.Robot()->PanelShown);
    main.close();
  }
  platform::SetGuiHooks(nullptr);
}

}  // namespace
}  // namespace kelvora::testing
