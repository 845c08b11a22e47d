#ifndef ORVELLE_APP_SHELL_GLOBALAPPDATA_H
#define ORVELLE_APP_SHELL_GLOBALAPPDATA_H

// The application-wide settings store and the run-time values that the record
// lists, the play channels and the dialogs share.
//
// Persisted settings live in "Config.ini" (Qt INI format) in the executable's
// folder. They are read once when the instance is created and written once by
// release(). An installed program, or one whose folder cannot be written,
// keeps them in the user's configuration folder instead
// ("$XDG_CONFIG_HOME/Orvelle/Config.ini"), with the default capture and
// record folders under the user's videos folder (see AppLocations.h); the log
// says so.

#include "app/export/jobs/CaseDetails.h"
#include "app/shell/AppLocations.h"

#include <QDate>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <mutex>
#include <set>

// One calendar day that has recordings.
struct RecordDay
{
    int year = 0;
    quint16 month = 0;
    quint16 day = 0;

    static RecordDay fromDate(const QDate& date);
    QDate toDate() const;
    bool operator<(const RecordDay& other) const;
    bool operator==(const RecordDay& other) const;
};

using RecordDaySet = std::set<RecordDay>;

class CGlobalAppData : public QObject
{
    Q_OBJECT

public:
    // Which set of recording days a caller means: the recorder disks' or the
    // local folders'. The values equal the calendar's modes.
    enum RecordDateSource { DiskDates = 0, LocalDates = 1 };

    // The single object; the first call creates it and loads "Config.ini".
    static CGlobalAppData* instance();
    // Saves the settings, destroys the object and clears the instance.
    static void release();

    // The folder the program's resources (skin/, language/, license/,
    // copyright/) are found in: the executable's folder, or for an installed
    // program ../share/orvelle beside it. setAppDir() puts another folder in
    // the executable's place before the first instance() (tests, benchmarks);
    // there the settings and the default Backup folders go too, when it can
    // be written.
    static void setAppDir(const QString& strDir);
    static QString appDir();

    // The file the settings are read from and written to (after a fallback,
    // the copy in the user's configuration folder).
    QString configFilePath() const { return m_strConfigFile; }
    // True when the settings are kept in the user's configuration folder
    // (an installed program, or its folder was not writable).
    bool usesFallbackConfig() const { return m_bFallback; }
    // The media library's work folder (ends in "/"): "Temp/" beside the
    // settings of a portable program, under the user's cache folder else.
    QString mediaWorkDir() const { return m_folders.strMediaWorkDir; }
    // Writes the persisted settings now; false (and a log line) on failure.
    bool save();

    void setCurrentDate(const QDate& date);

    // Removes the entry of one window (or all entries for -1) from the sync
    // queue; returns the number of removed entries.
    int clearSyncQueue(int nWindow);
    // Removes and returns the next path queued for a window, or "".
    QString takeNextSyncPath(int nWindow);

    // Days with recordings.
    void addRecordDate(RecordDateSource source, const QDate& date);
    bool hasRecordDate(RecordDateSource source, const QDate& date) const;
    void clearRecordDates(RecordDateSource source);
    RecordDaySet& recordDates(RecordDateSource source);

    // Physical drive number and source (device node or image file) of each
    // recorder disk, by dense disk number, as the last drive scan found them.
    void clearDiskDrives();
    void setDiskDrive(int nDisk, int nDriveNo, const QString& strSource);
    int diskDriveNumber(int nDisk) const;   // -1 when unknown
    QString diskSource(int nDisk) const;    // "" when unknown
    int diskDriveCount() const;

    // Persisted settings.
    QString capturePath;
    QString recordPath;
    int recordFormat = 0;
    QString language;
    QString version;
    // "[Case]": the case details last entered in an export, cut or range
    // export dialog, offered again by the next one. The group is written
    // once it holds anything, or when the file had it already (so that
    // emptied fields are emptied there too).
    CaseDetails caseDetails;

    // Shared run-time data. diskLock only orders the readers of the disks
    // (every read also enters the file layer's critical section);
    // syncQueueLock guards syncQueue, which play threads read too: a std lock,
    // so that ThreadSanitizer sees it (a QMutex of the uninstrumented Qt is
    // invisible to it).
    QMutex diskLock;
    std::mutex syncQueueLock;
    QMap<int, QStringList> syncQueue;
    std::atomic<int> earliestSyncWindow{-1};
    std::atomic<int> latestSyncWindow{-1};
    QStringList exportQueue;
    QDate currentDate;
    RecordDaySet diskRecordDates;
    RecordDaySet localRecordDates;

signals:
    void updateRecord(QDate date);

private:
    CGlobalAppData();
    ~CGlobalAppData() override;

    void load();

    struct DiskDrive
    {
        int nDriveNo = -1;
        QString strSource;
    };

    QString m_strAppDir;
    applocations::Folders m_folders;
    QString m_strConfigFile;
    bool m_bFallback = false;
    mutable std::mutex m_driveMutex;
    QVector<DiskDrive> m_diskDrives;
};

#endif
