#include "media/render/PictureConverter.h"

#include <algorithm>
#include <memory>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/macros.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace media {

namespace {

// Output at least this large that libswscale makes is written in two slices
// side by side (a captured picture; a large window of a picture our own
// plane scaler does not take). Grid windows are smaller and stay on one
// thread, so that sixteen ports do not bring thirty-two more threads.
constexpr int64_t kSlicedPixels = 1280 * 720;

// Rows our own scaler hands to the RGB conversion at a time (even, as the
// chroma rows of 4:2:0 pictures go with two).
constexpr int kBandRows = 16;

struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};

// An RGB32 image whose lines are padded to 64 bytes: libswscale's SIMD code
// writes whole blocks of pixels, past the end of a line whose width is not a
// multiple of the block (and past the end of a tightly packed image).
QImage paddedImage(const QSize &size)
{
    const int stride = FFALIGN(size.width() * 4, 64);
    auto *mem = static_cast<uchar *>(av_malloc(size_t(stride) * size_t(size.height()) + 64));
    if (!mem)
        return QImage();
    return QImage(mem, size.width(), size.height(), stride, QImage::Format_RGB32, [](void *p) { av_free(p); }, mem);
}

SwsContext *context(int srcW, int srcH, int srcFmt, int dstW, int dstH, int dstFmt, int flags, int threads)
{
    SwsContext *c = sws_alloc_context();
    if (!c)
        return nullptr;
    av_opt_set_int(c, "srcw", srcW, 0);
    av_opt_set_int(c, "srch", srcH, 0);
    av_opt_set_int(c, "src_format", srcFmt, 0);
    av_opt_set_int(c, "dstw", dstW, 0);
    av_opt_set_int(c, "dsth", dstH, 0);
    av_opt_set_int(c, "dst_format", dstFmt, 0);
    av_opt_set_int(c, "sws_flags", flags, 0);
    av_opt_set_int(c, "threads", threads, 0);
    if (sws_init_context(c, nullptr, nullptr) < 0) {
        sws_freeContext(c);
        return nullptr;
    }
    return c;
}

}  // namespace

PictureConverter::~PictureConverter()
{
    sws_freeContext(m_scale);
    sws_freeContext(m_rgb);
    av_frame_free(&m_mid);
}

QRect PictureConverter::regionRect(int left, int top, int right, int bottom, int space, int w, int h)
{
    if (space <= 0 || w <= 0 || h <= 0)
        return QRect();
    auto scale = [space](int v, int size) {
        v = std::max(0, std::min(space, v));
        return int(int64_t(v) * size / space);
    };
    const int x0 = scale(std::min(left, right), w);
    const int x1 = scale(std::max(left, right), w);
    const int y0 = scale(std::min(top, bottom), h);
    const int y1 = scale(std::max(top, bottom), h);
    if (x1 <= x0 || y1 <= y0)
        return QRect(0, 0, w, h);
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

bool PictureConverter::prepare(int srcW, int srcH, int srcFmt, int dstW, int dstH)
{
    if (m_rgb && m_srcW == srcW && m_srcH == srcH && m_srcFmt == srcFmt && m_dstW == dstW && m_dstH == dstH)
        return true;
    sws_freeContext(m_scale);
    sws_freeContext(m_rgb);
    m_scale = m_rgb = nullptr;
    av_frame_free(&m_mid);
    m_planes[0] = PlaneScaler();
    m_planes[1] = PlaneScaler();
    m_srcW = m_srcH = m_dstW = m_dstH = 0;
    m_srcFmt = -1;

    const int threads = int64_t(dstW) * dstH >= kSlicedPixels ? 2 : 1;
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(AVPixelFormat(srcFmt));
    const bool yuv420 = desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3 &&
                        desc->log2_chroma_w == 1 && desc->log2_chroma_h == 1;
    const bool scaled = srcW != dstW || srcH != dstH;
    const bool planar8 = srcFmt == AV_PIX_FMT_YUV420P || srcFmt == AV_PIX_FMT_YUVJ420P;
    const bool ownScaler = scaled && planar8 && m_planes[0].prepare(srcW, srcH, dstW, dstH) &&
                           m_planes[1].prepare(AV_CEIL_RSHIFT(srcW, 1), AV_CEIL_RSHIFT(srcH, 1),
                                               AV_CEIL_RSHIFT(dstW, 1), AV_CEIL_RSHIFT(dstH, 1));
    if (!ownScaler)
        m_planes[0] = PlaneScaler();  // planned for the luma, refused for the chroma
    if (ownScaler) {
        // A window from half the picture's size up: our own bilinear plane
        // scaler (PlaneScaler.h, a quarter of libswscale's time), then to
        // RGB at one size, a band of rows at a time, so that the scaled
        // planes never leave the processor's nearest cache. The planes keep
        // the picture's format, so that a full-range picture stays full-
        // range. One thread: the conversion now takes less than a decode,
        // and a second would only take the decoder's core.
        m_mid = av_frame_alloc();
        if (!m_mid)
            return false;
        m_mid->format = srcFmt;
        m_mid->width = dstW;
        m_mid->height = std::min(dstH, kBandRows);
        if (av_frame_get_buffer(m_mid, 64) < 0)
            return false;
        m_rgb = context(dstW, dstH, srcFmt, dstW, dstH, AV_PIX_FMT_RGB32, SWS_BILINEAR, 1);
    } else if (scaled && yuv420) {
        // Scaled in two passes: the planes at the window's size (libswscale's
        // planar scalers are vectorised), then to RGB at one size (its
        // vectorised unscaled path). Half the time of scaling straight into
        // RGB, whose vertical filter with more than two taps is plain C.
        // Shrinking to half or less, each window pixel is the mean of the
        // picture pixels it covers (area averaging: as smooth as the
        // footprint-wide bilinear filter and half its cost); otherwise
        // bilinear.
        const bool halfOrLess = dstW * 2 <= srcW && dstH * 2 <= srcH;
        m_scale = context(srcW, srcH, srcFmt, dstW, dstH, AV_PIX_FMT_YUV420P, halfOrLess ? SWS_AREA : SWS_BILINEAR,
                          threads);
        m_mid = av_frame_alloc();
        if (!m_scale || !m_mid)
            return false;
        m_mid->format = AV_PIX_FMT_YUV420P;
        m_mid->width = dstW;
        m_mid->height = dstH;
        if (av_frame_get_buffer(m_mid, 64) < 0)
            return false;
        m_rgb = context(dstW, dstH, AV_PIX_FMT_YUV420P, dstW, dstH, AV_PIX_FMT_RGB32, SWS_BILINEAR, threads);
    } else {
        m_rgb = context(srcW, srcH, srcFmt, dstW, dstH, AV_PIX_FMT_RGB32, SWS_BILINEAR, threads);
    }
    if (!m_rgb)
        return false;
    m_srcW = srcW;
    m_srcH = srcH;
    m_srcFmt = srcFmt;
    m_dstW = dstW;
    m_dstH = dstH;
    return true;
}

bool PictureConverter::scaleInBands(const AVFrame *in, AVFrame *out)
{
    for (int top = 0; top < m_dstH; top += kBandRows) {
        const int rows = std::min(kBandRows, m_dstH - top);
        m_planes[0].scale(in->data[0], in->linesize[0], m_mid->data[0], m_mid->linesize[0], top, rows);
        for (int i = 1; i < 3; ++i)
            m_planes[1].scale(in->data[i], in->linesize[i], m_mid->data[i], m_mid->linesize[i], top / 2,
                              (rows + 1) / 2);
        // The count of lines it returns for a band is rounded to the
        // chroma rows, so only an error counts.
        if (sws_scale(m_rgb, m_mid->data, m_mid->linesize, top, rows, out->data, out->linesize) < 0)
            return false;
    }
    return true;
}

QImage PictureConverter::convert(const AVFrame *f, const QSize &size, const QRect &source)
{
    if (!f || f->width <= 0 || f->height <= 0)
        return QImage();
    QRect src = source.isEmpty() ? QRect(0, 0, f->width, f->height) : source & QRect(0, 0, f->width, f->height);
    if (src.isEmpty())
        src = QRect(0, 0, f->width, f->height);
    const QSize dst = size.isEmpty() ? src.size() : size;

    // A part of the picture is a picture of its own: the same buffers with
    // the plane pointers moved to its corner.
    std::unique_ptr<AVFrame, FrameFree> part;
    const AVFrame *in = f;
    if (src != QRect(0, 0, f->width, f->height)) {
        part.reset(av_frame_alloc());
        if (!part || av_frame_ref(part.get(), f) < 0)
            return QImage();
        part->crop_left = size_t(src.left());
        part->crop_top = size_t(src.top());
        part->crop_right = size_t(f->width - src.right() - 1);
        part->crop_bottom = size_t(f->height - src.bottom() - 1);
        // Unaligned: an odd corner moves the chroma planes by half a pixel,
        // which nobody sees; rounding the corner would show the wrong part.
        if (av_frame_apply_cropping(part.get(), AV_FRAME_CROP_UNALIGNED) < 0)
            return QImage();
        in = part.get();
    }
    if (!prepare(in->width, in->height, in->format, dst.width(), dst.height()))
        return QImage();

    // A free buffer is taken out of the pool while it is written, so that
    // writing does not copy it.
    QImage img;
    int slot = -1;
    for (int i = 0; i < kPoolSize; ++i) {
        QImage &candidate = m_pool[i];
        if (candidate.size() == dst && candidate.isDetached()) {
            img = std::move(candidate);
            candidate = QImage();
            slot = i;
            break;
        }
    }
    if (img.isNull()) {
        // Buffers of another size are of no more use: the window was
        // resized, or the first pictures came before its size was known and
        // were made at the picture's own (8 MB at 1080p).
        for (QImage &kept : m_pool)
            if (kept.size() != dst)
                kept = QImage();
        img = paddedImage(dst);
        if (img.isNull())
            return img;
        slot = m_poolNext;
        m_poolNext = (m_poolNext + 1) % kPoolSize;
    }
    // The image's own memory is the destination: a buffer reference that
    // frees nothing tells swscale not to allocate one.
    std::unique_ptr<AVFrame, FrameFree> out(av_frame_alloc());
    if (!out)
        return QImage();
    out->buf[0] = av_buffer_create(img.bits(), int(img.sizeInBytes()), [](void *, uint8_t *) {}, nullptr, 0);
    out->data[0] = img.bits();
    out->linesize[0] = int(img.bytesPerLine());
    out->width = dst.width();
    out->height = dst.height();
    out->format = AV_PIX_FMT_RGB32;
    bool ok = out->buf[0] != nullptr;
    if (ok && m_planes[0].ready()) {
        ok = scaleInBands(in, out.get());
        out.reset();
        if (!ok)
            return QImage();
        m_pool[slot] = img;
        return img;
    }
    if (ok && m_scale) {
        ok = av_frame_make_writable(m_mid) >= 0 && sws_scale_frame(m_scale, m_mid, in) >= 0;
        in = m_mid;
    }
    ok = ok && sws_scale_frame(m_rgb, out.get(), in) >= 0;
    out.reset();
    if (!ok)
        return QImage();
    m_pool[slot] = img;
    return img;
}

}  // namespace media
