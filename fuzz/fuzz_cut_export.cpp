// The cut and export workers on a disk whose structure sectors are mutated:
// a recording picked by the input is cut over a range the input chooses (or
// exported whole) into a scratch folder, possibly stopped after a number of
// progress reports. Whatever the disk holds, the job must end with one of its
// results, a failed or empty cut must leave no output behind (only its
// report and the report's hash lines), and the folder's SHA256SUMS must hold
// for every file it lists.
//
// Input: [base][pick][cut offset][cut length][flags][overlay ...]
//   flags bit 0: export instead of cut; bits 4..7: stop after that many
//   progress reports (0 = never).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include "app/export/jobs/CutJob.h"
#include "app/export/jobs/ExportJob.h"
#include "app/export/jobs/HashManifest.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "fuzz/support/fuzz_disk.h"
#include "wfs/common/log.h"

namespace {

constexpr size_t kHeader = 4;

QTemporaryDir *scratch()
{
    static QTemporaryDir *dir = new QTemporaryDir;
    return dir;
}

// Bytes of the files below a folder, the job's report and SHA256SUMS aside.
uint64_t folder_bytes(const QString &path)
{
    uint64_t n = 0;
    for (const QFileInfo &fi : QDir(path).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (fi.isDir())
            n += folder_bytes(fi.filePath());
        else if (fi.fileName() != QLatin1String(HashManifest::kFileName) &&
                 !fi.fileName().startsWith(QLatin1String("report-")))
            n += uint64_t(fi.size());
    }
    return n;
}

// Every file the folder's SHA256SUMS lists is there with that hash.
void check_hashes(const QString &out)
{
    const HashManifest::CheckResult check = HashManifest::verify(out);
    if (check.bFound && !check.allOk())
        std::abort();
}

void run_cut(const CatalogueEntry &e, const uint8_t *h, const QString &out)
{
    CCutJob job;
    CCutJob::Params p;
    p.strSource = QString::fromStdString(e.path);
    p.strDestFolder = out;
    RecordSpanFromPath(p.strSource, &p.record);
    p.nCutStart = (p.record.nStart + h[0]) % 86400;
    p.nCutEnd = (p.nCutStart + h[1]) % 86400;
    job.setParams(p);
    const int stopAfter = h[2] >> 4;
    int reports = 0;
    QObject::connect(&job, &CCutJob::updateProcess, [&](int) {
        if (stopAfter && ++reports == stopAfter)
            job.requestStop();
    });
    job.run();
    switch (job.result()) {
    case CCutJob::Succeeded:
        if (!QFileInfo(job.outputPath()).isFile() || job.framesWritten() <= 0)
            std::abort();
        break;
    case CCutJob::Failed:
    case CCutJob::NoVideo:
        if (!job.outputPath().isEmpty() || folder_bytes(out) != 0)
            std::abort();
        break;
    case CCutJob::Stopped:
        break;
    case CCutJob::NotRun:
        std::abort();
    }
    check_hashes(out);
}

void run_export(const CatalogueEntry &e, const uint8_t *h, const QString &out)
{
    CExportJob job;
    job.setPaths({QString::fromStdString(e.path)});
    job.setDestination(out);
    const int stopAfter = h[2] >> 4;
    int reports = 0;
    QObject::connect(&job, &CExportJob::updateProcess, [&](int) {
        if (stopAfter && ++reports == stopAfter)
            job.requestStop();
    });
    job.run();
    // Every recording is either written or reported (a stop may leave a
    // partial copy and neither).
    if (!job.isStopped() && job.writtenFiles().size() + job.failures().size() != 1)
        std::abort();
    for (const QString &f : job.writtenFiles())
        if (!QFileInfo(f).isFile())
            std::abort();
    check_hashes(out);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    wfs_log_set_route(WFS_LOG_SILENT);
    if (fuzzdisk::write_seeds_if_asked({0, 2, 60, 0}))
        std::exit(0);
    if (!scratch()->isValid()) {
        std::fprintf(stderr, "fuzz: no scratch folder\n");
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CatalogueEntry e;
    if (size >= 1 + kHeader && fuzzdisk::pick_recording(data, size, kHeader, data[1], &e)) {
        const uint8_t *h = data + 2;
        const QString out = scratch()->path() + "/out";
        QDir(out).removeRecursively();
        if (h[2] & 1)
            run_export(e, h, out);
        else
            run_cut(e, h, out);
        QDir(out).removeRecursively();
    }
    fuzzdisk::unmount_all();
    return 0;
}
