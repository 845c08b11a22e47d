// The bytes of one recording, produced front to back as the recorder writes
// them: an optional stream header, the stream itself, and zero padding up to
// the next sector boundary. The same description always regenerates the same
// bytes, so a test can compare what a reader returns without the builder
// keeping the data of large images in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "tests/support/image/frame_stream.h"

namespace testimg {

enum class DataKind {
    Synthetic,  // generated frames (or a JPEG-like picture for picture recordings)
    Bytes,      // caller-supplied bytes
    Unwritten,  // `unwritten_bytes` of data that are never written (the clusters stay holes)
};

enum class HeaderKind {
    None,      // the stream starts at the recording's first byte; head_sectors 0
    Reserved,  // head_sectors = header_bytes / 512 in every directory record
    Dhii,      // first sector starts "DHII" + u32 header length; head_sectors 0
};

struct ContentPlan {
    DataKind kind = DataKind::Synthetic;
    SyntheticStream synthetic;
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    uint64_t unwritten_bytes = 0;
    HeaderKind header = HeaderKind::None;
    uint32_t header_bytes = 0;  // multiple of 512
    bool picture = false;
    uint32_t start_time = 0;    // packed
    uint32_t duration = 0;      // seconds
};

class RecordingContent {
public:
    explicit RecordingContent(const ContentPlan &plan);

    uint64_t header_size() const { return m_header; }
    uint64_t size() const { return m_header + m_stream; }  // header + stream, unpadded
    uint64_t sectors() const { return (size() + 511) / 512; }
    uint64_t position() const { return m_pos; }
    bool writes_data() const { return m_plan.kind != DataKind::Unwritten; }

    // The next n bytes (zeros past size()).
    void read(uint8_t *out, size_t n);
    // Seconds after the recording's start at which the byte at position()
    // was written (fractional; the end of the recording past the data).
    double next_byte_time() const;

    // The frames of a generated video stream, offsets counted from the
    // start of the stream (add header_size() for recording offsets).
    static std::vector<FrameInfo> list_frames(const ContentPlan &plan);

private:
    void fill_frame();
    void read_stream(uint8_t *out, size_t n);

    ContentPlan m_plan;
    uint64_t m_header = 0;
    uint64_t m_stream = 0;
    uint64_t m_pos = 0;
    // generated stream state
    std::unique_ptr<FrameSequencer> m_seq;
    std::vector<uint8_t> m_frame;
    size_t m_frame_pos = 0;
    double m_frame_time = 0;
    uint64_t m_payload_rng = 0;
    bool m_frames_done = false;
};

}  // namespace testimg
