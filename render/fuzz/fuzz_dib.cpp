// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/fuzz/dib_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  solvari::fuzz::RunOne(data, size);
  return 0;
}
