#include "app/play/MyThread.h"

#include <QDeadlineTimer>

#include <chrono>

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
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!ClaimLocked(lock))
            return false;
        m_pfnJob = pfnJob;
        m_pArg = pArg;
        m_job = nullptr;
    }
    return StartThread(priority);
}

bool CMyThread::startJob(std::function<void()> job, Priority priority)
{
    if (!job)
        return false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!ClaimLocked(lock))
            return false;
        m_pfnJob = nullptr;
        m_pArg = nullptr;
        m_job = std::move(job);
    }
    return StartThread(priority);
}

// With m_mutex held: marks the object busy for a new job, or false when a job
// still runs. The previous run may have cleared the busy flag but not yet left
// QThread's bookkeeping; that tail is waited for with the mutex released (the
// ending run takes it on its way out), then the check is made again.
bool CMyThread::ClaimLocked(std::unique_lock<std::mutex>& lock)
{
    for (;;) {
        if (m_bBusy)
            return false;
        if (!isRunning() || QThread::currentThread() == this)
            break;
        lock.unlock();
        wait();
        lock.lock();
    }
    m_bBusy = true;
    return true;
}

bool CMyThread::StartThread(Priority priority)
{
    start(priority);
    // A thread that could not be created neither runs nor has finished:
    // the job will never run, so the object is free again.
    if (!isRunning() && !isFinished()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bBusy = false;
        m_pfnJob = nullptr;
        m_pArg = nullptr;
        m_job = nullptr;
        return false;
    }
    return true;
}

bool CMyThread::isBusy() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bBusy;
}

bool CMyThread::join(unsigned long nMs)
{
    if (QThread::currentThread() == this)
        return false;
    const QDeadlineTimer deadline = nMs == ULONG_MAX ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                     : QDeadlineTimer(qint64(nMs));
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (m_bBusy) {
            if (deadline.isForever()) {
                m_idle.wait(lock);
            } else {
                const qint64 nLeft = deadline.remainingTime();
                if (nLeft <= 0)
                    return false;
                m_idle.wait_for(lock, std::chrono::milliseconds(nLeft));
            }
        }
    }
    // The job has returned; what is left is QThread's own tail.
    return wait(deadline);
}

void CMyThread::run()
{
    {
        JobFunc pfnJob;
        void* pArg;
        std::function<void()> job;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            pfnJob = m_pfnJob;
            pArg = m_pArg;
            job.swap(m_job);
        }
        if (pfnJob)
            pfnJob(pArg);
        else if (job)
            job();
    }  // the callable and what it holds are gone before the thread counts as idle
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pfnJob = nullptr;
    m_pArg = nullptr;
    m_bBusy = false;
    m_idle.notify_all();
}
