#include "app/export/jobs/ExportJob.h"

#include "app/export/jobs/ConvertToMp4.h"
#include "app/export/jobs/DiskLockGuard.h"
#include "app/fs/CFSFile.h"

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
    if (!path.startsWith(QLatin1String("/mnt/")))
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
    m_nConvertFailures = 0;

    const int total = m_paths.size();
    const QString dest = m_strDestination.isEmpty() ? QStringLiteral(".") : m_strDestination;

    // The folder itself first, so that a new destination gets its catalogue.
    if (!QDir().mkpath(dest)) {
        fail(dest, tr("The destination folder cannot be created"));
        if (!isStopped())
            emit showMessage(resultMessage());
        return;
    }

    QFile index(dest + QStringLiteral("/index.data"));
    if (m_nFormat == FormatH264 && !index.open(QIODevice::WriteOnly | QIODevice::Append)) {
        // Without its catalogue the folder could not be opened as a local
        // record folder: nothing is copied.
        fail(QStringLiteral("index.data"), index.errorString());
        if (!isStopped())
            emit showMessage(resultMessage());
        return;
    }

    for (int i = 0; i < total; ++i) {
        const QString source = m_paths.at(i);
        if (isStopped())
            break;
        const QString rel = RelativePath(source);
        const QString name = source.mid(source.lastIndexOf(QLatin1Char('/')) + 1);
        emit updateExportStatus(QStringLiteral("%1 %2/%3 %4").arg(tr("Export")).arg(i + 1).arg(total).arg(name));
        emit updateProcess(0);
        if (rel.isEmpty()) {
            fail(source, tr("Not a recording path"));
            continue;
        }
        const QString folder = dest + QLatin1Char('/') + rel.left(rel.lastIndexOf(QLatin1Char('/')) + 1);
        const QString target = folder + name;
        if (!QDir().mkpath(folder)) {
            fail(rel, tr("The folder cannot be created"));
            continue;
        }
        if (QFileInfo::exists(target) && !QFile::remove(target)) {
            fail(rel, tr("The existing file cannot be replaced"));
            continue;
        }
        const bool ok = copyOne(source, rel, target);
        if (isStopped())
            break;  // the partial copy stays, unlisted
        if (!ok)
            continue;
        if (m_nFormat == FormatMp4) {
            m_exported.append(target);
        } else {
            const QByteArray line = QFile::encodeName(rel) + "\r\n";
            if (index.write(line) != line.size() || !index.flush()) {
                fail(rel, tr("The line of index.data cannot be written"));
                continue;
            }
            m_written.append(target);
        }
    }
    if (index.isOpen())
        index.close();

    if (isStopped())
        return;
    if (m_nFormat == FormatMp4)
        convertPass();
    else
        emit showMessage(resultMessage());
}

bool CExportJob::copyOne(const QString& strSource, const QString& strRelative, const QString& strTarget)
{
    const QByteArray sourcePath = QFile::encodeName(strSource);
    const QByteArray targetPath = QFile::encodeName(strTarget);
    CFSFile source;
    if (!source.Open(sourcePath.constData(), CFSFile::modeRead)) {
        fail(strRelative, tr("The recording cannot be opened"));
        return false;
    }
    CFSFile target;
    if (!target.Open(targetPath.constData(), CFSFile::modeReadWrite | CFSFile::modeCreate)) {
        source.Close();
        fail(strRelative, tr("The target file cannot be created"));
        return false;
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
    const bool bUnknownLength = length == 0 && strSource.startsWith(QLatin1String("/mnt/ide"));
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
        if (target.Write(buffer.data(), got) != got) {
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
    target.Close();
    source.Close();
    if (isStopped())
        return true;
    // Buffered bytes that could not be flushed show as a short file.
    if (uint64_t(QFileInfo(strTarget).size()) != copied) {
        ok = false;
        bReadBreak = false;
        reason = tr("The target file cannot be written");
    }
    if (!ok) {
        // A copy cut short by the destination is removed; one cut short by a
        // broken recording holds everything that could be read and is kept,
        // with the break reported.
        if (!bReadBreak)
            QFile::remove(strTarget);
        fail(strRelative, reason);
    }
    return ok;
}

void CExportJob::onConvertProgress(int nPercent, void* pUser)
{
    if (nPercent > 0)
        emit static_cast<CExportJob*>(pUser)->updateProcess(nPercent * 10);
}

void CExportJob::convertPass()
{
    bool ok = true;
    int count = 0;
    emit updateExportStatus(tr("Convert Record"));
    emit updateProcess(0);
    CConvertToMp4* converter = CConvertToMp4::instance();
    for (const QString& file : qAsConst(m_exported)) {
        if (isStopped())
            break;
        emit updateExportStatus(tr("Convert To Mp4"));
        const QString mp4 = CConvertToMp4::Mp4PathFor(file);
        ++count;
        emit updateExportStatus(QStringLiteral("%1 %2/%3 %4")
                                    .arg(tr("Convert "))
                                    .arg(count)
                                    .arg(m_paths.size())
                                    .arg(mp4.mid(mp4.lastIndexOf(QLatin1Char('/')) + 1)));
        emit updateProcess(0);
        converter->SetProgressReceiver(&CExportJob::onConvertProgress, this);
        const bool converted = converter->ConvertH264ToMp4(file, mp4);
        converter->SetProgressReceiver(nullptr, nullptr);
        if (converted) {
            m_converted.append(file);
            m_written.append(mp4);
        } else if (!isStopped()) {
            ok = false;
            ++m_nConvertFailures;
            fail(mp4.mid(m_strDestination.size() + 1), tr("Convert Failed"));
        }
    }
    if (isStopped())
        return;
    emit convertFinishi(ok && m_failures.isEmpty());
}

QString CExportJob::finishConversion(bool bOk)
{
    for (const QString& file : qAsConst(m_converted)) {
        if (QFileInfo::exists(file))
            QFile::remove(file);
    }
    if (bOk && m_failures.isEmpty())
        return tr("Export Success");
    if (m_failures.size() == m_nConvertFailures)
        return tr("Convert Failed");
    return resultMessage();
}

QString CExportJob::resultMessage() const
{
    if (m_failures.isEmpty())
        return tr("Export Success");
    QStringList lines;
    lines << tr("Export failed for %1 of %2 recordings:").arg(m_failures.size()).arg(m_paths.size());
    const int kShown = 10;
    for (int i = 0; i < m_failures.size() && i < kShown; ++i)
        lines << QStringLiteral("%1: %2").arg(m_failures.at(i).strName, m_failures.at(i).strReason);
    if (m_failures.size() > kShown)
        lines << tr("and %1 more").arg(m_failures.size() - kShown);
    return lines.join(QLatin1Char('\n'));
}
