#include "app/export/jobs/ExamReport.h"

#include "app/export/jobs/HashManifest.h"
#include "app/export/jobs/RecordProvenance.h"
#include "app/export/jobs/Sha256.h"
#include "wfs/file/path_name.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QSysInfo>

#include <algorithm>

namespace {

// Report files of one second a folder can hold before write() gives up.
const int kMaxSameSecond = 1000;

QString esc(const QString& text)
{
    return text.toHtmlEscaped();
}

QString corrected(const QDateTime& t, int nOffset)
{
    return CExamReport::recorderTime(t.addSecs(-qint64(nOffset)));
}

QJsonObject sourceJson(const ExamSource& s)
{
    QJsonObject o;
    o[QStringLiteral("disk")] = s.nDisk;
    o[QStringLiteral("drive")] = s.nDrive;
    o[QStringLiteral("source")] = s.strSource;
    o[QStringLiteral("kind")] = s.strKind;
    QJsonArray segments, sizes;
    for (int i = 0; i < s.segments.size(); ++i) {
        segments.append(s.segments.at(i));
        sizes.append(double(i < s.segmentBytes.size() ? s.segmentBytes.at(i) : 0));
    }
    o[QStringLiteral("segments")] = segments;
    o[QStringLiteral("segment_bytes")] = sizes;
    o[QStringLiteral("sectors")] = double(s.nSectors);
    o[QStringLiteral("model")] = s.strModel;
    o[QStringLiteral("serial")] = s.strSerial;
    if (!s.storedHashes.isEmpty())
        o[QStringLiteral("stored_hashes")] = QJsonArray::fromStringList(s.storedHashes);
    return o;
}

QJsonObject itemJson(const ExamItem& it, int nOffset)
{
    QJsonObject o;
    o[QStringLiteral("path")] = it.strPath;
    o[QStringLiteral("disk")] = it.nDisk;
    o[QStringLiteral("part")] = it.nPart;
    o[QStringLiteral("channel")] = it.nChannel;
    o[QStringLiteral("start")] = CExamReport::recorderTime(it.start);
    o[QStringLiteral("end")] = CExamReport::recorderTime(it.end);
    if (nOffset != 0 && it.start.isValid()) {
        o[QStringLiteral("start_corrected")] = corrected(it.start, nOffset);
        o[QStringLiteral("end_corrected")] = corrected(it.end, nOffset);
    }
    o[QStringLiteral("first_cluster")] = double(it.nFirstCluster);
    o[QStringLiteral("state")] = it.strState;
    o[QStringLiteral("source_offset")] = double(it.nSourceOffset);
    o[QStringLiteral("source_bytes")] = double(it.nSourceBytes);
    o[QStringLiteral("source_sha256")] = QString::fromLatin1(it.sourceSha256);
    o[QStringLiteral("output")] = it.strOutput;
    o[QStringLiteral("output_bytes")] = double(it.nOutputBytes);
    o[QStringLiteral("output_sha256")] = QString::fromLatin1(it.outputSha256);
    if (!it.outputSha256.isEmpty())
        o[QStringLiteral("output_hashed_by")] = it.strOutputHashedBy;
    o[QStringLiteral("outcome")] = it.strOutcome;
    o[QStringLiteral("message")] = it.strMessage;
    o[QStringLiteral("kept_as_h264")] = it.bKeptAsH264;
    if (it.bCut) {
        QJsonObject cut;
        cut[QStringLiteral("from")] = it.strCutFrom;
        cut[QStringLiteral("to")] = it.strCutTo;
        o[QStringLiteral("cut")] = cut;
    }
    if (it.nFrames >= 0)
        o[QStringLiteral("frames")] = double(it.nFrames);
    return o;
}

// Writes a new file whole; false (and nothing left behind) otherwise.
// *pTaken when the name is taken.
bool writeNew(const QString& strPath, const QByteArray& bytes, bool* pTaken, QString* pError)
{
    *pTaken = false;
    QFile file(strPath);
    if (file.exists()) {
        *pTaken = true;
        return false;
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *pTaken = file.exists();
        if (pError)
            *pError = file.errorString();
        return false;
    }
    const bool ok = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    if (!ok || file.size() != bytes.size()) {
        if (pError)
            *pError = QStringLiteral("%1: %2").arg(strPath, file.errorString());
        file.remove();
        return false;
    }
    return true;
}

}  // namespace

QString CExamReport::isoTime(const QDateTime& t)
{
    if (!t.isValid())
        return QString();
    // Always the offset, "+00:00" included (Qt writes "Z" for UTC).
    const int offset = t.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString CExamReport::recorderTime(const QDateTime& t)
{
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

void CExamReport::begin(const QString& strJobKind)
{
    strKind = strJobKind;
    started = QDateTime::currentDateTime();
    strHost = QSysInfo::machineHostName();
}

void CExamReport::describeSources()
{
    QSet<int> have;
    for (const ExamSource& s : qAsConst(sources))
        have.insert(s.nDisk);
    QList<int> disks;
    for (const ExamItem& it : qAsConst(items)) {
        if (it.nDisk >= 0 && !have.contains(it.nDisk) && it.strPath.startsWith(QLatin1String(WFS_PATH_PREFIX))) {
            have.insert(it.nDisk);
            disks << it.nDisk;
        }
    }
    std::sort(disks.begin(), disks.end());
    for (int d : qAsConst(disks)) {
        ExamSource s;
        if (DescribeRecorderDisk(d, &s))
            sources.append(s);
        else
            warnings << tr("Disk %1 is no longer loaded: its source cannot be described").arg(d);
    }
}

QJsonObject CExamReport::toJson() const
{
    QJsonObject tool;
    tool[QStringLiteral("name")] = QStringLiteral("Orvelle");
    tool[QStringLiteral("version")] = QStringLiteral(ORVELLE_VERSION);
    QJsonObject job;
    job[QStringLiteral("kind")] = strKind;
    job[QStringLiteral("started")] = isoTime(started);
    job[QStringLiteral("finished")] = isoTime(finished);
    job[QStringLiteral("host")] = strHost;
    job[QStringLiteral("format")] = strFormat;
    job[QStringLiteral("destination")] = strDestination.isEmpty() ? QString() : QFileInfo(strDestination).absoluteFilePath();
    if (!range.isEmpty())
        job[QStringLiteral("range")] = range;
    QJsonObject cased;
    cased[QStringLiteral("case_number")] = caseDetails.caseNumber;
    cased[QStringLiteral("examiner")] = caseDetails.examiner;
    cased[QStringLiteral("evidence_number")] = caseDetails.evidenceNumber;
    cased[QStringLiteral("notes")] = caseDetails.notes;
    QJsonArray srcs, list;
    for (const ExamSource& s : sources)
        srcs.append(sourceJson(s));
    for (const ExamItem& it : items)
        list.append(itemJson(it, caseDetails.clockOffsetS));
    QJsonObject o;
    o[QStringLiteral("tool")] = tool;
    o[QStringLiteral("job")] = job;
    o[QStringLiteral("case")] = cased;
    o[QStringLiteral("clock_offset_s")] = caseDetails.clockOffsetS;
    o[QStringLiteral("sources")] = srcs;
    o[QStringLiteral("items")] = list;
    o[QStringLiteral("warnings")] = QJsonArray::fromStringList(warnings);
    return o;
}

QByteArray CExamReport::jsonText() const
{
    return QJsonDocument(toJson()).toJson(QJsonDocument::Indented);
}

QByteArray CExamReport::htmlText() const
{
    const int offset = caseDetails.clockOffsetS;
    QString h;
    auto row = [&h](const QString& name, const QString& value) {
        h += QStringLiteral("<tr><th>%1</th><td>%2</td></tr>\n").arg(esc(name), esc(value));
    };
    QString kind = strKind;
    if (strKind == QLatin1String("export"))
        kind = tr("Export");
    else if (strKind == QLatin1String("cut"))
        kind = tr("Cut");
    else if (strKind == QLatin1String("range"))
        kind = tr("Range export");

    h += QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>%1</title>\n")
             .arg(esc(tr("Examination report")));
    h += QStringLiteral(
        "<style>body{font-family:sans-serif;font-size:10pt;margin:1.5em}"
        "table{border-collapse:collapse;margin-bottom:1em}"
        "th,td{border:1px solid #888;padding:2px 6px;text-align:left;vertical-align:top}"
        "th{background:#eee}td.hash{font-family:monospace;font-size:8pt;word-break:break-all}"
        ".bad{color:#a00}@media print{body{margin:0}}</style>\n</head><body>\n");
    h += QStringLiteral("<h1>%1</h1>\n<table>\n").arg(esc(tr("Examination report")));
    row(tr("Program"), QStringLiteral("Orvelle " ORVELLE_VERSION));
    row(tr("Job"), kind);
    row(tr("Format"), strFormat == QLatin1String("mp4") ? QStringLiteral("MP4") : QStringLiteral("H.264"));
    row(tr("Destination"), strDestination.isEmpty() ? QString() : QFileInfo(strDestination).absoluteFilePath());
    row(tr("Started"), isoTime(started));
    row(tr("Finished"), isoTime(finished));
    row(tr("Host"), strHost);
    if (!range.isEmpty()) {
        row(tr("Time range"), range.value(QStringLiteral("from")).toString() + QStringLiteral(" - ") +
                             range.value(QStringLiteral("to")).toString());
        if (range.contains(QStringLiteral("from_corrected")))
            row(tr("Time range (corrected)"), range.value(QStringLiteral("from_corrected")).toString() +
                                                  QStringLiteral(" - ") +
                                                  range.value(QStringLiteral("to_corrected")).toString());
        QStringList channels;
        for (const QJsonValue& v : range.value(QStringLiteral("channels")).toArray())
            channels << QString::number(v.toInt() + 1);
        row(tr("Channels"), channels.join(QStringLiteral(", ")));
    }
    h += QStringLiteral("</table>\n<h2>%1</h2>\n<table>\n").arg(esc(tr("Case")));
    row(tr("Case number"), caseDetails.caseNumber);
    row(tr("Examiner"), caseDetails.examiner);
    row(tr("Evidence number"), caseDetails.evidenceNumber);
    row(tr("Notes"), caseDetails.notes);
    row(tr("Clock offset (recorder minus true time, s)"), QString::number(offset));
    h += QStringLiteral("</table>\n");

    h += QStringLiteral("<h2>%1</h2>\n").arg(esc(tr("Sources")));
    if (sources.isEmpty()) {
        h += QStringLiteral("<p>%1</p>\n").arg(esc(tr("No recorder disk was read (local files only).")));
    } else {
        h += QStringLiteral("<table>\n<tr><th>%1</th><th>%2</th><th>%3</th><th>%4</th><th>%5</th><th>%6</th><th>%7</th></tr>\n")
                 .arg(esc(tr("Disk")), esc(tr("Drive")), esc(tr("Kind")), esc(tr("Source")), esc(tr("Sectors")),
                      esc(tr("Model / serial")), esc(tr("Image files")));
        for (const ExamSource& s : sources) {
            QStringList files;
            for (int i = 0; i < s.segments.size(); ++i)
                files << esc(tr("%1 (%2 bytes)").arg(s.segments.at(i)).arg(i < s.segmentBytes.size() ? s.segmentBytes.at(i) : 0));
            for (const QString& stored : s.storedHashes)
                files << esc(tr("stored %1").arg(stored));
            h += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td>%6</td><td>%7</td></tr>\n")
                     .arg(s.nDisk)
                     .arg(s.nDrive)
                     .arg(esc(s.strKind), esc(s.strSource))
                     .arg(s.nSectors)
                     .arg(esc(s.strModel + (s.strSerial.isEmpty() ? QString() : QStringLiteral(" / ") + s.strSerial)),
                          files.join(QStringLiteral("<br>")));
        }
        h += QStringLiteral("</table>\n");
    }

    h += QStringLiteral("<h2>%1</h2>\n<table>\n<tr>").arg(esc(tr("Recordings")));
    QStringList heads{tr("Recording"), tr("Disk / part / channel"), tr("State"), tr("Start time"), tr("End time")};
    if (offset != 0)
        heads << tr("Start (corrected)") << tr("End (corrected)");
    heads << tr("First cluster") << tr("Source bytes") << tr("Source SHA-256") << tr("Output") << tr("Output bytes")
          << tr("Output SHA-256") << tr("Outcome") << tr("Message");
    for (const QString& head : qAsConst(heads))
        h += QStringLiteral("<th>%1</th>").arg(esc(head));
    h += QStringLiteral("</tr>\n");
    for (const ExamItem& it : items) {
        QString what = it.strPath;
        if (it.bCut)
            what += QStringLiteral("\n") + tr("cut %1 - %2").arg(it.strCutFrom, it.strCutTo);
        QString outcome = it.strOutcome;
        if (it.bKeptAsH264)
            outcome += QStringLiteral(", ") + tr("kept as H.264");
        const bool bad = it.strOutcome != QLatin1String("complete") || it.bKeptAsH264;
        h += bad ? QStringLiteral("<tr class=\"bad\">") : QStringLiteral("<tr>");
        QStringList cells;
        cells << esc(what).replace(QLatin1Char('\n'), QStringLiteral("<br>"))
              << esc(QStringLiteral("%1 / %2 / %3").arg(it.nDisk).arg(it.nPart).arg(it.nChannel + 1))
              << esc(it.strState) << esc(recorderTime(it.start)) << esc(recorderTime(it.end));
        if (offset != 0)
            cells << esc(it.start.isValid() ? corrected(it.start, offset) : QString())
                  << esc(it.end.isValid() ? corrected(it.end, offset) : QString());
        cells << esc(QStringLiteral("0x%1").arg(it.nFirstCluster, 0, 16)) << QString::number(it.nSourceBytes)
              << QStringLiteral("<span class=\"hash\">%1</span>").arg(esc(QString::fromLatin1(it.sourceSha256)))
              << esc(it.strOutput) << QString::number(it.nOutputBytes)
              << QStringLiteral("<span class=\"hash\">%1</span>").arg(esc(QString::fromLatin1(it.outputSha256)))
              << esc(outcome) << esc(it.strMessage);
        for (int i = 0; i < cells.size(); ++i) {
            const bool hash = cells.at(i).startsWith(QLatin1String("<span class=\"hash\">"));
            h += hash ? QStringLiteral("<td class=\"hash\">%1</td>").arg(cells.at(i))
                      : QStringLiteral("<td>%1</td>").arg(cells.at(i));
        }
        h += QStringLiteral("</tr>\n");
    }
    h += QStringLiteral("</table>\n");

    h += QStringLiteral("<h2>%1</h2>\n").arg(esc(tr("Warnings")));
    if (warnings.isEmpty()) {
        h += QStringLiteral("<p>%1</p>\n").arg(esc(tr("None")));
    } else {
        h += QStringLiteral("<ul>\n");
        for (const QString& w : warnings)
            h += QStringLiteral("<li>%1</li>\n").arg(esc(w));
        h += QStringLiteral("</ul>\n");
    }
    h += QStringLiteral("</body></html>\n");
    return h.toUtf8();
}

bool CExamReport::write(const QString& strFolder, QString* pJsonPath, QString* pHtmlPath, QString* pError) const
{
    QString folder = strFolder;
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    if (folder.isEmpty())
        folder = QStringLiteral(".");
    const QDateTime when = finished.isValid() ? finished : QDateTime::currentDateTime();
    const QString stem = QStringLiteral("report-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QByteArray json = jsonText();
    const QByteArray html = htmlText();
    for (int n = 1; n <= kMaxSameSecond; ++n) {
        const QString name = n == 1 ? stem : QStringLiteral("%1-%2").arg(stem).arg(n);
        const QString jsonName = name + QStringLiteral(".json");
        const QString htmlName = name + QStringLiteral(".html");
        bool taken = false;
        if (!writeNew(folder + QLatin1Char('/') + jsonName, json, &taken, pError)) {
            if (taken)
                continue;
            return false;
        }
        if (!writeNew(folder + QLatin1Char('/') + htmlName, html, &taken, pError)) {
            QFile::remove(folder + QLatin1Char('/') + jsonName);
            if (taken)
                continue;
            return false;
        }
        if (pJsonPath)
            *pJsonPath = folder + QLatin1Char('/') + jsonName;
        if (pHtmlPath)
            *pHtmlPath = folder + QLatin1Char('/') + htmlName;
        const QByteArray jsonHash = CSha256::of(json.constData(), size_t(json.size()));
        const QByteArray htmlHash = CSha256::of(html.constData(), size_t(html.size()));
        return HashManifest::update(
            folder,
            [&](HashManifest& m) {
                m.set(jsonName, jsonHash);
                m.set(htmlName, htmlHash);
            },
            pError);
    }
    if (pError)
        *pError = QStringLiteral("%1: every report name of this second is taken").arg(folder);
    return false;
}
