// Where the menus' items lie, for the end-to-end tests: with SOLVARI_TRACE
// set, an application-wide event filter writes a trace line for every item
// of a menu as the menu opens, and for every item of a window's menu bar as
// the bar is shown or resized, so that a test clicks an item by its text
// instead of counting key presses:
//   "<ms> menu-item X Y W H TEXT"     on the screen, in device pixels
//   "<ms> menubar-item X Y W H TEXT"  in the window, in device pixels
// TEXT is the item's text as shown, '&' marks included. Without a trace
// nothing is installed.
#pragma once

#include <QObject>

class QApplication;

namespace solvari::app {

class CMenuTrace : public QObject {
 public:
  // Installs the filter on the application when the trace is on.
  static void InstallIfTracing(QApplication& app);

 protected:
  bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
};

}  // namespace solvari::app
