#ifndef ORVELLE_APP_DISPLAY_TIMELINEPANEL_H
#define ORVELLE_APP_DISPLAY_TIMELINEPANEL_H

// CTimelinePanel: the day timeline under the video grid. A tool row (the
// date and where it lies, zoom buttons 24 h / 6 h / 1 h / 10 min, the legend,
// the selected range's start and end to the second, "Export range") above the
// timeline itself, with scroll bars for rows that do not fit and for the part
// of the day out of view.
//
// It turns the timeline's gestures into play requests: a click plays the
// clicked channel's recording from that second in the active window, a
// double-click starts synchronous play of every channel from that second
// (queued as the record pages' Sync Play queues, the recording running at
// that second first). A few times a second it puts the play cursor at the
// active window's play time, in synchronous play at the common time.

#include "app/display/TimelineDay.h"

#include <QDateTime>
#include <QFrame>
#include <QMap>
#include <QStringList>

class CDisplayBox;
class CTimelineLegend;
class CTimelineWidget;
class QLabel;
class QScrollBar;
class QTimeEdit;
class QTimer;
class QToolButton;

class CTimelinePanel : public QFrame
{
    Q_OBJECT

public:
    enum { kMaxVisibleRows = 8, kCursorPollMs = 250 };
    // The zoom buttons' spans, seconds.
    static const int kZoomSpans[4];

    explicit CTimelinePanel(QWidget* parent = nullptr);
    ~CTimelinePanel() override;

    // Plays into this display box and follows its active window.
    void attachDisplayBox(CDisplayBox* pBox);

    CTimelineWidget* timeline() const { return m_pTimeline; }
    CTimelineLegend* legend() const { return m_pLegend; }
    QLabel* titleLabel() const { return m_pTitle; }
    QToolButton* zoomButton(int nIndex) const;
    QTimeEdit* rangeStartEdit() const { return m_pStartEdit; }
    QTimeEdit* rangeEndEdit() const { return m_pEndEdit; }
    QToolButton* exportButton() const { return m_pExportButton; }
    QScrollBar* rowScrollBar() const { return m_pRowScroll; }
    QScrollBar* viewScrollBar() const { return m_pViewScroll; }
    const TimelineDay& day() const;

    // What a double-click at nSecond queues: per window (0-based channel)
    // the recordings' paths.
    QMap<int, QStringList> syncQueueAt(int nSecond) const;

    // One round of the cursor poll.
    void updateCursor();

public slots:
    void setDay(TimelineDay day);
    void onPlayRequested(int nRow, int nSecond);
    void onSyncPlayRequested(int nSecond);
    void onExportRangeRequested();

signals:
    void playRecordAt(QString strFilePath, int nSeconds);
    void changeWndMode(int nWndNum);
    void syncPlay(int nSyncTime);
    // The selected range of the day, for the export dialog.
    void exportRange(TimelineDay day, QDateTime from, QDateTime to);

private:
    void syncEditsToSelection();
    void onRangeEdited();
    void syncScrollBars();
    void fitHeight();
    // Seconds of the timeline's day at which the active window plays, -1.
    int activePlaySeconds() const;

    CTimelineWidget* m_pTimeline = nullptr;
    CTimelineLegend* m_pLegend = nullptr;
    QLabel* m_pTitle = nullptr;
    QToolButton* m_pZoom[4] = {};
    QTimeEdit* m_pStartEdit = nullptr;
    QTimeEdit* m_pEndEdit = nullptr;
    QToolButton* m_pExportButton = nullptr;
    QScrollBar* m_pRowScroll = nullptr;
    QScrollBar* m_pViewScroll = nullptr;
    QTimer* m_pCursorTimer = nullptr;
    CDisplayBox* m_pBox = nullptr;
    bool m_bUpdatingEdits = false;
};

#endif
