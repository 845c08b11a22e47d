#include "media/render/PictureConverter.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace media {

PictureConverter::~PictureConverter()
{
    sws_freeContext(m_sws);
}

QImage PictureConverter::convert(const AVFrame *f)
{
    if (!f || f->width <= 0 || f->height <= 0)
        return QImage();
    if (!m_sws || m_w != f->width || m_h != f->height || m_fmt != f->format) {
        sws_freeContext(m_sws);
        m_sws = sws_alloc_context();
        if (!m_sws)
            return QImage();
        av_opt_set_int(m_sws, "srcw", f->width, 0);
        av_opt_set_int(m_sws, "srch", f->height, 0);
        av_opt_set_int(m_sws, "src_format", f->format, 0);
        av_opt_set_int(m_sws, "dstw", f->width, 0);
        av_opt_set_int(m_sws, "dsth", f->height, 0);
        av_opt_set_int(m_sws, "dst_format", AV_PIX_FMT_RGB32, 0);
        av_opt_set_int(m_sws, "sws_flags", SWS_POINT, 0);
        // Writing an HD picture out as RGB32 takes a third as long as
        // decoding it; two slices written side by side halve that. Smaller
        // pictures are cheap enough for one thread, and sixteen ports of
        // them should not bring thirty-two more threads.
        av_opt_set_int(m_sws, "threads", f->width * f->height >= 1280 * 720 ? 2 : 1, 0);
        if (sws_init_context(m_sws, nullptr, nullptr) < 0) {
            sws_freeContext(m_sws);
            m_sws = nullptr;
            return QImage();
        }
        m_w = f->width;
        m_h = f->height;
        m_fmt = f->format;
    }
    // A free buffer is taken out of the pool while it is written, so that
    // writing does not copy it.
    QImage img;
    int slot = -1;
    for (int i = 0; i < kPoolSize; ++i) {
        QImage &candidate = m_pool[i];
        if (candidate.width() == f->width && candidate.height() == f->height && candidate.isDetached()) {
            img = std::move(candidate);
            candidate = QImage();
            slot = i;
            break;
        }
    }
    if (img.isNull()) {
        img = QImage(f->width, f->height, QImage::Format_RGB32);
        if (img.isNull())
            return img;
        slot = m_poolNext;
        m_poolNext = (m_poolNext + 1) % kPoolSize;
    }
    // The image's own memory is the destination: a buffer reference that
    // frees nothing tells swscale not to allocate one.
    AVFrame *out = av_frame_alloc();
    if (!out)
        return QImage();
    out->buf[0] = av_buffer_create(img.bits(), int(img.sizeInBytes()), [](void *, uint8_t *) {}, nullptr, 0);
    out->data[0] = img.bits();
    out->linesize[0] = int(img.bytesPerLine());
    out->width = f->width;
    out->height = f->height;
    out->format = AV_PIX_FMT_RGB32;
    const bool ok = out->buf[0] && sws_scale_frame(m_sws, out, f) >= 0;
    av_frame_free(&out);
    if (!ok)
        return QImage();
    m_pool[slot] = img;
    return img;
}

}  // namespace media
