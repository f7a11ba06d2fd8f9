// SPDX-License-Identifier: GPL-3.0-or-later
// The program's pictures, drawn from code: the background tile, the tool bar
// buttons, the About picture, the icon, the default background and the title.
#pragma once

#include "font.h"
#include "image.h"

namespace solvari::tools {

// 8 x 8, 8 bits: grey RGB(192,192,192), white where column and row are both
// odd. At scale 2, 16 x 16 with every pixel of it a 2 x 2 square.
Indexed MakeTile(int scale = 1);
// 80 x 15, 4 bits, standard palette: Start, Stop, Maximize, Repeat, About.
// At scale 2, 160 x 30, drawn at that size.
Indexed MakeToolBar(int scale = 1);
// 240 x 240, 4 bits: a lotus over still water.
Indexed MakeAboutPicture();
// Square icon with alpha: a dark green disc with a white 心.
Canvas MakeIcon(const Font& mincho, int size);
// Dusk over layered mountains, fairly dark, for reading over.
Canvas MakeDefaultBackground(int width, int height);
// The title picture: the sutra's title, the program's name and version, the
// maker. Latin lines are set in the proportional face.
Canvas MakeTitlePicture(const Font& mincho, const Font& latin, int width, int height);

}  // namespace solvari::tools
