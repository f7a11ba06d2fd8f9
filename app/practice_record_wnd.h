// SPDX-License-Identifier: GPL-3.0-or-later
// The practice record window (ﾌｧｲﾙ → 記録...): a calendar of the last months
// with the number of recitations on each day practised, the days practised
// in that time and the current streak. It only shows; the record itself is
// read and kept by the caller (core/practice_record.h).
#pragma once

#include <QCoreApplication>
#include <QDate>
#include <QDialog>
#include <QString>
#include <map>
#include <vector>

#include "core/practice_record.h"

class QLabel;
class QPushButton;

namespace solvari::app {

class CPracticeRecordWnd : public QDialog {
  Q_DECLARE_TR_FUNCTIONS(CPracticeRecordWnd)

 public:
  static constexpr int kMonthsShown = 3;

  // today: the local date the calendar ends with. strNotice, when not empty,
  // is shown above the calendar (a record that had to be set aside).
  CPracticeRecordWnd(const std::vector<PracticeEntry>& entries, QDate today,
                     const QString& strNotice = QString(), QWidget* pParent = nullptr);

  // What the window shows, for its callers and tests.
  int DaysPractised() const { return m_nDays; }
  int Recitations() const { return m_nRecitations; }
  int Streak() const { return m_nStreak; }
  // The cell of a day in the calendar (nullptr outside it).
  QLabel* DayCell(QDate date) const;
  QLabel* Summary() const { return m_pSummary; }
  QLabel* StreakLabel() const { return m_pStreak; }
  QLabel* Notice() const { return m_pNotice; }

 private:
  QWidget* MakeMonth(int nYear, int nMonth, QDate today);

  std::map<Day, int> m_perDay;
  std::map<QDate, QLabel*> m_cells;
  int m_nDays = 0;
  int m_nRecitations = 0;
  int m_nStreak = 0;
  QLabel* m_pSummary = nullptr;
  QLabel* m_pStreak = nullptr;
  QLabel* m_pNotice = nullptr;
  QPushButton* m_pClose = nullptr;
};

// A local date as the record keeps it, and back.
Day ToDay(QDate date);
QDate ToQDate(Day day);

}  // namespace solvari::app
