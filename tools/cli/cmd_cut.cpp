// orvelle-cli cut [--mp4] [case options] PATH HH:MM:SS HH:MM:SS DEST: writes
// the frames of a recording (recorder path or local file) whose time lies in
// the range to a new file in DEST, named after the recording's date and the
// range, as the program's cut does, hashed into DEST/SHA256SUMS, with the
// examination report (cli_case.h). The file written and then the report go
// to standard output, progress to standard error.
#include "cli_case.h"
#include "cli_disks.h"
#include "cli_progress.h"

#include "app/export/jobs/CutJob.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/path_name.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace {

// Seconds of day of "HH:MM:SS", or -1.
int parse_time(const std::string &text)
{
    int h, m, s;
    char end;
    if (std::sscanf(text.c_str(), "%2d:%2d:%2d%c", &h, &m, &s, &end) != 3)
        return -1;
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59)
        return -1;
    return h * 3600 + m * 60 + s;
}

int run_cut(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    bool mp4 = false;
    cli::CaseOptions report;
    std::vector<std::string> rest, words;
    std::string error;
    if (!cli::take_case_options(args, &report, &rest, &error))
        return cli::usage_error("cut: " + error);
    for (const std::string &a : rest) {
        if (a == "--mp4")
            mp4 = true;
        else if (a.size() > 1 && a[0] == '-' && a[1] == '-')
            return cli::usage_error("cut: unknown option " + a);
        else
            words.push_back(a);
    }
    if (words.size() != 4)
        return cli::usage_error("cut needs PATH, START, END and DEST");
    const int start = parse_time(words[1]);
    const int end = parse_time(words[2]);
    if (start < 0 || end < 0)
        return cli::usage_error("cut: times are written HH:MM:SS");

    CCutJob::Params params;
    params.strSource = QString::fromLocal8Bit(words[0].c_str());
    params.strDestFolder = QString::fromLocal8Bit(words[3].c_str());
    params.nFormat = mp4 ? CCutJob::FormatMp4 : CCutJob::FormatH264;
    params.nCutStart = start;
    params.nCutEnd = end;
    if (!RecordSpanFromPath(params.strSource, &params.record)) {
        std::fprintf(stderr, "orvelle-cli: %s: the recording's times cannot be read from its name\n",
                     words[0].c_str());
        return cli::kExitFailure;
    }
    CutRange range;
    if (!MakeCutRange(params.record, start, end, &range)) {
        std::fprintf(stderr, "orvelle-cli: %s to %s does not lie inside the recording (%s to %s)\n",
                     words[1].c_str(), words[2].c_str(),
                     FormatTimeOfDay(params.record.nStart).toLatin1().constData(),
                     FormatTimeOfDay(params.record.nEnd).toLatin1().constData());
        return cli::kExitFailure;
    }

    cli::route_qt_messages(opts);
    cli::use_catalogue_disks(opts);
    CRecordCatalogue catalogue;
    if (params.strSource.startsWith(QLatin1String(WFS_PATH_PREFIX)))
        catalogue.InitialiseDisks();

    CCutJob job;
    job.setParams(params);
    job.setCaseDetails(report.details);
    job.setWriteReport(report.writeReport);
    cli::show_job_progress(&job);
    QString message;
    bool converted = true;
    QObject::connect(&job, &CCutJob::showMessage, [&](const QString &text) { message = text; });
    QObject::connect(&job, &CCutJob::convertFinishi, [&](bool ok) {
        converted = ok;
        message = job.finishConversion(ok);
    });
    job.run();
    std::fprintf(stderr, "\n%s\n", message.toLocal8Bit().constData());
    close_recorder_disks();

    const bool ok = job.result() == CCutJob::Succeeded && converted;
    if (ok) {
        const QString written = mp4 ? job.mp4Path() : job.outputPath();
        std::printf("%s\n", written.toLocal8Bit().constData());
    }
    cli::print_report_paths(job.reportJsonPath().toLocal8Bit().toStdString(),
                            job.reportPath().toLocal8Bit().toStdString());
    return ok ? cli::kExitOk : cli::kExitFailure;
}

cli::CliCommandRegistrar reg({"cut", "cut [--mp4] [CASE OPTIONS] PATH HH:MM:SS HH:MM:SS DEST",
                              "write the frames of a time range of a recording to a new file in DEST", run_cut});

}  // namespace
