// SPDX-License-Identifier: GPL-3.0-or-later
// Usage: solvari-page-png OUT.png [--ruby kana|romaji] [--scale 2] [--count N/M]
//                         [PHRASE [CHAR [PICTURE]]]
//        solvari-page-png OUT.png [--scale 2] --overview
// Paints the 723 x 425 view as a reading page of the six columns PHRASE to
// PHRASE + 5 with character CHAR of PHRASE lit (default 0 0), over the tile or
// PICTURE; with --ruby, each character's reading beside it; with --scale 2,
// as on a screen of twice the density (1446 x 850); with --count 2/7, the
// count of recitations in the page's corner ("2 / 7"). PICTURE is any
// picture the program shows as its background: a .bmp file read by the
// program's own reader, or a JPEG, PNG, WebP, GIF or TIFF file through the
// program's decoder, the same conversion that the program makes.
#include <QCoreApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/instrument_settings.h"
#include "core/reading_state.h"
#include "core/sutra_readings.h"
#include "core/sutra_tables.h"
#include "render/fixed_view_host.h"
#include "render/resource_bitmaps.h"
#include "render/sutra_view.h"
#if defined(SOLVARI_PAGE_PNG_DECODER)
#include "app/qt_picture_decoder.h"
#endif

namespace {

int ParseNumber(const char* text, int lo, int hi, const char* what) {
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || n < lo || n > hi) {
    std::fprintf(stderr, "solvari-page-png: %s must be a number from %d to %d, not '%s'\n", what,
                 lo, hi, text);
    std::exit(2);
  }
  return static_cast<int>(n);
}

}  // namespace

int Usage() {
  std::fprintf(stderr,
               "usage: solvari-page-png OUT.png [--ruby kana|romaji] [--scale 2] [--count N/M] "
               "[PHRASE [CHAR [PICTURE]]]\n"
               "       solvari-page-png OUT.png [--scale 2] --overview\n");
  return 2;
}

int main(int argc, char** argv) {
  // --ruby and its choice may stand anywhere after OUT.png.
  int nReadingAid = solvari::RubyNone;
  for (int i = 2; i < argc; ++i) {
    if (std::string(argv[i]) != "--ruby") continue;
    const std::string choice = i + 1 < argc ? argv[i + 1] : "";
    if (choice == "kana") {
      nReadingAid = solvari::RubyKana;
    } else if (choice == "romaji") {
      nReadingAid = solvari::RubyRomaji;
    } else {
      std::fprintf(stderr, "solvari-page-png: --ruby takes kana or romaji\n");
      return 2;
    }
    for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
    argc -= 2;
    break;
  }
  // --scale and its number likewise.
  int nScale = 1;
  for (int i = 2; i < argc; ++i) {
    if (std::string(argv[i]) != "--scale") continue;
    nScale = i + 1 < argc ? ParseNumber(argv[i + 1], 1, 2, "--scale") : 0;
    if (nScale == 0) return Usage();
    for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
    argc -= 2;
    break;
  }
  // --count and its recitation and count likewise.
  std::string strCount;
  for (int i = 2; i < argc; ++i) {
    if (std::string(argv[i]) != "--count") continue;
    const std::string arg = i + 1 < argc ? argv[i + 1] : "";
    const std::size_t slash = arg.find('/');
    if (slash == std::string::npos) return Usage();
    const int nTotal =
        ParseNumber(arg.substr(slash + 1).c_str(), 1, solvari::kMaxRecitationCount, "the count");
    const int nNumber = ParseNumber(arg.substr(0, slash).c_str(), 1, nTotal, "the recitation");
    strCount = std::to_string(nNumber) + " / " + std::to_string(nTotal);
    for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
    argc -= 2;
    break;
  }
  if (argc < 2 || argc > 5) return Usage();
  // Qt's image readers find their format plugins through the application.
  QCoreApplication app(argc, argv);
  solvari::CFixedViewHost host;
#if defined(SOLVARI_PAGE_PNG_DECODER)
  solvari::app::CQtPictureDecoder decoder;
  host.picture.SetPictureDecoder(&decoder);
#endif
  host.nReadingAid = nReadingAid;
  host.strCount = strCount;
  const bool bOverview = argc == 3 && std::string(argv[2]) == "--overview";
  int nChar = 0;
  if (bOverview) {
    host.nState = solvari::Idle;
  } else {
    if (argc > 2) host.nPhrase = ParseNumber(argv[2], 0, solvari::kLastPhrase, "PHRASE");
    if (argc > 3) {
      nChar = ParseNumber(argv[3], 0, solvari::GetPhraseCharCount(host.nPhrase) - 1, "CHAR");
    }
    if (argc > 4 && !host.picture.LoadPicture(argv[4])) {
      std::fprintf(stderr, "solvari-page-png: %s is not a picture the program can show\n", argv[4]);
      return 1;
    }
  }

  solvari::CSutraView view(host, solvari::MakeResourceBitmapFinder());
  view.SetClientSize(723 * nScale, 425 * nScale, nScale);
  view.OnPaint();
  if (!bOverview) {
    // The paint draws from PHRASE to the end of its page; fill the page.
    for (int k = host.nPhrase; k <= host.nPhrase + 5 && k <= solvari::kLastPhrase; ++k) {
      view.DrawColumn(k);
    }
    view.HighlightChar(host.nPhrase, nChar);
  }

  const solvari::CSurface& s = view.Surface();
  const QImage image(reinterpret_cast<const uchar*>(s.Bits()), s.Width(), s.Height(),
                     s.BytesPerLine(), QImage::Format_RGB32);
  if (!image.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "solvari-page-png: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
