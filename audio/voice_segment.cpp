// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/voice_segment.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <system_error>

namespace solvari {
namespace {

struct FileCloser {
  void operator()(std::FILE* pFile) const { std::fclose(pFile); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

namespace {

void SetVoiceFormat(WaveFormat& format) {
  format.wFormatTag = kWaveFormatPcm;
  format.wBitsPerSample = kVoiceBitsPerSample;
  format.nSamplesPerSec = kVoiceSamplesPerSec;
  format.nChannels = kVoiceChannels;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = kVoiceBytesPerSec;
  format.cbSize = 0;
}

// Opens the file and reads its length; false when it cannot say how many
// sound bytes follow. A length that the file cannot hold (or that the signed
// byte count of a read cannot express) is refused as too long.
bool OpenSegment(const std::string& path, FilePtr* pFile, std::uint32_t* pLength, bool* pTooLong) {
  *pTooLong = false;
  pFile->reset(std::fopen(path.c_str(), "rb"));
  if (!*pFile) return false;
  unsigned char length[4];
  if (std::fread(length, 1, sizeof length, pFile->get()) != sizeof length) return false;
  const std::uint32_t n = std::uint32_t{length[0]} | std::uint32_t{length[1]} << 8 |
                          std::uint32_t{length[2]} << 16 | std::uint32_t{length[3]} << 24;
  std::error_code ec;
  const std::uintmax_t nFileSize = std::filesystem::file_size(path, ec);
  *pTooLong = n > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) ||
              (!ec && n > nFileSize - sizeof length);
  *pLength = n;
  return true;
}

}  // namespace

int LoadVoiceSegment(CWaveBuffer& wave, const std::string& path) {
  FilePtr file;
  std::uint32_t n = 0;
  bool bTooLong = false;
  if (!OpenSegment(path, &file, &n, &bTooLong)) return 0;
  SetVoiceFormat(*wave.m_pFormat);
  // Too long fails as an allocation would, without asking for a block of up
  // to 4 GB that could never be filled.
  if (bTooLong) {
    wave.FreeData();
    wave.m_dwDataSize = 0;
    return 0;
  }
  wave.AllocData(n);
  if (!wave.IsReady()) return 0;
  if (!wave.ReadData(file.get(), static_cast<std::int32_t>(n))) return 0;
  wave.m_dwDataSize = n;
  return 1;
}

bool ReadVoiceSegmentFile(const std::string& path, std::vector<std::uint8_t>* pPcm) {
  pPcm->clear();
  FilePtr file;
  std::uint32_t n = 0;
  bool bTooLong = false;
  if (!OpenSegment(path, &file, &n, &bTooLong) || bTooLong) return false;
  try {
    pPcm->resize(n);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (n != 0 && std::fread(pPcm->data(), 1, n, file.get()) != n) {
    pPcm->clear();
    return false;
  }
  return true;
}

int LoadVoiceSegmentBytes(CWaveBuffer& wave, const std::uint8_t* pData, std::uint32_t nBytes) {
  SetVoiceFormat(*wave.m_pFormat);
  wave.AllocData(nBytes);
  if (!wave.IsReady()) return 0;
  if (std::uint8_t* p = wave.LockData()) {
    if (nBytes != 0) std::memcpy(p, pData, nBytes);
    wave.UnlockData();
  }
  wave.m_dwDataSize = nBytes;
  return 1;
}

bool WriteVoiceSegment(const std::string& path, const std::uint8_t* pData, std::uint32_t nBytes) {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  const unsigned char length[4] = {
      static_cast<unsigned char>(nBytes), static_cast<unsigned char>(nBytes >> 8),
      static_cast<unsigned char>(nBytes >> 16), static_cast<unsigned char>(nBytes >> 24)};
  bool bOk = std::fwrite(length, 1, 4, file.get()) == 4;
  if (bOk && nBytes) bOk = std::fwrite(pData, 1, nBytes, file.get()) == nBytes;
  if (std::fclose(file.release()) != 0) bOk = false;
  if (!bOk) std::remove(path.c_str());
  return bOk;
}

}  // namespace solvari
