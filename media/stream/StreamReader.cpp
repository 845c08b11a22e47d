#include "media/stream/StreamReader.h"

#include "media/common/PackedTime.h"
#include "media/stream/FrameHeader.h"

#include <cstring>
#include <new>
#include <vector>

static_assert(offsetof(StreamFrame, pData) == 0, "frame record layout");
static_assert(offsetof(StreamFrame, nLength) == 16, "frame record layout");
static_assert(offsetof(StreamFrame, nType) == 24, "frame record layout");
static_assert(offsetof(StreamFrame, nYear) == 36, "frame record layout");
static_assert(offsetof(StreamFrame, nMonth) == 40, "frame record layout");
static_assert(offsetof(StreamFrame, nDay) == 44, "frame record layout");
static_assert(offsetof(StreamFrame, nHour) == 48, "frame record layout");
static_assert(offsetof(StreamFrame, nMinute) == 52, "frame record layout");
static_assert(offsetof(StreamFrame, nSecond) == 56, "frame record layout");
static_assert(offsetof(StreamFrame, nFrameRate) == 64, "frame record layout");

struct StreamReaderState {
    std::vector<uint8_t> buf;
    size_t pos = 0;              // first byte not yet consumed
    uint32_t groupTime = 0;      // packed time of the last key frame
    uint32_t groupRate = 0;      // its frame rate
    StreamFrame frame{};
};

namespace {

// Drops consumed bytes once they make up most of the buffer, so a reader fed
// for hours holds only what has not been returned yet.
void compact(StreamReaderState *s)
{
    if (s->pos == 0)
        return;
    if (s->pos == s->buf.size()) {
        s->buf.clear();
        s->pos = 0;
    } else if (s->pos >= 65536 && s->pos * 2 >= s->buf.size()) {
        s->buf.erase(s->buf.begin(), s->buf.begin() + std::ptrdiff_t(s->pos));
        s->pos = 0;
    }
}

}  // namespace

StreamReaderHandle StreamReader_Create()
{
    return new (std::nothrow) StreamReaderState;
}

int StreamReader_PushData(StreamReaderHandle h, const uint8_t *data, size_t length)
{
    if (!h || (!data && length))
        return -1;
    compact(h);
    h->buf.insert(h->buf.end(), data, data + length);
    return 0;
}

const StreamFrame *StreamReader_GetNextFrame(StreamReaderHandle h)
{
    if (!h)
        return nullptr;
    compact(h);
    const uint8_t *base = h->buf.data();
    const size_t size = h->buf.size();
    while (h->pos < size) {
        media::FrameHeader fh;
        const uint8_t *p = base + h->pos;
        size_t avail = size - h->pos;
        media::HeaderResult r = media::parse_frame_header(p, avail, &fh);
        if (r == media::HeaderResult::NotFrame) {
            // Skip to the next byte that could begin a start code.
            const void *z = std::memchr(p + 1, 0, avail - 1);
            h->pos = z ? size_t(static_cast<const uint8_t *>(z) - base) : size;
            continue;
        }
        if (r == media::HeaderResult::NeedMore || avail < fh.length)
            return nullptr;
        StreamFrame &f = h->frame;
        f = StreamFrame{};
        f.pData = p;
        f.nLength = fh.length;
        if (fh.type == media::kFrameKey) {
            h->groupTime = fh.time;
            h->groupRate = fh.frameRate;
            f.nKeyFrame = 1;
        }
        f.nType = fh.type == media::kFrameAudio ? STREAM_FRAME_AUDIO : STREAM_FRAME_VIDEO;
        f.nMuLaw = fh.muLaw ? 1 : 0;
        f.nFrameRate = h->groupRate;
        f.nPackedTime = h->groupTime;
        media::LocalTime lt = media::unpack_time(h->groupTime);
        f.nYear = uint32_t(lt.year);
        f.nMonth = uint32_t(lt.month);
        f.nDay = uint32_t(lt.day);
        f.nHour = uint32_t(lt.hour);
        f.nMinute = uint32_t(lt.minute);
        f.nSecond = uint32_t(lt.second);
        h->pos += fh.length;
        return &f;
    }
    return nullptr;
}

size_t StreamReader_Pending(StreamReaderHandle h)
{
    return h ? h->buf.size() - h->pos : 0;
}

void StreamReader_Destroy(StreamReaderHandle h)
{
    delete h;
}
