#ifndef ORVELLE_APP_DISPLAY_TIMELINEWIDGET_H
#define ORVELLE_APP_DISPLAY_TIMELINEWIDGET_H

// CTimelineWidget: the drawn part of the day timeline. A time ruler on top,
// below it one row per channel of the day with a bar per recording, coloured
// by the recording's type letter; gaps stay empty.
//
// The view shows a window of the day between 10 minutes and 24 hours wide;
// the wheel zooms around the time under the pointer (over the channel
// numbers it scrolls the rows). A click on a row asks to play that channel
// from the clicked second, a double-click to play every channel in step from
// it; a drag selects a range of seconds, shown shaded, which the context menu
// offers to export. The play cursor is a vertical line at a second of the
// day set from outside.
//
// Colours come from the skin (qproperty-... in the style sheet).

#include "app/display/TimelineDay.h"

#include <QColor>
#include <QPoint>
#include <QVector>
#include <QWidget>

class QMenu;
class QTimer;

struct TimelineTick
{
    int x = 0;
    int nSeconds = 0;
    QString strText;  // empty for a minor tick
};

class CTimelineWidget : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
    Q_PROPERTY(QColor rowColor READ rowColor WRITE setRowColor)
    Q_PROPERTY(QColor rulerColor READ rulerColor WRITE setRulerColor)
    Q_PROPERTY(QColor gridColor READ gridColor WRITE setGridColor)
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor)
    Q_PROPERTY(QColor selectionColor READ selectionColor WRITE setSelectionColor)
    Q_PROPERTY(QColor cursorColor READ cursorColor WRITE setCursorColor)
    Q_PROPERTY(QColor regularColor READ regularColor WRITE setRegularColor)
    Q_PROPERTY(QColor alarmColor READ alarmColor WRITE setAlarmColor)
    Q_PROPERTY(QColor motionColor READ motionColor WRITE setMotionColor)
    Q_PROPERTY(QColor otherColor READ otherColor WRITE setOtherColor)

public:
    enum {
        kDaySeconds = 86400,
        kMinSpan = 600,  // the closest zoom: 10 minutes
        kRulerHeight = 18,
        kRowHeight = 16,
    };

    explicit CTimelineWidget(QWidget* parent = nullptr);

    void setDay(const TimelineDay& day);
    const TimelineDay& day() const { return m_day; }

    // The part of the day in view, seconds.
    double viewStart() const { return m_dViewStart; }
    double viewSpan() const { return m_dViewSpan; }
    void setView(double dStart, double dSpan);
    // Zooms by a factor (< 1 closer) keeping the time under x where it is.
    void zoomAt(int x, double dFactor);
    // Shows nSpan seconds around the play cursor, else around the selection,
    // else around the middle of the view.
    void zoomTo(int nSpan);

    // Rows: the first one shown and how many fit.
    int firstRow() const { return m_nFirstRow; }
    void setFirstRow(int nRow);
    int visibleRows() const;
    // Height that shows nRows rows.
    static int heightForRows(int nRows) { return kRulerHeight + nRows * kRowHeight; }

    // Geometry shared with the tests.
    QRect barsRect() const;
    int labelWidth() const { return m_nLabelWidth; }
    double timeAt(double x) const;
    double xOf(double dSeconds) const;
    // Row index under y, -1 for none (ruler, below the last row).
    int rowAt(int y) const;
    // Middle of a row's bar, in widget coordinates.
    int rowCentreY(int nRow) const;
    // Ticks of the ruler for the present width and view; labelled ticks are
    // spaced so that their texts never touch.
    QVector<TimelineTick> ticks() const;
    QRect tickLabelRect(const TimelineTick& tick) const;

    // Play cursor, seconds of the day; -1 hides it.
    void setCursorSeconds(int nSeconds);
    int cursorSeconds() const { return m_nCursor; }

    // Range selection in seconds of the day (start < end).
    bool hasSelection() const { return m_nSelStart < m_nSelEnd; }
    int selectionStart() const { return m_nSelStart; }
    int selectionEnd() const { return m_nSelEnd; }
    void setSelection(int nStart, int nEnd);
    void clearSelection();

    // The colour of a type letter's bars.
    QColor typeColor(QChar cType) const;

    // The context menu for the present state; the caller owns it.
    QMenu* createContextMenu();
    // The tooltip at a point: the channel, the recording's name and times,
    // or the gap it lies in.
    QString toolTipAt(const QPoint& pos) const;

    QColor backgroundColor() const { return m_background; }
    void setBackgroundColor(const QColor& c) { m_background = c; update(); }
    QColor rowColor() const { return m_row; }
    void setRowColor(const QColor& c) { m_row = c; update(); }
    QColor rulerColor() const { return m_ruler; }
    void setRulerColor(const QColor& c) { m_ruler = c; update(); }
    QColor gridColor() const { return m_grid; }
    void setGridColor(const QColor& c) { m_grid = c; update(); }
    QColor textColor() const { return m_text; }
    void setTextColor(const QColor& c) { m_text = c; update(); }
    QColor selectionColor() const { return m_selection; }
    void setSelectionColor(const QColor& c) { m_selection = c; update(); }
    QColor cursorColor() const { return m_cursor; }
    void setCursorColor(const QColor& c) { m_cursor = c; update(); }
    QColor regularColor() const { return m_regular; }
    void setRegularColor(const QColor& c);
    QColor alarmColor() const { return m_alarm; }
    void setAlarmColor(const QColor& c);
    QColor motionColor() const { return m_motion; }
    void setMotionColor(const QColor& c);
    QColor otherColor() const { return m_other; }
    void setOtherColor(const QColor& c);

signals:
    // A click on a row at a second of the day.
    void playRequested(int nRow, int nSecond);
    // A double-click anywhere over the bars.
    void syncPlayRequested(int nSecond);
    void selectionChanged();
    void exportRangeRequested();
    void viewChanged();
    void firstRowChanged(int nRow);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    // One recording as painted: its span and its colour's index.
    struct Bar
    {
        int nStart;
        int nEnd;
        quint8 nColor;
    };
    struct PaintRow
    {
        QVector<Bar> bars;  // by start
        int nLongest = 0;   // the longest bar, to find the first one in view
    };

    void rebuildBars();
    void rebuildColors();
    void paintRuler(QPainter& p, const QVector<TimelineTick>& ticks);
    void paintRow(QPainter& p, int nRow, int y);
    int secondAt(int x) const;
    QString timeText(int nSeconds) const;
    void clampView();

    TimelineDay m_day;
    QVector<PaintRow> m_paintRows;
    double m_dViewStart = 0.0;
    double m_dViewSpan = kDaySeconds;
    int m_nFirstRow = 0;
    int m_nLabelWidth = 40;
    int m_nCursor = -1;
    int m_nSelStart = 0;
    int m_nSelEnd = 0;

    // Mouse: a press, a drag that selects, a click that waits to see whether
    // a double-click follows.
    bool m_bPressed = false;
    bool m_bDragging = false;
    QPoint m_pressPos;
    QTimer* m_pClickTimer = nullptr;
    int m_nClickRow = -1;
    int m_nClickSecond = 0;

    QColor m_background{24, 26, 29};
    QColor m_row{30, 32, 36};
    QColor m_ruler{31, 34, 38};
    QColor m_grid{52, 56, 61};
    QColor m_text{170, 176, 184};
    QColor m_selection{4, 137, 245, 70};
    QColor m_cursor{255, 196, 0};
    QColor m_regular{47, 143, 216};
    QColor m_alarm{224, 75, 58};
    QColor m_motion{230, 162, 60};
    QColor m_other{59, 178, 115};
    QColor m_typeColors[16];
};

#endif
