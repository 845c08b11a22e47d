#ifndef ORVELLE_APP_RECORDS_CALENDARDATEWIDGET_H
#define ORVELLE_APP_RECORDS_CALENDARDATEWIDGET_H

// The day grid of the calendar: 6 rows of 7 day buttons, Sunday first. The
// shown month's days are checkable and the ones with recordings (on recorder
// disks or in local folders, by mode) are marked; the leading and trailing
// cells show the neighbouring months' days and jump there when clicked.

#include <QDate>
#include <QVector>
#include <QWidget>

class QSignalMapper;
class QToolButton;

class CDateWidget : public QWidget
{
    Q_OBJECT

public:
    static const int kCells = 42;
    static const int kColumns = 7;

    // nMode 0 marks the days of the recorder disks, 1 those of local folders.
    explicit CDateWidget(int nMode, QWidget* parent = nullptr);

    // Shows the month that contains d (the selection stays as it is).
    void showMonth(const QDate& d);
    // Selects a day and shows its month.
    void setSelectedDate(const QDate& d);

    QDate shownMonth() const { return m_shownMonth; }   // the 1st of the month
    QDate selectedDate() const { return m_selectedDate; }
    int firstCell() const { return m_nFirstCell; }
    int lastCell() const { return m_nLastCell; }
    QDate cellDate(int nCell) const;
    QToolButton* cellButton(int nCell) const;
    // True when the cell is a day of the shown month with recordings.
    bool isMarked(int nCell) const;
    int mode() const { return m_nMode; }

signals:
    void changedMonthInfo(QDate date);
    void updateDate(QDate date);

public slots:
    void onBtnClicked(int nCell);
    // Re-reads the marks for the month on show.
    void onUpdateRecord();

private:
    bool hasRecords(const QDate& d) const;

    int m_nMode;
    QVector<QToolButton*> m_buttons;
    QVector<QDate> m_cellDates;
    QVector<bool> m_marked;
    QSignalMapper* m_pMapper;
    QDate m_shownMonth;
    QDate m_selectedDate;
    int m_nFirstCell = 0;
    int m_nLastCell = 0;
};

#endif
