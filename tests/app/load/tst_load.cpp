// Load: the main window plays the demo disk in sixteen windows while
// recordings are exported and the Disk page reads the disks again.
//
// All through the program's own parts (offscreen): the demo disk made by
// orvelle-mkdisk, the main window with its record list and video grid, the
// Disk page's load, clicks on windows and double-clicks on recordings, the
// page's Export command with its dialog and worker, the page's rescan (as its
// timer calls it) after another recorder disk appeared, and the reload on the
// page's loading thread.
//
// What the program promises and this test holds it to:
// - a rescan while the page's export runs reloads nothing; the export ends
//   with every recording copied whole and listed in index.data;
// - the reload stops every window before the disks are read again (no play
//   or index thread reads under it), then lists the recordings of every disk;
// - every window can be started again afterwards and shows new pictures;
// - an export job that the page does not know of (run on a worker of its own)
//   and that holds a recording open across a reload gets a clean break for
//   that recording and copies every other one whole;
// - everything stops: no play, index, export or loading thread is left.
// A watchdog thread names the step that stopped making progress and aborts,
// so a deadlock fails the test instead of hanging it.

#include "app/display/DisplayBox.h"
#include "app/display/PlayButtons.h"
#include "app/display/VideoFrame.h"
#include "app/display/VideoWnd.h"
#include "app/export/ExportFileDlg.h"
#include "app/export/jobs/ExportJob.h"
#include "app/fs/CFSFile.h"
#include "app/play/MyThread.h"
#include "app/play/PlayManage.h"
#include "app/records/DiskManagePage.h"
#include "app/records/RecordListManage.h"
#include "app/records/RecordTree.h"
#include "app/records/RecordTreeRoles.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"
#include "app/shell/Orvelle.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QProcess>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#ifndef ORVELLE_MKDISK
#define ORVELLE_MKDISK ORVELLE_BINARY_DIR "/orvelle-mkdisk"
#endif

namespace {

const int kWindows = CPlayManage::MaxWindows;
// Every wait of the test gives up after kWaitMs; the watchdog aborts a step
// that has not ended after kStepSeconds (a call that never returns), still
// well inside the test runner's limit of 600 s for the whole program.
const int kWaitMs = 150000;
const int kStepSeconds = 240;

// Aborts the process when a step has not ended by its deadline, naming the
// step and what it last saw. The waits of the test itself time out earlier;
// the watchdog catches a call that never returns.
class Watchdog
{
public:
    Watchdog() : m_thread([this] { run(); }) {}
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bQuit = true;
        }
        m_cond.notify_all();
        m_thread.join();
    }

    void step(const std::string& name, int nSeconds)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_step = name;
        m_detail.clear();
        m_nSeconds = nSeconds;
        m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(nSeconds);
        m_bArmed = true;
    }
    void detail(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_detail = text;
    }
    void disarm()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bArmed = false;
    }
    // A folder removed before the abort (the disk images are large).
    void removeOnAbort(const std::string& dir)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_removeOnAbort = dir;
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_bQuit) {
            m_cond.wait_for(lock, std::chrono::milliseconds(250));
            if (m_bArmed && std::chrono::steady_clock::now() > m_deadline) {
                std::fprintf(stderr,
                             "tst_load: step \"%s\" did not end within %d s: it hangs there (last seen: %s)\n",
                             m_step.c_str(), m_nSeconds, m_detail.empty() ? "nothing" : m_detail.c_str());
                std::fflush(stderr);
                std::error_code ec;
                if (!m_removeOnAbort.empty())
                    std::filesystem::remove_all(m_removeOnAbort, ec);
                std::abort();
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::string m_step;
    std::string m_detail;
    std::string m_removeOnAbort;
    int m_nSeconds = 0;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_bArmed = false;
    bool m_bQuit = false;
    std::thread m_thread;
};

int threadCount()
{
    return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Recordings the demo disk lists: of the 60 it records, one is deleted and
// some are overrun (the Recovered node shows those).
const int kDemoRecordings = 53;

// The recordings of the recorder's listing (the recovered ones aside).
void collect(QStandardItem* pItem, QList<QStandardItem*>* pOut)
{
    if (pItem->data(LevelRole).toInt() == RecordLevel) {
        if (!pItem->data(StateRole).isValid())
            pOut->append(pItem);
        return;
    }
    for (int i = 0; i < pItem->rowCount(); ++i)
        collect(pItem->child(i), pOut);
}

QList<QStandardItem*> recordings(CDiskManagePage* pPage)
{
    QList<QStandardItem*> out;
    for (int i = 0; i < pPage->model()->rowCount(); ++i)
        collect(pPage->model()->item(i), &out);
    return out;
}

// The tree item that plays this path now (the tree is rebuilt by a reload).
QModelIndex itemOfPath(CDiskManagePage* pPage, const QString& strPath)
{
    for (QStandardItem* pItem : recordings(pPage)) {
        if (pPage->recordingPath(pItem->index()) == strPath)
            return pItem->index();
    }
    return QModelIndex();
}

int durationOf(const QString& strName)
{
    int nStart = 0;
    int nEnd = 0;
    if (!RecordTree::parseTimeRange(strName, &nStart, &nEnd))
        return 0;
    return (nEnd - nStart + 86400) % 86400;
}

// A recording of a recorder disk, read whole through the file layer; the disk
// lock is held per read, as the play threads and the export hold it.
QByteArray readRecording(const QString& strPath)
{
    QByteArray data;
    CFSFile file;
    const QByteArray path = strPath.toUtf8();
    if (!file.Open(path.constData(), CFSFile::modeRead))
        return data;
    auto& diskLock = CGlobalAppData::instance()->diskLock;
    using DiskLock = std::remove_reference_t<decltype(diskLock)>;
    uint64_t nLength = 0;
    {
        std::lock_guard<DiskLock> lock(diskLock);
        nLength = file.GetLength();
    }
    data.resize(int(nLength));
    uint64_t nGot = 0;
    while (nGot < nLength) {
        size_t n = 0;
        {
            std::lock_guard<DiskLock> lock(diskLock);
            n = file.Read(data.data() + nGot, size_t(std::min<uint64_t>(nLength - nGot, 512000)));
        }
        if (n == 0)
            break;
        nGot += n;
    }
    file.Close();
    data.resize(int(nGot));
    return data;
}

bool makeDisk(const QString& strImage, const QStringList& options, QString* pError)
{
    QProcess mk;
    mk.setProcessChannelMode(QProcess::MergedChannels);
    mk.start(ORVELLE_MKDISK, QStringList{strImage} + options);
    if (!mk.waitForFinished(kWaitMs) || mk.exitStatus() != QProcess::NormalExit || mk.exitCode() != 0) {
        *pError = QString("%1 %2: %3").arg(ORVELLE_MKDISK, options.join(' '), QString::fromLocal8Bit(mk.readAll()));
        return false;
    }
    qInfo().noquote() << QString::fromLocal8Bit(mk.readAll()).trimmed();
    return true;
}

}  // namespace

class TestLoad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void sixteenWindowsPlayTheDemoDisk();
    void exportThroughThePageWhileTheDriveCountChanges();
    void everyWindowPlaysAgainAfterTheReload();
    void exportOfItsOwnAcrossAReload();
    void everythingStopsCleanly();

private:
    quint64 pictures(int i) const { return m_pBox->videoWnd(i)->frame()->pictureCount(); }
    std::vector<quint64> allPictures() const;
    // Windows that have shown at least nMore pictures since base was taken
    // (and tells the watchdog).
    int windowsPast(const std::vector<quint64>& base, quint64 nMore);
    // Starts the chosen recordings in the sixteen windows as the user does:
    // click a window, double-click a recording in the tree.
    void startWindows();
    // Every recording of the list, read whole from the disk.
    void readRecordings(const QStringList& paths, QVector<QByteArray>* pData);

    QTemporaryDir m_dir;
    QString m_demo;    // the demo disk
    QString m_second;  // the disk that appears during the page's export
    QString m_third;   // the disk that appears during the export of its own
    int m_nThreadsAtStart = 0;
    int m_nThreadsPlaying = 0;
    Watchdog* m_pWatchdog = nullptr;
    QElapsedTimer m_clock;

    std::unique_ptr<COrvelle> m_pMain;
    CDiskManagePage* m_pPage = nullptr;
    CDisplayBox* m_pBox = nullptr;
    QStringList m_paths;  // what the sixteen windows play
    QString m_strFigures;
};

// New pictures each window must show at every check: a second of the demo's
// video (10 pictures a second).
const quint64 kNewPictures = 10;

std::vector<quint64> TestLoad::allPictures() const
{
    std::vector<quint64> v(kWindows, 0);
    for (int i = 0; i < kWindows; ++i)
        v[size_t(i)] = pictures(i);
    return v;
}

int TestLoad::windowsPast(const std::vector<quint64>& base, quint64 nMore)
{
    int n = 0;
    for (int i = 0; i < kWindows; ++i)
        n += pictures(i) >= base[size_t(i)] + nMore ? 1 : 0;
    m_pWatchdog->detail(std::to_string(n) + " of 16 windows showed " + std::to_string(nMore) + " new pictures");
    return n;
}

void TestLoad::startWindows()
{
    CPlayManage* pManage = CPlayManage::instance();
    for (int i = 0; i < kWindows; ++i) {
        const QModelIndex item = itemOfPath(m_pPage, m_paths.at(i));
        QVERIFY2(item.isValid(), qPrintable(m_paths.at(i)));
        m_pBox->onActive(i);
        m_pPage->onRecordTreeDoubleClicked(item);
        QCOMPARE(pManage->GetPlayFile(i), m_paths.at(i));
    }
}

void TestLoad::readRecordings(const QStringList& paths, QVector<QByteArray>* pData)
{
    pData->clear();
    for (const QString& path : paths) {
        pData->append(readRecording(path));
        QVERIFY2(pData->last().size() > 1024, qPrintable(path));
    }
}

void TestLoad::initTestCase()
{
    QLoggingCategory::setFilterRules("default.debug=false\norvelle.records.load.debug=false");
    wfs_log_set_route(WFS_LOG_SILENT);
    m_clock.start();
    QVERIFY(m_dir.isValid());
    m_nThreadsAtStart = threadCount();
    m_pWatchdog = new Watchdog;
    m_pWatchdog->removeOnAbort(m_dir.path().toStdString());
    CGlobalAppData::setAppDir(m_dir.path());
    CGlobalAppData::instance()->recordFormat = 0;

    m_demo = m_dir.path() + "/demo.img";
    m_second = m_dir.path() + "/second.img";
    m_third = m_dir.path() + "/third.img";
    QString error;
    m_pWatchdog->step("making the demo disk", kStepSeconds);
    QVERIFY2(makeDisk(m_demo, {"--demo"}, &error), qPrintable(error));
    for (const QString& image : {m_second, m_third}) {
        m_pWatchdog->step("making " + QFileInfo(image).fileName().toStdString(), kStepSeconds);
        const QString seed = image == m_second ? "2" : "3";
        QVERIFY2(makeDisk(image, {"--size", "1G", "--channels", "1", "--days", "1", "--per-day", "2", "--seed", seed},
                          &error),
                 qPrintable(error));
    }

    // The main window as the program shows it, over the demo disk alone.
    m_pWatchdog->step("start-up load of the demo disk", kStepSeconds);
    close_recorder_disks();
    clear_registered_drives();
    set_images_only(true);
    QVERIFY(CDiskManagePage::AddDiskImage(m_demo));
    m_pMain = std::make_unique<COrvelle>();
    m_pMain->show();
    m_pMain->fadeAnimation()->stop();  // the offscreen platform has no window opacity
    QVERIFY(QTest::qWaitForWindowExposed(m_pMain.get()));
    m_pMain->loadDisks();
    m_pPage = m_pMain->recordList()->diskPage();
    m_pBox = m_pMain->displayBox();
    QVERIFY(m_pPage->isLoaded());
    QCOMPARE(m_pPage->diskCount(), 1);
    const QList<QStandardItem*> all = recordings(m_pPage);
    QCOMPARE(all.size(), kDemoRecordings);

    // The sixteen longest recordings (every channel several times over), so
    // that the windows still play when the export and the reload come.
    QList<QStandardItem*> chosen = all;
    std::stable_sort(chosen.begin(), chosen.end(), [](QStandardItem* a, QStandardItem* b) {
        return durationOf(a->text()) > durationOf(b->text());
    });
    QSet<int> channels;
    for (QStandardItem* pItem : chosen.mid(0, kWindows)) {
        m_paths << m_pPage->recordingPath(pItem->index());
        channels.insert(pItem->data(ChannelRole).toInt());
    }
    QCOMPARE(channels.size(), 4);
    m_pWatchdog->disarm();
}

void TestLoad::cleanupTestCase()
{
    if (m_pMain) {
        m_pMain->stopLoading();
        m_pMain.reset();
    }
    CPlayManage::release();
    close_recorder_disks();
    clear_registered_drives();
    CGlobalAppData::release();
    delete m_pWatchdog;
    m_pWatchdog = nullptr;
    qInfo("%s", qPrintable(m_strFigures));
    qInfo("%.1f s in all", m_clock.elapsed() / 1000.0);
}

void TestLoad::sixteenWindowsPlayTheDemoDisk()
{
    m_pWatchdog->step("starting sixteen windows", kStepSeconds);
    QAction split16(nullptr);
    split16.setData(int(CDisplayBox::MenuSplit16));
    m_pBox->onMenuTriggered(&split16);
    QCOMPARE(m_pBox->windowCount(), kWindows);
    const std::vector<quint64> base = allPictures();
    startWindows();
    QTRY_COMPARE_WITH_TIMEOUT(windowsPast(base, kNewPictures), kWindows, kWaitMs);
    m_nThreadsPlaying = threadCount();
    m_pWatchdog->disarm();
}

// The program's export: the page's Export command on a day opens the export
// dialog, whose worker copies while the windows play. A second disk appears
// and the page's rescan comes while the export runs: the reload waits for
// the export, then starts with the next rescan and stops every window before
// the disks are read again.
void TestLoad::exportThroughThePageWhileTheDriveCountChanges()
{
    CPlayManage* pManage = CPlayManage::instance();
    QModelIndex first = itemOfPath(m_pPage, m_paths.first());
    QVERIFY(first.isValid());
    QStandardItem* pDate = m_pPage->model()->itemFromIndex(first)->parent()->parent();
    QCOMPARE(pDate->data(LevelRole).toInt(), int(DateLevel));
    QStringList exportPaths;
    for (QStandardItem* pItem : RecordTree::collectRecordings(pDate))
        exportPaths << m_pPage->recordingPath(pItem->index());
    QVERIFY(exportPaths.size() >= 4);
    m_pWatchdog->step("reading the recordings to export from the disk", kStepSeconds);
    QVector<QByteArray> exportData;
    readRecordings(exportPaths, &exportData);
    if (QTest::currentTestFailed())
        return;
    qint64 nExportBytes = 0;
    for (const QByteArray& data : exportData)
        nExportBytes += data.size();
    QVERIFY(CDiskManagePage::AddDiskImage(m_second));
    const QString dest = m_dir.path() + "/export";

    m_pWatchdog->step("export through the page while the drive count changes", kStepSeconds);
    bool bStarted = false;
    int nRescans = 0;
    int nReloadsDuringExport = 0;
    QString outcome;
    QStringList unexpected;
    QTimer driver;
    driver.setInterval(20);
    connect(&driver, &QTimer::timeout, [&]() {
        QWidget* pModal = QApplication::activeModalWidget();
        if (auto* pMsg = qobject_cast<CMessageBox*>(pModal)) {
            if (qobject_cast<CExportFileDlg*>(pMsg->parentWidget()))
                outcome = pMsg->text();
            else
                unexpected << pMsg->text();
            pMsg->buttons().at(0)->click();
            return;
        }
        auto* pDlg = qobject_cast<CExportFileDlg*>(pModal);
        if (!pDlg)
            return;
        if (!bStarted) {
            pDlg->pathEdit()->setText(dest);
            pDlg->formatBox()->setCurrentIndex(0);
            pDlg->startButton()->click();
            bStarted = true;
            // The worker copies now; its outcome cannot reach the dialog
            // before this returns, so the first rescan always comes while
            // the export runs.
        }
        if (pDlg->isRunning()) {
            // What the page's rescan timer does.
            ++nRescans;
            if (m_pPage->CheckDriveCount())
                ++nReloadsDuringExport;
            m_pWatchdog->detail(QString("export status \"%1\", progress %2, %3 rescans")
                                    .arg(pDlg->statusLabel()->text())
                                    .arg(pDlg->progressBar()->value())
                                    .arg(nRescans)
                                    .toStdString());
        }
    });
    driver.start();
    m_pPage->setCurrentRecordIndex(pDate->index());
    QAction exportAction(nullptr);
    exportAction.setData(int(CmdExport));
    m_pPage->onCommand(&exportAction);  // returns when the dialog has closed
    driver.stop();
    QVERIFY(bStarted);
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join('\n')));
    QCOMPARE(outcome, QString("Export Success"));
    QVERIFY(nRescans > 0);
    QCOMPARE(nReloadsDuringExport, 0);
    QCOMPARE(m_pPage->diskCount(), 1);

    // Every recording whole, where its path says, and listed in index.data.
    QByteArray index;
    for (int i = 0; i < exportPaths.size(); ++i) {
        const QString rel = exportPaths.at(i).mid(5);  // below "/mnt/"
        index += rel.toUtf8() + "\r\n";
        QFile copy(dest + "/" + rel);
        QVERIFY2(copy.open(QIODevice::ReadOnly), qPrintable(copy.fileName()));
        QCOMPARE(copy.size(), qint64(exportData.at(i).size()));
        QVERIFY2(copy.readAll() == exportData.at(i), qPrintable(copy.fileName()));
    }
    QFile indexFile(dest + "/index.data");
    QVERIFY(indexFile.open(QIODevice::ReadOnly));
    QCOMPARE(indexFile.readAll(), index);

    // The postponed reload: the next rescan starts it, and it stops every
    // window first.
    m_pWatchdog->step("reload after the page's export", kStepSeconds);
    int nPlayingAtReload = 0;
    for (int i = 0; i < kWindows; ++i)
        nPlayingAtReload += pManage->IsPlaying(i) ? 1 : 0;
    const std::vector<quint64> before = allPictures();
    QVERIFY(m_pPage->CheckDriveCount());
    for (int i = 0; i < kWindows; ++i) {
        QVERIFY2(!pManage->IsPlaying(i), qPrintable(QString("window %1 still plays during the reload").arg(i)));
        QVERIFY(pManage->GetPlayFile(i).isEmpty());
    }
    QVERIFY(!m_pPage->CheckDriveCount());  // one load at a time
    // While the disks are read, the Play button of a closed window finds no
    // recording to play: the old tree is gone.
    m_pBox->onActive(0);
    m_pBox->onControlBtnClicked(playbuttons::PlayPause);
    QVERIFY(!pManage->IsPlaying(0));
    QTRY_VERIFY_WITH_TIMEOUT(m_pPage->isLoaded() && !m_pPage->isLoading(), kWaitMs);
    QCOMPARE(m_pPage->diskCount(), 2);
    QCOMPARE(recordings(m_pPage).size(), kDemoRecordings + 2);
    QCOMPARE(m_pPage->model()->rowCount(), 2);
    for (int i = 0; i < kWindows; ++i)
        QVERIFY2(!pManage->IsPlaying(i), qPrintable(QString("window %1 plays after the reload").arg(i)));
    quint64 nPictures = 0;
    for (quint64 n : before)
        nPictures += n;
    m_strFigures += QString("page export: %1 recordings, %2 bytes, %3 rescans while it ran, none reloaded; "
                            "%4 of 16 windows playing when the reload came, %5 pictures shown before it\n")
                        .arg(exportPaths.size())
                        .arg(nExportBytes)
                        .arg(nRescans)
                        .arg(nPlayingAtReload)
                        .arg(nPictures);
    m_pWatchdog->disarm();
}

void TestLoad::everyWindowPlaysAgainAfterTheReload()
{
    m_pWatchdog->step("starting the windows again after the reload", kStepSeconds);
    const std::vector<quint64> base = allPictures();
    startWindows();
    QTRY_COMPARE_WITH_TIMEOUT(windowsPast(base, kNewPictures), kWindows, kWaitMs);
    quint64 nNew = 0;
    for (int i = 0; i < kWindows; ++i)
        nNew += pictures(i) - base[size_t(i)];
    m_strFigures += QString("after the reload: all 16 windows play again, %1 new pictures\n").arg(nNew);
    m_pWatchdog->disarm();
}

// An export job run on a worker of its own, as the dialog runs it, but not
// through the page: nothing makes the reload wait for it. The job is held
// inside a recording (its file open) until a third disk has appeared and the
// page has read the disks again; then it reads on. The file layer's handles
// opened before a re-initialisation are no longer valid: the recording that
// was open ends as a reported break, every other recording is copied whole
// and listed, and nothing crashes or hangs. The windows play again after.
void TestLoad::exportOfItsOwnAcrossAReload()
{
    CPlayManage* pManage = CPlayManage::instance();
    // The day of the longest recording: one recording is longer than a copy
    // chunk, so the job can be held inside it.
    QModelIndex first = itemOfPath(m_pPage, m_paths.first());
    QVERIFY(first.isValid());
    QStandardItem* pChannel = m_pPage->model()->itemFromIndex(first)->parent();
    QStringList exportPaths;
    for (QStandardItem* pItem : RecordTree::collectRecordings(pChannel))
        exportPaths << m_pPage->recordingPath(pItem->index());
    m_pWatchdog->step("reading the recordings to export from the disk", kStepSeconds);
    QVector<QByteArray> exportData;
    readRecordings(exportPaths, &exportData);
    if (QTest::currentTestFailed())
        return;
    int nLong = -1;
    for (int i = 0; i < exportData.size() && nLong < 0; ++i)
        if (exportData.at(i).size() > CExportJob::kChunkSize)
            nLong = i;
    QVERIFY2(nLong >= 0, "no recording of the channel is longer than a copy chunk");

    const QString dest = m_dir.path() + "/export2";
    CExportJob job;
    job.setPaths(exportPaths);
    job.setDestination(dest);
    job.setFormat(CExportJob::FormatH264);
    job.setDiskLock(&CGlobalAppData::instance()->diskLock);
    // The gate holds the worker at the first progress inside a recording
    // (std primitives: ThreadSanitizer sees them, not a QMutex of Qt).
    std::mutex gateMutex;
    std::condition_variable gateCond;
    bool bGateOpen = false;
    std::atomic<int> nHeld{0};
    std::atomic<int> nCurrent{-1};
    connect(&job, &CExportJob::updateExportStatus, &job, [&](QString) { nCurrent.fetch_add(1); },
            Qt::DirectConnection);
    connect(&job, &CExportJob::updateProcess, &job,
            [&](int nPos) {
                if (nPos <= 0 || nPos >= 1000 || nHeld.load() != 0)
                    return;
                std::unique_lock<std::mutex> lock(gateMutex);
                nHeld.store(nCurrent.load() + 1);  // 1-based
                gateCond.wait(lock, [&] { return bGateOpen; });
            },
            Qt::DirectConnection);
    QString outcome;
    connect(&job, &CExportJob::showMessage, this, [&](QString text) { outcome = text; }, Qt::QueuedConnection);

    m_pWatchdog->step("export of its own: until it is inside a recording", kStepSeconds);
    CMyThread worker;
    auto openGate = [&]() {
        std::lock_guard<std::mutex> lock(gateMutex);
        bGateOpen = true;
        gateCond.notify_all();
    };
    // Whatever happens below, the worker is let go and ended before the job
    // and the gate go out of scope.
    struct Release {
        std::function<void()> fn;
        ~Release() { fn(); }
    } release{[&]() {
        openGate();
        job.requestStop();
        worker.join();
    }};
    QVERIFY(worker.startJob([&job] { job.run(); }));
    QTRY_VERIFY_WITH_TIMEOUT(nHeld.load() != 0, kWaitMs);
    const int nHeldAt = nHeld.load() - 1;
    QCOMPARE(nHeldAt, nLong);

    m_pWatchdog->step("export of its own: the reload under it", kStepSeconds);
    int nPlayingAtReload = 0;
    for (int i = 0; i < kWindows; ++i)
        nPlayingAtReload += pManage->IsPlaying(i) ? 1 : 0;
    QVERIFY(CDiskManagePage::AddDiskImage(m_third));
    QVERIFY(m_pPage->CheckDriveCount());
    for (int i = 0; i < kWindows; ++i)
        QVERIFY2(!pManage->IsPlaying(i), qPrintable(QString("window %1 still plays during the reload").arg(i)));
    QTRY_VERIFY_WITH_TIMEOUT(m_pPage->isLoaded() && !m_pPage->isLoading(), kWaitMs);
    QCOMPARE(m_pPage->diskCount(), 3);
    QCOMPARE(recordings(m_pPage).size(), kDemoRecordings + 2 + 2);

    // The windows play again while the job reads on.
    m_pWatchdog->step("export of its own: reading on after the reload", kStepSeconds);
    const std::vector<quint64> base = allPictures();
    startWindows();
    openGate();
    QTRY_VERIFY_WITH_TIMEOUT(worker.join(0), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!outcome.isEmpty(), 60000);
    m_pWatchdog->step("export of its own: the windows play again", kStepSeconds);
    QTRY_COMPARE_WITH_TIMEOUT(windowsPast(base, kNewPictures), kWindows, kWaitMs);

    // What was listed is whole; what was not listed was reported.
    QStringList failed;
    for (const CExportJob::Failure& f : job.failures())
        failed << f.strName + ": " + f.strReason;
    QByteArray index;
    int nWhole = 0;
    for (int i = 0; i < exportPaths.size(); ++i) {
        const QString rel = exportPaths.at(i).mid(5);
        QString reason;
        for (const CExportJob::Failure& f : job.failures())
            if (f.strName == rel)
                reason = f.strReason;
        QFile copy(dest + "/" + rel);
        if (!reason.isEmpty()) {
            QCOMPARE(i, nHeldAt);
            QVERIFY2(reason.startsWith("Reading ended after"), qPrintable(reason));
            // A break keeps what was read: the start of the recording.
            if (copy.open(QIODevice::ReadOnly))
                QVERIFY2(exportData.at(i).startsWith(copy.readAll()), qPrintable(copy.fileName()));
            continue;
        }
        index += rel.toUtf8() + "\r\n";
        QVERIFY2(copy.open(QIODevice::ReadOnly), qPrintable(copy.fileName()));
        QCOMPARE(copy.size(), qint64(exportData.at(i).size()));
        QVERIFY2(copy.readAll() == exportData.at(i), qPrintable(copy.fileName()));
        ++nWhole;
    }
    QFile indexFile(dest + "/index.data");
    QVERIFY(indexFile.open(QIODevice::ReadOnly));
    QCOMPARE(indexFile.readAll(), index);
    QCOMPARE(outcome, job.resultMessage());
    // Only the recording that was open across the reload may have broken off.
    QVERIFY2(nWhole >= exportPaths.size() - 1, qPrintable(failed.join('\n')));
    m_strFigures += QString("export of its own across a reload: %1 recordings, %2 whole, %3 reported (%4); "
                            "%5 of 16 windows playing when the reload came; all 16 play again\n")
                        .arg(exportPaths.size())
                        .arg(nWhole)
                        .arg(failed.size())
                        .arg(failed.join("; "))
                        .arg(nPlayingAtReload);
    m_pWatchdog->disarm();
}

void TestLoad::everythingStopsCleanly()
{
    m_pWatchdog->step("stopping everything", kStepSeconds);
    CPlayManage* pManage = CPlayManage::instance();
    QAction closeAll(nullptr);
    closeAll.setData(int(CDisplayBox::MenuCloseAll));
    m_pBox->onMenuTriggered(&closeAll);
    for (int i = 0; i < kWindows; ++i)
        QVERIFY(!pManage->IsPlaying(i));
    m_pMain->stopLoading();
    m_pMain.reset();
    CPlayManage::release();
    close_recorder_disks();
    // Every thread that play, export and loading started has ended (the
    // watchdog's is the one left over).
    QTRY_VERIFY_WITH_TIMEOUT(threadCount() <= m_nThreadsAtStart + 1, 60000);
    m_strFigures += QString("threads: %1 at start, %2 while 16 windows play, %3 at the end")
                        .arg(m_nThreadsAtStart)
                        .arg(m_nThreadsPlaying)
                        .arg(threadCount());
    m_pWatchdog->disarm();
}

QTEST_MAIN(TestLoad)
#include "tst_load.moc"
