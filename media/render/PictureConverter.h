// Decoded pictures (any libavcodec pixel format) to RGB32 QImages, through
// libswscale: a part of the picture scaled straight to the size it is shown
// at, or the whole picture at its own size, reusing buffers that nobody holds
// any more.
#pragma once

#include "media/render/PlaneScaler.h"

#include <QImage>
#include <QRect>
#include <QSize>

struct AVFrame;
struct SwsContext;

namespace media {

class PictureConverter {
public:
    PictureConverter() = default;
    ~PictureConverter();
    PictureConverter(const PictureConverter &) = delete;
    PictureConverter &operator=(const PictureConverter &) = delete;

    // `source`: the part of the picture to convert, in its pixels (clipped
    // to it; empty = the whole picture). `size`: the size of the image made
    // (empty = the size of the source part). Scaling is filtered (bilinear,
    // area averaging when shrinking to half or less), so a 1080p picture in
    // a small window is smooth, not sampled line by line.
    // Null for a frame without a picture or a format swscale cannot read.
    QImage convert(const AVFrame *frame, const QSize &size = QSize(), const QRect &source = QRect());

    // The part of a w x h picture that a region in a normalised space of
    // `space` x `space` covers (either corner first); the whole picture when
    // it covers nothing.
    static QRect regionRect(int left, int top, int right, int bottom, int space, int w, int h);

private:
    bool prepare(int srcW, int srcH, int srcFmt, int dstW, int dstH);
    bool scaleInBands(const AVFrame *in, AVFrame *out);

    SwsContext *m_scale = nullptr;  // source to YUV 4:2:0 at the image's size (when scaling)
    SwsContext *m_rgb = nullptr;    // to RGB32 at the image's size
    PlaneScaler m_planes[2];        // luma, chroma: instead of m_scale where they take the sizes
    AVFrame *m_mid = nullptr;       // between the two
    int m_srcW = 0, m_srcH = 0, m_srcFmt = -1, m_dstW = 0, m_dstH = 0;
    // Buffers are kept and reused once the pool's reference is the only one
    // left: a fresh image for every picture costs as much in page faults as
    // the conversion itself. Up to three are out at a time (the one waiting
    // for the GUI thread, the one on screen, the one being written).
    static constexpr int kPoolSize = 4;
    QImage m_pool[kPoolSize];
    int m_poolNext = 0;
};

}  // namespace media
