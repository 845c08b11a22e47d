#ifndef ORVELLE_APP_RECORDS_CALENDARWEEKWIDGET_H
#define ORVELLE_APP_RECORDS_CALENDARWEEKWIDGET_H

// The row of weekday names above the calendar's day grid; the week starts on
// Sunday.

#include <QWidget>

class QLabel;

class CWeekWidget : public QWidget
{
    Q_OBJECT

public:
    explicit CWeekWidget(QWidget* parent = nullptr);

    QLabel* dayLabel(int nColumn) const;

private:
    QList<QLabel*> m_labels;
};

#endif
