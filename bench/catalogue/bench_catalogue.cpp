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
#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

namespace {

const int kChannels = 16;
const int kPerChannel = 1280;

bool make_image(const std::string &path)
{
    testimg::DiskPlan disk;
    disk.partitions[0].sectors = 11000000;
    disk.partitions[0].sec_per_clus = 8;
    testimg::ImageBuilder b(disk);
    testimg::RecordingPlan r;
    r.duration = 60;
    r.synthetic.frame_rate = 1;
    r.synthetic.key_payload = 200;
    r.synthetic.audio_per_second = 0;
    for (int i = 0; i < kPerChannel; ++i) {
        int s = i * 65;  // 60 s recordings, 5 s apart, over one day
        for (int ch = 0; ch < kChannels; ++ch) {
            r.channel = static_cast<uint8_t>(ch);
            r.start_time = testimg::pack_time(2024, 5, 1, s / 3600, s / 60 % 60, s % 60);
            b.add(r);
        }
    }
    testimg::Manifest m;
    std::string err;
    if (!b.build(path, &m, &err)) {
        std::fprintf(stderr, "cannot build %s: %s\n", path.c_str(), err.c_str());
        return false;
    }
    std::printf("built %s: %u clusters, %zu recordings\n", path.c_str(), m.partitions[0].layout.total_cluster,
                m.recordings.size());
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string path = argc > 1 ? argv[1] : "/tmp/orvelle-bench-catalogue.img";
    wfs_log_set_route(WFS_LOG_SILENT);
    struct stat st;
    if (stat(path.c_str(), &st) != 0 && !make_image(path))
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
