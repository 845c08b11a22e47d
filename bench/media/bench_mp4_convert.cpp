// MP4 conversion of a large recording against reading its bytes.
//
//   bench_mp4_convert [MiB (default 1024)] [work folder (default /tmp)] [--no-sound]
//
// Builds a recording of the given size from a generated 1920x1080 H.264
// stream with sound (repeated, key-frame times running on), then, with the
// file's pages dropped from the page cache before each run, times
//   read:    reading the whole file in 1 MiB pieces,
//   convert: the layer's conversion of the file to MP4,
// and prints both and their ratio (convert / read). With ORVELLE_BENCH_KEEP
// set, the recording and the MP4 stay in the work folder.
#include "media/convert/Mp4Converter.h"
#include "tests/support/media/TestStream.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU seconds (user + system) of this process so far.
double cpu()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Writes the file to disk and drops its pages from the cache, so that the
// next read really reads.
void drop_cache(const std::string &path)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return;
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

double time_read(const std::string &path, uint64_t *bytes, double *cpuSeconds)
{
    drop_cache(path);
    const double c0 = cpu();
    double t0 = now();
    FILE *f = std::fopen(path.c_str(), "rb");
    std::vector<char> buf(1 << 20);
    size_t n;
    uint64_t total = 0;
    unsigned sum = 0;
    while (f && (n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
        total += n;
        sum += unsigned(buf[0]);
    }
    if (f)
        std::fclose(f);
    *bytes = total + (sum & 0);
    *cpuSeconds = cpu() - c0;
    return now() - t0;
}

}  // namespace

int main(int argc, char **argv)
{
    const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    const std::string src = dir + "/orvelle_bench_" + std::to_string(getpid()) + ".h264";
    const std::string dst = dir + "/orvelle_bench_" + std::to_string(getpid()) + ".mp4";
    av_log_set_level(AV_LOG_ERROR);

    // 20 s of 1080p at about 8 Mbit/s, repeated with the key-frame times
    // moved on, until the file has the asked size.
    testmedia::StreamParams p;
    p.width = 1920;
    p.height = 1080;
    p.seconds = 20;
    p.audio = !(argc > 3 && std::string(argv[3]) == "--no-sound");
    p.bitrate = 8000000;
    testmedia::Recording rec = testmedia::makeRecording(p);
    if (!rec.error.empty()) {
        std::fprintf(stderr, "cannot make the stream: %s\n", rec.error.c_str());
        return 1;
    }
    FILE *out = std::fopen(src.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", src.c_str());
        return 1;
    }
    uint64_t written = 0;
    std::vector<uint8_t> piece = rec.data;
    for (int round = 0; written < mib << 20; ++round) {
        // Key frames: 00 00 01 FC, time at bytes 8-11. Walk the frames by
        // their lengths and move each key frame's time on by 20 s a round.
        for (size_t at = 0; at + 16 <= piece.size();) {
            uint8_t type = piece[at + 3];
            size_t len;
            if (type == 0xFC) {
                uint32_t t = uint32_t(rec.data[at + 8]) | uint32_t(rec.data[at + 9]) << 8 |
                             uint32_t(rec.data[at + 10]) << 16 | uint32_t(rec.data[at + 11]) << 24;
                uint32_t moved = testmedia::addSeconds(t, int64_t(round) * 20);
                for (int b = 0; b < 4; ++b)
                    piece[at + 8 + size_t(b)] = uint8_t(moved >> (8 * b));
                len = 16 + (uint32_t(piece[at + 12]) | uint32_t(piece[at + 13]) << 8 |
                            uint32_t(piece[at + 14]) << 16 | uint32_t(piece[at + 15]) << 24);
            } else if (type == 0xFD) {
                len = 8 + (uint32_t(piece[at + 4]) | uint32_t(piece[at + 5]) << 8 | uint32_t(piece[at + 6]) << 16 |
                           uint32_t(piece[at + 7]) << 24);
            } else {
                len = 8 + (uint32_t(piece[at + 6]) | uint32_t(piece[at + 7]) << 8);
            }
            at += len;
        }
        std::fwrite(piece.data(), 1, piece.size(), out);
        written += piece.size();
    }
    std::fclose(out);

    uint64_t bytes = 0;
    double readCpu = 0, readCpu2 = 0;
    double read = time_read(src, &bytes, &readCpu);
    double read2 = time_read(src, &bytes, &readCpu2);
    if (read2 < read) {
        read = read2;
        readCpu = readCpu2;
    }
    drop_cache(src);
    std::atomic<bool> cancel{false};
    media::ConvertSummary summary;
    const double c0 = cpu();
    double t0 = now();
    int r = media::convert_recording_to_mp4(src, dst, cancel, nullptr, &summary);
    double convert = now() - t0;
    const double convertCpu = cpu() - c0;
    std::printf("recording %.0f MiB, %d video frames, %d audio frames\n", double(bytes) / (1 << 20),
                summary.videoFrames, summary.audioFrames);
    std::printf("read     %7.2f s  (%.0f MiB/s), CPU %.2f s\n", read, double(bytes) / (1 << 20) / read, readCpu);
    std::printf("convert  %7.2f s  (%.0f MiB/s), CPU %.2f s%s\n", convert, double(bytes) / (1 << 20) / convert,
                convertCpu, r == 0 ? "" : "  FAILED");
    std::printf("ratio    %7.2f (convert / read, wall clock)\n", convert / read);
    if (!std::getenv("ORVELLE_BENCH_KEEP")) {
        std::remove(src.c_str());
        std::remove(dst.c_str());
    }
    return r == 0 ? 0 : 1;
}
