// The export and cut dialogs driven like a user would, offscreen, over a
// recorder image: controls and texts, Start, the outcome box, the cancel
// question answered "NO" and then "OK", "Abnormal time".
#include "app/export/CutFileDlg.h"
#include "app/export/ExportFileDlg.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"
#include "tests/app/export/ExportTestSupport.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>
#include <QtTest>

using namespace exporttest;

namespace {

// Answers the next message box with the button of the given index and
// records its text.
class BoxAnswerer : public QObject
{
public:
    void answer(int nButton)
    {
        m_answers << nButton;
        arm();
    }
    QStringList texts;

private:
    void arm()
    {
        QTimer::singleShot(20, this, [this] {
            auto* box = qobject_cast<CMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) {
                arm();
                return;
            }
            texts << box->text();
            const int button = m_answers.takeFirst();
            box->buttons().at(button)->click();
        });
    }
    QList<int> m_answers;
};

}  // namespace

class TestExportDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void exportCopiesTheQueueAndSaysSo();
    void exportCancelAsksFirst();
    void cutChecksTheRangeThenCuts();

private:
    fs::path m_dir;
    testimg::Manifest m_manifest;
};

void TestExportDialogs::initTestCase()
{
    m_dir = scratch("dialogs");
    CGlobalAppData::setAppDir(QString::fromStdString(m_dir.string()));
    testimg::DiskPlan disk;
    disk.partitions[0].sec_per_clus = 64;
    testimg::ImageBuilder b(disk);
    testimg::RecordingPlan r;
    r.start_time = testimg::pack_time(2024, 5, 1, 10, 0, 0);
    r.duration = 300;
    b.add(r);
    r.channel = 1;
    r.duration = 60;
    b.add(r);
    std::string err;
    QVERIFY2(b.build((m_dir / "disk.img").string(), &m_manifest, &err), err.c_str());
    wfs_log_set_route(WFS_LOG_SILENT);
    CRecordCatalogue::UseImages({(m_dir / "disk.img").string()});
    CRecordCatalogue catalogue;
    QCOMPARE(catalogue.InitialiseDisks(), 1);
    CGlobalAppData::instance()->recordPath = QString::fromStdString((m_dir / "records").string());
}

void TestExportDialogs::cleanupTestCase()
{
    close_recorder_disks();
    fs::remove_all(m_dir);
}

void TestExportDialogs::exportCopiesTheQueueAndSaysSo()
{
    CGlobalAppData* data = CGlobalAppData::instance();
    const std::string p0 = recordPath(m_manifest.recordings[0]), p1 = recordPath(m_manifest.recordings[1]);
    data->exportQueue = QStringList{QString::fromStdString(p0), QString::fromStdString(p1)};
    CExportFileDlg dlg;
    QCOMPARE(dlg.statusLabel()->text(), QString("0/2"));
    QCOMPARE(dlg.pathEdit()->text(), data->recordPath);
    QCOMPARE(dlg.formatBox()->count(), 2);
    QCOMPARE(dlg.formatBox()->itemText(1), QString("MP4"));
    QCOMPARE(dlg.progressBar()->maximum(), 1000);
    QCOMPARE(dlg.startButton()->objectName(), QString("NormalToolButton"));
    // 75 x 25 at least; wider only for a longer text.
    QCOMPARE(dlg.startButton()->minimumSize(), QSize(75, 25));
    QCOMPARE(dlg.startButton()->maximumHeight(), 25);

    BoxAnswerer boxes;
    boxes.answer(0);
    QTimer::singleShot(0, dlg.startButton(), &QPushButton::click);
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QCOMPARE(boxes.texts, QStringList{"Export Success"});
    QVERIFY(!dlg.startButton()->isEnabled());
    QCOMPARE(dlg.progressBar()->value(), 1000);
    QVERIFY(dlg.statusLabel()->text().startsWith("Export 2/2 "));
    const fs::path out = m_dir / "records";
    QVERIFY(readFile(out / p0.substr(5)) == readable(m_manifest.recordings[0]));
    QVERIFY(readFile(out / p1.substr(5)) == readable(m_manifest.recordings[1]));
    const std::vector<uint8_t> index = readFile(out / "index.data");
    QCOMPARE(std::string(index.begin(), index.end()), p0.substr(5) + "\r\n" + p1.substr(5) + "\r\n");
}

void TestExportDialogs::exportCancelAsksFirst()
{
    // Enough copies of one recording that the export is still busy when
    // Cancel comes.
    CGlobalAppData* data = CGlobalAppData::instance();
    data->exportQueue.clear();
    for (int i = 0; i < 400; ++i)
        data->exportQueue << QString::fromStdString(recordPath(m_manifest.recordings[0]));
    auto* dlg = new CExportFileDlg;
    dlg->pathEdit()->setText(QString::fromStdString((m_dir / "cancelled").string()));

    BoxAnswerer boxes;
    QTimer::singleShot(0, dlg->startButton(), &QPushButton::click);
    QTimer::singleShot(50, dlg, [&] {
        QVERIFY(dlg->isRunning());
        boxes.answer(1);  // "NO": the export goes on
        dlg->cancelButton()->click();
        QVERIFY(dlg->isRunning());
        QVERIFY(dlg->isVisible());
        boxes.answer(0);  // "OK"
        dlg->cancelButton()->click();
    });
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(dlg->exec(), int(QDialog::Rejected));
    QCOMPARE(boxes.texts, QStringList({"Whether to cancel export recording", "Whether to cancel export recording"}));
    QVERIFY(!dlg->isRunning());
    delete dlg;  // waits for the worker if it is still on its last chunk
    QVERIFY(timer.elapsed() < 20000);
    // No outcome box came, and the catalogue never lists the partial copy.
    QCOMPARE(boxes.texts.size(), 2);
    const std::vector<uint8_t> index = readFile(m_dir / "cancelled" / "index.data");
    const size_t line = recordPath(m_manifest.recordings[0]).size() - 5 + 2;
    QVERIFY(index.size() % line == 0);
    QVERIFY(index.size() / line < 400);
    data->exportQueue.clear();
}

void TestExportDialogs::cutChecksTheRangeThenCuts()
{
    const testimg::ManifestRecording& r = m_manifest.recordings[1];
    CCutFileDlg dlg(QString::fromStdString(recordPath(r)));
    QCOMPARE(dlg.startTimeEdit()->time(), QTime(10, 0, 0));
    QCOMPARE(dlg.endTimeEdit()->time(), QTime(10, 1, 0));
    QCOMPARE(dlg.startTimeEdit()->displayFormat(), QString("hh:mm:ss"));
    QCOMPARE(dlg.infoLabel()->text(), QString("Cut Range (10:00:00_10:01:00)"));
    dlg.pathEdit()->setText(QString::fromStdString((m_dir / "cuts").string()));

    BoxAnswerer boxes;
    QTimer::singleShot(0, &dlg, [&] {
        // An end before the start inside one day: nothing starts.
        dlg.startTimeEdit()->setTime(QTime(10, 0, 30));
        dlg.endTimeEdit()->setTime(QTime(10, 0, 20));
        boxes.answer(0);
        dlg.startButton()->click();
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.startButton()->isEnabled());
        dlg.endTimeEdit()->setTime(QTime(10, 0, 40));
        boxes.answer(0);
        dlg.startButton()->click();
    });
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QCOMPARE(boxes.texts, QStringList({"Abnormal time", "Cut Success"}));
    const fs::path file = m_dir / "cuts" / "20240501_10.00.30_10.00.40.h264";
    QCOMPARE(dlg.outputPath().toStdString(), file.string());
    QVERIFY(readFile(file) == framesInRange(r.expected_stream(), testimg::pack_time(2024, 5, 1, 10, 0, 30),
                                            testimg::pack_time(2024, 5, 1, 10, 0, 40)));
    QCOMPARE(dlg.progressBar()->value(), 1000);
}

QTEST_MAIN(TestExportDialogs)
#include "tst_export_dialogs.moc"
