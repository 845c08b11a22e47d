// Shared pieces of the play channel tests: recording files made from real
// H.264 data, a video window that counts the pictures it is given, and stop
// notifications counted per window.
#pragma once

#include "app/shell/GlobalAppData.h"
#include "media/render/VideoOutput.h"
#include "tests/support/media/TestStream.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QString>
#include <QThread>
#include <QCoreApplication>
#include <QWidget>

#include <atomic>

namespace playtest {

// Stop notifications of one window, and whether each came on the GUI thread.
struct StopCounter
{
    std::atomic<int> nCount{0};
    std::atomic<int> nOffGuiThread{0};
    std::atomic<int> nLastWindow{-1};

    static void callback(int nWndIndex, void* pOwner)
    {
        auto* self = static_cast<StopCounter*>(pOwner);
        self->nLastWindow.store(nWndIndex);
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            self->nOffGuiThread.fetch_add(1);
        self->nCount.fetch_add(1);
    }
};

// Writes a recording as "<root>/idea0/<YYYY-MM-DD>/<CCC>/<hh.mm.ss>-<hh.mm.ss>.h264",
// the layout of a local export folder; returns the path (empty on failure).
inline QString writeRecording(const QString& strRoot, int nChannel, int nHour, int nMinute, int nSecond,
                              double dSeconds, testmedia::Recording* pOut = nullptr, int nFps = 25)
{
    testmedia::StreamParams p;
    p.width = 176;
    p.height = 144;
    p.fps = nFps;
    p.seconds = dSeconds;
    p.startTime = testmedia::packTime(2024, 5, 1, nHour, nMinute, nSecond);
    testmedia::Recording rec = testmedia::makeRecording(p);
    if (!rec.error.empty())
        return QString();
    const int nStart = nHour * 3600 + nMinute * 60 + nSecond;
    const int nEnd = (nStart + int(dSeconds)) % 86400;
    const QString dir = QString("%1/idea0/2024-05-01/%2").arg(strRoot).arg(nChannel, 3, 10, QChar('0'));
    QDir().mkpath(dir);
    const QString path = QString("%1/%2.%3.%4-%5.%6.%7.h264")
                             .arg(dir)
                             .arg(nHour, 2, 10, QChar('0'))
                             .arg(nMinute, 2, 10, QChar('0'))
                             .arg(nSecond, 2, 10, QChar('0'))
                             .arg(nEnd / 3600, 2, 10, QChar('0'))
                             .arg(nEnd / 60 % 60, 2, 10, QChar('0'))
                             .arg(nEnd % 60, 2, 10, QChar('0'));
    if (!testmedia::writeFile(path.toStdString(), rec.data))
        return QString();
    if (pOut)
        *pOut = std::move(rec);
    return path;
}

} // namespace playtest
