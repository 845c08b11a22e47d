#ifndef ORVELLE_APP_DISPLAY_TIMELINEDAY_H
#define ORVELLE_APP_DISPLAY_TIMELINEDAY_H

// What the day timeline shows: for one date of one recorder partition (or
// one local folder) the recordings of every channel that has any that day.
//
// Times are seconds from the midnight that starts the date. A recording of
// the day before that passes midnight is part of the day too (its start is
// negative), so the first minutes of a day never look like a gap.

#include <QChar>
#include <QDate>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>

struct TimelineRecording
{
    int nStart = 0;
    int nEnd = 0;
    QChar cType = QLatin1Char('R');  // type letter of the name
    QString strName;                 // the name the tree shows
    QString strPath;                 // the path it is played, cut and exported by
};

struct TimelineRow
{
    int nChannel = 0;                        // 0-based
    QVector<TimelineRecording> recordings;  // in time order
};

struct TimelineDay
{
    enum Origin { FromDisk = 0, FromLocalFolder = 1 };

    QDate date;
    int nOrigin = FromDisk;
    QString strSource;          // where the day lies: "idea0", a folder
    QVector<TimelineRow> rows;  // ascending channel
    // Every recording of the same partition on the day before, the day and
    // the day after: what a range export may take frames from.
    QStringList candidates;

    bool isEmpty() const { return !date.isValid() || rows.isEmpty(); }
    int recordingCount() const;
    int rowOfChannel(int nChannel) const;
    // The first recording of a row running at nSecond (start <= s < end).
    const TimelineRecording* recordingAt(int nRow, int nSecond) const;
};

Q_DECLARE_METATYPE(TimelineDay)

#endif
