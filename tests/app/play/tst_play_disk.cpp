// Play channels reading recordings of a recorder disk image through its own
// file system ("/mnt/ide..."): play to the end, index, clips, synchronous
// start inside a recording, and a storm of seeks and speed changes of which
// the last ones count.

#include "app/play/PlayManage.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "tests/app/play/PlayTestSupport.h"
#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <random>

using namespace playtest;

class TestPlayDisk : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void diskRecordingPlaysToItsEnd();
    void clipsOfADiskRecordingNeverOverwrite();
    void syncStartInsideADiskRecording();
    void lastOfManyInterleavedRequestsWins();

private:
    QString pathOfChannel(int nChannel) const;

    QTemporaryDir m_dir;
    testimg::Manifest m_manifest;
    testmedia::Recording m_rec[3];
    std::vector<CatalogueEntry> m_entries;
    std::unique_ptr<QWidget> m_pWidget;
    StopCounter m_stops;
};

void TestPlayDisk::initTestCase()
{
    QVERIFY(m_dir.isValid());
    wfs_log_set_route(WFS_LOG_SILENT);
    CGlobalAppData::setAppDir(m_dir.path());
    CGlobalAppData::instance();

    // Two channels recorded 10:00:00-10:00:06 with real H.264 data, a third
    // 10:00:00-10:00:20.
    testimg::DiskPlan disk;
    disk.partitions[0].sec_per_clus = 64;
    testimg::ImageBuilder builder(disk);
    for (int ch = 0; ch < 3; ++ch) {
        const int nSeconds = ch == 2 ? 20 : 6;
        testmedia::StreamParams p;
        p.width = 176;
        p.height = 144;
        p.fps = 25;
        p.seconds = nSeconds;
        p.audio = true;
        p.startTime = testimg::pack_time(2024, 5, 1, 10, 0, 0);
        m_rec[ch] = testmedia::makeRecording(p);
        QVERIFY2(m_rec[ch].error.empty(), m_rec[ch].error.c_str());
        testimg::RecordingPlan r;
        r.channel = uint8_t(ch);
        r.start_time = p.startTime;
        r.duration = uint32_t(nSeconds);
        r.data = testimg::DataKind::Bytes;
        r.bytes = std::make_shared<const std::vector<uint8_t>>(m_rec[ch].data);
        builder.add(r);
    }
    std::string err;
    const std::string image = (m_dir.path() + "/disk.img").toStdString();
    QVERIFY2(builder.build(image, &m_manifest, &err), err.c_str());

    CRecordCatalogue::UseImages({image});
    CRecordCatalogue catalogue;
    QVERIFY(catalogue.Load());
    m_entries = catalogue.Entries();
    QCOMPARE(m_entries.size(), size_t(3));
}

void TestPlayDisk::cleanupTestCase()
{
    CPlayManage::release();
    CGlobalAppData::release();
    close_recorder_disks();
    clear_registered_drives();
}

void TestPlayDisk::cleanup()
{
    CPlayManage::release();
    m_pWidget.reset();
    m_stops.nCount = 0;
}

QString TestPlayDisk::pathOfChannel(int nChannel) const
{
    for (const CatalogueEntry& e : m_entries)
        if (e.info.channel == nChannel)
            return QString::fromStdString(e.path);
    return QString();
}

void TestPlayDisk::diskRecordingPlaysToItsEnd()
{
    const QString strPath = pathOfChannel(0);
    QVERIFY(strPath.startsWith("/mnt/ide"));
    m_pWidget = std::make_unique<QWidget>();
    m_pWidget->resize(176, 144);
    m_pWidget->show();
    CPlay play(nullptr, quint64(m_pWidget->winId()), 0, &StopCounter::callback, &m_stops);
    QVERIFY(play.Play(strPath, false));
    QTRY_VERIFY_WITH_TIMEOUT(play.IsIndexReady(), 5000);
    // The index sees the stream, not the sector padding behind it.
    QCOMPARE(play.GetFrameCount(), uint32_t(m_rec[0].videoFrames));
    QCOMPARE(play.GetFirstTime(), m_rec[0].keyTimes.front());
    QCOMPARE(play.GetLastTime(), testimg::pack_time(2024, 5, 1, 10, 0, 6));
    QCOMPARE(play.GetDataLength(), int64_t(m_rec[0].data.size()));
    QTRY_VERIFY_WITH_TIMEOUT(play.GetPlayPos() > 100, 5000);
    QVERIFY(play.GetPlayPos() <= 1000);

    TVPlayStats stats{};
    QCOMPARE(TVPLAY_GetPlayStats(play.GetPort(), &stats), 0);
    QVERIFY(stats.nDecoded > 0);
    QCOMPARE(stats.nWidth, 176);

    QTRY_COMPARE_WITH_TIMEOUT(m_stops.nCount.load(), 1, 15000);
    QCOMPARE(play.GetPlayStatus(), 0);
    QVERIFY(play.GetPlayFile().isEmpty());
    QCOMPARE(m_stops.nOffGuiThread.load(), 0);
}

void TestPlayDisk::clipsOfADiskRecordingNeverOverwrite()
{
    const QString strPath = pathOfChannel(1);
    const QString strFolder = m_dir.path() + "/Clips";
    QVERIFY(QDir().mkpath(strFolder));
    m_pWidget = std::make_unique<QWidget>();
    m_pWidget->show();
    CPlay play(nullptr, quint64(m_pWidget->winId()), 1, &StopCounter::callback, &m_stops);
    QVERIFY(play.Play(strPath, false));
    QTRY_COMPARE_WITH_TIMEOUT(play.GetPlayStatus(), 1, 3000);

    for (int i = 0; i < 2; ++i) {
        QVERIFY(play.StartRecord(strFolder));
        QVERIFY(play.IsRecording());
        QTest::qWait(1300);  // past the next key frame
        QVERIFY(play.StopRecord());
        QVERIFY(!play.IsRecording());
    }
    play.Stop();

    const QString strName = strPath.mid(strPath.lastIndexOf('/') + 1);
    const QString strFirst = strFolder + "/001_20240501_" + strName;
    const QString strSecond = strFirst.left(strFirst.size() - 5) + "_1.h264";
    QVERIFY2(QFileInfo::exists(strFirst), qPrintable(strFirst));
    QVERIFY2(QFileInfo::exists(strSecond), qPrintable(strSecond));
    for (const QString& clip : {strFirst, strSecond}) {
        const std::vector<uint8_t> bytes = testmedia::readFile(clip.toStdString());
        QVERIFY(bytes.size() > 16);
        // A clip starts at a key frame of the recording.
        QCOMPARE(int(bytes[3]), 0xFC);
    }
}

void TestPlayDisk::syncStartInsideADiskRecording()
{
    m_pWidget = std::make_unique<QWidget>();
    m_pWidget->show();
    CPlayManage* m = CPlayManage::instance();
    QVERIFY(m->AddPlay(quint64(m_pWidget->winId()), 0, &StopCounter::callback, &m_stops));
    // Start at 10:00:03 of a recording running 10:00:00-10:00:06: half-way
    // through its data, inside the group of 10:00:02 or 10:00:03; the first
    // time of day shown is that of the next key frame.
    QVERIFY(m->SyncPlay(0, pathOfChannel(0), 10 * 3600 + 3, true));
    QTRY_VERIFY_WITH_TIMEOUT(m->GetPlay(0)->GetCurSeconds() != 0, 3000);
    const uint32_t nFirst = m->GetPlay(0)->GetCurSeconds();
    QVERIFY2(nFirst >= 10u * 3600u + 3u && nFirst <= 10u * 3600u + 4u, qPrintable(QString::number(nFirst)));
    m->Stop(0);
    QCOMPARE(m_stops.nCount.load(), 1);
}

void TestPlayDisk::lastOfManyInterleavedRequestsWins()
{
    m_pWidget = std::make_unique<QWidget>();
    m_pWidget->resize(176, 144);
    m_pWidget->show();
    // In synchronous play the channel reports the time of day of every video
    // frame it pushes: that shows where its seeks landed.
    CPlay play(nullptr, quint64(m_pWidget->winId()), 2, &StopCounter::callback, &m_stops);
    QVERIFY(play.Play(pathOfChannel(2), true));
    QTRY_VERIFY_WITH_TIMEOUT(play.IsIndexReady(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(play.GetCurSeconds() != 0, 3000);

    // 1,000 requests from the GUI thread: seeks by time and by ratio between
    // the two ends of the recording, and speed changes both ways, with the
    // play thread taking seeks (and opening new ports) in between.
    const int t0 = 10 * 3600;
    std::mt19937 rng(20240501);
    for (int i = 0; i < 1000; ++i) {
        switch (rng() % 4) {
        case 0:
            QVERIFY(play.SeekToTime(t0 + (rng() % 2 ? 2 : 16)));
            break;
        case 1:
            QVERIFY(play.SetPlayPos(rng() % 2 ? 0.1f : 0.8f) >= t0);
            break;
        case 2:
            play.Fast();
            break;
        default:
            play.Slow();
            break;
        }
        if (i % 16 == 0)
            QTest::qWait(1 + int(rng() % 3));
    }
    // The last ones asked: a quarter of normal speed, 10:00:08; the last seek
    // comes the moment the play thread has taken the one before it.
    QVERIFY(play.Normal());
    QVERIFY(play.Slow());
    QVERIFY(play.Slow());
    QVERIFY(play.SeekToTime(t0 + 16));
    QElapsedTimer taking;
    taking.start();
    while (play.GetSeeksTaken() != play.GetSeeksAsked() && taking.elapsed() < 5000)
        QThread::yieldCurrentThread();
    QVERIFY(play.SeekToTime(t0 + 8));

    QTRY_COMPARE_WITH_TIMEOUT(play.GetSeeksTaken(), play.GetSeeksAsked(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(play.GetCurSeconds(), uint32_t(t0 + 8), 5000);
    QCOMPARE(play.GetSpeed(), 3);
    QVERIFY(play.IsOpen());
    // At a quarter speed a second of the recording takes four: still in
    // 10:00:08 (at normal speed it would be past 10:00:10 by now).
    QTest::qWait(2500);
    QVERIFY2(play.GetCurSeconds() <= uint32_t(t0 + 9), qPrintable(QString::number(play.GetCurSeconds() - t0)));
    play.Stop();
    QCOMPARE(m_stops.nCount.load(), 1);
}

QTEST_MAIN(TestPlayDisk)
#include "tst_play_disk.moc"
