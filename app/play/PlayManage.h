#ifndef ORVELLE_APP_PLAY_PLAYMANAGE_H
#define ORVELLE_APP_PLAY_PLAYMANAGE_H

// CPlayManage: the sixteen play channels, one per video window, and the
// supervision of synchronous play.
//
// Every operation addresses a window by its index 0..15; an index outside
// that range, or a window without the channel the operation needs, returns
// the default named beside the operation and does nothing. A channel is open
// while it plays, is paused or steps single frames.
//
// Twice a second the supervision finds, among the channels in synchronous
// play that have shown a frame, the one furthest behind in time of day (to
// the frame: the second of day and the frames pushed since it began;
// "earliestSyncWindow") and tells every other open channel to wait for it
// before its next video frame, so the windows keep in step. A channel less
// than two frames ahead of it goes on.
//
// One instance per process, created by instance() and destroyed by release()
// at program end; all calls on the GUI thread.

#include "app/play/Play.h"

#include <QObject>
#include <QPoint>
#include <QString>

class CPlayManage : public QObject
{
    Q_OBJECT

public:
    enum { MaxWindows = playcodes::WindowCount, SuperviseIntervalMs = 500 };

    static CPlayManage* instance();
    static void release();

    // Replaces the window's channel with a new one rendering into hWnd.
    bool AddPlay(quint64 hWnd, int nIndex, PlayStopCallback pfnStopNotify, void* pOwner);  // false
    // (Re)starts the 500 ms supervision; returns the timer id.
    int StartTimer();

    bool Play(int nIndex, const QString& strFilePath, bool bSync);                      // false
    bool SyncPlay(int nIndex, const QString& strFilePath, int nStartSeconds, bool bSync); // false
    // Stop, then play the path alone from nStartSeconds (seconds of day).
    bool PlayAt(int nIndex, const QString& strFilePath, int nStartSeconds);               // false
    void Stop(int nIndex);
    // Paused: resume; playing: pause; stepping: back to normal play.
    void PauseOrResume(int nIndex);
    bool Fast(int nIndex);       // false
    bool Slow(int nIndex);       // false
    bool NextFrame(int nIndex);  // false
    bool PrevFrame(int nIndex);  // false
    int GetPlayPos(int nIndex);  // 0
    // False only for a channel in synchronous play whose index is not built
    // yet; a sync channel's seek moves every other open channel to the same
    // time of day.
    bool SetPlayPos(int nIndex, float fRatio);  // true
    // pstrSaved: the picture file written; pbShown: a viewer was started.
    bool CatchPicture(int nIndex, const QString& strFolder, QString* pstrSaved = nullptr,
                      bool* pbShown = nullptr);  // false
    bool StartRecord(int nIndex, const QString& strFolder);   // false
    bool StopRecord(int nIndex);   // false
    bool OpenSound(int nIndex);    // false
    bool CloseSound(int nIndex);   // false
    bool SetDisplayRegion(int nIndex, const QPoint& p1, const QPoint& p2, int nWidth, int nHeight,
                          bool bEnable);  // false
    bool IsPlaying(int nIndex);     // false
    int GetPlayStatus(int nIndex);  // 0
    int GetSpeed(int nIndex);       // 5
    bool IsSoundOn(int nIndex);     // false
    bool IsRecording(int nIndex);   // false
    bool IsRegionOn(int nIndex);    // false
    bool IsSync(int nIndex);        // false
    // -1 not open; 1 open and not in sync play, or in sync play with its
    // index built; 0 in sync play while the index is being built.
    int GetIndexState(int nIndex);
    QString GetPlayFile(int nIndex);  // ""
    // Time of day of the last video frame shown in sync play (zeros).
    void GetPlayTime(int nIndex, int& nHour, int& nMinute, int& nSecond);
    // Local time (seconds since the epoch) of the picture shown last (0).
    int64_t GetCurTime(int nIndex);

    // The window's channel, or null.
    CPlay* GetPlay(int nIndex) const;
    // One round of the supervision (what the timer does).
    void SuperviseSync();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    CPlayManage();
    ~CPlayManage() override;

    CPlay* Channel(int nIndex) const;
    CPlay* OpenChannel(int nIndex) const;

    int m_nTimerId = -1;
    CPlay* m_pPlay[MaxWindows] = {};
};

#endif
