// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: prepares Qt, names where the settings live,
// creates the main frame and shows it, and runs the program.
#pragma once

#include <QApplication>
#include <memory>

#include "app/language.h"

namespace solvari::app {

class CMainFrame;
class CQtProfileStore;

class CReadingApp {
 public:
  CReadingApp(int& argc, char** argv);
  ~CReadingApp();

  // Creates and shows the main frame; true when the program can run.
  bool InitInstance();
  // The message loop; returns the exit code.
  int Run();

  CMainFrame* MainFrame() const { return m_pFrame.get(); }

 private:
  QApplication m_app;
  CLanguage m_language;  // after the application, before the frame
  std::unique_ptr<CQtProfileStore> m_pProfile;
  std::unique_ptr<CMainFrame> m_pFrame;
};

}  // namespace solvari::app
