// Solvari: recites the sutra with its voice and lights each character in time.
#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/reading_app.h"
#include "app/trace.h"

int main(int argc, char** argv) {
  solvari::app::CTrace::Init();
  solvari::app::CTrace::Event("main");
#if defined(__linux__)
  // Say so plainly when there is no display instead of Qt's abort.
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
      !std::getenv("QT_QPA_PLATFORM")) {
    std::fprintf(stderr,
                 "Solvari needs a graphical display: neither DISPLAY nor WAYLAND_DISPLAY is set.\n"
                 "Start it from a desktop session, or under Xvfb (xvfb-run ./Solvari).\n");
    return 1;
  }
#endif
  int nResult = 0;
  {
    solvari::app::CReadingApp app(argc, argv);
    if (!app.InitInstance()) return 1;
    nResult = app.Run();
    // The window has gone and the settings are written. Winding down waits
    // on the sound system's threads; whatever a sound server does then, the
    // program ends within a second.
    std::thread([nResult] {
      std::this_thread::sleep_for(std::chrono::milliseconds(800));
      std::fflush(nullptr);
      std::_Exit(nResult);
    }).detach();
  }
  return nResult;
}
