#include "app/export/jobs/RecordProvenance.h"

#include "app/export/jobs/CutRange.h"
#include "app/fs/FSCriticalSection.h"
#include "wfs/device/source_info.h"
#include "wfs/file/recover.h"
#include "wfs/file/path_name.h"

#include <QFile>
#include <QFileInfo>
#include <QTime>

namespace {

bool isRecorderPath(const QString& strPath)
{
    return strPath.startsWith(QLatin1String(WFS_PATH_PREFIX));
}

// The first cluster a recording name carries ("[@1a2b]"), 0 when none.
qint64 firstClusterOf(const QString& strPath)
{
    const QString name = strPath.mid(strPath.lastIndexOf(QLatin1Char('/')) + 1);
    const int at = name.indexOf(QLatin1String("[@"));
    if (at < 0)
        return 0;
    const int close = name.indexOf(QLatin1Char(']'), at);
    if (close < 0)
        return 0;
    bool ok = false;
    const qint64 clus = name.mid(at + 2, close - at - 2).toLongLong(&ok, 16);
    return ok && clus >= 0 && clus <= 0xFFFFFFFFll ? clus : 0;
}

}  // namespace

void FillRecordProvenance(const QString& strPath, ExamItem* pItem)
{
    pItem->strPath = strPath;
    RecordSpan span;
    if (RecordSpanFromPath(strPath, &span)) {
        const QDateTime midnight(span.date, QTime(0, 0), Qt::UTC);
        pItem->start = midnight.addSecs(span.nStart);
        pItem->end = midnight.addSecs(span.nEnd);
        pItem->nPart = span.nPart;
        pItem->nChannel = span.nChannel;
    }
    pItem->nFirstCluster = firstClusterOf(strPath);
    pItem->strState = QStringLiteral("live");
    if (!isRecorderPath(strPath))
        return;  // a local copy: its disk is not read here
    const QChar letter = strPath.size() > 8 ? strPath.at(8) : QChar();
    if (letter >= QLatin1Char('a') && letter <= QLatin1Char('z'))
        pItem->nDisk = letter.unicode() - 'a';
    const QByteArray path = QFile::encodeName(strPath);
    unsigned state;
    {
        CFSLocker lock;
        state = wfs_recovery_state_of_path(path.constData());
    }
    if (state == WFS_STATE_DELETED)
        pItem->strState = QStringLiteral("deleted");
    else if (state == WFS_STATE_FRAGMENT)
        pItem->strState = QStringLiteral("fragment");
}

bool DescribeRecorderDisk(int nDisk, ExamSource* pOut)
{
    DiskSourceInfo info;
    {
        CFSLocker lock;
        if (recorder_disk_source_info(nDisk, &info) != 0)
            return false;
    }
    pOut->nDisk = nDisk;
    pOut->nDrive = info.drive_no;
    // Image files by their full paths: the report must say which files
    // they were, wherever it is read.
    auto full = [](const std::string& path) {
        const QString name = QFile::decodeName(path.c_str());
        return name.isEmpty() ? name : QFileInfo(name).absoluteFilePath();
    };
    pOut->strSource = full(info.source);
    pOut->strKind = QString::fromStdString(info.kind);
    pOut->segments.clear();
    pOut->segmentBytes.clear();
    for (size_t i = 0; i < info.segments.size(); ++i) {
        pOut->segments << full(info.segments[i]);
        pOut->segmentBytes << (i < info.segment_bytes.size() ? qint64(info.segment_bytes[i])
                                                             : QFileInfo(pOut->segments.last()).size());
    }
    pOut->nSectors = qint64(info.sectors);
    pOut->strModel = QString::fromStdString(info.model).trimmed();
    pOut->strSerial = QString::fromStdString(info.serial).trimmed();
    pOut->storedHashes.clear();
    for (const StoredHash& h : info.stored_hashes)
        pOut->storedHashes << QString::fromStdString(h.algorithm + ":" + h.hex);
    return true;
}
