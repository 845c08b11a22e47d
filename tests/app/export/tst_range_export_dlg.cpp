// The range export dialog driven like a user would, offscreen, over a day
// the Disk page hands over: every channel of the day offered and checked,
// what the window would write shown before the start, a window that cannot
// be exported refused with nothing written, then the export through the
// worker with its outcome box.
#include "app/export/RangeExportDlg.h"
#include "app/records/DiskManagePage.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"
#include "tests/app/export/ExportTestSupport.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace exporttest;
using testimg::pack_time;

class TestRangeExportDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void offersTheDayRefusesThenExports();
    void aFailedConversionKeepsTheRawFileAndSaysSo();

private:
    fs::path m_dir;
    testimg::Manifest m_manifest;
};

void TestRangeExportDlg::initTestCase()
{
    QLoggingCategory::setFilterRules("orvelle.records.load.debug=false\ndefault.debug=false");
    m_dir = scratch("range_dlg");
    CGlobalAppData::setAppDir(QString::fromStdString(m_dir.string()));
    testimg::DiskPlan disk;
    disk.partitions[0].sec_per_clus = 64;
    testimg::ImageBuilder b(disk);
    auto add = [&b](uint8_t channel, uint32_t start, uint32_t seconds) {
        testimg::RecordingPlan r;
        r.channel = channel;
        r.start_time = start;
        r.duration = seconds;
        b.add(r);
    };
    add(0, pack_time(2024, 5, 1, 10, 0, 0), 60);
    add(0, pack_time(2024, 5, 1, 10, 1, 0), 60);
    add(1, pack_time(2024, 5, 1, 11, 0, 0), 60);
    add(2, pack_time(2024, 5, 1, 10, 0, 20), 40);
    std::string err;
    QVERIFY2(b.build((m_dir / "disk.img").string(), &m_manifest, &err), err.c_str());
    wfs_log_set_route(WFS_LOG_SILENT);
    close_recorder_disks();
    clear_registered_drives();
    set_images_only(true);
    QVERIFY(CDiskManagePage::AddDiskImage(QString::fromStdString((m_dir / "disk.img").string())));
    CGlobalAppData::instance()->recordPath = QString::fromStdString((m_dir / "records").string());
}

void TestRangeExportDlg::cleanupTestCase()
{
    close_recorder_disks();
    clear_registered_drives();
    fs::remove_all(m_dir);
}

void TestRangeExportDlg::offersTheDayRefusesThenExports()
{
    CDiskManagePage page;
    QSignalSpy days(&page, &CRecordPage::daySelected);
    page.InitialLoad();
    QVERIFY(!days.isEmpty());
    const TimelineDay day = days.last().at(0).value<TimelineDay>();
    QCOMPARE(day.date, QDate(2024, 5, 1));

    CRangeExportDlg dlg(day, QDateTime(day.date, QTime(10, 0, 40)), QDateTime(day.date, QTime(10, 1, 20)));
    QCOMPARE(dlg.channelBoxes().size(), 3);
    QStringList names;
    for (QCheckBox* box : dlg.channelBoxes()) {
        names << box->text();
        QVERIFY(box->isChecked());
    }
    QCOMPARE(names, (QStringList{"001", "002", "003"}));
    QCOMPARE(dlg.fromEdit()->dateTime(), QDateTime(day.date, QTime(10, 0, 40)));
    QCOMPARE(dlg.pathEdit()->text(), CGlobalAppData::instance()->recordPath);
    auto statusText = [&dlg] {
        // The status line sits right above the progress bars.
        for (QLabel* label : dlg.findChildren<QLabel*>()) {
            if (label->wordWrap())
                return label->text();
        }
        return QString();
    };
    QCOMPARE(statusText(), QString("Files: 3, channels: 2\nNo recording in the range: 002"));
    dlg.channelBoxes().at(2)->setChecked(false);
    QCOMPARE(statusText(), QString("Files: 2, channels: 1\nNo recording in the range: 002"));
    dlg.channelBoxes().at(2)->setChecked(true);
    QCOMPARE(dlg.checkedChannels(), (QList<int>{0, 1, 2}));

    // Answers the next message box with its first button, once it shows.
    QStringList boxes;
    std::function<void()> answerNextBox = [&] {
        QTimer::singleShot(20, [&] {
            auto* box = qobject_cast<CMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) {
                answerNextBox();
                return;
            }
            boxes << box->text();
            box->buttons().at(0)->click();
        });
    };
    QTimer::singleShot(0, &dlg, [&] {
        // An end before the start: refused, the dialog stays, nothing written.
        dlg.toEdit()->setDateTime(QDateTime(day.date, QTime(10, 0, 10)));
        QCOMPARE(statusText(), QString("The range ends before it starts"));
        answerNextBox();
        dlg.startButton()->click();
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.startButton()->isEnabled());
        QVERIFY(!fs::exists(m_dir / "records"));
        dlg.toEdit()->setDateTime(QDateTime(day.date, QTime(10, 1, 20)));
        // The outcome, once the worker has finished.
        answerNextBox();
        dlg.startButton()->click();
    });
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes.at(0), QString("The range ends before it starts"));
    QVERIFY2(boxes.at(1).startsWith("Range Export Success\nFiles written: 3\nFolder: "), qPrintable(boxes.at(1)));
    QVERIFY(boxes.at(1).contains("No recording in the range: 002"));
    QCOMPARE(dlg.overallBar()->value(), 1000);
    QCOMPARE(dlg.progressBar()->value(), 1000);

    const fs::path out = m_dir / "records";
    QVERIFY(readFile(out / "001_20240501_10.00.40_10.01.00.h264") ==
            framesInRange(m_manifest.recordings[0].expected_stream(), pack_time(2024, 5, 1, 10, 0, 40),
                          pack_time(2024, 5, 1, 10, 1, 0)));
    QVERIFY(fs::exists(out / "001_20240501_10.01.00_10.01.20.h264"));
    QVERIFY(fs::exists(out / "003_20240501_10.00.40_10.01.00.h264"));
}

void TestRangeExportDlg::aFailedConversionKeepsTheRawFileAndSaysSo()
{
    // The recordings of this image hold no decodable video: MP4 fails.
    CDiskManagePage page;
    QSignalSpy days(&page, &CRecordPage::daySelected);
    page.InitialLoad();
    const TimelineDay day = days.last().at(0).value<TimelineDay>();
    CRangeExportDlg dlg(day, QDateTime(day.date, QTime(10, 0, 30)), QDateTime(day.date, QTime(10, 0, 35)));
    const fs::path out = m_dir / "mp4";
    dlg.pathEdit()->setText(QString::fromStdString(out.string()));
    dlg.formatBox()->setCurrentIndex(1);
    dlg.channelBoxes().at(2)->setChecked(false);
    QString outcome;
    std::function<void()> answer = [&] {
        QTimer::singleShot(20, [&] {
            auto* box = qobject_cast<CMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) {
                answer();
                return;
            }
            outcome = box->text();
            box->buttons().at(0)->click();
        });
    };
    answer();
    QTimer::singleShot(0, dlg.startButton(), &QPushButton::click);
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QVERIFY2(outcome.startsWith("Range export finished with errors\nFiles written: 1\n"), qPrintable(outcome));
    QVERIFY(outcome.contains("the conversion to MP4 failed; kept as H.264"));
    QVERIFY(fs::exists(out / "001_20240501_10.00.30_10.00.35.h264"));
    QVERIFY(!fs::exists(out / "001_20240501_10.00.30_10.00.35.mp4"));
}

QTEST_MAIN(TestRangeExportDlg)
#include "tst_range_export_dlg.moc"
