// Reading a recording of more than 1 GiB from an Expert Witness Format set
// against reading it from the raw image the set was made of, both through
// CFSFile in 1 MiB reads (as `orvelle-cli cat` does).
//
//   bench_ewf_read [IMAGE]
//
// IMAGE (default /tmp/orvelle-bench-cat.img, the image bench_cat makes) is
// made when it does not exist; IMAGE's set (IMAGE without ".img", then
// "-ewf.E01" ...) is made once with `ewfacquire -c fast` and reused. Each way
// is run once to warm the page cache, then three times alternately; the best
// times are compared. The figure: throughput ratio raw time / EWF time.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/fs/CFSFile.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "bench/common/big_recording_image.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/device/source_info.h"

namespace {

const size_t kChunk = 1 << 20;

// Opens the disks of one image and reads the recording whole.
uint64_t read_through(const std::string &image, const std::string &path, std::vector<char> &buf)
{
    close_recorder_disks();
    CRecordCatalogue::UseImages({image});
    CRecordCatalogue cat;
    if (cat.InitialiseDisks() != 1)
        return 0;
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

double timed(const std::string &image, const std::string &path, std::vector<char> &buf, uint64_t *bytes)
{
    auto t0 = std::chrono::steady_clock::now();
    *bytes = read_through(image, path, buf);
    return bench::seconds_since(t0);
}

}  // namespace

int main(int argc, char **argv)
{
    const std::string image = argc > 1 ? argv[1] : "/tmp/orvelle-bench-cat.img";
    wfs_log_set_route(WFS_LOG_SILENT);
    bench::BigRecordingImage big;
    std::string err;
    if (!bench::prepare_big_recording_image(image, &big, &err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    std::string target = image;
    if (target.size() > 4 && target.compare(target.size() - 4, 4, ".img") == 0)
        target.resize(target.size() - 4);
    target += "-ewf";
    const std::string e01 = target + ".E01";
    struct stat st;
    if (stat(e01.c_str(), &st) != 0) {
        std::fprintf(stderr, "making %s with ewfacquire -c fast ...\n", e01.c_str());
        const std::string cmd = "ewfacquire -u -q -c fast -t '" + target + "' '" + image + "' >/dev/null";
        if (std::system(cmd.c_str()) != 0) {
            std::fprintf(stderr, "ewfacquire failed (package ewf-tools)\n");
            return 1;
        }
    }

    std::vector<char> buf(kChunk);
    uint64_t raw_bytes = 0, ewf_bytes = 0;
    timed(image, big.path, buf, &raw_bytes);
    timed(e01, big.path, buf, &ewf_bytes);
    if (raw_bytes != ewf_bytes || raw_bytes < (1ull << 30)) {
        std::fprintf(stderr, "sizes differ or too small: %llu vs %llu\n", static_cast<unsigned long long>(raw_bytes),
                     static_cast<unsigned long long>(ewf_bytes));
        return 1;
    }
    DiskSourceInfo info;
    recorder_disk_source_info(0, &info);
    double best_raw = 1e9, best_ewf = 1e9;
    for (int run = 0; run < 3; ++run) {
        uint64_t n = 0;
        best_raw = std::min(best_raw, timed(image, big.path, buf, &n));
        best_ewf = std::min(best_ewf, timed(e01, big.path, buf, &n));
    }
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    const double gib = raw_bytes / double(1ull << 30);
    std::printf("recording: %.2f GiB; set: %s\n", gib, info.kind_text.c_str());
    std::printf("raw image: %.3f s (%.0f MiB/s)\n", best_raw, gib * 1024 / best_raw);
    std::printf("EWF set:   %.3f s (%.0f MiB/s)\n", best_ewf, gib * 1024 / best_ewf);
    std::printf("ratio raw time / EWF time: %.3f\n", best_raw / best_ewf);
    std::printf("load average: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    close_recorder_disks();
    return 0;
}
