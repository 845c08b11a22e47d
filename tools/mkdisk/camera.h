// One simulated camera channel: produces a second of recording data at a
// time, in the recorder's frame format (every frame starts 00 00 01 and a
// type byte, little-endian fields):
//   0xFC key frame, 16-byte header: byte 5 frame rate, bytes 8-11 the
//        packed time of the second, bytes 12-15 payload length
//   0xFD video frame, 8-byte header: bytes 4-7 payload length
//   0xFA audio frame, 8-byte header: bytes 6-7 payload length
// The payloads are H.264 or H.265 access units (an IDR picture with its
// parameter sets once a second) and G.711 A-law sound.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder.h"
#include "picture.h"

namespace mkdisk {

const uint8_t kFrameKey = 0xFC;
const uint8_t kFrameVideo = 0xFD;
const uint8_t kFrameAudio = 0xFA;
const uint32_t kKeyHeaderSize = 16;
const uint32_t kFrameHeaderSize = 8;
// Sound blocks per second (1000 A-law samples each).
const uint32_t kAudioBlocksPerSecond = 8;
// The longest frame a recorder writes (and a reader accepts), header included.
const uint32_t kMaxFrameBytes = 512000;

void put_key_header(uint8_t out[16], uint8_t frame_rate, uint32_t packed_time, uint32_t payload);
void put_video_header(uint8_t out[8], uint32_t payload);
void put_audio_header(uint8_t out[8], uint16_t payload);

struct CameraConfig {
    int channel = 0;     // 0-based
    int width = 352;
    int height = 288;
    int fps = 10;
    int bitrate_kbps = 0;        // 0 = constant quality (see VideoEncoder::open)
    bool audio = true;
    bool grain = false;          // sensor noise in every picture
    uint32_t seed = 1;           // of the noise
    std::string codec = "libx264";
};

class Camera {
public:
    bool open(const CameraConfig &cfg, std::string *err);
    // The frames of the second that starts at `packed_time` (its key frame
    // carries that time). Appended to *out.
    bool second(uint32_t packed_time, std::vector<uint8_t> *out, std::string *err);
    // A still picture (JPEG) of the moment.
    std::vector<uint8_t> still(uint32_t packed_time, std::string *err);

private:
    std::vector<std::string> caption(uint32_t packed_time) const;
    CameraConfig m_cfg;
    VideoEncoder m_enc;
    Picture m_pic;
    uint64_t m_samples = 0;
    uint64_t m_frames = 0;
};

}  // namespace mkdisk
