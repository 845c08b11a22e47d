#include "media/decode/CodecProbe.h"

namespace media {

namespace {

// Calls fn(nal, size) for every NAL unit of an Annex B buffer.
template <typename Fn>
void for_each_nal(const uint8_t *p, size_t n, Fn fn)
{
    size_t i = 0;
    size_t start = SIZE_MAX;
    while (i + 3 <= n) {
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) {
            if (start != SIZE_MAX) {
                size_t end = i;
                while (end > start && p[end - 1] == 0)
                    --end;
                fn(p + start, end - start);
            }
            i += 3;
            start = i;
        } else {
            ++i;
        }
    }
    if (start != SIZE_MAX && start < n)
        fn(p + start, n - start);
}

}  // namespace

VideoCodec probe_video_codec(const uint8_t *p, size_t n)
{
    int h264 = 0, h265 = 0;
    for_each_nal(p, n, [&](const uint8_t *nal, size_t size) {
        if (size < 2 || (nal[0] & 0x80))
            return;
        int t265 = (nal[0] >> 1) & 0x3F;
        bool layer0 = (nal[0] & 1) == 0 && (nal[1] >> 3) == 0 && (nal[1] & 7) != 0;
        if (layer0 && ((t265 >= 32 && t265 <= 34) || (t265 >= 16 && t265 <= 21)))
            ++h265;
        int t264 = nal[0] & 0x1F;
        if (t264 == 7 || t264 == 8 || t264 == 5)
            ++h264;
    });
    if (h265 > h264)
        return VideoCodec::H265;
    if (h264 > 0)
        return VideoCodec::H264;
    return VideoCodec::Unknown;
}

PayloadFacts inspect_payload(VideoCodec codec, const uint8_t *p, size_t n)
{
    PayloadFacts facts;
    for_each_nal(p, n, [&](const uint8_t *nal, size_t size) {
        if (size < 2 || (nal[0] & 0x80))
            return;
        if (codec == VideoCodec::H265) {
            const int t = (nal[0] >> 1) & 0x3F;
            if (t <= 31)
                ++facts.slices;
            if (t >= 16 && t <= 23)
                facts.randomAccess = true;
            if (t == 32 || t == 33)
                facts.parameterSets = true;
        } else if (codec == VideoCodec::H264) {
            const int t = nal[0] & 0x1F;
            if (t >= 1 && t <= 5)
                ++facts.slices;
            if (t == 5)
                facts.randomAccess = true;
            if (t == 7)
                facts.parameterSets = true;
        }
    });
    return facts;
}

std::vector<uint8_t> extract_parameter_sets(VideoCodec codec, const uint8_t *p, size_t n)
{
    std::vector<uint8_t> out;
    for_each_nal(p, n, [&](const uint8_t *nal, size_t size) {
        if (size < 2)
            return;
        bool take = codec == VideoCodec::H265 ? (((nal[0] >> 1) & 0x3F) >= 32 && ((nal[0] >> 1) & 0x3F) <= 34)
                                              : ((nal[0] & 0x1F) == 7 || (nal[0] & 0x1F) == 8);
        if (!take)
            return;
        static const uint8_t sc[4] = {0, 0, 0, 1};
        out.insert(out.end(), sc, sc + 4);
        out.insert(out.end(), nal, nal + size);
    });
    return out;
}

}  // namespace media
