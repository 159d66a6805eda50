#include "settings/frm_about.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "settings/frm_dialog_common.h"

#ifndef KELVORA_VERSION
#define KELVORA_VERSION "5.1.0"
#endif

namespace kelvora::settings {

namespace {

QFont Px(int px, bool bold = false) {
  QFont f = DialogFont();
  f.setPixelSize(px);
  f.setBold(bold);
  return f;
}

}  // namespace

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("Kelvora : About"));
  setFont(DialogFont());
  setProperty("HelpContext", 12);
  setFixedSize(385, 253);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(24, 20, 32, 32);
  Image1->setAttribute(Qt::WA_TranslucentBackground);
  QIcon icon = QApplication::windowIcon();
  if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_ComputerIcon);
  Image1->setPixmap(icon.pixmap(32, 32));

  Label1 = new QLabel(QStringLiteral("KelvoraIn"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setFont(Px(27, true));
  Label1->setGeometry(72, 16, 290, 36);

  Label2 = new QLabel(QStringLiteral("Baukasten-Industrieroboter : TeachIn"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setFont(Px(16));
  Label2->setGeometry(24, 68, 337, 22);

  Label3 = new QLabel(this);
  Label3->setObjectName(QStringLiteral("Label3"));
  Label3->setAlignment(Qt::AlignCenter);
  Label3->setGeometry(8, 104, 369, 18);

  Label5 = new QLabel(this);
  Label5->setObjectName(QStringLiteral("Label5"));
  Label5->setAlignment(Qt::AlignCenter);
  Label5->setGeometry(8, 128, 369, 18);

  Label4 = new QLabel(DevelopmentToolLine(), this);
  Label4->setObjectName(QStringLiteral("Label4"));
  Label4->setAlignment(Qt::AlignCenter);
  Label4->setGeometry(8, 160, 369, 18);

  cmdEnde = new QPushButton(QStringLiteral("OK"), this);
  cmdEnde->setObjectName(QStringLiteral("cmdEnde"));
  cmdEnde->setGeometry(144, 200, 97, 29);
  connect(cmdEnde, &QPushButton::clicked, this, &TfrmAbout::cmdEndeClick);

  FormCreate();
}

QString TfrmAbout::DevelopmentToolLine() {
#if defined(__clang__)
  const QString compiler = QStringLiteral(__VERSION__);  // already names Clang
#elif defined(__GNUC__)
  const QString compiler = QStringLiteral("GCC " __VERSION__);
#else
  const QString compiler = QStringLiteral("C++");
#endif
  return QStringLiteral("Erstellt mit %1 und Qt %2").arg(compiler, QStringLiteral(QT_VERSION_STR));
}

QString TfrmAbout::VersionLine() {
  return QStringLiteral("Version " KELVORA_VERSION);
}

void TfrmAbout::FormCreate() {
  Label3->setText(QStringLiteral("Autor : Kelvora-Entwicklerteam"));
  Label5->setText(VersionLine());
}

void TfrmAbout::cmdEndeClick() {
  accept();
}

}  // namespace kelvora::settings
