// orvelle-cli export [--mp4] [case options] DEST PATH...: copies recordings
// to a local folder as the program's export does: DEST/<path after "/mnt/">,
// listed in DEST/index.data, or converted to MP4, every file hashed into
// DEST/SHA256SUMS, with the examination report (cli_case.h). Progress goes
// to standard error; the files written and then the report go to standard
// output; any recording that fails makes the exit status 1.
#include "cli_case.h"
#include "cli_disks.h"
#include "cli_progress.h"

#include "app/export/jobs/ExportJob.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "wfs/device/recorder_disks.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace {

int run_export(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    bool mp4 = false;
    cli::CaseOptions report;
    std::vector<std::string> rest, words;
    std::string error;
    if (!cli::take_case_options(args, &report, &rest, &error))
        return cli::usage_error("export: " + error);
    for (const std::string &a : rest) {
        if (a == "--mp4")
            mp4 = true;
        else if (a.size() > 1 && a[0] == '-' && a[1] == '-')
            return cli::usage_error("export: unknown option " + a);
        else
            words.push_back(a);
    }
    if (words.size() < 2)
        return cli::usage_error("export needs DEST and at least one PATH");
    cli::route_qt_messages(opts);
    cli::use_catalogue_disks(opts);
    CRecordCatalogue catalogue;
    catalogue.InitialiseDisks();

    QStringList paths;
    for (size_t i = 1; i < words.size(); ++i)
        paths << QString::fromLocal8Bit(words[i].c_str());
    CExportJob job;
    job.setDestination(QString::fromLocal8Bit(words[0].c_str()));
    job.setPaths(paths);
    job.setFormat(mp4 ? CExportJob::FormatMp4 : CExportJob::FormatH264);
    job.setCaseDetails(report.details);
    job.setWriteReport(report.writeReport);

    cli::show_job_progress(&job);
    QString message;
    QObject::connect(&job, &CExportJob::showMessage, [&](const QString &text) { message = text; });
    QObject::connect(&job, &CExportJob::convertFinishi, [&](bool ok) { message = job.finishConversion(ok); });
    job.run();
    std::fprintf(stderr, "\n");

    for (const QString &file : job.writtenFiles())
        std::printf("%s\n", file.toLocal8Bit().constData());
    cli::print_report_paths(job.reportJsonPath().toLocal8Bit().toStdString(),
                            job.reportPath().toLocal8Bit().toStdString());
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    close_recorder_disks();
    return job.failures().isEmpty() ? cli::kExitOk : cli::kExitFailure;
}

cli::CliCommandRegistrar reg({"export", "export [--mp4] [CASE OPTIONS] DEST PATH...",
                              "copy recordings to DEST (with index.data), or as MP4", run_export});

}  // namespace
