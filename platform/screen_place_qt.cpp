// SPDX-License-Identifier: MIT
#include "platform/screen_place_qt.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <algorithm>

namespace kelvora::platform {

namespace {

// A strip along the window's top edge, where its title bar is: enough of it on one
// screen to grab it with the mouse.
constexpr int kGripHeight = 20;
constexpr int kGripWidth = 100;

bool Reachable(QPoint at, QSize size) {
  const QRect strip(at, QSize(std::max(size.width(), 1), kGripHeight));
  const int width = std::min(kGripWidth, strip.width());
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect shown = strip & screen->availableGeometry();
    if (shown.width() >= width && shown.height() >= kGripHeight) return true;
  }
  return false;
}

}  // namespace

QPoint PlaceOnScreen(QPoint wanted, QSize size, QPoint fallback) {
  const QScreen* primary = QGuiApplication::primaryScreen();
  if (primary == nullptr || Reachable(wanted, size)) return wanted;
  if (Reachable(fallback, size)) return fallback;
  return primary->availableGeometry().topLeft();
}

}  // namespace kelvora::platform
