// The record calendar: the month grid (Sunday first, neighbouring months'
// days, leap years), the marks of the disk and local pages, following the
// record lists' current date, navigation and picking a day.

#include "app/records/Calendar.h"
#include "app/records/CalendarArrowButton.h"
#include "app/records/CalendarDateWidget.h"
#include "app/records/CalendarWeekWidget.h"
#include "app/records/CalendarWidget.h"
#include "app/shell/GlobalAppData.h"

#include <QAction>
#include <QDateEdit>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

// Cell index of a day of the shown month.
int cellOf(const CDateWidget* grid, int day)
{
    return grid->firstCell() + day - 1;
}

}  // namespace

class TestCalendar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void firstCellIsTheWeekdayOfTheFirst_data();
    void firstCellIsTheWeekdayOfTheFirst();
    void monthLengthsFollowTheGregorianCalendar_data();
    void monthLengthsFollowTheGregorianCalendar();
    void neighbouringMonthsCrossTheYear();
    void weekStartsOnSunday();

    void marksComeFromThePagesOwnDays();
    void clearingForgetsOnlyThePagesOwnDays();

    void followsTheCurrentDateOfTheRecordLists();
    void arrowsAndMonthMenuNavigate();
    void pickingADayOfTheMonth();
    void pickingADayOfAnotherMonthGoesThere();

private:
    QTemporaryDir m_dir;
};

void TestCalendar::initTestCase()
{
    QVERIFY(m_dir.isValid());
    CGlobalAppData::setAppDir(m_dir.path());
}

void TestCalendar::cleanupTestCase()
{
    CGlobalAppData::release();
}

void TestCalendar::init()
{
    CGlobalAppData* data = CGlobalAppData::instance();
    data->clearRecordDates(CGlobalAppData::DiskDates);
    data->clearRecordDates(CGlobalAppData::LocalDates);
    data->currentDate = QDate::currentDate();
}

void TestCalendar::firstCellIsTheWeekdayOfTheFirst_data()
{
    QTest::addColumn<QDate>("month");
    QTest::addColumn<int>("firstCell");
    QTest::newRow("starts on Sunday: second row") << QDate(2024, 9, 1) << 7;
    QTest::newRow("starts on Monday") << QDate(2024, 1, 1) << 1;
    QTest::newRow("starts on Saturday") << QDate(2024, 6, 1) << 6;
    QTest::newRow("starts on Tuesday") << QDate(2024, 10, 1) << 2;
}

void TestCalendar::firstCellIsTheWeekdayOfTheFirst()
{
    QFETCH(QDate, month);
    QFETCH(int, firstCell);
    CDateWidget grid(CCalendar::DiskMode);
    grid.showMonth(month.addDays(14));
    QCOMPARE(grid.shownMonth(), month);
    QCOMPARE(grid.firstCell(), firstCell);
    QCOMPARE(grid.cellDate(firstCell), month);
    QCOMPARE(grid.cellButton(firstCell)->text(), QString("1"));
    QVERIFY(grid.cellButton(firstCell)->isCheckable());
    // Every cell before the 1st is the previous month, counting back by days.
    for (int i = 0; i < firstCell; ++i) {
        QCOMPARE(grid.cellDate(i), month.addDays(i - firstCell));
        QVERIFY(!grid.cellButton(i)->isCheckable());
        QCOMPARE(grid.cellButton(i)->text(), QString::number(grid.cellDate(i).day()));
    }
    // Cells are consecutive days throughout the grid.
    for (int i = 1; i < CDateWidget::kCells; ++i)
        QCOMPARE(grid.cellDate(i - 1).addDays(1), grid.cellDate(i));
    // Column of each cell is its weekday, Sunday first.
    for (int i = 0; i < CDateWidget::kCells; ++i)
        QCOMPARE(grid.cellDate(i).dayOfWeek() % 7, i % 7);
}

void TestCalendar::monthLengthsFollowTheGregorianCalendar_data()
{
    QTest::addColumn<QDate>("month");
    QTest::addColumn<int>("days");
    QTest::newRow("February of a leap year") << QDate(2024, 2, 1) << 29;
    QTest::newRow("February of a common year") << QDate(2023, 2, 1) << 28;
    QTest::newRow("February 2000 (divisible by 400)") << QDate(2000, 2, 1) << 29;
    QTest::newRow("February 2100 (century)") << QDate(2100, 2, 1) << 28;
    QTest::newRow("April") << QDate(2024, 4, 1) << 30;
    QTest::newRow("December") << QDate(2024, 12, 1) << 31;
}

void TestCalendar::monthLengthsFollowTheGregorianCalendar()
{
    QFETCH(QDate, month);
    QFETCH(int, days);
    CDateWidget grid(CCalendar::DiskMode);
    grid.showMonth(month);
    QCOMPARE(grid.lastCell() - grid.firstCell() + 1, days);
    QCOMPARE(grid.cellButton(grid.lastCell())->text(), QString::number(days));
    QVERIFY(grid.cellButton(grid.lastCell())->isCheckable());
    QCOMPARE(grid.cellButton(grid.lastCell() + 1)->text(), QString("1"));
    QVERIFY(!grid.cellButton(grid.lastCell() + 1)->isCheckable());
    QCOMPARE(grid.cellDate(grid.lastCell() + 1), month.addMonths(1));
}

void TestCalendar::neighbouringMonthsCrossTheYear()
{
    CDateWidget grid(CCalendar::DiskMode);
    grid.showMonth(QDate(2025, 1, 15));   // 1 January 2025 is a Wednesday
    QCOMPARE(grid.cellDate(0), QDate(2024, 12, 29));
    grid.showMonth(QDate(2024, 12, 3));
    QCOMPARE(grid.cellDate(CDateWidget::kCells - 1).year(), 2025);
    QCOMPARE(grid.cellDate(grid.lastCell() + 1), QDate(2025, 1, 1));
}

void TestCalendar::weekStartsOnSunday()
{
    CWeekWidget week;
    QCOMPARE(week.dayLabel(0)->text(), QString("Sun"));
    QCOMPARE(week.dayLabel(6)->text(), QString("Sat"));
}

void TestCalendar::marksComeFromThePagesOwnDays()
{
    CGlobalAppData* data = CGlobalAppData::instance();
    // On disk and in a local folder; only in a local folder; a day of the
    // previous month that shows in May's first row.
    data->addRecordDate(CGlobalAppData::DiskDates, QDate(2024, 5, 10));
    data->addRecordDate(CGlobalAppData::LocalDates, QDate(2024, 5, 10));
    data->addRecordDate(CGlobalAppData::LocalDates, QDate(2024, 5, 11));
    data->addRecordDate(CGlobalAppData::DiskDates, QDate(2024, 4, 30));

    CCalendar disk(nullptr, CCalendar::DiskMode);
    CCalendar local(nullptr, CCalendar::LocalMode);
    for (CCalendar* calendar : {&disk, &local})
        calendar->onUpdateRecord(QDate(2024, 5, 20));
    CDateWidget* diskGrid = disk.calendarWidget()->dateWidget();
    CDateWidget* localGrid = local.calendarWidget()->dateWidget();

    QVERIFY(diskGrid->isMarked(cellOf(diskGrid, 10)));
    QVERIFY(!diskGrid->isMarked(cellOf(diskGrid, 11)));
    QVERIFY(localGrid->isMarked(cellOf(localGrid, 10)));
    QVERIFY(localGrid->isMarked(cellOf(localGrid, 11)));
    QVERIFY2(!diskGrid->isMarked(0), "days of other months are never marked");
    QCOMPARE(diskGrid->cellDate(2), QDate(2024, 4, 30));

    int marked = 0;
    for (int i = 0; i < CDateWidget::kCells; ++i)
        marked += diskGrid->isMarked(i) ? 1 : 0;
    QCOMPARE(marked, 1);

    QVERIFY(diskGrid->cellButton(cellOf(diskGrid, 10))->styleSheet()
            != diskGrid->cellButton(cellOf(diskGrid, 11))->styleSheet());

    // Marks of a month shown later come from the same days.
    disk.onNextMonth();
    for (int i = 0; i < CDateWidget::kCells; ++i)
        QVERIFY(!diskGrid->isMarked(i));
    disk.onPrevMonth();
    QVERIFY(diskGrid->isMarked(cellOf(diskGrid, 10)));
}

void TestCalendar::clearingForgetsOnlyThePagesOwnDays()
{
    CGlobalAppData* data = CGlobalAppData::instance();
    data->addRecordDate(CGlobalAppData::DiskDates, QDate(2024, 5, 10));
    data->addRecordDate(CGlobalAppData::LocalDates, QDate(2024, 5, 10));
    CCalendar disk(nullptr, CCalendar::DiskMode);
    CCalendar local(nullptr, CCalendar::LocalMode);
    disk.onUpdateRecord(QDate(2024, 5, 1));
    local.onUpdateRecord(QDate(2024, 5, 1));
    CDateWidget* diskGrid = disk.calendarWidget()->dateWidget();
    QVERIFY(diskGrid->isMarked(cellOf(diskGrid, 10)));

    disk.clearMarks();
    QVERIFY(!diskGrid->isMarked(cellOf(diskGrid, 10)));
    QVERIFY(data->diskRecordDates.empty());
    QCOMPARE(int(data->localRecordDates.size()), 1);
    CDateWidget* localGrid = local.calendarWidget()->dateWidget();
    QVERIFY(localGrid->isMarked(cellOf(localGrid, 10)));

    // A new load adds its days and refreshes the marks.
    data->addRecordDate(CGlobalAppData::DiskDates, QDate(2024, 5, 12));
    disk.refreshMarks();
    QVERIFY(diskGrid->isMarked(cellOf(diskGrid, 12)));
}

void TestCalendar::followsTheCurrentDateOfTheRecordLists()
{
    CCalendar calendar(nullptr, CCalendar::DiskMode);
    QSignalSpy clicked(&calendar, &CCalendar::clicked);
    CGlobalAppData::instance()->setCurrentDate(QDate(2023, 2, 14));
    QCOMPARE(calendar.shownMonth(), QDate(2023, 2, 1));
    QCOMPARE(calendar.selectedDate(), QDate(2023, 2, 14));
    CDateWidget* grid = calendar.calendarWidget()->dateWidget();
    QVERIFY(grid->cellButton(cellOf(grid, 14))->isChecked());
    QVERIFY(!grid->cellButton(cellOf(grid, 13))->isChecked());
    QCOMPARE(calendar.monthButton()->text(), QString("February"));
    QCOMPARE(calendar.yearEdit()->date().year(), 2023);
    QCOMPARE(clicked.count(), 0);
}

void TestCalendar::arrowsAndMonthMenuNavigate()
{
    CCalendar calendar(nullptr, CCalendar::LocalMode);
    QCOMPARE(calendar.objectName(), QString("CCalendar"));
    QCOMPARE(calendar.monthButton()->objectName(), QString("MonthButton"));
    QCOMPARE(calendar.yearEdit()->objectName(), QString("YearTimeEdit"));
    QCOMPARE(calendar.yearEdit()->displayFormat(), QString("yyyy"));
    QCOMPARE(calendar.prevMonthButton()->iconName(), QString("ArrowLeft"));
    QVERIFY(calendar.nextYearButton()->styleSheet().contains(m_dir.path() + "/skin/icons/ArrowRight_hover.png"));

    calendar.onUpdateRecord(QDate(2024, 12, 5));
    QTest::mouseClick(calendar.nextMonthButton(), Qt::LeftButton);
    QCOMPARE(calendar.shownMonth(), QDate(2025, 1, 1));
    QCOMPARE(calendar.monthButton()->text(), QString("January"));
    QCOMPARE(calendar.yearEdit()->date().year(), 2025);
    QTest::mouseClick(calendar.prevMonthButton(), Qt::LeftButton);
    QTest::mouseClick(calendar.prevMonthButton(), Qt::LeftButton);
    QCOMPARE(calendar.shownMonth(), QDate(2024, 11, 1));
    QCOMPARE(calendar.monthButton()->text(), QString("November"));

    QTest::mouseClick(calendar.nextYearButton(), Qt::LeftButton);
    QCOMPARE(calendar.shownMonth(), QDate(2025, 11, 1));
    QCOMPARE(calendar.yearEdit()->date().year(), 2025);
    QTest::mouseClick(calendar.prevYearButton(), Qt::LeftButton);
    QTest::mouseClick(calendar.prevYearButton(), Qt::LeftButton);
    QCOMPARE(calendar.shownMonth(), QDate(2023, 11, 1));

    // The month menu holds the twelve months, each with its number.
    const QList<QAction*> months = calendar.monthButton()->menu()->actions();
    QCOMPARE(months.size(), 12);
    QCOMPARE(months[7]->text(), QString("August "));
    QCOMPARE(months[7]->data().toInt(), 8);
    months[1]->trigger();
    QCOMPARE(calendar.shownMonth(), QDate(2023, 2, 1));
    QCOMPARE(calendar.monthButton()->text(), QString("February"));
    QCOMPARE(calendar.calendarWidget()->dateWidget()->lastCell()
                 - calendar.calendarWidget()->dateWidget()->firstCell() + 1,
             28);

    // Navigation alone picks nothing.
    QCOMPARE(calendar.selectedDate(), QDate(2024, 12, 5));
}

void TestCalendar::pickingADayOfTheMonth()
{
    CCalendar calendar(nullptr, CCalendar::DiskMode);
    calendar.onUpdateRecord(QDate(2024, 3, 3));
    CDateWidget* grid = calendar.calendarWidget()->dateWidget();
    QSignalSpy clicked(&calendar, &CCalendar::clicked);
    QSignalSpy updated(grid, &CDateWidget::updateDate);

    QTest::mouseClick(grid->cellButton(cellOf(grid, 21)), Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toDate(), QDate(2024, 3, 21));
    QCOMPARE(updated.count(), 1);
    QCOMPARE(calendar.selectedDate(), QDate(2024, 3, 21));
    int checked = 0;
    for (int i = 0; i < CDateWidget::kCells; ++i)
        checked += grid->cellButton(i)->isChecked() ? 1 : 0;
    QCOMPARE(checked, 1);
    QVERIFY(grid->cellButton(cellOf(grid, 21))->isChecked());

    // Out-of-range cell numbers are ignored.
    grid->onBtnClicked(-1);
    grid->onBtnClicked(CDateWidget::kCells);
    QCOMPARE(clicked.count(), 1);
}

void TestCalendar::pickingADayOfAnotherMonthGoesThere()
{
    CCalendar calendar(nullptr, CCalendar::DiskMode);
    calendar.onUpdateRecord(QDate(2024, 3, 15));
    CDateWidget* grid = calendar.calendarWidget()->dateWidget();
    QSignalSpy clicked(&calendar, &CCalendar::clicked);

    // March 2024 starts on a Friday: cell 0 is Sunday 25 February.
    QCOMPARE(grid->cellDate(0), QDate(2024, 2, 25));
    QTest::mouseClick(grid->cellButton(0), Qt::LeftButton);
    QCOMPARE(calendar.shownMonth(), QDate(2024, 2, 1));
    QCOMPARE(calendar.selectedDate(), QDate(2024, 2, 25));
    QCOMPARE(calendar.monthButton()->text(), QString("February"));
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toDate(), QDate(2024, 2, 25));
    QVERIFY(grid->cellButton(cellOf(grid, 25))->isChecked());

    // A trailing cell: into March again.
    QTest::mouseClick(grid->cellButton(grid->lastCell() + 2), Qt::LeftButton);
    QCOMPARE(calendar.shownMonth(), QDate(2024, 3, 1));
    QCOMPARE(calendar.selectedDate(), QDate(2024, 3, 2));
    QCOMPARE(clicked.count(), 2);
}

QTEST_MAIN(TestCalendar)
#include "tst_calendar.moc"
