// Raw recording -> MP4. The video is copied as it is (H.264 or H.265), with
// timestamps from the key frames' frame rates and the parameter sets of the
// first key frame in the sample description; G.711 sound is re-encoded as
// AAC. Frames before the first key frame cannot be decoded and are left out.
// The MP4 is written under a temporary name beside the target and renamed
// into place only when it is complete, so a failed or cancelled conversion
// leaves no partial MP4 behind.
#pragma once

#include <atomic>
#include <functional>
#include <string>

namespace media {

struct ConvertSummary {
    int videoFrames = 0;
    int audioFrames = 0;
    int width = 0;
    int height = 0;
};

// Returns 0, or one of the negative TVConvertError codes. progress gets the
// percentage of the source read (0..99, each value at most once); cancel is
// polled between chunks.
int convert_recording_to_mp4(const std::string &src, const std::string &dst, const std::atomic<bool> &cancel,
                             const std::function<void(int)> &progress, ConvertSummary *summary = nullptr);

}  // namespace media
