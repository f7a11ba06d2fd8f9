// SPDX-License-Identifier: GPL-3.0-or-later
// Where the menus' items lie, for the end-to-end tests: with SOLVARI_TRACE
// set, an application-wide event filter writes a trace line for every item
// of a menu as the menu opens (at its first painting, when it is on the
// screen and takes the pointer), and for every item of a window's menu bar as
// the bar is shown or resized, so that a test clicks an item by its text
// instead of counting key presses:
//   "<ms> menu-item X Y W H TEXT"     on the screen, in device pixels
//   "<ms> menubar-item X Y W H TEXT"  in the window, in device pixels
// TEXT is the item's text as shown, '&' marks included. Without a trace
// nothing is installed.
#pragma once

#include <QObject>
#include <QSet>

class QApplication;

namespace solvari::app {

class CMenuTrace : public QObject {
 public:
  // Installs the filter on the application, which owns it, when the trace is on.
  static void InstallIfTracing(QApplication& app);

 protected:
  using QObject::QObject;

  bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

 private:
  QSet<const QObject*> m_opening;  // menus shown and not yet painted
};

}  // namespace solvari::app
