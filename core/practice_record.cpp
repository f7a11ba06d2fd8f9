// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/practice_record.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "core/instrument_settings.h"
#include "core/tempo.h"

namespace solvari {

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

// A record grows by a line of some 40 bytes per recitation; anything larger
// than this is no record of ours.
constexpr std::uintmax_t kMaxRecordBytes = 8u << 20;
constexpr std::size_t kMaxLineBytes = 80;

std::uint32_t Checksum(const std::string& text) {
  std::uint32_t h = 2166136261u;  // FNV-1a
  for (const unsigned char c : text) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

// Reads exactly nDigits decimal digits at pos.
bool Digits(const std::string& s, std::size_t& pos, std::size_t nDigits, int* pValue) {
  if (pos + nDigits > s.size()) return false;
  int v = 0;
  for (std::size_t i = 0; i < nDigits; ++i) {
    const char c = s[pos + i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  pos += nDigits;
  *pValue = v;
  return true;
}

// Reads 1 to nMaxDigits decimal digits at pos.
bool Number(const std::string& s, std::size_t& pos, std::size_t nMaxDigits, int* pValue) {
  std::size_t n = 0;
  while (pos + n < s.size() && n <= nMaxDigits && s[pos + n] >= '0' && s[pos + n] <= '9') ++n;
  if (n == 0 || n > nMaxDigits) return false;
  return Digits(s, pos, n, pValue);
}

bool Expect(const std::string& s, std::size_t& pos, char c) {
  if (pos >= s.size() || s[pos] != c) return false;
  ++pos;
  return true;
}

bool SyncFile(std::FILE* f) {
  if (std::fflush(f) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(f)) == 0;
#else
  return fsync(fileno(f)) == 0;
#endif
}

}  // namespace

// --- entries ----------------------------------------------------------------

PracticeEntry PracticeEntry::Now(int nRecitation, int nCount, int nTempo) {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  PracticeEntry e;
  e.date = year_month_day{year{tm.tm_year + 1900}, month{static_cast<unsigned>(tm.tm_mon + 1)},
                          day{static_cast<unsigned>(tm.tm_mday)}};
  e.nHour = tm.tm_hour;
  e.nMinute = tm.tm_min;
  e.nSecond = std::min(tm.tm_sec, 59);
  e.nRecitation = nRecitation;
  e.nCount = nCount;
  e.nTempo = nTempo;
  return e;
}

bool PracticeEntry::IsValid() const {
  return date.ok() && date.year() >= year{2000} && date.year() <= year{9999} && nHour >= 0 &&
         nHour < 24 && nMinute >= 0 && nMinute < 60 && nSecond >= 0 && nSecond < 60 &&
         nRecitation >= 1 && nRecitation <= 1'000'000 && nCount >= 0 &&
         nCount <= kMaxRecitationCount && nTempo >= kMinTempo && nTempo <= kMaxTempo;
}

std::string FormatPracticeLine(const PracticeEntry& e) {
  char text[128];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d %d/%d %d",
                static_cast<int>(e.date.year()), static_cast<unsigned>(e.date.month()),
                static_cast<unsigned>(e.date.day()), e.nHour, e.nMinute, e.nSecond, e.nRecitation,
                e.nCount, e.nTempo);
  char sum[16];
  std::snprintf(sum, sizeof sum, " *%08x", static_cast<unsigned>(Checksum(text)));
  return std::string(text) + sum;
}

bool ParsePracticeLine(const std::string& line, PracticeEntry* pEntry) {
  if (line.size() > kMaxLineBytes) return false;
  const std::size_t nStar = line.rfind(" *");
  if (nStar == std::string::npos || line.size() != nStar + 10) return false;
  const std::string text = line.substr(0, nStar);
  char sum[16];
  std::snprintf(sum, sizeof sum, "%08x", static_cast<unsigned>(Checksum(text)));
  if (line.compare(nStar + 2, 8, sum) != 0) return false;
  PracticeEntry e;
  int y = 0, m = 0, d = 0;
  std::size_t pos = 0;
  if (!Digits(text, pos, 4, &y) || !Expect(text, pos, '-') || !Digits(text, pos, 2, &m) ||
      !Expect(text, pos, '-') || !Digits(text, pos, 2, &d) || !Expect(text, pos, ' ') ||
      !Digits(text, pos, 2, &e.nHour) || !Expect(text, pos, ':') ||
      !Digits(text, pos, 2, &e.nMinute) || !Expect(text, pos, ':') ||
      !Digits(text, pos, 2, &e.nSecond) || !Expect(text, pos, ' ') ||
      !Number(text, pos, 7, &e.nRecitation) || !Expect(text, pos, '/') ||
      !Number(text, pos, 3, &e.nCount) || !Expect(text, pos, ' ') ||
      !Number(text, pos, 3, &e.nTempo) || pos != text.size())
    return false;
  e.date = year_month_day{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}};
  if (!e.IsValid() || FormatPracticeLine(e) != line) return false;
  *pEntry = e;
  return true;
}

// --- the file ---------------------------------------------------------------

CPracticeRecord::Status CPracticeRecord::ReadChecked(std::size_t* pKeepBytes, bool* pNeedsLineEnd) {
  m_entries.clear();
  *pKeepBytes = 0;
  *pNeedsLineEnd = false;
  std::error_code ec;
  const fs::file_status st = fs::status(m_strPath, ec);
  if (ec || !fs::exists(st)) return fs::exists(st) ? Status::Failed : Status::Ok;
  if (!fs::is_regular_file(st)) return Status::Failed;  // a folder or device: left alone
  const std::uintmax_t nSize = fs::file_size(m_strPath, ec);
  if (ec) return Status::Failed;
  bool bForeign = nSize > kMaxRecordBytes;
  std::string data;
  if (!bForeign) {
    std::ifstream in(m_strPath, std::ios::binary);
    if (!in) return Status::Failed;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return Status::Failed;
  }
  // Whole lines only: what follows the last line end is a write cut short.
  const std::size_t nWhole = data.rfind('\n') == std::string::npos ? 0 : data.rfind('\n') + 1;
  const std::string header = std::string(kPracticeRecordHeader) + "\n";
  bool bDamaged = false;
  if (!bForeign) {
    if (nWhole == 0) {
      // Not even the header was finished: a record begun and cut short, or
      // some other small file.
      bForeign = !header.starts_with(data);
    } else if (data.compare(0, header.size(), header) != 0) {
      bForeign = true;
    } else {
      std::size_t pos = header.size();
      while (pos < nWhole) {
        const std::size_t nEnd = data.find('\n', pos);
        PracticeEntry e;
        if (ParsePracticeLine(data.substr(pos, nEnd - pos), &e))
          m_entries.push_back(e);
        else
          bDamaged = true;
        pos = nEnd + 1;
      }
    }
  }
  // What follows the last line end is kept only when it is a whole entry
  // that lacks just its line end.
  std::size_t nKeep = nWhole;
  PracticeEntry tail;
  if (!bForeign && nWhole > 0 && nWhole < data.size() &&
      ParsePracticeLine(data.substr(nWhole), &tail)) {
    m_entries.push_back(tail);
    nKeep = data.size();
  }
  if (bForeign) m_entries.clear();
  if (!bForeign && !bDamaged) {
    *pKeepBytes = nKeep;
    *pNeedsLineEnd = nKeep != nWhole;
    return Status::Ok;
  }
  // Set aside; the intact entries of a damaged record go on in a new file.
  if (!SetAside()) {
    m_entries.clear();
    return Status::Failed;
  }
  if (!m_entries.empty() && !WriteFresh()) return Status::Failed;
  return Status::SetAside;
}

bool CPracticeRecord::SetAside() {
  std::error_code ec;
  for (int k = 1; k < 1000; ++k) {
    const std::string to = m_strPath + (k == 1 ? ".damaged" : ".damaged-" + std::to_string(k));
    if (fs::exists(to, ec) || ec) continue;
    fs::rename(m_strPath, to, ec);
    if (ec) return false;
    m_strSetAside = to;
    return true;
  }
  return false;
}

bool CPracticeRecord::WriteFresh() {
  // A new file beside it, renamed into place once it is on the disk.
  const std::string tmp = m_strPath + ".new";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) return false;
  std::string text = std::string(kPracticeRecordHeader) + "\n";
  for (const PracticeEntry& e : m_entries) text += FormatPracticeLine(e) + "\n";
  bool bOk = std::fwrite(text.data(), 1, text.size(), f) == text.size() && SyncFile(f);
  bOk = std::fclose(f) == 0 && bOk;
  std::error_code ec;
  if (bOk) fs::rename(tmp, m_strPath, ec);
  if (!bOk || ec) {
    fs::remove(tmp, ec);
    return false;
  }
  return true;
}

CPracticeRecord::Status CPracticeRecord::Load() {
  std::size_t nKeep = 0;
  bool bNeedsLineEnd = false;
  return ReadChecked(&nKeep, &bNeedsLineEnd);
}

CPracticeRecord::Status CPracticeRecord::Append(const PracticeEntry& entry) {
  if (!entry.IsValid()) return Status::Failed;
  std::size_t nGood = 0;
  bool bNeedsLineEnd = false;
  const Status read = ReadChecked(&nGood, &bNeedsLineEnd);
  if (read == Status::Failed) return Status::Failed;
  std::error_code ec;
  const bool bExists = fs::exists(m_strPath, ec);
  if (ec) return Status::Failed;
  if (bExists) {
    // A torn last line (a write cut short) is cut away; whole lines are kept.
    const std::uintmax_t nSize = fs::file_size(m_strPath, ec);
    if (ec) return Status::Failed;
    if (nSize != nGood) {
      fs::resize_file(m_strPath, nGood, ec);
      if (ec) return Status::Failed;
    }
  }
  std::FILE* f = std::fopen(m_strPath.c_str(), "ab");
  if (f == nullptr) return Status::Failed;
  std::string text;
  if (!bExists || nGood == 0) text = std::string(kPracticeRecordHeader) + "\n";
  if (bNeedsLineEnd) text = "\n";
  text += FormatPracticeLine(entry) + "\n";
  bool bOk = std::fwrite(text.data(), 1, text.size(), f) == text.size() && SyncFile(f);
  bOk = std::fclose(f) == 0 && bOk;
  if (!bOk) return Status::Failed;
  m_entries.push_back(entry);
  return read;
}

// --- the calendar -----------------------------------------------------------

std::map<Day, int> RecitationsPerDay(const std::vector<PracticeEntry>& entries, Day first,
                                     Day last) {
  std::map<Day, int> days;
  for (const PracticeEntry& e : entries) {
    if (!e.date.ok()) continue;
    const Day d{e.date};
    if (d >= first && d <= last) ++days[d];
  }
  return days;
}

int DaysPractised(const std::vector<PracticeEntry>& entries, Day first, Day last) {
  return static_cast<int>(RecitationsPerDay(entries, first, last).size());
}

int CurrentStreak(const std::vector<PracticeEntry>& entries, Day today) {
  std::set<Day> days;
  for (const PracticeEntry& e : entries)
    if (e.date.ok() && Day{e.date} <= today) days.insert(Day{e.date});
  Day d = days.count(today) != 0 ? today : today - std::chrono::days{1};
  int n = 0;
  while (days.count(d) != 0) {
    ++n;
    d -= std::chrono::days{1};
  }
  return n;
}

Day CalendarStart(Day today, int nMonths) {
  const year_month_day ymd{today};
  const year_month first = year_month{ymd.year(), ymd.month()} - months{std::max(1, nMonths) - 1};
  return Day{first / day{1}};
}

}  // namespace solvari
