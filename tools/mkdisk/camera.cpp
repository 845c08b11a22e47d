#include "camera.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace mkdisk {

namespace {

void st32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

void start_code(uint8_t *p, uint8_t type)
{
    p[0] = 0;
    p[1] = 0;
    p[2] = 1;
    p[3] = type;
}

}  // namespace

void put_key_header(uint8_t out[16], uint8_t frame_rate, uint32_t packed_time, uint32_t payload)
{
    std::memset(out, 0, 16);
    start_code(out, kFrameKey);
    out[5] = frame_rate;
    st32(out + 8, packed_time);
    st32(out + 12, payload);
}

void put_video_header(uint8_t out[8], uint32_t payload)
{
    std::memset(out, 0, 8);
    start_code(out, kFrameVideo);
    st32(out + 4, payload);
}

void put_audio_header(uint8_t out[8], uint16_t payload)
{
    std::memset(out, 0, 8);
    start_code(out, kFrameAudio);
    out[6] = uint8_t(payload);
    out[7] = uint8_t(payload >> 8);
}

bool Camera::open(const CameraConfig &cfg, std::string *err)
{
    m_cfg = cfg;
    m_pic = make_picture(cfg.width, cfg.height);
    return m_enc.open(cfg.codec.c_str(), cfg.width, cfg.height, cfg.fps, cfg.bitrate_kbps, err);
}

std::vector<std::string> Camera::caption(uint32_t t) const
{
    char ch[16], date[16], tod[16];
    std::snprintf(ch, sizeof ch, "CH %02d", m_cfg.channel + 1);
    std::snprintf(date, sizeof date, "%04u-%02u-%02u", (t >> 26) + 2000u, (t >> 22) & 0xFu, (t >> 17) & 0x1Fu);
    std::snprintf(tod, sizeof tod, "%02u:%02u:%02u", (t >> 12) & 0x1Fu, (t >> 6) & 0x3Fu, t & 0x3Fu);
    return {ch, date, tod};
}

bool Camera::second(uint32_t packed_time, std::vector<uint8_t> *out, std::string *err)
{
    const std::vector<std::string> lines = caption(packed_time);
    const int fps = m_cfg.fps;
    uint32_t audio_done = 0;
    std::vector<uint8_t> au;
    for (int f = 0; f < fps; ++f) {
        draw_picture(&m_pic, m_cfg.channel, lines, f, fps);
        if (m_cfg.grain)
            add_grain(&m_pic, m_cfg.seed * 2654435761u ^ uint32_t(m_cfg.channel) * 40503u ^ uint32_t(m_frames));
        ++m_frames;
        if (!m_enc.encode(m_pic, f == 0, &au, err))
            return false;
        if (au.empty())
            continue;
        const uint32_t header = f == 0 ? kKeyHeaderSize : kFrameHeaderSize;
        if (au.size() + header > kMaxFrameBytes) {
            *err = "a picture of " + std::to_string(au.size()) + " bytes does not fit a recorder frame (" +
                   std::to_string(kMaxFrameBytes) + " bytes with its header): lower --bitrate";
            return false;
        }
        uint8_t head[16];
        if (f == 0) {
            put_key_header(head, static_cast<uint8_t>(fps), packed_time, static_cast<uint32_t>(au.size()));
            out->insert(out->end(), head, head + kKeyHeaderSize);
        } else {
            put_video_header(head, static_cast<uint32_t>(au.size()));
            out->insert(out->end(), head, head + kFrameHeaderSize);
        }
        out->insert(out->end(), au.begin(), au.end());
        // Sound follows the pictures, spread evenly over the second.
        uint32_t audio_due = m_cfg.audio ? kAudioBlocksPerSecond * uint32_t(f + 1) / uint32_t(fps) : 0;
        for (; audio_done < audio_due; ++audio_done) {
            const uint32_t n = 8000 / kAudioBlocksPerSecond;
            std::vector<uint8_t> pcm = alaw_tone(440.0 + 110.0 * m_cfg.channel, m_samples, n);
            m_samples += n;
            put_audio_header(head, static_cast<uint16_t>(n));
            out->insert(out->end(), head, head + kFrameHeaderSize);
            out->insert(out->end(), pcm.begin(), pcm.end());
        }
    }
    return true;
}

std::vector<uint8_t> Camera::still(uint32_t packed_time, std::string *err)
{
    draw_picture(&m_pic, m_cfg.channel, caption(packed_time), 0, 1);
    return encode_jpeg(m_pic, err);
}

}  // namespace mkdisk
