// The range export: one time window of every chosen channel in one job.
//
// For every chosen channel, every recording that overlaps the window gives
// one output: the frames of the overlapping part, cut exactly as the cut job
// cuts them (CCutJob does the cutting and, for MP4, the conversion), named as
// cut outputs are with the channel number as the tree shows it in front:
// "CCC_YYYYMMDD_HH.MM.SS_HH.MM.SS.h264", 001 for the first channel. A window
// across midnight takes recordings of both days.
//
// Before anything is written the window is checked (plan()): one of no
// length or ending before it starts, a channel no recording has, or no
// recording of the chosen channels in the window is refused with a message
// and nothing is written. Channels that have recordings, but none in the
// window, are named in the outcome.
//
// Every file is listed in the folder's "SHA256SUMS" by the cut that wrote
// it; the job writes one examination report for the whole window (kind
// "range") before it signals its outcome, and when stopped. A window that
// is refused writes nothing, no report either.
//
// run() works on the calling thread and reports through the signals;
// requestStop() may come from any thread and reaches the cut in progress.
#pragma once

#include "app/export/jobs/CaseDetails.h"
#include "app/export/jobs/CutRange.h"
#include "app/export/jobs/ExamReport.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <cstdint>
#include <mutex>

class CCutJob;
class QMutex;

class CRangeExportJob : public QObject
{
    Q_OBJECT

public:
    enum Format { FormatH264 = 0, FormatMp4 = 1 };
    enum Result { NotRun, Succeeded, PartlyFailed, Invalid, Stopped };

    struct Params {
        QStringList candidates;  // recordings (recorder or local paths) the window may overlap
        QList<int> channels;     // 0-based channels to export
        QDateTime from;          // the window, local times, whole seconds
        QDateTime to;
        QString strDestFolder;
        int nFormat = FormatH264;
    };

    // One cut of the job: the part of one recording inside the window.
    struct Piece {
        int nChannel = 0;
        QString strSource;
        RecordSpan record;
        int nCutStart = 0;  // time of day, seconds, as the cut job takes them
        int nCutEnd = 0;
    };

    enum PieceOutcome { PieceWritten, PieceNoVideo, PieceFailed, PieceNotRun };
    struct PieceResult {
        Piece piece;
        int nOutcome = PieceNotRun;
        QString strFile;     // the file written (MP4 file, or the raw one kept)
        int64_t nFrames = 0;
        QString strReason;   // why it failed, or what was kept instead
    };

    explicit CRangeExportJob(QObject* parent = nullptr);

    void setParams(const Params& params) { m_params = params; }
    const Params& params() const { return m_params; }
    void setDiskLock(QMutex* pLock) { m_pDiskLock = pLock; }

    // The case the examination report names.
    void setCaseDetails(const CaseDetails& details) { m_caseDetails = details; }
    const CaseDetails& caseDetails() const { return m_caseDetails; }
    // Whether run() writes the examination report (report-*.json and .html in
    // the destination folder); on unless turned off.
    void setWriteReport(bool bWrite) { m_bWriteReport = bWrite; }
    // The HTML report the last run wrote; empty when it wrote none.
    QString reportPath() const { return m_strReportPath; }
    // The JSON report the last run wrote; empty when it wrote none.
    QString reportJsonPath() const { return m_strReportJsonPath; }
    // What the last run's report holds.
    const CExamReport& report() const { return m_report; }

    // The cuts a window needs, channel by channel and in time order, and the
    // chosen channels without a recording in it. False, with the reason,
    // when the window or the channels cannot be exported.
    static bool plan(const Params& params, QVector<Piece>* pPieces, QList<int>* pEmptyChannels, QString* pError);

    void requestStop();
    bool isStopped() const { return m_bStopped.load(); }

    // Plans and cuts; emits showMessage with the outcome (or the reason the
    // window was refused), nothing when stopped.
    void run();

    Result result() const { return m_result; }
    QString errorText() const { return m_strError; }
    const QVector<PieceResult>& pieces() const { return m_results; }
    const QList<int>& emptyChannels() const { return m_emptyChannels; }
    // Files written, in the order they were made.
    QStringList writtenFiles() const;
    QString resultMessage() const;

    // "001" for channel 0.
    static QString ChannelText(int nChannel);
    // The outcome's line for channels without a recording in the window.
    static QString NoRecordingText(const QList<int>& channels);

signals:
    void updateProcess(int nPos);       // the file being written, 0..1000
    void updateOverall(int nPos);       // the whole job, 0..1000
    void updateExportStatus(QString strText);
    void showMessage(QString strText);

private:
    void cutPiece(int nIndex, int nTotal, int nOfChannel, int nChannelFiles, PieceResult* pOut);
    void writeReport();

    Params m_params;
    QMutex* m_pDiskLock = nullptr;
    CaseDetails m_caseDetails;
    bool m_bWriteReport = true;
    QString m_strReportPath;
    QString m_strReportJsonPath;
    CExamReport m_report;
    std::atomic<bool> m_bStopped{false};
    std::mutex m_currentMutex;  // guards m_pCurrent
    CCutJob* m_pCurrent = nullptr;
    Result m_result = NotRun;
    QString m_strError;
    QVector<PieceResult> m_results;
    QList<int> m_emptyChannels;
};
