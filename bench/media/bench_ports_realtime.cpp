// Sixteen play ports of 704x576 at 25 fps, each fed in real time by its own
// pusher thread (one video frame every 40 ms, holding while the port asks
// for it), rendering into sixteen offscreen windows.
//
//   bench_ports_realtime [seconds (default 20)] [ports (default 16)]
//
// Prints per port the frames pushed, decoded, shown and skipped, the frames
// still buffered at the end and how long the pusher was held. A port that
// keeps up shows about 25 frames a second; one that cannot must skip
// frames, not fall behind (its buffer stays small).
#include "media/render/VideoOutput.h"
#include "media/sdk/Tarvok.h"
#include "media/stream/StreamReader.h"
#include "tests/support/media/TestStream.h"

#include <QApplication>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using Clock = std::chrono::steady_clock;

class CountingSink : public QObject {
    Q_OBJECT
public:
    std::atomic<int> images{0};
    Q_INVOKABLE void setVideoImage(const QImage &img)
    {
        if (!img.isNull())
            images++;
    }
};

struct Pusher {
    int port = 0;
    std::atomic<bool> hold{false};
    std::atomic<bool> stop{false};
    std::atomic<int> pushed{0};
    std::atomic<int64_t> heldMs{0};
    std::thread thread;

    static int onMessage(int, int id, int64_t p1, int64_t, int64_t, const char *, void *, void *, void *, void *u)
    {
        if (id == EUIMSG_BUFFER_STATE)
            static_cast<Pusher *>(u)->hold = p1 == 1;
        return 0;
    }

    void run(const std::vector<std::vector<uint8_t>> &frames)
    {
        auto next = Clock::now();
        size_t i = 0;
        while (!stop) {
            while (hold && !stop) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                heldMs += 10;
            }
            const auto &f = frames[i];
            i = (i + 1) % frames.size();
            TVPLAY_PushMediaData(port, f.data(), int(f.size()));
            if (f[3] == 0xFC || f[3] == 0xFD) {
                pushed++;
                next += std::chrono::milliseconds(40);
                std::this_thread::sleep_until(next);
            }
        }
    }
};

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    const int count = argc > 2 ? std::max(1, std::min(16, std::atoi(argv[2]))) : 16;
    av_log_set_level(AV_LOG_ERROR);

    testmedia::StreamParams p;
    p.width = 704;
    p.height = 576;
    p.seconds = 10;
    p.audio = true;
    p.bitrate = 1500000;
    testmedia::Recording rec = testmedia::makeRecording(p);
    if (!rec.error.empty()) {
        std::fprintf(stderr, "cannot make the stream: %s\n", rec.error.c_str());
        return 1;
    }
    std::vector<std::vector<uint8_t>> frames;
    StreamReaderHandle reader = StreamReader_Create();
    StreamReader_PushData(reader, rec.data.data(), rec.data.size());
    while (const StreamFrame *f = StreamReader_GetNextFrame(reader))
        frames.emplace_back(f->pData, f->pData + f->nLength);
    StreamReader_Destroy(reader);

    std::vector<std::unique_ptr<QWidget>> windows;
    std::vector<std::unique_ptr<CountingSink>> sinks;
    std::vector<std::unique_ptr<Pusher>> pushers;
    for (int i = 0; i < count; ++i) {
        windows.emplace_back(new QWidget);
        windows.back()->resize(352, 288);
        sinks.emplace_back(new CountingSink);
        media::register_video_sink(uint64_t(windows.back()->winId()), sinks.back().get());
        pushers.emplace_back(new Pusher);
        Pusher *pu = pushers.back().get();
        TVMessageReceiver r{0, &Pusher::onMessage, pu};
        pu->port = TVPLAY_OpenPlay(&r, uint64_t(windows.back()->winId()), 100, 0, 0);
        TVPLAY_Play(pu->port);
    }
    for (auto &pu : pushers)
        pu->thread = std::thread([&pu, &frames] { pu->run(frames); });

    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    app.exec();

    std::printf("%d ports, 704x576 at 25 fps, %d s\n", count, seconds);
    std::printf("%4s %8s %8s %8s %8s %9s %8s %8s\n", "port", "pushed", "decoded", "shown", "skipped", "buffered",
                "held ms", "shown/s");
    double shownTotal = 0;
    for (int i = 0; i < count; ++i) {
        Pusher &pu = *pushers[size_t(i)];
        TVPlayStats st{};
        TVPLAY_GetPlayStats(pu.port, &st);
        std::printf("%4d %8d %8llu %8d %8llu %9llu %8lld %8.1f\n", i, pu.pushed.load(),
                    (unsigned long long)st.nDecoded, sinks[size_t(i)]->images.load(),
                    (unsigned long long)st.nSkipped, (unsigned long long)st.nBuffered, (long long)pu.heldMs.load(),
                    double(sinks[size_t(i)]->images.load()) / seconds);
        shownTotal += sinks[size_t(i)]->images.load();
    }
    std::printf("shown per port and second: %.1f of 25\n", shownTotal / count / seconds);
    for (auto &pu : pushers)
        pu->stop = true;
    for (auto &pu : pushers) {
        pu->thread.join();
        TVPLAY_Stop(pu->port);
    }
    for (auto &w : windows)
        media::unregister_video_sink(uint64_t(w->winId()));
    return 0;
}

#include "bench_ports_realtime.moc"
