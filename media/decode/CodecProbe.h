// Looks inside Annex B video payloads: which codec they carry and where
// their parameter sets are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace media {

enum class VideoCodec { Unknown, H264, H265 };

// Guesses the codec from the NAL unit headers of a payload: H.265 parameter
// sets or IRAP pictures mark H.265, H.264 parameter sets or IDR slices H.264.
VideoCodec probe_video_codec(const uint8_t *p, size_t n);

// What a payload of a known codec holds.
struct PayloadFacts {
    bool randomAccess = false;   // an IDR (H.264) or IRAP (H.265) picture: decoding may start here
    bool parameterSets = false;  // an SPS (H.264) or a VPS/SPS (H.265)
    int slices = 0;              // slices (H.264) or slice segments (H.265) of its picture
};
PayloadFacts inspect_payload(VideoCodec codec, const uint8_t *p, size_t n);

// The parameter-set NAL units of a key frame (H.264 SPS/PPS, H.265
// VPS/SPS/PPS), each with a 4-byte start code, in stream order.
std::vector<uint8_t> extract_parameter_sets(VideoCodec codec, const uint8_t *p, size_t n);

}  // namespace media
