// How long the day timeline takes to draw a crowded day.
//
//   bench_timeline [ROUNDS (default 200)]
//
// A day of 16 channels and 5,000 recordings (mostly regular, some alarm,
// motion and other types, with gaps), drawn by CTimelineWidget into an
// offscreen image of 1360 x 274 pixels (all 16 rows in view) at the zooms of
// the panel's buttons (24 h, 6 h, 1 h, 10 min). Per zoom: the median and the
// slowest draw, and, measured in the same run on the same image:
//   - the same widget drawing the day without its recordings (ruler, rows,
//     labels: what every draw costs anyway), and
//   - a plain drawing of the same bars with one fill per recording (what the
//     widget would cost without joining bars that meet on the screen).
// Target: every draw under 16 ms (one frame at 60 Hz). The machine's load
// average is printed with the figures.
#include "app/display/TimelineDay.h"
#include "app/display/TimelineWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const int kChannels = 16;
const int kRecordings = 5000;

TimelineDay crowdedDay()
{
    TimelineDay day;
    day.date = QDate(2024, 5, 1);
    day.strSource = "idea0";
    const char types[] = "RRRRRRRAMC";
    unsigned seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    const int perChannel = kRecordings / kChannels;
    for (int c = 0; c < kChannels; ++c) {
        TimelineRow row;
        row.nChannel = c;
        const int n = perChannel + (c < kRecordings % kChannels ? 1 : 0);
        // Recordings of about four and a half minutes with short gaps, and a
        // longer gap now and then, spread over the whole day.
        int t = int(next() % 120);
        for (int i = 0; i < n && t < 86400; ++i) {
            TimelineRecording r;
            r.nStart = t;
            r.nEnd = qMin(86400, t + 200 + int(next() % 60));
            r.cType = QLatin1Char(types[next() % 10]);
            r.strName = QString::asprintf("%02d.%02d.%02d", t / 3600, t / 60 % 60, t % 60);
            row.recordings.append(r);
            t = r.nEnd + int(next() % 10) + (next() % 40 == 0 ? 600 : 0);
        }
        day.rows.append(row);
    }
    return day;
}

// Wall time and the drawing thread's own CPU time of one draw, ms. On a
// shared machine the wall time includes waiting for a core; the CPU time
// is what the draw itself costs.
struct Figures {
    double wallMedian = 0;
    double cpuMedian = 0;
    double cpuWorst = 0;
};

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

template <class Draw>
Figures measure(int rounds, Draw draw)
{
    std::vector<double> wall, cpu;
    wall.reserve(size_t(rounds));
    cpu.reserve(size_t(rounds));
    draw();  // warm up: fonts, caches
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        const double c0 = threadCpuMs();
        draw();
        cpu.push_back(threadCpuMs() - c0);
        wall.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return Figures{wall[wall.size() / 2], cpu[cpu.size() / 2], cpu.back()};
}

// One fill per recording, no joining: the reference for the bars.
void naiveBars(QPainter& p, const CTimelineWidget& w, const TimelineDay& day)
{
    const double viewEnd = w.viewStart() + w.viewSpan();
    p.setClipRect(w.barsRect());
    for (int r = 0; r < day.rows.size(); ++r) {
        const int top = w.rowCentreY(r) - CTimelineWidget::kRowHeight / 2 + 2;
        for (const TimelineRecording& rec : day.rows[r].recordings) {
            if (rec.nEnd <= w.viewStart() || rec.nStart >= viewEnd)
                continue;
            const int x1 = int(w.xOf(qMax(double(rec.nStart), w.viewStart())));
            const int x2 = int(w.xOf(qMin(double(rec.nEnd), viewEnd)));
            p.fillRect(x1, top, qMax(1, x2 - x1), CTimelineWidget::kRowHeight - 4, w.typeColor(rec.cType));
        }
    }
}

double loadAverage()
{
    double load = -1;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1)
            load = -1;
        std::fclose(f);
    }
    return load;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;

    const TimelineDay day = crowdedDay();
    TimelineDay bare = day;
    for (TimelineRow& row : bare.rows)
        row.recordings.clear();
    CTimelineWidget widget;
    widget.resize(1360, CTimelineWidget::heightForRows(kChannels));
    widget.setDay(day);
    CTimelineWidget empty;
    empty.resize(widget.size());
    empty.setDay(bare);
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);

    std::printf("bench_timeline: %d channels, %d recordings, %dx%d pixels, %d draws per figure, load average %.2f\n",
                day.rows.size(), day.recordingCount(), widget.width(), widget.height(), rounds, loadAverage());
    std::printf("%-7s %10s %10s %10s | %10s %10s | %8s %8s\n", "zoom", "wall med", "cpu med", "cpu max",
                "bare cpu", "naive cpu", "vs bare", "vs naive");
    struct {
        const char* name;
        int span;
    } zooms[] = {{"24 h", 86400}, {"6 h", 21600}, {"1 h", 3600}, {"10 min", 600}};
    bool met = true;
    for (const auto& z : zooms) {
        const double start = qBound(0.0, 12 * 3600.0 - z.span / 2.0, 86400.0 - z.span);
        widget.setView(start, z.span);
        empty.setView(start, z.span);
        const Figures full = measure(rounds, [&] { widget.render(&image); });
        const Figures none = measure(rounds, [&] { empty.render(&image); });
        const Figures naive = measure(rounds, [&] {
            empty.render(&image);
            QPainter p(&image);
            naiveBars(p, widget, day);
        });
        met = met && full.cpuWorst < 16.0;
        std::printf("%-7s %7.3f ms %7.3f ms %7.3f ms | %7.3f ms %7.3f ms | %8.2f %8.2f\n", z.name, full.wallMedian,
                    full.cpuMedian, full.cpuWorst, none.cpuMedian, naive.cpuMedian, full.cpuMedian / none.cpuMedian,
                    full.cpuMedian / naive.cpuMedian);
    }
    std::printf("target: every draw under 16 ms of CPU: %s (load average now %.2f)\n", met ? "met" : "NOT met",
                loadAverage());
    return 0;
}
