// The play manager: its sixteen windows, the defaults for windows it cannot
// serve, and channels playing local recordings in step by time of day.

#include "app/play/PlayManage.h"
#include "tests/app/play/PlayTestSupport.h"
#include "tests/app/play/SinkWidget.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace playtest;

class TestPlayManage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void windowsOutsideTheGridGetDefaults();
    void windowWithoutChannelOrClosedGetsDefaults();
    void playStopAndPauseThroughTheManager();
    void supervisionLeavesNonSyncPlayAlone();
    void syncWindowsKeepInStepAndMoveOn();
    void syncWindowsInStepWithinTheSecond();
    void syncSeekMovesEveryWindow();
    void syncRestartWhileHoldingTheQueueLock();

private:
    void addWindows(int nCount);

    QTemporaryDir m_dir;
    QString m_strRoot;
    std::vector<std::unique_ptr<SinkWidget>> m_widgets;
    StopCounter m_stops[3];
    CGlobalAppData* m_pApp = nullptr;
};

void TestPlayManage::initTestCase()
{
    QVERIFY(m_dir.isValid());
    CGlobalAppData::setAppDir(m_dir.path());
    m_pApp = CGlobalAppData::instance();
    m_strRoot = m_dir.path() + "/Record";
}

void TestPlayManage::cleanupTestCase()
{
    CGlobalAppData::release();
}

void TestPlayManage::init()
{
    for (StopCounter& c : m_stops) {
        c.nCount = 0;
        c.nOffGuiThread = 0;
    }
    m_pApp->earliestSyncWindow = -1;
    m_pApp->latestSyncWindow = -1;
    m_pApp->clearSyncQueue(-1);
}

void TestPlayManage::cleanup()
{
    CPlayManage::release();
    m_widgets.clear();
}

void TestPlayManage::addWindows(int nCount)
{
    CPlayManage* pManage = CPlayManage::instance();
    for (int i = 0; i < nCount; ++i) {
        m_widgets.push_back(std::make_unique<SinkWidget>());
        m_widgets.back()->show();
        QVERIFY(pManage->AddPlay(m_widgets.back()->handle(), i, &StopCounter::callback, &m_stops[i]));
    }
}

void TestPlayManage::windowsOutsideTheGridGetDefaults()
{
    addWindows(1);
    CPlayManage* m = CPlayManage::instance();
    SinkWidget w;
    for (int i : {-1, 16, 1000}) {
        QVERIFY(!m->AddPlay(w.handle(), i, nullptr, nullptr));
        QVERIFY(!m->Play(i, "/x/idea0/2024-05-01/000/10.00.00-10.00.04.h264", false));
        QVERIFY(!m->SyncPlay(i, "/x/idea0/2024-05-01/000/10.00.00-10.00.04.h264", 36000, true));
        m->Stop(i);
        m->PauseOrResume(i);
        QVERIFY(!m->Fast(i));
        QVERIFY(!m->Slow(i));
        QVERIFY(!m->NextFrame(i));
        QVERIFY(!m->PrevFrame(i));
        QCOMPARE(m->GetPlayPos(i), 0);
        QVERIFY(m->SetPlayPos(i, 0.5f));
        QVERIFY(!m->CatchPicture(i, m_dir.path()));
        QVERIFY(!m->StartRecord(i, m_dir.path()));
        QVERIFY(!m->StopRecord(i));
        QVERIFY(!m->OpenSound(i));
        QVERIFY(!m->CloseSound(i));
        QVERIFY(!m->SetDisplayRegion(i, QPoint(0, 0), QPoint(10, 10), 0, 0, true));
        QVERIFY(!m->IsPlaying(i));
        QCOMPARE(m->GetPlayStatus(i), 0);
        QCOMPARE(m->GetSpeed(i), 5);
        QVERIFY(!m->IsSoundOn(i));
        QVERIFY(!m->IsRecording(i));
        QVERIFY(!m->IsRegionOn(i));
        QVERIFY(!m->IsSync(i));
        QCOMPARE(m->GetIndexState(i), -1);
        QCOMPARE(m->GetPlayFile(i), QString());
        int h = 7, mi = 7, s = 7;
        m->GetPlayTime(i, h, mi, s);
        QCOMPARE(h + mi + s, 0);
        QVERIFY(m->GetPlay(i) == nullptr);
    }
    QCOMPARE(m_stops[0].nCount.load(), 0);
    QVERIFY(m->GetPlay(0) != nullptr);
}

void TestPlayManage::windowWithoutChannelOrClosedGetsDefaults()
{
    addWindows(1);
    CPlayManage* m = CPlayManage::instance();
    // Window 5 has no channel; window 0 has one that is closed.
    for (int i : {5, 0}) {
        QVERIFY(!m->Fast(i));
        QVERIFY(!m->NextFrame(i));
        QCOMPARE(m->GetPlayPos(i), 0);
        QVERIFY(m->SetPlayPos(i, 0.3f));
        QVERIFY(!m->OpenSound(i));
        QVERIFY(!m->CatchPicture(i, m_dir.path()));
        QVERIFY(!m->IsPlaying(i));
        QCOMPARE(m->GetIndexState(i), -1);
        QCOMPARE(m->GetSpeed(i), 5);
    }
    QVERIFY(!m->Play(5, "/x/idea0/2024-05-01/000/10.00.00-10.00.04.h264", false));
    QCOMPARE(m->GetSpeed(0), 5);
    QVERIFY(m->GetPlay(0) != nullptr);
    // Replacing a window's channel gives a new one.
    CPlay* pOld = m->GetPlay(0);
    QVERIFY(m->AddPlay(m_widgets[0]->handle(), 0, &StopCounter::callback, &m_stops[0]));
    QVERIFY(m->GetPlay(0) != nullptr);
    Q_UNUSED(pOld);
}

void TestPlayManage::playStopAndPauseThroughTheManager()
{
    addWindows(1);
    CPlayManage* m = CPlayManage::instance();
    const QString strPath = writeRecording(m_strRoot, 0, 9, 0, 0, 6.0);
    QVERIFY(!strPath.isEmpty());

    QVERIFY(m->Play(0, strPath, false));
    const int nStopsBefore = m_stops[0].nCount.load();  // Play closes the window first
    QTRY_VERIFY_WITH_TIMEOUT(m->IsPlaying(0), 2000);
    QCOMPARE(m->GetPlayFile(0), strPath);
    QCOMPARE(m->GetIndexState(0), 1);  // not in sync play: always 1
    QVERIFY(!m->IsSync(0));
    QTRY_VERIFY_WITH_TIMEOUT(m->GetPlayPos(0) > 0, 4000);

    m->PauseOrResume(0);
    QCOMPARE(m->GetPlayStatus(0), 2);
    m->PauseOrResume(0);
    QCOMPARE(m->GetPlayStatus(0), 1);
    QVERIFY(m->NextFrame(0));
    QCOMPARE(m->GetPlayStatus(0), 4);
    m->PauseOrResume(0);  // stepping: back to normal play
    QCOMPARE(m->GetPlayStatus(0), 1);
    QVERIFY(m->Fast(0));
    QCOMPARE(m->GetSpeed(0), 6);
    QVERIFY(m->SetPlayPos(0, 0.1f));

    // Playing another path first closes what plays.
    QVERIFY(m->Play(0, strPath, false));
    QCOMPARE(m_stops[0].nCount.load(), nStopsBefore + 1);
    QCOMPARE(m->GetSpeed(0), 5);
    QTRY_VERIFY_WITH_TIMEOUT(m->IsPlaying(0), 2000);
    m->Stop(0);
    QVERIFY(!m->IsPlaying(0));
    QCOMPARE(m_stops[0].nCount.load(), nStopsBefore + 2);
    QCOMPARE(m_stops[0].nOffGuiThread.load(), 0);
}

void TestPlayManage::supervisionLeavesNonSyncPlayAlone()
{
    addWindows(2);
    CPlayManage* m = CPlayManage::instance();
    const QString strPath = writeRecording(m_strRoot, 0, 8, 0, 0, 3.0);
    QVERIFY(m->Play(0, strPath, false));
    QVERIFY(m->Play(1, strPath, false));
    QTRY_VERIFY_WITH_TIMEOUT(m->IsPlaying(0) && m->IsPlaying(1), 2000);
    QVERIFY(m->StartTimer() > 0);
    QTest::qWait(1200);
    m->SuperviseSync();
    QCOMPARE(m_pApp->earliestSyncWindow.load(), -1);
    QCOMPARE(m_pApp->latestSyncWindow.load(), -1);
    int h = 1, mi = 1, s = 1;
    m->GetPlayTime(0, h, mi, s);
    QCOMPARE(h + mi + s, 0);  // times of day are kept in sync play only
}

void TestPlayManage::syncWindowsKeepInStepAndMoveOn()
{
    addWindows(2);
    CPlayManage* m = CPlayManage::instance();
    // Window 0 shows channel 0, window 1 channel 1, each with two recordings
    // that follow each other; channel 1 starts a second later.
    const QString a0 = writeRecording(m_strRoot, 0, 10, 0, 0, 3.0);
    const QString a1 = writeRecording(m_strRoot, 0, 10, 0, 3, 3.0);
    const QString b0 = writeRecording(m_strRoot, 1, 10, 0, 1, 2.0);
    const QString b1 = writeRecording(m_strRoot, 1, 10, 0, 3, 3.0);
    QVERIFY(!a0.isEmpty() && !a1.isEmpty() && !b0.isEmpty() && !b1.isEmpty());
    {
        std::lock_guard<std::mutex> lock(m_pApp->syncQueueLock);
        m_pApp->syncQueue[0] = QStringList{a0, a1};
        m_pApp->syncQueue[1] = QStringList{b0, b1};
    }
    m->StartTimer();

    // Start both windows at 10:00:01, the way the display box does.
    const int nSyncTime = 10 * 3600 + 1;
    for (int w : {0, 1})
        QVERIFY(m->SyncPlay(w, m_pApp->takeNextSyncPath(w), nSyncTime, true));
    QVERIFY(m->IsSync(0) && m->IsSync(1));

    QElapsedTimer timer;
    timer.start();
    bool bSawA1 = false, bSawB1 = false, bPaused = false, bResumed = false;
    int nMaxApart = 0, nBothTimed = 0, nEarliestSeen = -1;
    uint32_t nPausedAt = 0;
    while (timer.elapsed() < 20000 && (m_stops[0].nCount < 1 || m_stops[1].nCount < 1)) {
        QTest::qWait(20);
        const uint32_t t0 = m->GetPlay(0)->GetCurSeconds();
        const uint32_t t1 = m->GetPlay(1)->GetCurSeconds();
        if (t0 != 0 && t1 != 0) {
            ++nBothTimed;
            nMaxApart = std::max(nMaxApart, std::abs(int(t0) - int(t1)));
        }
        bSawA1 |= m->GetPlayFile(0) == a1;
        bSawB1 |= m->GetPlayFile(1) == b1;
        if (m_pApp->earliestSyncWindow.load() >= 0)
            nEarliestSeen = m_pApp->earliestSyncWindow.load();
        // Hold window 0 for 2.5 s in its second recording: window 1 must wait
        // for it instead of running two seconds ahead.
        if (!bPaused && bSawA1 && t0 != 0 && m->GetPlayStatus(0) == 1) {
            m->PauseOrResume(0);
            bPaused = true;
            nPausedAt = t0;
            timer.restart();
        }
        if (bPaused && !bResumed && timer.elapsed() > 2500) {
            // Window 0 holds where it stopped, which may be a frame (a second
            // of play time) past the time read before the pause took effect;
            // window 1 may be up to a second past that (supervision runs
            // every half second).
            QVERIFY2(t0 >= nPausedAt && t1 <= t0 + 1,
                     qPrintable(QString("window 1 ran on to %1, window 0 held at %2 (paused at %3)")
                                    .arg(t1)
                                    .arg(t0)
                                    .arg(nPausedAt)));
            m->PauseOrResume(0);
            bResumed = true;
        }
    }
    QVERIFY(bSawA1);
    QVERIFY(bSawB1);
    QVERIFY(bPaused && bResumed);
    QVERIFY(nBothTimed > 20);
    QVERIFY2(nMaxApart <= 1, qPrintable(QString::number(nMaxApart)));
    QVERIFY(nEarliestSeen >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_stops[0].nCount.load(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(m_stops[1].nCount.load(), 1, 5000);
    QTest::qWait(200);
    QCOMPARE(m_stops[0].nCount.load(), 1);  // once, at the end of the queue
    QCOMPARE(m_stops[1].nCount.load(), 1);
    QVERIFY(!m->IsPlaying(0) && !m->IsPlaying(1));
    QVERIFY(!m->IsSync(0) && !m->IsSync(1));
    QVERIFY(m_pApp->takeNextSyncPath(0).isEmpty());
    QVERIFY(m_pApp->takeNextSyncPath(1).isEmpty());
}

// Three windows started a quarter of a second apart, the last one furthest
// behind: they come into step to the frame, not only to the second, and stay
// there (a channel a good part of a second ahead of another in the same
// second of day must wait for it, whichever window shows it).
void TestPlayManage::syncWindowsInStepWithinTheSecond()
{
    addWindows(3);
    CPlayManage* m = CPlayManage::instance();
    QStringList paths;
    for (int w = 0; w < 3; ++w) {
        paths << writeRecording(m_strRoot, w, 11, 0, 0, 8.0);
        QVERIFY(!paths.last().isEmpty());
    }
    m->StartTimer();
    const int nSyncTime = 11 * 3600;
    for (int w = 0; w < 3; ++w) {
        QVERIFY(m->SyncPlay(w, paths[w], nSyncTime, true));
        QTest::qWait(250);
    }
    QElapsedTimer timer;
    timer.start();
    int nWorst = 0, nSamples = 0;
    while (timer.elapsed() < 4500) {
        QTest::qWait(20);
        uint32_t ms[3];
        for (int w = 0; w < 3; ++w)
            ms[w] = m->GetPlay(w)->GetCurSyncMs();
        if (timer.elapsed() < 2000 || !ms[0] || !ms[1] || !ms[2])
            continue;  // coming into step
        ++nSamples;
        const auto mm = std::minmax({ms[0], ms[1], ms[2]});
        nWorst = std::max(nWorst, int(mm.second - mm.first));
    }
    QVERIFY(nSamples > 50);
    // Two frames of slack, the frame each is pushing and a poll of the wait.
    QVERIFY2(nWorst <= 200, qPrintable(QString("windows %1 ms apart").arg(nWorst)));
    for (int w = 0; w < 3; ++w)
        m->Stop(w);
}

void TestPlayManage::syncSeekMovesEveryWindow()
{
    addWindows(2);
    CPlayManage* m = CPlayManage::instance();
    const QString a = writeRecording(m_strRoot, 0, 12, 0, 0, 6.0);
    const QString b = writeRecording(m_strRoot, 1, 12, 0, 0, 6.0);
    m->StartTimer();
    QVERIFY(m->SyncPlay(0, a, 12 * 3600, true));
    QVERIFY(m->SyncPlay(1, b, 12 * 3600, true));
    QTRY_VERIFY_WITH_TIMEOUT(m->GetIndexState(0) == 1 && m->GetIndexState(1) == 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(m->GetPlay(0)->GetCurSeconds() == 12u * 3600u, 3000);

    // Window 0 to the middle: 12:00:03; window 1 follows by time of day.
    QVERIFY(m->SetPlayPos(0, 0.5f));
    QTRY_VERIFY_WITH_TIMEOUT(m->GetPlay(0)->GetCurSeconds() >= 12u * 3600u + 3u, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(m->GetPlay(1)->GetCurSeconds() >= 12u * 3600u + 3u, 2000);
    QVERIFY(m->GetPlay(0)->GetCurSeconds() <= 12u * 3600u + 4u);
    QVERIFY(m->GetPlay(1)->GetCurSeconds() <= 12u * 3600u + 4u);
    m->Stop(0);
    m->Stop(1);
    QCOMPARE(m_stops[0].nCount.load(), 1);
    QCOMPARE(m_stops[1].nCount.load(), 1);
}

void TestPlayManage::syncRestartWhileHoldingTheQueueLock()
{
    // The display box starts sync play with the queue's lock held. A channel
    // whose play thread is just then fetching its next queued recording must
    // still stop and start again instead of waiting for that lock for ever.
    addWindows(1);
    CPlayManage* m = CPlayManage::instance();
    const QString first = writeRecording(m_strRoot, 0, 13, 0, 0, 1.0);
    const QString queued = writeRecording(m_strRoot, 0, 13, 0, 1, 2.0);
    const QString other = writeRecording(m_strRoot, 0, 14, 0, 0, 2.0);
    {
        std::lock_guard<std::mutex> lock(m_pApp->syncQueueLock);
        m_pApp->syncQueue[0] = QStringList{queued};
    }
    QVERIFY(m->SyncPlay(0, first, 13 * 3600, true));
    QTRY_COMPARE_WITH_TIMEOUT(m->GetPlayStatus(0), 1, 3000);
    {
        std::lock_guard<std::mutex> lock(m_pApp->syncQueueLock);
        // Played out: the thread now wants the next path.
        QTRY_COMPARE_WITH_TIMEOUT(m->GetPlayStatus(0), 0, 5000);
        QCOMPARE(m_stops[0].nCount.load(), 0);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(m->SyncPlay(0, other, 14 * 3600, true));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    }
    QTRY_COMPARE_WITH_TIMEOUT(m->GetPlayFile(0), other, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(m->GetPlay(0)->GetCurSeconds() == 14u * 3600u, 3000);
    m->Stop(0);
}

QTEST_MAIN(TestPlayManage)
#include "tst_play_manage.moc"
#include "moc_SinkWidget.cpp"
