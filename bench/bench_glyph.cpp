// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of one DrawOutlinedGlyph call on real character cells.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/sutra_tables.h"
#include "render/glyph_renderer.h"

namespace solvari {
namespace {

// The cells of phrase 1's column bitmap (nine characters), read from the
// committed resource file; rows are stored bottom-up in the file.
std::vector<std::uint8_t> LoadCells() {
  std::ifstream in(std::string(SOLVARI_SOURCE_DIR) + "/res/bitmaps/186.bmp", std::ios::binary);
  std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::uint8_t> cells;
  if (file.size() > 62) {
    std::uint32_t off, h;
    std::memcpy(&off, &file[10], 4);
    std::memcpy(&h, &file[22], 4);
    if (off + h * 8 <= file.size()) {
      for (std::uint32_t r = 0; r < h; ++r) {
        const std::uint8_t* row = &file[off + (h - 1 - r) * 8];
        cells.insert(cells.end(), row, row + 8);
      }
    }
  }
  if (cells.empty()) {  // no resources yet: a dense made-up glyph
    cells.assign(kCellBytes * 9, 0xFF);
    for (size_t i = 0; i < cells.size(); i += 3) cells[i] = 0x81;
  }
  return cells;
}

void Run(benchmark::State& state, int nPercent, int nMode) {
  const std::vector<std::uint8_t> cells = LoadCells();
  const int nCells = static_cast<int>(cells.size() / kCellBytes);
  CSurface surface(723, 425, RGB(90, 100, 120));
  CDC dc(surface);
  std::uint8_t buffer[kCellBytes];
  int i = 0;
  for (auto _ : state) {
    // The renderer consumes its buffer, so every call gets a fresh copy, as the view does.
    std::memcpy(buffer, &cells[(i % nCells) * kCellBytes], kCellBytes);
    DrawOutlinedGlyph(&dc, kCellBytes, buffer, 609, static_cast<std::uint16_t>(10 + 40 * (i % 9)),
                      0x00FF00, 0xFFFFFF, nPercent, nMode);
    benchmark::ClobberMemory();
    ++i;
  }
}

void BM_OutlinedCell(benchmark::State& state) { Run(state, 0, 0); }
void BM_HighlightCell(benchmark::State& state) { Run(state, 100, 1); }

BENCHMARK(BM_OutlinedCell)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_HighlightCell)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace solvari
