// How long a play channel's Stop takes at normal speed.
//
//   bench_play_stop [ROUNDS (default 4)]
//
// Writes a 704x576 H.264 recording of 30 s with sound into a local export
// folder under /tmp, plays it through a CPlay channel into an offscreen
// window and stops it at several moments after the start (just after Play,
// while the first pictures come, in full flow, paused), each moment ROUNDS
// times. Prints each moment's average and maximum Stop latency and the
// overall figures. Target: every Stop returns within 200 ms.
#include "app/play/Play.h"
#include "app/shell/GlobalAppData.h"
#include "media/render/VideoOutput.h"
#include "tests/app/play/SinkWidget.h"
#include "tests/support/media/TestStream.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

void stopped(int, void*) {}

// Runs the event loop for ms milliseconds.
void spin(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 4;
    av_log_set_level(AV_LOG_ERROR);

    QTemporaryDir dir(QDir::tempPath() + "/orvelle_bench_play_XXXXXX");
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a work folder under %s\n", qPrintable(QDir::tempPath()));
        return 1;
    }
    CGlobalAppData::setAppDir(dir.path());
    CGlobalAppData::instance();

    testmedia::StreamParams p;
    p.width = 704;
    p.height = 576;
    p.fps = 25;
    p.seconds = 30;
    p.audio = true;
    p.bitrate = 1500000;
    p.startTime = testmedia::packTime(2024, 5, 1, 10, 0, 0);
    testmedia::Recording rec = testmedia::makeRecording(p);
    if (!rec.error.empty()) {
        std::fprintf(stderr, "cannot make the stream: %s\n", rec.error.c_str());
        return 1;
    }
    const QString folder = dir.path() + "/Record/idea0/2024-05-01/000";
    QDir().mkpath(folder);
    const QString path = folder + "/10.00.00-10.00.30.h264";
    if (!testmedia::writeFile(path.toStdString(), rec.data)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }

    playtest::SinkWidget window(352, 288);
    window.show();
    CPlay play(nullptr, window.handle(), 0, &stopped, nullptr);

    struct Moment {
        const char* name;
        int afterMs;
        bool pause;
    } moments[] = {{"at once", 0, false},   {"after 20 ms", 20, false},  {"after 150 ms", 150, false},
                   {"after 1 s", 1000, false}, {"after 3 s", 3000, false}, {"paused at 1 s", 1000, true}};

    std::printf("%-16s %6s %9s %9s %9s\n", "stop", "stops", "pictures", "avg ms", "max ms");
    double allMax = 0, allSum = 0;
    int allCount = 0, failed = 0;
    for (const Moment& m : moments) {
        double sum = 0, worst = 0;
        int shown = 0;
        for (int r = 0; r < rounds; ++r) {
            const int before = window.pictures();
            if (!play.Play(path, false)) {
                ++failed;
                continue;
            }
            spin(m.afterMs);
            if (m.pause)
                play.Pause(true);
            QElapsedTimer t;
            t.start();
            play.Stop();
            const double ms = double(t.nsecsElapsed()) / 1e6;
            spin(30);  // let the stop notification and late pictures through
            shown += window.pictures() - before;
            sum += ms;
            worst = std::max(worst, ms);
        }
        std::printf("%-16s %6d %9d %9.1f %9.1f\n", m.name, rounds, shown, sum / rounds, worst);
        allSum += sum;
        allCount += rounds;
        allMax = std::max(allMax, worst);
    }
    std::printf("all %d stops: avg %.1f ms, max %.1f ms (target: every stop within 200 ms)%s\n", allCount,
                allSum / std::max(1, allCount), allMax, failed ? "  (some plays did not start)" : "");
    CGlobalAppData::release();
    return failed ? 1 : 0;
}

#include "tests/app/play/moc_SinkWidget.cpp"
