// The rate at which a play channel's port goes through a recording, against
// wall time, when the channel feeds it: at normal speed, 2x, 4x and 8x.
//
//   bench_play_rate
//
// Writes a 704x576 H.264 recording of 100 s into a local export folder under
// /tmp, plays it through a CPlay channel into an offscreen window and reads
// the port's clock (the stream time it went through, TVPLAY_GetPlayStats)
// at the start and end of each phase: 20 s at normal speed, then 10 s at 2x,
// 5 s at 4x and 2 s at 8x. Prints per phase the clock's rate (stream time
// over wall time and speed; 1.000 is true time) and the frames it skipped.
#include "app/play/Play.h"
#include "app/shell/GlobalAppData.h"
#include "media/sdk/Tarvok.h"
#include "tests/app/play/SinkWidget.h"
#include "tests/support/media/TestStream.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

namespace {

void stopped(int, void*) {}

void spin(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

std::string loadAverage()
{
    std::ifstream f("/proc/loadavg");
    std::string a, b, c;
    f >> a >> b >> c;
    return a + " " + b + " " + c;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);

    QTemporaryDir dir(QDir::tempPath() + "/orvelle_bench_rate_XXXXXX");
    if (!dir.isValid())
        return 1;
    CGlobalAppData::setAppDir(dir.path());
    CGlobalAppData::instance();

    testmedia::StreamParams p;
    p.width = 704;
    p.height = 576;
    p.fps = 25;
    p.seconds = 100;
    p.bitrate = 1500000;
    p.startTime = testmedia::packTime(2024, 5, 1, 10, 0, 0);
    testmedia::Recording rec = testmedia::makeRecording(p);
    if (!rec.error.empty()) {
        std::fprintf(stderr, "cannot make the stream: %s\n", rec.error.c_str());
        return 1;
    }
    const QString folder = dir.path() + "/Record/idea0/2024-05-01/000";
    QDir().mkpath(folder);
    const QString path = folder + "/10.00.00-10.01.40.h264";
    if (!testmedia::writeFile(path.toStdString(), rec.data))
        return 1;

    playtest::SinkWidget window(352, 288);
    window.show();
    CPlay play(nullptr, window.handle(), 0, &stopped, nullptr);
    std::printf("load average before: %s\n", loadAverage().c_str());
    if (!play.Play(path, false))
        return 1;
    spin(2000);

    std::printf("%-8s %8s %9s %9s %9s\n", "speed", "wall s", "stream s", "clock", "skipped");
    const struct {
        const char* name;
        int ms;
    } phases[] = {{"1x", 20000}, {"2x", 10000}, {"4x", 5000}, {"8x", 2000}};
    for (size_t i = 0; i < sizeof phases / sizeof phases[0]; ++i) {
        if (i > 0) {
            play.Fast();
            spin(300);  // the new speed settles
        }
        TVPlayStats a{}, b{};
        TVPLAY_GetPlayStats(play.GetPort(), &a);
        QElapsedTimer t;
        t.start();
        spin(phases[i].ms);
        if (TVPLAY_GetPlayStats(play.GetPort(), &b) < 0 || b.nPlayedUs < a.nPlayedUs) {
            std::printf("%-8s the recording ended\n", phases[i].name);
            break;
        }
        const double wall = double(t.nsecsElapsed()) / 1e9;
        const double stream = double(b.nPlayedUs - a.nPlayedUs) / 1e6;
        const double scale = std::pow(2.0, double(i));
        std::printf("%-8s %8.2f %9.2f %9.4f %9llu\n", phases[i].name, wall, stream, stream / wall / scale,
                    (unsigned long long)(b.nSkipped - a.nSkipped));
    }
    play.Stop();
    std::printf("load average after: %s\n", loadAverage().c_str());
    CGlobalAppData::release();
    return 0;
}

#include "tests/app/play/moc_SinkWidget.cpp"
