#include "app/export/jobs/CutJob.h"

#include "app/export/jobs/ConvertToMp4.h"
#include "app/export/jobs/DiskLockGuard.h"
#include "app/fs/CFSFile.h"
#include "media/stream/StreamReader.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

const int kDay = 86400;

struct ReaderDeleter {
    void operator()(StreamReaderState* h) const { StreamReader_Destroy(h); }
};
using ReaderPtr = std::unique_ptr<StreamReaderState, ReaderDeleter>;

// Seconds of a frame's group time from midnight of the recording's date;
// false for a time that is no real date and time.
bool frameSeconds(const StreamFrame& f, const QDate& base, int64_t* pOut)
{
    if (f.nHour > 23 || f.nMinute > 59 || f.nSecond > 59)
        return false;
    const QDate date(int(f.nYear), int(f.nMonth), int(f.nDay));
    if (!date.isValid())
        return false;
    *pOut = base.daysTo(date) * kDay + f.nHour * 3600 + f.nMinute * 60 + f.nSecond;
    return true;
}

}  // namespace

CCutJob::CCutJob(QObject* parent) : QObject(parent)
{
}

void CCutJob::requestStop()
{
    m_bStopped = true;
}

QString CCutJob::mp4Path() const
{
    return m_strOutput.isEmpty() ? QString() : CConvertToMp4::Mp4PathFor(m_strOutput);
}

QString CCutJob::chooseOutputPath(const QString& strFolder, const QString& strName) const
{
    const QString stem = strName.left(strName.lastIndexOf(QLatin1Char('.')));
    const QString ext = strName.mid(stem.size());
    for (int n = 0;; ++n) {
        const QString path = strFolder + QLatin1Char('/') + stem +
                             (n == 0 ? QString() : QStringLiteral("_%1").arg(n)) + ext;
        if (QFileInfo::exists(path))
            continue;
        if (m_params.nFormat == FormatMp4 && QFileInfo::exists(CConvertToMp4::Mp4PathFor(path)))
            continue;
        return path;
    }
}

void CCutJob::run()
{
    m_strError.clear();
    m_strOutput.clear();
    m_nFrames = 0;
    m_result = cut();
    switch (m_result) {
    case Stopped:
    case NotRun:
        return;
    case Failed:
    case NoVideo:
        if (!isStopped())
            emit showMessage(resultMessage());
        return;
    case Succeeded:
        break;
    }
    if (isStopped())
        return;
    if (m_params.nFormat != FormatMp4) {
        emit showMessage(resultMessage());
        return;
    }
    emit updateExportStatus(tr("Convert Record"));
    emit updateProcess(0);
    emit updateExportStatus(tr("Convert To Mp4"));
    CConvertToMp4* converter = CConvertToMp4::instance();
    converter->SetProgressReceiver(&CCutJob::onConvertProgress, this);
    const bool ok = converter->ConvertH264ToMp4(m_strOutput, mp4Path());
    converter->SetProgressReceiver(nullptr, nullptr);
    if (isStopped())
        return;
    emit convertFinishi(ok);
}

void CCutJob::onConvertProgress(int nPercent, void* pUser)
{
    if (nPercent > 0)
        emit static_cast<CCutJob*>(pUser)->updateProcess(nPercent * 10);
}

QString CCutJob::finishConversion(bool bOk)
{
    if (!bOk)
        return tr("Convert Failed");
    QFile::remove(m_strOutput);
    return tr("Cut Success");
}

QString CCutJob::resultMessage() const
{
    switch (m_result) {
    case Succeeded:
        return tr("Cut Success");
    case NoVideo:
        return tr("No video lies in the selected range");
    case Failed:
        return m_strError.isEmpty() ? tr("Cut Failed") : tr("Cut Failed") + QLatin1Char('\n') + m_strError;
    default:
        return QString();
    }
}

CCutJob::Result CCutJob::cut()
{
    const Params& p = m_params;
    CutRange range;
    if (!MakeCutRange(p.record, p.nCutStart, p.nCutEnd, &range)) {
        m_strError = tr("Abnormal time");
        return Failed;
    }

    const QByteArray sourcePath = QFile::encodeName(p.strSource);
    CFSFile source;
    if (!source.Open(sourcePath.constData(), CFSFile::modeRead)) {
        m_strError = tr("The recording cannot be opened: %1").arg(p.strSource);
        return Failed;
    }
    QString folder = p.strDestFolder;
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    if (folder.isEmpty())
        folder = QStringLiteral(".");
    if (!QDir().mkpath(folder)) {
        m_strError = tr("The folder cannot be created: %1").arg(folder);
        return Failed;
    }
    m_strOutput = chooseOutputPath(folder, p.strNamePrefix + CutOutputName(p.record, p.nCutStart, p.nCutEnd));
    const QByteArray outputPath = QFile::encodeName(m_strOutput);
    CFSFile output;
    if (!output.Open(outputPath.constData(), CFSFile::modeReadWrite | CFSFile::modeCreate)) {
        m_strError = tr("The file cannot be created: %1").arg(m_strOutput);
        return Failed;
    }

    uint64_t length;
    {
        CDiskLockGuard lock(m_pDiskLock);
        length = source.GetLength();
    }
    std::vector<uint8_t> buffer(kChunkSize);
    ReaderPtr reader(StreamReader_Create());
    if (!reader) {
        m_strError = tr("Out of memory");
        return Failed;
    }

    const int64_t start = range.nStart;
    const int64_t end = range.nEnd;
    const int64_t recStart = p.record.nStart;
    const int64_t recEnd = p.record.nEnd;
    uint64_t position = 0;
    bool coarse = false;
    if (recStart != recEnd && length > uint64_t(kCoarseSeekSize)) {
        const uint64_t offset =
            uint64_t(double(start - recStart) * 0.8 / double(recEnd - recStart) * double(length));
        if (offset != 0 && offset < length) {
            CDiskLockGuard lock(m_pDiskLock);
            if (source.Seek(int64_t(offset), SEEK_SET) == offset) {
                position = offset;
                coarse = true;
            } else {
                source.Seek(0, SEEK_SET);
            }
        }
    }
    emit updateProcess(0);

    int64_t lastTime = -1;
    bool done = false;
    bool writeFailed = false;
    bool sawStamp = false;
    uint64_t written = 0;
    for (;;) {
        size_t got;
        {
            CDiskLockGuard lock(m_pDiskLock);
            got = source.Read(buffer.data(), buffer.size());
        }
        if (got == 0)
            break;
        position += got;
        StreamReader_PushData(reader.get(), buffer.data(), got);
        if (done || isStopped())
            break;
        bool restart = false;
        while (!isStopped()) {
            const StreamFrame* f = StreamReader_GetNextFrame(reader.get());
            if (!f)
                break;
            int64_t t;
            if (f->nYear == 0 || !frameSeconds(*f, p.record.date, &t))
                continue;
            if (!sawStamp) {
                sawStamp = true;
                // Positioned past the start: the estimate was too far in.
                if (coarse && t > start) {
                    restart = true;
                    break;
                }
            }
            if (t >= start && t <= end) {
                if (t != lastTime) {
                    emit updateProcess(end != start ? int(double(t - start) / double(end - start) * 1000.0) : -1);
                    emit updateExportStatus(tr("Start Cut"));
                }
                lastTime = t;
                if (output.Write(f->pData, f->nLength) != f->nLength) {
                    writeFailed = true;
                    break;
                }
                ++m_nFrames;
                written += f->nLength;
            } else if (t > end) {
                done = true;
            } else {
                if (t != lastTime)
                    emit updateExportStatus(QStringLiteral("%1 %2/%3").arg(tr("Find Start Pos")).arg(position).arg(length));
                lastTime = t;
            }
        }
        if (writeFailed)
            break;
        if (restart) {
            qDebug() << "Cut: the first frame after positioning is past the start; reading from the beginning";
            CDiskLockGuard lock(m_pDiskLock);
            if (source.Seek(0, SEEK_SET) != 0 || source.GetPosition() != 0) {
                m_strError = tr("The recording cannot be read");
                writeFailed = true;
                break;
            }
            reader.reset(StreamReader_Create());
            if (!reader || written != 0) {
                m_strError = tr("The recording cannot be read");
                writeFailed = true;
                break;
            }
            position = 0;
            coarse = false;
            sawStamp = false;
            lastTime = -1;
        }
    }
    emit updateProcess(1000);
    output.Close();
    source.Close();

    if (isStopped())
        return Stopped;  // the partial output stays
    // Buffered bytes that could not be flushed show as a short file.
    if (!writeFailed && uint64_t(QFileInfo(m_strOutput).size()) != written)
        writeFailed = true;
    if (writeFailed) {
        if (m_strError.isEmpty())
            m_strError = tr("The file cannot be written: %1").arg(m_strOutput);
        QFile::remove(m_strOutput);
        m_strOutput.clear();
        return Failed;
    }
    if (!done && position < length) {
        m_strError = tr("Reading ended after %1 of %2 bytes").arg(position).arg(length);
        QFile::remove(m_strOutput);
        m_strOutput.clear();
        return Failed;
    }
    if (m_nFrames == 0) {
        QFile::remove(m_strOutput);
        m_strOutput.clear();
        return NoVideo;
    }
    return Succeeded;
}
