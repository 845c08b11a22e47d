#ifndef ORVELLE_APP_PLAY_MYTHREAD_H
#define ORVELLE_APP_PLAY_MYTHREAD_H

// A thread that runs one job function with one argument, once per start.
//
// The job is handed over together with the start, so that a thread object can
// never be given a new job while the previous one still runs: startJob()
// refuses (returns false) until the running job has returned. join() waits for
// the job; called from inside the job itself it returns false at once instead
// of waiting for ever. The destructor waits for a running job, so the job
// must watch its owner's stop flag.
//
// The job's end is handed to join() and isBusy() through a std::mutex and
// condition variable of this class (not only through QThread::wait()), so
// that everything the job wrote is ordered before what the joining thread
// does next, also for ThreadSanitizer, which cannot see inside Qt.

#include <QThread>

#include <climits>
#include <condition_variable>
#include <functional>
#include <mutex>

class CMyThread : public QThread
{
    Q_OBJECT

public:
    using JobFunc = void (*)(void* pArg);

    explicit CMyThread(QObject* parent = nullptr);
    ~CMyThread() override;

    // Starts pfnJob(pArg) on this thread. False when a job is still running
    // or pfnJob is null.
    bool startJob(JobFunc pfnJob, void* pArg, Priority priority = InheritPriority);
    // The same for a callable that carries its own argument.
    bool startJob(std::function<void()> job, Priority priority = InheritPriority);

    // True from a successful startJob() until the job has returned.
    bool isBusy() const;

    // Waits up to nMs milliseconds for the job to return; true when no job
    // runs any more. Never waits on itself.
    bool join(unsigned long nMs = ULONG_MAX);

protected:
    void run() override;

private:
    bool ClaimLocked(std::unique_lock<std::mutex>& lock);
    bool StartThread(Priority priority);

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;  // signalled when the job has returned
    bool m_bBusy = false;
    JobFunc m_pfnJob = nullptr;
    void* m_pArg = nullptr;
    std::function<void()> m_job;
};

#endif
