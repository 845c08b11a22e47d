// CPlay's index thread and the operations that use the index: play position,
// seeking by ratio and by time of day.

#include "app/play/Play.h"

#include "app/play/PlayPaths.h"
#include "app/play/PlaySource.h"
#include "app/shell/GlobalAppData.h"
#include "wfs/file/wfs_time.h"

#include <QDateTime>
#include <QDebug>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>

namespace {

const uint64_t kMinDataLength = 1025;  // shorter data holds no recording

int clampPos(double f)
{
    if (!(f > 0.0))
        return 0;
    return f >= 1000.0 ? 1000 : int(f);
}

float clampRatio(float f)
{
    if (!(f > 0.0f))
        return 0.0f;
    return f > 1.0f ? 1.0f : f;
}

} // namespace

void CPlay::IndexThreadEntry(void* pArg)
{
    static_cast<CPlay*>(pArg)->FileIndexThread();
}

void CPlay::FileIndexThread()
{
    qDebug() << "FileIndexThread Index" << m_nWndIndex << " Start ";
    QElapsedTimer timer;
    timer.start();
    m_bIndexReady.store(0);
    ClearIndex();

    CPlaySource source(&m_pAppData->diskLock);
    if (!source.Open(GetPlayFile())) {
        qDebug() << "open failed\n";
        return;
    }
    const uint64_t nLength = source.Length();
    if (nLength < kMinDataLength || nLength > uint64_t(INT64_MAX)) {
        m_nDataLen.store(0);
        source.Close();
        qDebug() << "DataLen" << nLength << " Error " << m_nWndIndex;
        return;
    }
    m_nDataLen.store(int64_t(nLength));
    const size_t nChunk = m_bSync.load() ? kIndexChunkSync : kIndexChunk;
    FrameIndexResult result = BuildFrameIndex(
        [&source](uint64_t nPos, uint8_t* pBuf, size_t n) { return source.ReadAt(nPos, pBuf, n); },
        int64_t(nLength), nChunk, [this] { return m_bStopIndex.load() != 0; });
    source.Close();
    m_nDataLen.store(result.nDataLen);
    if (result.bReady) {
        {
            std::lock_guard<std::mutex> lock(m_indexMutex);
            m_indexList.swap(result.entries);
        }
        m_nFirstTime.store(result.nFirstTime);
        m_nLastTime.store(result.nLastTime);
        m_nFrameCount.store(result.nFrameCount);
        m_bIndexReady.store(1);
    }
    qDebug() << "FileIndexThread Index" << m_nWndIndex << " End " << timer.elapsed()
             << (result.bReady ? "ready" : "not ready");
}

// Called by the play thread when it moves on to the next queued recording:
// the previous index run has ended before the next one starts.
void CPlay::RestartIndex()
{
    m_bStopIndex.store(1);
    m_indexThread.join();
    m_bIndexReady.store(0);
    ClearIndex();
    std::lock_guard<std::mutex> lock(m_threadMutex);
    if (IsStopping())
        return;
    m_bStopIndex.store(0);
    m_indexThread.startJob(&CPlay::IndexThreadEntry, this);
}

// ---------------------------------------------------------------------------
// Position

int CPlay::GetPlayPos()
{
    PlayTimes shown;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        shown = m_times;
    }
    if (m_bFilePort.load())
        return clampPos(double(shown.fProgress) * 1000.0);

    const int64_t nCurTime = shown.nCurTime;
    if (nCurTime <= 0)
        return 0;
    const QDateTime t = QDateTime::fromSecsSinceEpoch(nCurTime);
    const QDate d = t.date();
    const QTime tod = t.time();

    if (m_bIndexReady.load()) {
        const uint32_t nFirst = m_nFirstTime.load();
        const int64_t nDuration = wfs_time_diff(m_nLastTime.load(), nFirst);
        m_nDuration.store(int32_t(std::min<int64_t>(nDuration, INT32_MAX)));
        if (nDuration <= 0)
            return 0;
        const wfs_time now = wfs_time_pack(d.year(), d.month(), d.day(), tod.hour(), tod.minute(), tod.second());
        return clampPos(double(wfs_time_diff(now, nFirst)) / double(nDuration) * 1000.0);
    }

    RecordTimes times;
    if (!ParseRecordTimes(GetPlayFile(), &times))
        return 0;
    m_nDuration.store(times.nDuration);
    int p = tod.hour() * 3600 + tod.minute() * 60 + tod.second() - times.nStartSeconds;
    if (p < 0 && times.nEndSeconds < times.nStartSeconds)
        p += 86400;  // past midnight in a recording that crosses it
    if (times.nDuration > 0 && p >= 0 && p < times.nDuration)
        return clampPos(double(p) / double(times.nDuration) * 1000.0);
    return 0;
}

int CPlay::SetPlayPos(float fRatio)
{
    const float f = clampRatio(fRatio);
    if (m_bFilePort.load()) {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (m_nPort.load() > 0)
            TVPLAY_SetPlayPosition(m_nPort.load(), int(f * 100.0f));
        return 1;
    }
    if (m_bIndexReady.load()) {
        const uint32_t n = uint32_t(double(f) * double(m_nFrameCount.load()));
        std::lock_guard<std::mutex> lock(m_indexMutex);
        const int i = FindSeekEntry(m_indexList, true, n);
        if (i < 0)
            return -1;
        m_seekRequest.Ask(m_indexList[size_t(i)].nOffset);
        return int(PackedSecondsOfDay(m_indexList[size_t(i)].nTime));
    }
    const int64_t nDataLen = m_nDataLen.load();
    if (nDataLen > 0 && !m_bSync.load()) {
        m_seekRequest.Ask(uint64_t(double(nDataLen) * double(f)));
    }
    return -1;
}

bool CPlay::SeekToTime(int nSeconds)
{
    if (!m_bIndexReady.load() || nSeconds < 0)
        return false;
    std::lock_guard<std::mutex> lock(m_indexMutex);
    const int i = FindSeekEntry(m_indexList, false, uint32_t(nSeconds));
    // A time before the recording's first key frame starts it from the top.
    m_seekRequest.Ask(i < 0 ? 0 : m_indexList[size_t(i)].nOffset);
    return true;
}
