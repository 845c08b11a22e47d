#include "app/display/TimelineWidget.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTime>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The recorder's sixteen type letters, in the order of their codes.
const char kTypeLetters[] = "RAMCHISFNKGUPTBV";

int letterIndex(QChar c)
{
    const char* at = std::strchr(kTypeLetters, c.toLatin1());
    return (at && c.toLatin1() != 0) ? int(at - kTypeLetters) : 0;
}

// Tick spacings to choose from, seconds.
const int kSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
// Closest minor ticks, pixels.
const int kMinorSpacing = 6;
// Space kept free after a tick label, pixels.
const int kLabelGap = 8;

}  // namespace

CTimelineWidget::CTimelineWidget(QWidget* parent) : QWidget(parent)
{
    setObjectName("TimelineWidget");
    setMouseTracking(false);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_nLabelWidth = fontMetrics().horizontalAdvance(QStringLiteral("000")) + 14;
    m_pClickTimer = new QTimer(this);
    m_pClickTimer->setSingleShot(true);
    connect(m_pClickTimer, &QTimer::timeout, this, [this] { emit playRequested(m_nClickRow, m_nClickSecond); });
    rebuildColors();
}

// ---------------------------------------------------------------------------
// Day and colours

void CTimelineWidget::setDay(const TimelineDay& day)
{
    m_day = day;
    m_nFirstRow = 0;
    m_pClickTimer->stop();
    m_bPressed = m_bDragging = false;
    m_nSelStart = m_nSelEnd = 0;
    rebuildBars();
    update();
    emit firstRowChanged(0);
    emit selectionChanged();
}

void CTimelineWidget::rebuildBars()
{
    m_paintRows.clear();
    m_paintRows.reserve(m_day.rows.size());
    for (const TimelineRow& row : m_day.rows) {
        PaintRow out;
        out.bars.reserve(row.recordings.size());
        for (const TimelineRecording& r : row.recordings) {
            out.bars.append(Bar{r.nStart, r.nEnd, quint8(letterIndex(r.cType))});
            out.nLongest = qMax(out.nLongest, r.nEnd - r.nStart);
        }
        std::stable_sort(out.bars.begin(), out.bars.end(),
                         [](const Bar& a, const Bar& b) { return a.nStart < b.nStart; });
        m_paintRows.append(out);
    }
}

void CTimelineWidget::rebuildColors()
{
    m_typeColors[0] = m_regular;
    m_typeColors[1] = m_alarm;
    m_typeColors[2] = m_motion;
    // The other letters turn round the colour wheel from the skin's colour
    // for them, far enough apart to tell neighbours from each other.
    for (int i = 3; i < 16; ++i) {
        QColor c = m_other.toHsv();
        c.setHsv((c.hsvHue() + (i - 3) * 360 / 13) % 360, c.hsvSaturation(), c.value());
        m_typeColors[i] = c;
    }
    update();
}

void CTimelineWidget::setRegularColor(const QColor& c)
{
    m_regular = c;
    rebuildColors();
}

void CTimelineWidget::setAlarmColor(const QColor& c)
{
    m_alarm = c;
    rebuildColors();
}

void CTimelineWidget::setMotionColor(const QColor& c)
{
    m_motion = c;
    rebuildColors();
}

void CTimelineWidget::setOtherColor(const QColor& c)
{
    m_other = c;
    rebuildColors();
}

QColor CTimelineWidget::typeColor(QChar cType) const
{
    return m_typeColors[letterIndex(cType)];
}

// ---------------------------------------------------------------------------
// View

QRect CTimelineWidget::barsRect() const
{
    return QRect(m_nLabelWidth, kRulerHeight, qMax(1, width() - m_nLabelWidth), qMax(0, height() - kRulerHeight));
}

double CTimelineWidget::timeAt(double x) const
{
    const QRect bars = barsRect();
    return m_dViewStart + (x - bars.left()) * m_dViewSpan / bars.width();
}

double CTimelineWidget::xOf(double dSeconds) const
{
    const QRect bars = barsRect();
    return bars.left() + (dSeconds - m_dViewStart) * bars.width() / m_dViewSpan;
}

int CTimelineWidget::secondAt(int x) const
{
    return qBound(0, int(std::floor(timeAt(x))), int(kDaySeconds));
}

void CTimelineWidget::clampView()
{
    m_dViewSpan = qBound(double(kMinSpan), m_dViewSpan, double(kDaySeconds));
    m_dViewStart = qBound(0.0, m_dViewStart, kDaySeconds - m_dViewSpan);
}

void CTimelineWidget::setView(double dStart, double dSpan)
{
    m_dViewStart = dStart;
    m_dViewSpan = dSpan;
    clampView();
    update();
    emit viewChanged();
}

void CTimelineWidget::zoomAt(int x, double dFactor)
{
    const QRect bars = barsRect();
    const double anchorX = qBound(double(bars.left()), double(x), double(bars.left() + bars.width()));
    const double anchor = timeAt(anchorX);
    const double span = qBound(double(kMinSpan), m_dViewSpan * dFactor, double(kDaySeconds));
    setView(anchor - (anchorX - bars.left()) * span / bars.width(), span);
}

void CTimelineWidget::zoomTo(int nSpan)
{
    double anchor = m_dViewStart + m_dViewSpan / 2;
    if (m_nCursor >= 0)
        anchor = m_nCursor;
    else if (hasSelection())
        anchor = (m_nSelStart + m_nSelEnd) / 2.0;
    setView(anchor - nSpan / 2.0, nSpan);
}

void CTimelineWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // More room may show rows that were scrolled away.
    setFirstRow(m_nFirstRow);
}

// ---------------------------------------------------------------------------
// Rows

int CTimelineWidget::visibleRows() const
{
    return qMax(0, (height() - kRulerHeight) / kRowHeight);
}

void CTimelineWidget::setFirstRow(int nRow)
{
    const int nMax = qMax(0, m_day.rows.size() - visibleRows());
    nRow = qBound(0, nRow, nMax);
    if (nRow == m_nFirstRow)
        return;
    m_nFirstRow = nRow;
    update();
    emit firstRowChanged(nRow);
}

int CTimelineWidget::rowAt(int y) const
{
    if (y < kRulerHeight)
        return -1;
    const int nRow = m_nFirstRow + (y - kRulerHeight) / kRowHeight;
    return (nRow < m_day.rows.size() && nRow < m_nFirstRow + visibleRows()) ? nRow : -1;
}

int CTimelineWidget::rowCentreY(int nRow) const
{
    return kRulerHeight + (nRow - m_nFirstRow) * kRowHeight + kRowHeight / 2;
}

// ---------------------------------------------------------------------------
// Ticks

QVector<TimelineTick> CTimelineWidget::ticks() const
{
    QVector<TimelineTick> out;
    const QRect bars = barsRect();
    const double pxPerSecond = bars.width() / m_dViewSpan;
    const QFontMetrics fm = fontMetrics();
    const int wideLabel = fm.horizontalAdvance(QStringLiteral("00:00:00")) + kLabelGap;
    const int shortLabel = fm.horizontalAdvance(QStringLiteral("00:00")) + kLabelGap;
    int major = kDaySeconds;
    for (int step : kSteps) {
        if (step * pxPerSecond >= (step < 60 ? wideLabel : shortLabel)) {
            major = step;
            break;
        }
    }
    int minor = major;
    for (int step : kSteps) {
        if (step < major && major % step == 0 && step * pxPerSecond >= kMinorSpacing) {
            minor = step;
            break;
        }
    }
    const int viewEnd = int(std::ceil(m_dViewStart + m_dViewSpan));
    const int right = bars.left() + bars.width() - 1;  // the last column
    for (int t = int(std::ceil(m_dViewStart / minor)) * minor; t <= viewEnd; t += minor) {
        TimelineTick tick;
        tick.nSeconds = t;
        tick.x = int(std::lround(xOf(t)));
        if (tick.x < bars.left() || tick.x > right)
            continue;
        if (t % major == 0) {
            const int h = t / 3600, m = t / 60 % 60, s = t % 60;
            tick.strText = major < 60 ? QString::asprintf("%02d:%02d:%02d", h, m, s) : QString::asprintf("%02d:%02d", h, m);
            // A label that would run out of the widget is left off.
            if (tickLabelRect(tick).right() > right)
                tick.strText.clear();
        }
        out.append(tick);
    }
    return out;
}

QRect CTimelineWidget::tickLabelRect(const TimelineTick& tick) const
{
    const int w = fontMetrics().horizontalAdvance(tick.strText);
    return QRect(tick.x + 3, 0, w, kRulerHeight - 4);
}

// ---------------------------------------------------------------------------
// Cursor and selection

void CTimelineWidget::setCursorSeconds(int nSeconds)
{
    if (nSeconds < 0 || nSeconds > kDaySeconds)
        nSeconds = -1;
    if (nSeconds == m_nCursor)
        return;
    m_nCursor = nSeconds;
    update();
}

void CTimelineWidget::setSelection(int nStart, int nEnd)
{
    nStart = qBound(0, nStart, int(kDaySeconds));
    nEnd = qBound(0, nEnd, int(kDaySeconds));
    if (nEnd < nStart)
        std::swap(nStart, nEnd);
    if (nStart == m_nSelStart && nEnd == m_nSelEnd)
        return;
    m_nSelStart = nStart;
    m_nSelEnd = nEnd;
    update();
    emit selectionChanged();
}

void CTimelineWidget::clearSelection()
{
    setSelection(0, 0);
}

// ---------------------------------------------------------------------------
// Painting

void CTimelineWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), m_background);
    const QVector<TimelineTick> tickList = ticks();
    const QRect bars = barsRect();

    const int nLast = qMin(m_day.rows.size(), m_nFirstRow + visibleRows() + 1);
    for (int r = m_nFirstRow; r < nLast; ++r) {
        const int y = kRulerHeight + (r - m_nFirstRow) * kRowHeight;
        if (r % 2)
            p.fillRect(0, y, width(), kRowHeight, m_row);
    }
    // Hour (or minute) lines under the bars.
    p.setPen(m_grid);
    for (const TimelineTick& tick : tickList) {
        if (!tick.strText.isEmpty() || tick.nSeconds % 3600 == 0)
            p.drawLine(tick.x, kRulerHeight, tick.x, height());
    }
    p.setClipRect(bars);
    for (int r = m_nFirstRow; r < nLast; ++r)
        paintRow(p, r, kRulerHeight + (r - m_nFirstRow) * kRowHeight);
    p.setClipping(false);

    p.setPen(m_text);
    for (int r = m_nFirstRow; r < nLast; ++r) {
        const int y = kRulerHeight + (r - m_nFirstRow) * kRowHeight;
        p.drawText(QRect(0, y, m_nLabelWidth - 4, kRowHeight), Qt::AlignRight | Qt::AlignVCenter,
                   QString::asprintf("%03d", m_day.rows[r].nChannel + 1));
    }
    paintRuler(p, tickList);

    if (hasSelection()) {
        const int x1 = qMax(bars.left(), int(std::floor(xOf(m_nSelStart))));
        const int x2 = qMin(bars.left() + bars.width(), int(std::ceil(xOf(m_nSelEnd))));
        if (x2 >= x1) {
            p.fillRect(QRect(x1, 0, qMax(1, x2 - x1), height()), m_selection);
            QColor edge = m_selection;
            edge.setAlpha(255);
            p.setPen(edge);
            p.drawLine(x1, 0, x1, height());
            p.drawLine(x2, 0, x2, height());
        }
    }
    if (m_nCursor >= 0 && m_nCursor >= m_dViewStart && m_nCursor <= m_dViewStart + m_dViewSpan) {
        const int x = int(std::lround(xOf(m_nCursor)));
        p.setPen(QPen(m_cursor, 2));
        p.drawLine(x, 0, x, height());
    }
    if (m_day.isEmpty()) {
        p.setPen(m_text);
        p.drawText(bars, Qt::AlignCenter,
                   m_day.date.isValid() ? tr("No recordings on this day")
                                        : tr("Select a date in the tree or the calendar"));
    }
}

void CTimelineWidget::paintRuler(QPainter& p, const QVector<TimelineTick>& tickList)
{
    p.fillRect(0, 0, width(), kRulerHeight, m_ruler);
    p.setPen(m_grid);
    p.drawLine(0, kRulerHeight - 1, width(), kRulerHeight - 1);
    for (const TimelineTick& tick : tickList) {
        const bool bLabelled = !tick.strText.isEmpty();
        p.setPen(bLabelled ? m_text : m_grid);
        p.drawLine(tick.x, kRulerHeight - (bLabelled ? 8 : 4), tick.x, kRulerHeight - 1);
        if (bLabelled)
            p.drawText(tickLabelRect(tick), Qt::AlignLeft | Qt::AlignVCenter, tick.strText);
    }
}

void CTimelineWidget::paintRow(QPainter& p, int nRow, int y)
{
    const PaintRow& row = m_paintRows[nRow];
    if (row.bars.isEmpty())
        return;
    const double viewEnd = m_dViewStart + m_dViewSpan;
    const QRect bars = barsRect();
    const double scale = bars.width() / m_dViewSpan;
    // The first bar that can reach into the view starts at most the longest
    // bar's length before it.
    const int from = int(m_dViewStart) - row.nLongest;
    auto first = std::lower_bound(row.bars.begin(), row.bars.end(), from,
                                  [](const Bar& b, int t) { return b.nStart < t; });
    const int top = y + 2;
    const int h = kRowHeight - 4;
    // Regular recordings first, the other types over them. Neighbouring bars
    // of one colour that meet on the screen are filled as one rectangle, so a
    // crowded day costs about one fill per pixel column, not one per
    // recording.
    for (int pass = 0; pass < 2; ++pass) {
        int runColor = -1, runX1 = 0, runX2 = 0;
        for (auto it = first; it != row.bars.end() && it->nStart < viewEnd; ++it) {
            if ((it->nColor == 0) != (pass == 0) || it->nEnd <= m_dViewStart)
                continue;
            const int x1 = bars.left() + int(std::floor((qMax(double(it->nStart), m_dViewStart) - m_dViewStart) * scale));
            const int x2 = qMax(x1 + 1, bars.left() + int(std::ceil((qMin(double(it->nEnd), viewEnd) - m_dViewStart) * scale)));
            if (it->nColor == runColor && x1 <= runX2) {
                runX2 = qMax(runX2, x2);
                continue;
            }
            if (runColor >= 0)
                p.fillRect(runX1, top, runX2 - runX1, h, m_typeColors[runColor]);
            runColor = it->nColor;
            runX1 = x1;
            runX2 = x2;
        }
        if (runColor >= 0)
            p.fillRect(runX1, top, runX2 - runX1, h, m_typeColors[runColor]);
    }
}

// ---------------------------------------------------------------------------
// Mouse and keys

void CTimelineWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || event->pos().x() < m_nLabelWidth) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_bPressed = true;
    m_bDragging = false;
    m_pressPos = event->pos();
    event->accept();
}

void CTimelineWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_bPressed)
        return;
    if (!m_bDragging && (event->pos() - m_pressPos).manhattanLength() < QApplication::startDragDistance())
        return;
    m_bDragging = true;
    m_pClickTimer->stop();
    setSelection(secondAt(m_pressPos.x()), secondAt(event->pos().x()));
}

void CTimelineWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_bPressed)
        return;
    m_bPressed = false;
    if (m_bDragging) {
        m_bDragging = false;
        setSelection(secondAt(m_pressPos.x()), secondAt(event->pos().x()));
        return;
    }
    const int nRow = rowAt(m_pressPos.y());
    if (nRow < 0)
        return;
    // A double-click may follow; only then is it not a click.
    m_nClickRow = nRow;
    m_nClickSecond = secondAt(m_pressPos.x());
    m_pClickTimer->start(QApplication::doubleClickInterval());
}

void CTimelineWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || event->pos().x() < m_nLabelWidth || m_day.isEmpty())
        return;
    m_pClickTimer->stop();
    m_bPressed = false;
    m_bDragging = false;
    emit syncPlayRequested(secondAt(event->pos().x()));
}

void CTimelineWidget::wheelEvent(QWheelEvent* event)
{
    const QPoint delta = event->angleDelta();
    const int x = int(event->position().x());
    if (x < m_nLabelWidth) {
        // Over the channel numbers the wheel scrolls the rows.
        setFirstRow(m_nFirstRow - delta.y() / 120);
    } else if (delta.y() != 0) {
        zoomAt(x, std::pow(2.0, -delta.y() / 120.0));
    } else if (delta.x() != 0) {
        setView(m_dViewStart - delta.x() / 120.0 * m_dViewSpan / 10, m_dViewSpan);
    }
    event->accept();
}

QMenu* CTimelineWidget::createContextMenu()
{
    auto* pMenu = new QMenu(this);
    QAction* pExport = pMenu->addAction(tr("Export range"));
    pExport->setEnabled(hasSelection() && !m_day.isEmpty());
    connect(pExport, &QAction::triggered, this, &CTimelineWidget::exportRangeRequested);
    QAction* pClear = pMenu->addAction(tr("Clear range"));
    pClear->setEnabled(hasSelection());
    connect(pClear, &QAction::triggered, this, &CTimelineWidget::clearSelection);
    return pMenu;
}

void CTimelineWidget::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* pMenu = createContextMenu();
    pMenu->exec(event->globalPos());
    pMenu->deleteLater();
    event->accept();
}

void CTimelineWidget::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && hasSelection()) {
        clearSelection();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------
// Tooltips

QString CTimelineWidget::timeText(int nSeconds) const
{
    const int day = int(std::floor(nSeconds / double(kDaySeconds)));
    const int s = nSeconds - day * kDaySeconds;
    const QString time = QTime(s / 3600, s / 60 % 60, s % 60).toString(QStringLiteral("hh:mm:ss"));
    if (day == 0 || !m_day.date.isValid())
        return time;
    return m_day.date.addDays(day).toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + time;
}

QString CTimelineWidget::toolTipAt(const QPoint& pos) const
{
    if (pos.x() < m_nLabelWidth)
        return QString();
    const int nSecond = secondAt(pos.x());
    const int nRow = rowAt(pos.y());
    if (nRow < 0)
        return pos.y() < kRulerHeight ? timeText(nSecond) : QString();
    const TimelineRow& row = m_day.rows[nRow];
    const QString channel = tr("Channel %1").arg(row.nChannel + 1, 3, 10, QLatin1Char('0'));
    if (const TimelineRecording* r = m_day.recordingAt(nRow, nSecond))
        return QStringLiteral("%1\n%2\n%3 - %4").arg(channel, r->strName, timeText(r->nStart), timeText(r->nEnd));
    // The gap around the pointer, between the recordings either side.
    int gapStart = 0, gapEnd = kDaySeconds;
    for (const TimelineRecording& r : row.recordings) {
        if (r.nEnd <= nSecond)
            gapStart = qMax(gapStart, r.nEnd);
        else if (r.nStart > nSecond)
            gapEnd = qMin(gapEnd, r.nStart);
    }
    return QStringLiteral("%1\n%2: %3 - %4").arg(channel, tr("No recording"), timeText(gapStart), timeText(gapEnd));
}

bool CTimelineWidget::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* pHelp = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(pHelp->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(pHelp->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}
