#include "app/play/FrameIndex.h"

#include "wfs/file/wfs_time.h"

#include <algorithm>

namespace {

enum : uint8_t { kTypeKeyFrame = 0xFC, kTypeVideoFrame = 0xFD, kTypeAudioFrame = 0xFA };
enum : size_t { kHeaderScan = 16 };
// Without a frame start this close to the end, the rest is trailing garbage.
enum : int64_t { kTailWithoutFrame = 1024 };

uint32_t load_u32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint16_t load_u16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

bool valid_length(uint64_t nLength)
{
    return nLength >= kFrameLengthMin && nLength <= kFrameLengthMax;
}

} // namespace

uint32_t PackedSecondsOfDay(uint32_t nTime)
{
    return wfs_time_hour(nTime) * 3600u + wfs_time_minute(nTime) * 60u + wfs_time_second(nTime);
}

namespace {

// Where a scan stands: byte position, video frames counted, the usable data
// length found so far.
struct IndexScan
{
    std::vector<IndexEntry>* pEntries;
    int64_t nDataLen;
    int64_t pos = 0;
    uint32_t frames = 0;
    bool bEnded = false;  // the data ends before its length (trailing garbage)
};

bool is_frame_start(const uint8_t* p)
{
    return p[0] == 0 && p[1] == 0 && p[2] == 1;
}

// The frame header at scan.pos (p): counts it and indexes a key frame.
// Returns how far the scan moves on: the frame's length, or 1 when the header
// is of no known type or gives a length out of range.
uint64_t scan_frame(IndexScan& scan, const uint8_t* p)
{
    std::vector<IndexEntry>& entries = *scan.pEntries;
    switch (p[3]) {
    case kTypeKeyFrame: {
        const uint64_t nLength = 16u + uint64_t(load_u32(p + 12));
        IndexEntry entry;
        entry.nOffset = uint64_t(scan.pos);
        entry.nLength = uint32_t(std::min<uint64_t>(nLength, UINT32_MAX));
        entry.nFrameNo = scan.frames;
        entry.nFrameRate = p[5];
        entry.nTime = load_u32(p + 8);
        // Counted even when its length is out of range, but not indexed.
        ++scan.frames;
        if (!valid_length(nLength))
            return 1;
        if (scan.pos + int64_t(nLength) <= scan.nDataLen && entries.size() < kIndexEntriesMax)
            entries.push_back(entry);
        return nLength;
    }
    case kTypeVideoFrame: {
        const uint64_t nLength = 8u + uint64_t(load_u32(p + 4));
        if (!valid_length(nLength))
            return 1;
        if (!entries.empty() && scan.pos + int64_t(nLength) <= scan.nDataLen)
            ++scan.frames;
        return nLength;
    }
    case kTypeAudioFrame: {
        const uint64_t nLength = 8u + uint64_t(load_u16(p + 6));
        return valid_length(nLength) ? nLength : 1;
    }
    default:
        return 1;
    }
}

// One chunk of got bytes read at scan.pos, up to the last place a whole
// frame header fits. Bytes that start no frame are stepped over one at a
// time; without a frame start in the last 1023 bytes the data ends there.
void scan_chunk(IndexScan& scan, const uint8_t* pChunk, size_t got)
{
    size_t k = 0;
    while (k + kHeaderScan < got) {
        const uint8_t* p = pChunk + k;
        if (!is_frame_start(p)) {
            if (scan.nDataLen - scan.pos < kTailWithoutFrame) {
                scan.nDataLen = scan.pos;
                scan.bEnded = true;
                return;
            }
            ++scan.pos;
            ++k;
            continue;
        }
        const uint64_t nStep = scan_frame(scan, p);
        scan.pos += int64_t(nStep);
        k += size_t(nStep);
    }
}

// The figures of the index: usable when it holds a key frame and the last
// one has a frame rate, which gives the end time; the closing entry
// {data length, 0, frames, 0, end time} is appended then.
void finish_index(const IndexScan& scan, FrameIndexResult& result)
{
    std::vector<IndexEntry>& entries = result.entries;
    result.nDataLen = std::max<int64_t>(scan.nDataLen, 0);
    result.nFrameCount = scan.frames;
    if (result.bStopped || entries.empty() || entries.back().nFrameRate == 0) {
        entries.clear();
        return;
    }
    const IndexEntry& last = entries.back();
    const uint32_t nEndTime =
        wfs_time_add(last.nTime, int64_t((scan.frames - last.nFrameNo) / last.nFrameRate));
    result.nFirstTime = entries.front().nTime;
    result.nLastTime = nEndTime;
    IndexEntry closing;
    closing.nOffset = uint64_t(result.nDataLen);
    closing.nLength = 0;
    closing.nFrameNo = scan.frames;
    closing.nFrameRate = 0;
    closing.nTime = nEndTime;
    entries.push_back(closing);
    result.bReady = true;
}

} // namespace

FrameIndexResult BuildFrameIndex(const IndexReadFunc& readAt, int64_t nDataLen, size_t nChunk,
                                 const IndexStopFunc& stopRequested)
{
    FrameIndexResult result;
    if (nChunk <= kHeaderScan)
        nChunk = kIndexChunk;
    std::vector<uint8_t> chunk(nChunk);
    IndexScan scan;
    scan.pEntries = &result.entries;
    scan.nDataLen = nDataLen;

    while (!scan.bEnded && scan.nDataLen - scan.pos >= int64_t(kHeaderScan)) {
        if (stopRequested && stopRequested()) {
            result.bStopped = true;
            break;
        }
        const size_t got = readAt(uint64_t(scan.pos), chunk.data(), nChunk);
        if (got == 0) {
            // A read that returns nothing is the end of the readable data.
            scan.nDataLen = scan.pos;
            break;
        }
        const int64_t chunkStart = scan.pos;
        scan_chunk(scan, chunk.data(), got);
        if (!scan.bEnded && scan.pos == chunkStart) {
            // Too few bytes came back to hold a frame header: nothing more
            // can be read from here on.
            scan.nDataLen = scan.pos;
            break;
        }
    }
    if (!scan.bEnded && !result.bStopped && scan.nDataLen - scan.pos < int64_t(kHeaderScan))
        scan.nDataLen = std::min(scan.nDataLen, scan.pos);

    finish_index(scan, result);
    return result;
}

int FindSeekEntry(const std::vector<IndexEntry>& entries, bool bByFrame, uint32_t nTarget)
{
    int taken = -1;
    for (size_t i = 0; i < entries.size(); ++i) {
        const uint32_t key = bByFrame ? entries[i].nFrameNo : PackedSecondsOfDay(entries[i].nTime);
        if (key == nTarget) {
            taken = int(i);
            break;
        }
        if (key > nTarget)
            break;
        taken = int(i);
    }
    return taken;
}
