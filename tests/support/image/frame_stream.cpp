#include "tests/support/image/frame_stream.h"

#include <algorithm>

#include "tests/support/image/le_bytes.h"

namespace testimg {

void put_key_frame_header(uint8_t o[16], uint32_t packed_time, uint8_t frame_rate, uint32_t payload) {
    std::fill(o, o + 16, 0);
    o[2] = 1;
    o[3] = kFrameKey;
    o[5] = frame_rate;
    put_u32(o + 8, packed_time);
    put_u32(o + 12, payload);
}

void put_video_frame_header(uint8_t o[8], uint32_t payload) {
    std::fill(o, o + 8, 0);
    o[2] = 1;
    o[3] = kFrameVideo;
    put_u32(o + 4, payload);
}

void put_audio_frame_header(uint8_t o[8], uint16_t payload) {
    std::fill(o, o + 8, 0);
    o[2] = 1;
    o[3] = kFrameAudio;
    put_u16(o + 6, payload);
}

void FrameWriter::key_frame(uint32_t packed_time, uint8_t frame_rate, const uint8_t *payload, size_t n) {
    uint8_t h[16];
    put_key_frame_header(h, packed_time, frame_rate, static_cast<uint32_t>(n));
    m_bytes.insert(m_bytes.end(), h, h + 16);
    m_bytes.insert(m_bytes.end(), payload, payload + n);
}

void FrameWriter::video_frame(const uint8_t *payload, size_t n) {
    uint8_t h[8];
    put_video_frame_header(h, static_cast<uint32_t>(n));
    m_bytes.insert(m_bytes.end(), h, h + 8);
    m_bytes.insert(m_bytes.end(), payload, payload + n);
}

void FrameWriter::audio_frame(const uint8_t *payload, size_t n) {
    n = std::min<size_t>(n, 0xFFFF);
    uint8_t h[8];
    put_audio_frame_header(h, static_cast<uint16_t>(n));
    m_bytes.insert(m_bytes.end(), h, h + 8);
    m_bytes.insert(m_bytes.end(), payload, payload + n);
}

FrameSequencer::FrameSequencer(const SyntheticStream &p, uint32_t start_time, uint32_t duration)
    : m_p(p), m_start(start_time), m_duration(duration), m_rng(p.seed ^ 0x5A17E5EEDull) {
    if (m_p.frame_rate == 0) m_p.frame_rate = 1;
    if (m_p.frame_rate > 255) m_p.frame_rate = 255;  // one byte in the key frame header
}

uint32_t FrameSequencer::jittered(uint32_t base, uint32_t max) {
    const uint64_t spread = static_cast<uint64_t>(base) * std::min<uint32_t>(m_p.jitter_percent, 100) / 100;
    uint64_t v = base;
    if (spread > 0) v = base - spread + splitmix64(&m_rng) % (2 * spread + 1);
    return static_cast<uint32_t>(std::clamp<uint64_t>(v, 1, max));
}

bool FrameSequencer::next(uint8_t *type, uint32_t *payload, uint32_t *second, uint32_t *index) {
    if (m_second >= m_duration) return false;
    if (m_audio_due > 0) {
        --m_audio_due;
        *type = kFrameAudio;
        *payload = jittered(m_p.audio_payload, 0xFFFF);
        *second = m_second;
        *index = m_video == 0 ? 0 : m_video - 1;
    } else {
        const uint32_t v = m_video;
        *type = v == 0 ? kFrameKey : kFrameVideo;
        *payload = v == 0 ? jittered(m_p.key_payload, kMaxFrameLength - kKeyHeaderSize)
                          : jittered(m_p.frame_payload, kMaxFrameLength - kFrameHeaderSize);
        *second = m_second;
        *index = v;
        const uint64_t fps = m_p.frame_rate, aps = m_p.audio_per_second;
        m_audio_due = static_cast<uint32_t>((v + 1) * aps / fps - v * aps / fps);
        ++m_video;
    }
    if (m_audio_due == 0 && m_video == m_p.frame_rate) {
        m_video = 0;
        ++m_second;
    }
    return true;
}

}  // namespace testimg
