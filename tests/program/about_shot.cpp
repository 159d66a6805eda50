// SPDX-License-Identifier: MIT
// Renders the about box as the program shows it (its icon included) into a PNG, for the
// README: about_shot OUTPUT.png. Run by scripts/screenshot-about.
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "app/kelvora_application_qt.h"
#include "settings/frm_about.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("Usage: about_shot OUTPUT.png\n", stderr);
    return 2;
  }
  kelvora::app::KelvoraApplication app(argc, argv);
  kelvora::settings::TfrmAbout about(nullptr);
  about.show();
  QApplication::processEvents();
  return about.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
