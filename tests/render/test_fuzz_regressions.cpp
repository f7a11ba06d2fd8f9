// SPDX-License-Identifier: GPL-3.0-or-later
// Replays the picture fuzz target's seed corpus and every input it has found
// a fault with.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "render/fuzz/dib_fuzz_body.h"

namespace solvari {
namespace {

TEST(DibFuzzRegressions, CorpusAndFindingsRunClean) {
  int n = 0;
  for (const char* dir : {"/render/fuzz/regressions", "/render/fuzz/corpus"}) {
    for (const auto& entry :
         std::filesystem::directory_iterator(SOLVARI_SOURCE_DIR + std::string(dir))) {
      SCOPED_TRACE(entry.path().string());
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
      fuzz::RunOne(bytes.data(), bytes.size());
      ++n;
    }
  }
  EXPECT_GT(n, 10);
}

}  // namespace
}  // namespace solvari
