#ifndef ORVELLE_APP_RECORDS_SYNCQUEUE_H
#define ORVELLE_APP_RECORDS_SYNCQUEUE_H

// What synchronous play queues for each window (window index = 0-based
// channel), shared by the record pages' "Sync Play" and the day timeline.
//
// A channel whose recording began a few seconds before the chosen second and
// runs through it starts with that recording, positioned at the second;
// otherwise its window would stay dark for the whole file (recorders start
// their hourly files within seconds of each other on every channel).

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// One recording of a channel: seconds from the midnight that starts the day
// being played. A recording of the day before that passes midnight has a
// negative start; one that passes the next midnight ends after 86400.
struct SyncSpan
{
    int nStart = 0;
    int nEnd = 0;
};

// nEnd for play from a bare second (no recording selected).
const int kSyncFromSecond = -1;

// The recordings of one channel, given in time order, that synchronous play
// from the second nStart queues, as indices into spans in queue order.
//
// With nEnd = the end of the selected recording (the tree's "Sync Play"): the
// recording running at nStart (start <= nStart < end) comes first, else the
// first one that starts in [nStart, nEnd); after it every later recording
// that starts at or after nStart and ends at or after nEnd.
//
// With nEnd = kSyncFromSecond (the timeline): the recording running at
// nStart first, else the next one to start; after it every later recording
// that ends after the last one queued, so the channel never goes back to
// pictures older than what it has shown.
QVector<int> SyncQueueEntries(const QVector<SyncSpan>& spans, int nStart, int nEnd);

// Replaces the whole sync queue with these paths per window, under its lock.
void ReplaceSyncQueue(const QMap<int, QStringList>& queues);

#endif
