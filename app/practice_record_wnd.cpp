// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/practice_record_wnd.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace solvari::app {

using namespace std::chrono;

Day ToDay(QDate date) {
  return Day{year{date.year()} / month{static_cast<unsigned>(date.month())} /
             day{static_cast<unsigned>(date.day())}};
}

QDate ToQDate(Day d) {
  const year_month_day ymd{d};
  return QDate(static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
               static_cast<int>(static_cast<unsigned>(ymd.day())));
}

CPracticeRecordWnd::CPracticeRecordWnd(const std::vector<PracticeEntry>& entries, QDate today,
                                       const QString& strNotice, QWidget* pParent)
    : QDialog(pParent) {
  setWindowTitle(tr("記録"));
  const Day last = ToDay(today);
  const Day first = CalendarStart(last, kMonthsShown);
  m_perDay = RecitationsPerDay(entries, first, last);
  m_nDays = static_cast<int>(m_perDay.size());
  for (const auto& [d, n] : m_perDay) m_nRecitations += n;
  m_nStreak = CurrentStreak(entries, last);

  auto* pLayout = new QVBoxLayout(this);
  m_pNotice = new QLabel(strNotice, this);
  m_pNotice->setWordWrap(true);
  m_pNotice->setVisible(!strNotice.isEmpty());
  pLayout->addWidget(m_pNotice);

  auto* pMonths = new QHBoxLayout;
  // The months in order, the current one last.
  const QDate start = ToQDate(first);
  for (int k = 0; k < kMonthsShown; ++k) {
    const QDate m = start.addMonths(k);
    pMonths->addWidget(MakeMonth(m.year(), m.month(), today));
  }
  pLayout->addLayout(pMonths);

  m_pSummary = new QLabel(
      tr("この%1か月で %2日、%3回").arg(kMonthsShown).arg(m_nDays).arg(m_nRecitations), this);
  m_pStreak = new QLabel(tr("連続 %1日").arg(m_nStreak), this);
  pLayout->addWidget(m_pSummary);
  pLayout->addWidget(m_pStreak);

  m_pClose = new QPushButton(tr("閉じる"), this);
  m_pClose->setDefault(true);
  connect(m_pClose, &QPushButton::clicked, this, &QDialog::accept);
  auto* pButtons = new QHBoxLayout;
  pButtons->addStretch();
  pButtons->addWidget(m_pClose);
  pLayout->addLayout(pButtons);
}

QWidget* CPracticeRecordWnd::MakeMonth(int nYear, int nMonth, QDate today) {
  auto* pMonth = new QWidget(this);
  auto* pGrid = new QGridLayout(pMonth);
  pGrid->setSpacing(2);
  auto* pTitle = new QLabel(tr("%1年%2月").arg(nYear).arg(nMonth), pMonth);
  pTitle->setAlignment(Qt::AlignCenter);
  pGrid->addWidget(pTitle, 0, 0, 1, 7);
  const QString weekdays[] = {tr("日"), tr("月"), tr("火"), tr("水"), tr("木"), tr("金"), tr("土")};
  for (int c = 0; c < 7; ++c) {
    auto* pHead = new QLabel(weekdays[c], pMonth);
    pHead->setAlignment(Qt::AlignCenter);
    pGrid->addWidget(pHead, 1, c);
  }
  const QDate first(nYear, nMonth, 1);
  const int nLead = first.dayOfWeek() % 7;  // Sunday first
  for (int d = 1; d <= first.daysInMonth(); ++d) {
    const QDate date(nYear, nMonth, d);
    const auto it = m_perDay.find(ToDay(date));
    const int n = it == m_perDay.end() ? 0 : it->second;
    auto* pCell = new QLabel(pMonth);
    pCell->setAlignment(Qt::AlignCenter);
    pCell->setMinimumSize(30, 30);
    // The day, and below it how many times it was recited.
    pCell->setText(n > 0 ? QStringLiteral("%1\n%2").arg(d).arg(n) : QString::number(d));
    if (n > 0) {
      pCell->setStyleSheet(QStringLiteral("background:#2e7d32;color:white;"));
      pCell->setToolTip(tr("%1回").arg(n));
    } else if (date > today) {
      pCell->setEnabled(false);
    }
    if (date == today) pCell->setFrameStyle(QFrame::Box);
    const int nCell = nLead + d - 1;
    pGrid->addWidget(pCell, 2 + nCell / 7, nCell % 7);
    m_cells[date] = pCell;
  }
  return pMonth;
}

QLabel* CPracticeRecordWnd::DayCell(QDate date) const {
  const auto it = m_cells.find(date);
  return it == m_cells.end() ? nullptr : it->second;
}

}  // namespace solvari::app
