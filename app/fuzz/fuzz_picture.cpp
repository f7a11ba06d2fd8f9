// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/fuzz/picture_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  solvari::fuzz::RunOnePhoto(data, size);
  return 0;
}
