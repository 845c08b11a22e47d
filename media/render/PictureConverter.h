// Decoded pictures (any libavcodec pixel format) to RGB32 QImages of the
// same size, through libswscale, reusing buffers that nobody holds any more.
#pragma once

#include <QImage>

struct AVFrame;
struct SwsContext;

namespace media {

class PictureConverter {
public:
    PictureConverter() = default;
    ~PictureConverter();
    PictureConverter(const PictureConverter &) = delete;
    PictureConverter &operator=(const PictureConverter &) = delete;

    // Null for a frame without a picture or a format swscale cannot read.
    QImage convert(const AVFrame *frame);

private:
    SwsContext *m_sws = nullptr;
    int m_w = 0, m_h = 0, m_fmt = -1;
    // A fresh 8 MB image for every 1080p frame costs as much in page faults
    // as the conversion itself, so buffers are kept and reused once the
    // pool's reference is the only one left.
    static constexpr int kPoolSize = 4;
    QImage m_pool[kPoolSize];
    int m_poolNext = 0;
};

}  // namespace media
