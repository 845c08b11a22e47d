#include "app/records/CalendarWeekWidget.h"

#include <QHBoxLayout>
#include <QLabel>

CWeekWidget::CWeekWidget(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("CWeekWidget");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    const QString names[] = {tr("Sun"), tr("Mon"), tr("Tues"), tr("Wed"),
                             tr("Thur"), tr("Fri"), tr("Sat")};
    for (const QString& name : names) {
        auto* label = new QLabel(name, this);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(0);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        layout->addWidget(label, 1);
        m_labels << label;
    }
}

QLabel* CWeekWidget::dayLabel(int nColumn) const
{
    return nColumn >= 0 && nColumn < m_labels.size() ? m_labels[nColumn] : nullptr;
}
