// SPDX-License-Identifier: MIT
// TfrmAbout: the about box with the program's name, version, author and the tools it was
// built with.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfrmAbout;
}  // namespace Ui

namespace kelvora::settings {

class TfrmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmAbout(QWidget* parent);
  ~TfrmAbout() override;

  // "<compiler> <version>, Qt <version>" of this build.
  static QString DevelopmentToolLine();
  static QString VersionLine();

 public slots:
  void cmdEndeClick();

 private:
  void FormCreate();

  // The form's widgets, reached by their object names.
  std::unique_ptr<Ui::TfrmAbout> ui_;
};

}  // namespace kelvora::settings
