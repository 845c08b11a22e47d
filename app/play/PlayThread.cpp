// CPlay's play thread: reads the recording, splits it into frames, paces and
// pushes them into the media port, follows seeks, waits for the earliest
// channel in synchronous play, and moves on to the window's next queued
// recording.

#include "app/play/Play.h"

#include "app/play/FeedPacer.h"
#include "app/play/PlayPaths.h"
#include "app/play/PlaySource.h"
#include "app/shell/GlobalAppData.h"
#include "media/stream/StreamReader.h"

#include <QDebug>
#include <QFile>

#include <chrono>
#include <vector>

namespace {

const size_t kReadPiece = 32768;      // bytes per read: keeps the disk lock short
const int kPausePollMs = 10;
const int kBufferPollMs = 10;
const int kSyncPollMs = 33;
const int kPlayOutPollMs = 50;
const int kPortBufferFrames = 100;
const int kQueueLockPollMs = 10;

} // namespace

void CPlay::PlayThreadEntry(void* pArg)
{
    static_cast<CPlay*>(pArg)->PlayThread();
}

bool CPlay::SleepMs(int nMs)
{
    if (IsStopping())
        return false;
    std::unique_lock<std::mutex> lock(m_sleepMutex);
    if (IsStopping())
        return false;
    m_sleepCond.wait_for(lock, std::chrono::milliseconds(nMs > 0 ? nMs : 0));
    return !IsStopping();
}

void CPlay::WakeSleepers()
{
    std::lock_guard<std::mutex> lock(m_sleepMutex);
    m_sleepCond.notify_all();
}

// ---------------------------------------------------------------------------
// Ports

int CPlay::OpenPort()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    const int nPort = TVPLAY_OpenPlay(&m_receiver, m_hWnd, kPortBufferFrames, 0, 0);
    if (nPort <= 0)
        return -1;
    // Known before it plays, so that none of its messages is taken for
    // another port's.
    m_nPort.store(nPort);
    m_bFilePort.store(false);
    if (TVPLAY_Play(nPort) < 0) {
        TVPLAY_Stop(nPort);
        m_nPort.store(0);
        return -1;
    }
    // A new port starts at normal speed, silent and with the whole picture:
    // carry the channel's settings over.
    const int nSpeed = m_nSpeed.load();
    if (nSpeed != SpeedNormal)
        TVPLAY_SetPlaySpeed(nPort, nSpeed - SpeedNormal);
    if (m_bSound.load() && TVPLAY_PlaySound(nPort) < 0)
        m_bSound.store(0);
    if (m_bRegion.load())
        TVPLAY_PlaySetDisplayRegion(nPort, &m_region);
    return nPort;
}

void CPlay::ClosePort()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    const int nPort = m_nPort.load();
    if (nPort > 0) {
        if (m_bRecording.exchange(0))
            TVPLAY_StopRecordData(nPort);
        TVPLAY_Stop(nPort);
    }
    m_nPort.store(0);
    m_bFilePort.store(false);
}

// ---------------------------------------------------------------------------
// The thread

void CPlay::PlayThread()
{
    qDebug() << "PlayThread start" << m_nWndIndex;
    const QString strPath = GetPlayFile();
    if (IsPushedDataPath(strPath))
        PlayPushedData();
    else
        PlayFilePort(strPath);
    qDebug() << "PlayThread Exit" << m_nWndIndex;
}

void CPlay::PlayFilePort(const QString& strPath)
{
    bool bPlaying = false;
    if (!IsStopping()) {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        const QByteArray path = QFile::encodeName(strPath);
        const int nPort = TVPLAY_OpenFilePlay(&m_receiver, path.constData(), m_hWnd, 0, 0);
        if (nPort > 0) {
            // A short file may end at once: its play-end message must find
            // the port already known.
            m_nPort.store(nPort);
            m_bFilePort.store(true);
            m_nPlayStatus.store(StatusPlaying);
            if (TVPLAY_Play(nPort) >= 0) {
                bPlaying = true;
            } else {
                TVPLAY_Stop(nPort);
                m_nPort.store(0);
                m_bFilePort.store(false);
            }
        }
    }
    if (!bPlaying) {
        qDebug() << "PlayThread file port failed" << strPath;
        SetPlayFile(QString());
        m_nPlayStatus.store(StatusClosed);
        PostStopNotify();
    }
    m_bStopPlay.store(1);
}

// Frame loop state shared by the steps of one play thread run.
struct CPlay::PumpState
{
    StreamReaderHandle hReader = nullptr;
    std::vector<uint8_t> buffer;
    int nPort = 0;
    bool bPortLost = false;
    // Frames before the first key frame after an open or a seek cannot be
    // decoded (a fragment of an overwritten recording starts inside a group
    // of pictures) and carry no time: they are passed over.
    bool bKeySeen = false;
    // When the next video frame goes to the port.
    CFeedPacer pacer;
};

void CPlay::PlayPushedData()
{
    PumpState st;
    st.buffer.resize(kReadPiece + 1);
    st.hReader = StreamReader_Create();
    CPlaySource source(&m_pAppData->diskLock);
    bool bMore = true;

    while (bMore && !IsStopping() && st.hReader) {
        m_bBuffering.store(0);
        st.nPort = OpenPort();
        if (st.nPort <= 0) {
            qDebug() << "PlayThread open port failed" << m_nWndIndex;
            break;
        }
        if (!m_bSync.load())
            bMore = false;
        ClearCurrentTime();

        const QString strPath = GetPlayFile();
        bool bOpened = source.Open(strPath);
        st.bKeySeen = false;
        if (bOpened) {
            source.SeekTo(0);
            m_nPlayStatus.store(StatusPlaying);
        } else {
            qDebug() << "PlayThread open failed" << strPath;
        }

        // Pump the data, then play out; a seek during the play-out starts
        // the pump again from the new position.
        for (;;) {
            if (bOpened) {
                PumpData(source, st);
                source.Close();
            }
            if (st.bPortLost || IsStopping())
                break;
            m_bPlayEnded.store(0);
            TVPLAY_ForcePlayEnd(st.nPort);
            bool bReopened = false;
            while (!m_bPlayEnded.load()) {
                if (m_bSeekPending.load()) {
                    bOpened = source.Open(strPath);
                    st.bKeySeen = false;
                    if (bOpened) {
                        bReopened = true;
                        break;
                    }
                    m_bSeekPending.store(0);
                }
                if (!SleepMs(kPlayOutPollMs))
                    break;
            }
            if (!bReopened)
                break;
        }
        if (st.bPortLost)
            break;

        const bool bEnded = m_bPlayEnded.load() != 0;
        if (IsStopping())
            bMore = false;
        if (bEnded) {
            // Everything was played out: back to the state of a fresh
            // channel, keeping the sync flag for the next queued recording.
            ClosePort();
            ResetAfterPlayEnd();
        }
        if (!bMore)
            break;

        const QString strNext = TakeNextSyncPath();
        if (strNext.isEmpty())
            break;
        qDebug() << "PlayThread next" << m_nWndIndex << strNext;
        ClosePort();
        SetPlayFile(strNext);
        RestartIndex();
    }

    // Closing steps.
    if (m_nPort.load() > 0) {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        TVPLAY_PlaySetDisplayRegion(m_nPort.load(), nullptr);
    }
    m_bRegion.store(0);
    ClosePort();
    m_bSync.store(0);
    SetPlayFile(QString());
    SetCurSeconds(0);
    m_nPlayStatus.store(StatusClosed);
    m_bSyncWait.store(0);
    ClearCurrentTime();
    PostStopNotify();
    m_bStopPlay.store(1);
    StreamReader_Destroy(st.hReader);
}

// The window's next queued recording, or "" when none is left or the channel
// stops. The GUI thread may hold the queue's lock while it starts this very
// channel again (and so waits for this thread to end): never block on it.
QString CPlay::TakeNextSyncPath()
{
    while (!IsStopping()) {
        std::unique_lock<std::mutex> lock(m_pAppData->syncQueueLock, std::try_to_lock);
        if (!lock.owns_lock()) {
            SleepMs(kQueueLockPollMs);  // wakes at once when the channel stops
            continue;
        }
        QString strPath;
        auto it = m_pAppData->syncQueue.find(m_nWndIndex);
        if (it != m_pAppData->syncQueue.end() && !it->isEmpty())
            strPath = it->takeFirst();
        return strPath;
    }
    return QString();
}

// Reads the open source piece by piece and pushes its frames until the data
// ends or the channel stops.
void CPlay::PumpData(CPlaySource& source, PumpState& st)
{
    size_t nGot = 1;
    while (nGot > 0 && !IsStopping()) {
        if (m_bSeekPending.load() && !SeekStep(source, st))
            return;
        nGot = source.Read(st.buffer.data(), kReadPiece);
        if (nGot > 0)
            StreamReader_PushData(st.hReader, st.buffer.data(), nGot);

        bool bSeek = false;
        while (const StreamFrame* pFrame = StreamReader_GetNextFrame(st.hReader)) {
            // Held (paused, waiting for synchronous play or for the port to
            // take data again): the feed's deadlines start afresh.
            bool bHeld = false;
            while (m_nPlayStatus.load() == StatusPaused && !IsStopping()) {
                SleepMs(kPausePollMs);
                bHeld = true;
            }
            if (IsStopping())
                return;
            if (m_bSeekPending.load()) {
                // The frames still in the reader belong to the old position.
                bSeek = true;
                break;
            }
            if (!st.bKeySeen && !pFrame->nKeyFrame)
                continue;
            st.bKeySeen = true;
            const bool bVideo = pFrame->nType == STREAM_FRAME_VIDEO;
            if (m_bSync.load() && bVideo) {
                SetCurrentTime(pFrame->nHour, pFrame->nMinute, pFrame->nSecond);
                const int64_t nWaitFrom = CFeedPacer::NowNs();
                bSeek = WaitForEarliest();
                bHeld = bHeld || CFeedPacer::NowNs() - nWaitFrom > int64_t(kSyncPollMs) * 1000000 / 2;
                if (IsStopping())
                    return;
            }
            while (!bSeek && m_bBuffering.load()) {
                if (m_bSeekPending.load()) {
                    bSeek = true;
                    break;
                }
                if (!SleepMs(kBufferPollMs))
                    return;
                bHeld = true;
            }
            if (bSeek)
                break;
            if (bHeld)
                st.pacer.Restart();
            TVPLAY_PushMediaData(st.nPort, pFrame->pData, int(pFrame->nLength));
            if (bVideo)
                SleepMs(st.pacer.Pushed(CFeedPacer::NowNs(), pFrame->nFrameRate, m_nSpeed.load() - SpeedNormal));
        }
        if (bSeek)
            nGot = 1;  // the seek step at the top of the loop reads on
    }
}

// In synchronous play: holds the frame until the channel furthest behind has
// reached its time of day. True when a seek interrupted the wait.
bool CPlay::WaitForEarliest()
{
    const uint32_t nMine = m_nCurSeconds.load();
    while (m_bSyncWait.load() == 1 && !IsStopping()) {
        const int nEarliest = m_pAppData->earliestSyncWindow.load();
        if (nEarliest == -1)
            break;
        if (m_bSeekPending.load())
            return true;
        const uint32_t nTheirs = WindowSeconds(nEarliest);
        if (nTheirs != 0 && nTheirs >= nMine) {
            m_bSyncWait.store(0);
            break;
        }
        SleepMs(kSyncPollMs);
    }
    return false;
}

// Positions the source at the pending seek offset and starts a fresh port and
// frame reader there. False when no port could be opened again.
bool CPlay::SeekStep(CPlaySource& source, PumpState& st)
{
    const uint64_t nOffset = m_nSeekOffset.load();
    m_bSeekPending.store(0);
    qDebug() << "PlayThread seek" << m_nWndIndex << nOffset;
    source.SeekTo(nOffset);
    ClosePort();
    st.nPort = OpenPort();
    StreamReader_Destroy(st.hReader);
    st.hReader = StreamReader_Create();
    st.bKeySeen = false;
    st.pacer.Restart();
    m_bBuffering.store(0);
    SetCurSeconds(0);
    m_bSyncWait.store(0);
    ClearCurrentTime();
    m_pAppData->earliestSyncWindow.store(-1);
    m_pAppData->latestSyncWindow.store(-1);
    if (st.nPort <= 0 || !st.hReader) {
        st.bPortLost = true;
        return false;
    }
    return true;
}

// The state after a recording was played out (the port is closed already).
void CPlay::ResetAfterPlayEnd()
{
    m_bRecording.store(0);
    m_bSound.store(0);
    m_nSeekOffset.store(0);
    m_nCurTime.store(0);
    m_nBeginTime.store(0);
    m_nEndTime.store(0);
    m_fProgress.store(0.0f);
    m_nSpeed.store(SpeedNormal);
    m_bSeekPending.store(0);
    SetCurSeconds(0);
    m_nDataLen.store(0);
    m_nFrameCount.store(0);
    m_bIndexReady.store(0);
    m_nPlayStatus.store(StatusClosed);
    m_bSyncWait.store(0);
    m_bRegion.store(0);
}
