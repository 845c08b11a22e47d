// Sync Play from the Disk page's tree into the real display box, over a
// recorder image whose channels hold real H.264: every channel with a
// recording running at the selected start plays it from that second, also
// when it began seconds before the selected one.
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

#include "app/display/DisplayBox.h"
#include "app/play/PlayManage.h"
#include "app/records/DiskManagePage.h"
#include "app/shell/GlobalAppData.h"
#include "tests/support/image/image_builder.h"
#include "tests/support/media/TestStream.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"

#include <memory>

namespace {

const int kTen = 10 * 3600;

}  // namespace

class TestSyncPlay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void channelsRunningAtTheStartPlayFromIt();

private:
    QTemporaryDir m_dir;
    QString m_image;
};

void TestSyncPlay::initTestCase()
{
    QLoggingCategory::setFilterRules("orvelle.records.load.debug=false\ndefault.debug=false");
    wfs_log_set_route(WFS_LOG_SILENT);
    QVERIFY(m_dir.isValid());
    CGlobalAppData::setAppDir(m_dir.path());
    CGlobalAppData::instance()->recordFormat = 0;

    // Channel 1 (selected) 10:00:05-10:00:15; channel 2 began five seconds
    // earlier and runs through 10:00:05; channel 3 starts inside the
    // selected one; channel 4 ended before it.
    struct
    {
        uint8_t channel;
        int start;
        int seconds;
    } plans[] = {{0, 5, 10}, {1, 0, 15}, {2, 8, 7}, {3, 0, 4}};
    testimg::DiskPlan disk;
    disk.partitions[0].sec_per_clus = 64;
    testimg::ImageBuilder builder(disk);
    for (const auto& plan : plans) {
        testmedia::StreamParams p;
        p.width = 176;
        p.height = 144;
        p.fps = 10;
        p.seconds = plan.seconds;
        p.startTime = testimg::pack_time(2024, 5, 1, 10, 0, uint8_t(plan.start));
        const testmedia::Recording rec = testmedia::makeRecording(p);
        QVERIFY2(rec.error.empty(), rec.error.c_str());
        testimg::RecordingPlan r;
        r.channel = plan.channel;
        r.start_time = p.startTime;
        r.duration = uint32_t(plan.seconds);
        r.data = testimg::DataKind::Bytes;
        r.bytes = std::make_shared<const std::vector<uint8_t>>(rec.data);
        builder.add(r);
    }
    m_image = m_dir.path() + "/disk.img";
    std::string err;
    QVERIFY2(builder.build(m_image.toStdString(), nullptr, &err), err.c_str());
}

void TestSyncPlay::cleanupTestCase()
{
    CPlayManage::release();
    close_recorder_disks();
    clear_registered_drives();
}

void TestSyncPlay::channelsRunningAtTheStartPlayFromIt()
{
    close_recorder_disks();
    clear_registered_drives();
    set_images_only(true);
    QVERIFY(CDiskManagePage::AddDiskImage(m_image));

    CDisplayBox box;
    box.resize(800, 600);
    box.show();
    CDiskManagePage page;
    connect(&page, &CRecordPage::changeWndMode, &box, &CDisplayBox::onChangeWndMode);
    connect(&page, &CRecordPage::syncPlay, &box, &CDisplayBox::onSyncPlay);
    page.InitialLoad();
    QStandardItem* pDate = page.model()->item(0)->child(0)->child(0);
    QCOMPARE(pDate->rowCount(), 4);
    QStandardItem* pSelected = pDate->child(0)->child(0);
    QVERIFY(pSelected->text().startsWith("10.00.05-10.00.15"));

    page.setCurrentRecordIndex(pSelected->index());
    page.onSyncPlay();

    CPlayManage* pManage = CPlayManage::instance();
    QTRY_VERIFY_WITH_TIMEOUT(pManage->IsPlaying(0) && pManage->IsPlaying(1) && pManage->IsPlaying(2), 5000);
    QVERIFY(pManage->IsSync(1));
    QVERIFY(!pManage->IsPlaying(3));  // its recording ended before the start
    QVERIFY(pManage->GetPlayFile(1).contains("/001/10.00.00-10.00.15"));

    // The channel that began earlier shows pictures from the chosen second
    // on (its group of 10:00:05 or 10:00:06), not from 10:00:00.
    QTRY_VERIFY_WITH_TIMEOUT(pManage->GetPlay(1)->GetCurSeconds() != 0, 5000);
    const uint32_t nFirst = pManage->GetPlay(1)->GetCurSeconds();
    QVERIFY2(nFirst >= uint32_t(kTen + 5) && nFirst <= uint32_t(kTen + 6), qPrintable(QString::number(nFirst)));

    box.onControlBtnClicked(0);  // Stop ends the whole sync play
    QTRY_VERIFY(!pManage->IsPlaying(0) && !pManage->IsPlaying(1) && !pManage->IsPlaying(2));
}

QTEST_MAIN(TestSyncPlay)
#include "tst_sync_play.moc"
