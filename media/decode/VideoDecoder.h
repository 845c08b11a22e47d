// One video decoder (libavcodec). The codec is chosen from the first payload
// that shows one; payloads are Annex B H.264 or H.265.
#pragma once

#include "media/decode/CodecProbe.h"

#include <cstddef>
#include <cstdint>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace media {

class VideoDecoder {
public:
    VideoDecoder();
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder &) = delete;
    VideoDecoder &operator=(const VideoDecoder &) = delete;

    // Decodes one payload. True when it produced a picture (then picture()
    // holds it); false when the decoder needs more data or the payload was
    // damaged - decoding goes on with the next payload either way.
    bool decode(const uint8_t *payload, size_t n);
    // Forgets the reference pictures (before decoding from a key frame again).
    void flush();

    const AVFrame *picture() const { return m_picture; }
    VideoCodec codec() const { return m_codec; }
    int width() const;
    int height() const;

private:
    bool open(VideoCodec codec);

    VideoCodec m_codec = VideoCodec::Unknown;
    AVCodecContext *m_ctx = nullptr;
    AVFrame *m_frame = nullptr;
    AVFrame *m_received = nullptr;
    AVFrame *m_picture = nullptr;  // the last produced picture (m_frame or null)
    AVPacket *m_packet = nullptr;
    bool m_failed = false;
};

}  // namespace media
