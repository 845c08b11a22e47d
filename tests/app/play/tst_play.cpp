// A play channel playing real H.264 recordings from local files into an
// offscreen widget.

#include "app/play/Play.h"
#include "tests/app/play/PlayTestSupport.h"
#include "tests/app/play/SinkWidget.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

using namespace playtest;

namespace {

// Ends the test program with a message when a step has not returned within
// its bound: a lock held across a wait would otherwise hang the test until
// the runner's timeout.
class Watchdog
{
public:
    Watchdog(int nSeconds, const char* szWhat)
        : m_thread([this, nSeconds, szWhat] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_cond.wait_for(lock, std::chrono::seconds(nSeconds), [this] { return m_bDone; })) {
                std::fprintf(stderr, "%s has not returned within %d s: deadlock\n", szWhat, nSeconds);
                std::abort();
            }
        })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bDone = true;
        }
        m_cond.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_bDone = false;
    std::thread m_thread;
};

} // namespace

class TestPlay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void playsToItsEndAndClosesOnce();
    void indexGivesFirstLastTimesAndFrameCount();
    void seeksByRatioAndByTimeToTheKeyFrame();
    void pauseSpeedAndFrameStepping();
    void stopAtSlowestSpeedIsPrompt();
    void missingOrUnreadableRecordingEndsCleanly();
    void seekWithoutIndexInSyncModeDoesNothing();
    void capturedPicturesNeverOverwrite();
    void otherFilesPlayThroughAFilePort();
    void closingWhileThePortReportsNeverHangs();

private:
    std::unique_ptr<CPlay> makeChannel(int nWnd = 0);

    QTemporaryDir m_dir;
    QString m_strRec;        // 10:00:00, 4 s
    QString m_strLongRec;    // 11:00:00, 6 s
    testmedia::Recording m_rec;
    std::unique_ptr<SinkWidget> m_pWidget;
    StopCounter m_stops;
};

void TestPlay::initTestCase()
{
    QVERIFY(m_dir.isValid());
    CGlobalAppData::setAppDir(m_dir.path());
    CGlobalAppData::instance();
    m_strRec = writeRecording(m_dir.path() + "/Record", 0, 10, 0, 0, 4.0, &m_rec);
    QVERIFY(!m_strRec.isEmpty());
    m_strLongRec = writeRecording(m_dir.path() + "/Record", 1, 11, 0, 0, 6.0);
    QVERIFY(!m_strLongRec.isEmpty());
}

void TestPlay::cleanupTestCase()
{
    CGlobalAppData::release();
}

void TestPlay::init()
{
    m_pWidget = std::make_unique<SinkWidget>();
    m_pWidget->show();
    m_stops.nCount = 0;
    m_stops.nOffGuiThread = 0;
}

void TestPlay::cleanup()
{
    m_pWidget.reset();
}

std::unique_ptr<CPlay> TestPlay::makeChannel(int nWnd)
{
    return std::make_unique<CPlay>(nullptr, m_pWidget->handle(), nWnd, &StopCounter::callback, &m_stops);
}

void TestPlay::playsToItsEndAndClosesOnce()
{
    auto play = makeChannel(3);
    QVERIFY(play->Play(m_strRec, false));
    QTRY_COMPARE_WITH_TIMEOUT(play->GetPlayStatus(), int(CPlay::StatusPlaying), 2000);
    QVERIFY(play->IsOpen());
    QCOMPARE(play->GetPlayFile(), m_strRec);
    QTRY_VERIFY_WITH_TIMEOUT(m_pWidget->pictures() > 10, 5000);

    QTRY_COMPARE_WITH_TIMEOUT(m_stops.nCount.load(), 1, 15000);
    QCOMPARE(play->GetPlayStatus(), int(CPlay::StatusClosed));
    QVERIFY(play->GetPlayFile().isEmpty());
    QCOMPARE(play->GetPort(), 0);
    QCOMPARE(m_stops.nLastWindow.load(), 3);
    QCOMPARE(m_stops.nOffGuiThread.load(), 0);
    // Most of the 100 pictures were shown.
    QVERIFY2(m_pWidget->pictures() >= 60, qPrintable(QString::number(m_pWidget->pictures())));
    QTest::qWait(300);
    QCOMPARE(m_stops.nCount.load(), 1);

    // The channel plays again after its end.
    QVERIFY(play->Play(m_strRec, false));
    QTRY_COMPARE_WITH_TIMEOUT(play->GetPlayStatus(), int(CPlay::StatusPlaying), 2000);
    play->Stop();
    QCOMPARE(m_stops.nCount.load(), 2);
}

void TestPlay::indexGivesFirstLastTimesAndFrameCount()
{
    auto play = makeChannel();
    QVERIFY(play->Play(m_strRec, false));
    QTRY_VERIFY_WITH_TIMEOUT(play->IsIndexReady(), 5000);
    QCOMPARE(play->GetFirstTime(), testmedia::packTime(2024, 5, 1, 10, 0, 0));
    QCOMPARE(play->GetLastTime(), testmedia::packTime(2024, 5, 1, 10, 0, 4));
    QCOMPARE(play->GetFrameCount(), uint32_t(m_rec.videoFrames));
    QCOMPARE(play->GetDataLength(), int64_t(m_rec.data.size()));
    const std::vector<IndexEntry> index = play->GetIndex();
    QCOMPARE(index.size(), size_t(m_rec.keyFrames) + 1);
    QCOMPARE(index[2].nTime, testmedia::packTime(2024, 5, 1, 10, 0, 2));
    play->Stop();
    QVERIFY(!play->IsIndexReady());
    QVERIFY(play->GetIndex().empty());
}

void TestPlay::seeksByRatioAndByTimeToTheKeyFrame()
{
    // In synchronous play the channel reports the time of day of each frame it
    // pushes, which shows where a seek landed.
    auto play = makeChannel();
    QVERIFY(play->Play(m_strLongRec, true));
    QTRY_VERIFY_WITH_TIMEOUT(play->IsIndexReady(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(play->GetCurSeconds(), 11u * 3600u, 2000);

    // Half of 150 frames is frame 75: the key frame of 11:00:03.
    QCOMPARE(play->SetPlayPos(0.5f), 11 * 3600 + 3);
    QTRY_VERIFY_WITH_TIMEOUT(play->GetCurSeconds() != 0 && play->GetCurSeconds() != 11u * 3600u, 2000);
    QCOMPARE(play->GetCurSeconds(), 11u * 3600u + 3u);
    int h = 0, m = 0, s = 0;
    play->GetPlayTime(h, m, s);
    QCOMPARE(h * 10000 + m * 100 + s, 110003);

    // Back to 11:00:01 by time of day; a time between key frames lands on
    // the one before it.
    QVERIFY(play->SeekToTime(11 * 3600 + 1));
    QTRY_VERIFY_WITH_TIMEOUT(play->GetCurSeconds() != 0 && play->GetCurSeconds() < 11u * 3600u + 3u, 2000);
    QCOMPARE(play->GetCurSeconds(), 11u * 3600u + 1u);
    QCOMPARE(play->SetPlayPos(0.3f), 11 * 3600 + 1);  // frame 45 lies in the 11:00:01 group
    play->Stop();
    QVERIFY(!play->SeekToTime(11 * 3600));  // no index once stopped
}

void TestPlay::pauseSpeedAndFrameStepping()
{
    auto play = makeChannel();
    QVERIFY(play->Play(m_strLongRec, false));
    QTRY_VERIFY_WITH_TIMEOUT(m_pWidget->pictures() > 3, 5000);

    QVERIFY(play->Pause(true));
    QCOMPARE(play->GetPlayStatus(), int(CPlay::StatusPaused));
    QTest::qWait(150);
    const int nPaused = m_pWidget->pictures();
    QTest::qWait(400);
    QCOMPARE(m_pWidget->pictures(), nPaused);
    QVERIFY(play->Pause(false));
    QCOMPARE(play->GetPlayStatus(), int(CPlay::StatusPlaying));
    QTRY_VERIFY_WITH_TIMEOUT(m_pWidget->pictures() > nPaused, 2000);

    // Fast: 6, 7, 8, 9 and back to 5; Slow: 4, 3, 2, 1 and back to 5.
    for (int nExpect : {6, 7, 8, 9, 5}) {
        QVERIFY(play->Fast());
        QCOMPARE(play->GetSpeed(), nExpect);
    }
    for (int nExpect : {4, 3, 2, 1, 5}) {
        QVERIFY(play->Slow());
        QCOMPARE(play->GetSpeed(), nExpect);
    }

    // Single frames: each step shows one more picture, then holds.
    QVERIFY(play->Fast());
    QVERIFY(play->NextFrame());
    QCOMPARE(play->GetSpeed(), int(CPlay::SpeedNormal));  // stepping starts at normal speed
    QCOMPARE(play->GetPlayStatus(), int(CPlay::StatusStepping));
    QTest::qWait(300);
    const int nStepped = m_pWidget->pictures();
    QVERIFY(play->NextFrame());
    QTRY_COMPARE_WITH_TIMEOUT(m_pWidget->pictures(), nStepped + 1, 2000);
    QTest::qWait(300);
    QCOMPARE(m_pWidget->pictures(), nStepped + 1);
    QVERIFY(play->PrevFrame());
    QCOMPARE(play->GetPlayStatus(), int(CPlay::StatusStepping));

    // Fast from stepping returns to normal play first.
    QVERIFY(play->Fast());
    QCOMPARE(play->GetPlayStatus(), int(CPlay::StatusPlaying));
    QCOMPARE(play->GetSpeed(), 6);
    QVERIFY(play->Normal());
    QCOMPARE(play->GetSpeed(), int(CPlay::SpeedNormal));
    play->Stop();
    QCOMPARE(play->GetSpeed(), int(CPlay::SpeedNormal));
    QCOMPARE(m_stops.nCount.load(), 1);
}

void TestPlay::stopAtSlowestSpeedIsPrompt()
{
    auto play = makeChannel();
    QVERIFY(play->Play(m_strLongRec, true));
    QTRY_COMPARE_WITH_TIMEOUT(play->GetPlayStatus(), int(CPlay::StatusPlaying), 2000);
    for (int i = 0; i < 4; ++i)
        QVERIFY(play->Slow());
    QCOMPARE(play->GetSpeed(), int(CPlay::SpeedMin));
    QTest::qWait(300);  // the play thread is inside a 640 ms frame delay now

    QElapsedTimer timer;
    timer.start();
    play->Stop();
    const qint64 nMs = timer.elapsed();
    qInfo("Stop at speed 1 took %lld ms", static_cast<long long>(nMs));
    QVERIFY2(nMs < 2000, qPrintable(QString("Stop took %1 ms").arg(nMs)));
    QCOMPARE(play->GetPlayStatus(), int(CPlay::StatusClosed));
    QCOMPARE(play->GetPort(), 0);
    QVERIFY(!play->IsSync());
    QCOMPARE(play->GetCurSeconds(), 0u);
    QCOMPARE(m_stops.nCount.load(), 1);
    QTest::qWait(200);  // the play thread's own notification is not delivered as well
    QCOMPARE(m_stops.nCount.load(), 1);
    QCOMPARE(m_stops.nOffGuiThread.load(), 0);
}

void TestPlay::missingOrUnreadableRecordingEndsCleanly()
{
    auto play = makeChannel();
    // Missing file.
    QVERIFY(play->Play(m_dir.path() + "/none/idea0/2024-05-01/000/10.00.00-10.00.04.h264", false));
    QTRY_COMPARE_WITH_TIMEOUT(m_stops.nCount.load(), 1, 5000);
    QCOMPARE(play->GetPlayStatus(), int(CPlay::StatusClosed));
    QVERIFY(!play->IsIndexReady());

    // A folder where the recording should be.
    const QString strDir = m_dir.path() + "/dir/idea0/2024-05-01/000/10.00.00-10.00.04.h264";
    QVERIFY(QDir().mkpath(strDir));
    QVERIFY(play->Play(strDir, false));
    QTRY_COMPARE_WITH_TIMEOUT(m_stops.nCount.load(), 2, 5000);

    // Too short to hold a recording, and garbage.
    const QString strShort = m_dir.path() + "/short/idea0/2024-05-01/000/10.00.00-10.00.04.h264";
    QDir().mkpath(QFileInfo(strShort).path());
    QVERIFY(testmedia::writeFile(strShort.toStdString(), std::vector<uint8_t>(600, 0xAB)));
    QVERIFY(play->Play(strShort, true));
    QTRY_COMPARE_WITH_TIMEOUT(m_stops.nCount.load(), 3, 5000);
    QVERIFY(!play->IsIndexReady());
    QCOMPARE(play->GetPlayStatus(), int(CPlay::StatusClosed));
    QCOMPARE(m_stops.nOffGuiThread.load(), 0);
}

void TestPlay::seekWithoutIndexInSyncModeDoesNothing()
{
    // Key frames without a frame rate: the data plays (40 ms per frame) but
    // gives no index.
    std::vector<uint8_t> data = m_rec.data;
    for (size_t i = 0; i + 16 <= data.size(); ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xFC)
            data[i + 5] = 0;
    const QString strPath = m_dir.path() + "/norate/idea0/2024-05-01/000/10.00.00-10.00.04.h264";
    QDir().mkpath(QFileInfo(strPath).path());
    QVERIFY(testmedia::writeFile(strPath.toStdString(), data));

    auto play = makeChannel();
    QVERIFY(play->Play(strPath, true));
    QTRY_COMPARE_WITH_TIMEOUT(play->GetCurSeconds(), 10u * 3600u, 3000);
    QTest::qWait(200);  // the index run has ended without an index
    QVERIFY(!play->IsIndexReady());
    QCOMPARE(play->SetPlayPos(0.9f), -1);
    QTest::qWait(300);
    QCOMPARE(play->GetCurSeconds(), 10u * 3600u);  // still in the first second
    QVERIFY(!play->SeekToTime(10 * 3600 + 3));
    play->Stop();
}

void TestPlay::capturedPicturesNeverOverwrite()
{
    const QString strFolder = m_dir.path() + "/Picture";
    QVERIFY(QDir().mkpath(strFolder));
    auto play = makeChannel();
    QVERIFY(play->Play(m_strLongRec, false));
    QTRY_VERIFY_WITH_TIMEOUT(m_pWidget->pictures() > 3, 5000);
    QVERIFY(play->Pause(true));
    QTest::qWait(100);

    QVERIFY(play->CatchPicture(strFolder));
    QVERIFY(play->CatchPicture(strFolder));
    const QStringList files = QDir(strFolder).entryList({"*.jpg"}, QDir::Files, QDir::Name);
    QCOMPARE(files.size(), 2);
    // Named after the recording's play time (2024-05-01 11:00:0x), not the clock.
    QVERIFY2(files[0].startsWith("20240501_11000"), qPrintable(files[0]));
    QCOMPARE(files[1], files[0].left(files[0].size() - 4) + "_1.jpg");
    for (const QString& name : files) {
        QImage image(strFolder + "/" + name);
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), QSize(176, 144));
    }

    // Clips can only be recorded from a recorder disk.
    QVERIFY(!play->StartRecord(m_dir.path() + "/Clips"));
    QVERIFY(!play->IsRecording());

    // Sound: the flag says it was asked for, also where no audio device
    // opens (the result says whether one did).
    play->OpenSound();
    QVERIFY(play->IsSoundOn());
    QVERIFY(play->CloseSound());
    QVERIFY(!play->IsSoundOn());

    // Display region on and off.
    QVERIFY(play->SetDisplayRegion(QPoint(0, 0), QPoint(4096, 4096), 0, 0, true));
    QVERIFY(play->IsRegionOn());
    QVERIFY(play->SetDisplayRegion(QPoint(0, 0), QPoint(8192, 8192), 0, 0, false));
    QVERIFY(!play->IsRegionOn());
    play->Stop();
}

void TestPlay::otherFilesPlayThroughAFilePort()
{
    const QString strPath = m_dir.path() + "/plain.h264";
    QVERIFY(QFile::copy(m_strRec, strPath));
    auto play = makeChannel();
    QVERIFY(play->Play(strPath, false));
    QTRY_COMPARE_WITH_TIMEOUT(play->GetPlayStatus(), int(CPlay::StatusPlaying), 3000);
    QVERIFY(play->GetPort() > 0);
    QTRY_VERIFY_WITH_TIMEOUT(play->GetPlayPos() > 0, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(m_stops.nCount.load(), 1, 15000);
    QCOMPARE(play->GetPlayStatus(), int(CPlay::StatusClosed));
    QCOMPARE(play->GetPort(), 0);
    QVERIFY(m_pWidget->pictures() > 10);
    QCOMPARE(m_stops.nOffGuiThread.load(), 0);
}

void TestPlay::closingWhileThePortReportsNeverHangs()
{
    // The port's thread reports every picture to the channel, and the
    // channel takes its state lock to keep the play times. Closing the port
    // joins that thread: the channel must not hold the lock meanwhile. Stop
    // lands at random moments of the play, some of them inside a seek (a new
    // port), and the last plays a file port to its end.
    // At the highest speed the port reports a new second every few dozen
    // milliseconds; each Stop comes right after a report.
    std::mt19937 rng(4242);
    auto play = makeChannel(5);
    const int nRounds = 40;
    for (int i = 0; i < nRounds; ++i) {
        QVERIFY(play->Play(m_strLongRec, false));
        QTRY_VERIFY_WITH_TIMEOUT(play->GetCurTime() > 0, 5000);
        for (int s = CPlay::SpeedNormal; s < CPlay::SpeedMax; ++s)
            QVERIFY(play->Fast());
        if (i % 3 == 0)
            play->SetPlayPos(0.3f);
        const int64_t nSeen = play->GetCurTime();
        QElapsedTimer waiting;
        waiting.start();
        while (play->GetCurTime() == nSeen && waiting.elapsed() < 2000)
            QThread::usleep(200);
        QThread::usleep(unsigned(rng() % 40000));
        Watchdog watchdog(60, "CPlay::Stop");
        play->Stop();
        QCOMPARE(play->GetPort(), 0);
    }
    QCOMPARE(m_stops.nCount.load(), nRounds);

    // A channel destroyed while it plays.
    {
        auto other = makeChannel(6);
        QVERIFY(other->Play(m_strLongRec, false));
        QTRY_VERIFY_WITH_TIMEOUT(other->GetCurTime() > 0, 5000);
        Watchdog watchdog(60, "~CPlay");
        other.reset();
    }

    const QString strPath = m_dir.path() + "/plain-end.h264";
    QVERIFY(QFile::copy(m_strRec, strPath));
    {
        Watchdog watchdog(60, "a file port playing to its end");
        QVERIFY(play->Play(strPath, false));
        QTRY_COMPARE_WITH_TIMEOUT(m_stops.nCount.load(), nRounds + 1, 15000);
    }
    QCOMPARE(play->GetPort(), 0);
    QCOMPARE(m_stops.nOffGuiThread.load(), 0);
}

QTEST_MAIN(TestPlay)
#include "tst_play.moc"
#include "moc_SinkWidget.cpp"

