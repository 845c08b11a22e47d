#include "app/play/PlayManage.h"

#include "app/shell/GlobalAppData.h"

#include <QTimerEvent>

namespace {

CPlayManage* g_pInstance = nullptr;

} // namespace

CPlayManage* CPlayManage::instance()
{
    if (!g_pInstance)
        g_pInstance = new CPlayManage();
    return g_pInstance;
}

void CPlayManage::release()
{
    delete g_pInstance;
    g_pInstance = nullptr;
}

CPlayManage::CPlayManage() = default;

CPlayManage::~CPlayManage()
{
    if (m_nTimerId != -1)
        killTimer(m_nTimerId);
    m_nTimerId = -1;
    for (CPlay*& pPlay : m_pPlay) {
        delete pPlay;
        pPlay = nullptr;
    }
}

CPlay* CPlayManage::Channel(int nIndex) const
{
    if (nIndex < 0 || nIndex >= MaxWindows)
        return nullptr;
    return m_pPlay[nIndex];
}

CPlay* CPlayManage::OpenChannel(int nIndex) const
{
    CPlay* pPlay = Channel(nIndex);
    return pPlay && pPlay->IsOpen() ? pPlay : nullptr;
}

CPlay* CPlayManage::GetPlay(int nIndex) const
{
    return Channel(nIndex);
}

bool CPlayManage::AddPlay(quint64 hWnd, int nIndex, PlayStopCallback pfnStopNotify, void* pOwner)
{
    if (nIndex < 0 || nIndex >= MaxWindows)
        return false;
    delete m_pPlay[nIndex];
    m_pPlay[nIndex] = new CPlay(this, hWnd, nIndex, pfnStopNotify, pOwner);
    return true;
}

int CPlayManage::StartTimer()
{
    if (m_nTimerId != -1)
        killTimer(m_nTimerId);
    m_nTimerId = startTimer(SuperviseIntervalMs);
    return m_nTimerId;
}

bool CPlayManage::Play(int nIndex, const QString& strFilePath, bool bSync)
{
    CPlay* pPlay = Channel(nIndex);
    if (!pPlay)
        return false;
    pPlay->Stop();
    return pPlay->Play(strFilePath, bSync);
}

bool CPlayManage::SyncPlay(int nIndex, const QString& strFilePath, int nStartSeconds, bool bSync)
{
    CPlay* pPlay = Channel(nIndex);
    return pPlay ? pPlay->SyncPlay(strFilePath, nStartSeconds, bSync) : false;
}

bool CPlayManage::PlayAt(int nIndex, const QString& strFilePath, int nStartSeconds)
{
    CPlay* pPlay = Channel(nIndex);
    if (!pPlay)
        return false;
    pPlay->Stop();
    return pPlay->PlayAt(strFilePath, nStartSeconds);
}

void CPlayManage::Stop(int nIndex)
{
    if (CPlay* pPlay = Channel(nIndex))
        pPlay->Stop();
}

void CPlayManage::PauseOrResume(int nIndex)
{
    CPlay* pPlay = Channel(nIndex);
    if (!pPlay)
        return;
    switch (pPlay->GetPlayStatus()) {
    case CPlay::StatusPaused:
        pPlay->Pause(false);
        break;
    case CPlay::StatusPlaying:
        pPlay->Pause(true);
        break;
    case CPlay::StatusStepping:
        pPlay->Normal();
        break;
    default:
        break;
    }
}

bool CPlayManage::Fast(int nIndex)
{
    CPlay* pPlay = OpenChannel(nIndex);
    return pPlay ? pPlay->Fast() : false;
}

bool CPlayManage::Slow(int nIndex)
{
    CPlay* pPlay = OpenChannel(nIndex);
    return pPlay ? pPlay->Slow() : false;
}

bool CPlayManage::NextFrame(int nIndex)
{
    CPlay* pPlay = OpenChannel(nIndex);
    return pPlay ? pPlay->NextFrame() : false;
}

bool CPlayManage::PrevFrame(int nIndex)
{
    CPlay* pPlay = OpenChannel(nIndex);
    return pPlay ? pPlay->PrevFrame() : false;
}

int CPlayManage::GetPlayPos(int nIndex)
{
    CPlay* pPlay = OpenChannel(nIndex);
    return pPlay ? pPlay->GetPlayPos() : 0;
}

bool CPlayManage::SetPlayPos(int nIndex, float fRatio)
{
    CPlay* pPlay = OpenChannel(nIndex);
    if (!pPlay)
        return true;
    const int a = pPlay->SetPlayPos(fRatio);
    if (!pPlay->IsSync())
        return true;
    if (a < 0)
        return false;
    // a is the time of day the channel seeks to: bring the others there.
    for (int c = 0; c < MaxWindows; ++c) {
        if (c == nIndex)
            continue;
        if (CPlay* pOther = OpenChannel(c))
            pOther->SeekToTime(a);
    }
    return true;
}

bool CPlayManage::CatchPicture(int nIndex, const QString& strFolder, QString* pstrSaved, bool* pbShown)
{
    CPlay* pPlay = OpenChannel(nIndex);
    return pPlay ? pPlay->CatchPicture(strFolder, pstrSaved, pbShown) : false;
}

bool CPlayManage::StartRecord(int nIndex, const QString& strFolder)
{
    CPlay* pPlay = OpenChannel(nIndex);
    return pPlay ? pPlay->StartRecord(strFolder) : false;
}

bool CPlayManage::StopRecord(int nIndex)
{
    CPlay* pPlay = OpenChannel(nIndex);
    return pPlay ? pPlay->StopRecord() : false;
}

bool CPlayManage::OpenSound(int nIndex)
{
    CPlay* pPlay = OpenChannel(nIndex);
    return pPlay ? pPlay->OpenSound() : false;
}

bool CPlayManage::CloseSound(int nIndex)
{
    CPlay* pPlay = OpenChannel(nIndex);
    return pPlay ? pPlay->CloseSound() : false;
}

bool CPlayManage::SetDisplayRegion(int nIndex, const QPoint& p1, const QPoint& p2, int nWidth, int nHeight,
                                   bool bEnable)
{
    CPlay* pPlay = OpenChannel(nIndex);
    return pPlay ? pPlay->SetDisplayRegion(p1, p2, nWidth, nHeight, bEnable) : false;
}

bool CPlayManage::IsPlaying(int nIndex)
{
    return OpenChannel(nIndex) != nullptr;
}

int CPlayManage::GetPlayStatus(int nIndex)
{
    CPlay* pPlay = Channel(nIndex);
    return pPlay ? pPlay->GetPlayStatus() : 0;
}

int CPlayManage::GetSpeed(int nIndex)
{
    CPlay* pPlay = Channel(nIndex);
    return pPlay ? pPlay->GetSpeed() : int(CPlay::SpeedNormal);
}

bool CPlayManage::IsSoundOn(int nIndex)
{
    CPlay* pPlay = OpenChannel(nIndex);
    return pPlay ? pPlay->IsSoundOn() : false;
}

bool CPlayManage::IsRecording(int nIndex)
{
    CPlay* pPlay = Channel(nIndex);
    return pPlay ? pPlay->IsRecording() : false;
}

bool CPlayManage::IsRegionOn(int nIndex)
{
    CPlay* pPlay = Channel(nIndex);
    return pPlay ? pPlay->IsRegionOn() : false;
}

bool CPlayManage::IsSync(int nIndex)
{
    CPlay* pPlay = Channel(nIndex);
    return pPlay ? pPlay->IsSync() : false;
}

int CPlayManage::GetIndexState(int nIndex)
{
    CPlay* pPlay = OpenChannel(nIndex);
    if (!pPlay)
        return -1;
    if (pPlay->IsSync())
        return pPlay->IsIndexReady() ? 1 : 0;
    return 1;
}

QString CPlayManage::GetPlayFile(int nIndex)
{
    CPlay* pPlay = Channel(nIndex);
    return pPlay ? pPlay->GetPlayFile() : QString();
}

void CPlayManage::GetPlayTime(int nIndex, int& nHour, int& nMinute, int& nSecond)
{
    nHour = nMinute = nSecond = 0;
    if (CPlay* pPlay = Channel(nIndex))
        pPlay->GetPlayTime(nHour, nMinute, nSecond);
}

int64_t CPlayManage::GetCurTime(int nIndex)
{
    CPlay* pPlay = OpenChannel(nIndex);
    return pPlay ? pPlay->GetCurTime() : 0;
}

void CPlayManage::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_nTimerId)
        SuperviseSync();
    else
        QObject::timerEvent(event);
}

void CPlayManage::SuperviseSync()
{
    CGlobalAppData* pApp = CGlobalAppData::instance();
    uint32_t a = 0;
    uint32_t b = 0;
    for (int c = 0; c < MaxWindows; ++c) {
        CPlay* pPlay = OpenChannel(c);
        if (!pPlay)
            continue;
        if (pPlay->GetCurSeconds() == 0)
            continue;
        // To the millisecond: of the channels in one second of day, the one
        // furthest into it is not the one behind.
        const uint32_t d = pPlay->GetCurSyncMs();
        if (c == 0 || a == 0) {
            pApp->earliestSyncWindow.store(c);
            pApp->latestSyncWindow.store(c);
            a = b = d;
        }
        if (d < a) {
            pApp->earliestSyncWindow.store(c);
            a = d;
        }
        if (d > b) {
            pApp->latestSyncWindow.store(c);
            b = d;
        }
    }
    if (a == 0)
        return;
    const int nEarliest = pApp->earliestSyncWindow.load();
    for (int c = 0; c < MaxWindows; ++c) {
        if (c == nEarliest)
            continue;
        if (CPlay* pPlay = OpenChannel(c))
            pPlay->SetSyncWait(true);
    }
}
