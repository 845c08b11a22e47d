#include "app/records/Calendar.h"

#include "app/records/CalendarArrowButton.h"
#include "app/records/CalendarDateWidget.h"
#include "app/records/CalendarWidget.h"
#include "app/shell/GlobalAppData.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QMenu>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

CCalendar::CCalendar(QWidget* parent, int nMode, int nStyle)
    : QFrame(parent)
    , m_nMode(nMode == LocalMode ? LocalMode : DiskMode)
    , m_nStyle(nStyle)
{
    setObjectName("CCalendar");
    // The trailing blanks of three names are part of the texts.
    m_monthNames << tr("January") << tr("February") << tr("March") << tr("April") << tr("May")
                 << tr("June") << tr("July") << tr("August ") << tr("September ")
                 << tr("October ") << tr("November") << tr("December");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 5, 0, 5);
    header->setSpacing(0);

    m_pPrevMonth = new CArrowButton(CArrowButton::ArrowLeft, this);
    m_pNextMonth = new CArrowButton(CArrowButton::ArrowRight, this);
    m_pPrevYear = new CArrowButton(CArrowButton::ArrowLeft, this);
    m_pNextYear = new CArrowButton(CArrowButton::ArrowRight, this);
    for (CArrowButton* arrow : {m_pPrevMonth, m_pNextMonth, m_pPrevYear, m_pNextYear})
        arrow->setFixedWidth(18);

    m_pMonthButton = new QToolButton(this);
    m_pMonthButton->setObjectName("MonthButton");
    m_pMonthButton->setFixedHeight(18);
    m_pMonthButton->setPopupMode(QToolButton::InstantPopup);
    m_pMonthButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* menu = new QMenu(m_pMonthButton);
    for (int m = 1; m <= 12; ++m)
        menu->addAction(m_monthNames[m - 1])->setData(m);
    m_pMonthButton->setMenu(menu);
    connect(menu, &QMenu::triggered, this, &CCalendar::onMonthTriggered);

    m_pYearEdit = new QDateEdit(this);
    m_pYearEdit->setObjectName("YearTimeEdit");
    m_pYearEdit->setDisplayFormat("yyyy");
    m_pYearEdit->setAlignment(Qt::AlignCenter);
    m_pYearEdit->setButtonSymbols(QAbstractSpinBox::NoButtons);
    m_pYearEdit->setFixedHeight(18);
    m_pYearEdit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    header->addWidget(m_pPrevMonth);
    header->addWidget(m_pMonthButton, 1);
    header->addWidget(m_pNextMonth);
    header->addSpacing(5);
    header->addWidget(m_pPrevYear);
    header->addWidget(m_pYearEdit, 1);
    header->addWidget(m_pNextYear);
    layout->addLayout(header);

    m_pCalendarWidget = new CCalendarWidget(m_nMode, this);
    layout->addWidget(m_pCalendarWidget, 1);

    connect(m_pPrevMonth, &QToolButton::clicked, this, &CCalendar::onPrevMonth);
    connect(m_pNextMonth, &QToolButton::clicked, this, &CCalendar::onNextMonth);
    connect(m_pPrevYear, &QToolButton::clicked, this, &CCalendar::onPrevYear);
    connect(m_pNextYear, &QToolButton::clicked, this, &CCalendar::onNextYear);
    connect(m_pYearEdit, &QDateEdit::dateChanged, this, &CCalendar::onYearChanged);
    connect(m_pCalendarWidget, &CCalendarWidget::updateDate, this, &CCalendar::onUpdateDate);
    connect(m_pCalendarWidget, &CCalendarWidget::changedMonthInfo, this,
            &CCalendar::onChangedMonthInfo);
    connect(CGlobalAppData::instance(), &CGlobalAppData::updateRecord, this,
            &CCalendar::onUpdateRecord);

    const QDate start = CGlobalAppData::instance()->currentDate.isValid()
                            ? CGlobalAppData::instance()->currentDate
                            : QDate::currentDate();
    m_pCalendarWidget->dateWidget()->setSelectedDate(start);
    updateHeader(start);
}

QString CCalendar::monthName(int nMonth) const
{
    return nMonth >= 1 && nMonth <= 12 ? m_monthNames[nMonth - 1] : QString();
}

QDate CCalendar::shownMonth() const
{
    return m_pCalendarWidget->dateWidget()->shownMonth();
}

QDate CCalendar::selectedDate() const
{
    return m_pCalendarWidget->dateWidget()->selectedDate();
}

void CCalendar::clearMarks()
{
    CGlobalAppData::instance()->clearRecordDates(
        m_nMode == LocalMode ? CGlobalAppData::LocalDates : CGlobalAppData::DiskDates);
    refreshMarks();
}

void CCalendar::refreshMarks()
{
    emit m_pCalendarWidget->updateRecord();
}

void CCalendar::updateHeader(const QDate& date)
{
    if (!date.isValid())
        return;
    m_pMonthButton->setText(monthName(date.month()));
    const QSignalBlocker block(m_pYearEdit);
    m_pYearEdit->setDate(QDate(date.year(), date.month(), 1));
}

void CCalendar::showMonthOf(const QDate& date)
{
    if (!date.isValid())
        return;
    m_pCalendarWidget->dateWidget()->showMonth(date);
    updateHeader(date);
}

void CCalendar::onPrevMonth()
{
    showMonthOf(shownMonth().addMonths(-1));
}

void CCalendar::onNextMonth()
{
    showMonthOf(shownMonth().addMonths(1));
}

void CCalendar::onPrevYear()
{
    m_pYearEdit->setDate(m_pYearEdit->date().addYears(-1));
}

void CCalendar::onNextYear()
{
    m_pYearEdit->setDate(m_pYearEdit->date().addYears(1));
}

void CCalendar::onMonthTriggered(QAction* pAction)
{
    if (!pAction)
        return;
    const int month = pAction->data().toInt();
    if (month < 1 || month > 12)
        return;
    showMonthOf(QDate(m_pYearEdit->date().year(), month, 1));
}

void CCalendar::onYearChanged(const QDate& date)
{
    showMonthOf(date);
}

void CCalendar::onUpdateRecord(const QDate& date)
{
    if (!date.isValid())
        return;
    m_pCalendarWidget->dateWidget()->setSelectedDate(date);
    updateHeader(date);
}

void CCalendar::onUpdateDate(const QDate& date)
{
    updateHeader(date);
    emit clicked(date);
}

void CCalendar::onChangedMonthInfo(const QDate& date)
{
    updateHeader(date);
}
