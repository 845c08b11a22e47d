#include "app/records/LocalFolderCheck.h"

#include "media/common/QueuedCall.h"

CLocalFolderCheck::CLocalFolderCheck(QObject* parent)
    : QObject(parent)
{
}

CLocalFolderCheck::~CLocalFolderCheck()
{
    stop();
}

bool CLocalFolderCheck::event(QEvent* event)
{
    return media::runQueuedCall(event) || QObject::event(event);
}

void CLocalFolderCheck::stop()
{
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
    m_bRunning = false;
}

void CLocalFolderCheck::start(const QString& strFolder)
{
    stop();
    m_bStop = false;
    m_bRunning = true;
    const unsigned generation = ++m_nGeneration;
    m_thread = std::thread([this, strFolder, generation] {
        const HashManifest::CheckResult result = HashManifest::verify(strFolder, HashManifest::ProgressFn(), &m_bStop);
        if (result.bStopped)
            return;
        media::postQueuedCall(this, [this, strFolder, result, generation] {
            // A result that a newer check overtook is of no use.
            if (generation != m_nGeneration)
                return;
            m_bRunning = false;
            emit finished(strFolder, result);
        });
    });
}
