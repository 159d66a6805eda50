// SPDX-License-Identifier: MIT
// kelvora-sim's robot window and the main window of the program it starts, neither covering
// the other. They are two processes: the simulator places its window first, clear of where
// the main window opens by default, and hands the program its frame in the environment
// (KELVORA_SIM_WINDOW=x,y,width,height, screen pixels); the program opens clear of that.
#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>
#include <optional>
#include <string>

namespace kelvora::platform {

inline constexpr char kSimWindowVariable[] = "KELVORA_SIM_WINDOW";

// The main window as the program opens it without settings: its fixed size (the form's)
// at the settings' default Left and Top.
inline constexpr QSize kMainWindowSize{613, 451};
inline constexpr QPoint kMainWindowPlace{50, 50};

// What a window manager puts around a window, allowed for before the frame exists (a
// title bar and thin borders), and the gap left between the two windows.
inline constexpr QMargins kFrameAllowance{6, 36, 6, 6};
inline constexpr int kWindowGap = 8;

// The smallest the robot's drawing is drawn: below that its lamps and figures blur.
inline constexpr double kMinDrawingScale = 0.5;

// A window's frame, the allowance included, for content of `size` whose frame's top-left
// corner is at `at` (where QWidget::move puts a top-level window).
QRect PlannedFrame(QPoint at, QSize size);

struct SimWindowPlace {
  QRect frame;   // where the window goes: move() to its top-left corner
  double scale;  // of the drawing, 1 at full size
};

// The robot window's place on a screen whose free area is `screen`, beside or below the
// main window: beside it at its default place at full size where that fits; otherwise
// beside it or below it with the main window moved to the screen's edge, at the larger
// scale of the two. sizeAt(scale) is the window's content size with its drawing at that
// scale; it is asked for scales from 1 down to minScale (at least kMinDrawingScale).
SimWindowPlace PlaceSimWindow(QRect screen, double minScale,
                              const std::function<QSize(double)>& sizeAt);

// Where a window of content `size` wanted at `wanted` opens without meeting `area`, on
// `screen`: at `wanted` where its frame stays clear of the area, else at the nearest place
// left or right of it, above or below it, that is on the screen and clear; at `wanted`
// where there is none.
QPoint PlaceClearOf(QPoint wanted, QSize size, QRect area, QRect screen);

// The frame as the variable carries it, and back: nothing unless four integers with a
// positive width and height.
std::string FormatArea(QRect frame);
std::optional<QRect> ParseArea(const char* text);

// PlaceClearOf the robot window named in the environment, on the screen it is on; `wanted`
// when no robot window is named.
QPoint PlaceClearOfSimWindow(QPoint wanted, QSize size);

}  // namespace kelvora::platform
