// The recovery scan of a large partition: wall time (page cache warm) and the
// reads that reach the device, against reading the same directory area
// straight from the image file in the same pieces.
//
//   bench_recover [IMAGE]
//
// IMAGE (default /tmp/orvelle-bench-catalogue.img, made when missing) is the
// catalogue benchmark's partition of 1,024,408 clusters with 20,480
// recordings: nothing to recover, so the scan is its one pass over the
// directory area. The reference, measured in the same run, is pread of that
// area in pieces of WFS_RECOVER_PIECE_SECTORS; the figure is the ratio of the
// scan's best time to the reference's best time (best of five each, after one
// warming pass), with the machine's load average.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/records/catalogue/RecordCatalogue.h"
#include "bench/common/catalogue_image.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/recover.h"
#include "wfs/volume/mount.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string load_average()
{
    FILE *f = std::fopen("/proc/loadavg", "r");
    char buf[128] = {};
    if (f) {
        if (!std::fgets(buf, sizeof buf, f))
            buf[0] = '\0';
        std::fclose(f);
    }
    std::string s(buf);
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

}  // namespace

int main(int argc, char **argv)
{
    const std::string path = argc > 1 ? argv[1] : "/tmp/orvelle-bench-catalogue.img";
    wfs_log_set_route(WFS_LOG_SILENT);
    struct stat st;
    if (stat(path.c_str(), &st) != 0 && !bench::make_catalogue_image(path))
        return 1;

    CRecordCatalogue::UseImages({path});
    CRecordCatalogue cat;
    if (cat.InitialiseDisks() != 1) {
        std::fprintf(stderr, "%s is not a recorder disk image\n", path.c_str());
        return 1;
    }
    DriverParam *pdp = get_pdp(0, 0);
    if (!pdp) {
        std::fprintf(stderr, "%s: partition 0 is not mounted\n", path.c_str());
        return 1;
    }
    // Where the scanned records lie in the image file.
    const uint64_t first = pdp->rev_clus / 16, end = (uint64_t(pdp->total_cluster) - 1) / 16 + 1;
    const uint64_t area_sectors = end - first;
    const uint64_t file_sector = uint64_t(g_recorder_disks.base_lba[0]) + pdp->start_sector + pdp->dir_offset + first;
    const double area_mib = double(area_sectors) * 512.0 / 1048576.0;

    BlockDevice *dev = g_recorder_disks.handle[0];
    double best_scan = 1e9;
    uint64_t reads = 0, sectors = 0, found = 0;
    wfs_recover_stats stats{};
    for (int run = 0; run < 6; ++run) {
        std::vector<wfs_recovered> out;
        const uint64_t r0 = dev->read_calls, s0 = dev->sectors_read;
        const auto t0 = std::chrono::steady_clock::now();
        wfs_recover_scan(pdp, &out, &stats);
        const double secs = seconds_since(t0);
        if (run > 0 && secs < best_scan) {  // the first run warms the page cache
            best_scan = secs;
            reads = dev->read_calls - r0;
            sectors = dev->sectors_read - s0;
            found = out.size();
        }
    }

    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(path.c_str());
        return 1;
    }
    std::vector<uint8_t> piece(size_t(WFS_RECOVER_PIECE_SECTORS) * 512);
    double best_read = 1e9;
    for (int run = 0; run < 6; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        for (uint64_t s = 0; s < area_sectors; s += WFS_RECOVER_PIECE_SECTORS) {
            const uint64_t n = std::min<uint64_t>(WFS_RECOVER_PIECE_SECTORS, area_sectors - s);
            if (pread(fd, piece.data(), n * 512, off_t((file_sector + s) * 512)) != ssize_t(n * 512)) {
                std::fprintf(stderr, "%s: short read of the directory area\n", path.c_str());
                close(fd);
                return 1;
            }
        }
        const double secs = seconds_since(t0);
        if (run > 0)
            best_read = std::min(best_read, secs);
    }
    close(fd);

    std::printf("partition: %u clusters, directory area %.1f MiB, %llu first clusters, %zu recovered\n",
                pdp->total_cluster, area_mib, static_cast<unsigned long long>(stats.first_clusters),
                static_cast<size_t>(found));
    std::printf("scan: %.3f s; device: %llu reads, %llu sectors (%.2f reads per MiB of directory area; target <= 1)\n",
                best_scan, static_cast<unsigned long long>(reads), static_cast<unsigned long long>(sectors),
                area_mib > 0 ? double(reads) / area_mib : 0.0);
    std::printf("reference (pread of the area in the same pieces): %.3f s; ratio scan / reference %.2f\n", best_read,
                best_read > 0 ? best_scan / best_read : 0.0);
    std::printf("load average: %s\n", load_average().c_str());
    close_recorder_disks();
    return 0;
}
