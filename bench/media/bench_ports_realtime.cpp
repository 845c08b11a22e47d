// Play ports in real time on recordings as real recorders write them: N
// ports, each fed by its own pusher thread as a play channel feeds it (each
// frame by its deadline, holding while the port asks), each
// showing them by its own clock in its own window at the size a window of
// the program's grid has.
//
//   bench_ports_realtime [--size WxH] [--bitrate KBPS] [--codec h264|h265]
//                        [--ports N] [--seconds S] [--fps F] [--window WxH]
//                        [--speed -4..4]
//
// Defaults: 704x576, 1500 kbit/s, h264, 16 ports, 30 s, 25 fps; the window is
// 1280x720 for one port, 640x360 up to four, 422x233 above (a 16-window
// grid). The recording is made once by orvelle-mkdisk (--grain, so the
// encoder spends the bit rate as on camera pictures) and kept under /tmp.
//
// Prints per port the seconds of video shown, skipped (of them: dropped
// after decoding, passed over on key frames only), the times it fell far
// behind, the rate of its clock (the stream time it went through, over
// wall time and speed) and how late it was at the start and the end of the
// measurement (the rate over a short run is off by their difference over
// the run's length); how long the GUI thread's event loop took at worst
// to answer a 10 ms timer and how much of a core that thread used; the process's CPU (in cores) and memory; and, on
// the same stream in the same run, what `ffmpeg -threads N -f null` needs to
// decode it, as CPU per frame against the ports' CPU per decoded frame.
#include "app/play/FeedPacer.h"
#include "media/common/AllocatorTuning.h"
#include "media/render/VideoOutput.h"
#include "media/sdk/Tarvok.h"
#include "media/stream/StreamReader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#ifndef ORVELLE_MKDISK
#define ORVELLE_MKDISK "orvelle-mkdisk"
#endif
#ifndef ORVELLE_CLI
#define ORVELLE_CLI "orvelle-cli"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string loadAverage()
{
    std::ifstream f("/proc/loadavg");
    std::string a, b, c;
    f >> a >> b >> c;
    return a + " " + b + " " + c;
}

// VmRSS or VmHWM of this process, in MiB.
double memoryMiB(const char *key)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.compare(0, std::strlen(key), key) == 0)
            return std::atof(line.c_str() + std::strlen(key) + 1) / 1024.0;
    return 0;
}

int run(const std::string &cmd)
{
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool readFile(const std::string &path, std::vector<uint8_t> *out)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return !out->empty();
}

struct Options {
    int width = 704, height = 576, kbps = 1500, ports = 16, seconds = 30, fps = 25, speed = 0;
    std::string codec = "h264";
    int winW = 0, winH = 0;
};

bool parse(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!v)
            return false;
        ++i;
        if (a == "--size") {
            if (std::sscanf(v, "%dx%d", &o->width, &o->height) != 2)
                return false;
        } else if (a == "--window") {
            if (std::sscanf(v, "%dx%d", &o->winW, &o->winH) != 2)
                return false;
        } else if (a == "--bitrate") {
            o->kbps = std::atoi(v);
        } else if (a == "--codec") {
            o->codec = v;
        } else if (a == "--ports") {
            o->ports = std::max(1, std::min(16, std::atoi(v)));
        } else if (a == "--seconds") {
            o->seconds = std::max(5, std::atoi(v));
        } else if (a == "--fps") {
            o->fps = std::max(1, std::atoi(v));
        } else if (a == "--speed") {
            o->speed = std::max(-4, std::min(4, std::atoi(v)));
        } else {
            return false;
        }
    }
    if (o->winW <= 0 || o->winH <= 0) {
        o->winW = o->ports == 1 ? 1280 : o->ports <= 4 ? 640 : 422;
        o->winH = o->ports == 1 ? 720 : o->ports <= 4 ? 360 : 233;
    }
    return o->codec == "h264" || o->codec == "h265";
}

// The raw recording, made once by orvelle-mkdisk and kept.
bool makeRecording(const Options &o, std::vector<uint8_t> *rec, std::string *path)
{
    char name[160];
    std::snprintf(name, sizeof name, "/tmp/orvelle-bench-rt-%dx%d-%s-%dk-%dfps.rec", o.width, o.height,
                  o.codec.c_str(), o.kbps, o.fps);
    *path = name;
    if (readFile(*path, rec))
        return true;
    const std::string img = *path + ".img";
    std::fprintf(stderr, "making the recording with orvelle-mkdisk (once, kept as %s) ...\n", name);
    std::ostringstream mk;
    mk << ORVELLE_MKDISK << " '" << img << "' --size 1024M --channels 1 --days 1 --per-day 1 --seconds 24"
       << " --size-video " << o.width << "x" << o.height << " --fps " << o.fps << " --codec " << o.codec
       << " --bitrate " << o.kbps << " --grain > /dev/null";
    std::ostringstream cat;
    cat << ORVELLE_CLI << " --image '" << img << "' cat \"$(" << ORVELLE_CLI << " --image '" << img
        << "' list | cut -f1 | head -1)\" > '" << *path << "'";
    const bool ok = run(mk.str()) == 0 && run(cat.str()) == 0;
    std::remove(img.c_str());
    if (!ok || !readFile(*path, rec)) {
        std::remove(path->c_str());
        return false;
    }
    return true;
}

// The stream's video frames (headers included) and all its frames.
struct Stream {
    std::vector<std::vector<uint8_t>> frames;
    int videoFrames = 0;
};

Stream split(const std::vector<uint8_t> &rec, const std::string &esPath)
{
    Stream s;
    std::ofstream es(esPath, std::ios::binary | std::ios::trunc);
    StreamReaderHandle reader = StreamReader_Create();
    StreamReader_PushData(reader, rec.data(), rec.size());
    while (const StreamFrame *f = StreamReader_GetNextFrame(reader)) {
        s.frames.emplace_back(f->pData, f->pData + f->nLength);
        if (f->nType == STREAM_FRAME_VIDEO) {
            const size_t head = f->nKeyFrame ? 16 : 8;
            es.write(reinterpret_cast<const char *>(f->pData + head), std::streamsize(f->nLength - head));
            s.videoFrames++;
        }
    }
    StreamReader_Destroy(reader);
    return s;
}

// What ffmpeg needs to decode the elementary stream: CPU seconds and wall
// seconds for all its frames.
struct Reference {
    int threads = 0;
    double cpu = 0, wall = 0;
};

Reference ffmpegDecode(const std::string &es, const std::string &format, int threads)
{
    Reference r;
    r.threads = threads;
    const double c0 = cpuSeconds(RUSAGE_CHILDREN);
    const auto t0 = Clock::now();
    std::ostringstream cmd;
    cmd << "ffmpeg -nostdin -v error -threads " << threads << " -f " << format << " -i '" << es
        << "' -f null - 2>/dev/null";
    if (run(cmd.str()) != 0)
        return Reference();
    r.wall = seconds(Clock::now() - t0);
    r.cpu = cpuSeconds(RUSAGE_CHILDREN) - c0;
    return r;
}

// The window: paints the newest picture 1:1, as the program's video frame.
class SinkWindow : public QWidget {
    Q_OBJECT
public:
    SinkWindow() { setAttribute(Qt::WA_NativeWindow); }
    void attach() { media::register_video_sink(uint64_t(winId()), this); }
    ~SinkWindow() override { media::unregister_video_sink(uint64_t(winId())); }
    std::atomic<uint64_t> images{0};
    Q_INVOKABLE void setVideoImage(const QImage &img)
    {
        if (!img.isNull())
            images++;
        m_image = img;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        if (m_image.isNull())
            p.fillRect(rect(), Qt::black);
        else
            p.drawImage(rect(), m_image);
    }

private:
    QImage m_image;
};

struct Pusher {
    int port = 0;
    size_t first = 0;  // where in the stream this port starts
    std::atomic<bool> hold{false};
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> pushed{0};  // video frames
    std::thread thread;

    static int onMessage(int, int id, int64_t p1, int64_t, int64_t, const char *, void *, void *, void *, void *u)
    {
        if (id == EUIMSG_BUFFER_STATE)
            static_cast<Pusher *>(u)->hold = p1 == 1;
        return 0;
    }

    // As a play channel pushes: each video frame by its deadline on the
    // monotonic clock (the channel's own pacer), holding while the port
    // asks; the port shows them by its clock.
    void run(const Stream &s, uint32_t fps, int speed)
    {
        CFeedPacer pacer;
        size_t i = first;
        while (!stop) {
            if (hold) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                pacer.Restart();
                continue;
            }
            const std::vector<uint8_t> &f = s.frames[i];
            if (TVPLAY_PushMediaData(port, f.data(), int(f.size())) < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));  // refused: full
                pacer.Restart();
                continue;
            }
            i = (i + 1) % s.frames.size();
            if (f[3] == 0xFC || f[3] == 0xFD) {
                pushed++;
                std::this_thread::sleep_for(std::chrono::milliseconds(pacer.Pushed(CFeedPacer::NowNs(), fps, speed)));
            }
        }
    }
};

struct Sample {
    TVPlayStats st{};
    uint64_t pushed = 0, images = 0;
};

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    media::tune_allocator();  // as the program does
    QApplication app(argc, argv);
    Options o;
    if (!parse(argc, argv, &o)) {
        std::fprintf(stderr,
                     "usage: bench_ports_realtime [--size WxH] [--bitrate KBPS] [--codec h264|h265] [--ports N]\n"
                     "                            [--seconds S] [--fps F] [--window WxH] [--speed -4..4]\n");
        return 2;
    }
    av_log_set_level(AV_LOG_ERROR);

    std::vector<uint8_t> rec;
    std::string recPath;
    if (!makeRecording(o, &rec, &recPath)) {
        std::fprintf(stderr, "cannot make the recording with %s\n", ORVELLE_MKDISK);
        return 1;
    }
    const std::string esPath = recPath + (o.codec == "h265" ? ".hevc" : ".h264");
    const Stream stream = split(rec, esPath);
    const size_t recBytes = rec.size();
    std::vector<uint8_t>().swap(rec);  // the frames hold it now: not counted twice in the memory figure
    if (stream.videoFrames < o.fps * 5) {
        std::fprintf(stderr, "the recording holds too few frames\n");
        return 1;
    }
    const double streamKbps = double(recBytes) * 8 / (double(stream.videoFrames) / o.fps) / 1000;
    std::printf("%d port(s) of %dx%d %s at %d fps, %d kbit/s asked (%.0f kbit/s recorded, sound included), "
                "windows %dx%d, %d s at speed 2^%d\n",
                o.ports, o.width, o.height, o.codec.c_str(), o.fps, o.kbps, streamKbps, o.winW, o.winH, o.seconds,
                o.speed);
    std::printf("load average before: %s\n", loadAverage().c_str());

    // The reference, on the same stream: one thread, and as many as the machine has.
    const std::string format = o.codec == "h265" ? "hevc" : "h264";
    const int cores = int(std::thread::hardware_concurrency());
    std::vector<Reference> refs{ffmpegDecode(esPath, format, 1)};
    if (cores > 1)
        refs.push_back(ffmpegDecode(esPath, format, cores));

    std::vector<std::unique_ptr<SinkWindow>> windows;
    std::vector<std::unique_ptr<Pusher>> pushers;
    for (int i = 0; i < o.ports; ++i) {
        windows.emplace_back(new SinkWindow);
        windows.back()->resize(o.winW, o.winH);
        windows.back()->show();
        windows.back()->attach();
        pushers.emplace_back(new Pusher);
        Pusher *pu = pushers.back().get();
        pu->first = stream.frames.size() * size_t(i) / size_t(o.ports);
        while (pu->first > 0 && stream.frames[pu->first][3] != 0xFC)
            --pu->first;  // each port from a key frame of its own
        TVMessageReceiver r{0, &Pusher::onMessage, pu};
        pu->port = TVPLAY_OpenPlay(&r, uint64_t(windows.back()->winId()), 100, 0, 0);
        TVPLAY_SetPlaySpeed(pu->port, o.speed);
        TVPLAY_Play(pu->port);
    }
    for (auto &pu : pushers)
        pu->thread = std::thread([&pu, &stream, &o] { pu->run(stream, uint32_t(o.fps), o.speed); });

    // The GUI thread's event loop, asked every 10 ms: how late each answer
    // came (the pictures of every port are delivered on this thread).
    std::vector<double> answerMs;
    auto spin = [&answerMs](double s, bool measure) {
        QEventLoop loop;
        QTimer tick;
        QElapsedTimer since;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (measure && since.isValid())
                answerMs.push_back(std::max(0.0, since.nsecsElapsed() / 1e6 - 10.0));
            since.start();
        });
        tick.start(10);
        QTimer::singleShot(int(s * 1000), &loop, &QEventLoop::quit);
        loop.exec();
    };
    auto sample = [&](std::vector<Sample> *out) {
        out->assign(size_t(o.ports), Sample());
        for (int i = 0; i < o.ports; ++i) {
            Sample &s = (*out)[size_t(i)];
            TVPLAY_GetPlayStats(pushers[size_t(i)]->port, &s.st);
            s.pushed = pushers[size_t(i)]->pushed;
            s.images = windows[size_t(i)]->images;
        }
    };

    spin(3.0, false);  // the ports start, the decoders settle
    std::vector<Sample> a, b;
    sample(&a);
    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    const double gui0 = cpuSeconds(RUSAGE_THREAD);
    const auto t0 = Clock::now();
    spin(o.seconds, true);
    const double guiCpu = cpuSeconds(RUSAGE_THREAD) - gui0;
    sample(&b);
    const double wall = seconds(Clock::now() - t0);
    const double cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
    const std::string loadAfter = loadAverage();

    const double speedScale = std::pow(2.0, o.speed);
    std::printf("\n%4s %9s %9s %9s %9s %9s %9s %9s %9s %9s\n", "port", "shown s", "skipped s", "dropped s",
                "keyonly s", "catch-ups", "ran dry", "clock", "late ms", "buffered");
    uint64_t decoded = 0, catchUps = 0, dry = 0;
    double minRate = 1e9, maxRate = 0, shown = 0, skipped = 0, dropped = 0, keyOnly = 0;
    for (int i = 0; i < o.ports; ++i) {
        const Sample &x = a[size_t(i)], &y = b[size_t(i)];
        // The clock's rate: stream time it went through, over wall time and speed.
        const double rate = double(y.st.nPlayedUs - x.st.nPlayedUs) / 1e6 / wall / speedScale;
        const double sk = double(y.st.nSkipped - x.st.nSkipped) / o.fps;
        const double dr = double(y.st.nDropped - x.st.nDropped) / o.fps;
        const double ko = double(y.st.nKeyOnly - x.st.nKeyOnly) / o.fps;
        const double sh = double(y.images - x.images) / o.fps;
        decoded += y.st.nDecoded - x.st.nDecoded;
        catchUps += y.st.nCatchUps - x.st.nCatchUps;
        dry += y.st.nDryReanchors - x.st.nDryReanchors;
        minRate = std::min(minRate, rate);
        maxRate = std::max(maxRate, rate);
        shown += sh;
        skipped += sk;
        dropped += dr;
        keyOnly += ko;
        std::printf("%4d %9.2f %9.2f %9.2f %9.2f %9llu %9llu %9.4f %4.0f-%-4.0f %9llu\n", i, sh, sk, dr, ko,
                    (unsigned long long)(y.st.nCatchUps - x.st.nCatchUps),
                    (unsigned long long)(y.st.nDryReanchors - x.st.nDryReanchors), rate, x.st.nLateUs / 1e3,
                    y.st.nLateUs / 1e3, (unsigned long long)y.st.nBuffered);
    }
    std::printf("\nper port: %.2f s shown and %.2f s skipped (%.2f s dropped after decoding, %.2f s passed over on "
                "key frames only) of %.1f s x %g of video; %.1f catch-ups; ran dry and went on late %.1f times; clock "
                "%.4f-%.4f of wall time x speed\n",
                shown / o.ports, skipped / o.ports, dropped / o.ports, keyOnly / o.ports, wall, speedScale,
                double(catchUps) / o.ports, double(dry) / o.ports, minRate, maxRate);
    std::sort(answerMs.begin(), answerMs.end());
    if (!answerMs.empty())
        std::printf("GUI event loop: answered a 10 ms timer late by %.1f ms median, %.1f ms at the 99th percentile, "
                    "%.1f ms at worst (%zu answers)\n",
                    answerMs[answerMs.size() / 2], answerMs[answerMs.size() * 99 / 100], answerMs.back(),
                    answerMs.size());
    std::printf("GUI thread: %.1f %% of a core (delivering and painting the pictures)\n", guiCpu * 100 / wall);
    std::printf("process: %.2f cores (%.1f s CPU in %.1f s); memory %.0f MiB resident, %.0f MiB at most\n", cpu / wall,
                cpu, wall, memoryMiB("VmRSS:"), memoryMiB("VmHWM:"));
    const double portsMs = decoded ? cpu * 1000 / double(decoded) : 0;
    std::printf("CPU per decoded frame: ports %.2f ms (decoding, conversion, painting, pushing)\n", portsMs);
    for (const Reference &r : refs) {
        if (r.wall <= 0) {
            std::printf("ffmpeg -threads %d: did not run\n", r.threads);
            continue;
        }
        const double ms = r.cpu * 1000 / stream.videoFrames;
        std::printf("ffmpeg -threads %d -f null: %.2f ms CPU per frame, %.0f frames/s wall; ports / ffmpeg %.2f\n",
                    r.threads, ms, stream.videoFrames / r.wall, ms > 0 ? portsMs / ms : 0);
    }
    std::printf("frames a second the %d port(s) need: %.0f\n", o.ports, o.ports * o.fps * speedScale);
    std::printf("load average after: %s\n", loadAfter.c_str());

    for (auto &pu : pushers)
        pu->stop = true;
    for (auto &pu : pushers) {
        pu->thread.join();
        TVPLAY_Stop(pu->port);
    }
    return 0;
}

#include "bench_ports_realtime.moc"
