#include "app/records/CalendarWidget.h"

#include "app/records/CalendarDateWidget.h"
#include "app/records/CalendarWeekWidget.h"

#include <QGridLayout>

CCalendarWidget::CCalendarWidget(int nMode, QWidget* parent)
    : QWidget(parent)
    , m_pWeekWidget(new CWeekWidget(this))
    , m_pDateWidget(new CDateWidget(nMode, this))
{
    setObjectName("CCalendarWidget");
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 10);
    grid->setSpacing(5);
    m_pWeekWidget->setFixedHeight(18);
    grid->addWidget(m_pWeekWidget, 0, 0);
    grid->addWidget(m_pDateWidget, 1, 0);
    grid->setRowStretch(1, 1);

    connect(m_pDateWidget, &CDateWidget::updateDate, this, &CCalendarWidget::updateDate);
    connect(m_pDateWidget, &CDateWidget::changedMonthInfo, this, &CCalendarWidget::changedMonthInfo);
    connect(this, &CCalendarWidget::updateRecord, m_pDateWidget, &CDateWidget::onUpdateRecord);
}
