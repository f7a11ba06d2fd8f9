// SPDX-License-Identifier: GPL-3.0-or-later
// The practice record on disk: entries kept across a write cut short at any
// byte, foreign and damaged files set aside and never written to, lines that
// check themselves; and the calendar: recitations per day, days practised,
// the current streak.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/practice_record.h"

namespace solvari {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using Status = CPracticeRecord::Status;

PracticeEntry Entry(int y, unsigned m, unsigned d, int nRecitation = 1, int nCount = 0,
                    int nTempo = 100) {
  PracticeEntry e;
  e.date = year{y} / month{m} / day{d};
  e.nHour = 6;
  e.nMinute = 30;
  e.nSecond = 5;
  e.nRecitation = nRecitation;
  e.nCount = nCount;
  e.nTempo = nTempo;
  return e;
}

Day D(int y, unsigned m, unsigned d) { return Day{year{y} / month{m} / day{d}}; }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class PracticeRecordFile : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("solvari-record-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_path = (m_dir / "practice.txt").string();
  }
  void TearDown() override { fs::remove_all(m_dir); }
  // A record of three entries, as the program writes it.
  std::vector<PracticeEntry> WriteThree() {
    const std::vector<PracticeEntry> v{Entry(2026, 12, 8), Entry(2026, 12, 9, 2, 7, 75),
                                       Entry(2026, 12, 10, 21, 21, 150)};
    CPracticeRecord record(m_path);
    for (const auto& e : v) EXPECT_EQ(record.Append(e), Status::Ok);
    return v;
  }
  fs::path m_dir;
  std::string m_path;
};

TEST_F(PracticeRecordFile, EntriesAreAppendedAndReadBack) {
  CPracticeRecord empty(m_path);
  EXPECT_EQ(empty.Load(), Status::Ok);  // no file yet: an empty record
  EXPECT_TRUE(empty.Entries().empty());
  const auto v = WriteThree();
  EXPECT_EQ(ReadAll(m_path), std::string(kPracticeRecordHeader) + "\n" + FormatPracticeLine(v[0]) +
                                 "\n" + FormatPracticeLine(v[1]) + "\n" + FormatPracticeLine(v[2]) +
                                 "\n");
  CPracticeRecord record(m_path);
  EXPECT_EQ(record.Load(), Status::Ok);
  EXPECT_EQ(record.Entries(), v);
  EXPECT_TRUE(record.SetAsidePath().empty());
}

TEST_F(PracticeRecordFile, AWriteCutShortAtAnyByteLosesNothingEarlier) {
  const auto v = WriteThree();
  const std::string whole = ReadAll(m_path);
  const std::string next = FormatPracticeLine(Entry(2026, 12, 11)) + "\n";
  // The fourth entry's write stopped after k of its bytes.
  for (std::size_t k = 0; k < next.size(); ++k) {
    WriteAll(m_path, whole + next.substr(0, k));
    // Cut just before its line end, the entry itself is whole and kept.
    const bool bWhole = k == next.size() - 1;
    std::vector<PracticeEntry> expected = v;
    if (bWhole) expected.push_back(Entry(2026, 12, 11));
    CPracticeRecord record(m_path);
    ASSERT_EQ(record.Load(), Status::Ok) << k;
    EXPECT_EQ(record.Entries(), expected) << k;
    // The next entry goes on cleanly after the whole lines.
    EXPECT_EQ(record.Append(Entry(2026, 12, 12)), Status::Ok) << k;
    EXPECT_EQ(ReadAll(m_path), whole + (bWhole ? next : std::string()) +
                                   FormatPracticeLine(Entry(2026, 12, 12)) + "\n")
        << k;
    EXPECT_FALSE(fs::exists(m_path + ".damaged")) << k;
  }
}

TEST_F(PracticeRecordFile, AHeaderCutShortStartsTheRecordAfresh) {
  const std::string header = std::string(kPracticeRecordHeader) + "\n";
  for (std::size_t k = 0; k < header.size(); ++k) {
    WriteAll(m_path, header.substr(0, k));
    CPracticeRecord record(m_path);
    EXPECT_EQ(record.Load(), Status::Ok) << k;
    EXPECT_EQ(record.Append(Entry(2026, 1, 1)), Status::Ok) << k;
    EXPECT_EQ(ReadAll(m_path), header + FormatPracticeLine(Entry(2026, 1, 1)) + "\n") << k;
  }
}

TEST_F(PracticeRecordFile, AForeignFileIsSetAsideAndNeverWrittenTo) {
  const std::string foreign = "[Settings]\nwhatever=1\n";
  WriteAll(m_path, foreign);
  CPracticeRecord record(m_path);
  EXPECT_EQ(record.Load(), Status::SetAside);
  EXPECT_EQ(record.SetAsidePath(), m_path + ".damaged");
  EXPECT_EQ(ReadAll(m_path + ".damaged"), foreign);
  EXPECT_FALSE(fs::exists(m_path));
  EXPECT_TRUE(record.Entries().empty());
  // The record starts anew; a second foreign file does not replace the first.
  EXPECT_EQ(record.Append(Entry(2026, 3, 3)), Status::Ok);
  WriteAll(m_path, "another program's file");
  EXPECT_EQ(record.Append(Entry(2026, 3, 4)), Status::SetAside);
  EXPECT_EQ(record.SetAsidePath(), m_path + ".damaged-2");
  EXPECT_EQ(ReadAll(m_path + ".damaged"), foreign);
  EXPECT_EQ(ReadAll(m_path + ".damaged-2"), "another program's file");
  EXPECT_EQ(record.Entries(), std::vector<PracticeEntry>{Entry(2026, 3, 4)});
}

TEST_F(PracticeRecordFile, ADamagedLineSetsTheFileAsideAndKeepsTheIntactEntries) {
  const auto v = WriteThree();
  std::string text = ReadAll(m_path);
  const std::size_t nSecond = text.find(FormatPracticeLine(v[1]));
  text[nSecond + 9] = text[nSecond + 9] == '9' ? '8' : '9';  // the day of the second entry
  WriteAll(m_path, text);
  CPracticeRecord record(m_path);
  EXPECT_EQ(record.Load(), Status::SetAside);
  EXPECT_EQ(ReadAll(record.SetAsidePath()), text);  // kept as it was
  EXPECT_EQ(record.Entries(), (std::vector<PracticeEntry>{v[0], v[2]}));
  CPracticeRecord again(m_path);
  EXPECT_EQ(again.Load(), Status::Ok);
  EXPECT_EQ(again.Entries(), (std::vector<PracticeEntry>{v[0], v[2]}));
}

TEST_F(PracticeRecordFile, WhatCannotBeReadIsLeftAlone) {
  fs::create_directories(m_path);  // a folder where the file should be
  CPracticeRecord record(m_path);
  EXPECT_EQ(record.Load(), Status::Failed);
  EXPECT_EQ(record.Append(Entry(2026, 5, 5)), Status::Failed);
  EXPECT_TRUE(fs::is_directory(m_path));
  EXPECT_TRUE(record.SetAsidePath().empty());
  CPracticeRecord bad((m_dir / "no-such-folder" / "practice.txt").string());
  EXPECT_EQ(bad.Append(Entry(2026, 5, 5)), Status::Failed);
  EXPECT_TRUE(bad.Entries().empty());
  PracticeEntry invalid = Entry(2026, 2, 30);
  CPracticeRecord fine(m_path + "2");
  EXPECT_EQ(fine.Append(invalid), Status::Failed);
  EXPECT_FALSE(fs::exists(m_path + "2"));
}

TEST(PracticeLine, EveryChangedByteIsCaught) {
  const PracticeEntry e = Entry(2026, 12, 10, 2, 7, 125);
  const std::string line = FormatPracticeLine(e);
  PracticeEntry parsed;
  ASSERT_TRUE(ParsePracticeLine(line, &parsed));
  EXPECT_EQ(parsed, e);
  for (std::size_t i = 0; i < line.size(); ++i) {
    for (const char c : {'0', '7', 'x', ' ', '\0', '*', '-'}) {
      if (line[i] == c) continue;
      std::string bad = line;
      bad[i] = c;
      EXPECT_FALSE(ParsePracticeLine(bad, &parsed)) << bad;
    }
    EXPECT_FALSE(ParsePracticeLine(line.substr(0, i), &parsed)) << i;
  }
  EXPECT_FALSE(ParsePracticeLine(line + " ", &parsed));
  EXPECT_FALSE(ParsePracticeLine(std::string(500, '9'), &parsed));
}

TEST(PracticeCalendar, RecitationsPerDayAndDaysPractised) {
  const std::vector<PracticeEntry> v{Entry(2026, 11, 30),      Entry(2026, 12, 1, 1, 3),
                                     Entry(2026, 12, 1, 2, 3), Entry(2026, 12, 1, 3, 3),
                                     Entry(2026, 12, 5),       Entry(2027, 1, 1)};
  const auto days = RecitationsPerDay(v, D(2026, 12, 1), D(2026, 12, 31));
  EXPECT_EQ(days, (std::map<Day, int>{{D(2026, 12, 1), 3}, {D(2026, 12, 5), 1}}));
  EXPECT_EQ(DaysPractised(v, D(2026, 11, 1), D(2027, 1, 31)), 4);
  EXPECT_EQ(DaysPractised(v, D(2026, 12, 2), D(2026, 12, 4)), 0);
}

TEST(PracticeCalendar, TheStreakRunsUpToTodayOrYesterday) {
  std::vector<PracticeEntry> v{Entry(2026, 12, 28), Entry(2026, 12, 30), Entry(2026, 12, 31),
                               Entry(2027, 1, 1), Entry(2027, 1, 1, 2)};
  EXPECT_EQ(CurrentStreak(v, D(2027, 1, 1)), 3);  // across the year's end
  EXPECT_EQ(CurrentStreak(v, D(2027, 1, 2)), 3);  // today not practised yet
  EXPECT_EQ(CurrentStreak(v, D(2027, 1, 3)), 0);  // a day missed
  EXPECT_EQ(CurrentStreak(v, D(2026, 12, 30)), 1);
  EXPECT_EQ(CurrentStreak({}, D(2027, 1, 1)), 0);
}

TEST(PracticeCalendar, TheWindowStartsOnTheFirstOfAMonth) {
  EXPECT_EQ(CalendarStart(D(2026, 2, 15), 3), D(2025, 12, 1));
  EXPECT_EQ(CalendarStart(D(2026, 12, 31), 1), D(2026, 12, 1));
  EXPECT_EQ(CalendarStart(D(2026, 3, 31), 0), D(2026, 3, 1));
}

}  // namespace
}  // namespace solvari
