#ifndef ORVELLE_APP_PLAY_PLAY_H
#define ORVELLE_APP_PLAY_PLAY_H

// CPlay: one play channel. It plays one recording at a time into one video
// window.
//
// A recording of a recorder disk ("/mnt/ide...") or of a local export folder
// (any other path containing "/ide") is read by the channel's play thread in
// 32 KiB pieces, split into frames by the stream reader, paced by frame rate
// and speed and pushed into a media port that decodes and renders into the
// window. A second thread, the index thread, scans the same data for its key
// frames so that the user can seek by ratio and channels in synchronous play
// can be positioned by time of day. Any other path is handed to the media
// library as a file that it plays by itself.
//
// All operations are called on the GUI thread. The play and index threads are
// always joined before a stop resets the channel or a start begins again (the
// play thread resets it itself at the end of its run); every sleep of
// the play thread wakes as soon as the channel is stopped, so Stop() returns
// promptly at any speed. The stop callback is always delivered on the GUI
// thread, once each time the channel returns to closed.

#include "app/play/FrameIndex.h"
#include "app/play/MyThread.h"
#include "app/play/PlayCodes.h"
#include "app/play/RequestSlot.h"
#include "media/sdk/Tarvok.h"

#include <QObject>
#include <QPoint>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class CGlobalAppData;
class CPlaySource;

// Called whenever a channel returns to closed: (window index, owner).
typedef void (*PlayStopCallback)(int nWndIndex, void* pOwner);

class CPlay : public QObject
{
    Q_OBJECT

public:
    // Play status values.
    enum PlayStatus {
        StatusClosed = playcodes::StatusClosed,
        StatusPlaying = playcodes::StatusPlaying,
        StatusPaused = playcodes::StatusPaused,
        StatusStepping = playcodes::StatusStepping
    };
    // Speed index 1..9; 5 is normal speed, s plays at 2^(s - 5).
    enum { SpeedMin = playcodes::SpeedMin, SpeedNormal = playcodes::SpeedNormal, SpeedMax = playcodes::SpeedMax };

    CPlay(QObject* parent, quint64 hWnd, int nWndIndex, PlayStopCallback pfnStopNotify, void* pOwner);
    ~CPlay() override;

    // Starts playing a path. The channel's previous threads are joined first.
    bool Play(const QString& strFilePath, bool bSync);
    // The same, and with bSync and a known duration positions the recording
    // at nStartSeconds (seconds of day) before the threads start.
    bool SyncPlay(const QString& strFilePath, int nStartSeconds, bool bSync);
    // Plays a path alone (not in sync), positioned at nStartSeconds (seconds
    // of day) as a sync start is.
    bool PlayAt(const QString& strFilePath, int nStartSeconds);
    void Stop();

    bool Pause(bool bPause);
    bool Normal();
    bool Fast();
    bool Slow();
    bool NextFrame();
    bool PrevFrame();

    // Play position 0..1000.
    int GetPlayPos();
    // Seeks to a ratio 0..1. With the index: the seconds of day of the key
    // frame it seeks to; otherwise -1 (file ports: 1).
    int SetPlayPos(float fRatio);
    // Seeks to the last key frame at or before nSeconds (seconds of day).
    bool SeekToTime(int nSeconds);

    // Writes the picture shown now into the folder and opens it in the
    // desktop's viewer. pstrSaved receives the file written, pbShown whether
    // a viewer was started for it.
    bool CatchPicture(const QString& strFolder, QString* pstrSaved = nullptr, bool* pbShown = nullptr);
    bool StartRecord(const QString& strFolder);
    bool StopRecord();
    // Sound on: the flag is set even when no sound device can be opened (the
    // result is then false), and every new port of the channel tries again.
    // ORVELLE_NO_SOUND=1 in the environment keeps sound output closed.
    bool OpenSound();
    bool CloseSound();
    bool SetDisplayRegion(const QPoint& p1, const QPoint& p2, int nWidth, int nHeight, bool bEnable);

    // What the media library last reported of the play position.
    struct PlayTimes
    {
        int64_t nCurTime = 0;    // m_nCurTime: seconds since the epoch
        int64_t nBeginTime = 0;  // m_nBeginTime
        int64_t nEndTime = 0;    // m_nEndTime
        float fProgress = 0.0f;  // m_fProgress: ratio of a file port
    };

    // The channel's state in one record, guarded by its state mutex. The GUI
    // thread, the play thread, the index thread and the media library's
    // message thread all read and write it there; GetState() hands out a
    // copy taken in one go (what the GUI's once-a-second poll reads).
    struct State
    {
        // What plays.
        int nPort = 0;               // m_nPort: media port, 0 = none
        bool bFilePort = false;      // the port plays a file by itself
        QString strFilePath;         // m_strFilePath: empty = none
        bool bSync = false;          // m_bSync: in synchronous play
        int nPlayStatus = StatusClosed;  // m_nPlayStatus
        // What the user set; carried over to every new port.
        int nSpeed = SpeedNormal;    // m_nSpeed
        bool bSound = false;         // m_bSound: sound asked for
        bool bRecording = false;     // m_bRecording: a clip is written
        bool bRegion = false;        // m_bRegion: region zoom on
        TVRect region{0, 0, 0, 0};
        // The index figures, set together by the index thread.
        bool bIndexReady = false;    // m_bIndexReady
        uint32_t nFirstTime = 0;     // m_nFirstTime (wfs_time)
        uint32_t nLastTime = 0;      // m_nLastTime (wfs_time)
        uint32_t nFrameCount = 0;    // m_nFrameCount
        int64_t nDataLen = 0;        // m_nDataLen: usable length in bytes
        int32_t nDuration = 0;       // m_nDuration: seconds
        // Time of day of the last video frame pushed in synchronous play.
        uint16_t nHour = 0;
        uint16_t nMinute = 0;
        uint16_t nSecond = 0;
        // What the media library reported.
        PlayTimes times;
        int nFps = 0;                // stream description (nothing reads it
        int nBits = 0;               // further)
        int nWidth = 0;
        int nHeight = 0;
    };
    State GetState() const;

    int GetPlayStatus() const;
    int GetSpeed() const;
    bool IsSoundOn() const;
    bool IsSync() const;
    bool IsIndexReady() const;
    bool IsRegionOn() const;
    bool IsRecording() const;
    bool IsOpen() const;
    QString GetPlayFile() const;
    void GetPlayTime(int& nHour, int& nMinute, int& nSecond) const;
    uint32_t GetCurSeconds() const { return m_nCurSeconds.load(); }
    // The same to the millisecond, counting the frames pushed since its
    // second began (0 when none): orders channels within one second.
    uint32_t GetCurSyncMs() const { return m_nCurSyncMs.load(); }
    // Local time (seconds since the epoch) of the picture shown last, 0 when
    // none.
    int64_t GetCurTime() const;
    int GetWndIndex() const { return m_nWndIndex; }
    // Seek requests asked and taken by the play thread so far (serials).
    uint64_t GetSeeksAsked() const { return m_seekRequest.Asked(); }
    uint64_t GetSeeksTaken() const { return m_seekRequest.Taken(); }
    // Set by the play manager's supervision: wait for the earliest channel.
    void SetSyncWait(bool bWait) { m_bSyncWait.store(bWait ? 1u : 0u); }

    // Index figures (valid when IsIndexReady()).
    uint32_t GetFirstTime() const;
    uint32_t GetLastTime() const;
    uint32_t GetFrameCount() const;
    int64_t GetDataLength() const;
    std::vector<IndexEntry> GetIndex() const;
    // The media port, 0 when none (for tests and diagnostics).
    int GetPort() const;

    // Time of day (seconds) of the last video frame pushed by the sync
    // channel of a window, 0 when none: how play threads see each other.
    static uint32_t WindowSeconds(int nWndIndex);
    // The same to the millisecond (GetCurSyncMs).
    static uint32_t WindowSyncMs(int nWndIndex);

    bool event(QEvent* pEvent) override;

    // Media-library message callback.
    static int OnPlayMessage(int nHandle, int nMsgId, int64_t nParam1, int64_t nParam2, int64_t nParam3,
                             const char* szText, void* pReserved1, void* pReserved2, void* pReserved3,
                             void* pUser);

private:
    struct PumpState;

    // Threads.
    static void PlayThreadEntry(void* pArg);
    static void IndexThreadEntry(void* pArg);
    bool StartAt(const QString& strFilePath, int nStartSeconds, bool bSync, bool bPosition);
    void PlayThread();
    void PlayFilePort(const QString& strPath);
    // The play thread's run for pushed data, in its steps.
    void PlayPushedData();
    bool StartRecording(CPlaySource& source, PumpState& st, const QString& strPath);
    void PumpAndPlayOut(CPlaySource& source, PumpState& st, const QString& strPath, bool bOpened);
    bool PlayOut(CPlaySource& source, PumpState& st, const QString& strPath);
    bool MoveToNextQueued();
    void CloseChannel(PumpState& st);
    void PumpData(CPlaySource& source, PumpState& st);
    bool SeekStep(CPlaySource& source, PumpState& st);
    bool WaitForEarliest();
    QString TakeNextSyncPath();
    void FileIndexThread();
    void RestartIndex();
    bool StartThreads();
    // Asks both threads to stop and waits until they have ended.
    void JoinThreads();
    // Joins the threads and resets the channel (no notification).
    void ShutDown();
    // The one reset of a channel to closed: the port is closed (clip and
    // sound with it) and everything goes back to a fresh channel's values,
    // except the sync flag and the path when bKeepSyncAndPath (a channel in
    // synchronous play going on with its window's next queued recording).
    void ResetChannel(bool bKeepSyncAndPath);

    // Sleeps up to nMs; false when the channel is stopping.
    bool SleepMs(int nMs);
    void WakeSleepers();
    bool IsStopping() const { return m_bStopPlay.load() != 0; }
    bool SeekPending() const { return m_seekRequest.Pending(); }

    // Ports: opened under m_stateMutex; closed by taking the port away under
    // it and stopping it after the lock is released.
    int OpenPort();
    void ClosePort(bool bStopSound = false);
    // With m_stateMutex held.
    void NormalLocked();
    bool StepSpeed(int nStep);
    // Sound on for a port (-1 when no sound output can be opened).
    static int StartSound(int nPort);
    static bool SoundDisabled();

    void HandleMessage(int nHandle, int nMsgId, int64_t nParam1, int64_t nParam2, int64_t nParam3,
                       const char* szText);
    void FinishFilePort(quint64 nSession);
    void NotifyStopped();
    void PostStopNotify();
    void SetPlayFile(const QString& strPath);
    void SetCurrentTime(uint32_t nHour, uint32_t nMinute, uint32_t nSecond);
    void ClearCurrentTime();
    // Also sets the millisecond position to the start of that second.
    void SetCurSeconds(uint32_t nSeconds);
    void SetCurSyncMs(uint32_t nMs);
    void ClearIndex();

    const int m_nWndIndex;
    const quint64 m_hWnd;
    PlayStopCallback m_pfnStopNotify;
    void* m_pOwner;
    CGlobalAppData* m_pAppData;
    TVMessageReceiver m_receiver;

    // Guards m_state and every call on the port from the GUI thread, so a
    // call never reaches a port that is being closed. Never held across a
    // call that waits for another thread (closing a port joins its thread,
    // whose messages take this lock; a capture waits for a picture; joining
    // the channel's threads). The channel's locks are std ones:
    // ThreadSanitizer sees them, while a QMutex of the uninstrumented Qt
    // library is invisible to it.
    mutable std::mutex m_stateMutex;
    State m_state;

    // Single flags and counters, each polled alone.
    std::atomic<uint8_t> m_bStopPlay{1};   // play thread not running or asked to stop
    std::atomic<uint8_t> m_bStopIndex{1};  // index thread not running or asked to stop
    std::atomic<uint8_t> m_bPlayEnded{0};  // the port's play-end message came
    std::atomic<uint8_t> m_bBuffering{0};  // the port asks the pump to hold
    std::atomic<uint32_t> m_bSyncWait{0};  // wait for the earliest sync channel
    // Seconds of day of the last video frame pushed in synchronous play
    // (also published per window for the other channels).
    std::atomic<uint32_t> m_nCurSeconds{0};
    std::atomic<uint32_t> m_nCurSyncMs{0};
    // Seek requests: the byte offset to go to. The GUI thread asks, the play
    // thread takes; a seek asked while the play thread takes another one is
    // kept (see RequestSlot.h).
    CRequestSlot m_seekRequest;
    // Counts starts and stops; a queued notification of an older session is
    // dropped.
    std::atomic<quint64> m_nSession{0};

    CMyThread m_playThread;
    CMyThread m_indexThread;
    // Guards m_indexList against clearing and reading (never held together
    // with m_stateMutex).
    mutable std::mutex m_indexMutex;
    std::vector<IndexEntry> m_indexList;
    // Orders "stop" against the play thread starting a new index run.
    std::mutex m_threadMutex;
    // Wakes the play thread's sleeps when the channel stops.
    std::mutex m_sleepMutex;
    std::condition_variable m_sleepCond;
};

#endif
