// Recording data as a recorder writes it: a sequence of frames, each starting
// with 00 00 01 and a type byte.
//   0xFC video key frame, 16-byte header: byte 5 frame rate, bytes 8-11 the
//        packed time of the frame, bytes 12-15 payload length
//   0xFD video frame, 8-byte header: bytes 4-7 payload length
//   0xFA audio frame, 8-byte header: bytes 6-7 u16 payload length
// The bytes of the headers that the player does not read are written as 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testimg {

constexpr uint8_t kFrameKey = 0xFC;
constexpr uint8_t kFrameVideo = 0xFD;
constexpr uint8_t kFrameAudio = 0xFA;
constexpr uint32_t kKeyHeaderSize = 16;
constexpr uint32_t kFrameHeaderSize = 8;
constexpr uint32_t kMaxFrameLength = 512000;  // largest frame (header + payload) a player accepts

// Builds a frame stream from caller-supplied payloads (for example real
// H.264 access units), to hand to a recording as its data.
class FrameWriter {
public:
    void key_frame(uint32_t packed_time, uint8_t frame_rate, const uint8_t *payload, size_t n);
    void video_frame(const uint8_t *payload, size_t n);
    void audio_frame(const uint8_t *payload, size_t n);  // n <= 65535
    const std::vector<uint8_t> &bytes() const { return m_bytes; }
    std::vector<uint8_t> take() { return std::move(m_bytes); }

private:
    std::vector<uint8_t> m_bytes;
};

void put_key_frame_header(uint8_t out[16], uint32_t packed_time, uint8_t frame_rate, uint32_t payload);
void put_video_frame_header(uint8_t out[8], uint32_t payload);
void put_audio_frame_header(uint8_t out[8], uint16_t payload);

// Parameters of a generated stream: one key frame at the start of every
// second (carrying that second's packed time and the frame rate), frame_rate
// - 1 plain video frames after it, and audio frames spread evenly between
// the video frames. Payload sizes vary by up to +-jitter_percent around their
// base; payload bytes are pseudo-random from `seed`.
struct SyntheticStream {
    uint32_t frame_rate = 25;
    uint32_t key_payload = 1500;
    uint32_t frame_payload = 250;
    uint32_t audio_per_second = 8;
    uint32_t audio_payload = 160;
    uint32_t jitter_percent = 20;
    uint64_t seed = 1;
    uint32_t picture_bytes = 20000;  // size of a generated picture (JPEG-like bytes)
};

// One frame of a generated stream, as a player's indexer should find it.
struct FrameInfo {
    uint64_t offset = 0;      // from the start of the stream (after any header)
    uint32_t length = 0;      // header + payload
    uint8_t type = 0;         // kFrameKey, kFrameVideo, kFrameAudio
    uint32_t second = 0;      // second of the recording the frame belongs to
    uint32_t packed_time = 0; // key frames: the time in the header
};

// Walks the frames of a generated stream in order; used both to size a
// stream and to produce it, so the two always agree.
class FrameSequencer {
public:
    FrameSequencer(const SyntheticStream &p, uint32_t start_time, uint32_t duration);
    // Next frame's type and payload length; false at the end of the stream.
    bool next(uint8_t *type, uint32_t *payload, uint32_t *second, uint32_t *index_in_second);
    uint32_t start_time() const { return m_start; }

private:
    uint32_t jittered(uint32_t base, uint32_t max);
    SyntheticStream m_p;
    uint32_t m_start;
    uint32_t m_duration;
    uint32_t m_second = 0;
    uint32_t m_video = 0;        // video frames done in this second
    uint32_t m_audio_due = 0;    // audio frames to emit before the next video frame
    uint64_t m_rng;
};

// Deterministic 64-bit generator (splitmix64).
inline uint64_t splitmix64(uint64_t *state) {
    uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace testimg
