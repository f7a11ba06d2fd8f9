// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/sutra_view.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "app/edge_ring.h"
#include "app/trace.h"
#include "core/reading_state.h"
#include "render/view_scale.h"
#include "res/resources.h"

namespace solvari::app {

namespace {

DibBytes FindResourceBytes(int nId) {
  const ResourceBlob blob = FindBitmapResource(nId);
  if (blob.data == nullptr) return {};
  return DibBytes(blob.data, blob.size);
}

}  // namespace

CSutraView::CSutraView(const ISutraViewHost& host, QWidget* pParent)
    : QWidget(pParent), m_host(host), m_painter(host, &FindResourceBytes) {
  // The view paints every pixel itself: nothing erases it first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::ArrowCursor);
  setMouseTracking(true);  // the cursor shows which phrase a click starts
  m_painter.SetChangedCallback([this](const Rect& rc) { OnChanged(rc); });
}

QSize CSutraView::ClientSize() const {
  return {std::max(0, width() - 2 * kEdge), std::max(0, height() - 2 * kEdge)};
}

int CSutraView::Scale() const { return ViewScaleForRatio(devicePixelRatioF()); }

bool CSutraView::SyncClientSize() {
  const QSize size = ClientSize();
  const int nScale = Scale();
  const Rect rc = m_painter.GetClientRect();
  if (rc.Width() == size.width() * nScale && rc.Height() == size.height() * nScale &&
      m_painter.Scale() == nScale)
    return false;
  m_painter.SetClientSize(size.width() * nScale, size.height() * nScale, nScale);
  return true;
}

int CSutraView::ColumnsPerPage() { return m_painter.ColumnsPerPage(); }

void CSutraView::EraseColumn(int nPhrase) { m_painter.EraseColumn(nPhrase); }

void CSutraView::DrawColumn(int nPhrase) { m_painter.DrawColumn(nPhrase); }

void CSutraView::HighlightChar(int nPhrase, int nChar) {
  m_painter.HighlightChar(nPhrase, nChar);
  CTrace::Event("highlight", {nPhrase, nChar});
}

void CSutraView::InvalidateView() {
  m_bFullPaint = true;
  update();
}

void CSutraView::OnChanged(const Rect& rc) {
  if (m_bInPaint || rc.IsEmpty()) return;
  // Surface pixels to widget pixels, rounded outwards.
  const int s = m_painter.Scale();
  const int left = rc.left / s, top = rc.top / s;
  const int right = (rc.right + s - 1) / s, bottom = (rc.bottom + s - 1) / s;
  update(QRect(left + kEdge, top + kEdge, right - left, bottom - top));
}

void CSutraView::resizeEvent(QResizeEvent* pEvent) {
  QWidget::resizeEvent(pEvent);
  SyncClientSize();
  m_bFullPaint = true;
}

void CSutraView::showEvent(QShowEvent* pEvent) {
  QWidget::showEvent(pEvent);
  if (!pEvent->spontaneous() && SyncClientSize()) m_bFullPaint = true;
}

void CSutraView::paintEvent(QPaintEvent* pEvent) {
  // Moved to a screen of another density: painted afresh at its scale.
  if (SyncClientSize()) m_bFullPaint = true;
  if (m_bFullPaint) {
    m_bFullPaint = false;
    m_bInPaint = true;
    m_painter.OnPaint();
    m_bInPaint = false;
    ++m_nFullPaints;
  }
  QPainter painter(this);
  const CSurface& surface = m_painter.Surface();
  if (surface.Width() > 0 && surface.Height() > 0) {
    const int s = m_painter.Scale();
    QImage image(reinterpret_cast<const uchar*>(surface.Bits()), surface.Width(), surface.Height(),
                 surface.BytesPerLine(), QImage::Format_RGB32);
    image.setDevicePixelRatio(s);
    const QRect target = pEvent->rect().intersected(
        QRect(QPoint(kEdge, kEdge), QSize(surface.Width() / s, surface.Height() / s)));
    if (!target.isEmpty()) {
      const QRect source = target.translated(-kEdge, -kEdge);
      painter.drawImage(
          target, image,
          QRect(source.x() * s, source.y() * s, source.width() * s, source.height() * s));
    }
  }
  DrawEdge(painter);
  if (!m_bFirstPaintTraced) {
    m_bFirstPaintTraced = true;
    CTrace::Event("first-paint", {CTrace::CpuMs(), CTrace::ResidentKiB()});
  }
}

int CSutraView::PhraseAt(const QPoint& pt) const {
  if (m_host.GetReadingState() != Idle || !m_onPhraseClicked) return -1;
  // Only what the overview shows is pointed at: it is clipped to the client area.
  const QSize client = ClientSize();
  const int x = pt.x() - kEdge;
  const int y = pt.y() - kEdge;
  if (y >= client.height()) return -1;
  return solvari::CSutraView::OverviewPhraseAt(client.width(), x, y);
}

void CSutraView::SetCursorFor(const QPoint& pt) {
  const Qt::CursorShape shape = PhraseAt(pt) >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor;
  if (cursor().shape() != shape) setCursor(shape);
}

void CSutraView::UpdateCursor() {
  const QPoint pt = mapFromGlobal(QCursor::pos());
  SetCursorFor(rect().contains(pt) ? pt : QPoint(-1, -1));
}

void CSutraView::mouseMoveEvent(QMouseEvent* pEvent) {
  SetCursorFor(pEvent->position().toPoint());
  QWidget::mouseMoveEvent(pEvent);
}

void CSutraView::mousePressEvent(QMouseEvent* pEvent) {
  if (pEvent->button() == Qt::LeftButton) {
    const int nPhrase = PhraseAt(pEvent->position().toPoint());
    if (nPhrase >= 0) {
      setCursor(Qt::ArrowCursor);
      m_onPhraseClicked(nPhrase);
      return;
    }
  }
  QWidget::mousePressEvent(pEvent);
}

void CSutraView::leaveEvent(QEvent* pEvent) {
  if (cursor().shape() != Qt::ArrowCursor) setCursor(Qt::ArrowCursor);
  QWidget::leaveEvent(pEvent);
}

// The sunken client edge: a grey and white outer ring, a black and light grey
// inner ring.
void CSutraView::DrawEdge(QPainter& painter) {
  DrawEdgeRing(painter, size(), 0, QColor(128, 128, 128), QColor(255, 255, 255));
  DrawEdgeRing(painter, size(), 1, QColor(0, 0, 0), QColor(192, 192, 192));
}

}  // namespace solvari::app
