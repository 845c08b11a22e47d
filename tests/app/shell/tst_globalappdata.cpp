// The settings store: "Config.ini" round trips, defaults and Backup folders,
// the user's folders (XDG) for an installed program and when the program's
// folder is read-only, and the shared run-time data (sync queue, record
// days, disk drives).

#include "app/shell/GlobalAppData.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

QStringList g_log;

void captureLog(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_log << message;
}

void writeIni(const QString& path, const QMap<QString, QVariant>& values)
{
    QSettings settings(path, QSettings::IniFormat);
    for (auto it = values.begin(); it != values.end(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
}

}  // namespace

class TestGlobalAppData : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void missingConfigGivesDefaultsAndWritesFourKeys();
    void settingsRoundTripAndVersionSurvives();
    void emptyOrBadValuesFallBackToDefaults();
    void caseDetailsRoundTripInTheirOwnGroup();
    void unwritableFolderFallsBackToUserFolders();
    void installedProgramKeepsOutOfItsFolders();
    void userFoldersFollowTheXdgSettings();
    void readOnlyInstallKeepsShippedVersion();
    void releaseWithoutInstanceIsHarmless();

    void syncQueueTakesInOrderAndClears();
    void syncQueueHandsEachPathToOneThread();
    void setCurrentDateAnnouncesTheDate();
    void recordDaysAreKeptPerSource();
    void diskDrivesByDiskNumber();

private:
    QTemporaryDir* m_pDir = nullptr;
    QString m_strAppDir;
};

void TestGlobalAppData::init()
{
    m_pDir = new QTemporaryDir;
    QVERIFY(m_pDir->isValid());
    m_strAppDir = m_pDir->path() + "/app";
    QVERIFY(QDir().mkpath(m_strAppDir));
    // The user's folders of this test: a HOME of its own.
    qputenv("HOME", QFile::encodeName(m_pDir->path() + "/home"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_pDir->path() + "/xdg-config"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_pDir->path() + "/xdg-data"));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_pDir->path() + "/xdg-cache"));
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_pDir->path() + "/xdg-state"));
    CGlobalAppData::setAppDir(m_strAppDir);
}

void TestGlobalAppData::cleanup()
{
    CGlobalAppData::release();
    delete m_pDir;
    m_pDir = nullptr;
}

void TestGlobalAppData::missingConfigGivesDefaultsAndWritesFourKeys()
{
    CGlobalAppData* data = CGlobalAppData::instance();
    QCOMPARE(CGlobalAppData::instance(), data);
    QVERIFY(!data->usesFallbackConfig());
    QCOMPARE(data->configFilePath(), m_strAppDir + "/Config.ini");
    QCOMPARE(data->capturePath, m_strAppDir + "/Backup/Picture");
    QCOMPARE(data->recordPath, m_strAppDir + "/Backup/Record");
    QCOMPARE(data->recordFormat, 0);
    QCOMPARE(data->language, QString("English"));
    QCOMPARE(data->version, QString());
    QVERIFY(QDir(data->capturePath).exists());
    QVERIFY(QDir(data->recordPath).exists());
    QCOMPARE(data->mediaWorkDir(), m_strAppDir + "/Temp/");
    QCOMPARE(CGlobalAppData::appDir(), m_strAppDir);
    QCOMPARE(applocations::locate().strCrashDir, m_strAppDir);
    QCOMPARE(data->currentDate, QDate::currentDate());
    QCOMPARE(data->earliestSyncWindow.load(), -1);
    QCOMPARE(data->latestSyncWindow.load(), -1);

    CGlobalAppData::release();
    QSettings written(m_strAppDir + "/Config.ini", QSettings::IniFormat);
    QCOMPARE(written.allKeys().size(), 4);
    QCOMPARE(written.value("Paths/capture").toString(), m_strAppDir + "/Backup/Picture");
    QCOMPARE(written.value("Paths/record").toString(), m_strAppDir + "/Backup/Record");
    QCOMPARE(written.value("Record/Format").toInt(), 0);
    QCOMPARE(written.value("themes/Solution").toString(), QString("English"));
    QVERIFY(!written.contains("Info/Version"));
}

void TestGlobalAppData::settingsRoundTripAndVersionSurvives()
{
    const QString capture = m_pDir->path() + "/deep/er/pictures";
    writeIni(m_strAppDir + "/Config.ini", {{"Paths/capture", capture},
                                           {"Paths/record", m_pDir->path() + "/rec"},
                                           {"Record/Format", 5},
                                           {"themes/Solution", "Russian"},
                                           {"Info/Version", "V2.0.1 build 7"}});
    CGlobalAppData* data = CGlobalAppData::instance();
    QCOMPARE(data->capturePath, capture);
    QVERIFY2(QDir(capture).exists(), "a configured folder that is missing is made with its parents");
    QCOMPARE(data->recordFormat, 5);
    QCOMPARE(data->language, QString("Russian"));
    QCOMPARE(data->version, QString("V2.0.1 build 7"));

    data->capturePath = m_pDir->path() + "/pics2";
    data->recordPath = m_pDir->path() + "/rec2";
    data->recordFormat = 1;
    data->language = "SimpChinese";
    data->version = "changed in memory";
    CGlobalAppData::release();

    QSettings written(m_strAppDir + "/Config.ini", QSettings::IniFormat);
    QCOMPARE(written.value("Info/Version").toString(), QString("V2.0.1 build 7"));
    QCOMPARE(written.value("Record/Format").toInt(), 1);

    data = CGlobalAppData::instance();
    QCOMPARE(data->capturePath, m_pDir->path() + "/pics2");
    QCOMPARE(data->recordPath, m_pDir->path() + "/rec2");
    QCOMPARE(data->recordFormat, 1);
    QCOMPARE(data->language, QString("SimpChinese"));
    QCOMPARE(data->version, QString("V2.0.1 build 7"));
}

void TestGlobalAppData::emptyOrBadValuesFallBackToDefaults()
{
    writeIni(m_strAppDir + "/Config.ini", {{"Paths/capture", ""},
                                           {"Paths/record", ""},
                                           {"Record/Format", "main"},
                                           {"themes/Solution", ""}});
    CGlobalAppData* data = CGlobalAppData::instance();
    QCOMPARE(data->capturePath, m_strAppDir + "/Backup/Picture");
    QCOMPARE(data->recordPath, m_strAppDir + "/Backup/Record");
    QCOMPARE(data->recordFormat, 0);
    QCOMPARE(data->language, QString("English"));
}

void TestGlobalAppData::caseDetailsRoundTripInTheirOwnGroup()
{
    const QString ini = m_strAppDir + "/Config.ini";
    writeIni(ini, {{"Paths/record", m_pDir->path() + "/rec"}, {"Info/Version", "V2.0.1"}});
    CGlobalAppData* data = CGlobalAppData::instance();
    QCOMPARE(data->caseDetails.caseNumber, QString());
    QCOMPARE(data->caseDetails.clockOffsetS, 0);

    // Texts an INI file treats specially: separators, quotes, line breaks,
    // non-Latin letters.
    data->caseDetails.caseNumber = "2026/0417-B; [sealed] = yes";
    data->caseDetails.examiner = QString::fromUtf8("Ирина Петрова, 王芳");
    data->caseDetails.evidenceNumber = "EV-12, bag 3";
    data->caseDetails.notes = "Seized at the kiosk.\n\"Clock\" checked\\against the phone.\r\nTwo lines.";
    data->caseDetails.clockOffsetS = -3725;
    CGlobalAppData::release();

    QFile file(ini);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY2(text.contains("[Case]\n"), qPrintable(text));
    for (const char* key : {"CaseNumber=", "Examiner=", "EvidenceNumber=", "Notes=", "ClockOffset=-3725"})
        QVERIFY2(text.contains(QString("\n") + key), key);
    {
        QSettings written(ini, QSettings::IniFormat);
        QCOMPARE(written.allKeys().size(), 10);  // the four, "Info/Version" and the five of the case
        QCOMPARE(written.value("Info/Version").toString(), QString("V2.0.1"));
        QCOMPARE(written.value("Paths/record").toString(), m_pDir->path() + "/rec");
    }

    data = CGlobalAppData::instance();
    QCOMPARE(data->caseDetails.caseNumber, QString("2026/0417-B; [sealed] = yes"));
    QCOMPARE(data->caseDetails.examiner, QString::fromUtf8("Ирина Петрова, 王芳"));
    QCOMPARE(data->caseDetails.evidenceNumber, QString("EV-12, bag 3"));
    QCOMPARE(data->caseDetails.notes, QString("Seized at the kiosk.\n\"Clock\" checked\\against the phone.\r\nTwo lines."));
    QCOMPARE(data->caseDetails.clockOffsetS, -3725);

    // Fields emptied in a dialog are emptied in the file, not left stale.
    data->caseDetails = CaseDetails();
    CGlobalAppData::release();
    data = CGlobalAppData::instance();
    QCOMPARE(data->caseDetails.caseNumber, QString());
    QCOMPARE(data->caseDetails.notes, QString());
    QCOMPARE(data->caseDetails.clockOffsetS, 0);
    CGlobalAppData::release();

    // A hand-edited offset that is no number counts as none.
    writeIni(ini, {{"Case/ClockOffset", "ten minutes"}, {"Case/Examiner", "J. Smith"}});
    data = CGlobalAppData::instance();
    QCOMPARE(data->caseDetails.clockOffsetS, 0);
    QCOMPARE(data->caseDetails.examiner, QString("J. Smith"));
}

void TestGlobalAppData::unwritableFolderFallsBackToUserFolders()
{
    // A folder below a regular file can be neither made nor written, for
    // root as well.
    QFile blocker(m_pDir->path() + "/blocker");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CGlobalAppData::setAppDir(blocker.fileName() + "/app");

    g_log.clear();
    QtMessageHandler previous = qInstallMessageHandler(captureLog);
    CGlobalAppData* data = CGlobalAppData::instance();
    qInstallMessageHandler(previous);

    const QString userConfig = m_pDir->path() + "/xdg-config/Orvelle/Config.ini";
    QVERIFY(data->usesFallbackConfig());
    QCOMPARE(data->configFilePath(), userConfig);
    QVERIFY2(g_log.join('\n').contains("not writable"), qPrintable(g_log.join('\n')));
    QVERIFY(g_log.join('\n').contains(userConfig));
    QCOMPARE(data->capturePath, m_pDir->path() + "/home/Videos/Orvelle/Picture");
    QCOMPARE(data->recordPath, m_pDir->path() + "/home/Videos/Orvelle/Record");
    QVERIFY(QDir(data->capturePath).exists());
    QVERIFY(QDir(data->recordPath).exists());
    QCOMPARE(data->mediaWorkDir(), m_pDir->path() + "/xdg-cache/Orvelle/Temp/");

    data->language = "Russian";
    data->recordFormat = 5;
    CGlobalAppData::release();
    QVERIFY2(QFile::exists(userConfig), "the settings are not lost");

    data = CGlobalAppData::instance();
    QCOMPARE(data->language, QString("Russian"));
    QCOMPARE(data->recordFormat, 5);
}

void TestGlobalAppData::installedProgramKeepsOutOfItsFolders()
{
    // bin/ and share/orvelle/ under one prefix, both writable (as for root):
    // the resources come from share/orvelle, everything written goes to the
    // user's folders.
    const QString prefix = m_pDir->path() + "/usr";
    QVERIFY(QDir().mkpath(prefix + "/bin"));
    QVERIFY(QDir().mkpath(prefix + "/share/orvelle/skin"));
    CGlobalAppData::setAppDir(prefix + "/bin");
    QCOMPARE(CGlobalAppData::appDir(), prefix + "/share/orvelle");

    g_log.clear();
    QtMessageHandler previous = qInstallMessageHandler(captureLog);
    CGlobalAppData* data = CGlobalAppData::instance();
    qInstallMessageHandler(previous);
    QVERIFY(data->usesFallbackConfig());
    QCOMPARE(data->configFilePath(), m_pDir->path() + "/xdg-config/Orvelle/Config.ini");
    QVERIFY2(g_log.join('\n').contains("installed"), qPrintable(g_log.join('\n')));
    QCOMPARE(data->capturePath, m_pDir->path() + "/home/Videos/Orvelle/Picture");
    QCOMPARE(data->mediaWorkDir(), m_pDir->path() + "/xdg-cache/Orvelle/Temp/");
    CGlobalAppData::release();
    QVERIFY(QFile::exists(m_pDir->path() + "/xdg-config/Orvelle/Config.ini"));
    QCOMPARE(QDir(prefix + "/bin").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(QDir(prefix + "/share/orvelle").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"skin"});

    // A skin beside the executable wins: a portable copy keeps its files.
    QVERIFY(QDir().mkpath(prefix + "/bin/skin"));
    QCOMPARE(CGlobalAppData::appDir(), prefix + "/bin");
    data = CGlobalAppData::instance();
    QVERIFY(!data->usesFallbackConfig());
    QCOMPARE(data->capturePath, prefix + "/bin/Backup/Picture");
}

void TestGlobalAppData::userFoldersFollowTheXdgSettings()
{
    const QString home = m_pDir->path() + "/home";
    CGlobalAppData::setAppDir(m_pDir->path() + "/usr/bin");
    QVERIFY(QDir().mkpath(m_pDir->path() + "/usr/share/orvelle/skin"));

    // The videos folder of user-dirs.dirs, in $HOME-relative form.
    QFile dirs(m_pDir->path() + "/xdg-config/user-dirs.dirs");
    QVERIFY(QDir().mkpath(m_pDir->path() + "/xdg-config"));
    QVERIFY(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
    dirs.close();
    applocations::Folders folders = applocations::locate();
    QVERIFY(folders.bUserFolders && folders.bInstalled);
    QCOMPARE(folders.strCaptureDir, home + "/Filme/Orvelle/Picture");
    QCOMPARE(folders.strRecordDir, home + "/Filme/Orvelle/Record");
    QCOMPARE(folders.strCrashDir, m_pDir->path() + "/xdg-state/Orvelle");
    dirs.remove();

    // Unset (or relative, which the rules say to ignore) XDG variables give
    // the documented defaults under HOME.
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_CACHE_HOME");
    qputenv("XDG_STATE_HOME", "relative/state");
    folders = applocations::locate();
    QCOMPARE(folders.strConfigDir, home + "/.config/Orvelle");
    QCOMPARE(folders.strCaptureDir, home + "/Videos/Orvelle/Picture");
    QCOMPARE(folders.strMediaWorkDir, home + "/.cache/Orvelle/Temp/");
    QCOMPARE(folders.strCrashDir, home + "/.local/state/Orvelle");
    qunsetenv("XDG_STATE_HOME");
    QCOMPARE(applocations::locate().strCrashDir, home + "/.local/state/Orvelle");
}

void TestGlobalAppData::readOnlyInstallKeepsShippedVersion()
{
    if (::geteuid() == 0)
        QSKIP("permission bits do not stop root");
    writeIni(m_strAppDir + "/Config.ini", {{"Info/Version", "1.4.0"}, {"themes/Solution", "Russian"}});
    QFile::setPermissions(m_strAppDir + "/Config.ini", QFile::ReadOwner | QFile::ReadGroup);
    QFile::setPermissions(m_strAppDir, QFile::ReadOwner | QFile::ExeOwner);

    QtMessageHandler previous = qInstallMessageHandler(captureLog);
    CGlobalAppData* data = CGlobalAppData::instance();
    qInstallMessageHandler(previous);
    QVERIFY(data->usesFallbackConfig());
    QCOMPARE(data->version, QString("1.4.0"));
    QCOMPARE(data->language, QString("Russian"));
    CGlobalAppData::release();
    QFile::setPermissions(m_strAppDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QSettings shipped(m_strAppDir + "/Config.ini", QSettings::IniFormat);
    QCOMPARE(shipped.allKeys().size(), 2);
}

void TestGlobalAppData::releaseWithoutInstanceIsHarmless()
{
    CGlobalAppData::release();
    CGlobalAppData::release();
    QVERIFY(!QFile::exists(m_strAppDir + "/Config.ini"));
}

void TestGlobalAppData::syncQueueTakesInOrderAndClears()
{
    CGlobalAppData* data = CGlobalAppData::instance();
    data->syncQueue[0] = QStringList{"/mnt/idea0/a", "/mnt/idea0/b"};
    data->syncQueue[3] = QStringList{"/mnt/idea0/c"};
    data->syncQueue[5] = QStringList{};

    QCOMPARE(data->takeNextSyncPath(0), QString("/mnt/idea0/a"));
    QCOMPARE(data->takeNextSyncPath(0), QString("/mnt/idea0/b"));
    QCOMPARE(data->takeNextSyncPath(0), QString());
    QCOMPARE(data->takeNextSyncPath(5), QString());
    QCOMPARE(data->takeNextSyncPath(9), QString());

    QCOMPARE(data->clearSyncQueue(3), 1);
    QCOMPARE(data->clearSyncQueue(3), 0);
    QCOMPARE(data->clearSyncQueue(-1), 2);
    QVERIFY(data->syncQueue.isEmpty());
}

void TestGlobalAppData::syncQueueHandsEachPathToOneThread()
{
    CGlobalAppData* data = CGlobalAppData::instance();
    const int kPaths = 4000;
    QStringList paths;
    for (int i = 0; i < kPaths; ++i)
        paths << QString("/mnt/idea0/%1").arg(i);
    data->syncQueue[2] = paths;

    std::vector<QStringList> taken(4);
    // std threads: ThreadSanitizer sees their join (not QThread::wait()).
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([data, &taken, t]() {
            for (;;) {
                const QString p = data->takeNextSyncPath(2);
                if (p.isEmpty())
                    return;
                taken[t] << p;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QStringList all;
    for (const QStringList& list : taken)
        all << list;
    QCOMPARE(all.size(), kPaths);
    all.removeDuplicates();
    QCOMPARE(all.size(), kPaths);
}

void TestGlobalAppData::setCurrentDateAnnouncesTheDate()
{
    CGlobalAppData* data = CGlobalAppData::instance();
    QSignalSpy spy(data, &CGlobalAppData::updateRecord);
    data->setCurrentDate(QDate(2023, 2, 28));
    QCOMPARE(data->currentDate, QDate(2023, 2, 28));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toDate(), QDate(2023, 2, 28));
}

void TestGlobalAppData::recordDaysAreKeptPerSource()
{
    CGlobalAppData* data = CGlobalAppData::instance();
    data->addRecordDate(CGlobalAppData::DiskDates, QDate(2024, 2, 29));
    data->addRecordDate(CGlobalAppData::DiskDates, QDate(2024, 2, 29));
    data->addRecordDate(CGlobalAppData::LocalDates, QDate(2024, 3, 1));
    data->addRecordDate(CGlobalAppData::LocalDates, QDate());
    QCOMPARE(int(data->diskRecordDates.size()), 1);
    QCOMPARE(int(data->localRecordDates.size()), 1);
    QVERIFY(data->hasRecordDate(CGlobalAppData::DiskDates, QDate(2024, 2, 29)));
    QVERIFY(!data->hasRecordDate(CGlobalAppData::LocalDates, QDate(2024, 2, 29)));
    QVERIFY(!data->hasRecordDate(CGlobalAppData::DiskDates, QDate()));
    QCOMPARE(data->diskRecordDates.begin()->toDate(), QDate(2024, 2, 29));

    // Ordered by year, then month, then day.
    data->addRecordDate(CGlobalAppData::DiskDates, QDate(2023, 12, 31));
    data->addRecordDate(CGlobalAppData::DiskDates, QDate(2024, 1, 2));
    QCOMPARE(data->diskRecordDates.begin()->toDate(), QDate(2023, 12, 31));
    QCOMPARE(data->diskRecordDates.rbegin()->toDate(), QDate(2024, 2, 29));

    data->clearRecordDates(CGlobalAppData::DiskDates);
    QVERIFY(data->diskRecordDates.empty());
    QCOMPARE(int(data->localRecordDates.size()), 1);
}

void TestGlobalAppData::diskDrivesByDiskNumber()
{
    CGlobalAppData* data = CGlobalAppData::instance();
    data->setDiskDrive(1, 3, "/tmp/recorder.img");
    QCOMPARE(data->diskDriveNumber(1), 3);
    QCOMPARE(data->diskSource(1), QString("/tmp/recorder.img"));
    QCOMPARE(data->diskDriveNumber(0), -1);   // a gap stays unknown
    QCOMPARE(data->diskDriveNumber(-1), -1);
    data->setDiskDrive(100000, 1, "x");       // ignored, no huge table
    QCOMPARE(data->diskDriveCount(), 2);
    data->clearDiskDrives();
    QCOMPARE(data->diskDriveNumber(1), -1);
}

QTEST_GUILESS_MAIN(TestGlobalAppData)
#include "tst_globalappdata.moc"
