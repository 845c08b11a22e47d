#include "app/records/CalendarDateWidget.h"

#include "app/shell/GlobalAppData.h"

#include <QGridLayout>
#include <QPalette>
#include <QSignalMapper>
#include <QToolButton>

namespace {

// Days of the neighbouring months: grey, never checkable.
const char* const kOtherMonthStyle =
    "QToolButton{border:0px solid rgb(110,110,110);background:rgb(41,41,41);color:rgb(113,113,113);}"
    "QToolButton:checked{border:1px solid #0489F5;background:rgb(41,41,41);color:rgb(113,113,113);}";
// A day with recordings: filled with the accent colour.
const char* const kMarkedStyle =
    "QToolButton{border:0px solid rgb(110,110,110);background:#0489F5;color:rgb(255,255,255)}"
    "QToolButton:checked{border:1px solid #0489F5;background:rgb(41,41,41);color:rgb(255,255,255);}";
// Any other day of the shown month.
const char* const kPlainStyle =
    "QToolButton{border:0px solid rgb(110,110,110);background:rgb(41,41,41);color:rgb(255,255,255);}"
    "QToolButton:checked{border:1px solid #0489F5;background:rgb(41,41,41);color:rgb(255,255,255);}";

void setTextColour(QToolButton* button, const QColor& colour)
{
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::WindowText, colour);
    button->setPalette(palette);
}

}  // namespace

CDateWidget::CDateWidget(int nMode, QWidget* parent)
    : QWidget(parent)
    , m_nMode(nMode)
    , m_cellDates(kCells)
    , m_marked(kCells, false)
    , m_pMapper(new QSignalMapper(this))
    , m_selectedDate(QDate::currentDate())
{
    setObjectName("CDateWidget");
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(5);
    for (int i = 0; i < kCells; ++i) {
        auto* button = new QToolButton(this);
        button->setCheckable(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        button->setMinimumSize(12, 10);
        grid->addWidget(button, i / kColumns, i % kColumns);
        connect(button, &QToolButton::clicked, m_pMapper, qOverload<>(&QSignalMapper::map));
        m_pMapper->setMapping(button, i);
        m_buttons << button;
    }
    connect(m_pMapper, &QSignalMapper::mappedInt, this, &CDateWidget::onBtnClicked);
    showMonth(m_selectedDate);
}

QDate CDateWidget::cellDate(int nCell) const
{
    return nCell >= 0 && nCell < kCells ? m_cellDates[nCell] : QDate();
}

QToolButton* CDateWidget::cellButton(int nCell) const
{
    return nCell >= 0 && nCell < kCells ? m_buttons[nCell] : nullptr;
}

bool CDateWidget::isMarked(int nCell) const
{
    return nCell >= 0 && nCell < kCells && m_marked[nCell];
}

bool CDateWidget::hasRecords(const QDate& d) const
{
    const auto source = m_nMode == 1 ? CGlobalAppData::LocalDates : CGlobalAppData::DiskDates;
    return CGlobalAppData::instance()->hasRecordDate(source, d);
}

void CDateWidget::showMonth(const QDate& d)
{
    if (!d.isValid())
        return;
    m_shownMonth = QDate(d.year(), d.month(), 1);
    // The 1st goes into the cell numbered by its weekday (Monday 1 ..
    // Sunday 7), so the first row always starts with the previous month.
    m_nFirstCell = m_shownMonth.dayOfWeek();
    m_nLastCell = m_nFirstCell + m_shownMonth.daysInMonth() - 1;

    for (int i = 0; i < kCells; ++i) {
        const QDate date = m_shownMonth.addDays(i - m_nFirstCell);
        QToolButton* button = m_buttons[i];
        m_cellDates[i] = date;
        button->setText(QString::number(date.day()));
        button->setChecked(false);
        const int column = i % kColumns;
        if (i < m_nFirstCell || i > m_nLastCell) {
            m_marked[i] = false;
            button->setCheckable(false);
            button->setStyleSheet(kOtherMonthStyle);
            setTextColour(button, QColor(203, 201, 201));
            continue;
        }
        m_marked[i] = hasRecords(date);
        button->setCheckable(true);
        button->setStyleSheet(m_marked[i] ? kMarkedStyle : kPlainStyle);
        setTextColour(button, column == 0 || column == 6 ? QColor(Qt::red) : QColor(Qt::black));
        if (date == m_selectedDate)
            button->setChecked(true);
    }
    emit changedMonthInfo(d);
}

void CDateWidget::setSelectedDate(const QDate& d)
{
    if (!d.isValid())
        return;
    m_selectedDate = d;
    showMonth(d);
}

void CDateWidget::onBtnClicked(int nCell)
{
    if (nCell < 0 || nCell >= kCells)
        return;
    if (nCell >= m_nFirstCell && nCell <= m_nLastCell) {
        for (QToolButton* button : qAsConst(m_buttons))
            button->setChecked(false);
        m_buttons[nCell]->setChecked(true);
        m_selectedDate = m_cellDates[nCell];
    } else {
        // A day of the previous or next month: go there and pick that day.
        m_selectedDate = m_cellDates[nCell];
        showMonth(m_selectedDate);
    }
    emit changedMonthInfo(m_selectedDate);
    emit updateDate(m_selectedDate);
}

void CDateWidget::onUpdateRecord()
{
    if (m_shownMonth.isValid())
        showMonth(m_shownMonth);
}
