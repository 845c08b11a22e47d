#include "app/records/SyncQueue.h"

#include "app/shell/GlobalAppData.h"

#include <mutex>

QVector<int> SyncQueueEntries(const QVector<SyncSpan>& spans, int nStart, int nEnd)
{
    QVector<int> chosen;
    const bool bFromSecond = nEnd < 0;
    int first = -1;
    for (int i = 0; i < spans.size() && first < 0; ++i) {
        if (spans[i].nStart <= nStart && nStart < spans[i].nEnd)
            first = i;
    }
    for (int i = 0; i < spans.size() && first < 0; ++i) {
        if (spans[i].nStart >= nStart && (bFromSecond || spans[i].nStart < nEnd))
            first = i;
    }
    if (first < 0)
        return chosen;
    chosen.append(first);
    int lastEnd = spans[first].nEnd;
    for (int i = first + 1; i < spans.size(); ++i) {
        const SyncSpan& s = spans[i];
        const bool take = bFromSecond ? s.nEnd > lastEnd : (s.nStart >= nStart && s.nEnd >= nEnd);
        if (take) {
            chosen.append(i);
            lastEnd = qMax(lastEnd, s.nEnd);
        }
    }
    return chosen;
}

void ReplaceSyncQueue(const QMap<int, QStringList>& queues)
{
    CGlobalAppData* pApp = CGlobalAppData::instance();
    std::lock_guard<std::mutex> lock(pApp->syncQueueLock);
    pApp->syncQueue.clear();
    for (auto it = queues.constBegin(); it != queues.constEnd(); ++it) {
        if (!it.value().isEmpty())
            pApp->syncQueue[it.key()] = it.value();
    }
}
