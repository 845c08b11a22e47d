// The examination report of an export, a cut or a range export: what was
// asked, where it was read from, what was written and what went wrong, as a
// JSON file for programs and an HTML page (same content) for people.
//
// The report holds only what the job observed. An item's output hash is
// set only for a file that exists whole as the hash describes it; a read
// that ended early or a recording that failed is listed with its message.
//
// write() puts "report-YYYYMMDD-HHMMSS.json" and ".html" into the folder,
// never over an existing file ("-2", "-3" ... are added while the names are
// taken), and lists both in the folder's "SHA256SUMS".
#pragma once

#include "app/export/jobs/CaseDetails.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

// A recorder disk a job read from.
struct ExamSource {
    int nDisk = 0;
    int nDrive = -1;
    QString strSource;   // device path or first image file
    QString strKind;     // "block", "raw", "split", "ewf"
    QStringList segments;
    QVector<qint64> segmentBytes;
    qint64 nSectors = 0;
    QString strModel, strSerial;
    QStringList storedHashes;  // "algorithm:hex" an EWF set carries
};

// One recording the job handled, and what became of it.
struct ExamItem {
    QString strPath;         // the recording's path (recorder or local)
    int nDisk = -1;          // -1 for a local file
    int nPart = -1;
    int nChannel = -1;
    QDateTime start, end;    // the recorder's times (no zone)
    qint64 nFirstCluster = 0;
    QString strState = QStringLiteral("live");  // "live", "deleted", "fragment"

    qint64 nSourceOffset = 0;   // where reading began (a cut may start inside)
    qint64 nSourceBytes = 0;    // bytes read from the source
    QByteArray sourceSha256;    // their hash; empty when not known

    QString strOutput;          // relative to the folder; empty when none stays
    qint64 nOutputBytes = 0;
    QByteArray outputSha256;    // empty unless the file is whole as hashed
    QString strOutputHashedBy;  // "writing" or "reading back"

    QString strOutcome = QStringLiteral("failed");  // "complete", "short", "failed"
    QString strMessage;
    bool bKeptAsH264 = false;   // MP4 asked, the raw copy kept instead

    bool bCut = false;          // a cut: the range of times of day
    QString strCutFrom, strCutTo;
    qint64 nFrames = -1;        // frames a cut wrote; -1 for a copy

    // The output is now a converted file, hashed by reading it back once
    // (the MP4 muxer rewrites its header when it closes the file).
    void setReadBackOutput(const QString& strRelative, qint64 nBytes, const QByteArray& sha256)
    {
        strOutput = strRelative;
        nOutputBytes = nBytes;
        outputSha256 = sha256;
        strOutputHashedBy = QStringLiteral("reading back");
    }
};

class CExamReport
{
    Q_DECLARE_TR_FUNCTIONS(CExamReport)

public:
    QString strKind;  // "export", "cut", "range"
    QString strFormat;  // "h264" or "mp4"
    QString strDestination;
    QDateTime started, finished;
    QString strHost;
    CaseDetails caseDetails;
    QJsonObject range;  // the range export's window and channels
    QVector<ExamSource> sources;
    QVector<ExamItem> items;
    QStringList warnings;

    // Starts a report: kind, the time and the host.
    void begin(const QString& strJobKind);

    // Adds the description of every recorder disk the items were read from.
    void describeSources();

    QJsonObject toJson() const;
    QByteArray jsonText() const;
    QByteArray htmlText() const;

    // Writes the two files and their SHA256SUMS lines. False (with the
    // reason) when a report file could not be written whole; a report file
    // that is not whole is removed.
    bool write(const QString& strFolder, QString* pJsonPath, QString* pHtmlPath, QString* pError) const;

    // ISO 8601 with the offset from UTC ("2024-05-01T10:00:00+02:00").
    static QString isoTime(const QDateTime& t);
    // "YYYY-MM-DD HH:MM:SS" of a recorder time.
    static QString recorderTime(const QDateTime& t);
};
