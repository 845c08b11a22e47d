// The export and cut dialogs driven like a user would, offscreen, over a
// recorder image: controls and texts, Start, the outcome box, the cancel
// question answered "NO" and then "OK", a cancel question the end of the job
// closes, "Abnormal time", and the case details from the fields to the job
// and on to the next dialog.
//
// A job is held at its first read by keeping the disk lock on a thread of
// the test's own, so whether it is still running when Cancel comes never
// depends on how fast the machine copies.
#include "app/export/CaseDetailsBox.h"
#include "app/export/CutFileDlg.h"
#include "app/export/ExportFileDlg.h"
#include "app/export/jobs/ExportJob.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"
#include "tests/app/export/ExportTestSupport.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMutex>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

using namespace exporttest;

namespace {

// Calls the handler once for every message box that comes up modally, with
// the texts of all of them kept in order.
class BoxWatcher : public QObject
{
public:
    using Handler = std::function<void(CMessageBox*)>;

    explicit BoxWatcher(Handler handler) : m_handler(std::move(handler))
    {
        connect(&m_timer, &QTimer::timeout, this, &BoxWatcher::poll);
        m_timer.start(10);
    }
    QStringList texts;

private:
    void poll()
    {
        auto* box = qobject_cast<CMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == m_current)
            return;
        m_current = box;
        texts << box->text();
        m_handler(box);
    }

    Handler m_handler;
    QTimer m_timer;
    QPointer<CMessageBox> m_current;
};

// Answers the boxes with the buttons of the given indexes, in order.
BoxWatcher::Handler answers(QList<int>* pButtons)
{
    return [pButtons](CMessageBox* box) {
        QVERIFY(!pButtons->isEmpty());
        box->buttons().at(pButtons->takeFirst())->click();
    };
}

// Visible message boxes, whoever owns them.
int visibleBoxes()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<CMessageBox*>(w) && w->isVisible())
            ++n;
    }
    return n;
}

// Keeps a mutex locked on a thread of its own until release(), or until
// the condition given to releaseWhen() holds.
class LockHolder
{
public:
    explicit LockHolder(QMutex* pMutex)
    {
        m_thread = std::thread([this, pMutex] {
            pMutex->lock();
            std::unique_lock<std::mutex> lock(m_mutex);
            m_bHeld = true;
            m_cv.notify_all();
            while (!m_bRelease && !(m_until && m_until()))
                m_cv.wait_for(lock, std::chrono::milliseconds(1));
            pMutex->unlock();
        });
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return m_bHeld; });
    }
    ~LockHolder()
    {
        release();
        m_thread.join();
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bRelease = true;
        m_cv.notify_all();
    }
    // The condition is checked on the holder's thread; it must be safe there.
    void releaseWhen(std::function<bool()> until)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_until = std::move(until);
    }

private:
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bHeld = false;
    bool m_bRelease = false;
    std::function<bool()> m_until;
};

bool operator==(const CaseDetails& a, const CaseDetails& b)
{
    return a.caseNumber == b.caseNumber && a.examiner == b.examiner && a.evidenceNumber == b.evidenceNumber
           && a.notes == b.notes && a.clockOffsetS == b.clockOffsetS;
}

}  // namespace

class TestExportDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void exportCopiesTheQueueAndSaysSo();
    void exportCancelAsksFirst();
    void cancelDuringConversionNamesTheKeptCopies();
    void cancelQuestionClosesWhenTheJobEnds_data();
    void cancelQuestionClosesWhenTheJobEnds();
    void cutChecksTheRangeThenCuts();
    void caseDetailsReachTheJobAndTheNextDialog();

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

void TestExportDialogs::init()
{
    CGlobalAppData::instance()->caseDetails = CaseDetails();
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
    // Nothing entered yet: the case details stay folded away.
    QVERIFY(!dlg.caseDetailsBox()->isExpanded());

    // The outcome box offers the report the job wrote before it ended.
    QStringList offered;
    BoxWatcher boxes([&offered](CMessageBox* box) {
        for (auto* button : box->buttons())
            offered << button->text();
        box->buttons().at(0)->click();
    });
    QTimer::singleShot(0, dlg.startButton(), &QPushButton::click);
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QCOMPARE(boxes.texts, QStringList{"Export Success"});
    QVERIFY2(offered.contains("Open Report"), qPrintable(offered.join(", ")));
    QVERIFY(dlg.job()->reportPath().endsWith(".html"));
    QVERIFY(QFileInfo(dlg.job()->reportPath()).isFile());
    QVERIFY(!dlg.startButton()->isEnabled());
    QCOMPARE(dlg.progressBar()->value(), 1000);
    QVERIFY(dlg.statusLabel()->text().startsWith("Export 2/2 "));
    const fs::path out = m_dir / "records";
    QVERIFY(readFile(out / p0.substr(5)) == readable(m_manifest.recordings[0]));
    QVERIFY(readFile(out / p1.substr(5)) == readable(m_manifest.recordings[1]));
    const std::vector<uint8_t> index = readFile(out / "index.data");
    QCOMPARE(std::string(index.begin(), index.end()), p0.substr(5) + "\r\n" + p1.substr(5) + "\r\n");
    QCOMPARE(sha256sumCheck(out), 0);
}

void TestExportDialogs::exportCancelAsksFirst()
{
    CGlobalAppData* data = CGlobalAppData::instance();
    data->exportQueue = QStringList{QString::fromStdString(recordPath(m_manifest.recordings[0])),
                                    QString::fromStdString(recordPath(m_manifest.recordings[1]))};
    auto* dlg = new CExportFileDlg;
    const fs::path folder = m_dir / "cancelled";
    dlg->pathEdit()->setText(QString::fromStdString(folder.string()));

    // The export waits at its first read until it has been told to stop.
    LockHolder hold(&data->diskLock);
    CExportJob* job = dlg->job();
    hold.releaseWhen([job] { return job->isStopped(); });
    QList<int> buttons{1, 0};  // "NO", then "OK"
    BoxWatcher boxes(answers(&buttons));
    QTimer::singleShot(0, dlg, [&] {
        dlg->startButton()->click();
        QVERIFY(dlg->isRunning());
        dlg->cancelButton()->click();  // "NO": the export goes on
        QVERIFY(dlg->isRunning());
        QVERIFY(dlg->isVisible());
        QVERIFY(!job->isStopped());
        dlg->cancelButton()->click();  // "OK"
    });
    QCOMPARE(dlg->exec(), int(QDialog::Rejected));
    QCOMPARE(boxes.texts, QStringList({"Whether to cancel export recording", "Whether to cancel export recording"}));
    QVERIFY(!dlg->isRunning());
    // The holder asks the job whether it stopped: done with that before the
    // job goes with its dialog.
    hold.release();
    delete dlg;  // waits for the worker if it is still on its chunk
    // No outcome box came, and the partial copy is never listed.
    QCOMPARE(boxes.texts.size(), 2);
    QVERIFY(!fs::exists(folder / "index.data") || fs::file_size(folder / "index.data") == 0);
    data->exportQueue.clear();
}

void TestExportDialogs::cancelDuringConversionNamesTheKeptCopies()
{
    CGlobalAppData* data = CGlobalAppData::instance();
    data->exportQueue = QStringList{QString::fromStdString(recordPath(m_manifest.recordings[0])),
                                    QString::fromStdString(recordPath(m_manifest.recordings[1]))};
    auto* dlg = new CExportFileDlg;
    const fs::path folder = m_dir / "cancelled-mp4";
    dlg->pathEdit()->setText(QString::fromStdString(folder.string()));
    dlg->formatBox()->setCurrentIndex(1);  // MP4

    // The job holds at the start of its conversion until the cancel has
    // been confirmed, so the stop lands between the copies and their MP4s.
    CExportJob* job = dlg->job();
    std::atomic<bool> converting{false};
    connect(job, &CExportJob::updateExportStatus, job, [&](const QString& text) {
        if (text != QLatin1String("Convert To Mp4") || converting.exchange(true))
            return;
        while (!job->isStopped())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }, Qt::DirectConnection);
    QList<int> buttons{0, 0};  // "OK" to the cancel question, then the note
    BoxWatcher boxes(answers(&buttons));
    QTimer::singleShot(0, dlg, [&] {
        dlg->startButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(converting.load(), 60000);
        dlg->cancelButton()->click();
    });
    dlg->exec();
    delete dlg;
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(boxes.texts.at(0), QString("Whether to cancel export recording"));
    const QString note = boxes.texts.at(1);
    QVERIFY2(note.startsWith("Kept as H.264 and listed in index.data:"), qPrintable(note));

    // Both copies stay as H.264, each listed in index.data and SHA256SUMS,
    // and the folder checks as it stands.
    QStringList kept;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().extension() == ".h264")
            kept << QString::fromStdString(entry.path().filename().string());
    }
    QCOMPARE(kept.size(), 2);
    for (const QString& name : kept)
        QVERIFY2(note.contains(name), qPrintable(note));
    QFile index(QString::fromStdString((folder / "index.data").string()));
    QVERIFY(index.open(QIODevice::ReadOnly));
    const QString lines = QString::fromLocal8Bit(index.readAll());
    for (const QString& name : kept)
        QVERIFY(lines.contains(name));
    QVERIFY(QProcess::execute("sh", {"-c", QString("cd '%1' && sha256sum -c --strict --quiet SHA256SUMS")
                                              .arg(QString::fromStdString(folder.string()))}) == 0);
    data->exportQueue.clear();
}

void TestExportDialogs::cancelQuestionClosesWhenTheJobEnds_data()
{
    QTest::addColumn<bool>("cut");
    QTest::newRow("export") << false;
    QTest::newRow("cut") << true;
}

void TestExportDialogs::cancelQuestionClosesWhenTheJobEnds()
{
    QFETCH(bool, cut);
    CGlobalAppData* data = CGlobalAppData::instance();
    const testimg::ManifestRecording& r = m_manifest.recordings[1];
    const fs::path folder = m_dir / (cut ? "ended_cut" : "ended_export");
    data->exportQueue = QStringList{QString::fromStdString(recordPath(r))};
    std::unique_ptr<CJobDialog> dlg;
    if (cut)
        dlg = std::make_unique<CCutFileDlg>(QString::fromStdString(recordPath(r)));
    else
        dlg = std::make_unique<CExportFileDlg>();
    dlg->pathEdit()->setText(QString::fromStdString(folder.string()));
    const QString question = cut ? "Whether to cancel cut recording" : "Whether to cancel export recording";
    const QString outcome = cut ? "Cut Success" : "Export Success";

    // The job waits at its first read while the question comes up, and may
    // finish only once it is up; the question is left unanswered.
    auto hold = std::make_unique<LockHolder>(&data->diskLock);
    int boxesUpWithOutcome = -1;
    bool bQuestionOpenAtOutcome = true;
    CJobDialog* shown = dlg.get();
    BoxWatcher boxes([&](CMessageBox* box) {
        if (box->text() == question) {
            if (boxesUpWithOutcome < 0)
                hold->release();
            else
                box->buttons().at(1)->click();  // still there after the outcome: "NO" ends the test
            return;
        }
        boxesUpWithOutcome = visibleBoxes();
        bQuestionOpenAtOutcome = shown->cancelQuestion() != nullptr;
        box->buttons().at(0)->click();
    });
    QTimer::singleShot(0, shown, [shown] {
        shown->startButton()->click();
        QVERIFY(shown->isRunning());
        shown->cancelButton()->click();  // returns once the job has ended
    });
    QCOMPARE(dlg->exec(), int(QDialog::Accepted));
    QCOMPARE(boxes.texts, QStringList({question, outcome}));
    QVERIFY(!bQuestionOpenAtOutcome);
    QCOMPARE(boxesUpWithOutcome, 1);
    QCOMPARE(visibleBoxes(), 0);
    QVERIFY(!dlg->isRunning());
    if (cut) {
        const QString file = static_cast<CCutFileDlg*>(shown)->outputPath();
        QVERIFY(readFile(file.toStdString()) == framesInRange(r.expected_stream(), r.start_time, r.end_time));
    } else {
        QVERIFY(readFile(folder / recordPath(r).substr(5)) == readable(r));
    }
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

    QList<int> buttons{0, 0};
    BoxWatcher boxes(answers(&buttons));
    QTimer::singleShot(0, &dlg, [&] {
        // An end before the start inside one day: nothing starts.
        dlg.startTimeEdit()->setTime(QTime(10, 0, 30));
        dlg.endTimeEdit()->setTime(QTime(10, 0, 20));
        dlg.startButton()->click();
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.startButton()->isEnabled());
        dlg.endTimeEdit()->setTime(QTime(10, 0, 40));
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

void TestExportDialogs::caseDetailsReachTheJobAndTheNextDialog()
{
    CGlobalAppData* data = CGlobalAppData::instance();
    const testimg::ManifestRecording& r = m_manifest.recordings[1];
    data->exportQueue = QStringList{QString::fromStdString(recordPath(r))};
    CExportFileDlg dlg;
    dlg.pathEdit()->setText(QString::fromStdString((m_dir / "case").string()));
    CCaseDetailsBox* box = dlg.caseDetailsBox();

    CaseDetails typed;
    typed.caseNumber = "2026/0417-B";
    typed.examiner = QString::fromUtf8("Ирина Петрова");
    typed.evidenceNumber = "EV-12, bag 3";
    typed.notes = "Recorder seized at the kiosk.\nClock checked against the phone.";
    typed.clockOffsetS = -3725;
    int nFoldedHeight = 0, nOpenHeight = 0, nFoldedAgainHeight = 0;
    QList<int> buttons{0};
    BoxWatcher boxes(answers(&buttons));
    QTimer::singleShot(0, &dlg, [&] {
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(!box->isExpanded());
        QVERIFY(!box->caseNumberEdit()->isVisible());
        nFoldedHeight = dlg.height();
        // The header opens the fields and the dialog makes room for them.
        QTest::mouseClick(box->headerButton(), Qt::LeftButton);
        QApplication::processEvents();
        QVERIFY(box->isExpanded());
        QVERIFY(box->caseNumberEdit()->isVisible());
        nOpenHeight = dlg.height();
        QTest::mouseClick(box->headerButton(), Qt::LeftButton);
        QApplication::processEvents();
        nFoldedAgainHeight = dlg.height();
        QTest::mouseClick(box->headerButton(), Qt::LeftButton);
        QApplication::processEvents();

        // Typed as a user would; surrounding blanks are not kept.
        QTest::keyClicks(box->caseNumberEdit(), "  " + typed.caseNumber + " ");
        box->examinerEdit()->insert(typed.examiner);  // keyClicks types ASCII only
        QTest::keyClicks(box->evidenceNumberEdit(), typed.evidenceNumber);
        box->notesEdit()->setPlainText(typed.notes + "\n");
        box->clockOffsetBox()->selectAll();
        QTest::keyClicks(box->clockOffsetBox(), "-3725");
        QCOMPARE(box->clockOffsetBox()->value(), -3725);
        QCOMPARE(box->clockOffsetBox()->minimum(), -CCaseDetailsBox::kMaxClockOffsetS);
        dlg.startButton()->click();
    });
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QCOMPARE(boxes.texts, QStringList{"Export Success"});
    QVERIFY2(nOpenHeight > nFoldedHeight + 4 * 25, qPrintable(QString("%1 -> %2").arg(nFoldedHeight).arg(nOpenHeight)));
    QCOMPARE(nFoldedAgainHeight, nFoldedHeight);

    // What the job was given and what the settings store keeps.
    QVERIFY(dlg.job()->caseDetails() == typed);
    QVERIFY(data->caseDetails == typed);

    // The next dialog offers them again, opened so that they are seen.
    CCutFileDlg next(QString::fromStdString(recordPath(r)));
    QVERIFY(next.caseDetailsBox()->isExpanded());
    QVERIFY(next.caseDetailsBox()->details() == typed);
    data->exportQueue.clear();
}

QTEST_MAIN(TestExportDialogs)
#include "tst_export_dialogs.moc"
