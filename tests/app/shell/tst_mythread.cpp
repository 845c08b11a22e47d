// The one-shot job thread: runs its job once with its argument, refuses a
// new job while one runs, can be joined (also from inside the job without
// hanging) and waits for its job when destroyed.

#include "app/play/MyThread.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <QTest>

#include <atomic>

namespace {

struct Job
{
    std::atomic<int> runs{0};
    std::atomic<bool> done{false};
    QSemaphore started;
    QSemaphore release;
    Qt::HANDLE threadId = nullptr;
    CMyThread* self = nullptr;
    bool joinedSelf = true;
};

void countJob(void* pArg)
{
    auto* job = static_cast<Job*>(pArg);
    job->threadId = QThread::currentThreadId();
    job->runs.fetch_add(1);
}

void blockingJob(void* pArg)
{
    auto* job = static_cast<Job*>(pArg);
    job->runs.fetch_add(1);
    job->started.release();
    job->release.acquire();
    job->done = true;
}

void selfJoiningJob(void* pArg)
{
    auto* job = static_cast<Job*>(pArg);
    job->joinedSelf = job->self->join(50);
    job->runs.fetch_add(1);
}

}  // namespace

class TestMyThread : public QObject
{
    Q_OBJECT

private slots:
    void runsTheJobOnceOnItsOwnThread();
    void refusesANewJobWhileRunningAndRestartsAfterwards();
    void joinFromInsideTheJobDoesNotHang();
    void destructorWaitsForTheJob();
    void callableJobsAndNullJobs();
};

void TestMyThread::runsTheJobOnceOnItsOwnThread()
{
    Job job;
    CMyThread thread;
    QVERIFY(!thread.isBusy());
    QVERIFY(thread.startJob(countJob, &job));
    QVERIFY(thread.join(5000));
    QCOMPARE(job.runs.load(), 1);
    QVERIFY(job.threadId != QThread::currentThreadId());
    QVERIFY(!thread.isBusy());
    // Joining again after the end returns at once.
    QVERIFY(thread.join(0));
    QCOMPARE(job.runs.load(), 1);
}

void TestMyThread::refusesANewJobWhileRunningAndRestartsAfterwards()
{
    Job first;
    Job second;
    CMyThread thread;
    QVERIFY(thread.startJob(blockingJob, &first));
    QVERIFY(first.started.tryAcquire(1, 5000));
    QVERIFY(thread.isBusy());
    QVERIFY2(!thread.startJob(countJob, &second), "a running thread takes no new job");
    QVERIFY(!thread.join(20));

    first.release.release();
    QVERIFY(thread.join(5000));
    QVERIFY(first.done);
    QCOMPARE(second.runs.load(), 0);

    QVERIFY(thread.startJob(countJob, &second));
    QVERIFY(thread.join(5000));
    QCOMPARE(second.runs.load(), 1);
    QCOMPARE(first.runs.load(), 1);
}

void TestMyThread::joinFromInsideTheJobDoesNotHang()
{
    Job job;
    CMyThread thread;
    job.self = &thread;
    QVERIFY(thread.startJob(selfJoiningJob, &job));
    QVERIFY(thread.join(5000));
    QCOMPARE(job.runs.load(), 1);
    QVERIFY(!job.joinedSelf);
}

void TestMyThread::destructorWaitsForTheJob()
{
    Job job;
    auto* thread = new CMyThread;
    QVERIFY(thread->startJob(blockingJob, &job));
    QVERIFY(job.started.tryAcquire(1, 5000));
    QThread* releaser = QThread::create([&job]() {
        QThread::msleep(100);
        job.release.release();
    });
    releaser->start();
    delete thread;   // must wait, not destroy a running thread
    QVERIFY(job.done);
    QVERIFY(releaser->wait(5000));
    delete releaser;
}

void TestMyThread::callableJobsAndNullJobs()
{
    CMyThread thread;
    QVERIFY(!thread.startJob(CMyThread::JobFunc(nullptr), nullptr));
    QVERIFY(!thread.startJob(std::function<void()>()));
    QVERIFY(!thread.isBusy());

    std::atomic<int> sum{0};
    for (int i = 1; i <= 3; ++i) {
        QVERIFY(thread.startJob([&sum, i]() { sum += i; }));
        QVERIFY(thread.join(5000));
    }
    QCOMPARE(sum.load(), 6);
}

QTEST_GUILESS_MAIN(TestMyThread)
#include "tst_mythread.moc"
