// SPDX-License-Identifier: MIT
// Settings read from a scratch folder, and QTest helpers that drive the dialogs' controls the
// way a user does.
#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTest>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "access/brel_mot_list.h"
#include "platform/profile.h"
#include "settings/frm_dialog_common.h"
#include "settings/program_settings.h"
#include "settings/settings.h"
#include "tests/settings/test_dir.h"

namespace kelvora::testing {

// Catches every "Fehler" box for the rig's life.
class ErrorBoxCatcher {
 public:
  ErrorBoxCatcher() {
    old_ = settings::SetErrorBoxHook([this](QWidget*, const QString& text) { texts << text; });
  }
  ~ErrorBoxCatcher() { settings::SetErrorBoxHook(std::move(old_)); }
  QStringList texts;

 private:
  settings::ErrorBoxHook old_;
};

// The settings as the main window has them when the dialogs are created.
struct SettingsRig {
  TestDir dir;
  settings::ProgramSettings s;
  access::TBrelMotList axes;
  std::unique_ptr<platform::ProfileFile> file;

  // ini: the settings file's text (UTF-8; stored in code page 1252); empty for no file.
  explicit SettingsRig(const std::string& ini = std::string()) {
    s.ProgDir = dir.Path();
    if (!ini.empty()) WriteBytes(dir.File("Kelvora.INI"), platform::Utf8ToCp1252(ini));
    file = std::make_unique<platform::ProfileFile>(settings::SettingsPath(s));
    settings::ReadSettings(s, axes, *file);
    settings::ConfigureAxes(s, axes);
  }
  int32_t Max(int axis) const { return axes.GetPos(axis, access::mcMaximum); }
};

// Chooses an item from the open drop-down list, as a user does: the list is opened, the
// item highlighted and taken with Enter, so the combo box reports it as picked and no
// other item passes on the way.
inline void Pick(QComboBox* box, const QString& text) {
  const int index = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  ASSERT_NE(index, -1) << text.toStdString();
  box->showPopup();
  QAbstractItemView* view = box->view();
  view->setCurrentIndex(box->model()->index(index, 0));
  QTest::keyClick(view, Qt::Key_Return);
  ASSERT_EQ(box->currentText(), text);
  ASSERT_FALSE(view->isVisible());
}

// Replaces the field's text by typing.
inline void Type(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

inline void Click(QPushButton* b) {
  QTest::mouseClick(b, Qt::LeftButton);
}

// The names of `from` and the next n controls that take the focus.
inline QStringList TabOrder(QWidget* from, int n) {
  QStringList names{from->objectName()};
  for (QWidget* w = from; names.size() <= n; names << w->objectName()) {
    do w = w->nextInFocusChain();
    while (w->focusPolicy() == Qt::NoFocus);
  }
  return names;
}

}  // namespace kelvora::testing
