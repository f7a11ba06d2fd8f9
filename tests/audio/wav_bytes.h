// SPDX-License-Identifier: GPL-3.0-or-later
// Builds .wav file bytes for the tests, chunk by chunk, so that a test can
// write a file as odd as it needs: chunks in any order, lengths that lie.
#pragma once

#include <cstdint>
#include <string>

namespace solvari::test {

inline void Put16(std::string& s, unsigned v) {
  s += char(v & 0xFF);
  s += char((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, std::uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

// A chunk: its identifier, the length it claims (the body's own unless given)
// and its body, padded to an even length.
inline std::string Chunk(const std::string& id, const std::string& body,
                         std::int64_t claimed = -1) {
  std::string s = id;
  Put32(s, claimed >= 0 ? static_cast<std::uint32_t>(claimed)
                        : static_cast<std::uint32_t>(body.size()));
  s += body;
  if (body.size() & 1) s += '\0';
  return s;
}

// The 16 bytes of a "fmt " chunk's body, the block size and byte rate as a
// well-made file has them.
inline std::string FormatBody(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits) {
  std::string fmt;
  Put16(fmt, tag);
  Put16(fmt, channels);
  Put32(fmt, rate);
  Put32(fmt, rate * channels * bits / 8);
  Put16(fmt, channels * bits / 8);
  Put16(fmt, bits);
  return fmt;
}

// The RIFF/WAVE header around the chunks.
inline std::string Riff(const std::string& chunks) {
  std::string s = "RIFF";
  Put32(s, static_cast<std::uint32_t>(4 + chunks.size()));
  return s + "WAVE" + chunks;
}

}  // namespace solvari::test
