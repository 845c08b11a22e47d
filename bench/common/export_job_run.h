// Exporting one recording with the export job, as the export benchmarks do.
#pragma once

#include <string>

#include "app/export/jobs/ExportJob.h"

namespace bench {

// Exports the recording at `path` into `outdir`; true when nothing failed.
inline bool run_export(const std::string &path, const std::string &outdir)
{
    CExportJob job;
    job.setPaths({QString::fromStdString(path)});
    job.setDestination(QString::fromStdString(outdir));
    job.run();
    return job.failures().isEmpty();
}

}  // namespace bench
