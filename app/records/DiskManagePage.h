#ifndef ORVELLE_APP_RECORDS_DISKMANAGEPAGE_H
#define ORVELLE_APP_RECORDS_DISKMANAGEPAGE_H

// The "Disk" page of the record list: every playable recording on the
// attached recorder disks as a tree disk > partition > date > channel >
// recording, with a calendar of the recording days below it.
//
// The first load runs on the calling thread at start-up; afterwards the
// drives are counted every 10 seconds and a changed count reloads on the
// page's loading thread. A load first stops every reader of the disks (all
// video windows close and their threads end), and waits while an export or
// a cut of this page runs. The loader hands the recordings to the GUI thread
// in queued batches; the tree itself is only ever changed on the GUI thread.

#include "app/play/MyThread.h"
#include "app/records/RecordPage.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/device/source_info.h"

#include <QMap>
#include <mutex>
#include <QPair>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>

class QLabel;
class QToolButton;

using RecordPairs = QVector<QPair<QString, QString>>;

// A recovered recording on its way to the tree: record key, display name,
// state (1 deleted, 2 fragment).
struct RecoveredRecord {
    QString key;
    QString name;
    int state = 0;
};

class CDiskManagePage : public CRecordPage
{
    Q_OBJECT

public:
    // Recordings handed to the tree per batch.
    static const int kBatchSize = 1000;
    static const int kRescanIntervalMs = 10000;

    explicit CDiskManagePage(QWidget* parent = nullptr);
    ~CDiskManagePage() override;

    // The start-up load, on the calling thread; then starts the rescan.
    void InitialLoad();
    // Stops a running load and waits for the loading thread; no load starts
    // afterwards. The program calls it before the play manager and the
    // settings are released.
    void StopLoad();

    // Adds a disk image file to the drives the next scan reads (the
    // program's --disk-image option). False, with a reason, when the file
    // cannot be used; an image added before is not added again.
    static bool AddDiskImage(const QString& strFile, QString* pError = nullptr);
    // Adds a disk image file and reloads the disks.
    bool LoadDiskImage(const QString& strFile);

    // One rescan: counts the recorder disks and reloads when the count
    // changed. True when a reload started.
    bool CheckDriveCount();
    // Starts a reload on the loading thread. False when a load already runs
    // or an export or cut is open (the next rescan tries again).
    bool StartReload();
    bool isLoading() const { return m_bStopLoad.load() == 0; }
    int diskCount() const { return m_ideNum.load(); }

    // The disk-information text of one disk, and the same as rows of
    // label, value, label, value.
    QString diskInfoText(int nDisk) const;
    QVector<QStringList> diskInfoRows(int nDisk) const;
    QString recordingPath(const QModelIndex& index) const override;
    QMenu* buildContextMenu(const QModelIndex& index) override;

    QLabel* loadingLabel() const { return m_pLoadingLabel; }
    QLabel* driveAccessLabel() const { return m_pAccessLabel; }
    QToolButton* addImageButton() const { return m_pAddImageButton; }

signals:
    void updateTree();
    void diskChanged();
    void enabledControl(bool bEnabled);
    void appendNewRecord(QVector<QPair<QString, QString>> arr, int count);
    // The tree is cleared before a load's batches; nTotal is the number of
    // recordings that follow, -1 while the disks are still being read.
    void clearRecordTree(int nTotal);
    // Drives the last scan could not open: their sources and, for each, the
    // line that tells the user why.
    void drivesUnreadable(QStringList strSources, QStringList strLines);

public slots:
    void onExportFile();
    void onUpdateTree();
    void onShowDiskInfo();
    void onAppendNewRecord(QVector<QPair<QString, QString>> arr, int count);
    // Adds recovered recordings under their partitions' "Recovered" nodes
    // (DiskManageRecovered.cpp); they count towards the load's total.
    void onAppendRecovered(QVector<RecoveredRecord> arr);
    void onEnabledControl(bool bEnabled);
    void onAddDiskImage();

private slots:
    void onClearRecordTree(int nTotal);
    void onDrivesUnreadable(QStringList strSources, QStringList strLines);

protected:
    bool event(QEvent* event) override;
    void runCommand(int nCommand) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // One load: scan, mount, catalogue, then the batches.
    void loadJob();
    void loadDataFromDisk();
    void finishTree();
    // The tree nodes of a disk and of one of its partitions (made when missing).
    QStandardItem* diskNode(int nDisk);
    QStandardItem* partitionNode(QStandardItem* pDisk, int nDisk, int nPart);
    // Every partition the load read gets its node, so that a disk without
    // recordings of the chosen stream still shows it was read; an empty one
    // carries a note saying so.
    void addPartitionNodes();
    void addEmptyPartitionNotes();
    void stopReaders();
    void reportAddedImages();
    // The line that tells why a drive or an image could not be opened.
    static QString unreadableLine(const UnreadableDrive& drive);
    // "raw image", "EWF image, 3 segments" ...
    static QString sourceKindText(const DiskSourceInfo& info);
    // Emits a signal of the loader on the GUI thread: at once when called
    // there, else as a queued call (media/common/QueuedCall.h), which hands
    // the signal's data over visibly to ThreadSanitizer.
    void emitOnGuiThread(std::function<void()> fnEmit);

    std::atomic<int> m_bStopLoad{1};
    std::atomic<bool> m_bQuit{false};
    std::atomic<int> m_ideNum{0};
    CMyThread m_loadThread;
    CRecordCatalogue m_catalogue;
    std::mutex m_mutex;  // guards m_recordMap, m_listedParts and m_recovered (a std lock: ThreadSanitizer sees it)
    QMap<QString, QString> m_recordMap;
    QVector<QPair<int, int>> m_listedParts;  // (disk, partition) the last load read
    QVector<RecoveredRecord> m_recovered;  // in key order; guarded by m_mutex
    QIcon m_recoveredIcon;
    QIcon m_deletedIcon;
    QIcon m_fragmentIcon;
    QLabel* m_pLoadingLabel;
    QLabel* m_pAccessLabel;
    QToolButton* m_pAddImageButton;
    int m_nTimerId = 0;
    int m_nTotal = -1;
    int m_nAppended = 0;
    QSet<QString> m_toldDrives;
    QSet<QString> m_unreadableNow;  // sources the last scan could not open
    QVector<QString> m_diskKinds;   // per disk: what it is read from (tooltips); GUI thread
    QStringList m_addedImages;
};

#endif
