// Compressed media for the simulated recorder: H.264 or H.265 video
// (libx264 or libx265 through libavcodec, one IDR picture per second with its
// parameter sets in band), JPEG pictures, and G.711 A-law sound.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "picture.h"

namespace mkdisk {

class VideoEncoder {
public:
    VideoEncoder();
    ~VideoEncoder();
    // Opens an encoder ("libx264" or "libx265") for width x height at `fps`
    // frames a second, at an average of `bitrate_kbps` (0 = constant quality
    // at most 256 kbit/s). False (with *err set) when the codec cannot be
    // opened.
    bool open(const char *codec_name, int width, int height, int fps, int bitrate_kbps, std::string *err);
    // Encodes one picture; `key` forces an IDR picture. The access unit in
    // Annex B form (empty when the encoder kept the picture back).
    bool encode(const Picture &pic, bool key, std::vector<uint8_t> *out, std::string *err);

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// A JPEG of the picture, or empty on failure.
std::vector<uint8_t> encode_jpeg(const Picture &pic, std::string *err);

// `samples` G.711 A-law samples of a sine tone of `hz` at 8000 Hz, from
// sample number `first` on (so that consecutive blocks join smoothly).
std::vector<uint8_t> alaw_tone(double hz, uint64_t first, uint32_t samples);

// G.711 A-law code of a 16-bit linear sample.
uint8_t linear_to_alaw(int16_t sample);

}  // namespace mkdisk
