// The export job: copies recordings (paths "/mnt/ide...") byte for byte to a
// local folder, keeping the part of each path after "/mnt/" below the folder,
// and either lists every copy in the folder's "index.data" or converts the
// copies to MP4.
//
// run() does the whole job on the calling thread (the dialog's worker, or the
// command line's main thread) and reports through the signals; connect them
// queued to widgets. requestStop() may come from any thread: the job notices
// it before each recording and after each chunk, ends without a message and
// leaves the partly written file where it is.
//
// A recording that cannot be opened, read to its end or written is reported
// and the job goes on with the next; it ends with a message that names the
// recordings that failed instead of "Export Success". A copy that a broken
// recording cut short is kept (it holds all that could be read) with its
// hash line and its report item, but not listed in "index.data".
//
// Every file written gets its line in the folder's "SHA256SUMS": a raw copy
// is hashed on its bytes as they are written; an MP4 file, whose header the
// muxer rewrites at its end, is hashed by reading the finished file once.
// A copy whose conversion failed, or was stopped, stays as H.264, listed in
// "index.data" and named in the outcome. Before it signals its outcome (and
// when stopped) the job writes its examination report (ExamReport.h).
#pragma once

#include "app/export/jobs/CaseDetails.h"
#include "app/export/jobs/ExamReport.h"

#include <QFile>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <cstdint>

class QMutex;

class CExportJob : public QObject
{
    Q_OBJECT

public:
    enum Format { FormatH264 = 0, FormatMp4 = 1 };
    // Bytes copied per read.
    static const int kChunkSize = 512000;

    struct Failure {
        QString strName;    // the recording's path below the destination
        QString strReason;
    };

    explicit CExportJob(QObject* parent = nullptr);

    // Recording paths, destination folder and format; set before run().
    void setPaths(const QStringList& paths) { m_paths = paths; }
    void setDestination(const QString& strDir);
    void setFormat(int nFormat) { m_nFormat = nFormat; }
    // Held for every length query and read of a source (may be null).
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

    void requestStop();
    bool isStopped() const { return m_bStopped.load(); }

    // Copies every recording, then (MP4) converts the copies. Emits
    // showMessage at the end of an H.264 export, convertFinishi at the end of
    // the conversion pass, and nothing when stopped.
    void run();

    // After convertFinishi: answers the message to show. (The raw copies
    // whose conversion succeeded are already gone.)
    QString finishConversion(bool bOk);

    // The outcome, for the command line and the tests.
    const QVector<Failure>& failures() const { return m_failures; }
    // Files written: the raw copies (H.264) or the MP4 files made.
    const QStringList& writtenFiles() const { return m_written; }
    // The message an H.264 export ends with.
    QString resultMessage() const;
    // Raw copies kept because their conversion failed or was stopped.
    const QStringList& keptAsH264() const { return m_kept; }
    // After a stopped job: which copies were kept as H.264 and why, "" when
    // none were.
    QString stoppedMessage() const;

    // The part of a recorder path below the export folder: the path without
    // its leading "/mnt/", backslashes turned into "/". Empty for a path that
    // does not start with "/mnt/", or that has an empty, "." or ".."
    // component (it would leave the folder).
    static QString RelativePath(const QString& strPath);

signals:
    void updateProcess(int nPos);
    void updateExportStatus(QString strText);
    void showMessage(QString strText);
    void convertFinishi(bool bOk);

private:
    // Copies one recording; false (with a failure noted) when it did not
    // complete. A stop leaves the partial target and answers true.
    bool copyOne(const QString& strSource, const QString& strRelative, const QString& strTarget, ExamItem* pItem);
    void convertPass();
    // Keeps a raw copy the conversion did not replace: its index.data line
    // and a note in the report and the outcome.
    void keepRaw(int nItem, const QString& strTarget, const QString& strReason);
    bool appendIndexLine(const QString& strRelative);
    // Lists a file in SHA256SUMS (or drops the line of one that is gone);
    // flushHashes() writes the lines gathered so far.
    void recordHash(const QString& strRelative, const QByteArray& hash);
    void flushHashes();
    void writeReport();
    void fail(const QString& strName, const QString& strReason);
    static void onConvertProgress(int nPercent, void* pUser);

    QStringList m_paths;
    QString m_strDestination;
    int m_nFormat = FormatH264;
    QMutex* m_pDiskLock = nullptr;
    CaseDetails m_caseDetails;
    bool m_bWriteReport = true;
    QString m_strReportPath;
    QString m_strReportJsonPath;
    std::atomic<bool> m_bStopped{false};

    CExamReport m_report;
    QFile m_index;
    struct Pending {
        QString strTarget;
        int nItem;  // in m_report.items
    };
    QVector<Pending> m_exported;  // raw copies to convert (MP4)
    QStringList m_kept;
    QStringList m_warnings;
    struct PendingHash {
        QString strRelative;
        QByteArray hash;  // empty: drop the line
    };
    static const int kHashBatch = 32;
    QVector<PendingHash> m_pendingHashes;
    QStringList m_converted;  // raw copies whose conversion succeeded
    QStringList m_written;
    QVector<Failure> m_failures;
    int m_nConvertFailures = 0;
};
