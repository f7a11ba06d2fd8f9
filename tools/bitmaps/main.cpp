// SPDX-License-Identifier: GPL-3.0-or-later
// solvari_make_bitmaps: writes every bitmap of the program.
//
//   solvari_make_bitmaps --mincho FONT --latin FONT --text SUTRA_TSV
//                        --res RES_DIR --data DATA_DIR --work WORK_DIR
//
// FONT: the fixed-pitch Mincho for the sutra's characters, and a proportional
// face for the Latin lines of the title picture.
//
// RES_DIR/bitmaps receives the resources compiled into the program (glyph
// columns and strips 130-237, tile 238, tool bar 128, About picture 240,
// reading bitmaps 400-453 and 500-553, and the same glyphs, readings and tile
// drawn at twice the size as 1130-1238, 1400-1453 and 1500-1553);
// DATA_DIR receives default.bmp and Copyright.bmp; WORK_DIR receives the
// icons as 32-bit BMPs with alpha, which the calling script turns into PNGs.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "font.h"
#include "glyphs.h"
#include "pictures.h"
#include "readings.h"
#include "render/view_scale.h"

using namespace solvari::tools;

namespace {

bool Check(bool ok, const std::string& path) {
  if (!ok) std::fprintf(stderr, "cannot write %s\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> args;
  for (int i = 1; i + 1 < argc; i += 2) args[argv[i]] = argv[i + 1];
  for (const char* key : {"--mincho", "--latin", "--text", "--res", "--data", "--work"}) {
    if (args[key].empty()) {
      std::fprintf(
          stderr,
          "usage: %s --mincho FONT --latin FONT --text SUTRA_TSV --res RES_DIR --data DATA_DIR "
          "--work WORK_DIR\n",
          argv[0]);
      return 2;
    }
  }
  Font mincho;
  Font latin;
  if (!mincho.Open(args["--mincho"]) || !latin.Open(args["--latin"])) return 1;

  const std::string bitmaps = args["--res"] + "/bitmaps";
  bool ok = true;
  // Scale 1, and scale 2 for screens of twice the density (identifiers + 1000).
  for (int scale : {1, 2}) {
    if (!MakeGlyphBitmaps(mincho, args["--text"], bitmaps, scale)) return 1;
    if (!MakeReadingBitmaps(mincho, latin, args["--text"], bitmaps, scale)) return 1;
    const std::string tile = std::to_string(solvari::BitmapIdAtScale(238, scale)) + ".bmp";
    ok &= Check(WriteIndexedBmp(bitmaps + "/" + tile, MakeTile(scale)), tile);
  }
  for (int scale : {1, 2}) {
    const std::string bar = std::to_string(solvari::BitmapIdAtScale(128, scale)) + ".bmp";
    ok &= Check(WriteIndexedBmp(bitmaps + "/" + bar, MakeToolBar(scale)), bar);
  }
  ok &= Check(WriteIndexedBmp(bitmaps + "/240.bmp", MakeAboutPicture()), "240.bmp");
  for (int size : {256, 48}) {
    const std::string path = args["--work"] + "/icon-" + std::to_string(size) + ".bmp";
    ok &= Check(WriteRgbaBmp(path, MakeIcon(mincho, size)), path);
  }
  const std::string data = args["--data"];
  ok &= Check(WriteRgbBmp(data + "/default.bmp", MakeDefaultBackground(1024, 640)), "default.bmp");
  ok &= Check(WriteRgbBmp(data + "/Copyright.bmp", MakeTitlePicture(mincho, latin, 400, 300)),
              "Copyright.bmp");
  return ok ? 0 : 1;
}
