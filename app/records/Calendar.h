#ifndef ORVELLE_APP_RECORDS_CALENDAR_H
#define ORVELLE_APP_RECORDS_CALENDAR_H

// The month calendar below a record tree. A header with month and year
// navigation sits above the day grid; days with recordings are marked (the
// recorder disks' days in disk mode, the local folders' days in local mode).
// The calendar follows the record lists' current date and reports a picked
// day with clicked().

#include <QDate>
#include <QFrame>
#include <QStringList>

class QAction;
class QDateEdit;
class QToolButton;
class CArrowButton;
class CCalendarWidget;

class CCalendar : public QFrame
{
    Q_OBJECT

public:
    enum Mode { DiskMode = 0, LocalMode = 1 };

    // nMode 0 = disk page, 1 = local page; nStyle 0 = month view.
    explicit CCalendar(QWidget* parent = nullptr, int nMode = DiskMode, int nStyle = 0);

    int mode() const { return m_nMode; }
    int style() const { return m_nStyle; }
    QDate shownMonth() const;     // the 1st of the month on show
    QDate selectedDate() const;
    QString monthName(int nMonth) const;   // 1..12

    // Forgets this calendar's days with recordings (the disk page before each
    // load, the local page for each new folder) and removes the marks.
    void clearMarks();
    // Re-reads the days with recordings after a load.
    void refreshMarks();

    CCalendarWidget* calendarWidget() const { return m_pCalendarWidget; }
    QToolButton* monthButton() const { return m_pMonthButton; }
    QDateEdit* yearEdit() const { return m_pYearEdit; }
    CArrowButton* prevMonthButton() const { return m_pPrevMonth; }
    CArrowButton* nextMonthButton() const { return m_pNextMonth; }
    CArrowButton* prevYearButton() const { return m_pPrevYear; }
    CArrowButton* nextYearButton() const { return m_pNextYear; }

signals:
    void clicked(QDate date);

public slots:
    void onPrevMonth();
    void onNextMonth();
    void onPrevYear();
    void onNextYear();
    void onMonthTriggered(QAction* pAction);
    void onYearChanged(const QDate& date);
    // The record lists' current date changed: show its month and select it.
    void onUpdateRecord(const QDate& date);

private slots:
    void onUpdateDate(const QDate& date);
    void onChangedMonthInfo(const QDate& date);

private:
    void showMonthOf(const QDate& date);
    void updateHeader(const QDate& date);

    int m_nMode;
    int m_nStyle;
    QStringList m_monthNames;
    QToolButton* m_pMonthButton;
    QDateEdit* m_pYearEdit;
    CArrowButton* m_pPrevMonth;
    CArrowButton* m_pNextMonth;
    CArrowButton* m_pPrevYear;
    CArrowButton* m_pNextYear;
    CCalendarWidget* m_pCalendarWidget;
};

#endif
