#include "media/decode/VideoDecoder.h"

#include "media/decode/DecoderThreads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace media {

VideoDecoder::VideoDecoder()
{
    m_frame = av_frame_alloc();
    m_received = av_frame_alloc();
    m_packet = av_packet_alloc();
}

VideoDecoder::~VideoDecoder()
{
    avcodec_free_context(&m_ctx);
    av_frame_free(&m_frame);
    av_frame_free(&m_received);
    av_packet_free(&m_packet);
}

bool VideoDecoder::open(VideoCodec codec, int threads)
{
    const AVCodec *dec = avcodec_find_decoder(codec == VideoCodec::H265 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    if (!dec)
        return false;
    AVCodecContext *ctx = avcodec_alloc_context3(dec);
    if (!ctx)
        return false;
    ctx->thread_count = std::max(1, threads);
    ctx->thread_type = FF_THREAD_SLICE;
    if (avcodec_open2(ctx, dec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return false;
    }
    avcodec_free_context(&m_ctx);
    m_ctx = ctx;
    m_codec = codec;
    m_threads = ctx->thread_count;
    return true;
}

bool VideoDecoder::send(const uint8_t *payload, size_t n)
{
    m_packet->data = const_cast<uint8_t *>(payload);
    m_packet->size = int(n);
    int r = avcodec_send_packet(m_ctx, m_packet);
    m_packet->data = nullptr;
    m_packet->size = 0;
    if (r < 0 && r != AVERROR(EAGAIN))
        return false;
    bool got = false;
    for (;;) {
        // Keep only the newest picture if the decoder hands out several.
        r = avcodec_receive_frame(m_ctx, m_received);
        if (r < 0)
            break;
        av_frame_unref(m_frame);
        av_frame_move_ref(m_frame, m_received);
        got = true;
    }
    return got;
}

namespace {

std::atomic<int64_t> g_minimumDecodeUs{0};

// Makes a decode last at least the minimum set for tests.
class DecodeFloor {
public:
    DecodeFloor() : m_us(g_minimumDecodeUs.load()), m_start(std::chrono::steady_clock::now()) {}
    ~DecodeFloor()
    {
        if (m_us)
            std::this_thread::sleep_until(m_start + std::chrono::microseconds(m_us));
    }

private:
    const int64_t m_us;
    const std::chrono::steady_clock::time_point m_start;
};

}  // namespace

void set_minimum_decode_time(std::chrono::microseconds t)
{
    g_minimumDecodeUs = std::max<int64_t>(0, t.count());
}

bool VideoDecoder::decode(const uint8_t *payload, size_t n)
{
    const DecodeFloor floor;
    m_picture = nullptr;
    if (!payload || n == 0 || n > INT32_MAX || !m_frame || !m_received || !m_packet)
        return false;
    if (!m_ctx) {
        if (m_failed)
            return false;
        VideoCodec c = probe_video_codec(payload, n);
        if (c == VideoCodec::Unknown)
            return false;  // wait for a payload that shows its codec
        if (!open(c, m_fixedThreads > 0 ? m_fixedThreads : 1)) {
            m_failed = true;
            return false;
        }
    }
    const PayloadFacts facts = inspect_payload(m_codec, payload, n);
    if (facts.parameterSets)
        m_paramSets = extract_parameter_sets(m_codec, payload, n);
    bool got = send(payload, n);
    if (got && facts.randomAccess && m_fixedThreads <= 0) {
        // Decoding may start afresh here, so this is where the thread count
        // changes; the picture size is known now.
        const bool splittable = m_codec == VideoCodec::H265 || facts.slices > 1;
        const int want = decoder_threads(m_ctx->width, m_ctx->height, splittable);
        if (want != m_threads && open(m_codec, want)) {
            if (!facts.parameterSets && !m_paramSets.empty())
                send(m_paramSets.data(), m_paramSets.size());
            // Should the new decoder fail on it, the picture of the old one
            // still stands.
            send(payload, n);
        }
    }
    if (got)
        m_picture = m_frame;
    return got;
}

void VideoDecoder::flush()
{
    m_picture = nullptr;
    if (m_ctx)
        avcodec_flush_buffers(m_ctx);
}

int VideoDecoder::width() const
{
    return m_ctx ? m_ctx->width : 0;
}

int VideoDecoder::height() const
{
    return m_ctx ? m_ctx->height : 0;
}

}  // namespace media
