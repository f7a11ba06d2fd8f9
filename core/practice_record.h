// SPDX-License-Identifier: GPL-3.0-or-later
// The practice record: one line for every recitation that reached the end of
// the text, with its date and time, which recitation of how many it was, and
// its tempo; and what the record window shows of it: the days practised, the
// recitations of each day and the current streak.
//
// The file is plain text, a header line and then one self-checking line per
// entry, each appended and flushed to the disk on its own:
//   # Solvari practice record 1
//   2026-12-10 06:31:05 2/7 100 *5f3a09c1
// A write cut short leaves at most a torn last line, which is ignored and
// cut away before the next entry (one cut just before its line end is kept);
// every earlier line stays as it was. A file
// that is not a record, or one with a damaged line, is set aside under a new
// name and reported, never written to.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace solvari {

struct PracticeEntry {
  std::chrono::year_month_day date{};
  int nHour = 0;
  int nMinute = 0;
  int nSecond = 0;
  int nRecitation = 1;  // which recitation of the reading, from 1
  int nCount = 0;       // how many the reading was set to; 0 endless
  int nTempo = 100;     // percent of the recorded pace

  // An entry for now, by the local clock.
  static PracticeEntry Now(int nRecitation, int nCount, int nTempo);
  bool IsValid() const;
  bool operator==(const PracticeEntry&) const = default;
};

// The line of an entry (without its line end), and an entry from a line;
// false for anything that is not a whole, intact entry line.
std::string FormatPracticeLine(const PracticeEntry& entry);
bool ParsePracticeLine(const std::string& line, PracticeEntry* pEntry);

inline constexpr const char* kPracticeRecordHeader = "# Solvari practice record 1";

class CPracticeRecord {
 public:
  enum class Status {
    Ok,        // read (or not there yet: an empty record)
    SetAside,  // not a record, or damaged: renamed to SetAsidePath(); the
               // entries it held intact are kept in a new file
    Failed     // could not be read, set aside or written; nothing was changed
  };

  // path: the record file, in the user's data folder.
  explicit CPracticeRecord(std::string path) : m_strPath(std::move(path)) {}

  // Reads the file; a foreign or damaged one is set aside first.
  Status Load();
  // Appends one entry (the file is checked first, as by Load, when it has
  // not been read or has changed since). Entries() then holds it too.
  Status Append(const PracticeEntry& entry);

  const std::vector<PracticeEntry>& Entries() const { return m_entries; }
  const std::string& Path() const { return m_strPath; }
  // Where the last file set aside went (empty when none was).
  const std::string& SetAsidePath() const { return m_strSetAside; }

 private:
  // Reads and checks the file; *pKeepBytes is how much of it the next entry
  // follows, *pNeedsLineEnd whether a line end must come first.
  Status ReadChecked(std::size_t* pKeepBytes, bool* pNeedsLineEnd);
  bool SetAside();
  bool WriteFresh();

  std::string m_strPath;
  std::string m_strSetAside;
  std::vector<PracticeEntry> m_entries;
};

// --- what the record window shows -------------------------------------------

using Day = std::chrono::sys_days;

// Recitations on each day from first to last (both included); days without
// any are left out.
std::map<Day, int> RecitationsPerDay(const std::vector<PracticeEntry>& entries, Day first,
                                     Day last);
// How many days from first to last have at least one recitation.
int DaysPractised(const std::vector<PracticeEntry>& entries, Day first, Day last);
// Days in a row with a recitation, up to today, or up to yesterday while
// today has none yet (the streak is not broken before the day is over).
int CurrentStreak(const std::vector<PracticeEntry>& entries, Day today);
// The first day of a calendar of nMonths months ending with today's month.
Day CalendarStart(Day today, int nMonths);

}  // namespace solvari
