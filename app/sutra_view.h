// SPDX-License-Identifier: GPL-3.0-or-later
// The sutra view's window: a QWidget that owns the picture of its client area
// (the painting logic of render/ draws into it) inside a sunken 2-pixel edge.
// The full painting runs when the view is invalidated, resized or first
// shown; any other repaint only shows the picture. The column operations of a
// recitation draw at once and ask Qt to show the rectangle they changed.
#pragma once

#include <QWidget>
#include <functional>

#include "core/sequencer_platform.h"
#include "render/sutra_view.h"

class QPainter;

namespace solvari::app {

class CSutraView : public QWidget, public IReadingView {
 public:
  static constexpr int kEdge = 2;  // the sunken edge on each side

  CSutraView(const ISutraViewHost& host, QWidget* pParent = nullptr);

  // IReadingView
  int ColumnsPerPage() override;
  void EraseColumn(int nPhrase) override;
  void DrawColumn(int nPhrase) override;
  void HighlightChar(int nPhrase, int nChar) override;
  void InvalidateView() override;

  // The client area inside the edge, in the widget's (device-independent)
  // pixels.
  QSize ClientSize() const;
  // The scale the view paints at: 2 on a screen of twice the density or more
  // (a device pixel ratio from 1.5 on), else 1. The surface has the client
  // size times the scale.
  int Scale() const;
  // The client area's pixels as they are now (0xFFRRGGBB), at the scale.
  const CSurface& Surface() const { return m_painter.Surface(); }
  bool IsFullPaintPending() const { return m_bFullPaint; }
  int FullPaintCount() const { return m_nFullPaints; }

  // Pointing at a phrase in the overview while no recitation runs: the
  // cursor becomes a pointing hand over its characters, and a left click
  // there calls fn with the phrase.
  void SetPhraseClickHandler(std::function<void(int)> fn) { m_onPhraseClicked = std::move(fn); }
  // The phrase under widget point pt that a click would start, or -1.
  int PhraseAt(const QPoint& pt) const;
  // Sets the cursor for the point the mouse is at now (also after a change
  // of state, when the mouse has not moved).
  void UpdateCursor();

 protected:
  void paintEvent(QPaintEvent* pEvent) override;
  void resizeEvent(QResizeEvent* pEvent) override;
  void showEvent(QShowEvent* pEvent) override;
  void mouseMoveEvent(QMouseEvent* pEvent) override;
  void mousePressEvent(QMouseEvent* pEvent) override;
  void leaveEvent(QEvent* pEvent) override;

 private:
  void OnChanged(const Rect& rc);
  // Gives the painter the client size and scale of the moment; true when
  // they changed.
  bool SyncClientSize();
  void DrawEdge(QPainter& painter);
  void SetCursorFor(const QPoint& pt);

  const ISutraViewHost& m_host;
  std::function<void(int)> m_onPhraseClicked;

  solvari::CSutraView m_painter;
  bool m_bFullPaint = true;
  bool m_bInPaint = false;
  bool m_bFirstPaintTraced = false;
  int m_nFullPaints = 0;
};

}  // namespace solvari::app
