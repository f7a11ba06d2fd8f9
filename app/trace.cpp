// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/trace.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace solvari::app {

namespace {

std::FILE* g_pFile = nullptr;
bool g_bInit = false;
double g_dStartOffsetMs = 0;  // process start to the monotonic origin below
QElapsedTimer g_clock;

// Milliseconds the process had already run when Init was called.
double ProcessAgeMs() {
#if defined(__linux__)
  std::FILE* f = std::fopen("/proc/self/stat", "r");
  if (!f) return 0;
  char buf[1024];
  const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  buf[n] = 0;
  // Field 22 (starttime, clock ticks since boot) follows the ")" of field 2.
  const char* p = std::strrchr(buf, ')');
  if (!p) return 0;
  int nField = 2;
  for (++p; *p && nField < 22; ++p)
    if (*p == ' ') ++nField;
  const double dTicks = std::strtod(p, nullptr);
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  const double dNowMs = ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
  const double dStartMs = dTicks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
  return dNowMs > dStartMs ? dNowMs - dStartMs : 0;
#else
  return 0;
#endif
}

}  // namespace

void CTrace::Init() {
  if (g_bInit) return;
  g_bInit = true;
  const QByteArray path = qgetenv("SOLVARI_TRACE");
  if (path.isEmpty()) return;
  g_dStartOffsetMs = ProcessAgeMs();
  g_clock.start();
  g_pFile = std::fopen(path.constData(), "a");
  if (g_pFile) std::setvbuf(g_pFile, nullptr, _IOLBF, 0);
  // Where the trace's zero lies on the monotonic clock, in µs, so that its
  // events can be set against sound heard on that clock.
  Event("monotonic-zero-us",
        {static_cast<long>(g_clock.msecsSinceReference() * 1000 - g_dStartOffsetMs * 1000)});
}

bool CTrace::Enabled() { return g_pFile != nullptr; }

void CTrace::Event(const char* pszName, std::initializer_list<long> numbers) {
  EventText(pszName, numbers, nullptr);
}

void CTrace::EventText(const char* pszName, std::initializer_list<long> numbers,
                       const char* pszText) {
  if (!g_pFile) return;
  const double dMs = g_dStartOffsetMs + g_clock.nsecsElapsed() / 1e6;
  std::fprintf(g_pFile, "%.1f %s", dMs, pszName);
  for (long n : numbers) std::fprintf(g_pFile, " %ld", n);
  if (pszText) {
    std::fputc(' ', g_pFile);
    for (const char* p = pszText; *p; ++p) std::fputc(*p == '\n' || *p == '\r' ? ' ' : *p, g_pFile);
  }
  std::fputc('\n', g_pFile);
}

long CTrace::ResidentKiB() {
#if defined(__linux__)
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  long nKiB = 0;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "VmRSS:", 6) == 0) {
      nKiB = std::strtol(line + 6, nullptr, 10);
      break;
    }
  }
  std::fclose(f);
  return nKiB;
#else
  return 0;
#endif
}

long CTrace::CpuMs() {
#if defined(__linux__)
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return usage.ru_utime.tv_sec * 1000L + usage.ru_utime.tv_usec / 1000 +
         usage.ru_stime.tv_sec * 1000L + usage.ru_stime.tv_usec / 1000;
#else
  return 0;
#endif
}

}  // namespace solvari::app
