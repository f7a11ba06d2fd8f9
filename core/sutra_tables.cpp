// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sutra_tables.h"

namespace solvari {
namespace {

// Highlight time of every character, first character first, in milliseconds.
constexpr std::int32_t kDur00[] = {300, 300, 300, 300, 300};
constexpr std::int32_t kDur01[] = {300, 300, 300, 300, 400, 400, 400, 400, 400};
constexpr std::int32_t kDur02[] = {300, 300, 500, 400, 400, 300};
constexpr std::int32_t kDur03[] = {300, 300, 300, 300, 300};
constexpr std::int32_t kDur04[] = {300, 300, 300};
constexpr std::int32_t kDur05[] = {300, 300, 300, 300};
constexpr std::int32_t kDur06[] = {300, 300, 300, 300};
constexpr std::int32_t kDur07[] = {300, 300, 300, 300};
constexpr std::int32_t kDur08[] = {300, 300, 300, 300};
constexpr std::int32_t kDur09[] = {300, 300, 300, 300};
constexpr std::int32_t kDur10[] = {300, 300, 300, 300};
constexpr std::int32_t kDur11[] = {300, 300, 300};
constexpr std::int32_t kDur12[] = {300, 400, 400, 400, 300};
constexpr std::int32_t kDur13[] = {300, 300, 300, 300};
constexpr std::int32_t kDur14[] = {300, 300, 300, 300};
constexpr std::int32_t kDur15[] = {300, 300, 300, 300};
constexpr std::int32_t kDur16[] = {300, 300, 300, 300, 300, 300};
constexpr std::int32_t kDur17[] = {300, 300, 300, 300, 300};
constexpr std::int32_t kDur18[] = {300, 300, 300, 300, 300, 300, 300};
constexpr std::int32_t kDur19[] = {300, 300, 300, 300, 300, 300, 300};
constexpr std::int32_t kDur20[] = {300, 300, 300};
constexpr std::int32_t kDur21[] = {300, 300, 300, 300, 300, 300};
constexpr std::int32_t kDur22[] = {300, 300, 300};
constexpr std::int32_t kDur23[] = {300, 300, 300, 300, 300};
constexpr std::int32_t kDur24[] = {300, 300, 400, 400, 300};
constexpr std::int32_t kDur25[] = {300, 300, 400, 500, 300};
constexpr std::int32_t kDur26[] = {300, 400, 400, 400, 300};
constexpr std::int32_t kDur27[] = {300, 300, 400, 300, 300};
constexpr std::int32_t kDur28[] = {300, 300, 300, 300, 300};
constexpr std::int32_t kDur29[] = {300, 300, 300, 300};
constexpr std::int32_t kDur30[] = {300, 300, 300, 300, 300, 400, 400, 300};
constexpr std::int32_t kDur31[] = {300, 300, 300, 300};
constexpr std::int32_t kDur32[] = {300, 300, 300, 300};
constexpr std::int32_t kDur33[] = {250, 300, 300, 300};
constexpr std::int32_t kDur34[] = {300, 300, 300, 300, 400, 400, 400, 300};
constexpr std::int32_t kDur35[] = {300, 300, 300, 300};
constexpr std::int32_t kDur36[] = {300, 300, 300, 300};
constexpr std::int32_t kDur37[] = {300, 300, 300, 300, 300, 400, 400, 300};
constexpr std::int32_t kDur38[] = {300, 300, 300, 300, 300, 300, 300, 300, 300, 300};
constexpr std::int32_t kDur39[] = {300, 300, 300, 300, 300, 400, 400, 300};
constexpr std::int32_t kDur40[] = {300, 300, 300, 300};
constexpr std::int32_t kDur41[] = {300, 300, 300, 300};
constexpr std::int32_t kDur42[] = {300, 300, 300, 300};
constexpr std::int32_t kDur43[] = {300, 300, 300, 300, 300};
constexpr std::int32_t kDur44[] = {300, 300, 300, 300, 300};
constexpr std::int32_t kDur45[] = {300, 300, 300, 300};
constexpr std::int32_t kDur46[] = {300, 300, 300, 300, 300, 400, 400, 400, 300};
constexpr std::int32_t kDur47[] = {300, 300, 300, 300};
constexpr std::int32_t kDur48[] = {300, 300};
constexpr std::int32_t kDur49[] = {300, 300};
constexpr std::int32_t kDur50[] = {300, 300, 300, 300};
constexpr std::int32_t kDur51[] = {200, 200, 300, 300, 300};
constexpr std::int32_t kDur52[] = {300, 250, 200, 200, 200};
constexpr std::int32_t kDur53[] = {300, 600, 600, 300};

}  // namespace

const std::int32_t kPhraseCharCount[kPhraseCount] = {
    5, 9, 6, 5, 3, 4, 4, 4, 4, 4, 4, 3,  5, 4, 4, 4, 6, 5, 7, 7, 3, 6, 3, 5, 5, 5, 5,
    5, 5, 4, 8, 4, 4, 4, 8, 4, 4, 8, 10, 8, 4, 4, 4, 5, 5, 4, 9, 4, 2, 2, 4, 5, 5, 4,
};

const std::int32_t* const kPhraseDurations[kPhraseCount] = {
    kDur00, kDur01, kDur02, kDur03, kDur04, kDur05, kDur06, kDur07, kDur08, kDur09, kDur10,
    kDur11, kDur12, kDur13, kDur14, kDur15, kDur16, kDur17, kDur18, kDur19, kDur20, kDur21,
    kDur22, kDur23, kDur24, kDur25, kDur26, kDur27, kDur28, kDur29, kDur30, kDur31, kDur32,
    kDur33, kDur34, kDur35, kDur36, kDur37, kDur38, kDur39, kDur40, kDur41, kDur42, kDur43,
    kDur44, kDur45, kDur46, kDur47, kDur48, kDur49, kDur50, kDur51, kDur52, kDur53,
};

// Phrase 0 and phrase 38 sit out of order among the column bitmaps.
const std::int32_t kColumnGlyphId[kPhraseCount] = {
    184, 186, 187, 188, 189, 190, 191, 192, 193, 194, 195, 196, 197, 198, 199, 200, 201, 202,
    203, 204, 205, 206, 207, 208, 209, 210, 211, 212, 213, 214, 215, 216, 217, 218, 219, 220,
    221, 222, 185, 223, 224, 225, 226, 227, 228, 229, 230, 231, 232, 233, 234, 235, 236, 237,
};

const std::int32_t kStripGlyphId[kPhraseCount] = {
    130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143, 144, 145, 146, 147,
    148, 149, 150, 151, 152, 153, 154, 155, 156, 157, 158, 159, 160, 161, 162, 163, 164, 165,
    166, 167, 168, 169, 170, 171, 172, 173, 174, 175, 176, 177, 178, 179, 180, 181, 182, 183,
};

// How many phrases each overview column stacks, rightmost column first.
const std::int32_t kOverviewColumnPhrases[kOverviewColumnCount] = {
    2, 2, 3, 3, 3, 3, 2, 2, 3, 2, 2, 2, 2, 2, 2, 2, 1, 1, 2, 3, 2, 2, 3, 2, 1,
};

int GetPhraseCharCount(int nPhrase) { return kPhraseCharCount[nPhrase]; }
int GetCharDuration(int nPhrase, int nChar) { return kPhraseDurations[nPhrase][nChar]; }
int GetColumnGlyphId(int nPhrase) { return kColumnGlyphId[nPhrase]; }
int GetStripGlyphId(int nPhrase) { return kStripGlyphId[nPhrase]; }
int GetOverviewColumnPhrases(int nColumn) { return kOverviewColumnPhrases[nColumn]; }

int GetPhraseDuration(int nPhrase) {
  int total = 0;
  for (int c = 0; c < kPhraseCharCount[nPhrase]; ++c) total += kPhraseDurations[nPhrase][c];
  return total;
}

}  // namespace solvari
