// Building the catalogue of a large recorder disk: seconds and sectors read.
//
//   bench_catalogue [IMAGE]
//
// Makes IMAGE (default /tmp/orvelle-bench-catalogue.img) when it does not
// exist: one partition of more than 1,000,000 clusters, 16 channels
// recording side by side, 20,480 recordings. Then loads the catalogue once to
// warm the page cache and three more times, reporting the best time, the
// time per 10,000 recordings, and the sectors and reads that reached the
// device during one load.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "app/records/catalogue/RecordCatalogue.h"
#include "bench/common/catalogue_image.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

int main(int argc, char **argv)
{
    std::string path = argc > 1 ? argv[1] : "/tmp/orvelle-bench-catalogue.img";
    wfs_log_set_route(WFS_LOG_SILENT);
    struct stat st;
    if (stat(path.c_str(), &st) != 0 && !bench::make_catalogue_image(path))
        return 1;

    CRecordCatalogue::UseImages({path});
    CRecordCatalogue cat;
    int disks = cat.InitialiseDisks();
    if (disks != 1) {
        std::fprintf(stderr, "%s is not a recorder disk image\n", path.c_str());
        return 1;
    }
    cat.LoadDataFromDisk(disks);  // warms the page cache
    double best = 1e9;
    uint64_t sectors = 0, reads = 0;
    for (int run = 0; run < 3; ++run) {
        // A fresh initialisation each time, as the Disk page's reload does.
        disks = cat.InitialiseDisks();
        BlockDevice *dev = g_recorder_disks.handle[0];
        uint64_t s0 = dev->sectors_read, r0 = dev->read_calls;
        auto t0 = std::chrono::steady_clock::now();
        cat.LoadDataFromDisk(disks);
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (secs < best) {
            best = secs;
            sectors = dev->sectors_read - s0;
            reads = dev->read_calls - r0;
        }
    }
    size_t n = cat.Size();
    std::printf("catalogue: %zu recordings in %.3f s (%.3f s per 10,000; target < 1 s)\n", n, best,
                n ? best * 10000.0 / n : 0.0);
    std::printf("device: %llu sectors in %llu reads during one load\n", static_cast<unsigned long long>(sectors),
                static_cast<unsigned long long>(reads));
    close_recorder_disks();
    return 0;
}
