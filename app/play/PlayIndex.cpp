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
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_state.bIndexReady = false;
    }
    ClearIndex();

    CPlaySource source(&m_pAppData->diskLock);
    if (!source.Open(GetPlayFile())) {
        qDebug() << "open failed\n";
        return;
    }
    const uint64_t nLength = source.Length();
    if (nLength < kMinDataLength || nLength > uint64_t(INT64_MAX)) {
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            m_state.nDataLen = 0;
        }
        source.Close();
        qDebug() << "DataLen" << nLength << " Error " << m_nWndIndex;
        return;
    }
    bool bSync = false;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_state.nDataLen = int64_t(nLength);
        bSync = m_state.bSync;
    }
    const size_t nChunk = bSync ? kIndexChunkSync : kIndexChunk;
    FrameIndexResult result = BuildFrameIndex(
        [&source](uint64_t nPos, uint8_t* pBuf, size_t n) { return source.ReadAt(nPos, pBuf, n); },
        int64_t(nLength), nChunk, [this] { return m_bStopIndex.load() != 0; });
    source.Close();
    if (result.bReady) {
        // The entries are in place before the figures say the index is ready.
        std::lock_guard<std::mutex> lock(m_indexMutex);
        m_indexList.swap(result.entries);
    }
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_state.nDataLen = result.nDataLen;
        if (result.bReady) {
            m_state.nFirstTime = result.nFirstTime;
            m_state.nLastTime = result.nLastTime;
            m_state.nFrameCount = result.nFrameCount;
            m_state.bIndexReady = true;
        }
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
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_state.bIndexReady = false;
    }
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
    const State state = GetState();
    if (state.bFilePort)
        return clampPos(double(state.times.fProgress) * 1000.0);

    const int64_t nCurTime = state.times.nCurTime;
    if (nCurTime <= 0)
        return 0;
    const QDateTime t = QDateTime::fromSecsSinceEpoch(nCurTime);
    const QDate d = t.date();
    const QTime tod = t.time();

    if (state.bIndexReady) {
        const uint32_t nFirst = state.nFirstTime;
        const int64_t nDuration = wfs_time_diff(state.nLastTime, nFirst);
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            m_state.nDuration = int32_t(std::min<int64_t>(nDuration, INT32_MAX));
        }
        if (nDuration <= 0)
            return 0;
        const wfs_time now = wfs_time_pack(d.year(), d.month(), d.day(), tod.hour(), tod.minute(), tod.second());
        return clampPos(double(wfs_time_diff(now, nFirst)) / double(nDuration) * 1000.0);
    }

    RecordTimes times;
    if (!ParseRecordTimes(state.strFilePath, &times))
        return 0;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_state.nDuration = times.nDuration;
    }
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
    const State state = GetState();
    if (state.bFilePort) {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (m_state.nPort > 0)
            TVPLAY_SetPlayPosition(m_state.nPort, int(f * 100.0f));
        return 1;
    }
    if (state.bIndexReady) {
        const uint32_t n = uint32_t(double(f) * double(state.nFrameCount));
        std::lock_guard<std::mutex> lock(m_indexMutex);
        const int i = FindSeekEntry(m_indexList, true, n);
        if (i < 0)
            return -1;
        m_seekRequest.Ask(m_indexList[size_t(i)].nOffset);
        return int(PackedSecondsOfDay(m_indexList[size_t(i)].nTime));
    }
    if (state.nDataLen > 0 && !state.bSync)
        m_seekRequest.Ask(uint64_t(double(state.nDataLen) * double(f)));
    return -1;
}

bool CPlay::SeekToTime(int nSeconds)
{
    if (!IsIndexReady() || nSeconds < 0)
        return false;
    std::lock_guard<std::mutex> lock(m_indexMutex);
    const int i = FindSeekEntry(m_indexList, false, uint32_t(nSeconds));
    // A time before the recording's first key frame starts it from the top.
    m_seekRequest.Ask(i < 0 ? 0 : m_indexList[size_t(i)].nOffset);
    return true;
}
