#include "app/play/MyThread.h"

#include <QMutexLocker>

CMyThread::CMyThread(QObject* parent)
    : QThread(parent)
{
}

CMyThread::~CMyThread()
{
    join();
}

bool CMyThread::startJob(JobFunc pfnJob, void* pArg, Priority priority)
{
    if (!pfnJob)
        return false;
    {
        QMutexLocker lock(&m_mutex);
        if (m_bBusy)
            return false;
        // The previous run may have cleared the busy flag but not yet left
        // QThread's bookkeeping; wait for that tail before starting again.
        if (isRunning() && QThread::currentThread() != this)
            wait();
        m_bBusy = true;
        m_pfnJob = pfnJob;
        m_pArg = pArg;
        m_job = nullptr;
    }
    start(priority);
    return true;
}

bool CMyThread::startJob(std::function<void()> job, Priority priority)
{
    if (!job)
        return false;
    {
        QMutexLocker lock(&m_mutex);
        if (m_bBusy)
            return false;
        if (isRunning() && QThread::currentThread() != this)
            wait();
        m_bBusy = true;
        m_pfnJob = nullptr;
        m_pArg = nullptr;
        m_job = std::move(job);
    }
    start(priority);
    return true;
}

bool CMyThread::isBusy() const
{
    QMutexLocker lock(&m_mutex);
    return m_bBusy;
}

bool CMyThread::join(unsigned long nMs)
{
    if (QThread::currentThread() == this)
        return false;
    if (!wait(nMs))
        return false;
    return !isBusy();
}

void CMyThread::run()
{
    JobFunc pfnJob;
    void* pArg;
    std::function<void()> job;
    {
        QMutexLocker lock(&m_mutex);
        pfnJob = m_pfnJob;
        pArg = m_pArg;
        job.swap(m_job);
    }
    if (pfnJob)
        pfnJob(pArg);
    else if (job)
        job();
    QMutexLocker lock(&m_mutex);
    m_pfnJob = nullptr;
    m_pArg = nullptr;
    m_bBusy = false;
}
