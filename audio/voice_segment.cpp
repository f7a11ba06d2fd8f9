#include "audio/voice_segment.h"

#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <system_error>


namespace solvari {
namespace {

struct FileCloser {
  void operator()(std::FILE* pFile) const { std::fclose(pFile); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

int LoadVoiceSegment(CWaveBuffer& wave, const std::string& path) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return 0;

  unsigned char length[4];
  if (std::fread(length, 1, sizeof length, file.get()) != sizeof length) return 0;
  const std::uint32_t n = std::uint32_t{length[0]} | std::uint32_t{length[1]} << 8 |
                          std::uint32_t{length[2]} << 16 | std::uint32_t{length[3]} << 24;

  WaveFormat& format = *wave.m_pFormat;
  format.wFormatTag = kWaveFormatPcm;
  format.wBitsPerSample = kVoiceBitsPerSample;
  format.nSamplesPerSec = kVoiceSamplesPerSec;
  format.nChannels = kVoiceChannels;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = kVoiceBytesPerSec;
  format.cbSize = 0;

  // A length that the file cannot hold (or that the signed byte count of the
  // read cannot express) fails as an allocation would, without asking for a
  // block of up to 4 GB that could never be filled.
  std::error_code ec;
  const std::uintmax_t nFileSize = std::filesystem::file_size(path, ec);
  const bool bTooLong = n > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) ||
                        (!ec && n > nFileSize - sizeof length);
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
