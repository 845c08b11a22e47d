#ifndef ORVELLE_APP_RECORDS_RECORDPAGE_H
#define ORVELLE_APP_RECORDS_RECORDPAGE_H

// What the Disk and Local pages have in common: the five-level record tree
// with its calendar, the clicks and context menu, play, synchronous play,
// cut, and following a date or a playing file.

#include "app/display/TimelineDay.h"

#include <QDate>
#include <QDateTime>
#include <QFrame>
#include <QHash>
#include <QIcon>
#include <QPersistentModelIndex>

class QAction;
class QMenu;
class QStandardItem;
class QStandardItemModel;
class CCalendar;
class CMyTreeView;

class CRecordPage : public QFrame
{
    Q_OBJECT

public:
    // nCalendarMode: CCalendar::DiskMode or CCalendar::LocalMode.
    CRecordPage(QWidget* parent, int nCalendarMode);
    ~CRecordPage() override;

    CMyTreeView* treeView() const { return m_pTreeView; }
    QStandardItemModel* model() const { return m_pModel; }
    CCalendar* calendar() const { return m_pCalendar; }
    bool isLoaded() const { return m_bLoaded; }
    QModelIndex currentRecordIndex() const { return m_curIndex; }
    void setCurrentRecordIndex(const QModelIndex& index) { m_curIndex = index; }

    // The path through which a recording item is played, cut and exported;
    // "" for other items.
    virtual QString recordingPath(const QModelIndex& index) const = 0;
    // The context menu for an item (actions carry RecordCommand codes in
    // their data), or null when the item has none. The caller owns it.
    virtual QMenu* buildContextMenu(const QModelIndex& index) = 0;

    // The page of local folders (else recorder disks).
    bool isLocal() const { return m_nCalendarMode != 0; }
    // Tells the day timeline about the date item of that date (the last
    // disk's, as the calendar selects it), or about a date without one.
    void announceDate(const QDate& date);
    // Tells the day timeline again about the day it showed last.
    void announceLastDay();
    // Runs the range export dialog over a day of this page; a reload waits
    // for it as for an export.
    void runRangeExport(const TimelineDay& day, const QDateTime& from, const QDateTime& to);

signals:
    void playRecord(QString strFilePath, bool bSync = false);
    void selectVideoWnd(QString strFileName);
    void changeWndMode(int nWndNum);
    void syncPlay(int nSyncTime);
    // The date (and partition or folder) the user is looking at.
    void daySelected(TimelineDay day);

public slots:
    void onRecordTreeClicked(QModelIndex index);
    void onRecordTreeDoubleClicked(QModelIndex index);
    void onRecordTreeRightClicked(QModelIndex index);
    void onCommand(QAction* pAction);
    void onPlayRecordResponse();
    void onDateChanged(QDate date);
    void onSelectRecord(QString strFilePath);
    void onCutFile();
    void onSyncPlay();

protected:
    // Runs one context-menu command on m_curIndex.
    virtual void runCommand(int nCommand) = 0;

    // Removes every item (and the remembered nodes).
    void clearTree();
    // The child of pParent (null: a top-level item) with this level and key,
    // created (appended last) with text and icon when there is none. The
    // search runs depth first below pParent; strCacheKey names the node for
    // the quick look-up of later calls.
    // *pCreated tells whether the item is new.
    QStandardItem* node(QStandardItem* pParent, const QString& strCacheKey, int nLevel, const QVariant& key,
                        const QString& strText, const QIcon& icon, bool* pCreated = nullptr);
    // The first top-level item with this key.
    QStandardItem* topLevelItem(const QVariant& key) const;
    // Makes an item current and visible.
    void selectItem(QStandardItem* pItem, bool bExpand);
    // Counts a dialog that reads recordings (a reload waits for it).
    int runningJobs() const { return m_nJobs; }
    // Emits daySelected for a date item (null: an empty day of that date).
    void announceDay(QStandardItem* pDateItem, const QDate& date = QDate());

    QIcon m_diskIcon;
    QIcon m_dirIcon;
    QIcon m_fileIcon;

    CMyTreeView* m_pTreeView;
    QStandardItemModel* m_pModel;
    CCalendar* m_pCalendar;
    QPersistentModelIndex m_curIndex;
    QDate m_latestDate;
    bool m_bLoaded = false;
    int m_nJobs = 0;

private:
    QHash<QString, QStandardItem*> m_nodes;
    int m_nCalendarMode = 0;
    QPersistentModelIndex m_dayIndex;  // date item the timeline shows
};

#endif
