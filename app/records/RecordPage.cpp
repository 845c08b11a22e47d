#include "app/records/RecordPage.h"

#include "app/records/Calendar.h"
#include "app/records/MyTreeView.h"
#include "app/records/RecordDialogs.h"
#include "app/records/RecordTree.h"
#include "app/records/RecordTreeRoles.h"
#include "app/records/SyncQueue.h"
#include "app/records/TimelineSource.h"
#include "app/shell/GlobalAppData.h"

#include <QAction>
#include <QCursor>
#include <QDebug>
#include <QMenu>
#include <QStandardItemModel>
#include <QTime>

CRecordPage::CRecordPage(QWidget* parent, int nCalendarMode)
    : QFrame(parent), m_nCalendarMode(nCalendarMode)
{
    const QString iconDir = CGlobalAppData::appDir() + "/skin/icons/";
    m_diskIcon = QIcon(iconDir + "Disk.png");
    m_dirIcon = QIcon(iconDir + "Dir.png");
    m_fileIcon = QIcon(iconDir + "File.png");

    m_pModel = new QStandardItemModel(this);
    m_pModel->setColumnCount(1);

    m_pTreeView = new CMyTreeView(this);
    m_pTreeView->setModel(m_pModel);
    m_pTreeView->setHeaderHidden(true);
    m_pTreeView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTreeView->setUniformRowHeights(true);
    m_pTreeView->setAutoExpandDelay(800);

    m_pCalendar = new CCalendar(this, nCalendarMode, 0);
    m_pCalendar->setFixedHeight(190);

    connect(m_pTreeView, &QTreeView::clicked, this, &CRecordPage::onRecordTreeClicked);
    connect(m_pTreeView, &QTreeView::collapsed, this, &CRecordPage::onRecordTreeClicked);
    connect(m_pTreeView, &QTreeView::expanded, this, &CRecordPage::onRecordTreeClicked);
    connect(m_pTreeView, &QTreeView::doubleClicked, this, &CRecordPage::onRecordTreeDoubleClicked);
    connect(m_pTreeView, &CMyTreeView::rightClicked, this, &CRecordPage::onRecordTreeRightClicked);
    connect(m_pCalendar, &CCalendar::clicked, this, &CRecordPage::onDateChanged);
}

CRecordPage::~CRecordPage() = default;

void CRecordPage::clearTree()
{
    m_nodes.clear();
    m_curIndex = QModelIndex();
    const bool bHadDay = m_dayIndex.isValid();
    m_pModel->removeRows(0, m_pModel->rowCount());
    // The paths of the day shown may no longer be read.
    if (bHadDay)
        announceDay(nullptr);
}

void CRecordPage::announceDay(QStandardItem* pDateItem, const QDate& date)
{
    TimelineDay day = TimelineSource::dayOf(this, pDateItem);
    m_dayIndex = pDateItem ? QPersistentModelIndex(pDateItem->index()) : QPersistentModelIndex();
    if (!pDateItem)
        day.date = date;
    emit daySelected(day);
}

void CRecordPage::announceDate(const QDate& date)
{
    if (!date.isValid())
        return;
    const QString text = date.toString("yyyy-MM-dd");
    QStandardItem* pFound = nullptr;
    for (int i = 0; i < m_pModel->rowCount(); ++i) {
        QStandardItem* pDate = RecordTree::findBelow(m_pModel->item(i), DateLevel, text);
        // The day of the live recordings, not of recovered ones.
        if (pDate && pDate->parent() && RecordTree::level(pDate->parent()->parent()) == DiskLevel)
            pFound = pDate;
    }
    announceDay(pFound, date);
}

void CRecordPage::announceLastDay()
{
    if (m_dayIndex.isValid())
        announceDay(m_pModel->itemFromIndex(m_dayIndex));
}

void CRecordPage::runRangeExport(const TimelineDay& day, const QDateTime& from, const QDateTime& to)
{
    ++m_nJobs;
    RunRangeExportDialog(this, day, from, to);
    --m_nJobs;
}

QStandardItem* CRecordPage::topLevelItem(const QVariant& key) const
{
    for (int i = 0; i < m_pModel->rowCount(); ++i) {
        QStandardItem* pItem = m_pModel->item(i);
        if (pItem && pItem->data(KeyRole) == key)
            return pItem;
    }
    return nullptr;
}

QStandardItem* CRecordPage::node(QStandardItem* pParent, const QString& strCacheKey, int nLevel,
                                 const QVariant& key, const QString& strText, const QIcon& icon, bool* pCreated)
{
    if (pCreated)
        *pCreated = false;
    auto it = m_nodes.constFind(strCacheKey);
    if (it != m_nodes.constEnd())
        return it.value();
    QStandardItem* pItem = pParent ? RecordTree::findBelow(pParent, nLevel, key) : nullptr;
    if (!pParent && nLevel == DiskLevel)
        pItem = topLevelItem(key);
    if (!pItem) {
        pItem = new QStandardItem(icon, strText);
        pItem->setData(nLevel, LevelRole);
        pItem->setData(key, KeyRole);
        if (pParent)
            pParent->appendRow(pItem);
        else
            m_pModel->appendRow(pItem);
        if (pCreated)
            *pCreated = true;
    }
    m_nodes.insert(strCacheKey, pItem);
    return pItem;
}

void CRecordPage::selectItem(QStandardItem* pItem, bool bExpand)
{
    const QModelIndex index = pItem->index();
    if (bExpand)
        m_pTreeView->expand(index);
    m_pTreeView->setCurrentIndex(index);
    m_pTreeView->scrollTo(index);
}

void CRecordPage::onRecordTreeClicked(QModelIndex index)
{
    m_curIndex = index;
    if (!index.isValid())
        return;
    const int nLevel = index.data(LevelRole).toInt();
    if (nLevel >= DateLevel) {
        QStandardItem* pDate = TimelineSource::dateItemOf(m_pModel->itemFromIndex(index));
        if (pDate && QPersistentModelIndex(pDate->index()) != m_dayIndex)
            announceDay(pDate);
    }
    if (nLevel == RecordLevel) {
        emit selectVideoWnd(recordingPath(index));
        CGlobalAppData::instance()->setCurrentDate(index.data(DateRole).toDate());
        return;
    }
    m_pTreeView->resizeColumnToContents(0);
    if (nLevel == DateLevel || nLevel == ChannelLevel)
        CGlobalAppData::instance()->setCurrentDate(index.data(DateRole).toDate());
}

void CRecordPage::onRecordTreeDoubleClicked(QModelIndex index)
{
    m_curIndex = index;
    if (index.isValid() && index.data(LevelRole).toInt() == RecordLevel)
        emit playRecord(recordingPath(index), false);
}

void CRecordPage::onPlayRecordResponse()
{
    if (m_curIndex.isValid())
        onRecordTreeDoubleClicked(m_curIndex);
}

void CRecordPage::onRecordTreeRightClicked(QModelIndex index)
{
    m_curIndex = index;
    QMenu* pMenu = buildContextMenu(index);
    if (!pMenu)
        return;
    connect(pMenu, &QMenu::triggered, this, &CRecordPage::onCommand);
    pMenu->exec(QCursor::pos());
    delete pMenu;
}

void CRecordPage::onCommand(QAction* pAction)
{
    if (!pAction || !m_curIndex.isValid())
        return;
    runCommand(pAction->data().toInt());
}

void CRecordPage::onCutFile()
{
    if (!m_curIndex.isValid() || m_curIndex.data(LevelRole).toInt() != RecordLevel)
        return;
    ++m_nJobs;
    RunCutDialog(this, recordingPath(m_curIndex));
    --m_nJobs;
}

void CRecordPage::onSyncPlay()
{
    if (!m_curIndex.isValid() || m_curIndex.data(LevelRole).toInt() != RecordLevel)
        return;
    CGlobalAppData* pApp = CGlobalAppData::instance();
    pApp->clearSyncQueue(-1);
    int nStart = 0;
    int nEnd = 0;
    if (!RecordTree::parseTimeRange(m_curIndex.data(KeyRole).toString(), &nStart, &nEnd))
        return;
    qDebug().noquote() << "start Time" << QTime(0, 0).addSecs(nStart).toString("hhmmss") << "endTime"
                       << QTime(0, 0).addSecs(nEnd % 86400).toString("hhmmss");

    QStandardItem* pRecord = m_pModel->itemFromIndex(m_curIndex);
    QStandardItem* pChannel = pRecord ? pRecord->parent() : nullptr;
    QStandardItem* pDate = pChannel ? pChannel->parent() : nullptr;
    if (RecordTree::level(pDate) == DateLevel && pDate->rowCount() > 0) {
        // A window per channel number, so every channel that may play needs
        // a window of its own index.
        emit changeWndMode(RecordTree::highestChannel(pDate) + 1);
        const QMap<int, QList<QStandardItem*>> chosen = RecordTree::syncSelection(pDate, nStart, nEnd);
        QMap<int, QStringList> queues;
        for (auto it = chosen.constBegin(); it != chosen.constEnd(); ++it) {
            for (QStandardItem* pItem : it.value())
                queues[it.key()].append(recordingPath(pItem->index()));
        }
        ReplaceSyncQueue(queues);
    }
    emit syncPlay(nStart);
}

void CRecordPage::onDateChanged(QDate date)
{
    if (!m_bLoaded || !date.isValid())
        return;
    const QString text = date.toString("yyyy-MM-dd");
    QStandardItem* pShown = nullptr;
    for (int i = 0; i < m_pModel->rowCount(); ++i) {
        if (QStandardItem* pDate = RecordTree::findBelow(m_pModel->item(i), DateLevel, text)) {
            selectItem(pDate, true);
            pShown = pDate;
        }
    }
    announceDay(pShown, date);
}

void CRecordPage::onSelectRecord(QString strFilePath)
{
    if (!m_bLoaded)
        return;
    const QString name = strFilePath.mid(strFilePath.lastIndexOf('/') + 1);
    if (name.isEmpty())
        return;
    for (int i = 0; i < m_pModel->rowCount(); ++i) {
        if (QStandardItem* pRecord = RecordTree::findBelow(m_pModel->item(i), RecordLevel, name))
            selectItem(pRecord, false);
    }
}
