#include "tests/support/image/recording_content.h"

#include <algorithm>
#include <cstring>

#include "tests/support/image/le_bytes.h"
#include "tests/support/image/packed_time.h"

namespace testimg {

namespace {

constexpr uint8_t kJpegStart[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00,
                                  0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
constexpr uint8_t kJpegEnd[] = {0xFF, 0xD9};

bool is_generated_video(const ContentPlan &s) { return s.kind == DataKind::Synthetic && !s.picture; }

void fill_random(uint64_t *rng, uint8_t *p, size_t n) {
    while (n >= 8) {
        put_u64(p, splitmix64(rng));
        p += 8;
        n -= 8;
    }
    if (n > 0) {
        uint64_t v = splitmix64(rng);
        for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

}  // namespace

RecordingContent::RecordingContent(const ContentPlan &plan) : m_plan(plan) {
    m_header = plan.header == HeaderKind::None ? 0 : plan.header_bytes;
    switch (plan.kind) {
    case DataKind::Bytes:
        m_stream = plan.bytes ? plan.bytes->size() : 0;
        break;
    case DataKind::Unwritten:
        m_stream = plan.unwritten_bytes;
        break;
    case DataKind::Synthetic:
        if (plan.picture) {
            m_stream = std::max<uint32_t>(plan.synthetic.picture_bytes, sizeof kJpegStart + sizeof kJpegEnd);
        } else {
            FrameSequencer seq(plan.synthetic, plan.start_time, plan.duration);
            uint8_t type;
            uint32_t payload, second, index;
            while (seq.next(&type, &payload, &second, &index))
                m_stream += payload + (type == kFrameKey ? kKeyHeaderSize : kFrameHeaderSize);
        }
        break;
    }
    if (is_generated_video(plan)) m_seq = std::make_unique<FrameSequencer>(plan.synthetic, plan.start_time, plan.duration);
    m_payload_rng = plan.synthetic.seed;
}

void RecordingContent::fill_frame() {
    m_frame.clear();
    m_frame_pos = 0;
    uint8_t type;
    uint32_t payload, second, index;
    if (!m_seq->next(&type, &payload, &second, &index)) {
        m_frames_done = true;
        return;
    }
    const uint32_t fps = std::max<uint32_t>(1, std::min<uint32_t>(m_plan.synthetic.frame_rate, 255));
    m_frame_time = second + static_cast<double>(index) / fps;
    const uint32_t head = type == kFrameKey ? kKeyHeaderSize : kFrameHeaderSize;
    m_frame.resize(head + payload);
    if (type == kFrameKey)
        put_key_frame_header(m_frame.data(), packed_add(m_plan.start_time, second), static_cast<uint8_t>(fps), payload);
    else if (type == kFrameVideo)
        put_video_frame_header(m_frame.data(), payload);
    else
        put_audio_frame_header(m_frame.data(), static_cast<uint16_t>(payload));
    fill_random(&m_payload_rng, m_frame.data() + head, payload);
}

void RecordingContent::read_stream(uint8_t *out, size_t n) {
    // n bytes of the stream starting at stream offset m_pos - m_header
    const uint64_t off = m_pos - m_header;
    switch (m_plan.kind) {
    case DataKind::Bytes:
        std::memcpy(out, m_plan.bytes->data() + off, n);
        return;
    case DataKind::Unwritten:
        std::memset(out, 0, n);
        return;
    case DataKind::Synthetic:
        break;
    }
    if (m_plan.picture) {
        // JPEG-like: SOI/APP0 at the start, EOI at the end, random in between.
        uint64_t rng = m_plan.synthetic.seed;
        for (size_t i = 0; i < n; ++i) {
            const uint64_t o = off + i;
            if (o < sizeof kJpegStart) {
                out[i] = kJpegStart[o];
            } else if (o >= m_stream - sizeof kJpegEnd) {
                out[i] = kJpegEnd[o - (m_stream - sizeof kJpegEnd)];
            } else {
                uint64_t s = rng ^ (o / 8);
                out[i] = static_cast<uint8_t>(splitmix64(&s) >> (8 * (o % 8)));
            }
        }
        return;
    }
    size_t done = 0;
    while (done < n) {
        if (m_frame_pos >= m_frame.size()) {
            fill_frame();
            if (m_frames_done) {  // cannot happen while n stays within the sized stream
                std::memset(out + done, 0, n - done);
                return;
            }
        }
        const size_t k = std::min(n - done, m_frame.size() - m_frame_pos);
        std::memcpy(out + done, m_frame.data() + m_frame_pos, k);
        m_frame_pos += k;
        done += k;
    }
}

void RecordingContent::read(uint8_t *out, size_t n) {
    while (n > 0) {
        size_t k;
        if (m_pos < m_header) {
            k = static_cast<size_t>(std::min<uint64_t>(n, m_header - m_pos));
            std::memset(out, 0, k);
            if (m_plan.header == HeaderKind::Dhii) {
                static const uint8_t magic[4] = {'D', 'H', 'I', 'I'};
                uint8_t first[8];
                std::memcpy(first, magic, 4);
                put_u32(first + 4, m_plan.header_bytes);
                for (size_t i = 0; i < k; ++i)
                    if (m_pos + i < 8) out[i] = first[m_pos + i];
            }
        } else if (m_pos < size()) {
            k = static_cast<size_t>(std::min<uint64_t>(n, size() - m_pos));
            read_stream(out, k);
        } else {
            k = n;
            std::memset(out, 0, k);
        }
        out += k;
        n -= k;
        m_pos += k;
    }
}

double RecordingContent::next_byte_time() const {
    if (m_pos < m_header || m_stream == 0) return 0;
    if (m_pos >= size()) return m_plan.duration;
    if (m_plan.picture) return 0;
    if (is_generated_video(m_plan)) {
        // the frame holding the next byte: the current one unless it is used up
        if (m_frame_pos < m_frame.size()) return m_frame_time;
        // the next frame starts here; peek at its time without consuming it
        FrameSequencer peek = *m_seq;
        uint8_t type;
        uint32_t payload, second, index;
        if (!peek.next(&type, &payload, &second, &index)) return m_plan.duration;
        const uint32_t fps = std::max<uint32_t>(1, std::min<uint32_t>(m_plan.synthetic.frame_rate, 255));
        return second + static_cast<double>(index) / fps;
    }
    return static_cast<double>(m_plan.duration) * static_cast<double>(m_pos - m_header) / static_cast<double>(m_stream);
}

std::vector<FrameInfo> RecordingContent::list_frames(const ContentPlan &plan) {
    std::vector<FrameInfo> out;
    if (!is_generated_video(plan)) return out;
    FrameSequencer seq(plan.synthetic, plan.start_time, plan.duration);
    uint8_t type;
    uint32_t payload, second, index;
    uint64_t off = 0;
    while (seq.next(&type, &payload, &second, &index)) {
        FrameInfo f;
        f.offset = off;
        f.type = type;
        f.length = payload + (type == kFrameKey ? kKeyHeaderSize : kFrameHeaderSize);
        f.second = second;
        if (type == kFrameKey) f.packed_time = packed_add(plan.start_time, second);
        out.push_back(f);
        off += f.length;
    }
    return out;
}

}  // namespace testimg
