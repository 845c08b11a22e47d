#include "app/export/jobs/ExportJob.h"

#include "app/export/jobs/ConvertToMp4.h"
#include "app/export/jobs/DiskLockGuard.h"
#include "app/export/jobs/HashManifest.h"
#include "app/export/jobs/HashingWriter.h"
#include "app/export/jobs/RecordProvenance.h"
#include "app/export/jobs/Sha256.h"
#include "app/fs/CFSFile.h"
#include "wfs/file/path_name.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cstdio>
#include <vector>

CExportJob::CExportJob(QObject* parent) : QObject(parent)
{
}

void CExportJob::setDestination(const QString& strDir)
{
    m_strDestination = QDir::fromNativeSeparators(strDir);
    m_strDestination.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (m_strDestination.size() > 1 && m_strDestination.endsWith(QLatin1Char('/')))
        m_strDestination.chop(1);
}

void CExportJob::requestStop()
{
    m_bStopped = true;
}

QString CExportJob::RelativePath(const QString& strPath)
{
    QString path = strPath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!path.startsWith(QLatin1String(WFS_PATH_ROOT)))
        return QString();
    const QString rel = path.mid(5);
    const QStringList parts = rel.split(QLatin1Char('/'));
    for (const QString& part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return QString();
    }
    return rel;
}

void CExportJob::fail(const QString& strName, const QString& strReason)
{
    qDebug() << "Export failed:" << strName << strReason;
    m_failures.append(Failure{strName, strReason});
}

void CExportJob::run()
{
    m_exported.clear();
    m_converted.clear();
    m_written.clear();
    m_failures.clear();
    m_kept.clear();
    m_warnings.clear();
    m_pendingHashes.clear();
    m_nConvertFailures = 0;
    m_strReportPath.clear();
    m_strReportJsonPath.clear();
    m_report = CExamReport();
    m_report.begin(QStringLiteral("export"));
    m_report.strFormat = m_nFormat == FormatMp4 ? QStringLiteral("mp4") : QStringLiteral("h264");
    m_report.caseDetails = m_caseDetails;
    if (m_index.isOpen())
        m_index.close();

    const int total = m_paths.size();
    const QString dest = m_strDestination.isEmpty() ? QStringLiteral(".") : m_strDestination;
    m_report.strDestination = dest;

    // The folder itself first, so that a new destination gets its catalogue.
    if (!QDir().mkpath(dest)) {
        fail(dest, tr("The destination folder cannot be created"));
        if (!isStopped())
            emit showMessage(resultMessage());
        return;
    }

    m_index.setFileName(dest + QStringLiteral("/index.data"));
    if (m_nFormat == FormatH264 && !m_index.open(QIODevice::WriteOnly | QIODevice::Append)) {
        // Without its catalogue the folder could not be opened as a local
        // record folder: nothing is copied.
        fail(QStringLiteral("index.data"), m_index.errorString());
        m_report.warnings << tr("index.data cannot be opened: nothing was copied");
        writeReport();
        if (!isStopped())
            emit showMessage(resultMessage());
        return;
    }

    for (int i = 0; i < total; ++i) {
        const QString source = m_paths.at(i);
        if (isStopped())
            break;
        ExamItem item;
        FillRecordProvenance(source, &item);
        const QString rel = RelativePath(source);
        const QString name = source.mid(source.lastIndexOf(QLatin1Char('/')) + 1);
        emit updateExportStatus(QStringLiteral("%1 %2/%3 %4").arg(tr("Export")).arg(i + 1).arg(total).arg(name));
        emit updateProcess(0);
        auto refuse = [&](const QString& strName, const QString& strReason) {
            fail(strName, strReason);
            item.strMessage = strReason;
            m_report.items.append(item);
        };
        if (rel.isEmpty()) {
            refuse(source, tr("Not a recording path"));
            continue;
        }
        const QString folder = dest + QLatin1Char('/') + rel.left(rel.lastIndexOf(QLatin1Char('/')) + 1);
        const QString target = folder + name;
        if (!QDir().mkpath(folder)) {
            refuse(rel, tr("The folder cannot be created"));
            continue;
        }
        if (QFileInfo::exists(target) && !QFile::remove(target)) {
            refuse(rel, tr("The existing file cannot be replaced"));
            continue;
        }
        const bool ok = copyOne(source, rel, target, &item);
        m_report.items.append(item);
        if (isStopped())
            break;  // the partial copy stays, unlisted in index.data
        // A copy that a broken recording cut short stays (it is everything
        // that could be read) with its hash line and its report item, but is
        // not listed as a recording of the folder.
        if (!ok)
            continue;
        if (m_nFormat == FormatMp4) {
            m_exported.append(Pending{target, m_report.items.size() - 1});
        } else {
            if (!appendIndexLine(rel)) {
                fail(rel, tr("The line of index.data cannot be written"));
                continue;
            }
            m_written.append(target);
        }
    }
    if (m_index.isOpen() && m_nFormat == FormatH264)
        m_index.close();

    if (isStopped()) {
        m_report.warnings << tr("The job was stopped before its end");
        writeReport();
        return;
    }
    if (m_nFormat == FormatMp4) {
        convertPass();
    } else {
        writeReport();
        emit showMessage(resultMessage());
    }
}

bool CExportJob::appendIndexLine(const QString& strRelative)
{
    if (!m_index.isOpen() && !m_index.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray line = QFile::encodeName(strRelative) + "\r\n";
    return m_index.write(line) == line.size() && m_index.flush();
}

void CExportJob::recordHash(const QString& strRelative, const QByteArray& hash)
{
    m_pendingHashes.append(PendingHash{strRelative, hash});
    // SHA256SUMS is rewritten whole on each update: lines are gathered and
    // written a few dozen at a time (and before the job reports its end).
    if (m_pendingHashes.size() >= kHashBatch)
        flushHashes();
}

void CExportJob::flushHashes()
{
    if (m_pendingHashes.isEmpty())
        return;
    QString error;
    const bool ok = HashManifest::update(
        m_report.strDestination,
        [&](HashManifest& m) {
            for (const PendingHash& p : qAsConst(m_pendingHashes)) {
                if (p.hash.isEmpty())
                    m.remove(p.strRelative);
                else
                    m.set(p.strRelative, p.hash);
            }
        },
        &error);
    if (!ok) {
        QStringList names;
        for (const PendingHash& p : qAsConst(m_pendingHashes))
            names << p.strRelative;
        const QString text = tr("SHA256SUMS cannot be updated for %1: %2").arg(names.join(QStringLiteral(", ")), error);
        m_warnings << text;
        m_report.warnings << text;
    }
    m_pendingHashes.clear();
}

void CExportJob::writeReport()
{
    flushHashes();
    m_report.finished = QDateTime::currentDateTime();
    m_report.describeSources();
    if (!m_bWriteReport)
        return;
    QString error;
    if (!m_report.write(m_report.strDestination, &m_strReportJsonPath, &m_strReportPath, &error)) {
        m_warnings << tr("The examination report cannot be written: %1").arg(error);
        if (!QFileInfo::exists(m_strReportPath))
            m_strReportPath.clear();
        if (!QFileInfo::exists(m_strReportJsonPath))
            m_strReportJsonPath.clear();
    }
}

bool CExportJob::copyOne(const QString& strSource, const QString& strRelative, const QString& strTarget,
                         ExamItem* pItem)
{
    const QByteArray sourcePath = QFile::encodeName(strSource);
    CFSFile source;
    auto failed = [&](const QString& strReason) {
        fail(strRelative, strReason);
        pItem->strOutcome = QStringLiteral("failed");
        pItem->strMessage = strReason;
        // A target this job removed or could not write has no line.
        recordHash(strRelative, QByteArray());
        return false;
    };
    if (!source.Open(sourcePath.constData(), CFSFile::modeRead))
        return failed(tr("The recording cannot be opened"));
    CHashingWriter target;
    if (!target.open(strTarget)) {
        source.Close();
        return failed(tr("The target file cannot be created"));
    }

    std::vector<char> buffer(kChunkSize);
    uint64_t length = 0;
    {
        CDiskLockGuard lock(m_pDiskLock);
        length = source.GetLength();
    }
    uint64_t copied = 0;
    bool ok = true;
    bool bReadBreak = false;  // the source ended early: what was read is kept
    QString reason;
    // Every recording holds at least one sector: a length of 0 means its end
    // could not be found (a chain broken on the way). What can be read is
    // still copied, and the break reported.
    const bool bUnknownLength = length == 0 && strSource.startsWith(QLatin1String(WFS_PATH_PREFIX));
    while (ok && (bUnknownLength || copied < length)) {
        const uint64_t left = bUnknownLength ? uint64_t(kChunkSize) : length - copied;
        const size_t want = left < uint64_t(kChunkSize) ? size_t(left) : size_t(kChunkSize);
        size_t got;
        {
            CDiskLockGuard lock(m_pDiskLock);
            got = source.Read(buffer.data(), want);
        }
        if (got == 0) {
            ok = false;
            bReadBreak = true;
            reason = bUnknownLength
                         ? tr("Reading ended after %1 bytes: the end of the recording cannot be reached").arg(copied)
                         : tr("Reading ended after %1 of %2 bytes").arg(copied).arg(length);
            break;
        }
        if (!target.write(buffer.data(), got)) {
            ok = false;
            reason = tr("The target file cannot be written");
            break;
        }
        copied += got;
        if (!bUnknownLength)
            emit updateProcess(int(double(copied) / double(length) * 1000.0));
        if (isStopped())
            break;
        // Let the play channels have the disk between chunks.
        QThread::yieldCurrentThread();
    }
    const bool whole = target.close();
    source.Close();
    pItem->nSourceBytes = qint64(copied);
    if (isStopped() && ok) {
        ok = false;
        bReadBreak = true;
        reason = copied < length || bUnknownLength ? tr("Stopped after %1 bytes").arg(copied) : QString();
        if (reason.isEmpty())
            ok = true;  // the last chunk completed the copy
    }
    // Buffered bytes that could not be flushed show as a short file.
    if (!whole) {
        ok = false;
        bReadBreak = false;
        reason = tr("The target file cannot be written");
    }
    if (!ok && !bReadBreak) {
        // A copy cut short by the destination is removed.
        QFile::remove(strTarget);
        return failed(reason);
    }
    // What the file holds is exactly what was read: one hash for both.
    pItem->sourceSha256 = target.hash();
    pItem->strOutput = strRelative;
    pItem->nOutputBytes = qint64(target.bytes());
    pItem->outputSha256 = target.hash();
    pItem->strOutputHashedBy = QStringLiteral("writing");
    recordHash(strRelative, target.hash());
    if (ok) {
        pItem->strOutcome = QStringLiteral("complete");
        return true;
    }
    // One cut short by a broken recording (or a stop) holds everything that
    // could be read and is kept, with the break reported.
    pItem->strOutcome = QStringLiteral("short");
    pItem->strMessage = reason;
    if (!isStopped())
        fail(strRelative, reason);
    return false;
}

void CExportJob::onConvertProgress(int nPercent, void* pUser)
{
    if (nPercent > 0)
        emit static_cast<CExportJob*>(pUser)->updateProcess(nPercent * 10);
}

void CExportJob::keepRaw(int nItem, const QString& strTarget, const QString& strReason)
{
    ExamItem& item = m_report.items[nItem];
    item.bKeptAsH264 = true;
    item.strMessage = strReason;
    const QString rel = item.strOutput;
    m_kept << QStringLiteral("%1: %2").arg(rel, strReason);
    m_written.append(strTarget);
    if (!appendIndexLine(rel)) {
        const QString text = tr("The line of index.data cannot be written for %1").arg(rel);
        m_warnings << text;
        m_report.warnings << text;
    }
}

void CExportJob::convertPass()
{
    flushHashes();  // the raw copies are listed while they are converted
    bool ok = true;
    int count = 0;
    emit updateExportStatus(tr("Convert Record"));
    emit updateProcess(0);
    CConvertToMp4* converter = CConvertToMp4::instance();
    int next = 0;
    for (; next < m_exported.size(); ++next) {
        if (isStopped())
            break;
        const Pending& pending = m_exported.at(next);
        const QString& file = pending.strTarget;
        emit updateExportStatus(tr("Convert To Mp4"));
        const QString mp4 = CConvertToMp4::Mp4PathFor(file);
        const QString mp4Rel = mp4.mid(m_report.strDestination.size() + 1);
        ++count;
        emit updateExportStatus(QStringLiteral("%1 %2/%3 %4")
                                    .arg(tr("Convert "))
                                    .arg(count)
                                    .arg(m_paths.size())
                                    .arg(mp4.mid(mp4.lastIndexOf(QLatin1Char('/')) + 1)));
        emit updateProcess(0);
        // Converted under a name of its own: an MP4 file an earlier export
        // left there is replaced only by a finished one.
        const QString part = mp4 + QStringLiteral(".part");
        converter->SetProgressReceiver(&CExportJob::onConvertProgress, this);
        bool converted = converter->ConvertH264ToMp4(file, part);
        converter->SetProgressReceiver(nullptr, nullptr);
        if (converted && QFileInfo::exists(mp4) && !QFile::remove(mp4))
            converted = false;
        if (converted && !QFile::rename(part, mp4))
            converted = false;
        if (!converted) {
            QFile::remove(part);  // whatever the muxer left is no MP4 file
            if (!QFileInfo::exists(mp4))
                recordHash(mp4Rel, QByteArray());
            if (isStopped())
                break;
            ok = false;
            ++m_nConvertFailures;
            fail(pending.strTarget.mid(m_report.strDestination.size() + 1), tr("Convert Failed; kept as H.264"));
            keepRaw(pending.nItem, file, tr("The conversion to MP4 failed; the recording was kept as H.264"));
            continue;
        }
        // The muxer rewrites the header when it closes the file: the MP4 is
        // hashed by reading the finished file once.
        const HashFileResult h = HashFile(mp4);
        if (!h.bOk) {
            ok = false;
            ++m_nConvertFailures;
            fail(mp4Rel, tr("The MP4 file cannot be read back: %1").arg(h.strError));
            keepRaw(pending.nItem, file, tr("The MP4 file cannot be read back (%1); the recording was kept as H.264").arg(h.strError));
            continue;
        }
        ExamItem& item = m_report.items[pending.nItem];
        const QString rawRel = item.strOutput;
        recordHash(mp4Rel, h.hash);
        if (QFile::remove(file))
            recordHash(rawRel, QByteArray());
        else
            m_report.warnings << tr("The raw copy %1 cannot be removed after its conversion").arg(rawRel);
        item.setReadBackOutput(mp4Rel, h.nBytes, h.hash);
        m_converted.append(file);
        m_written.append(mp4);
    }
    if (isStopped()) {
        // Stopped during the conversion: the copies not converted stay.
        for (int i = next; i < m_exported.size(); ++i)
            keepRaw(m_exported.at(i).nItem, m_exported.at(i).strTarget,
                    tr("The job was stopped before the conversion; the recording was kept as H.264"));
        m_report.warnings << tr("The job was stopped before its end");
    }
    if (m_index.isOpen())
        m_index.close();
    writeReport();
    if (isStopped())
        return;
    emit convertFinishi(ok && m_failures.isEmpty());
}

QString CExportJob::finishConversion(bool bOk)
{
    if (bOk && m_failures.isEmpty() && m_warnings.isEmpty())
        return tr("Export Success");
    QString text;
    if (m_failures.size() == m_nConvertFailures && m_nConvertFailures > 0) {
        QStringList lines;
        lines << tr("Convert Failed");
        lines << tr("Kept as H.264 and listed in index.data:");
        lines += m_kept;
        lines += m_warnings;
        return lines.join(QLatin1Char('\n'));
    }
    text = resultMessage();
    if (!m_kept.isEmpty())
        text += QLatin1Char('\n') + tr("Kept as H.264 and listed in index.data:") + QLatin1Char('\n') +
                m_kept.join(QLatin1Char('\n'));
    return text;
}

QString CExportJob::stoppedMessage() const
{
    if (m_kept.isEmpty())
        return QString();
    return tr("Kept as H.264 and listed in index.data:") + QLatin1Char('\n') + m_kept.join(QLatin1Char('\n'));
}

QString CExportJob::resultMessage() const
{
    if (m_failures.isEmpty() && m_warnings.isEmpty())
        return tr("Export Success");
    if (m_failures.isEmpty())
        return (QStringList{tr("Export finished with warnings:")} + m_warnings).join(QLatin1Char('\n'));
    QStringList lines;
    lines << tr("Export failed for %1 of %2 recordings:").arg(m_failures.size()).arg(m_paths.size());
    const int kShown = 10;
    for (int i = 0; i < m_failures.size() && i < kShown; ++i)
        lines << QStringLiteral("%1: %2").arg(m_failures.at(i).strName, m_failures.at(i).strReason);
    if (m_failures.size() > kShown)
        lines << tr("and %1 more").arg(m_failures.size() - kShown);
    lines += m_warnings;
    return lines.join(QLatin1Char('\n'));
}
