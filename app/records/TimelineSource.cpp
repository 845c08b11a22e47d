#include "app/records/TimelineSource.h"

#include "app/records/RecordPage.h"
#include "app/records/RecordTree.h"
#include "app/records/RecordTreeRoles.h"

#include <QStandardItem>

#include <algorithm>

namespace TimelineSource {

namespace {

const int kDay = 86400;

// The letter between the first "[" and "]" of a display name.
QChar typeLetter(const QString& strName)
{
    const int at = strName.indexOf(QLatin1Char('['));
    if (at < 0 || at + 2 >= strName.size() || strName.at(at + 2) != QLatin1Char(']'))
        return QLatin1Char('R');
    return strName.at(at + 1);
}

// Appends the recordings of a date item's channels to rows keyed by
// channel, shifted by nShift seconds; with bOnlyIntoDay only those that
// reach into [0, 86400) after the shift.
void collect(const CRecordPage* pPage, QStandardItem* pDate, int nShift, bool bOnlyIntoDay,
             QMap<int, QVector<TimelineRecording>>& rows, QStringList& candidates)
{
    if (!pDate)
        return;
    for (int c = 0; c < pDate->rowCount(); ++c) {
        QStandardItem* pChannel = pDate->child(c);
        if (RecordTree::level(pChannel) != ChannelLevel)
            continue;
        const int nChannel = pChannel->data(KeyRole).toInt();
        for (int r = 0; r < pChannel->rowCount(); ++r) {
            QStandardItem* pRecord = pChannel->child(r);
            TimelineRecording rec;
            rec.strName = pRecord->data(KeyRole).toString();
            if (RecordTree::level(pRecord) != RecordLevel ||
                !RecordTree::parseTimeRange(rec.strName, &rec.nStart, &rec.nEnd))
                continue;
            rec.strPath = pPage->recordingPath(pRecord->index());
            candidates << rec.strPath;
            rec.nStart += nShift;
            rec.nEnd += nShift;
            if (bOnlyIntoDay && (rec.nEnd <= 0 || rec.nStart >= kDay))
                continue;
            rec.cType = typeLetter(rec.strName);
            rows[nChannel].append(rec);
        }
    }
}

// The date item among pParent's own children with that date's text: the
// neighbours of a day, never a date of another subtree below the partition
// (the recovered recordings have dates of their own).
QStandardItem* siblingDate(QStandardItem* pParent, const QDate& date)
{
    if (!pParent)
        return nullptr;
    const QString text = date.toString("yyyy-MM-dd");
    for (int i = 0; i < pParent->rowCount(); ++i) {
        QStandardItem* pItem = pParent->child(i);
        if (RecordTree::level(pItem) == DateLevel && pItem->data(KeyRole).toString() == text)
            return pItem;
    }
    return nullptr;
}

}  // namespace

QStandardItem* dateItemOf(QStandardItem* pItem)
{
    while (pItem && RecordTree::level(pItem) > DateLevel)
        pItem = pItem->parent();
    return RecordTree::level(pItem) == DateLevel ? pItem : nullptr;
}

TimelineDay dayOf(const CRecordPage* pPage, QStandardItem* pDateItem)
{
    TimelineDay day;
    if (!pPage || RecordTree::level(pDateItem) != DateLevel)
        return day;
    day.date = pDateItem->data(DateRole).toDate();
    day.nOrigin = pPage->isLocal() ? TimelineDay::FromLocalFolder : TimelineDay::FromDisk;
    QStandardItem* pPart = pDateItem->parent();
    QStandardItem* pTop = pPart ? pPart->parent() : nullptr;
    // The partition (under a local folder, or with the node of recovered
    // recordings between them).
    const bool bNested = day.nOrigin == TimelineDay::FromLocalFolder || RecordTree::level(pTop) == PartitionLevel;
    if (pPart)
        day.strSource = (bNested && pTop) ? pTop->text() + QLatin1Char('/') + pPart->text() : pPart->text();

    QMap<int, QVector<TimelineRecording>> rows;
    QStringList before, after;
    QStandardItem* pBefore = siblingDate(pPart, day.date.addDays(-1));
    QStandardItem* pAfter = siblingDate(pPart, day.date.addDays(1));
    // The day before's recordings that pass midnight run into this day.
    collect(pPage, pBefore, -kDay, true, rows, before);
    collect(pPage, pDateItem, 0, false, rows, day.candidates);
    QMap<int, QVector<TimelineRecording>> unused;
    collect(pPage, pAfter, kDay, true, unused, after);
    day.candidates = before + day.candidates + after;

    for (auto it = rows.begin(); it != rows.end(); ++it) {
        TimelineRow row;
        row.nChannel = it.key();
        row.recordings = it.value();
        std::stable_sort(row.recordings.begin(), row.recordings.end(),
                         [](const TimelineRecording& a, const TimelineRecording& b) { return a.nStart < b.nStart; });
        day.rows.append(row);
    }
    return day;
}

}  // namespace TimelineSource
