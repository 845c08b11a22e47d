// CPlay's controls on the running port: pause, speed, frame stepping, sound,
// picture capture, clip recording and the display region.

#include "app/play/Play.h"

#include "app/play/PlayPaths.h"

#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QThread>
#include <QUrl>

namespace {

const int kCaptureTimeoutMs = 3000;
const int kViewerDelayMs = 50;

} // namespace

bool CPlay::Pause(bool bPause)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (TVPLAY_Pause(m_nPort.load(), bPause ? 1 : 0) < 0)
        return false;
    m_nPlayStatus.store(bPause ? StatusPaused : StatusPlaying);
    return true;
}

bool CPlay::Normal()
{
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        const int nPort = m_nPort.load();
        TVPLAY_Pause(nPort, 0);
        TVPLAY_SetPlaySpeed(nPort, 0);
    }
    m_nSpeed.store(SpeedNormal);
    m_nPlayStatus.store(StatusPlaying);
    return true;
}

bool CPlay::ApplySpeed()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    const int nValue = m_nSpeed.load() - SpeedNormal;
    const int ret = TVPLAY_SetPlaySpeed(m_nPort.load(), nValue);
    qDebug() << "TVPLAY_SetPlaySpeed" << nValue << ret;
    return ret >= 0;
}

bool CPlay::Fast()
{
    if (m_nPlayStatus.load() == StatusStepping)
        Normal();
    int nSpeed = m_nSpeed.load() + 1;
    if (nSpeed > SpeedMax)
        nSpeed = SpeedNormal;
    m_nSpeed.store(nSpeed);
    return ApplySpeed();
}

bool CPlay::Slow()
{
    if (m_nPlayStatus.load() == StatusStepping)
        Normal();
    int nSpeed = m_nSpeed.load() - 1;
    if (nSpeed < SpeedMin)
        nSpeed = SpeedNormal;
    m_nSpeed.store(nSpeed);
    return ApplySpeed();
}

bool CPlay::NextFrame()
{
    if (m_nSpeed.load() != SpeedNormal)
        Normal();
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (TVPLAY_PlayNextFrame(m_nPort.load()) < 0)
        return false;
    m_nPlayStatus.store(StatusStepping);
    return true;
}

bool CPlay::PrevFrame()
{
    if (m_nSpeed.load() != SpeedNormal)
        Normal();
    m_nSpeed.store(SpeedNormal);
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (TVPLAY_PlayPreviousFrame(m_nPort.load()) < 0)
        return false;
    m_nPlayStatus.store(StatusStepping);
    return true;
}

bool CPlay::OpenSound()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    // The flag follows what the port really does: without an audio device
    // sound stays off.
    const bool bOn = TVPLAY_PlaySound(m_nPort.load()) >= 0;
    m_bSound.store(bOn ? 1 : 0);
    return bOn;
}

bool CPlay::CloseSound()
{
    if (m_bSound.exchange(0)) {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        TVPLAY_StopSound(m_nPort.load());
    }
    return true;
}

bool CPlay::CatchPicture(const QString& strFolder)
{
    // Named after the play time the media library reports, not the clock.
    const QString strName =
        QDateTime::fromSecsSinceEpoch(m_nCurTime.load()).toString(QStringLiteral("yyyyMMdd_hhmmss"));
    const QString strPath = UniqueFilePath(QStringLiteral("%1/%2.jpg").arg(strFolder, strName));
    if (strPath.isEmpty())
        return false;
    int ret = -1;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        ret = TVPLAY_CatchPictureSyn(m_nPort.load(), QFile::encodeName(strPath).constData(), kCaptureTimeoutMs);
    }
    if (ret < 0)
        return false;
    QThread::msleep(kViewerDelayMs);
    // Without a desktop (the offscreen platform) there is no viewer to show it.
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        QDesktopServices::openUrl(QUrl::fromLocalFile(strPath));
    return true;
}

bool CPlay::StartRecord(const QString& strFolder)
{
    QString strClip;
    if (!BuildClipPath(GetPlayFile(), strFolder, &strClip))
        return m_bRecording.load() != 0;
    strClip = UniqueFilePath(strClip);
    if (strClip.isEmpty())
        return m_bRecording.load() != 0;
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (TVPLAY_StartRecordData(m_nPort.load(), QFile::encodeName(strClip).constData()) >= 0)
        m_bRecording.store(1);
    return m_bRecording.load() != 0;
}

bool CPlay::StopRecord()
{
    m_bRecording.store(0);
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return TVPLAY_StopRecordData(m_nPort.load()) >= 0;
}

bool CPlay::SetDisplayRegion(const QPoint& p1, const QPoint& p2, int /*nWidth*/, int /*nHeight*/, bool bEnable)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_bRegion.store(bEnable ? 1 : 0);
    m_region.left = p1.x();
    m_region.top = p1.y();
    m_region.right = p2.x();
    m_region.bottom = p2.y();
    return TVPLAY_PlaySetDisplayRegion(m_nPort.load(), bEnable ? &m_region : nullptr) >= 0;
}
