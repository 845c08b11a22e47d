#include "app/export/jobs/CutJob.h"

#include "app/export/jobs/ConvertToMp4.h"
#include "app/export/jobs/DiskLockGuard.h"
#include "app/export/jobs/HashManifest.h"
#include "app/export/jobs/HashingWriter.h"
#include "app/export/jobs/RecordProvenance.h"
#include "app/export/jobs/Sha256.h"
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
    m_strReportPath.clear();
    m_strReportJsonPath.clear();
    m_strReportError.clear();
    m_nFrames = 0;
    m_bConverted = false;
    m_report = CExamReport();
    m_report.begin(QStringLiteral("cut"));
    m_report.strFormat = m_params.nFormat == FormatMp4 ? QStringLiteral("mp4") : QStringLiteral("h264");
    m_report.caseDetails = m_caseDetails;
    m_item = ExamItem();
    FillRecordProvenance(m_params.strSource, &m_item);
    m_item.bCut = true;
    m_item.strCutFrom = FormatTimeOfDay(m_params.nCutStart);
    m_item.strCutTo = FormatTimeOfDay(m_params.nCutEnd);

    m_result = cut();
    m_item.nFrames = m_nFrames;
    switch (m_result) {
    case Stopped:
    case NotRun:
        writeReport();
        return;
    case Failed:
    case NoVideo:
        writeReport();
        if (!isStopped())
            emit showMessage(resultMessage());
        return;
    case Succeeded:
        break;
    }
    if (m_params.nFormat != FormatMp4 || isStopped()) {
        writeReport();
        if (!isStopped())
            emit showMessage(resultMessage());
        return;
    }
    convertOutput();
    writeReport();
    if (isStopped())
        return;
    emit convertFinishi(m_bConverted);
}

void CCutJob::convertOutput()
{
    emit updateExportStatus(tr("Convert Record"));
    emit updateProcess(0);
    emit updateExportStatus(tr("Convert To Mp4"));
    CConvertToMp4* converter = CConvertToMp4::instance();
    converter->SetProgressReceiver(&CCutJob::onConvertProgress, this);
    const bool ok = converter->ConvertH264ToMp4(m_strOutput, mp4Path());
    converter->SetProgressReceiver(nullptr, nullptr);
    const QString rawName = m_item.strOutput;
    const QString mp4Name = QFileInfo(mp4Path()).fileName();
    if (!ok) {
        QFile::remove(mp4Path());  // whatever the muxer left is no MP4 file
        m_item.bKeptAsH264 = true;
        m_item.strMessage = isStopped() ? tr("The job was stopped during the conversion; the cut was kept as H.264")
                                        : tr("The conversion to MP4 failed; the cut was kept as H.264");
        if (isStopped())
            m_report.warnings << tr("The job was stopped before its end");
        return;
    }
    // The muxer rewrites the header when it closes the file: the MP4 is
    // hashed by reading the finished file once.
    const HashFileResult h = HashFile(mp4Path());
    if (!h.bOk) {
        m_item.bKeptAsH264 = true;
        m_item.strMessage = tr("The MP4 file cannot be read back (%1); the cut was kept as H.264").arg(h.strError);
        return;
    }
    recordHash(mp4Name, h.hash);
    if (QFile::remove(m_strOutput))
        recordHash(rawName, QByteArray());
    else
        m_report.warnings << tr("The raw cut %1 cannot be removed after its conversion").arg(rawName);
    m_item.setReadBackOutput(mp4Name, h.nBytes, h.hash);
    m_bConverted = true;
}

void CCutJob::recordHash(const QString& strName, const QByteArray& hash)
{
    QString error;
    const bool ok = HashManifest::update(
        m_strFolder,
        [&](HashManifest& m) {
            if (hash.isEmpty())
                m.remove(strName);
            else
                m.set(strName, hash);
        },
        &error);
    if (!ok)
        m_report.warnings << tr("SHA256SUMS cannot be updated for %1: %2").arg(strName, error);
}

void CCutJob::writeReport()
{
    m_report.strDestination = m_strFolder;
    m_report.items = {m_item};
    m_report.finished = QDateTime::currentDateTime();
    if (!m_bWriteReport)
        return;
    m_report.describeSources();
    if (m_strFolder.isEmpty() || !QFileInfo(m_strFolder).isDir())
        return;  // nowhere to put it: the outcome names the folder
    QString error;
    if (!m_report.write(m_strFolder, &m_strReportJsonPath, &m_strReportPath, &error)) {
        qDebug() << "Cut: the examination report cannot be written:" << error;
        m_strReportError = tr("The examination report cannot be written: %1").arg(error);
        if (!QFileInfo::exists(m_strReportPath))
            m_strReportPath.clear();
        if (!QFileInfo::exists(m_strReportJsonPath))
            m_strReportJsonPath.clear();
    }
}

void CCutJob::onConvertProgress(int nPercent, void* pUser)
{
    if (nPercent > 0)
        emit static_cast<CCutJob*>(pUser)->updateProcess(nPercent * 10);
}

QString CCutJob::finishConversion(bool bOk)
{
    const QString report = m_strReportError.isEmpty() ? QString() : QLatin1Char('\n') + m_strReportError;
    if (!bOk)
        return tr("Convert Failed") + QLatin1Char('\n') +
               tr("Kept as H.264: %1").arg(QFileInfo(m_strOutput).fileName()) + report;
    if (QFileInfo::exists(m_strOutput))
        QFile::remove(m_strOutput);
    return tr("Cut Success") + report;
}

QString CCutJob::resultMessage() const
{
    const QString report = m_strReportError.isEmpty() ? QString() : QLatin1Char('\n') + m_strReportError;
    switch (m_result) {
    case Succeeded:
        return tr("Cut Success") + report;
    case NoVideo:
        return tr("No video lies in the selected range") + report;
    case Failed:
        return (m_strError.isEmpty() ? tr("Cut Failed") : tr("Cut Failed") + QLatin1Char('\n') + m_strError) + report;
    default:
        return QString();
    }
}

// One reading of the source: the open files, where reading is, and what has
// been read and written.
struct CCutJob::Pass {
    CutRange range;
    CFSFile source;
    CHashingWriter output;
    CSha256 sourceSha;        // the source bytes read since sourceOffset
    uint64_t sourceOffset = 0;
    uint64_t length = 0;
    uint64_t position = 0;
    bool coarse = false;      // positioned near the start, not at 0
    bool done = false;        // a frame past the end was seen
    bool writeFailed = false;
};

bool CCutJob::openCut(Pass& pass)
{
    const Params& p = m_params;
    m_strFolder = p.strDestFolder;
    m_strFolder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (m_strFolder.size() > 1 && m_strFolder.endsWith(QLatin1Char('/')))
        m_strFolder.chop(1);
    if (m_strFolder.isEmpty())
        m_strFolder = QStringLiteral(".");
    if (!MakeCutRange(p.record, p.nCutStart, p.nCutEnd, &pass.range)) {
        m_strError = tr("Abnormal time");
        return false;
    }
    const QByteArray sourcePath = QFile::encodeName(p.strSource);
    if (!pass.source.Open(sourcePath.constData(), CFSFile::modeRead)) {
        m_strError = tr("The recording cannot be opened: %1").arg(p.strSource);
        return false;
    }
    if (!QDir().mkpath(m_strFolder)) {
        m_strError = tr("The folder cannot be created: %1").arg(m_strFolder);
        return false;
    }
    m_strOutput = chooseOutputPath(m_strFolder, p.strNamePrefix + CutOutputName(p.record, p.nCutStart, p.nCutEnd));
    if (!pass.output.open(m_strOutput)) {
        m_strError = tr("The file cannot be created: %1").arg(m_strOutput);
        m_strOutput.clear();
        return false;
    }
    CDiskLockGuard lock(m_pDiskLock);
    pass.length = pass.source.GetLength();
    return true;
}

void CCutJob::positionNearStart(Pass& pass)
{
    const int64_t start = pass.range.nStart;
    const int64_t recStart = m_params.record.nStart;
    const int64_t recEnd = m_params.record.nEnd;
    if (recStart == recEnd || pass.length <= uint64_t(kCoarseSeekSize))
        return;
    const uint64_t offset =
        uint64_t(double(start - recStart) * 0.8 / double(recEnd - recStart) * double(pass.length));
    if (offset == 0 || offset >= pass.length)
        return;
    CDiskLockGuard lock(m_pDiskLock);
    if (pass.source.Seek(int64_t(offset), SEEK_SET) == offset) {
        pass.position = offset;
        pass.sourceOffset = offset;
        pass.coarse = true;
    } else {
        pass.source.Seek(0, SEEK_SET);
    }
}

bool CCutJob::copyFrames(Pass& pass)
{
    const int64_t start = pass.range.nStart;
    const int64_t end = pass.range.nEnd;
    std::vector<uint8_t> buffer(kChunkSize);
    ReaderPtr reader(StreamReader_Create());
    if (!reader) {
        m_strError = tr("Out of memory");
        return false;
    }
    int64_t lastTime = -1;
    bool sawStamp = false;
    for (;;) {
        size_t got;
        {
            CDiskLockGuard lock(m_pDiskLock);
            got = pass.source.Read(buffer.data(), buffer.size());
        }
        if (got == 0)
            break;
        pass.position += got;
        pass.sourceSha.add(buffer.data(), got);
        StreamReader_PushData(reader.get(), buffer.data(), got);
        if (pass.done || isStopped())
            break;
        bool restart = false;
        while (!isStopped()) {
            const StreamFrame* f = StreamReader_GetNextFrame(reader.get());
            if (!f)
                break;
            int64_t t;
            if (f->nYear == 0 || !frameSeconds(*f, m_params.record.date, &t))
                continue;
            if (!sawStamp) {
                sawStamp = true;
                // Positioned past the start: the estimate was too far in.
                if (pass.coarse && t > start) {
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
                if (!pass.output.write(f->pData, f->nLength)) {
                    pass.writeFailed = true;
                    return false;
                }
                ++m_nFrames;
            } else if (t > end) {
                pass.done = true;
            } else {
                if (t != lastTime)
                    emit updateExportStatus(
                        QStringLiteral("%1 %2/%3").arg(tr("Find Start Pos")).arg(pass.position).arg(pass.length));
                lastTime = t;
            }
        }
        if (!restart)
            continue;
        qDebug() << "Cut: the first frame after positioning is past the start; reading from the beginning";
        CDiskLockGuard lock(m_pDiskLock);
        if (pass.source.Seek(0, SEEK_SET) != 0 || pass.source.GetPosition() != 0) {
            m_strError = tr("The recording cannot be read");
            pass.writeFailed = true;
            return false;
        }
        reader.reset(StreamReader_Create());
        if (!reader || pass.output.bytes() != 0) {
            m_strError = tr("The recording cannot be read");
            pass.writeFailed = true;
            return false;
        }
        pass.position = 0;
        pass.sourceOffset = 0;
        pass.sourceSha.reset();
        pass.coarse = false;
        sawStamp = false;
        lastTime = -1;
    }
    return true;
}

CCutJob::Result CCutJob::finishCut(Pass& pass, bool bCopied)
{
    emit updateProcess(1000);
    const bool whole = pass.output.close();
    pass.source.Close();
    m_item.nSourceOffset = qint64(pass.sourceOffset);
    m_item.nSourceBytes = qint64(pass.position - pass.sourceOffset);
    m_item.sourceSha256 = pass.sourceSha.finish();
    const QString name = QFileInfo(m_strOutput).fileName();

    auto dropOutput = [&](const QString& strMessage) {
        QFile::remove(m_strOutput);
        recordHash(name, QByteArray());
        m_strOutput.clear();
        m_item.strOutcome = QStringLiteral("failed");
        m_item.strMessage = strMessage;
    };
    if (isStopped() && whole) {
        // The partial output stays, listed with the hash of what it holds.
        recordHash(name, pass.output.hash());
        m_item.strOutput = name;
        m_item.nOutputBytes = qint64(pass.output.bytes());
        m_item.outputSha256 = pass.output.hash();
        m_item.strOutputHashedBy = QStringLiteral("writing");
        m_item.strOutcome = QStringLiteral("short");
        m_item.strMessage = tr("Stopped before the end of the cut");
        m_report.warnings << tr("The job was stopped before its end");
        return Stopped;
    }
    if (isStopped()) {
        dropOutput(tr("Stopped; the output could not be written whole"));
        return Stopped;
    }
    if (pass.writeFailed || !whole || !bCopied) {
        if (m_strError.isEmpty())
            m_strError = tr("The file cannot be written: %1").arg(m_strOutput);
        dropOutput(m_strError);
        return Failed;
    }
    if (!pass.done && pass.position < pass.length) {
        m_strError = tr("Reading ended after %1 of %2 bytes").arg(pass.position).arg(pass.length);
        dropOutput(m_strError);
        return Failed;
    }
    if (m_nFrames == 0) {
        dropOutput(tr("No video lies in the selected range"));
        return NoVideo;
    }
    recordHash(name, pass.output.hash());
    m_item.strOutput = name;
    m_item.nOutputBytes = qint64(pass.output.bytes());
    m_item.outputSha256 = pass.output.hash();
    m_item.strOutputHashedBy = QStringLiteral("writing");
    m_item.strOutcome = QStringLiteral("complete");
    return Succeeded;
}

CCutJob::Result CCutJob::cut()
{
    Pass pass;
    if (!openCut(pass)) {
        m_item.strOutcome = QStringLiteral("failed");
        m_item.strMessage = m_strError;
        return Failed;
    }
    positionNearStart(pass);
    emit updateProcess(0);
    const bool copied = copyFrames(pass);
    return finishCut(pass, copied);
}
