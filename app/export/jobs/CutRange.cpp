#include "app/export/jobs/CutRange.h"

#include <QTime>

#include <cstdio>

namespace {

const int kDay = 86400;

bool validTime(int h, int m, int s)
{
    return h >= 0 && h < 24 && m >= 0 && m < 60 && s >= 0 && s < 60;
}

}  // namespace

bool RecordSpanFromPath(const QString& strPath, RecordSpan* pOut)
{
    *pOut = RecordSpan();
    const int at = strPath.indexOf(QLatin1String("/ide"));
    if (at < 0)
        return false;
    // Only the fixed-width head of the name matters; the rest may be long.
    const QByteArray text = strPath.mid(at + 5, 64).toLatin1();
    int part, year, month, day, channel, h1, m1, s1, h2, m2, s2;
    if (std::sscanf(text.constData(), "%d/%04d-%02d-%02d/%03d/%02d.%02d.%02d-%02d.%02d.%02d", &part, &year,
                    &month, &day, &channel, &h1, &m1, &s1, &h2, &m2, &s2) != 11)
        return false;
    const QDate date(year, month, day);
    if (!date.isValid() || !validTime(h1, m1, s1) || !validTime(h2, m2, s2))
        return false;
    pOut->date = date;
    pOut->nPart = part;
    pOut->nChannel = channel;
    pOut->nStart = h1 * 3600 + m1 * 60 + s1;
    pOut->nEnd = h2 * 3600 + m2 * 60 + s2;
    if (pOut->nEnd < pOut->nStart)
        pOut->nEnd += kDay;  // passes midnight
    pOut->bValid = true;
    return true;
}

bool MakeCutRange(const RecordSpan& rec, int nCutStart, int nCutEnd, CutRange* pOut)
{
    if (!rec.bValid || nCutStart < 0 || nCutStart >= kDay || nCutEnd < 0 || nCutEnd >= kDay)
        return false;
    int start = nCutStart;
    if (start < rec.nStart && rec.nEnd >= kDay)
        start += kDay;  // the part of the recording after midnight
    int end = nCutEnd;
    if (end < nCutStart)
        end += kDay;
    if (start >= kDay && end < kDay)
        end += kDay;
    if (start < rec.nStart || end > rec.nEnd || end < start)
        return false;
    pOut->nStart = start;
    pOut->nEnd = end;
    return true;
}

QString CutOutputName(const RecordSpan& rec, int nCutStart, int nCutEnd)
{
    char name[64];
    std::snprintf(name, sizeof name, "%04d%02d%02d_%02d.%02d.%02d_%02d.%02d.%02d.h264", rec.date.year(),
                  rec.date.month(), rec.date.day(), nCutStart / 3600 % 24, nCutStart / 60 % 60, nCutStart % 60,
                  nCutEnd / 3600 % 24, nCutEnd / 60 % 60, nCutEnd % 60);
    return QString::fromLatin1(name);
}

QString FormatTimeOfDay(int nSeconds)
{
    const int s = ((nSeconds % kDay) + kDay) % kDay;
    return QTime(s / 3600, s / 60 % 60, s % 60).toString(QStringLiteral("hh:mm:ss"));
}
