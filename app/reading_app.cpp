// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/reading_app.h"

#include <QFile>
#include <QIcon>

#include "app/main_frame.h"
#include "app/menu_trace.h"
#include "app/qt_profile_store.h"
#include "app/trace.h"
#include "core/exe_directory.h"

namespace solvari::app {

CReadingApp::CReadingApp(int& argc, char** argv) : m_app(argc, argv) {}

CReadingApp::~CReadingApp() {
  // The frame (and with it the voice device) goes before the settings.
  m_pFrame.reset();
  m_pProfile.reset();
}

bool CReadingApp::InitInstance() {
  // Where the settings live: "Orvell Craft" / "Kelvane".
  QCoreApplication::setOrganizationName(QString::fromUtf8(kOrganizationName));
  QCoreApplication::setApplicationName(QString::fromUtf8(kApplicationName));
  QApplication::setApplicationDisplayName(QString::fromUtf8(kApplicationName));
  // Every data file is found beside the executable.
  QString strDir = QCoreApplication::applicationDirPath();
  if (!strDir.endsWith(QLatin1Char('/'))) strDir += QLatin1Char('/');
  SetExeDirectory(strDir.toStdString());
  if (QFile::exists(QStringLiteral(":/solvari.png")))
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/solvari.png")));

  CTrace::Event("qt-ready", {CTrace::CpuMs()});
  CMenuTrace::InstallIfTracing(m_app);
  m_pProfile = std::make_unique<CQtProfileStore>();
  // The interface's language, before any text is made.
  m_language.Apply(ChosenLanguage(*m_pProfile));
  CTrace::Event(m_language.Current() == QLatin1String(kLanguageEnglish) ? "language-en"
                                                                        : "language-ja");
  FrameServices services;
  services.pProfile = m_pProfile.get();
  services.pLanguage = &m_language;
  m_pFrame = std::make_unique<CMainFrame>(std::move(services));
  CTrace::Event("frame-created", {CTrace::CpuMs()});
  // Shown in its normal size whatever the Maximized setting says.
  m_pFrame->showNormal();
  m_pFrame->repaint();
  CTrace::Event("frame-shown");
  return true;
}

int CReadingApp::Run() { return QApplication::exec(); }

}  // namespace solvari::app
