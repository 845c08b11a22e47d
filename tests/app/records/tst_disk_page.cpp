// The Disk page over recorder disk images made by the test image builder:
// the tree's levels, roles, texts and order, what the filters leave out,
// paging through a crowded day on the loading thread, the context menu of
// each level, synchronous play queues, the disk information, the calendar,
// routing through the record list, and reloads when the drive count changes.
#include <cstdlib>

#include <QApplication>
#include <QLoggingCategory>
#include <QTimer>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QLabel>
#include <QPushButton>

#include "app/export/ExportFileDlg.h"
#include "app/fs/CFSFile.h"
#include "app/shell/MessageBox.h"
#include "app/records/Calendar.h"
#include "app/records/CalendarDateWidget.h"
#include "app/records/CalendarWidget.h"
#include "app/records/DirManagePage.h"
#include "app/records/DiskManagePage.h"
#include "app/records/MyTreeView.h"
#include "app/records/RecordListManage.h"
#include "app/records/RecordTreeRoles.h"
#include "app/shell/GlobalAppData.h"
#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"

using testimg::pack_time;

namespace {

testimg::RecordingPlan rec(uint8_t ch, uint32_t start, uint32_t dur)
{
    testimg::RecordingPlan r;
    r.channel = ch;
    r.start_time = start;
    r.duration = dur;
    r.synthetic.frame_rate = 1;
    r.synthetic.audio_per_second = 0;
    return r;
}

QStringList childTexts(QStandardItem* pItem)
{
    QStringList out;
    for (int i = 0; i < pItem->rowCount(); ++i)
        out << pItem->child(i)->text();
    return out;
}

QStringList menuOf(CRecordPage* pPage, QStandardItem* pItem, QList<int>* pCodes = nullptr)
{
    QStringList texts;
    QMenu* pMenu = pPage->buildContextMenu(pItem ? pItem->index() : QModelIndex());
    if (!pMenu)
        return texts;
    for (QAction* a : pMenu->actions()) {
        texts << a->text();
        if (pCodes)
            *pCodes << a->data().toInt();
    }
    delete pMenu;
    return texts;
}

int countRecordings(QStandardItem* pItem)
{
    if (pItem->data(LevelRole).toInt() == RecordLevel)
        return 1;
    int n = 0;
    for (int i = 0; i < pItem->rowCount(); ++i)
        n += countRecordings(pItem->child(i));
    return n;
}

}  // namespace

class TestDiskPage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_imageA;   // one partition, mixed channels and dates
    QString m_imageB;   // recording and picture partitions
    testimg::Manifest m_manifestA;
    testimg::Manifest m_manifestB;

    void useImages(const QStringList& images)
    {
        close_recorder_disks();
        clear_registered_drives();
        set_images_only(true);
        for (const QString& image : images)
            QVERIFY(CDiskManagePage::AddDiskImage(image));
    }

    QString build(const QString& name, testimg::ImageBuilder& b, testimg::Manifest* pManifest)
    {
        const QString path = m_dir.path() + "/" + name;
        std::string err;
        if (!b.build(path.toStdString(), pManifest, &err))
            qWarning() << "image build failed:" << err.c_str();
        return path;
    }

private slots:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules("orvelle.records.load.debug=false\ndefault.debug=false");
        wfs_log_set_route(WFS_LOG_SILENT);
        QVERIFY(m_dir.isValid());
        CGlobalAppData::setAppDir(m_dir.path());
        CGlobalAppData::instance()->recordFormat = 0;

        testimg::DiskPlan disk;
        disk.partitions[0].sec_per_clus = 64;
        testimg::ImageBuilder a(disk);
        a.add(rec(0, pack_time(2024, 5, 1, 8, 0, 0), 3600));    // ch 1, May 1, 08:00-09:00
        a.add(rec(0, pack_time(2024, 5, 1, 9, 30, 0), 600));    // ch 1, May 1
        a.add(rec(1, pack_time(2024, 5, 1, 8, 30, 0), 1200));   // ch 2, starts inside 08:00-09:00
        a.add(rec(1, pack_time(2024, 5, 1, 9, 0, 0), 300));     // ch 2, starts later, ends at 09:05
        a.add(rec(1, pack_time(2024, 5, 1, 7, 0, 0), 600));     // ch 2, before the range
        a.add(rec(2, pack_time(2024, 5, 1, 7, 50, 0), 1200));   // ch 3, runs through 08:00
        a.add(rec(2, pack_time(2024, 5, 1, 8, 40, 0), 120));    // ch 3, inside, ends 08:42
        a.add(rec(2, pack_time(2024, 5, 1, 8, 50, 0), 120));    // ch 3, after the first, ends before 09:00
        a.add(rec(2, pack_time(2024, 5, 1, 9, 10, 0), 120));    // ch 3, ends after 09:00
        a.add(rec(5, pack_time(2024, 5, 1, 8, 10, 0), 60));     // ch 6
        a.add(rec(0, pack_time(2024, 5, 2, 10, 0, 0), 60));     // ch 1, May 2
        a.add(rec(1, pack_time(2024, 4, 30, 10, 0, 0), 60));    // ch 2 only, Apr 30
        a.add(rec(0, pack_time(2024, 5, 3, 23, 30, 0), 3600));  // ch 1, passes midnight
        a.add(rec(1, pack_time(2024, 5, 3, 23, 40, 0), 600));   // ch 2, inside the midnight range
        a.add(rec(1, pack_time(2024, 5, 3, 23, 55, 0), 1500));  // ch 2, ends before 00:30
        auto other = rec(0, pack_time(2024, 5, 1, 12, 0, 0), 60);
        other.stream_type = 1;
        a.add(other);                                           // another stream type: left out
        auto audio = rec(0, pack_time(2024, 5, 1, 12, 5, 0), 60);
        audio.av = 1;
        a.add(audio);                                           // not a video recording: left out
        a.add(rec(0, pack_time(2024, 5, 1, 12, 10, 0), 1));     // too short: left out
        m_imageA = build("a.img", a, &m_manifestA);

        testimg::DiskPlan two;
        two.partitions.resize(2);
        for (auto& p : two.partitions)
            p.sec_per_clus = 64;
        two.partitions[1].driver_type = testimg::kDriverPicture;
        testimg::ImageBuilder b(two);
        b.add(rec(3, pack_time(2024, 6, 1, 10, 0, 0), 60));
        auto pic = rec(0, pack_time(2024, 6, 1, 10, 0, 0), 1);
        pic.picture = true;
        pic.partition = 1;
        b.add(pic);
        m_imageB = build("b.img", b, &m_manifestB);
    }

    void cleanupTestCase()
    {
        close_recorder_disks();
        clear_registered_drives();
    }

    void treeLevelsRolesTextsAndOrder()
    {
        useImages({m_imageA, m_imageB});
        CDiskManagePage page;
        page.InitialLoad();
        QVERIFY(page.isLoaded());
        QVERIFY(page.isEnabled());
        QCOMPARE(page.diskCount(), 2);
        QStandardItemModel* m = page.model();
        QCOMPARE(m->rowCount(), 2);

        QStandardItem* d0 = m->item(0);
        QCOMPARE(d0->text(), QString("PhysicalDrive0"));
        QCOMPARE(d0->data(LevelRole).toInt(), 0);
        QCOMPARE(d0->data(KeyRole).toInt(), 0);
        QCOMPARE(m->item(1)->text(), QString("PhysicalDrive1"));
        QCOMPARE(childTexts(d0), QStringList{"idea0"});
        QCOMPARE(childTexts(m->item(1)), QStringList{"ideb0"});

        QStandardItem* p0 = d0->child(0);
        QCOMPARE(p0->data(LevelRole).toInt(), 1);
        QCOMPARE(p0->data(KeyRole).toInt(), 0);
        QCOMPARE(p0->data(DiskRole).toInt(), 0);
        // Nodes follow key order (channel before date): April 30, on
        // channel 2 only, comes after channel 1's dates.
        QCOMPARE(childTexts(p0), (QStringList{"2024-05-01", "2024-05-02", "2024-05-03", "2024-04-30"}));

        QStandardItem* may1 = p0->child(0);
        QCOMPARE(may1->data(LevelRole).toInt(), 2);
        QCOMPARE(may1->data(KeyRole).toString(), QString("2024-05-01"));
        QCOMPARE(may1->data(DateRole).toDate(), QDate(2024, 5, 1));
        QCOMPARE(may1->data(PartRole).toInt(), 0);
        QCOMPARE(childTexts(may1), (QStringList{"001", "002", "003", "006"}));
        QStandardItem* ch1 = may1->child(0);
        QCOMPARE(ch1->data(LevelRole).toInt(), 3);
        QCOMPARE(ch1->data(KeyRole).toInt(), 0);
        QCOMPARE(ch1->data(DateRole).toDate(), QDate(2024, 5, 1));

        // Channel 1 on May 1: the two video recordings of stream type 0
        // that last long enough, in time order.
        QCOMPARE(ch1->rowCount(), 2);
        QStandardItem* r = ch1->child(0);
        QVERIFY(r->text().startsWith("08.00.00-09.00.00[R][@"));
        QVERIFY(r->text().endsWith("][0].h264"));
        QCOMPARE(r->toolTip(), r->text());
        QCOMPARE(r->data(LevelRole).toInt(), 4);
        QCOMPARE(r->data(KeyRole).toString(), r->text());
        QCOMPARE(r->data(ChannelRole).toInt(), 0);
        QCOMPARE(r->data(DateRole).toDate(), QDate(2024, 5, 1));
        QVERIFY(ch1->child(1)->text().startsWith("09.30.00-09.40.00"));
        QCOMPARE(countRecordings(d0), 15);

        // The path opens the same recording through the file layer.
        const QString path = page.recordingPath(r->index());
        QCOMPARE(path, "/mnt/idea0/2024-05-01/000/" + r->text());
        CFSFile f;
        QVERIFY(f.Open(path.toLocal8Bit().constData(), CFSFile::modeRead));
        QVERIFY(f.GetLength() > 0);
        f.Close();

        // The second disk lists its recording partition only.
        QCOMPARE(countRecordings(m->item(1)), 1);
        QCOMPARE(page.recordingPath(m->item(1)->child(0)->child(0)->child(0)->child(0)->index()).left(35),
                 QString("/mnt/ideb0/2024-06-01/003/10.00.00-"));

        // The latest date becomes the current date; the calendar marks
        // exactly the recording days of the month it shows.
        QCOMPARE(CGlobalAppData::instance()->currentDate, QDate(2024, 6, 1));
        CGlobalAppData::instance()->setCurrentDate(QDate(2024, 5, 2));
        CDateWidget* days = page.calendar()->calendarWidget()->dateWidget();
        QList<int> marked;
        for (int i = 0; i < CDateWidget::kCells; ++i)
            if (days->isMarked(i))
                marked << days->cellDate(i).day();
        QCOMPARE(marked, (QList<int>{1, 2, 3}));
    }

    void contextMenuPerLevel()
    {
        useImages({m_imageA});
        CDiskManagePage page;
        page.InitialLoad();
        QStandardItem* d0 = page.model()->item(0);
        QStandardItem* p0 = d0->child(0);
        QStandardItem* date = p0->child(0);
        QStandardItem* ch = date->child(0);
        QStandardItem* r = ch->child(0);
        QList<int> codes;
        QCOMPARE(menuOf(&page, d0, &codes), QStringList{"Disk Info"});
        QCOMPARE(codes, QList<int>{0});
        QVERIFY(menuOf(&page, p0).isEmpty());
        QCOMPARE(menuOf(&page, date), QStringList{"Export"});
        QCOMPARE(menuOf(&page, ch), QStringList{"Export"});
        codes.clear();
        QCOMPARE(menuOf(&page, r, &codes), (QStringList{"Play", "Export", "Cut", "Sync Play"}));
        QCOMPARE(codes, (QList<int>{3, 1, 2, 4}));

        // Play from the menu and from the display box's Play plays the
        // clicked recording.
        QSignalSpy play(&page, &CDiskManagePage::playRecord);
        QSignalSpy select(&page, &CDiskManagePage::selectVideoWnd);
        page.onRecordTreeClicked(r->index());
        QCOMPARE(select.count(), 1);
        QCOMPARE(select.at(0).at(0).toString(), page.recordingPath(r->index()));
        page.onPlayRecordResponse();
        QAction action("Play");
        action.setData(3);
        page.onCommand(&action);
        QCOMPARE(play.count(), 2);
        QCOMPARE(play.at(1).at(0).toString(), page.recordingPath(r->index()));
        QCOMPARE(play.at(1).at(1).toBool(), false);
        // A double click on anything but a recording plays nothing.
        page.onRecordTreeDoubleClicked(ch->index());
        QCOMPARE(play.count(), 2);
    }

    void syncPlayQueuesPerChannel()
    {
        useImages({m_imageA});
        CDiskManagePage page;
        page.InitialLoad();
        CGlobalAppData* app = CGlobalAppData::instance();
        QStandardItem* may1 = page.model()->item(0)->child(0)->child(0);
        QStandardItem* selected = may1->child(0)->child(0);  // channel 1, 08:00-09:00
        app->syncQueue[9] << "stale";
        QSignalSpy mode(&page, &CDiskManagePage::changeWndMode);
        QSignalSpy sync(&page, &CDiskManagePage::syncPlay);
        page.setCurrentRecordIndex(selected->index());
        page.onSyncPlay();

        QCOMPARE(mode.count(), 1);
        QCOMPARE(mode.at(0).at(0).toInt(), 6);  // highest channel 5, window index = channel
        QCOMPARE(sync.count(), 1);
        QCOMPARE(sync.at(0).at(0).toInt(), 8 * 3600);

        auto names = [&](int window) {
            QStringList out;
            for (const QString& p : app->syncQueue.value(window))
                out << p.section('/', -1).left(17);
            return out;
        };
        QCOMPARE(app->syncQueue.keys(), (QList<int>{0, 1, 2, 5}));
        QCOMPARE(names(0), (QStringList{"08.00.00-09.00.00", "09.30.00-09.40.00"}));
        QCOMPARE(names(1), (QStringList{"08.30.00-08.50.00", "09.00.00-09.05.00"}));
        // Channel 3's recording from 07:50 runs through 08:00: it comes first
        // (positioned at 08:00 when played), then the later ones that end
        // at or after 09:00.
        QCOMPARE(names(2), (QStringList{"07.50.00-08.10.00", "09.10.00-09.12.00"}));
        QCOMPARE(names(5), QStringList{"08.10.00-08.11.00"});
        QVERIFY(app->syncQueue.value(1).first().startsWith("/mnt/idea0/2024-05-01/001/"));

        // A recording that passes midnight ends on the next day.
        QStandardItem* may3 = page.model()->item(0)->child(0)->child(2);
        QStandardItem* late = may3->child(0)->child(0);
        QVERIFY(late->text().startsWith("23.30.00-00.30.00"));
        page.setCurrentRecordIndex(late->index());
        page.onSyncPlay();
        QCOMPARE(sync.last().at(0).toInt(), 23 * 3600 + 30 * 60);
        QCOMPARE(names(0), QStringList{"23.30.00-00.30.00"});
        QCOMPARE(names(1), QStringList{"23.40.00-23.50.00"});
        app->clearSyncQueue(-1);
    }

    void partitionsWithoutRecordingsOfTheStreamShowANote()
    {
        // Two recording partitions: main-stream recordings on the first,
        // sub-stream ones on the second.
        testimg::DiskPlan plan;
        plan.partitions.resize(2);
        for (auto& p : plan.partitions)
            p.sec_per_clus = 64;
        testimg::ImageBuilder b(plan);
        b.add(rec(0, pack_time(2024, 7, 1, 10, 0, 0), 60));
        auto sub = rec(1, pack_time(2024, 7, 1, 11, 0, 0), 60);
        sub.stream_type = 1;
        sub.partition = 1;
        b.add(sub);
        testimg::Manifest m;
        const QString split = build("split.img", b, &m);
        const QString note = "no recordings of the chosen stream";

        CGlobalAppData* app = CGlobalAppData::instance();
        struct Case
        {
            int format;
            QStringList disk0;  // what each partition of the first disk holds
            QStringList disk1;
        };
        // The second disk (image A) holds one sub-stream recording and no
        // timelapse ones.
        const QList<Case> cases = {{0, {"2024-07-01", note}, {"2024-05-01", "2024-05-02", "2024-05-03", "2024-04-30"}},
                                   {1, {note, "2024-07-01"}, {"2024-05-01"}},
                                   {5, {note, note}, {note}}};
        for (const Case& c : cases) {
            app->recordFormat = c.format;
            useImages({split, m_imageA});
            CDiskManagePage page;
            page.InitialLoad();
            QVERIFY(page.isLoaded());
            QStandardItemModel* model = page.model();
            // Both disks, in their order, with every partition read.
            QCOMPARE(model->rowCount(), 2);
            QCOMPARE(model->item(0)->text(), QString("PhysicalDrive0"));
            QCOMPARE(model->item(1)->text(), QString("PhysicalDrive1"));
            QCOMPARE(childTexts(model->item(0)), (QStringList{"idea0", "idea1"}));
            QCOMPARE(childTexts(model->item(1)), QStringList{"ideb0"});
            const QList<QPair<QStandardItem*, QStringList>> parts = {
                {model->item(0)->child(0), QStringList{c.disk0.at(0)}},
                {model->item(0)->child(1), QStringList{c.disk0.at(1)}},
                {model->item(1)->child(0), c.disk1}};
            for (const auto& part : parts) {
                QCOMPARE(childTexts(part.first), part.second);
                if (part.second != QStringList{note})
                    continue;
                // The note is no tree level: not selectable, no menu, nothing to export.
                QStandardItem* pNote = part.first->child(0);
                QCOMPARE(pNote->data(LevelRole).toInt(), int(NoteLevel));
                QVERIFY(!(pNote->flags() & Qt::ItemIsSelectable));
                QCOMPARE(pNote->toolTip(), note);
                QVERIFY(menuOf(&page, pNote).isEmpty());
                QVERIFY(page.treeView()->isExpanded(part.first->index()));
                QCOMPARE(countRecordings(part.first), 0);
            }
            // The disk node still answers Disk Info.
            QCOMPARE(menuOf(&page, model->item(0)), QStringList{"Disk Info"});
        }
        app->recordFormat = 0;
    }

    void diskInformation()
    {
        useImages({m_imageB});
        CDiskManagePage page;
        page.InitialLoad();
        const testimg::ManifestPartition* rp = m_manifestB.partition(0);
        const testimg::ManifestPartition* pp = m_manifestB.partition(1);
        QVERIFY(rp && pp);
        const QString expected =
            QString("Total Space:%1 MB,Remain Space:%2 MB\r\nPicture Total Space:%3 MB,Remain Space:%4 MB\r\n"
                    "Record Total Space:%5 MB,Remain Space:%6 MB")
                .arg(rp->total_mib + pp->total_mib)
                .arg(rp->free_mib + pp->free_mib)
                .arg(pp->total_mib)
                .arg(pp->free_mib)
                .arg(rp->total_mib)
                .arg(rp->free_mib);
        QCOMPARE(page.diskInfoText(0), expected);
    }

    void crowdedDayOnTheLoadingThread()
    {
        testimg::DiskPlan disk;
        testimg::ImageBuilder b(disk);
        const int kCount = 12100;  // more than one page of the recording list
        testimg::RecordingPlan r = rec(0, 0, 3);
        r.synthetic.key_payload = 1000;
        for (int i = 0; i < kCount; ++i) {
            const int s = 3600 + i * 4;
            r.start_time = pack_time(2024, 5, 1, s / 3600, s / 60 % 60, s % 60);
            b.add(r);
        }
        testimg::Manifest m;
        const QString crowded = build("crowded.img", b, &m);

        useImages({});
        CDiskManagePage page;
        page.InitialLoad();
        QCOMPARE(page.model()->rowCount(), 0);
        QVERIFY(page.isLoaded());

        QVERIFY(CDiskManagePage::AddDiskImage(crowded));
        QSignalSpy enabled(&page, &CDiskManagePage::enabledControl);
        QSignalSpy changed(&page, &CDiskManagePage::diskChanged);
        QVERIFY(page.CheckDriveCount());
        QCOMPARE(changed.count(), 1);
        QVERIFY(!page.isEnabled());
        QVERIFY(!page.CheckDriveCount());  // a load runs: no second one
        QTRY_VERIFY_WITH_TIMEOUT(page.isLoaded(), 120000);
        QVERIFY(page.isEnabled());
        QVERIFY(page.loadingLabel()->isHidden());
        QStandardItem* channel = page.model()->item(0)->child(0)->child(0)->child(0);
        QCOMPARE(channel->rowCount(), kCount);
        QVERIFY(channel->child(kCount - 1)->text().startsWith("14.26.36-14.26.39"));
        QCOMPARE(enabled.first().at(0).toBool(), false);
        QCOMPARE(enabled.last().at(0).toBool(), true);
    }

    void reloadOnChangedDriveCount()
    {
        CGlobalAppData* app = CGlobalAppData::instance();
        useImages({m_imageA, m_imageB});
        CDiskManagePage page;
        page.InitialLoad();
        QCOMPARE(page.model()->rowCount(), 2);
        QVERIFY(app->hasRecordDate(CGlobalAppData::DiskDates, QDate(2024, 6, 1)));
        QVERIFY(!page.CheckDriveCount());

        // One disk goes: the count changes and the tree, the drives and the
        // calendar's days follow.
        // A reload takes the old tree away at once: the recording clicked
        // before can no longer be played while the disks are read.
        page.onRecordTreeClicked(page.model()->item(1)->child(0)->child(0)->child(0)->child(0)->index());
        QSignalSpy play(&page, &CDiskManagePage::playRecord);
        useImages({m_imageA});
        QVERIFY(page.CheckDriveCount());
        QCOMPARE(page.model()->rowCount(), 0);
        QVERIFY(!page.isLoaded());
        page.onPlayRecordResponse();
        QCOMPARE(play.count(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(page.isLoaded() && !page.isLoading(), 30000);
        QCOMPARE(page.model()->rowCount(), 1);
        QCOMPARE(page.diskCount(), 1);
        QVERIFY(!app->hasRecordDate(CGlobalAppData::DiskDates, QDate(2024, 6, 1)));
        QVERIFY(app->hasRecordDate(CGlobalAppData::DiskDates, QDate(2024, 4, 30)));
        QVERIFY(!page.CheckDriveCount());

        // An image added from the page reloads at once.
        QVERIFY(page.LoadDiskImage(m_imageB));
        QTRY_VERIFY_WITH_TIMEOUT(page.isLoaded() && !page.isLoading(), 30000);
        QCOMPARE(page.model()->rowCount(), 2);
        QVERIFY(!CDiskManagePage::AddDiskImage(m_dir.path() + "/missing.img"));
        QVERIFY(!CDiskManagePage::AddDiskImage(m_dir.path()));
        // Stopping leaves no load behind and starts none.
        page.StopLoad();
        useImages({m_imageA});
        QVERIFY(!page.CheckDriveCount());
    }

    void reloadWaitsForAnOpenExport()
    {
        CGlobalAppData* app = CGlobalAppData::instance();
        useImages({m_imageA});
        CDiskManagePage page;
        page.InitialLoad();
        useImages({m_imageA, m_imageB});
        QStandardItem* may1 = page.model()->item(0)->child(0)->child(0);

        // The export of a date queues every recording of it and the reload
        // waits until the dialog has closed.
        bool bSawDialog = false;
        bool bReloaded = true;
        QStringList queued;
        QTimer::singleShot(100, [&]() {
            auto* pDlg = qobject_cast<CExportFileDlg*>(QApplication::activeModalWidget());
            bSawDialog = pDlg != nullptr;
            queued = app->exportQueue;
            bReloaded = page.CheckDriveCount();
            if (pDlg)
                pDlg->on_btnCancel_clicked();
        });
        page.setCurrentRecordIndex(may1->index());
        QAction exportAction("Export");
        exportAction.setData(1);
        page.onCommand(&exportAction);
        QVERIFY(bSawDialog);
        QVERIFY(!bReloaded);
        QCOMPARE(queued.size(), 10);
        QVERIFY(queued.first().startsWith("/mnt/idea0/2024-05-01/000/08.00.00-09.00.00"));
        QVERIFY(queued.last().startsWith("/mnt/idea0/2024-05-01/005/08.10.00"));
        QVERIFY(app->exportQueue.isEmpty());

        QVERIFY(page.CheckDriveCount());
        QTRY_VERIFY_WITH_TIMEOUT(page.isLoaded() && !page.isLoading(), 30000);
        QCOMPARE(page.model()->rowCount(), 2);
    }

    void diskInformationBox()
    {
        useImages({m_imageA});
        CDiskManagePage page;
        page.InitialLoad();
        QString shown;
        QStringList buttons;
        QTimer::singleShot(100, [&]() {
            auto* pBox = qobject_cast<CMessageBox*>(QApplication::activeModalWidget());
            if (!pBox)
                return;
            shown = pBox->text();
            for (QPushButton* b : pBox->buttons())
                buttons << b->text();
            pBox->buttons().first()->click();
        });
        page.setCurrentRecordIndex(page.model()->item(0)->index());
        QAction infoAction("Disk Info");
        infoAction.setData(0);
        page.onCommand(&infoAction);
        QCOMPARE(shown, page.diskInfoText(0));
        QCOMPARE(buttons, QStringList{"OK"});
    }

    void unreadableDriveIsNamed()
    {
        useImages({m_imageA});
        register_image_file(m_dir.path().toLocal8Bit().constData());  // a folder cannot be read as a drive
        CDiskManagePage page;
        page.InitialLoad();
        QCOMPARE(page.model()->rowCount(), 1);
        QVERIFY(!page.driveAccessLabel()->isHidden());
        QVERIFY(page.driveAccessLabel()->text().contains(m_dir.path()));
        QVERIFY(page.driveAccessLabel()->text().contains("needs read access"));
    }

    void evidenceImagesLoadAndDamagedSetsAreNamed()
    {
        // A small disk (no face library) as an EWF set and as a split raw
        // image of three segments, made by Debian's own tools.
        testimg::DiskPlan disk;
        disk.partitions[0].sectors = 760000;
        disk.partitions[0].sec_per_clus = 64;
        disk.partitions[0].key.face_lib_support_size = 0;
        testimg::ImageBuilder b(disk);
        b.add(rec(0, pack_time(2024, 7, 1, 8, 0, 0), 600));
        b.add(rec(3, pack_time(2024, 7, 1, 9, 0, 0), 600));
        testimg::Manifest manifest;
        const QString raw = build("evidence.img", b, &manifest);
        const QString dir = m_dir.path();
        const auto run = [](const QString& cmd) { return std::system((cmd + " >/dev/null 2>&1").toLocal8Bit().constData()); };
        QCOMPARE(run("ewfacquire -u -q -c fast -t '" + dir + "/evidence' '" + raw + "'"), 0);
        QCOMPARE(run("cd '" + dir + "' && split -n 3 -d -a 3 --filter='cp --sparse=always /dev/stdin \"$FILE\"' "
                     "evidence.img piece."),
                 0);
        QCOMPARE(run("rm '" + dir + "/piece.001'"), 0);

        useImages({dir + "/evidence.E01", dir + "/piece.000"});
        CDiskManagePage page;
        page.InitialLoad();
        QCOMPARE(page.diskCount(), 1);
        QCOMPARE(page.model()->rowCount(), 1);
        QStandardItem* pDisk = page.model()->item(0);
        QCOMPARE(countRecordings(pDisk), 2);
        QVERIFY2(pDisk->toolTip().startsWith(dir + "/evidence.E01\n"), qPrintable(pDisk->toolTip()));
        QVERIFY2(pDisk->toolTip().endsWith("EWF image, 1 segment"), qPrintable(pDisk->toolTip()));
        // The split image is not offered, and the page says which piece is
        // missing (not that the program lacks read access).
        QVERIFY(!page.driveAccessLabel()->isHidden());
        const QString text = page.driveAccessLabel()->text();
        QVERIFY2(text.contains("piece.000") && text.contains(dir + "/piece.001") && text.contains("missing"),
                 qPrintable(text));
        QVERIFY(!text.contains("read access"));
    }

    void pickedDayOpensInTheTree()
    {
        useImages({m_imageA});
        CDiskManagePage page;
        page.resize(240, 600);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        page.InitialLoad();
        CGlobalAppData::instance()->setCurrentDate(QDate(2024, 5, 3));
        CDateWidget* days = page.calendar()->calendarWidget()->dateWidget();
        int cell = -1;
        for (int i = 0; i < CDateWidget::kCells; ++i)
            if (days->cellDate(i) == QDate(2024, 5, 2) && i >= days->firstCell())
                cell = i;
        QVERIFY(cell >= 0);
        QTest::mouseClick(days->cellButton(cell), Qt::LeftButton);
        const QModelIndex current = page.treeView()->currentIndex();
        QCOMPARE(current.data(LevelRole).toInt(), 2);
        QCOMPARE(current.data(KeyRole).toString(), QString("2024-05-02"));
        QVERIFY(page.treeView()->isExpanded(current));
    }

    void recordListRoutesToThePages()
    {
        useImages({m_imageA});
        CRecordListManage list;
        QCOMPARE(list.tabWidget()->tabText(0), QString("Disk"));
        QCOMPARE(list.tabWidget()->tabText(1), QString("Local"));
        list.InitialLoad();
        CDiskManagePage* disk = list.diskPage();
        QStandardItem* r = disk->model()->item(0)->child(0)->child(1)->child(0)->child(0);
        const QString path = disk->recordingPath(r->index());

        list.tabWidget()->setCurrentIndex(1);
        list.onSelectRecord(path);
        QCOMPARE(list.tabWidget()->currentIndex(), 0);
        QCOMPARE(disk->treeView()->currentIndex(), r->index());

        QSignalSpy play(&list, &CRecordListManage::playRecord);
        disk->onRecordTreeClicked(r->index());
        list.onPlayRecordResponse();
        QCOMPARE(play.count(), 1);
        QCOMPARE(play.at(0).at(0).toString(), path);

        // A local file switches to the Local tab; Play there asks the local
        // page, which has nothing selected.
        list.onSelectRecord("/home/user/export/idea0/2024-05-02/000/x.h264");
        QCOMPARE(list.tabWidget()->currentIndex(), 1);
        list.onPlayRecordResponse();
        QCOMPARE(play.count(), 1);
        list.StopLoad();
    }
};

QTEST_MAIN(TestDiskPage)
#include "tst_disk_page.moc"
