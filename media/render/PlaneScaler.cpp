#include "media/render/PlaneScaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVELLE_PLANE_SSSE3 1
#endif

namespace media {

namespace {

constexpr int kBlock = 8;     // window pixels a block
constexpr int kSpan = 16;     // source bytes a block reads
constexpr int kOne = 64;      // weights are sixty-fourths
constexpr int kLargest = 16384;

// Where window pixel i of n falls in a source of `size` pixels, centres
// aligned: the left (or upper) neighbour and the right one's weight.
void sample(int i, int n, int size, int *left, int *weight)
{
    double s = (i + 0.5) * size / n - 0.5;
    if (s < 0)
        s = 0;
    int i0 = int(std::floor(s));
    int w = int(std::lround((s - i0) * kOne));
    if (w == kOne) {
        ++i0;
        w = 0;
    }
    if (i0 >= size - 1) {
        i0 = size - 1;
        w = 0;
    }
    *left = i0;
    *weight = w;
}

void blend_plain(const uint8_t *a, const uint8_t *b, uint8_t *out, int n, int w)
{
    for (int x = 0; x < n; ++x)
        out[x] = uint8_t((a[x] * (kOne - w) + b[x] * w + kOne / 2) >> 6);
}

void row_plain(const uint8_t *row, uint8_t *out, int dstW, const int *base, const uint8_t *pick, const int8_t *weight)
{
    for (int x = 0; x < dstW; ++x) {
        const int b = x / kBlock, k = x % kBlock;
        const uint8_t *s = row + base[b];
        const uint8_t *p = pick + b * kSpan + 2 * k;
        const int8_t *w = weight + b * kSpan + 2 * k;
        out[x] = uint8_t((s[p[0]] * w[0] + s[p[1]] * w[1] + kOne / 2) >> 6);
    }
}

#ifdef ORVELLE_PLANE_SSSE3
bool has_ssse3()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

__attribute__((target("ssse3"))) void blend_ssse3(const uint8_t *a, const uint8_t *b, uint8_t *out, int n, int w)
{
    // Pairs (a, b) times (64 - w, w), summed in 16 bits: at most 255 * 64.
    const __m128i weights = _mm_set1_epi16(int16_t((w << 8) | (kOne - w)));
    const __m128i round = _mm_set1_epi16(kOne / 2);
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + x));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + x));
        __m128i lo = _mm_maddubs_epi16(_mm_unpacklo_epi8(va, vb), weights);
        __m128i hi = _mm_maddubs_epi16(_mm_unpackhi_epi8(va, vb), weights);
        lo = _mm_srli_epi16(_mm_add_epi16(lo, round), 6);
        hi = _mm_srli_epi16(_mm_add_epi16(hi, round), 6);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), _mm_packus_epi16(lo, hi));
    }
    blend_plain(a + x, b + x, out + x, n - x, w);
}

__attribute__((target("ssse3"))) inline __m128i block_ssse3(const uint8_t *row, int base, const uint8_t *pick,
                                                            const int8_t *weight)
{
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + base));
    const __m128i pairs = _mm_shuffle_epi8(s, _mm_loadu_si128(reinterpret_cast<const __m128i *>(pick)));
    const __m128i sums = _mm_maddubs_epi16(pairs, _mm_loadu_si128(reinterpret_cast<const __m128i *>(weight)));
    return _mm_srli_epi16(_mm_add_epi16(sums, _mm_set1_epi16(kOne / 2)), 6);
}

__attribute__((target("ssse3"))) void row_ssse3(const uint8_t *row, uint8_t *out, int dstW, const int *base,
                                                const uint8_t *pick, const int8_t *weight)
{
    const int full = dstW / kBlock;
    int b = 0;
    for (; b + 2 <= full; b += 2) {
        const __m128i one = block_ssse3(row, base[b], pick + b * kSpan, weight + b * kSpan);
        const __m128i two = block_ssse3(row, base[b + 1], pick + (b + 1) * kSpan, weight + (b + 1) * kSpan);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + b * kBlock), _mm_packus_epi16(one, two));
    }
    for (; b < full; ++b) {
        const __m128i one = block_ssse3(row, base[b], pick + b * kSpan, weight + b * kSpan);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out + b * kBlock), _mm_packus_epi16(one, one));
    }
    if (b * kBlock < dstW) {
        // The last, partial block: its spare pixels repeat the last one and
        // are not written.
        alignas(16) uint8_t tail[16];
        const __m128i one = block_ssse3(row, base[b], pick + b * kSpan, weight + b * kSpan);
        _mm_store_si128(reinterpret_cast<__m128i *>(tail), _mm_packus_epi16(one, one));
        std::memcpy(out + b * kBlock, tail, size_t(dstW - b * kBlock));
    }
}
#endif

}  // namespace

bool PlaneScaler::prepare(int srcW, int srcH, int dstW, int dstH)
{
    m_srcW = m_srcH = m_dstW = m_dstH = 0;
    if (srcW < kSpan || srcH < 1 || dstW < 1 || dstH < 1 || srcW > kLargest || srcH > kLargest ||
        dstW > kLargest || dstH > kLargest)
        return false;
    if (dstW * 2 < srcW || dstH * 2 < srcH)
        return false;

    const int blocks = (dstW + kBlock - 1) / kBlock;
    m_base.assign(size_t(blocks), 0);
    m_pick.assign(size_t(blocks) * kSpan, 0);
    m_weight.assign(size_t(blocks) * kSpan, 0);
    for (int b = 0; b < blocks; ++b) {
        int first = 0, unused = 0;
        sample(b * kBlock, dstW, srcW, &first, &unused);
        const int base = std::min(first, srcW - kSpan);
        m_base[size_t(b)] = base;
        for (int k = 0; k < kBlock; ++k) {
            const int x = std::min(b * kBlock + k, dstW - 1);
            int left = 0, w = 0;
            sample(x, dstW, srcW, &left, &w);
            const int right = std::min(left + 1, srcW - 1);
            if (left < base || right - base >= kSpan)
                return false;  // wider than a block reads: not at these sizes
            m_pick[size_t(b) * kSpan + 2 * k] = uint8_t(left - base);
            m_pick[size_t(b) * kSpan + 2 * k + 1] = uint8_t(right - base);
            m_weight[size_t(b) * kSpan + 2 * k] = int8_t(kOne - w);
            m_weight[size_t(b) * kSpan + 2 * k + 1] = int8_t(w);
        }
    }
    m_row0.assign(size_t(dstH), 0);
    m_rowWeight.assign(size_t(dstH), 0);
    for (int y = 0; y < dstH; ++y) {
        int top = 0, w = 0;
        sample(y, dstH, srcH, &top, &w);
        m_row0[size_t(y)] = top;
        m_rowWeight[size_t(y)] = uint8_t(w);
    }
    m_mixed.assign(size_t(srcW), 0);
#ifdef ORVELLE_PLANE_SSSE3
    m_simd = has_ssse3();
#endif
    m_srcW = srcW;
    m_srcH = srcH;
    m_dstW = dstW;
    m_dstH = dstH;
    return true;
}

const uint8_t *PlaneScaler::blendRows(const uint8_t *a, const uint8_t *b, int weight)
{
    if (weight == 0)
        return a;
#ifdef ORVELLE_PLANE_SSSE3
    if (m_simd) {
        blend_ssse3(a, b, m_mixed.data(), m_srcW, weight);
        return m_mixed.data();
    }
#endif
    blend_plain(a, b, m_mixed.data(), m_srcW, weight);
    return m_mixed.data();
}

void PlaneScaler::scaleRow(const uint8_t *row, uint8_t *out) const
{
#ifdef ORVELLE_PLANE_SSSE3
    if (m_simd) {
        row_ssse3(row, out, m_dstW, m_base.data(), m_pick.data(), m_weight.data());
        return;
    }
#endif
    row_plain(row, out, m_dstW, m_base.data(), m_pick.data(), m_weight.data());
}

void PlaneScaler::scale(const uint8_t *src, int srcStride, uint8_t *dst, int dstStride, int first, int rows)
{
    if (!ready() || first < 0 || rows <= 0 || first >= m_dstH)
        return;
    const int end = int(std::min<int64_t>(m_dstH, int64_t(first) + rows));
    for (int y = first; y < end; ++y) {
        const int top = m_row0[size_t(y)];
        const int below = std::min(top + 1, m_srcH - 1);
        const uint8_t *row = blendRows(src + ptrdiff_t(top) * srcStride, src + ptrdiff_t(below) * srcStride,
                                       m_rowWeight[size_t(y)]);
        scaleRow(row, dst + ptrdiff_t(y - first) * dstStride);
    }
}

}  // namespace media
