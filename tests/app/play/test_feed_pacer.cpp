// When a play channel pushes its video frames, driven by a clock of the
// test's own: ten minutes of frames whose reading and pushing take varying
// time, with wake-ups that come late, stay on the grid of the first frame.
#include "app/play/FeedPacer.h"

#include <gtest/gtest.h>

#include <random>

namespace {

constexpr int64_t kMs = 1000000;

// Pushes `frames` frames of `rate` at `speed`; each push and the read before
// it take 0..3 ms, each wake-up comes 0..2 ms late. Returns when the last
// frame went, and checks every frame against its place on the grid.
int64_t feed(CFeedPacer& pacer, int64_t start, int frames, uint32_t rate, int speed, std::mt19937& rng)
{
    std::uniform_int_distribution<int64_t> work(0, 3 * kMs), wake(0, 2 * kMs);
    const int64_t interval = (speed >= 0 ? 1000 * kMs / (int64_t(1) << speed) : 1000 * kMs << -speed) / rate;
    int64_t now = start;
    for (int n = 0; n < frames; ++n) {
        const int64_t due = start + n * interval;
        EXPECT_GE(now, due - 1) << "frame " << n << " went early";
        EXPECT_LE(now, due + 6 * kMs) << "frame " << n << " went late";
        if (now < due - 1 || now > due + 6 * kMs)
            return now;
        now += work(rng);
        const int ms = pacer.Pushed(now, rate, speed);
        now += ms * kMs + wake(rng);
    }
    return now;
}

TEST(FeedPacer, FramesGoByAbsoluteDeadlines)
{
    std::mt19937 rng(7);
    // Ten minutes at 25 frames a second: frame 15000 goes 600 s after the
    // first, not 600 s plus what 15000 pushes and wake-ups took.
    CFeedPacer pacer;
    int64_t now = feed(pacer, 0, 15000, 25, 0, rng);
    EXPECT_LT(now, 600000 * kMs + 6 * kMs);
    for (int speed = -2; speed <= 3; ++speed) {
        CFeedPacer p;
        feed(p, 0, 200, 25, speed, rng);
    }

    // A feed 300 ms late (its thread got no processor) pushes what it
    // missed at once, then goes on by the old grid.
    CFeedPacer q;
    for (int n = 0; n < 10; ++n)
        EXPECT_EQ(q.Pushed(n * 40 * kMs, 25, 0), 40);  // frame 10 due at 400 ms
    now = 700 * kMs;
    for (int n = 10; n < 17; ++n)
        EXPECT_EQ(q.Pushed(now, 25, 0), 0) << n;  // due by 680 ms
    EXPECT_EQ(q.Pushed(now, 25, 0), 20);          // frame 17, then 18 at 720 ms
    // Two seconds behind (a disk that stalled), the next frame goes at once,
    // and the ones after it by the interval from there: nothing is pushed in
    // a rush.
    now = 720 * kMs + 2000 * kMs;
    EXPECT_EQ(q.Pushed(now, 25, 0), 40);
    now += 40 * kMs;
    EXPECT_EQ(q.Pushed(now, 25, 0), 40);
    // A speed change: the next frame comes one interval of the new speed later.
    now += 40 * kMs;
    EXPECT_EQ(q.Pushed(now, 25, 3), 5);
    // A frame without a frame rate: 40 ms, then the grid starts afresh.
    now += 5 * kMs;
    EXPECT_EQ(q.Pushed(now, 0, 0), 40);
    now += 50 * kMs;
    EXPECT_EQ(q.Pushed(now, 25, 0), 40);
    // After a seek the next frame goes at once.
    q.Restart();
    EXPECT_EQ(q.Pushed(now + 3 * kMs, 25, 0), 40);
}

} // namespace
