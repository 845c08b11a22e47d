// orvelle-cli range [--mp4] [--channels LIST] [--disk N --part N] [case
// options] FROM TO DEST:
// one time window of every chosen channel, as the program's "Export range"
// writes it: for each channel and each recording that overlaps the window,
// the frames of the overlap, cut as the cut command cuts, in a file named
// "CCC_YYYYMMDD_HH.MM.SS_HH.MM.SS.h264" (CCC the channel as the tree shows
// it). FROM and TO are "YYYY-MM-DD HH:MM:SS"; TO may lie on a later day.
// Every file is hashed into DEST/SHA256SUMS; one examination report covers
// the window (cli_case.h). The files written and then the report go to
// standard output, progress and the outcome to standard error.
#include "cli_case.h"
#include "cli_disks.h"
#include "cli_progress.h"

#include "app/export/jobs/RangeExportJob.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "wfs/device/recorder_disks.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

namespace {

const int kChannels = 32;

bool parse_number(const std::string &text, int lo, int hi, int *out)
{
    if (text.empty() || text.size() > 4)
        return false;
    char *end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < lo || v > hi)
        return false;
    *out = static_cast<int>(v);
    return true;
}

// "1,2,5-8" (channels as the tree shows them, from 1) into 0-based channels.
// Numbers outside 1..32 are kept (as -1 or >= 32) for the job to refuse
// with its message; text that is not a list is a usage error.
bool parse_channels(const std::string &text, QList<int> *out)
{
    const QStringList parts = QString::fromStdString(text).split(QLatin1Char(','));
    for (const QString &part : parts) {
        const QStringList ends = part.split(QLatin1Char('-'));
        if (ends.size() > 2)
            return false;
        int first = 0, last = 0;
        if (!parse_number(ends[0].trimmed().toStdString(), 0, 9999, &first))
            return false;
        last = first;
        if (ends.size() == 2 && !parse_number(ends[1].trimmed().toStdString(), 0, 9999, &last))
            return false;
        if (last < first || last - first > kChannels)
            return false;
        for (int c = first; c <= last; ++c)
            out->append(c - 1);
    }
    return !out->isEmpty();
}

// "YYYY-MM-DD HH:MM:SS" (or with "T" between date and time).
QDateTime parse_when(const std::string &text)
{
    QString s = QString::fromStdString(text).trimmed();
    s.replace(QLatin1Char('T'), QLatin1Char(' '));
    const QStringList parts = s.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 2)
        return QDateTime();
    // Recorder times are wall-clock times: no zone, no summer time.
    const QDate date = QDate::fromString(parts[0], QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(parts[1], QStringLiteral("HH:mm:ss"));
    return (date.isValid() && time.isValid()) ? QDateTime(date, time, Qt::UTC) : QDateTime();
}

int run_range(const cli::GlobalOptions &opts, const std::vector<std::string> &allArgs)
{
    cli::CaseOptions report;
    std::vector<std::string> args;
    std::string error;
    if (!cli::take_case_options(allArgs, &report, &args, &error))
        return cli::usage_error("range: " + error);
    bool mp4 = false;
    bool haveChannels = false;
    QList<int> channels;
    int disk = -1, part = -1;
    std::vector<std::string> words;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--mp4") {
            mp4 = true;
        } else if (a == "--channels") {
            if (i + 1 >= args.size() || !parse_channels(args[i + 1], &channels))
                return cli::usage_error("--channels needs a list such as 1,2,5-8");
            haveChannels = true;
            ++i;
        } else if (a == "--disk" || a == "--part") {
            int value = 0;
            if (i + 1 >= args.size() || !parse_number(args[i + 1], 0, a == "--disk" ? 15 : 3, &value))
                return cli::usage_error(a == "--disk" ? "--disk needs a disk number 0..15"
                                                      : "--part needs a partition number 0..3");
            (a == "--disk" ? disk : part) = value;
            ++i;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return cli::usage_error("range: unknown option " + a);
        } else {
            words.push_back(a);
        }
    }
    // FROM and TO may each come as one quoted word or as date and time.
    if (words.size() == 5)
        words = {words[0] + " " + words[1], words[2] + " " + words[3], words[4]};
    if (words.size() != 3)
        return cli::usage_error("range needs FROM, TO and DEST");
    if ((disk < 0) != (part < 0))
        return cli::usage_error("range: --disk and --part go together");
    const QDateTime from = parse_when(words[0]);
    const QDateTime to = parse_when(words[1]);
    if (!from.isValid() || !to.isValid())
        return cli::usage_error("range: FROM and TO are written \"YYYY-MM-DD HH:MM:SS\"");

    cli::route_qt_messages(opts);
    cli::use_catalogue_disks(opts);
    CRecordCatalogue catalogue;
    const int disks = catalogue.InitialiseDisks();
    if (disks == 0)
        return cli::no_recorder_disk();
    catalogue.LoadDataFromDisk(disks);

    // The recordings of the partition; without --disk and --part, of the one
    // partition whose recordings meet the window.
    std::map<std::pair<int, int>, QStringList> byPartition;
    std::map<std::pair<int, int>, bool> meets;
    for (const CatalogueEntry &e : catalogue.Entries()) {
        const std::pair<int, int> key(e.info.disk, e.info.part);
        const QString path = QString::fromStdString(e.path);
        byPartition[key] << path;
        RecordSpan span;
        if (RecordSpanFromPath(path, &span)) {
            const QDateTime midnight(span.date, QTime(0, 0), Qt::UTC);
            if (midnight.addSecs(span.nStart) < to && midnight.addSecs(span.nEnd) > from)
                meets[key] = true;
        }
    }
    std::pair<int, int> chosen(disk, part);
    if (disk < 0) {
        if (meets.size() > 1) {
            std::string names;
            for (const auto &kv : meets)
                names += (names.empty() ? "" : ", ") + std::string("--disk ") + std::to_string(kv.first.first) +
                         " --part " + std::to_string(kv.first.second);
            close_recorder_disks();
            return cli::usage_error("range: recordings of several partitions meet the range; choose one (" +
                                    names + ")");
        }
        chosen = !meets.empty() ? meets.begin()->first
                                : (byPartition.empty() ? std::make_pair(0, 0) : byPartition.begin()->first);
    } else if (byPartition.find(chosen) == byPartition.end()) {
        std::fprintf(stderr, "orvelle-cli: disk %d partition %d has no recordings\n", disk, part);
        close_recorder_disks();
        return cli::kExitFailure;
    }

    CRangeExportJob::Params params;
    params.candidates = byPartition[chosen];
    params.from = from;
    params.to = to;
    params.strDestFolder = QString::fromLocal8Bit(words[2].c_str());
    params.nFormat = mp4 ? CRangeExportJob::FormatMp4 : CRangeExportJob::FormatH264;
    if (haveChannels) {
        params.channels = channels;
    } else {
        QSet<int> present;
        for (const QString &path : qAsConst(params.candidates)) {
            RecordSpan span;
            if (RecordSpanFromPath(path, &span))
                present.insert(span.nChannel);
        }
        params.channels = present.values();
    }

    CRangeExportJob job;
    job.setParams(params);
    job.setCaseDetails(report.details);
    job.setWriteReport(report.writeReport);
    cli::show_job_progress(&job);
    QString message;
    QObject::connect(&job, &CRangeExportJob::showMessage, [&](const QString &text) { message = text; });
    job.run();
    if (job.result() != CRangeExportJob::Invalid)
        std::fprintf(stderr, "\n");
    for (const QString &file : job.writtenFiles())
        std::printf("%s\n", file.toLocal8Bit().constData());
    cli::print_report_paths(job.reportJsonPath().toLocal8Bit().toStdString(),
                            job.reportPath().toLocal8Bit().toStdString());
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    close_recorder_disks();
    return job.result() == CRangeExportJob::Succeeded ? cli::kExitOk : cli::kExitFailure;
}

cli::CliCommandRegistrar reg({"range", "range [--mp4] [--channels LIST] [--disk N --part N] [CASE OPTIONS] FROM TO DEST",
                              "every channel's frames between FROM and TO (\"YYYY-MM-DD HH:MM:SS\") into DEST",
                              run_range});

}  // namespace
