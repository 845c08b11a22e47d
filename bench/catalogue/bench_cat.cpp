// Reading a recording of more than 1 GiB through CFSFile (as `orvelle-cli
// cat` and the export do) against reading the same byte ranges of the image
// file directly.
//
//   bench_cat [IMAGE]
//
// Makes IMAGE (default /tmp/orvelle-bench-cat.img) when it does not exist: one
// recording of about 1.1 GiB in 2 MiB clusters. Each way is run once to warm
// the page cache, then three times alternately; the best times are compared.
// Target: throughput ratio (direct time / CFSFile time) of at least 0.9.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/fs/CFSFile.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

namespace {

const size_t kChunk = 1 << 20;

// Byte ranges of the recording's data in the image file.
struct Range {
    uint64_t offset;
    uint64_t length;
};

testimg::RecordingPlan big_recording()
{
    testimg::RecordingPlan r;
    r.start_time = testimg::pack_time(2024, 5, 1, 10, 0, 0);
    r.duration = 400;
    r.synthetic.frame_rate = 25;
    r.synthetic.key_payload = 400000;
    r.synthetic.frame_payload = 110000;
    r.synthetic.audio_per_second = 8;
    return r;
}

testimg::DiskPlan disk_plan()
{
    testimg::DiskPlan disk;
    disk.partitions[0].sectors = 5000000;
    disk.partitions[0].sec_per_clus = 4096;
    return disk;
}

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

uint64_t read_direct(const std::string &image, const std::vector<Range> &ranges, std::vector<char> &buf)
{
    int fd = open(image.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    uint64_t total = 0;
    for (const Range &r : ranges) {
        for (uint64_t done = 0; done < r.length;) {
            size_t want = std::min<uint64_t>(kChunk, r.length - done);
            ssize_t n = pread(fd, buf.data(), want, static_cast<off_t>(r.offset + done));
            if (n <= 0)
                break;
            done += static_cast<uint64_t>(n);
            total += static_cast<uint64_t>(n);
        }
    }
    close(fd);
    return total;
}

uint64_t read_cfsfile(const std::string &path, std::vector<char> &buf)
{
    CFSFile f;
    if (!f.Open(path.c_str(), CFSFile::modeRead))
        return 0;
    uint64_t length = f.GetLength(), total = 0;
    f.Seek(0, SEEK_SET);
    while (total < length) {
        size_t n = f.Read(buf.data(), std::min<uint64_t>(kChunk, length - total));
        if (n == 0)
            break;
        total += n;
    }
    return total;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string image = argc > 1 ? argv[1] : "/tmp/orvelle-bench-cat.img";
    wfs_log_set_route(WFS_LOG_SILENT);
    testimg::Manifest m;
    std::string err;
    struct stat st;
    bool fresh = stat(image.c_str(), &st) != 0;
    {
        // The manifest is needed either way; building the same plan again is
        // deterministic, so an existing image is only rebuilt when missing.
        testimg::ImageBuilder b(disk_plan());
        b.add(big_recording());
        std::string target = fresh ? image : image + ".manifest-only";
        if (!b.build(target, &m, &err)) {
            std::fprintf(stderr, "cannot build the image: %s\n", err.c_str());
            return 1;
        }
        if (!fresh)
            unlink(target.c_str());
    }
    const testimg::ManifestRecording &r = m.recordings.at(0);
    const testimg::ManifestPartition &p = m.partitions.at(0);
    std::vector<Range> ranges;
    uint64_t left = r.length_sectors * 512 - r.header_bytes;
    for (size_t i = 0; i < r.clusters.size() && left > 0; ++i) {
        uint64_t sector = m.base_lba + p.start + p.layout.data_offset + uint64_t(r.clusters[i]) * p.sec_per_clus;
        uint64_t len = std::min<uint64_t>(left, uint64_t(p.sec_per_clus) * 512);
        ranges.push_back({sector * 512, len});
        left -= len;
    }

    CRecordCatalogue::UseImages({image});
    CRecordCatalogue cat;
    if (cat.InitialiseDisks() != 1 || !cat.LoadDataFromDisk(1) || cat.Size() != 1) {
        std::fprintf(stderr, "%s: the recording is not listed\n", image.c_str());
        return 1;
    }
    const std::string path = cat.Entries().at(0).path;
    std::vector<char> buf(kChunk);
    uint64_t bytes = read_cfsfile(path, buf);
    uint64_t direct_bytes = read_direct(image, ranges, buf);
    if (bytes != direct_bytes || bytes < (1ull << 30)) {
        std::fprintf(stderr, "sizes differ or too small: %llu vs %llu\n", static_cast<unsigned long long>(bytes),
                     static_cast<unsigned long long>(direct_bytes));
        return 1;
    }
    double best_direct = 1e9, best_cat = 1e9;
    for (int run = 0; run < 3; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        read_direct(image, ranges, buf);
        best_direct = std::min(best_direct, seconds_since(t0));
        t0 = std::chrono::steady_clock::now();
        read_cfsfile(path, buf);
        best_cat = std::min(best_cat, seconds_since(t0));
    }
    double gib = bytes / double(1ull << 30);
    std::printf("recording: %.2f GiB in %zu clusters\n", gib, ranges.size());
    std::printf("direct: %.3f s (%.0f MiB/s)\n", best_direct, gib * 1024 / best_direct);
    std::printf("CFSFile: %.3f s (%.0f MiB/s)\n", best_cat, gib * 1024 / best_cat);
    std::printf("ratio: %.3f (target >= 0.9)\n", best_direct / best_cat);
    close_recorder_disks();
    return 0;
}
