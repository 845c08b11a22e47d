// CPlay: construction, start and stop, the media library's messages, and the
// stop notification.

#include "app/play/Play.h"

#include "app/play/PlayPaths.h"
#include "app/play/PlaySource.h"
#include "app/shell/GlobalAppData.h"
#include "media/common/QueuedCall.h"

#include <QByteArray>
#include <QDebug>

#include <json/json.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <set>

namespace {

const int kMaxWindows = playcodes::WindowCount;

// Identifiers the media library expects in its initialisation record.
const char* const kSdkIdent1 = "5f1c0a9e7b3d42e8a6c4d0b2e9f71a38";
const char* const kSdkIdent2 = "9d2e6b4a1c8f47d3b0e5a7c2f4d96e10";
const char* const kSdkIdent3 = "3b7e9c1d5a2f48b6e0c4d8a1f7b2c95e";
const int kSdkVersion = 7;

std::atomic<uint32_t> g_windowSeconds[kMaxWindows];
std::atomic<uint32_t> g_windowSyncMs[kMaxWindows];

// Channels that may receive messages. A message whose user pointer is not
// (or no longer) a live channel is dropped; dispatch holds the lock, so a
// channel is never destroyed in the middle of handling one.
std::mutex& liveMutex()
{
    static std::mutex m;
    return m;
}

std::set<const CPlay*>& liveChannels()
{
    static std::set<const CPlay*> s;
    return s;
}

void copyText(char* pDst, size_t nSize, const QByteArray& text)
{
    const size_t n = std::min(nSize - 1, size_t(text.size()));
    std::memcpy(pDst, text.constData(), n);
    pDst[n] = '\0';
}

void initialiseMediaLibrary(CPlay* pFirst)
{
    static std::once_flag once;
    std::call_once(once, [pFirst] {
        auto param = std::make_unique<TVSDKInitParam>();
        std::memset(param.get(), 0, sizeof(TVSDKInitParam));
        const QByteArray workDir = CGlobalAppData::instance()->mediaWorkDir().toLocal8Bit();
        copyText(param->szWorkDir, sizeof(param->szWorkDir), workDir);
        copyText(param->szWorkDir2, sizeof(param->szWorkDir2), workDir);
        copyText(param->szIdent1, sizeof(param->szIdent1), kSdkIdent1);
        copyText(param->szIdent2, sizeof(param->szIdent2), kSdkIdent2);
        copyText(param->szIdent3, sizeof(param->szIdent3), kSdkIdent3);
        param->nVersion = kSdkVersion;
        param->pfnCallback = &CPlay::OnPlayMessage;
        param->pUser = pFirst;
        const int ret = TVSDK_Init(param.get());
        qDebug() << "TVSDK_Init" << ret;
    });
}

} // namespace

CPlay::CPlay(QObject* parent, quint64 hWnd, int nWndIndex, PlayStopCallback pfnStopNotify, void* pOwner)
    : QObject(parent)
    , m_nWndIndex(nWndIndex)
    , m_hWnd(hWnd)
    , m_pfnStopNotify(pfnStopNotify)
    , m_pOwner(pOwner)
    , m_pAppData(CGlobalAppData::instance())
{
    m_receiver.nReserved = 0;
    m_receiver.pfnCallback = &CPlay::OnPlayMessage;
    m_receiver.pUser = this;
    {
        std::lock_guard<std::mutex> lock(liveMutex());
        liveChannels().insert(this);
    }
    initialiseMediaLibrary(this);
}

CPlay::~CPlay()
{
    {
        std::lock_guard<std::mutex> lock(liveMutex());
        liveChannels().erase(this);
    }
    JoinThreads();
    ClosePort(true);
    ClearIndex();
    SetCurSeconds(0);
}

// ---------------------------------------------------------------------------
// Start and stop

bool CPlay::Play(const QString& strFilePath, bool bSync)
{
    ShutDown();
    ++m_nSession;
    RecordTimes times;
    const bool bTimes = IsPushedDataPath(strFilePath) && ParseRecordTimes(strFilePath, &times);
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_state.strFilePath = strFilePath;
        m_state.bSync = bSync;
        if (bTimes)
            m_state.nDuration = times.nDuration;
    }
    return StartThreads();
}

bool CPlay::SyncPlay(const QString& strFilePath, int nStartSeconds, bool bSync)
{
    return StartAt(strFilePath, nStartSeconds, bSync, bSync);
}

bool CPlay::PlayAt(const QString& strFilePath, int nStartSeconds)
{
    return StartAt(strFilePath, nStartSeconds, false, true);
}

bool CPlay::StartAt(const QString& strFilePath, int nStartSeconds, bool bSync, bool bPosition)
{
    ShutDown();
    ++m_nSession;
    RecordTimes times;
    const int nDuration =
        IsPushedDataPath(strFilePath) && ParseRecordTimes(strFilePath, &times) ? times.nDuration : 0;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_state.strFilePath = strFilePath;
        m_state.bSync = bSync;
        m_state.nDuration = nDuration;
    }

    if (bPosition && nDuration > 0) {
        // Start inside the recording at the chosen time of day, in
        // proportion to the data length.
        CPlaySource source(&m_pAppData->diskLock);
        if (source.Open(strFilePath)) {
            uint64_t nLength = source.Length();
            if (nLength <= 1024)
                nLength = 0;
            {
                std::lock_guard<std::mutex> lock(m_stateMutex);
                m_state.nDataLen = int64_t(nLength);
            }
            int a = nStartSeconds - times.nStartSeconds;
            if (a < 0 && times.nEndSeconds < times.nStartSeconds)
                a += 86400;  // the chosen time lies after midnight
            if (a > 0 && nLength > 0) {
                const long double offset = (long double)nLength * a / nDuration;
                m_seekRequest.Ask(uint64_t(offset));
            }
            source.Close();
        }
    }
    return StartThreads();
}

void CPlay::Stop()
{
    ShutDown();
    // A notification queued by the play thread belongs to this stop.
    ++m_nSession;
    NotifyStopped();
}

bool CPlay::StartThreads()
{
    {
        std::lock_guard<std::mutex> lock(m_threadMutex);
        m_bStopPlay.store(0);
        m_bStopIndex.store(0);
    }
    ClearIndex();
    if (!m_playThread.startJob(&CPlay::PlayThreadEntry, this)) {
        m_bStopPlay.store(1);
        m_bStopIndex.store(1);
        return false;
    }
    m_indexThread.startJob(&CPlay::IndexThreadEntry, this);
    return true;
}

void CPlay::JoinThreads()
{
    {
        std::lock_guard<std::mutex> lock(m_threadMutex);
        m_bStopPlay.store(1);
        m_bStopIndex.store(1);
    }
    WakeSleepers();
    m_playThread.join();
    // The play thread may have started a new index run before it saw the
    // stop; ask again.
    m_bStopIndex.store(1);
    m_indexThread.join();
}

void CPlay::ShutDown()
{
    JoinThreads();
    ResetChannel(false);
}

void CPlay::ResetChannel(bool bKeepSyncAndPath)
{
    ClosePort(true);
    ClearIndex();
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        State fresh;
        if (bKeepSyncAndPath) {
            fresh.bSync = m_state.bSync;
            fresh.strFilePath = m_state.strFilePath;
        }
        m_state = fresh;
    }
    m_seekRequest.Clear();
    m_bPlayEnded.store(0);
    m_bBuffering.store(0);
    m_bSyncWait.store(0);
    SetCurSeconds(0);
}

// ---------------------------------------------------------------------------
// Shared state

CPlay::State CPlay::GetState() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state;
}

int CPlay::GetPlayStatus() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.nPlayStatus;
}

int CPlay::GetSpeed() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.nSpeed;
}

bool CPlay::IsSoundOn() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.bSound;
}

bool CPlay::IsSync() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.bSync;
}

bool CPlay::IsIndexReady() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.bIndexReady;
}

bool CPlay::IsRegionOn() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.bRegion;
}

bool CPlay::IsRecording() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.bRecording;
}

bool CPlay::IsOpen() const
{
    return playcodes::IsOpenStatus(GetPlayStatus());
}

QString CPlay::GetPlayFile() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.strFilePath;
}

void CPlay::SetPlayFile(const QString& strPath)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_state.strFilePath = strPath;
}

int CPlay::GetPort() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.nPort;
}

int64_t CPlay::GetCurTime() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.times.nCurTime;
}

uint32_t CPlay::GetFirstTime() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.nFirstTime;
}

uint32_t CPlay::GetLastTime() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.nLastTime;
}

uint32_t CPlay::GetFrameCount() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.nFrameCount;
}

int64_t CPlay::GetDataLength() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.nDataLen;
}

void CPlay::GetPlayTime(int& nHour, int& nMinute, int& nSecond) const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    nHour = m_state.nHour;
    nMinute = m_state.nMinute;
    nSecond = m_state.nSecond;
}

void CPlay::SetCurrentTime(uint32_t nHour, uint32_t nMinute, uint32_t nSecond)
{
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_state.nHour = uint16_t(nHour);
        m_state.nMinute = uint16_t(nMinute);
        m_state.nSecond = uint16_t(nSecond);
    }
    SetCurSeconds(nHour * 3600u + nMinute * 60u + nSecond);
}

void CPlay::ClearCurrentTime()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_state.nHour = 0;
    m_state.nMinute = 0;
    m_state.nSecond = 0;
}

void CPlay::SetCurSeconds(uint32_t nSeconds)
{
    m_nCurSeconds.store(nSeconds);
    if (m_nWndIndex >= 0 && m_nWndIndex < kMaxWindows)
        g_windowSeconds[m_nWndIndex].store(nSeconds);
    SetCurSyncMs(nSeconds * 1000u);
}

void CPlay::SetCurSyncMs(uint32_t nMs)
{
    m_nCurSyncMs.store(nMs);
    if (m_nWndIndex >= 0 && m_nWndIndex < kMaxWindows)
        g_windowSyncMs[m_nWndIndex].store(nMs);
}

uint32_t CPlay::WindowSyncMs(int nWndIndex)
{
    if (nWndIndex < 0 || nWndIndex >= kMaxWindows)
        return 0;
    return g_windowSyncMs[nWndIndex].load();
}

uint32_t CPlay::WindowSeconds(int nWndIndex)
{
    if (nWndIndex < 0 || nWndIndex >= kMaxWindows)
        return 0;
    return g_windowSeconds[nWndIndex].load();
}

std::vector<IndexEntry> CPlay::GetIndex() const
{
    std::lock_guard<std::mutex> lock(m_indexMutex);
    return m_indexList;
}

void CPlay::ClearIndex()
{
    std::lock_guard<std::mutex> lock(m_indexMutex);
    std::vector<IndexEntry>().swap(m_indexList);
}

// ---------------------------------------------------------------------------
// Stop notification

void CPlay::NotifyStopped()
{
    if (m_pfnStopNotify)
        m_pfnStopNotify(m_nWndIndex, m_pOwner);
}

void CPlay::PostStopNotify()
{
    const quint64 nSession = m_nSession.load();
    media::postQueuedCall(this, [this, nSession] {
        if (m_nSession.load() == nSession)
            NotifyStopped();
    });
}

// Calls queued to the GUI thread by the play thread and the media callbacks
// (see media/common/QueuedCall.h).
bool CPlay::event(QEvent* pEvent)
{
    return media::runQueuedCall(pEvent) || QObject::event(pEvent);
}

// ---------------------------------------------------------------------------
// Media-library messages

int CPlay::OnPlayMessage(int nHandle, int nMsgId, int64_t nParam1, int64_t nParam2, int64_t nParam3,
                         const char* szText, void* /*pReserved1*/, void* /*pReserved2*/, void* /*pReserved3*/,
                         void* pUser)
{
    std::lock_guard<std::mutex> lock(liveMutex());
    CPlay* pPlay = static_cast<CPlay*>(pUser);
    if (!pPlay || liveChannels().count(pPlay) == 0)
        return 0;
    pPlay->HandleMessage(nHandle, nMsgId, nParam1, nParam2, nParam3, szText);
    return 0;
}

void CPlay::HandleMessage(int nHandle, int nMsgId, int64_t nParam1, int64_t nParam2, int64_t nParam3,
                          const char* szText)
{
    switch (nMsgId) {
    case EUIMSG_PLAY_START:
        qDebug() << "EUIMSG_PLAY_START nParam1" << nParam1 << nParam2 << nParam3 << "Port" << m_nWndIndex;
        break;
    case EUIMSG_PLAY_STOP: {
        // Only the port this channel uses now counts; a message of a port
        // closed by a seek is late news.
        bool bOurs = false;
        bool bFilePort = false;
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            bOurs = nHandle > 0 && nHandle == m_state.nPort;
            bFilePort = m_state.bFilePort;
        }
        if (bOurs) {
            m_bPlayEnded.store(1);
            if (bFilePort) {
                const quint64 nSession = m_nSession.load();
                media::postQueuedCall(this, [this, nSession] { FinishFilePort(nSession); });
            }
            WakeSleepers();
        }
        qDebug() << "EUIMSG_PLAY_STOP nParam1" << nParam1 << nParam2 << nParam3 << "Port" << m_nWndIndex;
        break;
    }
    case EUIMSG_PLAY_INFO: {
        Json::Value root;
        Json::CharReaderBuilder builder;
        std::string errors;
        const char* pText = szText ? szText : "";
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        const bool bParsed =
            reader->parse(pText, pText + std::strlen(pText), &root, &errors) && root.isObject();
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (bParsed) {
            m_state.nFps = root.get("fps", 0).asInt();
            m_state.nBits = root.get("bits", 0).asInt();
            m_state.nWidth = root.get("width", 0).asInt();
            m_state.nHeight = root.get("height", 0).asInt();
        } else {
            m_state.nBits = 0;
            m_state.nWidth = 0;
            m_state.nHeight = 0;
        }
        m_state.times.nCurTime = nParam2;
        m_state.times.nBeginTime = nParam1;
        m_state.times.nEndTime = nParam3;
        if (nParam1 != nParam3)
            m_state.times.fProgress = float(double(nParam2 - nParam1) / double(nParam3 - nParam1));
        break;
    }
    case EUIMSG_PLAY_SOUND:
        qDebug() << "EUIMSG_PLAY_SOUND nParam1" << nParam1;
        break;
    case EUIMSG_BUFFER_STATE:
        m_bBuffering.store(nParam1 == 1 ? 1 : 0);
        qDebug() << "EUIMSG_BUFFER_STATE nParam1" << nParam1 << nParam2 << nParam3 << "Port" << m_nWndIndex;
        break;
    default:
        break;
    }
}

// A file port played to its end: close it on the GUI thread, unless the
// channel has been stopped or restarted since.
void CPlay::FinishFilePort(quint64 nSession)
{
    if (m_nSession.load() != nSession || !GetState().bFilePort)
        return;
    ResetChannel(false);
    ++m_nSession;
    NotifyStopped();
}
