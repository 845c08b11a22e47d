#ifndef ORVELLE_APP_RECORDS_CALENDARWIDGET_H
#define ORVELLE_APP_RECORDS_CALENDARWIDGET_H

// The weekday row above the day grid, passing the grid's signals on.

#include <QDate>
#include <QWidget>

class CDateWidget;
class CWeekWidget;

class CCalendarWidget : public QWidget
{
    Q_OBJECT

public:
    explicit CCalendarWidget(int nMode, QWidget* parent = nullptr);

    CDateWidget* dateWidget() const { return m_pDateWidget; }
    CWeekWidget* weekWidget() const { return m_pWeekWidget; }

signals:
    void updateDate(QDate date);
    void changedMonthInfo(QDate date);
    // Makes the day grid re-read its marks.
    void updateRecord();

private:
    CWeekWidget* m_pWeekWidget;
    CDateWidget* m_pDateWidget;
};

#endif
