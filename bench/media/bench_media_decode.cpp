// Decode-and-convert throughput of the media layer against bare libavcodec
// decoding of the same stream, in the same run.
//
//   bench_media_decode [seconds-of-video, default 30]
//
// For a 1920x1080 and a 704x576 H.264 recording it times (1) a plain
// libavcodec decoder (one thread) that only decodes, (2) the layer producing
// a finished RGB32 picture for every frame at the size of the window that
// shows it, as a play port does for each frame it shows: decoding on one
// thread, conversion (scaling included) on the presenter's. Two windows:
// a single window of 1280x720 (our own bilinear plane scaler, then to RGB in
// bands of rows) and a window of a 16-window grid, 422x233 (libswscale's
// area averaging).
// Prints frames per second of both and their ratio. Run it on an idle
// machine: both figures are wall-clock throughput. It also prints the CPU
// time per frame of decoding and of converting, and the ratio one thread
// doing both would reach (decode / (decode + convert)).
//
// Two figures of the machine itself go with them, as they bound what any
// layer of two threads can reach here: the round trip of a cache line
// between two cores, and the bare decoder with a second thread that only
// reads each of its pictures (a byte of every cache line, then lets them go
// as the presenter does) and converts nothing: the cost of handing the
// pictures to another core at all ("read fps", and the layer against it).
#include "media/decode/VideoDecoder.h"
#include "media/render/CacheRelease.h"
#include "media/render/FramePresenter.h"
#include "media/render/PictureConverter.h"
#include "media/stream/StreamReader.h"
#include "tests/support/media/TestStream.h"

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sched.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

namespace {

double wall_seconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct Payload {
    std::vector<uint8_t> bytes;
    const uint8_t *data;
    size_t size;
};

std::vector<Payload> payloads(const std::vector<uint8_t> &rec)
{
    std::vector<Payload> out;
    StreamReaderHandle reader = StreamReader_Create();
    StreamReader_PushData(reader, rec.data(), rec.size());
    while (const StreamFrame *f = StreamReader_GetNextFrame(reader)) {
        if (f->nType != STREAM_FRAME_VIDEO)
            continue;
        size_t h = f->nKeyFrame ? 16 : 8;
        out.push_back(Payload{std::vector<uint8_t>(f->pData + h, f->pData + f->nLength), nullptr, 0});
    }
    StreamReader_Destroy(reader);
    for (Payload &p : out) {
        p.data = p.bytes.data();
        p.size = p.bytes.size();
    }
    return out;
}

volatile unsigned g_readSink;  // keeps the reads from being optimised away

// Reads a byte of every cache line of a picture's planes, as a conversion
// would, then lets the lines go as the presenter does.
void read_picture(const AVFrame *f)
{
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(AVPixelFormat(f->format));
    unsigned acc = 0;
    for (int p = 0; p < 3 && desc && f->data[p]; ++p) {
        const int rows = p ? AV_CEIL_RSHIFT(f->height, desc->log2_chroma_h) : f->height;
        for (int y = 0; y < rows; ++y) {
            const uint8_t *row = f->data[p] + size_t(y) * size_t(f->linesize[p]);
            for (int x = 0; x < f->linesize[p]; x += 64)
                acc += row[x];
        }
    }
    g_readSink = acc;
    media::release_from_cache(f);
}

// The bare decoder; with `readOnOtherThread`, each picture is handed to a
// second thread that reads it (one waiting, one being read, as the
// presenter takes them) and the decoder goes on meanwhile.
double bare_decode(const std::vector<Payload> &frames, bool readOnOtherThread = false)
{
    const AVCodec *dec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext *ctx = avcodec_alloc_context3(dec);
    ctx->thread_count = 1;
    avcodec_open2(ctx, dec, nullptr);
    AVPacket *pkt = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    int got = 0;

    std::mutex mutex;
    std::condition_variable cv;
    AVFrame *waiting = nullptr;
    bool busy = false, done = false;
    std::thread reader;
    if (readOnOtherThread)
        reader = std::thread([&] {
            for (;;) {
                AVFrame *f;
                {
                    std::unique_lock<std::mutex> lock(mutex);
                    busy = false;
                    cv.notify_all();
                    cv.wait(lock, [&] { return waiting || done; });
                    if (!waiting)
                        return;
                    f = waiting;
                    waiting = nullptr;
                    busy = true;
                }
                cv.notify_all();
                read_picture(f);
                av_frame_free(&f);
            }
        });

    const double t0 = wall_seconds();
    for (const Payload &p : frames) {
        pkt->data = const_cast<uint8_t *>(p.data);
        pkt->size = int(p.size);
        avcodec_send_packet(ctx, pkt);
        while (avcodec_receive_frame(ctx, frame) == 0) {
            ++got;
            if (!readOnOtherThread)
                continue;
            AVFrame *copy = av_frame_clone(frame);
            std::unique_lock<std::mutex> lock(mutex);
            cv.wait(lock, [&] { return !waiting; });
            waiting = copy;
            lock.unlock();
            cv.notify_all();
        }
    }
    if (readOnOtherThread) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            cv.wait(lock, [&] { return !waiting && !busy; });
            done = true;
        }
        cv.notify_all();
        reader.join();
    }
    const double s = wall_seconds() - t0;
    av_frame_free(&frame);
    pkt->data = nullptr;
    pkt->size = 0;
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return got / s;
}

// The layer as a play port runs it: the decoder on one thread, the
// conversion to RGB32 on the presenter's thread, every picture converted.
double layer_decode(const std::vector<Payload> &frames, const QSize &window)
{
    media::VideoDecoder dec;
    dec.setFixedThreads(1);  // as the bare decoder
    media::FramePresenter presenter(nullptr, true);
    presenter.setFallbackSize(window);
    const double t0 = wall_seconds();
    for (const Payload &p : frames)
        if (dec.decode(p.data, p.size))
            presenter.submit(dec.picture());
    presenter.waitIdle();
    const double s = wall_seconds() - t0;
    return double(presenter.converted()) / s;
}

// Nanoseconds for a cache line to go from one core to another and back,
// the two threads pinned to the first two processors the process may use:
// the price of every line of a picture decoded on one core and converted on
// another. 0 when it may use only one (two threads spinning on one
// processor would take a time slice a trip).
double core_round_trip_ns()
{
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return 0;
    int cpus[2] = {-1, -1};
    for (int c = 0, n = 0; c < CPU_SETSIZE && n < 2; ++c)
        if (CPU_ISSET(c, &allowed))
            cpus[n++] = c;
    if (cpus[1] < 0)
        return 0;
    auto pin = [](int cpu) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(cpu, &set);
        pthread_setaffinity_np(pthread_self(), sizeof set, &set);
    };
    constexpr int kTrips = 200000;
    std::atomic<int> line{0};
    double best = 0;
    for (int round = 0; round < 3; ++round) {
        line = 0;
        std::thread other([&] {
            pin(cpus[1]);
            for (int i = 0; i < kTrips; ++i) {
                while (line.load(std::memory_order_acquire) != 2 * i + 1) {
                }
                line.store(2 * i + 2, std::memory_order_release);
            }
        });
        cpu_set_t before;
        pthread_getaffinity_np(pthread_self(), sizeof before, &before);
        pin(cpus[0]);
        const double t0 = wall_seconds();
        for (int i = 0; i < kTrips; ++i) {
            line.store(2 * i + 1, std::memory_order_release);
            while (line.load(std::memory_order_acquire) != 2 * i + 2) {
            }
        }
        const double ns = (wall_seconds() - t0) * 1e9 / kTrips;
        other.join();
        pthread_setaffinity_np(pthread_self(), sizeof before, &before);
        best = round == 0 ? ns : std::min(best, ns);
    }
    return best;
}

// CPU time of the whole process: the conversion of an HD picture runs in
// slices on helper threads, whose time counts as converting.
double cpu_seconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// CPU milliseconds per frame for decoding and for converting, one after the
// other: figures a loaded machine does not distort much.
void cpu_split(const std::vector<Payload> &frames, const QSize &window, double *decodeMs, double *convertMs)
{
    media::VideoDecoder dec;
    dec.setFixedThreads(1);
    media::PictureConverter conv;
    double d = 0, c = 0;
    int n = 0;
    for (const Payload &p : frames) {
        double t0 = cpu_seconds();
        bool got = dec.decode(p.data, p.size);
        double t1 = cpu_seconds();
        d += t1 - t0;
        if (got) {
            conv.convert(dec.picture(), window);
            c += cpu_seconds() - t1;
            ++n;
        }
    }
    *decodeMs = n ? d * 1000 / n : 0;
    *convertMs = n ? c * 1000 / n : 0;
}

}  // namespace

int main(int argc, char **argv)
{
    // 30 s of video: shorter rounds (10 s is a quarter of a second of
    // decoding) spread more between runs than the differences looked for.
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    av_log_set_level(AV_LOG_ERROR);
    struct Size {
        int w, h, bitrate;
    } sizes[] = {{1920, 1080, 4000000}, {704, 576, 1500000}};
    if (FILE *f = std::fopen("/proc/loadavg", "r")) {
        char load[64] = {0};
        if (std::fgets(load, sizeof load, f))
            std::printf("load average at the start: %s", load);
        std::fclose(f);
    }
    if (const double ns = core_round_trip_ns())
        std::printf("a cache line from one core to another and back: %.0f ns\n", ns);
    else
        std::printf("a cache line from one core to another and back: not measured (one processor)\n");
    const QSize windows[] = {QSize(1280, 720), QSize(422, 233)};
    std::printf("%-10s %-9s %7s %10s %10s %10s %7s %11s %11s %11s %9s\n", "size", "window", "frames", "bare fps",
                "read fps", "layer fps", "ratio", "read ratio", "decode ms", "convert ms", "cpu ratio");
    for (const Size &s : sizes) {
        testmedia::StreamParams p;
        p.width = s.w;
        p.height = s.h;
        p.fps = 25;
        p.seconds = seconds;
        p.bitrate = s.bitrate;
        p.noise = true;  // camera-like grain: a flat synthetic picture decodes unrealistically fast
        testmedia::Recording rec = testmedia::makeRecording(p);
        if (!rec.error.empty()) {
            std::fprintf(stderr, "cannot make the stream: %s\n", rec.error.c_str());
            return 1;
        }
        std::vector<Payload> frames = payloads(rec.data);
        for (const QSize &window : windows) {
            // Alternate the two, best of five each, so both see the same machine state.
            double bare = 0, read = 0, layer = 0;
            for (int round = 0; round < 5; ++round) {
                bare = std::max(bare, bare_decode(frames));
                read = std::max(read, bare_decode(frames, true));
                layer = std::max(layer, layer_decode(frames, window));
            }
            double decodeMs = 0, convertMs = 0;
            cpu_split(frames, window, &decodeMs, &convertMs);
            const std::string win = std::to_string(window.width()) + "x" + std::to_string(window.height());
            std::printf("%4dx%-5d %-9s %7zu %10.1f %10.1f %10.1f %7.2f %11.2f %11.2f %11.2f %9.2f\n", s.w, s.h,
                        win.c_str(), frames.size(), bare, read, layer, layer / bare, layer / read, decodeMs,
                        convertMs, decodeMs / (decodeMs + convertMs));
        }
    }
    return 0;
}
