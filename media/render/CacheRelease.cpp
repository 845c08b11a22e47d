#include "media/render/CacheRelease.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVELLE_CACHE_RELEASE 1
#endif

namespace media {

#ifdef ORVELLE_CACHE_RELEASE
namespace {

constexpr uintptr_t kLine = 64;

__attribute__((target("clflushopt"))) void flush_opt(const uint8_t *from, size_t n)
{
    uintptr_t p = uintptr_t(from) & ~(kLine - 1);
    const uintptr_t end = uintptr_t(from) + n;
    for (; p < end; p += kLine)
        _mm_clflushopt(reinterpret_cast<void *>(p));
}

void flush_plain(const uint8_t *from, size_t n)
{
    uintptr_t p = uintptr_t(from) & ~(kLine - 1);
    const uintptr_t end = uintptr_t(from) + n;
    for (; p < end; p += kLine)
        _mm_clflush(reinterpret_cast<void *>(p));
}

bool has_flush_opt()
{
    static const bool has = __builtin_cpu_supports("clflushopt");
    return has;
}

}  // namespace
#endif

void release_from_cache(const AVFrame *frame, int top, int rows)
{
#ifdef ORVELLE_CACHE_RELEASE
    if (!frame || frame->width <= 0 || frame->height <= 0)
        return;
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    if (!desc || (desc->flags & AV_PIX_FMT_FLAG_HWACCEL))
        return;
    top = std::max(0, std::min(top, frame->height));
    const int bottom = rows < 0 ? frame->height : int(std::min<int64_t>(frame->height, int64_t(top) + rows));
    if (bottom <= top)
        return;
    const bool opt = has_flush_opt();
    for (int p = 0; p < AV_NUM_DATA_POINTERS && frame->data[p]; ++p) {
        const int stride = frame->linesize[p];
        if (stride <= 0)
            continue;  // bottom-up planes are not made by the decoders used here
        const int shift = (p == 1 || p == 2) ? desc->log2_chroma_h : 0;
        const int first = top >> shift;
        const int end = (bottom + (1 << shift) - 1) >> shift;
        const uint8_t *from = frame->data[p] + size_t(first) * size_t(stride);
        const size_t n = size_t(end - first) * size_t(stride);
        if (opt)
            flush_opt(from, n);
        else
            flush_plain(from, n);
    }
    if (opt)
        _mm_sfence();
#else
    (void)frame;
    (void)top;
    (void)rows;
#endif
}

}  // namespace media
