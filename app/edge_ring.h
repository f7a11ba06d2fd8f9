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
  painter.setPen(topLeft);
  painter.drawLine(n, n, r - n - 1, n);
  painter.drawLine(n, n, n, b - n - 1);
  painter.setPen(bottomRight);
  painter.drawLine(n, b - n, r - n, b - n);
  painter.drawLine(r - n, n, r - n, b - n);
}

}  // namespace solvari::app
