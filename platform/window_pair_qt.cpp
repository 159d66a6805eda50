// SPDX-License-Identifier: MIT
#include "platform/window_pair_qt.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kelvora::platform {
namespace {

// The largest scale from 1 down to minScale at which the window's frame fits `room`, or 0.
double LargestFitting(QSize room, double minScale, const std::function<QSize(double)>& sizeAt) {
  for (int percent = 100; percent >= static_cast<int>(std::ceil(minScale * 100)); percent -= 2) {
    const double scale = percent / 100.0;
    const QSize frame = PlannedFrame(QPoint(), sizeAt(scale)).size();
    if (frame.width() <= room.width() && frame.height() <= room.height()) return scale;
  }
  return 0;
}

// `at` moved the least so that a frame of `size` lies inside `screen` where it can.
QPoint Within(QPoint at, QSize size, QRect screen) {
  return QPoint(std::max(screen.left(), std::min(at.x(), screen.right() + 1 - size.width())),
                std::max(screen.top(), std::min(at.y(), screen.bottom() + 1 - size.height())));
}

}  // namespace

QRect PlannedFrame(QPoint at, QSize size) {
  return QRect(at, size.grownBy(kFrameAllowance));
}

SimWindowPlace PlaceSimWindow(QRect screen, double minScale,
                              const std::function<QSize(double)>& sizeAt) {
  minScale = std::clamp(minScale, kMinDrawingScale, 1.0);
  struct Layout {
    QRect room;  // where the robot window's frame may go
    QPoint at;   // where it goes then, before it is kept within the room
  };
  // Beside the main window at its default place; beside it at the screen's left edge;
  // below it at the screen's top edge. The first wins at full size, else the larger scale.
  const QRect atDefault = PlannedFrame(kMainWindowPlace, kMainWindowSize);
  const QRect atLeft = PlannedFrame(QPoint(screen.left(), kMainWindowPlace.y()), kMainWindowSize);
  const QRect atTop = PlannedFrame(QPoint(kMainWindowPlace.x(), screen.top()), kMainWindowSize);
  const auto besideOf = [&screen](const QRect& main) {
    const QRect room(QPoint(main.right() + 1 + kWindowGap, screen.top()), screen.bottomRight());
    return Layout{room, QPoint(room.left(), main.top())};
  };
  const QRect below(QPoint(screen.left(), atTop.bottom() + 1 + kWindowGap), screen.bottomRight());
  const Layout layouts[] = {besideOf(atDefault), besideOf(atLeft),
                            Layout{below, QPoint(atTop.left(), below.top())}};

  const Layout* best = &layouts[1];
  double bestScale = 0;
  for (const Layout& layout : layouts) {
    const double scale =
        layout.room.isValid() ? LargestFitting(layout.room.size(), minScale, sizeAt) : 0;
    if (scale > bestScale) {
      best = &layout;
      bestScale = scale;
    }
    if (scale >= 1) break;
  }
  // A screen too small for any: the smallest drawing beside the main window at the edge,
  // kept on the screen as far as it goes.
  if (bestScale == 0) bestScale = minScale;
  const QSize frame = PlannedFrame(QPoint(), sizeAt(bestScale)).size();
  const QRect room = best->room.isValid() ? best->room : screen;
  return {QRect(Within(best->at, frame, room), frame), bestScale};
}

QPoint PlaceClearOf(QPoint wanted, QSize size, QRect area, QRect screen) {
  const QRect frame = PlannedFrame(wanted, size);
  if (!frame.intersects(area)) return wanted;
  const int w = frame.width(), h = frame.height();
  const auto clampY = [&](int y) {
    return std::max(screen.top(), std::min(y, screen.bottom() + 1 - h));
  };
  const auto clampX = [&](int x) {
    return std::max(screen.left(), std::min(x, screen.right() + 1 - w));
  };
  const QPoint candidates[] = {
      {area.left() - kWindowGap - w, clampY(wanted.y())},    // left of it
      {area.right() + 1 + kWindowGap, clampY(wanted.y())},   // right of it
      {clampX(wanted.x()), area.top() - kWindowGap - h},     // above it
      {clampX(wanted.x()), area.bottom() + 1 + kWindowGap},  // below it
  };
  QPoint best = wanted;
  int bestDistance = -1;
  for (const QPoint& at : candidates) {
    const QRect moved(at, frame.size());
    if (!screen.contains(moved) || moved.intersects(area)) continue;
    const int distance = (at - wanted).manhattanLength();
    if (bestDistance < 0 || distance < bestDistance) {
      best = at;
      bestDistance = distance;
    }
  }
  return best;
}

std::string FormatArea(QRect frame) {
  return std::to_string(frame.x()) + ',' + std::to_string(frame.y()) + ',' +
         std::to_string(frame.width()) + ',' + std::to_string(frame.height());
}

std::optional<QRect> ParseArea(const char* text) {
  if (text == nullptr) return std::nullopt;
  const char* p = text;
  const char* end = text + std::strlen(text);
  int v[4];
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && (p == end || *p++ != ',')) return std::nullopt;
    const auto [next, error] = std::from_chars(p, end, v[i]);
    if (error != std::errc()) return std::nullopt;
    p = next;
  }
  if (p != end || v[2] <= 0 || v[3] <= 0) return std::nullopt;
  return QRect(v[0], v[1], v[2], v[3]);
}

QPoint PlaceClearOfSimWindow(QPoint wanted, QSize size) {
  const std::optional<QRect> area = ParseArea(std::getenv(kSimWindowVariable));
  if (!area) return wanted;
  const QScreen* screen = QGuiApplication::screenAt(area->center());
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return wanted;
  return PlaceClearOf(wanted, size, *area, screen->availableGeometry());
}

}  // namespace kelvora::platform
