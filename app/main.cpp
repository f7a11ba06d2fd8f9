// SPDX-License-Identifier: GPL-3.0-or-later
// Solvari: recites the sutra with its voice and lights each character in time.
#include <cstdio>
#include <cstdlib>

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
  // The application, its frame and the sound devices end here, through
  // their destructors; none of them waits for a sound server.
  solvari::app::CReadingApp app(argc, argv);
  if (!app.InitInstance()) return 1;
  return app.Run();
}
