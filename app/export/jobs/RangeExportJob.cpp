#include "app/export/jobs/RangeExportJob.h"

#include "app/export/jobs/CutJob.h"

#include <QDebug>
#include <QFileInfo>
#include <QJsonArray>
#include <QMap>
#include <QSet>

#include <algorithm>

namespace {

const int kDay = 86400;
// Channels a recorder has at most.
const int kChannels = 32;

// Recorder times are wall-clock times without a zone: they are compared as
// such, so that a change to or from summer time does not move them.
QDateTime wallClock(const QDateTime& t)
{
    return QDateTime(t.date(), t.time(), Qt::UTC);
}

QDateTime wallClock(const QDate& date, int nSeconds)
{
    return QDateTime(date, QTime(0, 0), Qt::UTC).addSecs(nSeconds);
}

int timeOfDay(const QDateTime& t)
{
    return t.time().msecsSinceStartOfDay() / 1000;
}

QString channelList(const QList<int>& channels)
{
    QStringList texts;
    for (int c : channels)
        texts << CRangeExportJob::ChannelText(c);
    return texts.join(QStringLiteral(", "));
}

}  // namespace

CRangeExportJob::CRangeExportJob(QObject* parent) : QObject(parent)
{
}

QString CRangeExportJob::ChannelText(int nChannel)
{
    return QStringLiteral("%1").arg(nChannel + 1, 3, 10, QLatin1Char('0'));
}

QString CRangeExportJob::NoRecordingText(const QList<int>& channels)
{
    return tr("No recording in the range: %1").arg(channelList(channels));
}

bool CRangeExportJob::plan(const Params& params, QVector<Piece>* pPieces, QList<int>* pEmptyChannels,
                           QString* pError)
{
    pPieces->clear();
    pEmptyChannels->clear();
    const QDateTime from = wallClock(params.from);
    const QDateTime to = wallClock(params.to);
    if (!params.from.isValid() || !params.to.isValid()) {
        *pError = tr("The range needs a valid start and end");
        return false;
    }
    if (to == from) {
        *pError = tr("The range has no length");
        return false;
    }
    if (to < from) {
        *pError = tr("The range ends before it starts");
        return false;
    }
    if (params.channels.isEmpty()) {
        *pError = tr("No channel is chosen");
        return false;
    }

    // Recordings by channel, each once, in time order.
    QMap<int, QVector<Piece>> byChannel;
    QSet<QString> seen;
    for (const QString& path : params.candidates) {
        Piece piece;
        if (seen.contains(path) || !RecordSpanFromPath(path, &piece.record))
            continue;
        seen.insert(path);
        piece.strSource = path;
        piece.nChannel = piece.record.nChannel;
        byChannel[piece.nChannel].append(piece);
    }

    QList<int> channels = params.channels;
    std::sort(channels.begin(), channels.end());
    channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
    QList<int> missing;
    for (int c : channels) {
        if (c < 0 || c >= kChannels || !byChannel.contains(c))
            missing << c;
    }
    if (!missing.isEmpty()) {
        *pError = tr("These channels do not exist: %1").arg(channelList(missing));
        return false;
    }

    for (int c : channels) {
        QVector<Piece>& recordings = byChannel[c];
        std::stable_sort(recordings.begin(), recordings.end(), [](const Piece& a, const Piece& b) {
            return wallClock(a.record.date, a.record.nStart) < wallClock(b.record.date, b.record.nStart);
        });
        bool bAny = false;
        for (Piece piece : recordings) {
            const QDateTime recStart = wallClock(piece.record.date, piece.record.nStart);
            const QDateTime recEnd = wallClock(piece.record.date, piece.record.nEnd);
            if (!(recStart < to && recEnd > from))
                continue;
            const QDateTime cutStart = qMax(from, recStart);
            const QDateTime cutEnd = qMin(to, recEnd);
            piece.nCutStart = timeOfDay(cutStart);
            piece.nCutEnd = timeOfDay(cutEnd);
            CutRange range;
            // The same check the cut job makes; a piece it would refuse is
            // not planned (it cannot be a real overlap).
            if (!MakeCutRange(piece.record, piece.nCutStart, piece.nCutEnd, &range))
                continue;
            pPieces->append(piece);
            bAny = true;
        }
        if (!bAny)
            pEmptyChannels->append(c);
    }
    if (pPieces->isEmpty()) {
        *pError = tr("No recording of the chosen channels lies between %1 and %2")
                      .arg(from.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                           to.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        return false;
    }
    return true;
}

void CRangeExportJob::requestStop()
{
    m_bStopped = true;
    std::lock_guard<std::mutex> lock(m_currentMutex);
    if (m_pCurrent)
        m_pCurrent->requestStop();
}

void CRangeExportJob::writeReport()
{
    m_report.finished = QDateTime::currentDateTime();
    if (!m_emptyChannels.isEmpty())
        m_report.warnings << NoRecordingText(m_emptyChannels);
    m_report.describeSources();
    if (!m_bWriteReport)
        return;
    QString error;
    if (!m_report.write(m_report.strDestination, &m_strReportJsonPath, &m_strReportPath, &error)) {
        qDebug() << "Range export: the examination report cannot be written:" << error;
        m_strError = tr("The examination report cannot be written: %1").arg(error);
        if (!QFileInfo::exists(m_strReportPath))
            m_strReportPath.clear();
        if (!QFileInfo::exists(m_strReportJsonPath))
            m_strReportJsonPath.clear();
    }
}

void CRangeExportJob::run()
{
    m_results.clear();
    m_emptyChannels.clear();
    m_strError.clear();
    m_strReportPath.clear();
    m_strReportJsonPath.clear();
    m_report = CExamReport();
    m_report.begin(QStringLiteral("range"));
    m_report.strFormat = m_params.nFormat == FormatMp4 ? QStringLiteral("mp4") : QStringLiteral("h264");
    m_report.strDestination = m_params.strDestFolder;
    m_report.caseDetails = m_caseDetails;
    QVector<Piece> plan;
    if (!CRangeExportJob::plan(m_params, &plan, &m_emptyChannels, &m_strError)) {
        m_result = Invalid;
        if (!isStopped())
            emit showMessage(m_strError);
        return;
    }
    {
        const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
        m_report.range[QStringLiteral("from")] = m_params.from.toString(format);
        m_report.range[QStringLiteral("to")] = m_params.to.toString(format);
        if (m_caseDetails.clockOffsetS != 0) {
            // The window in true time: the recorder's clock minus its offset.
            const qint64 offset = -qint64(m_caseDetails.clockOffsetS);
            m_report.range[QStringLiteral("from_corrected")] = m_params.from.addSecs(offset).toString(format);
            m_report.range[QStringLiteral("to_corrected")] = m_params.to.addSecs(offset).toString(format);
        }
        QList<int> channels = m_params.channels;
        std::sort(channels.begin(), channels.end());
        channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
        QJsonArray list;
        for (int c : qAsConst(channels))
            list.append(c);
        m_report.range[QStringLiteral("channels")] = list;
    }

    // Files per channel, for "file 2 of 3" in the status.
    QMap<int, int> perChannel;
    for (const Piece& piece : plan)
        ++perChannel[piece.nChannel];
    QMap<int, int> done;
    bool bFailed = false;
    emit updateOverall(0);
    for (int i = 0; i < plan.size(); ++i) {
        if (isStopped()) {
            m_result = Stopped;
            m_report.warnings << tr("The job was stopped before its end");
            writeReport();
            return;
        }
        PieceResult out;
        out.piece = plan[i];
        cutPiece(i, plan.size(), ++done[plan[i].nChannel], perChannel.value(plan[i].nChannel), &out);
        m_results.append(out);
        if (isStopped()) {
            m_result = Stopped;
            m_report.warnings << tr("The job was stopped before its end");
            writeReport();
            return;
        }
        bFailed = bFailed || out.nOutcome == PieceFailed;
        emit updateOverall(int(int64_t(i + 1) * 1000 / plan.size()));
    }
    m_result = bFailed ? PartlyFailed : Succeeded;
    writeReport();
    emit showMessage(resultMessage());
}

void CRangeExportJob::cutPiece(int nIndex, int nTotal, int nOfChannel, int nChannelFiles, PieceResult* pOut)
{
    const Piece& piece = pOut->piece;
    CCutJob cut;
    CCutJob::Params params;
    params.strSource = piece.strSource;
    params.strDestFolder = m_params.strDestFolder;
    params.nFormat = m_params.nFormat;
    params.record = piece.record;
    params.nCutStart = piece.nCutStart;
    params.nCutEnd = piece.nCutEnd;
    params.strNamePrefix = ChannelText(piece.nChannel) + QLatin1Char('_');
    cut.setParams(params);
    cut.setDiskLock(m_pDiskLock);
    cut.setCaseDetails(m_caseDetails);
    cut.setWriteReport(false);  // this job reports the whole window

    const QString name = piece.strSource.mid(piece.strSource.lastIndexOf(QLatin1Char('/')) + 1);
    const QString where = tr("Channel %1, file %2 of %3 (%4 of %5)")
                              .arg(ChannelText(piece.nChannel))
                              .arg(nOfChannel)
                              .arg(nChannelFiles)
                              .arg(nIndex + 1)
                              .arg(nTotal);
    emit updateExportStatus(where + QStringLiteral(": ") + name);
    emit updateProcess(0);
    // The cut runs right here, on the thread that runs this job: its
    // reports are handled at once (this object may belong to another
    // thread, which would queue them past the cut's end).
    connect(&cut, &CCutJob::updateProcess, this, &CRangeExportJob::updateProcess, Qt::DirectConnection);
    connect(
        &cut, &CCutJob::updateExportStatus, this,
        [this, where](const QString& text) { emit updateExportStatus(where + QStringLiteral(": ") + text); },
        Qt::DirectConnection);
    bool bConverted = true;
    connect(
        &cut, &CCutJob::convertFinishi, this,
        [&](bool bOk) {
            bConverted = bOk;
            cut.finishConversion(bOk);
        },
        Qt::DirectConnection);

    {
        std::lock_guard<std::mutex> lock(m_currentMutex);
        m_pCurrent = &cut;
        if (isStopped())
            cut.requestStop();
    }
    cut.run();
    {
        std::lock_guard<std::mutex> lock(m_currentMutex);
        m_pCurrent = nullptr;
    }

    m_report.items.append(cut.reportItem());
    for (const QString& warning : cut.report().warnings) {
        if (!m_report.warnings.contains(warning))
            m_report.warnings << warning;
    }
    pOut->nFrames = cut.framesWritten();
    switch (cut.result()) {
    case CCutJob::Succeeded:
        pOut->nOutcome = PieceWritten;
        if (m_params.nFormat == FormatMp4 && bConverted && QFileInfo::exists(cut.mp4Path())) {
            pOut->strFile = cut.mp4Path();
        } else {
            pOut->strFile = cut.outputPath();
            if (m_params.nFormat == FormatMp4 && !isStopped()) {
                pOut->nOutcome = PieceFailed;
                pOut->strReason = tr("the conversion to MP4 failed; kept as H.264");
            }
        }
        break;
    case CCutJob::NoVideo:
        pOut->nOutcome = PieceNoVideo;
        break;
    case CCutJob::Failed:
        pOut->nOutcome = PieceFailed;
        pOut->strReason = cut.errorText();
        break;
    default:
        // Stopped: what was written so far stays where it is.
        pOut->strFile = cut.outputPath();
        break;
    }
    if (pOut->nOutcome == PieceFailed)
        qDebug() << "Range export:" << piece.strSource << pOut->strReason;
}

QStringList CRangeExportJob::writtenFiles() const
{
    QStringList files;
    for (const PieceResult& r : m_results) {
        if (!r.strFile.isEmpty() && (r.nOutcome == PieceWritten || r.nOutcome == PieceFailed))
            files << r.strFile;
    }
    return files;
}

QString CRangeExportJob::resultMessage() const
{
    if (m_result == Invalid)
        return m_strError;
    QStringList lines;
    const QStringList files = writtenFiles();
    lines << (m_result == PartlyFailed ? tr("Range export finished with errors") : tr("Range Export Success"));
    lines << tr("Files written: %1").arg(files.size()) << tr("Folder: %1").arg(m_params.strDestFolder);
    QMap<int, QStringList> written;
    QStringList problems;
    for (const PieceResult& r : m_results) {
        const QString channel = ChannelText(r.piece.nChannel);
        const QString source = r.piece.strSource.mid(r.piece.strSource.lastIndexOf(QLatin1Char('/')) + 1);
        switch (r.nOutcome) {
        case PieceWritten:
            written[r.piece.nChannel] << QFileInfo(r.strFile).fileName();
            break;
        case PieceNoVideo:
            problems << tr("%1: no video of %2 lies in the range").arg(channel, source);
            break;
        case PieceFailed:
            if (!r.strFile.isEmpty())
                written[r.piece.nChannel] << QFileInfo(r.strFile).fileName();
            problems << QStringLiteral("%1: %2: %3").arg(channel, source, r.strReason);
            break;
        default:
            break;
        }
    }
    for (auto it = written.constBegin(); it != written.constEnd(); ++it)
        lines << QStringLiteral("%1: %2").arg(ChannelText(it.key()), it.value().join(QStringLiteral(", ")));
    if (!m_emptyChannels.isEmpty())
        lines << NoRecordingText(m_emptyChannels);
    lines += problems;
    if (!m_strError.isEmpty())
        lines << m_strError;
    return lines.join(QLatin1Char('\n'));
}
