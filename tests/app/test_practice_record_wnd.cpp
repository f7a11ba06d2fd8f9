// SPDX-License-Identifier: GPL-3.0-or-later
// The practice record window on the offscreen platform: the calendar of the
// last months with the recitations of each day, the days practised, the
// streak, and the notice of a record set aside.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "app/practice_record_wnd.h"

using namespace solvari;
using namespace solvari::app;

namespace {

PracticeEntry On(QDate date, int nRecitation = 1) {
  PracticeEntry e;
  e.date = std::chrono::year_month_day{ToDay(date)};
  e.nHour = 7;
  e.nRecitation = nRecitation;
  return e;
}

}  // namespace

class PracticeRecordWndTest : public QObject {
  Q_OBJECT

 private slots:
  void datesConvertBothWays() {
    for (const QDate d : {QDate(2026, 12, 31), QDate(2027, 1, 1), QDate(2028, 2, 29)}) {
      QCOMPARE(ToQDate(ToDay(d)), d);
    }
    QCOMPARE(ToDay(QDate(2027, 1, 1)) - ToDay(QDate(2026, 12, 31)), std::chrono::days{1});
  }

  void showsTheDaysTheirCountsAndTheStreak() {
    const QDate today(2027, 1, 10);
    std::vector<PracticeEntry> entries{
        On(QDate(2026, 9, 30)),  // before the window: not shown, not counted
        On(QDate(2026, 11, 2)),   On(QDate(2027, 1, 8)),    On(QDate(2027, 1, 9), 1),
        On(QDate(2027, 1, 9), 2), On(QDate(2027, 1, 9), 3), On(QDate(2027, 1, 10))};
    CPracticeRecordWnd wnd(entries, today);
    QCOMPARE(wnd.DaysPractised(), 4);
    QCOMPARE(wnd.Recitations(), 6);
    QCOMPARE(wnd.Streak(), 3);
    QVERIFY(wnd.Summary()->text().contains(QStringLiteral("4")));
    QVERIFY(wnd.StreakLabel()->text().contains(QStringLiteral("3")));
    // Three months: November, December and January, every day in them.
    QVERIFY(wnd.DayCell(QDate(2026, 11, 1)) != nullptr);
    QVERIFY(wnd.DayCell(QDate(2027, 1, 31)) != nullptr);
    QVERIFY(wnd.DayCell(QDate(2026, 10, 31)) == nullptr);
    QCOMPARE(wnd.DayCell(QDate(2027, 1, 9))->text(), QStringLiteral("9\n3"));
    QCOMPARE(wnd.DayCell(QDate(2026, 11, 2))->text(), QStringLiteral("2\n1"));
    QCOMPARE(wnd.DayCell(QDate(2026, 12, 25))->text(), QStringLiteral("25"));
    QVERIFY(!wnd.DayCell(QDate(2027, 1, 20))->isEnabled());  // still to come
    QVERIFY(wnd.Notice()->isHidden());
  }

  void anEmptyRecordAndANotice() {
    CPracticeRecordWnd wnd({}, QDate(2026, 3, 1), QStringLiteral("set aside"));
    QCOMPARE(wnd.DaysPractised(), 0);
    QCOMPARE(wnd.Streak(), 0);
    QVERIFY(!wnd.Notice()->isHidden());
    QCOMPARE(wnd.Notice()->text(), QStringLiteral("set aside"));
  }

  void closes() {
    CPracticeRecordWnd wnd({}, QDate(2026, 3, 1));
    wnd.show();
    QPushButton* pClose = wnd.findChild<QPushButton*>();
    QVERIFY(pClose != nullptr);
    pClose->click();
    QCOMPARE(wnd.result(), static_cast<int>(QDialog::Accepted));
    QVERIFY(!wnd.isVisible());
  }

  // With SOLVARI_SCREENSHOT=FILE.png: the window over a few weeks of
  // practice (for the README).
  void screenshot() {
    const QByteArray path = qgetenv("SOLVARI_SCREENSHOT");
    if (path.isEmpty()) QSKIP("SOLVARI_SCREENSHOT not set");
    const QDate today(2027, 1, 20);
    std::vector<PracticeEntry> entries;
    for (int d = 60; d >= 0; --d) {
      const QDate date = today.addDays(-d);
      if (d > 12 && (d % 3 == 0 || d % 7 == 2)) continue;  // days missed, then a streak
      for (int n = 1; n <= (d % 4 == 0 ? 3 : 1); ++n) entries.push_back(On(date, n));
    }
    CPracticeRecordWnd wnd(entries, today);
    wnd.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wnd));
    QVERIFY(wnd.grab().save(QString::fromLocal8Bit(path)));
  }
};

QTEST_MAIN(PracticeRecordWndTest)
#include "test_practice_record_wnd.moc"
