// The cut job: writes the frames of one recording whose group time lies in
// a range of times to a new raw recording file, and optionally converts that
// file to MP4.
//
// The recording is read in 65536-byte chunks through CFSFile and split into
// frames by the frame parser; every frame stamped with a time inside the
// range is appended, in the order the parser returns them. A recording over
// 200 MiB is first positioned at 80 % of the proportional offset of the cut
// start; if the first stamped frame found there is already past the start,
// the recording is read again from its beginning.
//
// The output never replaces a file: "_1", "_2" ... is added before the
// extension while the name (or, for MP4, the name of the MP4 file) is taken.
// A range that holds no stamped frame leaves no file behind and is reported.
//
// The output is hashed on its bytes as they are written and listed in the
// folder's "SHA256SUMS" (an MP4 output by reading the finished file once);
// the source bytes the frames were taken from are hashed as they are read.
// Unless told not to, the job writes its examination report before it
// signals its outcome (and when stopped).
//
// run() works on the calling thread and reports through the signals;
// requestStop() may come from any thread and is noticed after each chunk.
#pragma once

#include "app/export/jobs/CaseDetails.h"
#include "app/export/jobs/CutRange.h"
#include "app/export/jobs/ExamReport.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>

class QMutex;

class CCutJob : public QObject
{
    Q_OBJECT

public:
    enum Format { FormatH264 = 0, FormatMp4 = 1 };
    enum Result { NotRun, Succeeded, Failed, NoVideo, Stopped };
    static const int kChunkSize = 65536;
    // Recordings larger than this start reading near the cut start.
    static const int64_t kCoarseSeekSize = 209715200;

    struct Params {
        QString strSource;       // recording path (recorder or local)
        QString strDestFolder;   // folder of the output
        int nFormat = FormatH264;
        RecordSpan record;      // from the recording's path
        int nCutStart = 0;       // time of day, seconds
        int nCutEnd = 0;         // time of day, seconds
        QString strNamePrefix;   // put before the output's name (the range export's channel)
    };

    explicit CCutJob(QObject* parent = nullptr);

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
    // What the last run's report holds (also when none was written).
    const CExamReport& report() const { return m_report; }
    // The report's line for this cut: source, hashes, outcome.
    const ExamItem& reportItem() const { return m_item; }

    void requestStop();
    bool isStopped() const { return m_bStopped.load(); }

    // Cuts, then converts (MP4). Emits showMessage with the outcome, or
    // convertFinishi after a conversion, or nothing when stopped.
    void run();

    // After convertFinishi: answers the message to show. (A raw output
    // whose conversion succeeded is already gone; one whose conversion
    // failed is kept.)
    QString finishConversion(bool bOk);

    Result result() const { return m_result; }
    QString errorText() const { return m_strError; }
    QString outputPath() const { return m_strOutput; }
    QString mp4Path() const;
    int64_t framesWritten() const { return m_nFrames; }
    // The message for the outcome of the cut itself (not the conversion).
    QString resultMessage() const;

signals:
    void updateProcess(int nPos);
    void updateExportStatus(QString strText);
    void showMessage(QString strText);
    void convertFinishi(bool bOk);

private:
    struct Pass;  // one reading of the source (CutJob.cpp)

    Result cut();
    // Checks the range, opens the source and creates the output.
    bool openCut(Pass& pass);
    // Positions a large recording near the cut start.
    void positionNearStart(Pass& pass);
    // Reads the source and writes the frames in the range; false when
    // reading or writing broke off.
    bool copyFrames(Pass& pass);
    // Judges what copyFrames left: the result, and the output kept or gone.
    Result finishCut(Pass& pass, bool bCopied);
    void convertOutput();
    // Lists a file of the folder in SHA256SUMS (drops its line for an
    // empty hash).
    void recordHash(const QString& strName, const QByteArray& hash);
    void writeReport();
    QString chooseOutputPath(const QString& strFolder, const QString& strName) const;
    static void onConvertProgress(int nPercent, void* pUser);

    Params m_params;
    QMutex* m_pDiskLock = nullptr;
    CaseDetails m_caseDetails;
    bool m_bWriteReport = true;
    QString m_strReportPath;
    QString m_strReportJsonPath;
    QString m_strReportError;  // why the report could not be written
    std::atomic<bool> m_bStopped{false};
    Result m_result = NotRun;
    QString m_strError;
    QString m_strFolder;
    QString m_strOutput;
    CExamReport m_report;
    ExamItem m_item;
    bool m_bConverted = false;
    int64_t m_nFrames = 0;
};
