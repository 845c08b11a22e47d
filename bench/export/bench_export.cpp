// Exporting a recording of more than 1 GiB with the export job (read through
// CFSFile, written to a local folder) against copying the same byte ranges of
// the image file straight to a file with pread/write, and against only
// reading them.
//
//   bench_export [IMAGE] [OUTDIR]
//
// IMAGE (default /tmp/orvelle-bench-cat.img, shared with bench_cat) is made
// when it does not exist: one recording of about 1.1 GiB in 2 MiB clusters.
// OUTDIR (default /tmp/orvelle-bench-export) receives the copies. Each way
// runs once to warm the page cache, then three times alternately; the best
// times are compared. Target: direct copy time / export time >= 0.9.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/export/jobs/ExportJob.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "bench/common/big_recording_image.h"
#include "bench/common/export_job_run.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

#include <QDir>

namespace {

using bench::Range;
using bench::seconds_since;

const size_t kChunk = CExportJob::kChunkSize;





// Reads the ranges, and writes them to `out` unless it is empty.
uint64_t copy_direct(const std::string &image, const std::vector<Range> &ranges, const std::string &out,
                     std::vector<char> &buf)
{
    int fd = open(image.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    if (!out.empty())
        unlink(out.c_str());  // as the export replaces its target
    int wfd = out.empty() ? -1 : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    uint64_t total = 0;
    for (const Range &r : ranges) {
        for (uint64_t done = 0; done < r.length;) {
            size_t want = std::min<uint64_t>(kChunk, r.length - done);
            ssize_t n = pread(fd, buf.data(), want, static_cast<off_t>(r.offset + done));
            if (n <= 0)
                break;
            if (wfd >= 0 && write(wfd, buf.data(), size_t(n)) != n)
                break;
            done += static_cast<uint64_t>(n);
            total += static_cast<uint64_t>(n);
        }
    }
    if (wfd >= 0)
        close(wfd);
    close(fd);
    return total;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string image = argc > 1 ? argv[1] : "/tmp/orvelle-bench-cat.img";
    std::string outdir = argc > 2 ? argv[2] : "/tmp/orvelle-bench-export";
    wfs_log_set_route(WFS_LOG_SILENT);
    bench::BigRecordingImage big;
    std::string err;
    if (!bench::prepare_big_recording_image(image, &big, &err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    const std::string path = big.path;
    const std::vector<Range> &ranges = big.ranges;
    QDir().mkpath(QString::fromStdString(outdir));
    const std::string direct_out = outdir + "/direct.bin";
    const std::string export_out = outdir + "/" + path.substr(5);
    std::vector<char> buf(kChunk);
    if (!bench::run_export(path, outdir)) {
        std::fprintf(stderr, "the export failed\n");
        return 1;
    }
    uint64_t bytes = copy_direct(image, ranges, direct_out, buf);
    struct stat est;
    if (stat(export_out.c_str(), &est) != 0 || uint64_t(est.st_size) != bytes || bytes < (1ull << 30)) {
        std::fprintf(stderr, "sizes differ or too small\n");
        return 1;
    }
    double best_read = 1e9, best_copy = 1e9, best_export = 1e9;
    for (int run = 0; run < 3; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        copy_direct(image, ranges, std::string(), buf);
        best_read = std::min(best_read, seconds_since(t0));
        t0 = std::chrono::steady_clock::now();
        copy_direct(image, ranges, direct_out, buf);
        best_copy = std::min(best_copy, seconds_since(t0));
        t0 = std::chrono::steady_clock::now();
        bench::run_export(path, outdir);
        best_export = std::min(best_export, seconds_since(t0));
    }
    double gib = bytes / double(1ull << 30);
    std::printf("recording: %.2f GiB in %zu clusters\n", gib, ranges.size());
    std::printf("direct read: %.3f s (%.0f MiB/s)\n", best_read, gib * 1024 / best_read);
    std::printf("direct copy: %.3f s (%.0f MiB/s)\n", best_copy, gib * 1024 / best_copy);
    std::printf("export job: %.3f s (%.0f MiB/s)\n", best_export, gib * 1024 / best_export);
    std::printf("ratio direct copy / export: %.3f (target >= 0.9)\n", best_copy / best_export);
    std::printf("ratio direct read / export: %.3f\n", best_read / best_export);
    unlink(direct_out.c_str());
    QDir(QString::fromStdString(outdir)).removeRecursively();
    close_recorder_disks();
    return 0;
}
