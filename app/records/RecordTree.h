#ifndef ORVELLE_APP_RECORDS_RECORDTREE_H
#define ORVELLE_APP_RECORDS_RECORDTREE_H

// Walks over the record trees shared by the disk and local pages: finding
// nodes, collecting recordings, and choosing what synchronous play queues.

#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

class QStandardItem;

namespace RecordTree {

// Start and end of a recording as seconds of day, read from the start of its
// display name ("hh.mm.ss-hh.mm.ss..."). A recording whose end is earlier
// than its start passes midnight: its end lies on the next day (+ 86400).
bool parseTimeRange(const QString& strName, int* pStart, int* pEnd);

// The item's level (LevelRole), or -1 for none.
int level(const QStandardItem* pItem);

// The first item at or below pParent (depth first, pParent itself first)
// with the given level and key, or null.
QStandardItem* findBelow(QStandardItem* pParent, int nLevel, const QVariant& key);

// Every recording item at or below pItem, depth first, in tree order.
QList<QStandardItem*> collectRecordings(QStandardItem* pItem);

// Synchronous play from a recording [nStart, nEnd) of a date: for every
// channel item of the date, the recordings SyncQueueEntries chooses (the one
// running at nStart first). Keyed by the 0-based channel; channels with
// nothing chosen are left out.
QMap<int, QList<QStandardItem*>> syncSelection(QStandardItem* pDateItem, int nStart, int nEnd);

// The highest 0-based channel among a date's channel items, -1 for none.
int highestChannel(QStandardItem* pDateItem);

}  // namespace RecordTree

#endif
