// The bilinear plane scaler of single windows: its pixels against bilinear
// interpolation computed here in floating point, at the sizes a window takes
// (shrinking to half, enlarging, odd sizes, the narrowest source it takes),
// bands of rows against the whole, and the sizes it leaves to libswscale.
// Planes are allocated to the byte, so that the sanitizer build sees any
// read past a row's or the plane's end.
#include "media/render/PlaneScaler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// Bilinear with the centres of the two grids aligned, clamped at the edges.
double reference(const std::vector<uint8_t> &src, int sw, int sh, int dw, int dh, int x, int y)
{
    auto at = [&](int i, int n, int size, int *i0, double *f) {
        double s = std::max(0.0, (i + 0.5) * size / n - 0.5);
        *i0 = std::min(int(std::floor(s)), size - 1);
        *f = std::min(s - *i0, 1.0);
    };
    int x0, y0;
    double fx, fy;
    at(x, dw, sw, &x0, &fx);
    at(y, dh, sh, &y0, &fy);
    const int x1 = std::min(x0 + 1, sw - 1), y1 = std::min(y0 + 1, sh - 1);
    auto p = [&](int xx, int yy) { return double(src[size_t(yy) * size_t(sw) + size_t(xx)]); };
    const double top = p(x0, y0) * (1 - fx) + p(x1, y0) * fx;
    const double bottom = p(x0, y1) * (1 - fx) + p(x1, y1) * fx;
    return top * (1 - fy) + bottom * fy;
}

std::vector<uint8_t> noise(int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(size_t(w) * size_t(h));
    for (uint8_t &b : v)
        b = uint8_t(rng());
    return v;
}

}  // namespace

TEST(PlaneScaler, MatchesBilinearInterpolation)
{
    struct Case {
        int sw, sh, dw, dh;
    } cases[] = {
        {1920, 1080, 1280, 720},  // an HD picture in a single window
        {704, 576, 1280, 720},    // a D1 picture enlarged
        {1920, 1080, 960, 540},   // exactly half
        {960, 540, 640, 360},     // its chroma planes
        {101, 77, 352, 288},      // a zoom region of odd size
        {16, 9, 16, 9},           // the narrowest source, at its own size
        {37, 23, 19, 12},         // odd sizes, just above half
        {33, 17, 61, 9},          // one way larger, the other smaller
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh);
        const std::vector<uint8_t> src = noise(c.sw, c.sh, unsigned(c.sw * 31 + c.dh));
        std::vector<uint8_t> dst(size_t(c.dw) * size_t(c.dh));
        media::PlaneScaler scaler;
        ASSERT_TRUE(scaler.prepare(c.sw, c.sh, c.dw, c.dh));
        scaler.scale(src.data(), c.sw, dst.data(), c.dw);
        // Weights are sixty-fourths: between two neighbours 255 apart a
        // pixel may be off by two, plus the rounding of each pass.
        int worst = 0;
        double sum = 0;
        for (int y = 0; y < c.dh; ++y)
            for (int x = 0; x < c.dw; ++x) {
                const double d = std::fabs(dst[size_t(y) * size_t(c.dw) + size_t(x)] -
                                           reference(src, c.sw, c.sh, c.dw, c.dh, x, y));
                worst = std::max(worst, int(std::lround(d)));
                sum += d;
            }
        EXPECT_LE(worst, 3);
        EXPECT_LT(sum / (double(c.dw) * c.dh), 1.0);
    }
}

TEST(PlaneScaler, BandsOfRowsMakeTheSamePlaneAsTheWhole)
{
    const int sw = 1920, sh = 1080, dw = 1279, dh = 719;
    const std::vector<uint8_t> src = noise(sw, sh, 7);
    media::PlaneScaler scaler;
    ASSERT_TRUE(scaler.prepare(sw, sh, dw, dh));
    // Rows padded beyond the width: nothing is written past dw.
    const int stride = dw + 5;
    std::vector<uint8_t> whole(size_t(stride) * dh, 0xEE), banded(size_t(stride) * dh, 0xEE);
    scaler.scale(src.data(), sw, whole.data(), stride);
    for (int top = 0; top < dh; top += 16)
        scaler.scale(src.data(), sw, banded.data() + size_t(top) * stride, stride, top, 16);
    EXPECT_EQ(whole, banded);
    for (int y = 0; y < dh; ++y)
        for (int x = dw; x < stride; ++x)
            ASSERT_EQ(whole[size_t(y) * stride + size_t(x)], 0xEE) << x << "," << y;

    // Rows outside the plane are clipped, and nothing is written for them.
    std::vector<uint8_t> one(size_t(stride) * 3, 0xEE);
    scaler.scale(src.data(), sw, one.data(), stride, dh - 1, 3);
    EXPECT_TRUE(std::equal(one.begin(), one.begin() + dw, whole.begin() + ptrdiff_t(dh - 1) * stride));
    EXPECT_EQ(one[size_t(stride)], 0xEE);
    scaler.scale(src.data(), sw, one.data(), stride, dh, 1);
    scaler.scale(src.data(), sw, one.data(), stride, -1, 1);
    EXPECT_EQ(one[size_t(stride)], 0xEE);
}

TEST(PlaneScaler, LeavesSmallerWindowsAndOddSourcesToOthers)
{
    media::PlaneScaler scaler;
    EXPECT_FALSE(scaler.prepare(1920, 1080, 422, 233));  // a grid window: wider filter needed
    EXPECT_FALSE(scaler.prepare(1920, 1080, 959, 540));  // just below half across
    EXPECT_FALSE(scaler.prepare(1920, 1080, 960, 539));  // just below half down
    EXPECT_FALSE(scaler.prepare(15, 8, 30, 16));         // narrower than a block reads
    EXPECT_FALSE(scaler.prepare(0, 0, 10, 10));
    EXPECT_FALSE(scaler.prepare(100, 100, 0, 10));
    EXPECT_FALSE(scaler.prepare(100000, 10, 100000, 10));
    EXPECT_FALSE(scaler.ready());
    // A refused size leaves nothing planned from before.
    ASSERT_TRUE(scaler.prepare(64, 64, 64, 64));
    EXPECT_FALSE(scaler.prepare(64, 64, 16, 16));
    EXPECT_FALSE(scaler.ready());
    std::vector<uint8_t> buf(64 * 64, 1);
    scaler.scale(buf.data(), 64, buf.data(), 64);  // does nothing
    EXPECT_EQ(buf[0], 1);
}
