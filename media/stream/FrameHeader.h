// Frame headers of the recorder's stream data.
//
// A recording is a plain sequence of frames; each starts with 00 00 01 and a
// type byte (all integers little-endian):
//
//   0xFC  video key frame, 16-byte header
//         byte 5      frame rate (frames per second)
//         bytes 8-11  packed local time of the frame (see PackedTime.h)
//         bytes 12-15 payload length
//   0xFD  other video frame, 8-byte header
//         bytes 4-7   payload length
//   0xFA  audio frame, 8-byte header
//         byte 4      sound encoding: 1 = G.711 mu-law, anything else A-law
//         bytes 6-7   payload length (u16)
//
// The payload of a video frame is an Annex B elementary stream (H.264 or
// H.265); the payload of an audio frame is 8 kHz mono G.711.
#pragma once

#include <cstddef>
#include <cstdint>

namespace media {

enum : uint8_t {
    kFrameKey = 0xFC,
    kFrameVideo = 0xFD,
    kFrameAudio = 0xFA,
};

constexpr size_t kKeyHeaderSize = 16;
constexpr size_t kVideoHeaderSize = 8;
constexpr size_t kAudioHeaderSize = 8;
// Whole frames (header included) shorter or longer than this are not frames.
constexpr uint32_t kMinFrameLength = 5;
constexpr uint32_t kMaxFrameLength = 512000;

enum class HeaderResult {
    Frame,      // a frame of a known type with a valid length
    NeedMore,   // looks like a frame start but the header is not complete yet
    NotFrame,   // no frame starts here
};

struct FrameHeader {
    uint8_t type = 0;            // kFrameKey, kFrameVideo or kFrameAudio
    uint32_t headerSize = 0;
    uint32_t length = 0;         // whole frame, header included
    uint32_t frameRate = 0;      // key frames only
    uint32_t time = 0;           // key frames only (packed)
    bool muLaw = false;          // audio frames only
};

// Reads the header at p (n bytes available). A frame start whose length is
// out of range (kMinFrameLength..maxLength) is NotFrame, so that a scan goes
// on one byte further.
HeaderResult parse_frame_header(const uint8_t *p, size_t n, FrameHeader *out,
                                uint32_t maxLength = kMaxFrameLength);

inline uint32_t load_le32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace media
