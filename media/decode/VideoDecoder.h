// One video decoder (libavcodec). The codec is chosen from the first payload
// that shows one; payloads are Annex B H.264 or H.265.
//
// The number of threads follows the picture size and the ports playing
// (DecoderThreads.h). It is looked at on every key frame: when it should
// change, the decoder is opened again with the new count and decodes that key
// frame afresh, so no picture is lost; a stream's first key frame is decoded
// twice when its size asks for more than one thread.
#pragma once

#include "media/decode/CodecProbe.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

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
    // Threads of the open decoder (0 before the codec is known).
    int threads() const { return m_threads; }
    // A fixed count instead of the one DecoderThreads.h picks (0 = pick);
    // for benchmarks that compare against a decoder of their own.
    void setFixedThreads(int n) { m_fixedThreads = n; }

private:
    bool open(VideoCodec codec, int threads);
    bool send(const uint8_t *payload, size_t n);
    int wantedThreads(const uint8_t *payload, size_t n);

    VideoCodec m_codec = VideoCodec::Unknown;
    AVCodecContext *m_ctx = nullptr;
    AVFrame *m_frame = nullptr;
    AVFrame *m_received = nullptr;
    AVFrame *m_picture = nullptr;  // the last produced picture (m_frame or null)
    AVPacket *m_packet = nullptr;
    bool m_failed = false;
    std::vector<uint8_t> m_paramSets;  // of the last key frame that carried them
    int m_threads = 0;
    int m_fixedThreads = 0;
};

// For tests of what a port does when decoding cannot keep up: from now on
// every decode, of every decoder, lasts at least `t` (0 = as long as it
// takes), as on a machine too slow for the stream.
void set_minimum_decode_time(std::chrono::microseconds t);

}  // namespace media
