// SPDX-License-Identifier: GPL-3.0-or-later
// One ring of a classic 3-D window edge, n pixels in from the widget's border:
// topLeft on the top and left sides, bottomRight on the bottom and right.
#pragma once

#include <QColor>
#include <QPainter>
#include <QSize>

namespace solvari::app {

inline void DrawEdgeRing(QPainter& painter, QSize size, int n, QColor topLeft, QColor bottomRight) {
  const int r = size.width() - 1;
  const int b = size.height() - 1;
  if (r - n < n || b - n < n) return;
  // Each side is a rectangle one pixel thick, the pixels of 1-pixel lines with
  // both end points: on a screen of twice the density it covers exactly two
  // screen pixels, never half of the client area's next one.
  painter.fillRect(n, n, r - 2 * n, 1, topLeft);
  painter.fillRect(n, n, 1, b - 2 * n, topLeft);
  painter.fillRect(n, b - n, r - 2 * n + 1, 1, bottomRight);
  painter.fillRect(r - n, n, 1, b - 2 * n + 1, bottomRight);
}

}  // namespace solvari::app
