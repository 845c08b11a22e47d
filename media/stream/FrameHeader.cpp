#include "media/stream/FrameHeader.h"

namespace media {

HeaderResult parse_frame_header(const uint8_t *p, size_t n, FrameHeader *out, uint32_t maxLength)
{
    static const uint8_t kStart[3] = {0, 0, 1};
    for (size_t i = 0; i < n && i < 3; ++i)
        if (p[i] != kStart[i])
            return HeaderResult::NotFrame;
    if (n < 4)
        return HeaderResult::NeedMore;
    FrameHeader h;
    h.type = p[3];
    uint64_t payload = 0;
    switch (h.type) {
    case kFrameKey:
        h.headerSize = kKeyHeaderSize;
        if (n < kKeyHeaderSize)
            return HeaderResult::NeedMore;
        h.frameRate = p[5];
        h.time = load_le32(p + 8);
        payload = load_le32(p + 12);
        break;
    case kFrameVideo:
        h.headerSize = kVideoHeaderSize;
        if (n < kVideoHeaderSize)
            return HeaderResult::NeedMore;
        payload = load_le32(p + 4);
        break;
    case kFrameAudio:
        h.headerSize = kAudioHeaderSize;
        if (n < kAudioHeaderSize)
            return HeaderResult::NeedMore;
        h.muLaw = p[4] == 1;
        payload = uint32_t(p[6]) | (uint32_t(p[7]) << 8);
        break;
    default:
        return HeaderResult::NotFrame;
    }
    uint64_t length = payload + h.headerSize;
    if (length < kMinFrameLength || length > maxLength)
        return HeaderResult::NotFrame;
    h.length = uint32_t(length);
    if (out)
        *out = h;
    return HeaderResult::Frame;
}

}  // namespace media
