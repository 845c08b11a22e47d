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
#include "bench/common/big_recording_image.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"

namespace {

using bench::Range;
using bench::seconds_since;

const size_t kChunk = 1 << 20;





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
    bench::BigRecordingImage big;
    std::string err;
    if (!bench::prepare_big_recording_image(image, &big, &err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    const std::string path = big.path;
    const std::vector<Range> &ranges = big.ranges;
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
