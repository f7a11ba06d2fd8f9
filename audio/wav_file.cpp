// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/wav_file.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace solvari {
namespace {

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

}  // namespace

bool ParseWav(const std::uint8_t* p, std::size_t n, WavFile* pWav, std::string* pError) {
  auto fail = [&](const std::string& why) {
    *pError = why;
    return false;
  };
  if (n < 12) return fail("too short to be a .wav file");
  if (std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0)
    return fail("not a .wav file (no RIFF/WAVE header)");

  WavFile wav;
  bool bHaveFormat = false;
  std::uint64_t nPos = 12;  // 64 bits: a chunk's length added never wraps
  while (nPos + 8 <= n) {
    const std::uint8_t* chunk = p + nPos;
    const std::string id(reinterpret_cast<const char*>(chunk), 4);
    const std::uint32_t nSize = Le32(chunk + 4);
    const std::uint64_t nBody = nPos + 8;
    const std::uint64_t nAvail = n - nBody;
    if (id == "fmt ") {
      if (nSize < 16 || nSize > nAvail) return fail("damaged \"fmt \" chunk");
      const std::uint8_t* fmt = p + nBody;
      wav.nFormatTag = Le16(fmt);
      wav.nChannels = Le16(fmt + 2);
      wav.nSamplesPerSec = Le32(fmt + 4);
      wav.nBlockAlign = Le16(fmt + 12);
      wav.nBitsPerSample = Le16(fmt + 14);
      if (wav.nFormatTag == kWavFormatExtensible) {
        if (nSize < 40) return fail("damaged \"fmt \" chunk");
        wav.nFormatTag = Le16(fmt + 24);  // the sub-format's first two bytes
      }
      bHaveFormat = true;
    } else if (id == "data") {
      if (!bHaveFormat) return fail("the sound comes before its format (\"fmt \" chunk)");
      const std::uint64_t nTake = nSize < nAvail ? nSize : nAvail;
      wav.data.assign(p + nBody, p + nBody + nTake);
      wav.nDataDeclared = nSize;
      *pWav = std::move(wav);
      return true;
    } else if (nSize > nAvail) {
      return fail("damaged chunk \"" + id + "\"");
    }
    nPos = nBody + nSize + (nSize & 1);
  }
  return fail("no \"data\" chunk with the sound");
}

bool ReadWavFile(const std::string& path, WavFile* pWav, std::string* pError) {
  namespace fs = std::filesystem;
  auto fail = [&](const std::string& why) {
    *pError = path + ": " + why;
    return false;
  };
  std::error_code ec;
  if (!fs::exists(path, ec)) return fail("no such file");
  if (fs::is_directory(path, ec)) return fail("is a folder, not a .wav file");
  std::ifstream f(path, std::ios::binary);
  if (!f) return fail("cannot be opened");
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(f),
                                        std::istreambuf_iterator<char>()};
  if (f.bad()) return fail("cannot be read");
  std::string why;
  if (!ParseWav(bytes.data(), bytes.size(), pWav, &why)) return fail(why);
  return true;
}

}  // namespace solvari
