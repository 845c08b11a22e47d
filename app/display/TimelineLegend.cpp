#include "app/display/TimelineLegend.h"

#include "app/display/TimelineWidget.h"

#include <QPainter>

#include <algorithm>

namespace {

const int kSwatch = 10;
const int kEntryGap = 12;

}  // namespace

CTimelineLegend::CTimelineLegend(CTimelineWidget* pTimeline, QWidget* parent)
    : QWidget(parent), m_pTimeline(pTimeline)
{
    setObjectName("TimelineLegend");
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QString CTimelineLegend::typeName(QChar cType)
{
    switch (cType.toLatin1()) {
    case 'R':
        return tr("Regular");
    case 'A':
        return tr("Alarm");
    case 'M':
        return tr("Motion");
    default:
        return tr("Type %1").arg(cType);
    }
}

void CTimelineLegend::refresh()
{
    QString letters;
    for (const TimelineRow& row : m_pTimeline->day().rows) {
        for (const TimelineRecording& r : row.recordings) {
            if (!letters.contains(r.cType))
                letters.append(r.cType);
        }
    }
    // The recorder's own order: regular, alarm, motion, then the rest.
    std::sort(letters.begin(), letters.end(), [](QChar a, QChar b) {
        static const QString order = QStringLiteral("RAMCHISFNKGUPTBV");
        return order.indexOf(a) < order.indexOf(b);
    });
    m_letters = letters;
    setToolTip(entries().join(QLatin1Char('\n')));
    updateGeometry();
    update();
}

QStringList CTimelineLegend::entries() const
{
    QStringList out;
    for (QChar c : m_letters)
        out << QStringLiteral("%1 %2").arg(c, typeName(c));
    return out;
}

QSize CTimelineLegend::sizeHint() const
{
    int w = 0;
    for (const QString& entry : entries())
        w += kSwatch + 4 + fontMetrics().horizontalAdvance(entry) + kEntryGap;
    return QSize(w, fontMetrics().height());
}

QSize CTimelineLegend::minimumSizeHint() const
{
    return QSize(0, fontMetrics().height());
}

void CTimelineLegend::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(m_pTimeline->textColor());
    // With too little room the names give way to the bare letters (the
    // tooltip still names them).
    const bool bNames = sizeHint().width() <= width();
    int x = 0;
    const int y = (height() - kSwatch) / 2;
    for (QChar c : m_letters) {
        const QString entry = bNames ? QStringLiteral("%1 %2").arg(c, typeName(c)) : QString(c);
        const int w = kSwatch + 4 + fontMetrics().horizontalAdvance(entry);
        if (x + w > width())
            break;
        p.fillRect(x, y, kSwatch, kSwatch, m_pTimeline->typeColor(c));
        p.drawText(QRect(x + kSwatch + 4, 0, w, height()), Qt::AlignLeft | Qt::AlignVCenter, entry);
        x += w + (bNames ? kEntryGap : kEntryGap / 2);
    }
}
