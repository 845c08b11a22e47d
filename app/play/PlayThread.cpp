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

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

const size_t kReadPiece = 32768;      // bytes per read: keeps the disk lock short
const int kPausePollMs = 10;
const int kBufferPollMs = 10;
const int kSyncPollMs = 33;
const uint32_t kSyncSlackMs = 80;  // two frames at 25 a second
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
    std::unique_lock<std::mutex> lock(m_stateMutex);
    const int nPort = TVPLAY_OpenPlay(&m_receiver, m_hWnd, kPortBufferFrames, 0, 0);
    if (nPort <= 0)
        return -1;
    // Known before it plays, so that none of its messages is taken for
    // another port's.
    m_state.nPort = nPort;
    m_state.bFilePort = false;
    if (TVPLAY_Play(nPort) < 0) {
        m_state.nPort = 0;
        lock.unlock();
        TVPLAY_Stop(nPort);
        return -1;
    }
    // A new port starts at normal speed, silent and with the whole picture:
    // carry the channel's settings over.
    if (m_state.nSpeed != SpeedNormal)
        TVPLAY_SetPlaySpeed(nPort, m_state.nSpeed - SpeedNormal);
    // Sound stays asked for when the device cannot be opened now.
    if (m_state.bSound)
        StartSound(nPort);
    if (m_state.bRegion)
        TVPLAY_PlaySetDisplayRegion(nPort, &m_state.region);
    return nPort;
}

// Stopping a port joins its thread, which may be about to deliver a message
// that takes m_stateMutex: the port is taken away from the channel under the
// lock (no call reaches it any more) and stopped after the lock is released.
// The sound flag is the channel's choice and outlives a port unless
// bStopSound.
void CPlay::ClosePort(bool bStopSound)
{
    int nPort = 0;
    bool bRecording = false;
    bool bSound = false;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        nPort = m_state.nPort;
        m_state.nPort = 0;
        m_state.bFilePort = false;
        bRecording = m_state.bRecording;
        m_state.bRecording = false;
        bSound = bStopSound && m_state.bSound;
        if (bStopSound)
            m_state.bSound = false;
    }
    if (nPort <= 0)
        return;
    if (bRecording)
        TVPLAY_StopRecordData(nPort);
    if (bSound)
        TVPLAY_StopSound(nPort);
    TVPLAY_Stop(nPort);
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
    int nFailedPort = 0;
    if (!IsStopping()) {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        const QByteArray path = QFile::encodeName(strPath);
        const int nPort = TVPLAY_OpenFilePlay(&m_receiver, path.constData(), m_hWnd, 0, 0);
        if (nPort > 0) {
            // A short file may end at once: its play-end message must find
            // the port already known.
            m_state.nPort = nPort;
            m_state.bFilePort = true;
            m_state.nPlayStatus = StatusPlaying;
            if (TVPLAY_Play(nPort) >= 0) {
                bPlaying = true;
            } else {
                nFailedPort = nPort;
                m_state.nPort = 0;
                m_state.bFilePort = false;
            }
        }
    }
    if (nFailedPort > 0)
        TVPLAY_Stop(nFailedPort);
    if (!bPlaying) {
        qDebug() << "PlayThread file port failed" << strPath;
        ResetChannel(false);
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
    // Synchronous play: the second of day of the last video frame pushed and
    // the video frames pushed since that second began.
    uint32_t nSyncSecond = 0;
    uint32_t nFramesInSecond = 0;
};

// One recording after another: a channel in synchronous play goes on with its
// window's next queued recording, any other plays one.
void CPlay::PlayPushedData()
{
    PumpState st;
    st.buffer.resize(kReadPiece + 1);
    st.hReader = StreamReader_Create();
    CPlaySource source(&m_pAppData->diskLock);

    while (!IsStopping() && st.hReader) {
        const QString strPath = GetPlayFile();
        const bool bSync = IsSync();
        const bool bOpened = StartRecording(source, st, strPath);
        if (st.nPort <= 0)
            break;
        PumpAndPlayOut(source, st, strPath, bOpened);
        if (st.bPortLost)
            break;
        if (m_bPlayEnded.load() != 0) {
            // Everything was played out: back to the state of a fresh
            // channel, keeping the sync flag for the next queued recording.
            ResetChannel(true);
        }
        if (IsStopping() || !bSync || !MoveToNextQueued())
            break;
    }
    CloseChannel(st);
}

// Opens a port and the recording; true when the recording opened (the port
// is in st.nPort, 0 when none could be opened).
bool CPlay::StartRecording(CPlaySource& source, PumpState& st, const QString& strPath)
{
    m_bBuffering.store(0);
    st.nPort = OpenPort();
    if (st.nPort <= 0) {
        qDebug() << "PlayThread open port failed" << m_nWndIndex;
        st.nPort = 0;
        return false;
    }
    ClearCurrentTime();
    const bool bOpened = source.Open(strPath);
    st.bKeySeen = false;
    if (bOpened) {
        source.SeekTo(0);
        // A pause asked for since the port opened stays.
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (m_state.nPlayStatus == StatusClosed)
            m_state.nPlayStatus = StatusPlaying;
    } else {
        qDebug() << "PlayThread open failed" << strPath;
    }
    return bOpened;
}

// Pumps the data, then plays out; a seek during the play-out starts the pump
// again from the new position.
void CPlay::PumpAndPlayOut(CPlaySource& source, PumpState& st, const QString& strPath, bool bOpened)
{
    for (;;) {
        if (bOpened) {
            PumpData(source, st);
            source.Close();
        }
        if (st.bPortLost || IsStopping())
            return;
        if (!PlayOut(source, st, strPath))
            return;
        bOpened = true;
    }
}

// Asks the port to play out what it holds and waits for its play-end
// message. True when a seek came meanwhile and the recording is open again
// for it.
bool CPlay::PlayOut(CPlaySource& source, PumpState& st, const QString& strPath)
{
    m_bPlayEnded.store(0);
    TVPLAY_ForcePlayEnd(st.nPort);
    while (!m_bPlayEnded.load()) {
        if (SeekPending()) {
            st.bKeySeen = false;
            if (source.Open(strPath))
                return true;
            // The recording cannot be read again: nothing to seek in.
            uint64_t nDropped = 0;
            m_seekRequest.Take(&nDropped);
        }
        if (!SleepMs(kPlayOutPollMs))
            return false;
    }
    return false;
}

// Synchronous play: the window's next queued recording becomes the channel's,
// with a new index run. False when none is left.
bool CPlay::MoveToNextQueued()
{
    const QString strNext = TakeNextSyncPath();
    if (strNext.isEmpty())
        return false;
    qDebug() << "PlayThread next" << m_nWndIndex << strNext;
    ClosePort();
    SetPlayFile(strNext);
    RestartIndex();
    return true;
}

// The end of the play thread's run: the channel is closed and the GUI told.
void CPlay::CloseChannel(PumpState& st)
{
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (m_state.nPort > 0)
            TVPLAY_PlaySetDisplayRegion(m_state.nPort, nullptr);
    }
    ResetChannel(false);
    PostStopNotify();
    m_bStopPlay.store(1);
    StreamReader_Destroy(st.hReader);
    st.hReader = nullptr;
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
        if (SeekPending() && !SeekStep(source, st))
            return;
        nGot = source.Read(st.buffer.data(), kReadPiece);
        if (nGot > 0)
            StreamReader_PushData(st.hReader, st.buffer.data(), nGot);

        bool bSeek = false;
        while (const StreamFrame* pFrame = StreamReader_GetNextFrame(st.hReader)) {
            // Held (paused, waiting for synchronous play or for the port to
            // take data again): the feed's deadlines start afresh.
            bool bHeld = false;
            while (GetPlayStatus() == StatusPaused && !IsStopping()) {
                SleepMs(kPausePollMs);
                bHeld = true;
            }
            if (IsStopping())
                return;
            if (SeekPending()) {
                // The frames still in the reader belong to the old position.
                bSeek = true;
                break;
            }
            if (!st.bKeySeen && !pFrame->nKeyFrame)
                continue;
            st.bKeySeen = true;
            const bool bVideo = pFrame->nType == STREAM_FRAME_VIDEO;
            if (bVideo && IsSync()) {
                SetCurrentTime(pFrame->nHour, pFrame->nMinute, pFrame->nSecond);
                const uint32_t nSecond = GetCurSeconds();
                st.nFramesInSecond = nSecond == st.nSyncSecond ? st.nFramesInSecond + 1 : 0;
                st.nSyncSecond = nSecond;
                const uint32_t nRate = pFrame->nFrameRate ? pFrame->nFrameRate : 25;
                SetCurSyncMs(nSecond * 1000u + std::min<uint32_t>(999, st.nFramesInSecond * 1000u / nRate));
                const int64_t nWaitFrom = CFeedPacer::NowNs();
                bSeek = WaitForEarliest();
                bHeld = bHeld || CFeedPacer::NowNs() - nWaitFrom > int64_t(kSyncPollMs) * 1000000 / 2;
                if (IsStopping())
                    return;
            }
            while (!bSeek && m_bBuffering.load()) {
                if (SeekPending()) {
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
                SleepMs(st.pacer.Pushed(CFeedPacer::NowNs(), pFrame->nFrameRate, GetSpeed() - SpeedNormal));
        }
        if (bSeek)
            nGot = 1;  // the seek step at the top of the loop reads on
    }
}

// In synchronous play: holds the frame until the channel furthest behind has
// reached its time of day. True when a seek interrupted the wait.
bool CPlay::WaitForEarliest()
{
    // To the frame, not to the second: channels a good part of a second
    // apart within the same second of day would otherwise stay so. Closer
    // than the slack they go on, so that they do not wait at every frame.
    const uint32_t nMine = m_nCurSyncMs.load();
    while (m_bSyncWait.load() == 1 && !IsStopping()) {
        const int nEarliest = m_pAppData->earliestSyncWindow.load();
        if (nEarliest == -1)
            break;
        if (SeekPending())
            return true;
        const uint32_t nTheirs = WindowSyncMs(nEarliest);
        if (nTheirs != 0 && nTheirs + kSyncSlackMs >= nMine) {
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
    uint64_t nOffset = 0;
    if (!m_seekRequest.Take(&nOffset))
        return true;
    qDebug() << "PlayThread seek" << m_nWndIndex << nOffset;
    source.SeekTo(nOffset);
    ClosePort();
    st.nPort = OpenPort();
    StreamReader_Destroy(st.hReader);
    st.hReader = StreamReader_Create();
    st.bKeySeen = false;
    st.pacer.Restart();
    st.nSyncSecond = 0;  // the frames counted into a second were of the old position
    st.nFramesInSecond = 0;
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
