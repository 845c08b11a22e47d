#include "app/records/DirManagePage.h"

#include "app/records/Calendar.h"
#include "app/records/LocalFolderCheck.h"
#include "app/records/LocalIndex.h"
#include "app/records/MyTreeView.h"
#include "app/records/RecordTreeRoles.h"
#include "app/shell/FancyMessageBox.h"
#include "app/shell/GlobalAppData.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QMenu>
#include <QMutexLocker>
#include <QStandardItemModel>
#include <QToolButton>
#include <QVBoxLayout>

CDirManagePage::CDirManagePage(QWidget* parent)
    : CRecordPage(parent, CCalendar::LocalMode)
{
    m_pAddDirButton = new QToolButton(this);
    m_pAddDirButton->setObjectName("AddDirButton");
    m_pAddDirButton->setFixedHeight(25);
    m_pAddDirButton->setToolTip(tr("Add Local Record"));
    m_pAddDirButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    pLayout->addWidget(m_pTreeView);
    pLayout->addWidget(m_pAddDirButton);
    pLayout->addWidget(m_pCalendar);

    connect(m_pAddDirButton, &QToolButton::clicked, this, &CDirManagePage::onAddLocalDir);

    m_mismatchIcon = QIcon(CGlobalAppData::appDir() + "/skin/icons/FileMismatch.png");
    m_pCheck = new CLocalFolderCheck(this);
    connect(m_pCheck, &CLocalFolderCheck::finished, this, &CDirManagePage::onFolderChecked);
}

void CDirManagePage::onAddLocalDir()
{
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Select the path for record"),
                                                          CGlobalAppData::instance()->recordPath,
                                                          QFileDialog::ShowDirsOnly);
    if (!dir.isEmpty())
        LoadLocalDir(dir);
}

bool CDirManagePage::LoadLocalDir(const QString& strDir)
{
    m_pCheck->stop();
    {
        QMutexLocker lock(&m_mutex);
        m_recordMap.clear();
    }
    clearTree();
    m_bLoaded = false;
    m_pCalendar->clearMarks();
    m_strDir = QString(strDir).replace('\\', '/');
    while (m_strDir.size() > 1 && m_strDir.endsWith('/'))
        m_strDir.chop(1);

    const QString indexFile = m_strDir + "/index.data";
    if (!QFileInfo(indexFile).isFile()) {
        FancyMessageBox::message(tr("Index file not found"));
        return false;
    }
    QStringList lines;
    if (!ReadIndexData(indexFile, &lines)) {
        FancyMessageBox::message(tr("The index file cannot be read"));
        return false;
    }
    bool bEmpty = true;
    {
        QMutexLocker lock(&m_mutex);
        for (const QString& line : qAsConst(lines)) {
            if (ParseLocalRecordPath(line, nullptr) && QFileInfo(m_strDir + '/' + line).isFile())
                m_recordMap.insert(line, line);
        }
        bEmpty = m_recordMap.isEmpty();
    }
    if (bEmpty) {
        FancyMessageBox::message(tr("No matching record file"));
        return false;
    }
    LoadRecordByRecordPath(m_strDir);
    if (QFileInfo::exists(m_strDir + '/' + HashManifest::kFileName))
        m_pCheck->start(m_strDir);
    return true;
}

void CDirManagePage::onFolderChecked(QString strFolder, HashManifest::CheckResult result)
{
    if (strFolder != m_strDir)
        return;
    if (!result.bReadable) {
        FancyMessageBox::message(tr("The SHA256SUMS file of this folder cannot be read"));
        return;
    }
    QHash<QString, HashManifest::FileCheck> problems;
    for (const HashManifest::FileCheck& check : result.problems())
        problems.insert(check.strPath, check);
    // Mark the recordings whose file is listed with another hash or could
    // not be read whole; a missing file has no item in the tree.
    const QString prefix = m_strDir + '/';
    QList<QStandardItem*> pending;
    for (int i = 0; i < m_pModel->rowCount(); ++i)
        pending << m_pModel->item(i);
    while (!pending.isEmpty()) {
        QStandardItem* pItem = pending.takeLast();
        for (int i = 0; i < pItem->rowCount(); ++i)
            pending << pItem->child(i);
        if (pItem->data(LevelRole).toInt() != RecordLevel)
            continue;
        const QString path = recordingPath(pItem->index());
        if (!path.startsWith(prefix))
            continue;
        const auto it = problems.constFind(path.mid(prefix.size()));
        if (it == problems.constEnd())
            continue;
        const QString why = it->state == HashManifest::FileDiffers
                                ? tr("This file does not match its hash in SHA256SUMS.")
                                : tr("This file could not be read to check it against SHA256SUMS.");
        pItem->setIcon(m_mismatchIcon);
        pItem->setToolTip(pItem->data(KeyRole).toString() + '\n' + why);
        // Open the tree down to it, so that the mark is seen.
        for (QStandardItem* pUp = pItem->parent(); pUp; pUp = pUp->parent())
            m_pTreeView->expand(pUp->index());
    }
    const int nFiles = result.files.size();
    if (problems.isEmpty())
        FancyMessageBox::message(tr("SHA256SUMS: all %1 files of this folder match").arg(nFiles));
    else
        FancyMessageBox::message(
            tr("SHA256SUMS: %1 of the %2 files listed are missing or do not match").arg(problems.size()).arg(nFiles));
}

void CDirManagePage::LoadRecordByRecordPath(QString strPath)
{
    CGlobalAppData* pApp = CGlobalAppData::instance();
    m_latestDate = pApp->currentDate;
    QMutexLocker lock(&m_mutex);
    QString previousDate;
    for (auto it = m_recordMap.constBegin(); it != m_recordMap.constEnd(); ++it) {
        const QString& rel = it.key();
        LocalRecordPath parsed;
        if (!ParseLocalRecordPath(rel, &parsed) || !QFileInfo(strPath + '/' + rel).isFile())
            continue;
        bool bCreated = false;
        QStandardItem* pRoot = node(nullptr, strPath, DiskLevel, strPath, strPath, m_diskIcon);
        const QString ideKey = strPath + '/' + parsed.strIde;
        QStandardItem* pIde = node(pRoot, ideKey, PartitionLevel, parsed.strIde, parsed.strIde, m_dirIcon,
                                   &bCreated);
        if (bCreated)
            pIde->setData(strPath, DiskRole);
        const QString dateText = parsed.date.toString("yyyy-MM-dd");
        const QString dateKey = ideKey + '/' + dateText;
        QStandardItem* pDate = node(pIde, dateKey, DateLevel, dateText, dateText, m_dirIcon, &bCreated);
        if (bCreated) {
            pDate->setData(strPath, DiskRole);
            pDate->setData(parsed.strIde, PartRole);
            pDate->setData(parsed.date, DateRole);
        }
        if (dateText != previousDate) {
            pApp->addRecordDate(CGlobalAppData::LocalDates, parsed.date);
            previousDate = dateText;
        }
        const QString channelKey = dateKey + '/' + QString::number(parsed.nChannel);
        QStandardItem* pChannel = node(pDate, channelKey, ChannelLevel, parsed.nChannel,
                                       QString("%1").arg(parsed.nChannel + 1, 3, 10, QChar('0')), m_dirIcon,
                                       &bCreated);
        if (bCreated) {
            pChannel->setData(strPath, DiskRole);
            pChannel->setData(parsed.strIde, PartRole);
            pChannel->setData(parsed.date, DateRole);
        }
        auto* pRecord = new QStandardItem(m_fileIcon, parsed.strName);
        pRecord->setToolTip(parsed.strName);
        pRecord->setData(RecordLevel, LevelRole);
        pRecord->setData(parsed.strName, KeyRole);
        pRecord->setData(strPath, DiskRole);
        pRecord->setData(parsed.strIde, PartRole);
        pRecord->setData(parsed.date, DateRole);
        pRecord->setData(parsed.nChannel, ChannelRole);
        pChannel->appendRow(pRecord);
        if (!m_latestDate.isValid() || parsed.date >= m_latestDate)
            m_latestDate = parsed.date;
    }
    lock.unlock();
    m_bLoaded = true;
    m_pCalendar->refreshMarks();
    pApp->setCurrentDate(m_latestDate);
    announceDate(m_latestDate);
}

QString CDirManagePage::recordingPath(const QModelIndex& index) const
{
    if (!index.isValid() || index.data(LevelRole).toInt() != RecordLevel)
        return QString();
    const QDate date = index.data(DateRole).toDate();
    return QString("%1/%2/%3/%4/%5")
        .arg(index.data(DiskRole).toString(), index.data(PartRole).toString(), date.toString("yyyy-MM-dd"),
             QString("%1").arg(index.data(ChannelRole).toInt(), 3, 10, QChar('0')),
             index.data(KeyRole).toString());
}

QMenu* CDirManagePage::buildContextMenu(const QModelIndex& index)
{
    if (!index.isValid() || index.data(LevelRole).toInt() != RecordLevel)
        return nullptr;
    auto* pMenu = new QMenu(this);
    pMenu->addAction(tr("Play"))->setData(int(CmdPlay));
    pMenu->addAction(tr("Cut"))->setData(int(CmdCut));
    pMenu->addAction(tr("Sync Play"))->setData(int(CmdSyncPlay));
    return pMenu;
}

void CDirManagePage::runCommand(int nCommand)
{
    switch (nCommand) {
    case CmdCut:
        onCutFile();
        break;
    case CmdPlay:
        onRecordTreeDoubleClicked(m_curIndex);
        break;
    case CmdSyncPlay:
        onSyncPlay();
        break;
    default:
        break;
    }
}
