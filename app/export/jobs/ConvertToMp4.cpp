#include "app/export/jobs/ConvertToMp4.h"

#include <QDebug>
#include <QFile>

CConvertToMp4 *CConvertToMp4::instance()
{
    // Lives until the process ends.
    static CConvertToMp4 *s_instance = new CConvertToMp4;
    return s_instance;
}

QString CConvertToMp4::Mp4PathFor(const QString &strH264Path)
{
    const QString ext = QStringLiteral(".h264");
    const int slash = strH264Path.lastIndexOf(QLatin1Char('/'));
    if (strH264Path.endsWith(ext, Qt::CaseInsensitive) && strH264Path.size() - ext.size() > slash + 1)
        return strH264Path.left(strH264Path.size() - ext.size()) + QStringLiteral(".mp4");
    return strH264Path + QStringLiteral(".mp4");
}

CConvertToMp4::CConvertToMp4() : m_receiver{0, &CConvertToMp4::OnMessage, this}
{
}

void CConvertToMp4::SetProgressReceiver(ProgressFunc pfnProgress, void *pUser)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_pfnProgress = pfnProgress;
    m_pProgressUser = pUser;
}

bool CConvertToMp4::ConvertH264ToMp4(QString srcPath, QString dstPath)
{
    QMutexLocker convertLock(&m_convertLock);
    std::future<int> result;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_resultPromise = std::promise<int>();
        result = m_resultPromise.get_future();
        m_bAwaiting = true;
        m_bCancelled = false;
        m_nHandle = 0;
    }
    const QByteArray src = QFile::encodeName(srcPath);
    const QByteArray dst = QFile::encodeName(dstPath);
    TVMessageReceiver receiver = m_receiver;
    const int handle = TVPLAY_StartConvertFile(&receiver, src.constData(), dst.constData(), "");
    bool cancelled;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_nHandle = handle > 0 ? handle : 0;
        cancelled = m_bCancelled;
    }
    bool ok = false;
    if (handle > 0) {
        if (cancelled)
            TVPLAY_CancelConvertFile(handle);  // the cancel came before the handle was known
        ok = result.get() != 0;
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            cancelled = m_bCancelled;
        }
        // A cancelled conversion has ended (and cleaned up) before we return,
        // so none of its late messages can reach the next conversion.
        if (cancelled)
            TVPLAY_CancelConvertFile(handle);
    }
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_bAwaiting = false;
    m_nHandle = 0;
    return ok;
}

void CConvertToMp4::Cancel()
{
    int handle;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (!m_bAwaiting)
            return;  // nothing runs
        m_bCancelled = true;
        handle = m_nHandle;
    }
    if (handle > 0)
        TVPLAY_CancelConvertFile(handle);
    DeliverResult(0);
}

void CConvertToMp4::DeliverResult(int nResult)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (!m_bAwaiting)
        return;
    m_bAwaiting = false;
    m_resultPromise.set_value(nResult);
}

int CConvertToMp4::OnMessage(int nHandle, int nMsgId, int64_t nParam1, int64_t, int64_t, const char *, void *,
                             void *, void *, void *pUser)
{
    static_cast<CConvertToMp4 *>(pUser)->HandleMessage(nHandle, nMsgId, nParam1);
    return 0;
}

void CConvertToMp4::HandleMessage(int nHandle, int nMsgId, int64_t nParam)
{
    ProgressFunc progress;
    void *user;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        // Messages of an earlier conversion are not ours (0: the handle of a
        // conversion that reports before its start call has returned).
        if (m_nHandle != 0 && nHandle != m_nHandle)
            return;
        progress = m_pfnProgress;
        user = m_pProgressUser;
    }
    switch (nMsgId) {
    case EUIMSG_COVERT_FILE_RESULT:
        qDebug() << "EUIMSG_COVERT_FILE_RESULT nParam " << nParam;
        if (nParam < 0)
            DeliverResult(0);
        break;
    case EUIMSG_COVERT_FILE_PROCESS:
        qDebug() << "EUIMSG_COVERT_FILE_PROCESS nParam " << nParam;
        if (progress)
            progress(int(nParam), user);
        if (nParam == 100)
            DeliverResult(1);
        break;
    default:
        break;
    }
}
