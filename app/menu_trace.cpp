// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/menu_trace.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <cmath>

#include "app/trace.h"

namespace solvari::app {

namespace {

// One item: its rectangle scaled to device pixels, then its text.
void TraceItem(const char* pszEvent, const QWidget& widget, QPoint topLeft, QSize size,
               const QAction& action) {
  const double dRatio = widget.devicePixelRatioF();
  const auto px = [dRatio](int v) { return std::lround(v * dRatio); };
  CTrace::EventText(pszEvent,
                    {px(topLeft.x()), px(topLeft.y()), px(size.width()), px(size.height())},
                    action.text().toUtf8().constData());
}

}  // namespace

void CMenuTrace::InstallIfTracing(QApplication& app) {
  if (!CTrace::Enabled()) return;
  app.installEventFilter(new CMenuTrace(&app));
}

bool CMenuTrace::eventFilter(QObject* pWatched, QEvent* pEvent) {
  const QEvent::Type type = pEvent->type();
  if (type != QEvent::Show && type != QEvent::Hide && type != QEvent::Paint &&
      type != QEvent::Resize)
    return false;
  if (auto* pMenu = qobject_cast<QMenu*>(pWatched)) {
    if (type == QEvent::Show) m_opening.insert(pMenu);
    if (type == QEvent::Hide) m_opening.remove(pMenu);
    // Painted, the menu is on the screen: a click there reaches it.
    if (type != QEvent::Paint || !m_opening.remove(pMenu)) return false;
    for (QAction* pAction : pMenu->actions()) {
      if (pAction->isSeparator() || !pAction->isVisible()) continue;
      const QRect rect = pMenu->actionGeometry(pAction);
      TraceItem("menu-item", *pMenu, pMenu->mapToGlobal(rect.topLeft()), rect.size(), *pAction);
    }
  } else if (auto* pBar = qobject_cast<QMenuBar*>(pWatched);
             pBar && pBar->isVisible() && (type == QEvent::Show || type == QEvent::Resize)) {
    for (QAction* pAction : pBar->actions()) {
      if (pAction->isSeparator() || !pAction->isVisible()) continue;
      const QRect rect = pBar->actionGeometry(pAction);
      TraceItem("menubar-item", *pBar, pBar->mapTo(pBar->window(), rect.topLeft()), rect.size(),
                *pAction);
    }
  }
  return false;
}

}  // namespace solvari::app
