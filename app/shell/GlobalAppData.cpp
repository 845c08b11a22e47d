#include "app/shell/GlobalAppData.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <mutex>

namespace {

const char* const kConfigName = "Config.ini";
const char* const kKeyCapture = "Paths/capture";
const char* const kKeyRecord = "Paths/record";
const char* const kKeyFormat = "Record/Format";
const char* const kKeyLanguage = "themes/Solution";
const char* const kKeyVersion = "Info/Version";
const char* const kDefaultLanguage = "English";
const char* const kCaseGroup = "Case";
const char* const kKeyCaseNumber = "Case/CaseNumber";
const char* const kKeyExaminer = "Case/Examiner";
const char* const kKeyEvidenceNumber = "Case/EvidenceNumber";
const char* const kKeyNotes = "Case/Notes";
const char* const kKeyClockOffset = "Case/ClockOffset";

std::mutex g_instanceMutex;
std::atomic<CGlobalAppData*> g_instance{nullptr};

}  // namespace

// ---------------------------------------------------------------------------
// RecordDay

RecordDay RecordDay::fromDate(const QDate& date)
{
    RecordDay d;
    if (date.isValid()) {
        d.year = date.year();
        d.month = static_cast<quint16>(date.month());
        d.day = static_cast<quint16>(date.day());
    }
    return d;
}

QDate RecordDay::toDate() const
{
    return QDate(year, month, day);
}

bool RecordDay::operator<(const RecordDay& other) const
{
    if (year != other.year)
        return year < other.year;
    if (month != other.month)
        return month < other.month;
    return day < other.day;
}

bool RecordDay::operator==(const RecordDay& other) const
{
    return year == other.year && month == other.month && day == other.day;
}

// ---------------------------------------------------------------------------
// Instance

CGlobalAppData* CGlobalAppData::instance()
{
    CGlobalAppData* p = g_instance.load(std::memory_order_acquire);
    if (p)
        return p;
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    p = g_instance.load(std::memory_order_relaxed);
    if (!p) {
        p = new CGlobalAppData();
        g_instance.store(p, std::memory_order_release);
    }
    return p;
}

void CGlobalAppData::release()
{
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    CGlobalAppData* p = g_instance.exchange(nullptr);
    if (!p)
        return;
    p->save();
    delete p;
}

void CGlobalAppData::setAppDir(const QString& strDir)
{
    applocations::setBaseDir(strDir);
}

QString CGlobalAppData::appDir()
{
    return applocations::resourceDir();
}

CGlobalAppData::CGlobalAppData()
    : m_strAppDir(appDir())
    , m_folders(applocations::locate())
{
    currentDate = QDate::currentDate();
    load();
}

CGlobalAppData::~CGlobalAppData() = default;

// ---------------------------------------------------------------------------
// Load and save

void CGlobalAppData::load()
{
    // Settings shipped with the program sit beside its other resources.
    const QString appConfig = m_strAppDir + "/" + kConfigName;
    m_bFallback = m_folders.bUserFolders;
    m_strConfigFile = m_folders.strConfigDir + "/" + kConfigName;

    QString readFrom = m_strConfigFile;
    if (m_bFallback) {
        QDir().mkpath(m_folders.strConfigDir);
        // The user's copy wins once it exists; until then start from the
        // settings shipped with the program.
        if (!QFileInfo::exists(m_strConfigFile))
            readFrom = appConfig;
        if (m_folders.bInstalled)
            qInfo().noquote() << "Config.ini: an installed program, settings are kept in" << m_strConfigFile;
        else
            qWarning().noquote() << QString("Config.ini: %1 is not writable, settings are kept in %2")
                                        .arg(applocations::baseDir(), m_strConfigFile);
    }

    {
        QSettings settings(readFrom, QSettings::IniFormat);
        capturePath = settings.value(kKeyCapture, QString()).toString();
        recordPath = settings.value(kKeyRecord, QString()).toString();
        bool ok = false;
        recordFormat = settings.value(kKeyFormat, 0).toInt(&ok);
        if (!ok)
            recordFormat = 0;
        language = settings.value(kKeyLanguage, QString(kDefaultLanguage)).toString();
        if (language.isEmpty())
            language = kDefaultLanguage;
        version = settings.value(kKeyVersion, QString()).toString();
        caseDetails.caseNumber = settings.value(kKeyCaseNumber, QString()).toString();
        caseDetails.examiner = settings.value(kKeyExaminer, QString()).toString();
        caseDetails.evidenceNumber = settings.value(kKeyEvidenceNumber, QString()).toString();
        caseDetails.notes = settings.value(kKeyNotes, QString()).toString();
        caseDetails.clockOffsetS = settings.value(kKeyClockOffset, 0).toInt(&ok);
        if (!ok)
            caseDetails.clockOffsetS = 0;
    }
    // The version belongs to the installed program: prefer the one shipped
    // beside the executable over an older copy in the user's folder.
    if (m_bFallback && readFrom != appConfig && QFileInfo::exists(appConfig)) {
        QSettings shipped(appConfig, QSettings::IniFormat);
        const QString shippedVersion = shipped.value(kKeyVersion, QString()).toString();
        if (!shippedVersion.isEmpty())
            version = shippedVersion;
    }

    if (capturePath.isEmpty())
        capturePath = m_folders.strCaptureDir;
    if (recordPath.isEmpty())
        recordPath = m_folders.strRecordDir;
    for (const QString& folder : {capturePath, recordPath}) {
        if (!QDir(folder).exists() && !QDir().mkpath(folder))
            qWarning().noquote() << "Config.ini: cannot create the folder" << folder;
    }
}

bool CGlobalAppData::save()
{
    QSettings settings(m_strConfigFile, QSettings::IniFormat);
    settings.setValue(kKeyCapture, capturePath);
    settings.setValue(kKeyRecord, recordPath);
    settings.setValue(kKeyFormat, recordFormat);
    settings.setValue(kKeyLanguage, language);
    const bool bCaseGiven = !caseDetails.caseNumber.isEmpty() || !caseDetails.examiner.isEmpty()
                            || !caseDetails.evidenceNumber.isEmpty() || !caseDetails.notes.isEmpty()
                            || caseDetails.clockOffsetS != 0;
    if (bCaseGiven || settings.childGroups().contains(kCaseGroup)) {
        settings.setValue(kKeyCaseNumber, caseDetails.caseNumber);
        settings.setValue(kKeyExaminer, caseDetails.examiner);
        settings.setValue(kKeyEvidenceNumber, caseDetails.evidenceNumber);
        settings.setValue(kKeyNotes, caseDetails.notes);
        settings.setValue(kKeyClockOffset, caseDetails.clockOffsetS);
    }
    // "Info/Version" is never written: it belongs to the installation.
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        qWarning().noquote() << "Config.ini: the settings could not be written to" << m_strConfigFile;
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Run-time data

void CGlobalAppData::setCurrentDate(const QDate& date)
{
    currentDate = date;
    emit updateRecord(date);
}

int CGlobalAppData::clearSyncQueue(int nWindow)
{
    std::lock_guard<std::mutex> lock(syncQueueLock);
    if (nWindow == -1) {
        const int n = syncQueue.size();
        syncQueue.clear();
        return n;
    }
    return syncQueue.remove(nWindow);
}

QString CGlobalAppData::takeNextSyncPath(int nWindow)
{
    std::lock_guard<std::mutex> lock(syncQueueLock);
    auto it = syncQueue.find(nWindow);
    if (it == syncQueue.end() || it->isEmpty())
        return QString();
    return it->takeFirst();
}

RecordDaySet& CGlobalAppData::recordDates(RecordDateSource source)
{
    return source == LocalDates ? localRecordDates : diskRecordDates;
}

void CGlobalAppData::addRecordDate(RecordDateSource source, const QDate& date)
{
    if (date.isValid())
        recordDates(source).insert(RecordDay::fromDate(date));
}

bool CGlobalAppData::hasRecordDate(RecordDateSource source, const QDate& date) const
{
    const RecordDaySet& set = source == LocalDates ? localRecordDates : diskRecordDates;
    return date.isValid() && set.count(RecordDay::fromDate(date)) != 0;
}

void CGlobalAppData::clearRecordDates(RecordDateSource source)
{
    recordDates(source).clear();
}

void CGlobalAppData::clearDiskDrives()
{
    std::lock_guard<std::mutex> lock(m_driveMutex);
    m_diskDrives.clear();
}

void CGlobalAppData::setDiskDrive(int nDisk, int nDriveNo, const QString& strSource)
{
    // Disk numbers are dense and the scan keeps at most a few dozen disks;
    // anything else is a caller's mistake and is ignored.
    if (nDisk < 0 || nDisk >= 256)
        return;
    std::lock_guard<std::mutex> lock(m_driveMutex);
    if (m_diskDrives.size() <= nDisk)
        m_diskDrives.resize(nDisk + 1);
    m_diskDrives[nDisk].nDriveNo = nDriveNo;
    m_diskDrives[nDisk].strSource = strSource;
}

int CGlobalAppData::diskDriveNumber(int nDisk) const
{
    std::lock_guard<std::mutex> lock(m_driveMutex);
    if (nDisk < 0 || nDisk >= m_diskDrives.size())
        return -1;
    return m_diskDrives[nDisk].nDriveNo;
}

QString CGlobalAppData::diskSource(int nDisk) const
{
    std::lock_guard<std::mutex> lock(m_driveMutex);
    if (nDisk < 0 || nDisk >= m_diskDrives.size())
        return QString();
    return m_diskDrives[nDisk].strSource;
}

int CGlobalAppData::diskDriveCount() const
{
    std::lock_guard<std::mutex> lock(m_driveMutex);
    return m_diskDrives.size();
}
