#ifndef ORVELLE_APP_DISPLAY_TIMELINELEGEND_H
#define ORVELLE_APP_DISPLAY_TIMELINELEGEND_H

// The legend of the day timeline: a colour swatch and a name for every type
// letter that the day's recordings carry. What does not fit the width is
// left out of the drawing; the tooltip always names every entry.

#include <QWidget>

class CTimelineWidget;

class CTimelineLegend : public QWidget
{
    Q_OBJECT

public:
    explicit CTimelineLegend(CTimelineWidget* pTimeline, QWidget* parent = nullptr);

    // Takes the letters from the timeline's present day.
    void refresh();
    // "R Regular", "A Alarm", ... in the order drawn.
    QStringList entries() const;
    // The name of a type letter.
    static QString typeName(QChar cType);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CTimelineWidget* m_pTimeline;
    QString m_letters;
};

#endif
