// What hashing costs an export: the export job (which hashes every byte as
// it writes it, lists the copy in SHA256SUMS and writes its report) against
// a plain copy of the same recording through the same file objects in the
// same 512000-byte chunks, without hashing. Also the hash alone over the
// same bytes in memory, for scale.
//
//   bench_export_hash [IMAGE] [OUTDIR]
//
// IMAGE (default /tmp/orvelle-bench-cat.img, shared with bench_cat and
// bench_export) is made when it does not exist: one recording of about
// 1.1 GiB in 2 MiB clusters. OUTDIR (default /tmp/orvelle-bench-export-hash)
// receives the copies. After a warm-up each way runs five times,
// alternately; the best times are compared and the load average is printed
// beside them. Target: export time / plain copy time <= 1.15.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/export/jobs/ExportJob.h"
#include "app/export/jobs/Sha256.h"
#include "app/fs/CFSFile.h"
#include "bench/common/big_recording_image.h"
#include "bench/common/export_job_run.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

#include <QDir>
#include <QFile>

namespace {

using bench::seconds_since;

const size_t kChunk = CExportJob::kChunkSize;

std::string load_average()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// The export's loop without the hash: CFSFile in, CFSFile out.
uint64_t plain_copy(const std::string &path, const std::string &out, std::vector<char> &buf)
{
    QFile::remove(QString::fromStdString(out));
    CFSFile source, target;
    if (!source.Open(path.c_str(), CFSFile::modeRead) ||
        !target.Open(out.c_str(), CFSFile::modeReadWrite | CFSFile::modeCreate))
        return 0;
    const uint64_t length = source.GetLength();
    uint64_t done = 0;
    while (done < length) {
        const size_t want = size_t(std::min<uint64_t>(kChunk, length - done));
        const size_t got = source.Read(buf.data(), want);
        if (got == 0 || target.Write(buf.data(), got) != got)
            break;
        done += got;
    }
    target.Close();
    source.Close();
    return done;
}

// CPU seconds of the whole process (every thread) so far.
double process_cpu()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char **argv)
{
    const std::string image = argc > 1 ? argv[1] : "/tmp/orvelle-bench-cat.img";
    const std::string outdir = argc > 2 ? argv[2] : "/tmp/orvelle-bench-export-hash";
    wfs_log_set_route(WFS_LOG_SILENT);
    bench::BigRecordingImage big;
    std::string err;
    if (!bench::prepare_big_recording_image(image, &big, &err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    QDir(QString::fromStdString(outdir)).removeRecursively();
    QDir().mkpath(QString::fromStdString(outdir));
    const std::string plain_out = outdir + "/plain.bin";
    std::vector<char> buf(kChunk);
    if (!bench::run_export(big.path, outdir)) {
        std::fprintf(stderr, "the export failed\n");
        return 1;
    }
    const uint64_t bytes = plain_copy(big.path, plain_out, buf);
    if (bytes < (1ull << 30)) {
        std::fprintf(stderr, "the plain copy is too small\n");
        return 1;
    }
    // The hash alone, over one chunk's bytes repeated (in cache).
    double hash_only = 0;
    {
        CSha256 sha;
        const auto t0 = std::chrono::steady_clock::now();
        for (uint64_t done = 0; done < bytes; done += kChunk)
            sha.add(buf.data(), size_t(std::min<uint64_t>(kChunk, bytes - done)));
        sha.finish();
        hash_only = seconds_since(t0);
    }
    const std::string load_before = load_average();
    double best_plain = 1e9, best_export = 1e9, cpu_plain = 1e9, cpu_export = 1e9;
    for (int run = 0; run < 5; ++run) {
        double c0 = process_cpu();
        auto t0 = std::chrono::steady_clock::now();
        plain_copy(big.path, plain_out, buf);
        best_plain = std::min(best_plain, seconds_since(t0));
        cpu_plain = std::min(cpu_plain, process_cpu() - c0);
        c0 = process_cpu();
        t0 = std::chrono::steady_clock::now();
        bench::run_export(big.path, outdir);
        best_export = std::min(best_export, seconds_since(t0));
        cpu_export = std::min(cpu_export, process_cpu() - c0);
    }
    const double gib = bytes / double(1ull << 30);
    std::printf("recording: %.2f GiB\n", gib);
    std::printf("load average before: %s, after: %s\n", load_before.c_str(), load_average().c_str());
    std::printf("hash alone: %.3f s (%.0f MiB/s)\n", hash_only, gib * 1024 / hash_only);
    std::printf("plain copy: %.3f s (%.0f MiB/s), CPU %.3f s\n", best_plain, gib * 1024 / best_plain, cpu_plain);
    std::printf("export with hashing: %.3f s (%.0f MiB/s), CPU %.3f s\n", best_export, gib * 1024 / best_export,
                cpu_export);
    std::printf("ratio export / plain copy: %.3f (target <= 1.15); CPU ratio %.3f\n", best_export / best_plain,
                cpu_export / cpu_plain);
    QDir(QString::fromStdString(outdir)).removeRecursively();
    close_recorder_disks();
    return 0;
}
