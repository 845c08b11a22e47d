#include "app/display/TimelinePanel.h"

#include "app/display/DisplayBox.h"
#include "app/display/TimelineLegend.h"
#include "app/display/TimelineWidget.h"
#include "app/export/jobs/CutRange.h"
#include "app/play/PlayManage.h"
#include "app/records/SyncQueue.h"
#include "app/shell/FancyMessageBox.h"
#include "app/shell/GlobalAppData.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

const int CTimelinePanel::kZoomSpans[4] = {86400, 21600, 3600, 600};

namespace {

const int kDay = 86400;

QTime timeOfSeconds(int nSeconds)
{
    nSeconds = qBound(0, nSeconds, kDay - 1);
    return QTime(nSeconds / 3600, nSeconds / 60 % 60, nSeconds % 60);
}

int secondsOfTime(const QTime& time)
{
    return time.hour() * 3600 + time.minute() * 60 + time.second();
}

}  // namespace

CTimelinePanel::CTimelinePanel(QWidget* parent) : QFrame(parent)
{
    setObjectName("TimelinePanel");
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    qRegisterMetaType<TimelineDay>();

    m_pTimeline = new CTimelineWidget(this);
    m_pLegend = new CTimelineLegend(m_pTimeline, this);

    auto* pTools = new QHBoxLayout;
    pTools->setContentsMargins(6, 3, 6, 3);
    pTools->setSpacing(4);
    m_pTitle = new QLabel(this);
    m_pTitle->setObjectName("TimelineTitle");
    pTools->addWidget(m_pTitle);
    pTools->addSpacing(8);

    const char* const zoomTexts[4] = {QT_TR_NOOP("24 h"), QT_TR_NOOP("6 h"), QT_TR_NOOP("1 h"), QT_TR_NOOP("10 min")};
    auto* pZoomGroup = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        m_pZoom[i] = new QToolButton(this);
        m_pZoom[i]->setObjectName("TimelineZoomButton");
        m_pZoom[i]->setText(tr(zoomTexts[i]));
        m_pZoom[i]->setCheckable(true);
        m_pZoom[i]->setAutoRaise(true);
        m_pZoom[i]->setFocusPolicy(Qt::NoFocus);
        pZoomGroup->addButton(m_pZoom[i], i);
        pTools->addWidget(m_pZoom[i]);
    }
    m_pZoom[0]->setChecked(true);
    connect(pZoomGroup, &QButtonGroup::idClicked, this, [this](int nId) { m_pTimeline->zoomTo(kZoomSpans[nId]); });
    pTools->addSpacing(8);
    pTools->addWidget(m_pLegend, 1);

    m_pStartEdit = new QTimeEdit(this);
    m_pEndEdit = new QTimeEdit(this);
    for (QTimeEdit* pEdit : {m_pStartEdit, m_pEndEdit}) {
        pEdit->setDisplayFormat("hh:mm:ss");
        pEdit->setFixedHeight(22);
        pEdit->setButtonSymbols(QAbstractSpinBox::NoButtons);
        pEdit->setAlignment(Qt::AlignCenter);
        pEdit->setToolTip(pEdit == m_pStartEdit ? tr("Start of the selected range") : tr("End of the selected range"));
        connect(pEdit, &QTimeEdit::editingFinished, this, &CTimelinePanel::onRangeEdited);
    }
    auto* pDash = new QLabel(QStringLiteral("-"), this);
    m_pExportButton = new QToolButton(this);
    m_pExportButton->setObjectName("TimelineExportButton");
    m_pExportButton->setText(tr("Export range"));
    m_pExportButton->setAutoRaise(true);
    m_pExportButton->setFocusPolicy(Qt::NoFocus);
    pTools->addWidget(m_pStartEdit);
    pTools->addWidget(pDash);
    pTools->addWidget(m_pEndEdit);
    pTools->addWidget(m_pExportButton);
    connect(m_pExportButton, &QToolButton::clicked, this, &CTimelinePanel::onExportRangeRequested);

    m_pRowScroll = new QScrollBar(Qt::Vertical, this);
    m_pViewScroll = new QScrollBar(Qt::Horizontal, this);
    auto* pBody = new QHBoxLayout;
    pBody->setContentsMargins(0, 0, 0, 0);
    pBody->setSpacing(0);
    pBody->addWidget(m_pTimeline, 1);
    pBody->addWidget(m_pRowScroll);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    pLayout->addLayout(pTools);
    pLayout->addLayout(pBody);
    pLayout->addWidget(m_pViewScroll);

    connect(m_pTimeline, &CTimelineWidget::playRequested, this, &CTimelinePanel::onPlayRequested);
    connect(m_pTimeline, &CTimelineWidget::syncPlayRequested, this, &CTimelinePanel::onSyncPlayRequested);
    connect(m_pTimeline, &CTimelineWidget::exportRangeRequested, this, &CTimelinePanel::onExportRangeRequested);
    connect(m_pTimeline, &CTimelineWidget::selectionChanged, this, &CTimelinePanel::syncEditsToSelection);
    connect(m_pTimeline, &CTimelineWidget::viewChanged, this, &CTimelinePanel::syncScrollBars);
    connect(m_pTimeline, &CTimelineWidget::firstRowChanged, this, &CTimelinePanel::syncScrollBars);
    connect(m_pRowScroll, &QScrollBar::valueChanged, m_pTimeline, &CTimelineWidget::setFirstRow);
    connect(m_pViewScroll, &QScrollBar::valueChanged, this,
            [this](int nValue) { m_pTimeline->setView(nValue, m_pTimeline->viewSpan()); });

    m_pCursorTimer = new QTimer(this);
    connect(m_pCursorTimer, &QTimer::timeout, this, &CTimelinePanel::updateCursor);
    setDay(TimelineDay());
}

CTimelinePanel::~CTimelinePanel()
{
    // A time box that has the focus finishes its editing while QWidget's
    // destructor hides it, when this object is no longer a panel.
    for (QTimeEdit* pEdit : {m_pStartEdit, m_pEndEdit})
        disconnect(pEdit, nullptr, this, nullptr);
}

void CTimelinePanel::attachDisplayBox(CDisplayBox* pBox)
{
    m_pBox = pBox;
    connect(this, &CTimelinePanel::playRecordAt, pBox, &CDisplayBox::onPlayRecordAt);
    connect(this, &CTimelinePanel::changeWndMode, pBox, &CDisplayBox::onChangeWndMode);
    connect(this, &CTimelinePanel::syncPlay, pBox, &CDisplayBox::onSyncPlay);
    m_pCursorTimer->start(kCursorPollMs);
}

QToolButton* CTimelinePanel::zoomButton(int nIndex) const
{
    return (nIndex >= 0 && nIndex < 4) ? m_pZoom[nIndex] : nullptr;
}

const TimelineDay& CTimelinePanel::day() const
{
    return m_pTimeline->day();
}

// ---------------------------------------------------------------------------
// The day

void CTimelinePanel::setDay(TimelineDay day)
{
    m_pTimeline->setDay(day);
    m_pLegend->refresh();
    QString title = day.date.isValid() ? day.date.toString("yyyy-MM-dd") : tr("Timeline");
    if (!day.strSource.isEmpty())
        title += QStringLiteral("  ") + day.strSource;
    m_pTitle->setText(title);
    m_pTitle->setToolTip(day.strSource);
    const bool bHasDay = !day.isEmpty();
    m_pStartEdit->setEnabled(bHasDay);
    m_pEndEdit->setEnabled(bHasDay);
    syncEditsToSelection();
    fitHeight();
    syncScrollBars();
    updateCursor();
}

void CTimelinePanel::fitHeight()
{
    const int nRows = qBound(2, day().rows.size(), int(kMaxVisibleRows));
    m_pTimeline->setFixedHeight(CTimelineWidget::heightForRows(nRows));
    m_pRowScroll->setVisible(day().rows.size() > kMaxVisibleRows);
    // The panel's own height follows what it holds.
    layout()->activate();
    setFixedHeight(layout()->sizeHint().height());
}

void CTimelinePanel::syncScrollBars()
{
    const int nHidden = qMax(0, day().rows.size() - m_pTimeline->visibleRows());
    m_pRowScroll->blockSignals(true);
    m_pRowScroll->setRange(0, nHidden);
    m_pRowScroll->setPageStep(qMax(1, m_pTimeline->visibleRows()));
    m_pRowScroll->setValue(m_pTimeline->firstRow());
    m_pRowScroll->blockSignals(false);

    const int nSpan = int(std::lround(m_pTimeline->viewSpan()));
    m_pViewScroll->blockSignals(true);
    m_pViewScroll->setRange(0, kDay - nSpan);
    m_pViewScroll->setPageStep(nSpan);
    m_pViewScroll->setSingleStep(qMax(1, nSpan / 10));
    m_pViewScroll->setValue(int(std::lround(m_pTimeline->viewStart())));
    m_pViewScroll->blockSignals(false);
    // The space of the scroll bar stays, so the panel does not change its
    // height with every zoom.
    m_pViewScroll->setEnabled(nSpan < kDay);

    // A zoom between the buttons' spans leaves none of them checked.
    QButtonGroup* pGroup = m_pZoom[0]->group();
    pGroup->setExclusive(false);
    for (int i = 0; i < 4; ++i)
        m_pZoom[i]->setChecked(std::abs(m_pTimeline->viewSpan() - kZoomSpans[i]) < 1.0);
    pGroup->setExclusive(true);
}

// ---------------------------------------------------------------------------
// Range

void CTimelinePanel::syncEditsToSelection()
{
    const bool bSelected = m_pTimeline->hasSelection();
    m_bUpdatingEdits = true;
    m_pStartEdit->setTime(timeOfSeconds(bSelected ? m_pTimeline->selectionStart() : 0));
    m_pEndEdit->setTime(timeOfSeconds(bSelected ? m_pTimeline->selectionEnd() : 0));
    m_bUpdatingEdits = false;
    m_pExportButton->setEnabled(bSelected && !day().isEmpty());
}

void CTimelinePanel::onRangeEdited()
{
    if (m_bUpdatingEdits)
        return;
    const int nStart = secondsOfTime(m_pStartEdit->time());
    int nEnd = secondsOfTime(m_pEndEdit->time());
    // 23:59:59 in the box stands for the end of the day when the selection
    // reaches it.
    if (nEnd == kDay - 1 && m_pTimeline->selectionEnd() == kDay)
        nEnd = kDay;
    if (nEnd > nStart)
        m_pTimeline->setSelection(nStart, nEnd);
    else
        m_pExportButton->setEnabled(false);
}

void CTimelinePanel::onExportRangeRequested()
{
    if (!m_pTimeline->hasSelection() || day().isEmpty())
        return;
    const QDateTime midnight(day().date, QTime(0, 0));
    emit exportRange(day(), midnight.addSecs(m_pTimeline->selectionStart()),
                     midnight.addSecs(m_pTimeline->selectionEnd()));
}

// ---------------------------------------------------------------------------
// Play

void CTimelinePanel::onPlayRequested(int nRow, int nSecond)
{
    const TimelineRecording* pRec = day().recordingAt(nRow, nSecond);
    if (!pRec) {
        FancyMessageBox::message(tr("Channel %1 has no recording at %2")
                                     .arg(day().rows.value(nRow).nChannel + 1, 3, 10, QLatin1Char('0'))
                                     .arg(FormatTimeOfDay(nSecond)));
        return;
    }
    emit playRecordAt(pRec->strPath, nSecond % kDay);
}

QMap<int, QStringList> CTimelinePanel::syncQueueAt(int nSecond) const
{
    QMap<int, QStringList> queues;
    for (const TimelineRow& row : day().rows) {
        QVector<SyncSpan> spans;
        spans.reserve(row.recordings.size());
        for (const TimelineRecording& r : row.recordings)
            spans.append(SyncSpan{r.nStart, r.nEnd});
        QStringList paths;
        for (int i : SyncQueueEntries(spans, nSecond, kSyncFromSecond))
            paths << row.recordings.at(i).strPath;
        if (!paths.isEmpty())
            queues[row.nChannel] = paths;
    }
    return queues;
}

void CTimelinePanel::onSyncPlayRequested(int nSecond)
{
    const QMap<int, QStringList> queues = syncQueueAt(nSecond);
    if (queues.isEmpty()) {
        FancyMessageBox::message(tr("No recording at or after %1").arg(FormatTimeOfDay(nSecond)));
        return;
    }
    int nHighest = -1;
    for (const TimelineRow& row : day().rows)
        nHighest = qMax(nHighest, row.nChannel);
    CGlobalAppData::instance()->clearSyncQueue(-1);
    // Window index = channel, as in the record pages' Sync Play.
    emit changeWndMode(nHighest + 1);
    ReplaceSyncQueue(queues);
    emit syncPlay(nSecond % kDay);
}

int CTimelinePanel::activePlaySeconds() const
{
    if (!m_pBox || day().isEmpty())
        return -1;
    CPlayManage* pManage = CPlayManage::instance();
    const int nWnd = m_pBox->activeWindow();
    if (!pManage->IsPlaying(nWnd))
        return -1;
    if (pManage->IsSync(nWnd)) {
        // Every window waits for the one furthest behind: its time is the
        // common time.
        const int nEarliest = CGlobalAppData::instance()->earliestSyncWindow.load();
        CPlay* pPlay = pManage->GetPlay(pManage->IsPlaying(nEarliest) ? nEarliest : nWnd);
        int nSeconds = pPlay ? int(pPlay->GetCurSeconds()) : 0;
        RecordSpan span;
        if (nSeconds == 0 || !RecordSpanFromPath(pManage->GetPlayFile(nWnd), &span))
            return -1;
        if (span.nEnd >= kDay && nSeconds < span.nStart)
            nSeconds += kDay;  // past the midnight its recording crosses
        return int(day().date.daysTo(span.date)) * kDay + nSeconds;
    }
    const qint64 nTime = pManage->GetCurTime(nWnd);
    if (nTime <= 0)
        return -1;
    const QDateTime shown = QDateTime::fromSecsSinceEpoch(nTime);
    return int(day().date.daysTo(shown.date())) * kDay + shown.time().msecsSinceStartOfDay() / 1000;
}

void CTimelinePanel::updateCursor()
{
    const int nBefore = m_pTimeline->cursorSeconds();
    const int nSeconds = activePlaySeconds();
    m_pTimeline->setCursorSeconds(nSeconds);
    // A cursor that walks out of the view takes the view along.
    const double viewEnd = m_pTimeline->viewStart() + m_pTimeline->viewSpan();
    if (nSeconds >= 0 && nBefore >= 0 && nBefore <= viewEnd && nSeconds > viewEnd)
        m_pTimeline->setView(nSeconds - m_pTimeline->viewSpan() / 10, m_pTimeline->viewSpan());
}
