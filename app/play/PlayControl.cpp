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
    if (TVPLAY_Pause(m_state.nPort, bPause ? 1 : 0) < 0)
        return false;
    m_state.nPlayStatus = bPause ? StatusPaused : StatusPlaying;
    return true;
}

// Speed and stepping change the channel's setting and the port in one step
// under the state mutex, which the play thread also holds when it opens a new
// port and carries the speed over: whatever the order, the port ends at the
// last speed asked.
bool CPlay::Normal()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    NormalLocked();
    return true;
}

void CPlay::NormalLocked()
{
    const int nPort = m_state.nPort;
    TVPLAY_Pause(nPort, 0);
    TVPLAY_SetPlaySpeed(nPort, 0);
    m_state.nSpeed = SpeedNormal;
    m_state.nPlayStatus = StatusPlaying;
}

bool CPlay::StepSpeed(int nStep)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (m_state.nPlayStatus == StatusStepping)
        NormalLocked();
    int nSpeed = m_state.nSpeed + nStep;
    if (nSpeed > SpeedMax || nSpeed < SpeedMin)
        nSpeed = SpeedNormal;
    m_state.nSpeed = nSpeed;
    const int nPort = m_state.nPort;
    if (nPort <= 0)
        return true;  // between two ports (a seek): the next one takes it
    const int nValue = nSpeed - SpeedNormal;
    const int ret = TVPLAY_SetPlaySpeed(nPort, nValue);
    qDebug() << "TVPLAY_SetPlaySpeed" << nValue << ret;
    return ret >= 0;
}

bool CPlay::Fast()
{
    return StepSpeed(+1);
}

bool CPlay::Slow()
{
    return StepSpeed(-1);
}

bool CPlay::NextFrame()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (m_state.nSpeed != SpeedNormal)
        NormalLocked();
    if (TVPLAY_PlayNextFrame(m_state.nPort) < 0)
        return false;
    m_state.nPlayStatus = StatusStepping;
    return true;
}

bool CPlay::PrevFrame()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (m_state.nSpeed != SpeedNormal)
        NormalLocked();
    if (TVPLAY_PlayPreviousFrame(m_state.nPort) < 0)
        return false;
    m_state.nPlayStatus = StatusStepping;
    return true;
}

bool CPlay::OpenSound()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    // The flag is the user's choice for this channel: it stays set when the
    // sound device cannot be opened, so the button shows what was asked for
    // and every new port of the channel tries again.
    m_state.bSound = true;
    const int nPort = m_state.nPort;
    if (StartSound(nPort) >= 0)
        return true;
    qWarning() << "Sound output could not be opened for window" << m_nWndIndex << "port" << nPort
               << (SoundDisabled() ? "(ORVELLE_NO_SOUND is set)" : "(no usable audio output device)");
    return false;
}

bool CPlay::SoundDisabled()
{
    static const bool bDisabled = qEnvironmentVariableIntValue("ORVELLE_NO_SOUND") != 0;
    return bDisabled;
}

int CPlay::StartSound(int nPort)
{
    if (SoundDisabled())
        return -1;
    return TVPLAY_PlaySound(nPort);
}

bool CPlay::CloseSound()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (m_state.bSound) {
        m_state.bSound = false;
        TVPLAY_StopSound(m_state.nPort);
    }
    return true;
}

bool CPlay::CatchPicture(const QString& strFolder, QString* pstrSaved, bool* pbShown)
{
    if (pbShown)
        *pbShown = false;
    const State state = GetState();
    // Named after the play time the media library reports, not the clock.
    const QString strName =
        QDateTime::fromSecsSinceEpoch(state.times.nCurTime).toString(QStringLiteral("yyyyMMdd_hhmmss"));
    const QString strPath = UniqueFilePath(QStringLiteral("%1/%2.jpg").arg(strFolder, strName));
    if (strPath.isEmpty())
        return false;
    // The capture waits for a picture from the port's thread: not under the
    // state lock, which that thread's messages take. A port closed meanwhile
    // fails the capture (port numbers are not reused).
    const int ret = TVPLAY_CatchPictureSyn(state.nPort, QFile::encodeName(strPath).constData(), kCaptureTimeoutMs);
    if (ret < 0) {
        qWarning() << "CatchPicture failed" << m_nWndIndex << strPath;
        return false;
    }
    if (pstrSaved)
        *pstrSaved = strPath;
    QThread::msleep(kViewerDelayMs);
    // Without a desktop (the offscreen platform) there is no viewer to show it.
    const bool bShown = QGuiApplication::platformName() != QLatin1String("offscreen")
                        && QDesktopServices::openUrl(QUrl::fromLocalFile(strPath));
    if (!bShown)
        qWarning() << "CatchPicture: no viewer could be started for" << strPath;
    if (pbShown)
        *pbShown = bShown;
    return true;
}

bool CPlay::StartRecord(const QString& strFolder)
{
    QString strClip;
    if (!BuildClipPath(GetPlayFile(), strFolder, &strClip))
        return IsRecording();
    strClip = UniqueFilePath(strClip);
    if (strClip.isEmpty())
        return IsRecording();
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (TVPLAY_StartRecordData(m_state.nPort, QFile::encodeName(strClip).constData()) >= 0)
        m_state.bRecording = true;
    return m_state.bRecording;
}

bool CPlay::StopRecord()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_state.bRecording = false;
    return TVPLAY_StopRecordData(m_state.nPort) >= 0;
}

bool CPlay::SetDisplayRegion(const QPoint& p1, const QPoint& p2, int /*nWidth*/, int /*nHeight*/, bool bEnable)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_state.bRegion = bEnable;
    m_state.region.left = p1.x();
    m_state.region.top = p1.y();
    m_state.region.right = p2.x();
    m_state.region.bottom = p2.y();
    return TVPLAY_PlaySetDisplayRegion(m_state.nPort, bEnable ? &m_state.region : nullptr) >= 0;
}
