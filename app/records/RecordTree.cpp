#include "app/records/RecordTree.h"

#include "app/records/RecordTreeRoles.h"
#include "app/records/SyncQueue.h"

#include <QStandardItem>

namespace RecordTree {

namespace {

const int kSecondsPerDay = 86400;

// Two decimal digits at pos, or -1.
int twoDigits(const QString& s, int pos)
{
    if (pos + 1 >= s.size() || !s.at(pos).isDigit() || !s.at(pos + 1).isDigit())
        return -1;
    return s.at(pos).digitValue() * 10 + s.at(pos + 1).digitValue();
}

int timeOfDay(const QString& s, int pos)
{
    const int h = twoDigits(s, pos);
    const int m = twoDigits(s, pos + 3);
    const int sec = twoDigits(s, pos + 6);
    if (h < 0 || m < 0 || sec < 0 || s.at(pos + 2) != '.' || s.at(pos + 5) != '.')
        return -1;
    if (h > 23 || m > 59 || sec > 59)
        return -1;
    return h * 3600 + m * 60 + sec;
}

}  // namespace

bool parseTimeRange(const QString& strName, int* pStart, int* pEnd)
{
    // "hh.mm.ss-hh.mm.ss"
    if (strName.size() < 17 || strName.at(8) != '-')
        return false;
    const int start = timeOfDay(strName, 0);
    int end = timeOfDay(strName, 9);
    if (start < 0 || end < 0)
        return false;
    if (end < start)
        end += kSecondsPerDay;
    if (pStart)
        *pStart = start;
    if (pEnd)
        *pEnd = end;
    return true;
}

int level(const QStandardItem* pItem)
{
    if (!pItem)
        return -1;
    const QVariant v = pItem->data(LevelRole);
    return v.isValid() ? v.toInt() : -1;
}

QStandardItem* findBelow(QStandardItem* pParent, int nLevel, const QVariant& key)
{
    if (!pParent)
        return nullptr;
    if (level(pParent) == nLevel && pParent->data(KeyRole) == key)
        return pParent;
    // Levels grow by one per generation, so nothing below an item of the
    // wanted level can match: the walk stops there.
    if (level(pParent) >= nLevel)
        return nullptr;
    for (int i = 0; i < pParent->rowCount(); ++i) {
        if (QStandardItem* found = findBelow(pParent->child(i), nLevel, key))
            return found;
    }
    return nullptr;
}

static void collectInto(QStandardItem* pItem, QList<QStandardItem*>& out)
{
    if (level(pItem) == RecordLevel) {
        out.append(pItem);
        return;
    }
    for (int i = 0; i < pItem->rowCount(); ++i)
        collectInto(pItem->child(i), out);
}

QList<QStandardItem*> collectRecordings(QStandardItem* pItem)
{
    QList<QStandardItem*> out;
    if (pItem)
        collectInto(pItem, out);
    return out;
}

QMap<int, QList<QStandardItem*>> syncSelection(QStandardItem* pDateItem, int nStart, int nEnd)
{
    QMap<int, QList<QStandardItem*>> chosen;
    if (level(pDateItem) != DateLevel)
        return chosen;
    for (int c = 0; c < pDateItem->rowCount(); ++c) {
        QStandardItem* pChannel = pDateItem->child(c);
        if (level(pChannel) != ChannelLevel)
            continue;
        QList<QStandardItem*> records;
        QVector<SyncSpan> spans;
        for (int r = 0; r < pChannel->rowCount(); ++r) {
            QStandardItem* pRecord = pChannel->child(r);
            SyncSpan span;
            if (level(pRecord) != RecordLevel ||
                !parseTimeRange(pRecord->data(KeyRole).toString(), &span.nStart, &span.nEnd))
                continue;
            records.append(pRecord);
            spans.append(span);
        }
        QList<QStandardItem*> list;
        for (int i : SyncQueueEntries(spans, nStart, nEnd))
            list.append(records.at(i));
        if (!list.isEmpty())
            chosen[pChannel->data(KeyRole).toInt()].append(list);
    }
    return chosen;
}

int highestChannel(QStandardItem* pDateItem)
{
    int highest = -1;
    if (!pDateItem)
        return highest;
    for (int c = 0; c < pDateItem->rowCount(); ++c) {
        QStandardItem* pChannel = pDateItem->child(c);
        if (level(pChannel) == ChannelLevel)
            highest = qMax(highest, pChannel->data(KeyRole).toInt());
    }
    return highest;
}

}  // namespace RecordTree
