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

FrameIndexResult BuildFrameIndex(const IndexReadFunc& readAt, int64_t nDataLen, size_t nChunk,
                                 const IndexStopFunc& stopRequested)
{
    FrameIndexResult result;
    if (nChunk <= kHeaderScan)
        nChunk = kIndexChunk;
    std::vector<uint8_t> chunk(nChunk);
    std::vector<IndexEntry>& entries = result.entries;
    int64_t pos = 0;
    uint32_t frames = 0;
    bool bEnded = false;

    while (!bEnded && nDataLen - pos >= int64_t(kHeaderScan)) {
        if (stopRequested && stopRequested()) {
            result.bStopped = true;
            break;
        }
        const size_t got = readAt(uint64_t(pos), chunk.data(), nChunk);
        if (got == 0) {
            // A read that returns nothing is the end of the readable data.
            nDataLen = pos;
            break;
        }
        const int64_t chunkStart = pos;
        size_t k = 0;
        while (k + kHeaderScan < got) {
            const uint8_t* p = chunk.data() + k;
            if (p[0] != 0 || p[1] != 0 || p[2] != 1) {
                if (nDataLen - pos < kTailWithoutFrame) {
                    nDataLen = pos;
                    bEnded = true;
                    break;
                }
                ++pos;
                ++k;
                continue;
            }
            uint64_t nLength = 0;
            bool bValid = false;
            switch (p[3]) {
            case kTypeKeyFrame: {
                nLength = 16u + uint64_t(load_u32(p + 12));
                bValid = valid_length(nLength);
                IndexEntry entry;
                entry.nOffset = uint64_t(pos);
                entry.nLength = uint32_t(std::min<uint64_t>(nLength, UINT32_MAX));
                entry.nFrameNo = frames;
                entry.nFrameRate = p[5];
                entry.nTime = load_u32(p + 8);
                ++frames;
                if (bValid) {
                    pos += int64_t(nLength);
                    k += size_t(nLength);
                    if (pos <= nDataLen && entries.size() < kIndexEntriesMax)
                        entries.push_back(entry);
                    continue;
                }
                break;
            }
            case kTypeVideoFrame:
                nLength = 8u + uint64_t(load_u32(p + 4));
                bValid = valid_length(nLength);
                if (bValid) {
                    pos += int64_t(nLength);
                    k += size_t(nLength);
                    if (!entries.empty() && pos <= nDataLen)
                        ++frames;
                    continue;
                }
                break;
            case kTypeAudioFrame:
                nLength = 8u + uint64_t(load_u16(p + 6));
                if (valid_length(nLength)) {
                    pos += int64_t(nLength);
                    k += size_t(nLength);
                    continue;
                }
                break;
            default:
                break;
            }
            ++pos;
            ++k;
        }
        if (!bEnded && pos == chunkStart) {
            // Too few bytes came back to hold a frame header: nothing more
            // can be read from here on.
            nDataLen = pos;
            break;
        }
    }
    if (!bEnded && !result.bStopped && nDataLen - pos < int64_t(kHeaderScan))
        nDataLen = std::min(nDataLen, pos);

    result.nDataLen = std::max<int64_t>(nDataLen, 0);
    result.nFrameCount = frames;
    if (result.bStopped || entries.empty() || entries.back().nFrameRate == 0) {
        entries.clear();
        return result;
    }
    const IndexEntry& last = entries.back();
    const uint32_t nEndTime = wfs_time_add(last.nTime, int64_t((frames - last.nFrameNo) / last.nFrameRate));
    result.nFirstTime = entries.front().nTime;
    result.nLastTime = nEndTime;
    IndexEntry closing;
    closing.nOffset = uint64_t(result.nDataLen);
    closing.nLength = 0;
    closing.nFrameNo = frames;
    closing.nFrameRate = 0;
    closing.nTime = nEndTime;
    entries.push_back(closing);
    result.bReady = true;
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
