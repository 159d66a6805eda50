// SPDX-License-Identifier: MIT
// Where a top-level window opens: where it was asked to, unless no screen would show
// enough of its top edge to take hold of it there (a position stored on a larger screen,
// or on a second screen that is gone); then at the fallback place, or, where that is off
// every screen too, at the primary screen's top-left corner.
#pragma once

#include <QPoint>
#include <QSize>

namespace kelvora::platform {

QPoint PlaceOnScreen(QPoint wanted, QSize size, QPoint fallback);

}  // namespace kelvora::platform
