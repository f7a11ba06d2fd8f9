// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/take_onsets.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "audio/voice_segment.h"
#include "audio/voice_take.h"
#include "core/sutra_tables.h"

namespace solvari {
namespace {

namespace fs = std::filesystem;

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

const char* FailureToken(AlignFailure failure) {
  switch (failure) {
    case AlignFailure::kNone:
      return "none";
    case AlignFailure::kBadPhrase:
      return "bad-phrase";
    case AlignFailure::kNoReference:
      return "no-reference";
    case AlignFailure::kNoVoice:
      return "no-voice";
    case AlignFailure::kTooLong:
      return "too-long";
    case AlignFailure::kTooShort:
      return "too-short";
    case AlignFailure::kPoorMatch:
      return "poor-match";
    case AlignFailure::kUnavailable:
      return "unavailable";
  }
  return "none";
}

bool FailureFromToken(std::string_view token, AlignFailure* pFailure) {
  for (AlignFailure f :
       {AlignFailure::kNoReference, AlignFailure::kNoVoice, AlignFailure::kTooLong,
        AlignFailure::kTooShort, AlignFailure::kPoorMatch, AlignFailure::kUnavailable}) {
    if (token == FailureToken(f)) {
      *pFailure = f;
      return true;
    }
  }
  return false;
}

// Reads the space-separated words of one line, strictly.
class Line {
 public:
  explicit Line(std::string_view text) : m_text(text) {}

  bool Word(std::string_view* pWord) {
    if (m_nAt > 0) {
      if (m_nAt >= m_text.size() || m_text[m_nAt] != ' ') return false;
      ++m_nAt;
    }
    const std::size_t nEnd = std::min(m_text.find(' ', m_nAt), m_text.size());
    if (nEnd == m_nAt) return false;
    *pWord = m_text.substr(m_nAt, nEnd - m_nAt);
    m_nAt = nEnd;
    return true;
  }
  bool Expect(std::string_view word) {
    std::string_view w;
    return Word(&w) && w == word;
  }
  template <typename T>
  bool Number(T* pValue, int nBase = 10) {
    std::string_view w;
    if (!Word(&w)) return false;
    if (w.size() > 1 && w[0] == '0' && nBase == 10) return false;  // one spelling per number
    const auto [p, ec] = std::from_chars(w.data(), w.data() + w.size(), *pValue, nBase);
    return ec == std::errc() && p == w.data() + w.size();
  }
  bool Ratio(double* pValue) {
    std::string_view w;
    if (!Word(&w) || w.size() > 12) return false;
    // A plain decimal of a few digits: from_chars of double is not in every
    // standard library this builds with.
    double v = 0, scale = 1;
    bool bPoint = false, bDigit = false;
    for (char ch : w) {
      if (ch == '.' && !bPoint) {
        bPoint = true;
      } else if (ch >= '0' && ch <= '9') {
        bDigit = true;
        if (bPoint) {
          scale /= 10;
          v += (ch - '0') * scale;
        } else {
          v = v * 10 + (ch - '0');
        }
      } else {
        return false;
      }
    }
    *pValue = v;
    return bDigit;
  }
  bool AtEnd() const { return m_nAt == m_text.size(); }

 private:
  std::string_view m_text;
  std::size_t m_nAt = 0;
};

std::string Hex(std::uint32_t n) {
  char sz[16];
  std::snprintf(sz, sizeof sz, "%08x", n);
  return sz;
}

std::vector<std::int16_t> Samples(const std::vector<std::uint8_t>& pcm) {
  std::vector<std::int16_t> s(pcm.size() / 2);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8));
  return s;
}

// The shipped phrase's sound, or nothing when it cannot be read.
std::vector<std::uint8_t> ReadShipped(const std::string& shippedPath) {
  std::vector<std::uint8_t> pcm;
  if (shippedPath.empty() || !ReadVoiceSegmentFile(shippedPath, &pcm)) pcm.clear();
  return pcm;
}

OnsetsRecord Align(const std::vector<std::uint8_t>& take, const std::vector<std::uint8_t>& shipped,
                   int nPhrase) {
  OnsetsRecord record;
  record.nPhrase = nPhrase;
  record.nTakeBytes = static_cast<std::uint32_t>(take.size());
  record.nTakeCrc = Crc32(take.data(), take.size());
  record.nShippedBytes = static_cast<std::uint32_t>(shipped.size());
  record.nShippedCrc = Crc32(shipped.data(), shipped.size());
  const std::vector<std::int16_t> takeSamples = Samples(take);
  const std::vector<std::int16_t> shippedSamples = Samples(shipped);
  record.onsets = AlignTake(takeSamples.data(), takeSamples.size(), shippedSamples.data(),
                            shippedSamples.size(), nPhrase);
  return record;
}

}  // namespace

const char* AlignFailureText(AlignFailure failure) {
  switch (failure) {
    case AlignFailure::kNone:
      return "aligned";
    case AlignFailure::kBadPhrase:
      return "no such phrase";
    case AlignFailure::kNoReference:
      return "the shipped voice of the phrase is missing";
    case AlignFailure::kNoVoice:
      return "no voice in the take";
    case AlignFailure::kTooLong:
      return "the take is far too long for the phrase";
    case AlignFailure::kTooShort:
      return "the take is too short for the phrase";
    case AlignFailure::kPoorMatch:
      return "the take does not match the phrase";
    case AlignFailure::kUnavailable:
      return "this build does not align";
  }
  return "?";
}

std::vector<int> ScaledOnsets(std::size_t nTakeSamples, int nPhrase) {
  if (nPhrase < 0 || nPhrase > kLastPhrase) return {};
  const double dPace = TakePaceFactor(nTakeSamples, GetPhraseDuration(nPhrase));
  std::vector<int> onsets;
  int nAt = 0;
  for (int c = 0; c < GetPhraseCharCount(nPhrase); ++c) {
    onsets.push_back(nAt);
    const int nMs = GetCharDuration(nPhrase, c);
    nAt += dPace == 1.0 ? nMs : std::max(1, static_cast<int>(std::lround(nMs * dPace)));
  }
  return onsets;
}

std::uint32_t Crc32(const std::uint8_t* pData, std::size_t n, std::uint32_t nCrc) {
  nCrc = ~nCrc;
  for (std::size_t i = 0; i < n; ++i) nCrc = kCrcTable[(nCrc ^ pData[i]) & 0xFF] ^ (nCrc >> 8);
  return ~nCrc;
}

std::string OnsetsPathFor(const std::string& takePath) {
  fs::path path(takePath);
  path.replace_extension(".onsets");
  return path.string();
}

std::string FormatOnsetsFile(const OnsetsRecord& record) {
  std::ostringstream out;
  out << "solvari-onsets " << kOnsetsFileVersion << "\n";
  out << "phrase " << record.nPhrase << "\n";
  out << "take " << record.nTakeBytes << " " << Hex(record.nTakeCrc) << "\n";
  out << "shipped " << record.nShippedBytes << " " << Hex(record.nShippedCrc) << "\n";
  char szRatio[32];
  std::snprintf(szRatio, sizeof szRatio, "%.3f", std::clamp(record.onsets.dCostRatio, 0.0, 99.0));
  if (record.onsets.bFellBack) {
    out << "result scaled " << FailureToken(record.onsets.failure) << " " << szRatio << "\n";
  } else {
    out << "result aligned " << szRatio << "\n";
  }
  out << "onsets";
  for (int v : record.onsets.onsetsMs) out << " " << v;
  out << "\n";
  std::string text = out.str();
  const std::uint32_t nCheck =
      Crc32(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  return text + "check " + Hex(nCheck) + "\n";
}

bool ParseOnsetsFile(const std::string& text, OnsetsRecord* pRecord) {
  if (text.size() > kMaxOnsetsFileBytes || text.empty() || text.back() != '\n') return false;
  // The check line covers every byte before it.
  const std::size_t nCheckLine = text.rfind("\ncheck ", text.size() - 1);
  if (nCheckLine == std::string::npos) return false;
  {
    Line line(std::string_view(text).substr(nCheckLine + 1, text.size() - nCheckLine - 2));
    std::uint32_t nCheck = 0;
    if (!line.Expect("check") || !line.Number(&nCheck, 16) || !line.AtEnd()) return false;
    if (Crc32(reinterpret_cast<const std::uint8_t*>(text.data()), nCheckLine + 1) != nCheck)
      return false;
  }
  std::vector<std::string_view> lines;
  std::string_view body = std::string_view(text).substr(0, nCheckLine);
  for (std::size_t nFrom = 0; nFrom <= body.size();) {
    const std::size_t nEnd = std::min(body.find('\n', nFrom), body.size());
    lines.push_back(body.substr(nFrom, nEnd - nFrom));
    nFrom = nEnd + 1;
  }
  if (lines.size() != 6) return false;

  OnsetsRecord r;
  int nVersion = 0;
  Line version(lines[0]);
  if (!version.Expect("solvari-onsets") || !version.Number(&nVersion) || !version.AtEnd() ||
      nVersion != kOnsetsFileVersion)
    return false;
  Line phrase(lines[1]);
  if (!phrase.Expect("phrase") || !phrase.Number(&r.nPhrase) || !phrase.AtEnd() || r.nPhrase < 0 ||
      r.nPhrase > kLastPhrase)
    return false;
  Line take(lines[2]);
  if (!take.Expect("take") || !take.Number(&r.nTakeBytes) || !take.Number(&r.nTakeCrc, 16) ||
      !take.AtEnd())
    return false;
  Line shipped(lines[3]);
  if (!shipped.Expect("shipped") || !shipped.Number(&r.nShippedBytes) ||
      !shipped.Number(&r.nShippedCrc, 16) || !shipped.AtEnd())
    return false;
  Line result(lines[4]);
  std::string_view kind;
  if (!result.Expect("result") || !result.Word(&kind)) return false;
  if (kind == "scaled") {
    std::string_view token;
    r.onsets.bFellBack = true;
    if (!result.Word(&token) || !FailureFromToken(token, &r.onsets.failure)) return false;
  } else if (kind != "aligned") {
    return false;
  }
  if (!result.Ratio(&r.onsets.dCostRatio) || !result.AtEnd()) return false;
  // As many onsets as the phrase has characters, each later than the one
  // before, none past the take (or, for a take too short even to be scaled
  // over, past the scaling's reach).
  Line onsets(lines[5]);
  if (!onsets.Expect("onsets")) return false;
  const long long nLimitMs =
      std::max(static_cast<long long>(r.nTakeBytes) * 1000 / kVoiceBytesPerSec,
               4LL * GetPhraseDuration(r.nPhrase));
  for (int c = 0; c < GetPhraseCharCount(r.nPhrase); ++c) {
    int v = 0;
    if (!onsets.Number(&v) || v < 0 || v > nLimitMs) return false;
    if (c > 0 && v <= r.onsets.onsetsMs.back()) return false;
    r.onsets.onsetsMs.push_back(v);
  }
  if (!onsets.AtEnd()) return false;
  *pRecord = std::move(r);
  return true;
}

bool ReadOnsetsFile(const std::string& path, OnsetsRecord* pRecord) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string text(kMaxOnsetsFileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return ParseOnsetsFile(text, pRecord);
}

bool WriteOnsetsFile(const std::string& path, const OnsetsRecord& record) {
  const std::string text = FormatOnsetsFile(record);
  const std::string temp = path + ".part";
  std::error_code ec;
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      out.close();
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

bool StoreTakeOnsets(const std::string& takePath, int nPhrase, const std::string& shippedPath,
                     TakeOnsets* pResult) {
  std::vector<std::uint8_t> take;
  if (nPhrase < 0 || nPhrase > kLastPhrase || !ReadVoiceSegmentFile(takePath, &take)) return false;
  const OnsetsRecord record = Align(take, ReadShipped(shippedPath), nPhrase);
  if (pResult) *pResult = record.onsets;
  return WriteOnsetsFile(OnsetsPathFor(takePath), record);
}

namespace {

// The take's onsets when the stored file belongs to it and to the shipped
// phrase; otherwise, with bAlign, the take aligned again (and stored anew).
bool TakeOnsetsOf(const std::string& takePath, int nPhrase, const std::string& shippedPath,
                  bool bAlign, std::vector<int>* pOnsetsMs, bool* pFellBack) {
  std::vector<std::uint8_t> take;
  if (nPhrase < 0 || nPhrase > kLastPhrase || !ReadVoiceSegmentFile(takePath, &take)) return false;
  const std::vector<std::uint8_t> shipped = ReadShipped(shippedPath);
  const std::string onsetsPath = OnsetsPathFor(takePath);
  OnsetsRecord record;
  const bool bStored = ReadOnsetsFile(onsetsPath, &record) && record.nPhrase == nPhrase &&
                       record.nTakeBytes == take.size() &&
                       record.nTakeCrc == Crc32(take.data(), take.size()) &&
                       record.nShippedBytes == shipped.size() &&
                       record.nShippedCrc == Crc32(shipped.data(), shipped.size());
  if (!bStored) {
    if (!bAlign) return false;
    record = Align(take, shipped, nPhrase);
    WriteOnsetsFile(onsetsPath, record);  // next time from the file; fine if it cannot be kept
  }
  if (pOnsetsMs) *pOnsetsMs = record.onsets.onsetsMs;
  if (pFellBack) *pFellBack = record.onsets.bFellBack;
  return true;
}

}  // namespace

bool LoadOrAlignOnsets(const std::string& takePath, int nPhrase, const std::string& shippedPath,
                       std::vector<int>* pOnsetsMs, bool* pFellBack) {
  return TakeOnsetsOf(takePath, nPhrase, shippedPath, true, pOnsetsMs, pFellBack);
}

TakeOnsets AlignTakeToShipped(const std::vector<std::int16_t>& take, int nPhrase,
                              const std::string& shippedPath) {
  const std::vector<std::int16_t> shipped = Samples(ReadShipped(shippedPath));
  return AlignTake(take.data(), take.size(), shipped.data(), shipped.size(), nPhrase);
}

bool LoadStoredOnsets(const std::string& takePath, int nPhrase, const std::string& shippedPath,
                      std::vector<int>* pOnsetsMs, bool* pFellBack) {
  return TakeOnsetsOf(takePath, nPhrase, shippedPath, false, pOnsetsMs, pFellBack);
}

}  // namespace solvari
