// Times of a recording read from its path, and the range of a cut.
//
// A recording's path (on a recorder disk or in a local export folder)
// carries its date and its start and end time of day:
//   .../ide<letter><part>/<yyyy>-<mm>-<dd>/<ccc>/<hh>.<mm>.<ss>-<hh>.<mm>.<ss>...
// Seconds in a range are counted from midnight at the start of the
// recording's date, so a recording or cut that passes midnight has values of
// 86400 and more.
#pragma once

#include <QDate>
#include <QString>

struct RecordSpan {
    bool bValid = false;
    QDate date;          // the recording's date
    int nPart = 0;
    int nChannel = 0;
    int nStart = 0;      // seconds of day
    int nEnd = 0;        // seconds from the date's midnight: + 86400 when it passes midnight
};

// Parses the text after the first "/ide" and its disk letter. False (and
// bValid false) unless every field is read and is a real date and time.
bool RecordSpanFromPath(const QString& strPath, RecordSpan* pOut);

struct CutRange {
    int nStart = 0;  // seconds from the recording date's midnight
    int nEnd = 0;    // likewise; never below nStart
};

// The cut of the time-of-day values nCutStart..nCutEnd (0..86399) out of a
// recording. An end earlier than the start lies on the following day; so
// does a start earlier than the recording's start when the recording passes
// midnight. False when the range does not lie inside the recording.
bool MakeCutRange(const RecordSpan& rec, int nCutStart, int nCutEnd, CutRange* pOut);

// "%04d%02d%02d_%02d.%02d.%02d_%02d.%02d.%02d.h264": the recording's date,
// the cut's start and end time of day.
QString CutOutputName(const RecordSpan& rec, int nCutStart, int nCutEnd);

// "hh:mm:ss" of a time of day in seconds (taken modulo one day).
QString FormatTimeOfDay(int nSeconds);
