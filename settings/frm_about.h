// TfrmAbout: the about box with the program's name, version, author and the tools it was
// built with.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kelvora::settings {

class TfrmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmAbout(QWidget* parent);

  // "<compiler> <version>, Qt <version>" of this build.
  static QString DevelopmentToolLine();
  static QString VersionLine();

 public slots:
  void cmdEndeClick();

 private:
  void FormCreate();

  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;  // author
  QLabel* Label4 = nullptr;  // development tool
  QLabel* Label5 = nullptr;  // version
  QPushButton* cmdEnde = nullptr;
};

}  // namespace kelvora::settings
