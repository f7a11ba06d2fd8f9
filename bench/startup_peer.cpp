// SPDX-License-Identifier: GPL-3.0-or-later
// The floor of a start: a bare Qt Widgets window with a menu and a tool bar,
// of the program's size, and nothing else. At its first paint it prints
// "main MS" (when main began) and "first-paint MS RSS_KIB": milliseconds
// since the process started (as the program's trace counts them) and its
// resident memory; with --quit it then ends. bench/startup.py starts it and the program in turn.
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QTimer>
#include <QToolBar>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// Milliseconds since the process started, from its start time in
// /proc/self/stat (field 22, clock ticks since boot).
double ProcessAgeMs() {
  std::FILE* f = std::fopen("/proc/self/stat", "r");
  if (!f) return 0;
  char buf[1024];
  const std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  buf[n] = 0;
  const char* p = std::strrchr(buf, ')');
  if (!p) return 0;
  int nField = 2;
  for (++p; *p && nField < 22; ++p)
    if (*p == ' ') ++nField;
  const double dTicks = std::strtod(p, nullptr);
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  const double dNowMs = ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
  return dNowMs - dTicks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long ResidentKiB() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  long n = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, "VmRSS:", 6) == 0) n = std::strtol(line + 6, nullptr, 10);
  std::fclose(f);
  return n;
}

double g_dMainMs = 0;  // the process's age when main began

class CPage : public QWidget {
 public:
  explicit CPage(bool bQuit) : m_bQuit(bQuit) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter(this).fillRect(rect(), Qt::white);
    if (m_bDone) return;
    m_bDone = true;
    std::printf("main %.1f\nfirst-paint %.1f %ld\n", g_dMainMs, ProcessAgeMs(), ResidentKiB());
    std::fflush(stdout);
    if (m_bQuit) QTimer::singleShot(0, qApp, &QApplication::quit);
  }

 private:
  bool m_bQuit;
  bool m_bDone = false;
};

}  // namespace

int main(int argc, char** argv) {
  g_dMainMs = ProcessAgeMs();
  const bool bQuit = argc > 1 && std::strcmp(argv[1], "--quit") == 0;
  QApplication app(argc, argv);
  QMainWindow frame;
  for (const char* pszMenu : {"&File", "&Reading", "&Settings", "&Help"}) {
    QMenu* pMenu = frame.menuBar()->addMenu(QString::fromLatin1(pszMenu));
    pMenu->addAction(QStringLiteral("&Open..."));
    pMenu->addAction(QStringLiteral("E&xit"));
  }
  QToolBar* pBar = frame.addToolBar(QStringLiteral("Tools"));
  for (const char* pszTool : {"Start", "Stop", "Repeat", "Picture"})
    pBar->addAction(QString::fromLatin1(pszTool));
  frame.setCentralWidget(new CPage(bQuit));
  frame.resize(735, 520);
  frame.show();
  return app.exec();
}
