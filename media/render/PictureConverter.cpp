#include "media/render/PictureConverter.h"

extern "C" {
#include <libavutil/frame.h>
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
    m_sws = sws_getCachedContext(m_sws, f->width, f->height, AVPixelFormat(f->format), f->width, f->height,
                                 AV_PIX_FMT_RGB32, SWS_POINT, nullptr, nullptr, nullptr);
    if (!m_sws)
        return QImage();
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
    uint8_t *dst[4] = {img.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(img.bytesPerLine()), 0, 0, 0};
    sws_scale(m_sws, f->data, f->linesize, 0, f->height, dst, dstStride);
    m_pool[slot] = img;
    return img;
}

}  // namespace media
