#include "app/records/DiskManagePage.h"

#include "app/fs/FSCriticalSection.h"
#include "app/play/PlayManage.h"
#include "app/records/Calendar.h"
#include "app/records/MyTreeView.h"
#include "app/records/RecordDialogs.h"
#include "app/records/RecordTree.h"
#include "app/records/RecordTreeRoles.h"
#include "app/records/catalogue/RecordNaming.h"
#include "app/shell/FancyMessageBox.h"
#include "app/shell/GlobalAppData.h"
#include "app/shell/MessageBox.h"
#include "media/common/QueuedCall.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/path_name.h"

#include <QAction>
#include <QColor>
#include <QDebug>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QMetaType>
#include <QResizeEvent>
#include <QStandardItemModel>
#include <QThread>
#include <QTimerEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstring>

// The catalogue's per-recording trace ("Video n Name key OK/SKIP").
Q_LOGGING_CATEGORY(lcRecordLoad, "orvelle.records.load")

namespace {

// Two-digit and four-digit fields of a record key; -1 when not digits.
int keyField(const QString& key, int pos, int len)
{
    int value = 0;
    for (int i = pos; i < pos + len; ++i) {
        if (i >= key.size() || !key.at(i).isDigit())
            return -1;
        value = value * 10 + key.at(i).digitValue();
    }
    return value;
}

}  // namespace

CDiskManagePage::CDiskManagePage(QWidget* parent)
    : CRecordPage(parent, CCalendar::DiskMode)
{
    qRegisterMetaType<QVector<QPair<QString, QString>>>();
    qRegisterMetaType<QVector<QPair<QString, QString>>>("QVector<QPair<QString, QString>>");

    m_pAccessLabel = new QLabel(this);
    m_pAccessLabel->setObjectName("DriveAccessLabel");
    m_pAccessLabel->setWordWrap(true);
    m_pAccessLabel->hide();

    m_pAddImageButton = new QToolButton(this);
    m_pAddImageButton->setObjectName("AddImageButton");
    m_pAddImageButton->setFixedHeight(25);
    m_pAddImageButton->setText(tr("Add Disk Image"));
    m_pAddImageButton->setToolTip(tr("Add a disk image file as a recorder disk"));
    m_pAddImageButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    pLayout->addWidget(m_pAccessLabel);
    pLayout->addWidget(m_pTreeView);
    pLayout->addWidget(m_pAddImageButton);
    pLayout->addWidget(m_pCalendar);

    m_pLoadingLabel = new QLabel(tr("Loading"), this);
    m_pLoadingLabel->setObjectName("LoadingLabel");
    m_pLoadingLabel->setAlignment(Qt::AlignCenter);
    m_pLoadingLabel->hide();

    connect(m_pAddImageButton, &QToolButton::clicked, this, &CDiskManagePage::onAddDiskImage);
    connect(this, &CDiskManagePage::updateTree, this, &CDiskManagePage::onUpdateTree);
    connect(this, &CDiskManagePage::enabledControl, this, &CDiskManagePage::onEnabledControl);
    connect(this, &CDiskManagePage::appendNewRecord, this, &CDiskManagePage::onAppendNewRecord);
    connect(this, &CDiskManagePage::clearRecordTree, this, &CDiskManagePage::onClearRecordTree);
    connect(this, &CDiskManagePage::drivesUnreadable, this, &CDiskManagePage::onDrivesUnreadable);

    const QString iconDir = CGlobalAppData::appDir() + "/skin/icons/";
    m_recoveredIcon = QIcon(iconDir + "Recovered.png");
    m_deletedIcon = QIcon(iconDir + "FileDeleted.png");
    m_fragmentIcon = QIcon(iconDir + "FileFragment.png");
    m_catalogue.SetScanRecovered(true);

    // The loader stops at the next page of the recording list once asked to.
    m_catalogue.SetProgressCallback([this](const CatalogueProgress&) {
        if (m_bQuit)
            m_catalogue.Stop();
    });
}

CDiskManagePage::~CDiskManagePage()
{
    StopLoad();
}

bool CDiskManagePage::event(QEvent* event)
{
    return media::runQueuedCall(event) || CRecordPage::event(event);
}

void CDiskManagePage::emitOnGuiThread(std::function<void()> fnEmit)
{
    if (QThread::currentThread() == thread())
        fnEmit();
    else
        media::postQueuedCall(this, std::move(fnEmit));
}

// ---------------------------------------------------------------------------
// Loading

void CDiskManagePage::InitialLoad()
{
    if (m_bQuit || isLoading())
        return;
    m_bStopLoad = 0;
    stopReaders();
    m_pCalendar->clearMarks();
    CGlobalAppData::instance()->clearSyncQueue(-1);
    m_bLoaded = false;
    loadJob();
    m_bStopLoad = 1;
    if (!m_nTimerId && !m_bQuit)
        m_nTimerId = startTimer(kRescanIntervalMs);
}

void CDiskManagePage::StopLoad()
{
    m_bQuit = true;
    m_catalogue.Stop();
    if (m_nTimerId) {
        killTimer(m_nTimerId);
        m_nTimerId = 0;
    }
    m_loadThread.join();
}

bool CDiskManagePage::StartReload()
{
    if (m_bQuit || isLoading())
        return false;
    if (runningJobs() > 0) {
        qDebug() << "reload postponed: an export or cut is running";
        return false;
    }
    emit enabledControl(false);
    stopReaders();
    // Nothing of the old tree can be played while the disks are read again.
    onClearRecordTree(-1);
    m_pCalendar->clearMarks();
    CGlobalAppData::instance()->clearSyncQueue(-1);
    m_bStopLoad = 0;
    const bool bStarted = m_loadThread.startJob([this]() {
        loadJob();
        m_bStopLoad = 1;
    });
    if (!bStarted) {
        m_bStopLoad = 1;
        emit enabledControl(true);
    }
    return bStarted;
}

bool CDiskManagePage::CheckDriveCount()
{
    const int n = ide_rescan();
    if (n == m_ideNum.load())
        return false;
    qDebug("m_ideNum=%d ide_rescan()=%d\n", m_ideNum.load(), n);
    return StartReload();
}

void CDiskManagePage::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_nTimerId) {
        CheckDriveCount();
        return;
    }
    CRecordPage::timerEvent(event);
}

void CDiskManagePage::stopReaders()
{
    // Every window closes and its play and index threads end before the
    // file-system library is brought up again under them.
    emit diskChanged();
    CPlayManage* pManage = CPlayManage::instance();
    for (int i = 0; i < CPlayManage::MaxWindows; ++i) {
        if (pManage->GetPlay(i))
            pManage->Stop(i);
    }
}

void CDiskManagePage::loadJob()
{
    m_catalogue.SetRecordFormat(CGlobalAppData::instance()->recordFormat);
    if (lcRecordLoad().isDebugEnabled())
        m_catalogue.SetLogCallback([](const std::string& line) { qCDebug(lcRecordLoad).noquote() << line.c_str(); });
    else
        m_catalogue.SetLogCallback(nullptr);
    // The old tree goes before the disks are read again.
    emitOnGuiThread([this] { emit clearRecordTree(-1); });
    loadDataFromDisk();
    if (m_bQuit)
        return;
    onUpdateTree();
}

void CDiskManagePage::loadDataFromDisk()
{
    QElapsedTimer timer;
    timer.start();
    m_catalogue.Load();
    const int nDisks = m_catalogue.DiskCount();
    m_ideNum = nDisks;
    qDebug() << "loadDataFromDisk before" << timer.elapsed() << "ideNum" << nDisks;

    QStringList sources;
    QStringList lines;
    QVector<QString> kinds;
    {
        CFSLocker lock;
        CGlobalAppData* pApp = CGlobalAppData::instance();
        pApp->clearDiskDrives();
        for (int d = 0; d < nDisks; ++d) {
            pApp->setDiskDrive(d, recorder_disk_drive_no(d), QString::fromStdString(recorder_disk_source(d)));
            DiskSourceInfo info;
            kinds << (recorder_disk_source_info(d, &info) == 0 ? sourceKindText(info) : QString());
        }
        for (const UnreadableDrive& drive : unreadable_drives()) {
            sources << QString::fromStdString(drive.source);
            lines << unreadableLine(drive);
        }
    }
    emitOnGuiThread([this, sources, lines, kinds] {
        m_diskKinds = kinds;
        emit drivesUnreadable(sources, lines);
    });

    const std::map<std::string, std::string> records = m_catalogue.RecordMap();
    QVector<QPair<int, int>> parts;
    for (int d = 0; d < nDisks; ++d) {
        for (int p : CRecordCatalogue::ListedPartitions(d))
            parts.append(qMakePair(d, p));
    }
    const std::vector<CatalogueEntry> recovered = m_catalogue.RecoveredEntries();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_recordMap.clear();
        for (const auto& kv : records)
            m_recordMap.insert(QString::fromStdString(kv.first), QString::fromStdString(kv.second));
        m_listedParts = parts;
        m_recovered.clear();
        for (const CatalogueEntry& e : recovered)
            m_recovered.append({QString::fromStdString(e.key), QString::fromStdString(e.name), e.state});
    }
    qDebug() << "loadDataFromDisk after" << timer.elapsed() << "ms";
}

void CDiskManagePage::onUpdateTree()
{
    qDebug() << "onUpdateTree before";
    QElapsedTimer timer;
    timer.start();
    QVector<QPair<QString, QString>> all;
    QVector<RecoveredRecord> recovered;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        all.reserve(m_recordMap.size());
        for (auto it = m_recordMap.constBegin(); it != m_recordMap.constEnd(); ++it)
            all.append(qMakePair(it.key(), it.value()));
        recovered = m_recovered;
    }
    const int nTotal = all.size() + recovered.size();
    emitOnGuiThread([this, nTotal] { emit clearRecordTree(nTotal); });
    // Off the GUI thread the batches are spaced so that the GUI stays
    // responsive while it builds the tree.
    const bool bOnGuiThread = QThread::currentThread() == thread();
    for (int first = 0; first < all.size() && !m_bQuit; first += kBatchSize) {
        const QVector<QPair<QString, QString>> batch = all.mid(first, kBatchSize);
        qDebug() << "onUpdateTree after-------------------------" << timer.elapsed();
        emitOnGuiThread([this, batch] { emit appendNewRecord(batch, batch.size()); });
        if (!bOnGuiThread)
            QThread::msleep(10);
    }
    // The recovered recordings come last, below the recordings of their
    // partitions.
    for (int first = 0; first < recovered.size() && !m_bQuit; first += kBatchSize) {
        const QVector<RecoveredRecord> batch = recovered.mid(first, kBatchSize);
        emitOnGuiThread([this, batch] { onAppendRecovered(batch); });
        if (!bOnGuiThread)
            QThread::msleep(10);
    }
    qDebug() << "onUpdateTree after";
}

void CDiskManagePage::onClearRecordTree(int nTotal)
{
    clearTree();
    m_nTotal = nTotal;
    m_nAppended = 0;
    m_latestDate = QDate();
    if (nTotal < 0) {
        m_bLoaded = false;
        return;
    }
    addPartitionNodes();
    if (nTotal == 0)
        finishTree();
}

QStandardItem* CDiskManagePage::diskNode(int nDisk)
{
    CGlobalAppData* pApp = CGlobalAppData::instance();
    bool bCreated = false;
    const int nDrive = pApp->diskDriveNumber(nDisk);
    QStandardItem* pDisk = node(nullptr, QString::number(nDisk), DiskLevel, nDisk,
                                QString("PhysicalDrive%1").arg(nDrive >= 0 ? nDrive : nDisk), m_diskIcon, &bCreated);
    if (bCreated) {
        const QString kind = m_diskKinds.value(nDisk);
        pDisk->setToolTip(kind.isEmpty() ? pApp->diskSource(nDisk) : pApp->diskSource(nDisk) + '\n' + kind);
    }
    return pDisk;
}

QStandardItem* CDiskManagePage::partitionNode(QStandardItem* pDisk, int nDisk, int nPart)
{
    bool bCreated = false;
    QStandardItem* pPart = node(pDisk, QString("%1/%2").arg(nDisk).arg(nPart), PartitionLevel, nPart,
                                QString::fromStdString(wfs_build_ide_component(nDisk, nPart)), m_dirIcon,
                                &bCreated);
    if (bCreated)
        pPart->setData(nDisk, DiskRole);
    return pPart;
}

void CDiskManagePage::addPartitionNodes()
{
    QVector<QPair<int, int>> parts;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        parts = m_listedParts;
    }
    for (const auto& dp : parts)
        partitionNode(diskNode(dp.first), dp.first, dp.second);
}

void CDiskManagePage::addEmptyPartitionNotes()
{
    for (int d = 0; d < m_pModel->rowCount(); ++d) {
        QStandardItem* pDisk = m_pModel->item(d);
        for (int p = 0; pDisk && p < pDisk->rowCount(); ++p) {
            QStandardItem* pPart = pDisk->child(p);
            // A partition whose only child is its "Recovered" node has no
            // recordings of its own either.
            const bool bOnlyRecovered = pPart->rowCount() == 1 &&
                                        pPart->child(0)->data(KeyRole) == QVariant(kRecoveredKey) &&
                                        pPart->child(0)->data(LevelRole).toInt() == PartitionLevel;
            if (pPart->data(LevelRole).toInt() != PartitionLevel || (pPart->hasChildren() && !bOnlyRecovered))
                continue;
            auto* pNote = new QStandardItem(tr("no recordings of the chosen stream"));
            // The list is narrow: the whole note also shows on hovering, as a
            // recording's name does.
            pNote->setToolTip(pNote->text());
            // Not a level of the tree: no command, no selection.
            pNote->setData(NoteLevel, LevelRole);
            pNote->setFlags(Qt::ItemIsEnabled);
            QFont font = pNote->font();
            font.setItalic(true);
            pNote->setFont(font);
            pNote->setForeground(QColor(150, 156, 164));
            pPart->insertRow(0, pNote);
            m_pTreeView->expand(pDisk->index());
            m_pTreeView->expand(pPart->index());
        }
    }
}

void CDiskManagePage::onAppendNewRecord(QVector<QPair<QString, QString>> arr, int count)
{
    CGlobalAppData* pApp = CGlobalAppData::instance();
    count = qBound(0, count, arr.size());
    QString previousDate;
    for (int i = 0; i < count; ++i) {
        ++m_nAppended;
        const QString& key = arr.at(i).first;
        const QString& name = arr.at(i).second;
        const int nDisk = keyField(key, 0, 2);
        const int nPart = keyField(key, 2, 2);
        const int nChannel = keyField(key, 4, 2);
        const QDate date(keyField(key, 6, 4), keyField(key, 10, 2), keyField(key, 12, 2));
        if (nDisk < 0 || nPart < 0 || nChannel < 0 || !date.isValid() || name.isEmpty()) {
            if (m_nAppended == m_nTotal)
                finishTree();
            continue;
        }
        const QString dateText = date.toString("yyyy-MM-dd");
        const QString diskKey = QString::number(nDisk);
        const QString partKey = diskKey + '/' + QString::number(nPart);
        const QString dateKey = partKey + '/' + dateText;
        const QString channelKey = dateKey + '/' + QString::number(nChannel);

        bool bCreated = false;
        QStandardItem* pPart = partitionNode(diskNode(nDisk), nDisk, nPart);
        QStandardItem* pDate = node(pPart, dateKey, DateLevel, dateText, dateText, m_dirIcon, &bCreated);
        if (bCreated) {
            pDate->setData(nDisk, DiskRole);
            pDate->setData(nPart, PartRole);
            pDate->setData(date, DateRole);
        }
        if (dateText != previousDate) {
            pApp->addRecordDate(CGlobalAppData::DiskDates, date);
            previousDate = dateText;
        }
        QStandardItem* pChannel = node(pDate, channelKey, ChannelLevel, nChannel,
                                       QString("%1").arg(nChannel + 1, 3, 10, QChar('0')), m_dirIcon, &bCreated);
        if (bCreated) {
            pChannel->setData(nDisk, DiskRole);
            pChannel->setData(nPart, PartRole);
            pChannel->setData(date, DateRole);
        }
        auto* pRecord = new QStandardItem(m_fileIcon, name);
        pRecord->setToolTip(name);
        pRecord->setData(RecordLevel, LevelRole);
        pRecord->setData(name, KeyRole);
        pRecord->setData(nDisk, DiskRole);
        pRecord->setData(nPart, PartRole);
        pRecord->setData(date, DateRole);
        pRecord->setData(nChannel, ChannelRole);
        pChannel->appendRow(pRecord);
        if (!m_latestDate.isValid() || date >= m_latestDate)
            m_latestDate = date;
        if (m_nAppended == m_nTotal)
            finishTree();
    }
}

void CDiskManagePage::finishTree()
{
    CGlobalAppData* pApp = CGlobalAppData::instance();
    m_bLoaded = true;
    addEmptyPartitionNotes();
    emit enabledControl(true);
    pApp->setCurrentDate(m_latestDate.isValid() ? m_latestDate : pApp->currentDate);
    m_pCalendar->refreshMarks();
    announceDate(m_latestDate);
    reportAddedImages();
}

void CDiskManagePage::onEnabledControl(bool bEnabled)
{
    m_pLoadingLabel->setVisible(!bEnabled);
    if (!bEnabled)
        m_pLoadingLabel->raise();
    setEnabled(bEnabled);
}

void CDiskManagePage::resizeEvent(QResizeEvent* event)
{
    CRecordPage::resizeEvent(event);
    m_pLoadingLabel->resize(qMax(0, m_pTreeView->width() - 5), m_pLoadingLabel->sizeHint().height());
    m_pLoadingLabel->move(0, m_pTreeView->height() / 2);
}

// ---------------------------------------------------------------------------
// Drives and disk images

QString CDiskManagePage::unreadableLine(const UnreadableDrive& drive)
{
    const QString source = QString::fromStdString(drive.source);
    const QString segment = QString::fromStdString(drive.image.segment);
    const QString reason = QString::fromLocal8Bit(std::strerror(drive.error));
    switch (drive.image.problem) {
    case IMAGE_SEGMENT_MISSING:
        return tr("Cannot read the disk image %1: its segment %2 is missing.").arg(source, segment);
    case IMAGE_SEGMENT_SHORT:
        return tr("Cannot read the disk image %1: its segment %2 is cut short.").arg(source, segment);
    case IMAGE_SEGMENT_DAMAGED:
        return tr("Cannot read the disk image %1: its segment %2 is damaged.").arg(source, segment);
    case IMAGE_SEGMENT_UNREADABLE:
        return tr("Cannot read the disk image %1: its segment %2 cannot be opened (%3).").arg(source, segment, reason);
    case IMAGE_SEGMENT_TOO_LONG:
        return tr("Cannot read the disk image %1: its segment %2 is longer than the first segment.")
            .arg(source, segment);
    case IMAGE_NOT_FIRST_SEGMENT:
        return tr("%1 is not the first segment of its split image (%2 comes before it).").arg(source, segment);
    case IMAGE_SET_DAMAGED:
        return tr("Cannot read the disk image %1: the image set is damaged.").arg(source);
    default:
        return tr("Cannot read %1 (%2): the program needs read access to this drive.").arg(source, reason);
    }
}

QString CDiskManagePage::sourceKindText(const DiskSourceInfo& info)
{
    const int segments = static_cast<int>(info.segments.size());
    if (info.kind == "raw")
        return tr("raw image");
    if (info.kind == "split")
        return segments == 1 ? tr("split raw image, 1 segment") : tr("split raw image, %1 segments").arg(segments);
    if (info.kind == "ewf")
        return segments == 1 ? tr("EWF image, 1 segment") : tr("EWF image, %1 segments").arg(segments);
    return QString();
}

void CDiskManagePage::onDrivesUnreadable(QStringList strSources, QStringList strLines)
{
    QStringList lines;
    QStringList fresh;
    m_unreadableNow = QSet<QString>(strSources.begin(), strSources.end());
    for (int i = 0; i < strSources.size(); ++i) {
        const QString line = strLines.value(i);
        lines << line;
        if (!m_toldDrives.contains(strSources.at(i))) {
            m_toldDrives.insert(strSources.at(i));
            fresh << line;
        }
    }
    m_pAccessLabel->setText(lines.join('\n'));
    m_pAccessLabel->setVisible(!lines.isEmpty());
    if (!fresh.isEmpty())
        FancyMessageBox::message(fresh.join('\n'));
}

bool CDiskManagePage::AddDiskImage(const QString& strFile, QString* pError)
{
    const QFileInfo info(strFile);
    QString error;
    if (!info.exists())
        error = tr("%1 does not exist").arg(strFile);
    else if (!info.isFile())
        error = tr("%1 is not a file").arg(strFile);
    else if (!info.isReadable())
        error = tr("%1 cannot be read").arg(strFile);
    if (!error.isEmpty()) {
        if (pError)
            *pError = error;
        return false;
    }
    const std::string path = info.canonicalFilePath().toLocal8Bit().toStdString();
    for (const std::string& known : registered_image_files()) {
        if (known == path)
            return true;
    }
    register_image_file(path.c_str());
    return true;
}

bool CDiskManagePage::LoadDiskImage(const QString& strFile)
{
    QString error;
    if (!AddDiskImage(strFile, &error)) {
        FancyMessageBox::message(error);
        return false;
    }
    m_addedImages << QFileInfo(strFile).canonicalFilePath();
    if (!StartReload())
        FancyMessageBox::message(tr("The disks are read again when the current work has finished"));
    return true;
}

void CDiskManagePage::onAddDiskImage()
{
    const QString file = QFileDialog::getOpenFileName(this, tr("Select a disk image"), QString(),
                                                      tr("Disk images (*.img *.bin *.dd *.raw *.E01 *.e01 *.Ex01 *.000 *.001);;"
                                                         "Raw images (*.img *.bin *.dd *.raw);;"
                                                         "Split raw images, first segment (*.000 *.001);;"
                                                         "Expert Witness images (*.E01 *.e01 *.Ex01);;"
                                                         "All files (*)"));
    if (!file.isEmpty())
        LoadDiskImage(file);
}

void CDiskManagePage::reportAddedImages()
{
    if (m_addedImages.isEmpty())
        return;
    QSet<QString> disks;
    {
        CFSLocker lock;
        for (int d = 0; d < m_ideNum.load(); ++d)
            disks.insert(QString::fromStdString(recorder_disk_source(d)));
    }
    for (const QString& image : qAsConst(m_addedImages)) {
        // An image set that could not be opened has been told already.
        if (!disks.contains(image) && !m_unreadableNow.contains(image))
            FancyMessageBox::message(tr("%1 is not a recorder disk").arg(image));
    }
    m_addedImages.clear();
}

// ---------------------------------------------------------------------------
// Tree commands

QString CDiskManagePage::recordingPath(const QModelIndex& index) const
{
    if (!index.isValid() || index.data(LevelRole).toInt() != RecordLevel)
        return QString();
    const QDate date = index.data(DateRole).toDate();
    return QString::fromStdString(MakeRecordPath(index.data(DiskRole).toInt(), index.data(PartRole).toInt(),
                                                 date.year(), date.month(), date.day(),
                                                 index.data(ChannelRole).toInt(),
                                                 index.data(KeyRole).toString().toStdString()));
}

QMenu* CDiskManagePage::buildContextMenu(const QModelIndex& index)
{
    if (!index.isValid())
        return nullptr;
    QList<QPair<QString, int>> actions;
    switch (index.data(LevelRole).toInt()) {
    case DiskLevel:
        actions << qMakePair(tr("Disk Info"), int(CmdDiskInfo));
        break;
    case DateLevel:
    case ChannelLevel:
        actions << qMakePair(tr("Export"), int(CmdExport));
        break;
    case RecordLevel:
        actions << qMakePair(tr("Play"), int(CmdPlay)) << qMakePair(tr("Export"), int(CmdExport))
                << qMakePair(tr("Cut"), int(CmdCut)) << qMakePair(tr("Sync Play"), int(CmdSyncPlay));
        break;
    default:
        return nullptr;
    }
    auto* pMenu = new QMenu(this);
    for (const auto& a : actions)
        pMenu->addAction(a.first)->setData(a.second);
    return pMenu;
}

void CDiskManagePage::runCommand(int nCommand)
{
    switch (nCommand) {
    case CmdDiskInfo:
        onShowDiskInfo();
        break;
    case CmdExport:
        onExportFile();
        break;
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

void CDiskManagePage::onExportFile()
{
    if (!m_curIndex.isValid())
        return;
    CGlobalAppData* pApp = CGlobalAppData::instance();
    pApp->exportQueue.clear();
    for (QStandardItem* pItem : RecordTree::collectRecordings(m_pModel->itemFromIndex(m_curIndex)))
        pApp->exportQueue.append(recordingPath(pItem->index()));
    if (!pApp->exportQueue.isEmpty()) {
        ++m_nJobs;
        RunExportDialog(this);
        --m_nJobs;
    }
    pApp->exportQueue.clear();
}

QString CDiskManagePage::diskInfoText(int nDisk) const
{
    QString text;
    const QVector<QStringList> rows = diskInfoRows(nDisk);
    for (int r = 0; r < rows.size(); ++r) {
        const QStringList& row = rows.at(r);
        text += QString("%1%2,%3%4").arg(row.at(0), row.at(1), row.at(2), row.at(3));
        if (r + 1 < rows.size())
            text += "\r\n";
    }
    return text;
}

QVector<QStringList> CDiskManagePage::diskInfoRows(int nDisk) const
{
    CatalogueDiskTotals totals;
    CRecordCatalogue::DiskTotals(nDisk, &totals);
    const QString unit = tr("MB");
    auto cell = [&unit](quint64 nMB) { return QString("%1 %2").arg(nMB).arg(unit); };
    const QString remain = tr("Remain Space") + ':';
    return {{tr("Total Space") + ':', cell(totals.totalMB), remain, cell(totals.freeMB)},
            {tr("Picture Total Space") + ':', cell(totals.pictureTotalMB), remain, cell(totals.pictureFreeMB)},
            {tr("Record Total Space") + ':', cell(totals.recordTotalMB), remain, cell(totals.recordFreeMB)}};
}

void CDiskManagePage::onShowDiskInfo()
{
    if (!m_curIndex.isValid() || m_curIndex.data(LevelRole).toInt() != DiskLevel)
        return;
    const int nDisk = m_curIndex.data(KeyRole).toInt();
    CMessageBox box(this, CMessageBox::Information, tr("Disk Info"), diskInfoText(nDisk), QStringList{tr("OK")});
    // A table keeps every "label:value" on one line, whatever the language.
    box.setTable(diskInfoRows(nDisk));
    box.exec();
}
