// The program's one MP4 converter: runs a raw recording -> MP4 conversion
// of the media library and blocks the calling worker thread until it ends,
// passing progress on to whoever registered for it. Cancel may come from
// any thread while a conversion runs.
#pragma once

#include "media/sdk/Tarvok.h"

#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <future>
#include <mutex>

class CConvertToMp4 : public QObject {
    Q_OBJECT
public:
    // Gets the progress in percent (0..100) and the registered pointer.
    typedef void (*ProgressFunc)(int nPercent, void *pUser);

    static CConvertToMp4 *instance();

    // The MP4 name of a raw recording: its final ".h264" becomes ".mp4"
    // (any other name gets ".mp4" added); folder names are left alone.
    static QString Mp4PathFor(const QString &strH264Path);

    void SetProgressReceiver(ProgressFunc pfnProgress, void *pUser);
    // Stops the running conversion, if any; its ConvertH264ToMp4 returns false.
    void Cancel();

public slots:
    // True when the library reported the whole file converted (100 %)
    // before any failure. Blocks until the conversion ends.
    bool ConvertH264ToMp4(QString srcPath, QString dstPath);

private:
    CConvertToMp4();
    static int OnMessage(int nHandle, int nMsgId, int64_t nParam1, int64_t nParam2, int64_t nParam3,
                         const char *szText, void *, void *, void *, void *pUser);
    void HandleMessage(int nHandle, int nMsgId, int64_t nParam);
    // Hands the waiting thread its result, once per conversion.
    void DeliverResult(int nResult);

    QMutex m_convertLock;            // held for the whole of one conversion
    std::mutex m_stateMutex;         // guards everything below
    std::promise<int> m_resultPromise;
    bool m_bAwaiting = false;        // a result has not been delivered yet
    bool m_bCancelled = false;
    int m_nHandle = 0;               // the library's handle; 0 when none runs
    ProgressFunc m_pfnProgress = nullptr;
    void *m_pProgressUser = nullptr;
    TVMessageReceiver m_receiver;
};
