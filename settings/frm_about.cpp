// SPDX-License-Identifier: MIT
#include "settings/frm_about.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "platform/form_setup_qt.h"
#include "ui_frm_about.h"

#ifndef KELVORA_VERSION
#define KELVORA_VERSION "5.1.0"
#endif

namespace kelvora::settings {

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::TfrmAbout>()) {
  ui_->setupUi(this);
  platform::SetupFormData(this);

  // The program's icon, drawn on the dialog's own background.
  ui_->Image1->setAttribute(Qt::WA_TranslucentBackground);
  QIcon icon = QApplication::windowIcon();
  if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_ComputerIcon);
  ui_->Image1->setPixmap(icon.pixmap(32, 32));
  ui_->Label4->setText(DevelopmentToolLine());
  connect(ui_->cmdEnde, &QPushButton::clicked, this, &TfrmAbout::cmdEndeClick);

  FormCreate();
}

TfrmAbout::~TfrmAbout() = default;

QString TfrmAbout::DevelopmentToolLine() {
#if defined(__clang__)
  const QString compiler = QStringLiteral(__VERSION__);  // already names Clang
#elif defined(__GNUC__)
  const QString compiler = QStringLiteral("GCC " __VERSION__);
#else
  const QString compiler = QStringLiteral("C++");
#endif
  return tr("Erstellt mit %1 und Qt %2").arg(compiler, QStringLiteral(QT_VERSION_STR));
}

QString TfrmAbout::VersionLine() {
  return tr("Version %1").arg(QStringLiteral(KELVORA_VERSION));
}

void TfrmAbout::FormCreate() {
  ui_->Label3->setText(tr("Autor : Kelvora-Entwicklerteam"));
  ui_->Label5->setText(VersionLine());
}

void TfrmAbout::cmdEndeClick() {
  accept();
}

}  // namespace kelvora::settings
