// The frame index of recording data, and what the play channel reads from
// recording path names.

#include "app/play/FrameIndex.h"
#include "app/play/PlayPaths.h"
#include "tests/support/media/TestStream.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

// Reads from a byte vector, as a file would.
IndexReadFunc vectorReader(const std::vector<uint8_t>& data)
{
    return [&data](uint64_t pos, uint8_t* buf, size_t n) -> size_t {
        if (pos >= data.size())
            return 0;
        const size_t count = std::min<size_t>(n, data.size() - size_t(pos));
        std::memcpy(buf, data.data() + pos, count);
        return count;
    };
}

IndexStopFunc never()
{
    return [] { return false; };
}

const testmedia::Recording& knownRecording()
{
    static const testmedia::Recording rec = [] {
        testmedia::StreamParams p;
        p.width = 176;
        p.height = 144;
        p.fps = 25;
        p.seconds = 4.0;
        p.audio = true;
        p.startTime = testmedia::packTime(2024, 5, 1, 23, 59, 58);
        return testmedia::makeRecording(p);
    }();
    return rec;
}

void appendKeyHeader(std::vector<uint8_t>& out, uint32_t time, uint8_t fps, uint32_t payload)
{
    const size_t at = out.size();
    out.resize(at + 16, 0);
    out[at + 2] = 1;
    out[at + 3] = 0xFC;
    out[at + 5] = fps;
    for (int i = 0; i < 4; ++i) {
        out[at + 8 + i] = uint8_t(time >> (8 * i));
        out[at + 12 + i] = uint8_t(payload >> (8 * i));
    }
}

void appendVideoHeader(std::vector<uint8_t>& out, uint32_t payload)
{
    const size_t at = out.size();
    out.resize(at + 8, 0);
    out[at + 2] = 1;
    out[at + 3] = 0xFD;
    for (int i = 0; i < 4; ++i)
        out[at + 4 + i] = uint8_t(payload >> (8 * i));
}

} // namespace

TEST(FrameIndex, RealStreamGivesTimesFramesAndOffsets)
{
    const testmedia::Recording& rec = knownRecording();
    ASSERT_TRUE(rec.error.empty()) << rec.error;
    ASSERT_EQ(rec.keyFrames, 4);

    for (size_t chunk : {size_t(kIndexChunk), size_t(kIndexChunkSync), size_t(4096)}) {
        SCOPED_TRACE(chunk);
        const FrameIndexResult r = BuildFrameIndex(vectorReader(rec.data), int64_t(rec.data.size()), chunk, never());
        ASSERT_TRUE(r.bReady);
        EXPECT_EQ(r.nFrameCount, uint32_t(rec.videoFrames));
        EXPECT_EQ(r.nDataLen, int64_t(rec.data.size()));
        EXPECT_EQ(r.nFirstTime, rec.keyTimes.front());
        // The last key frame's group runs one more second; the recording
        // passes midnight, so its end is on the next day.
        EXPECT_EQ(r.nLastTime, testmedia::packTime(2024, 5, 2, 0, 0, 2));
        ASSERT_EQ(r.entries.size(), size_t(rec.keyFrames) + 1);
        for (int i = 0; i < rec.keyFrames; ++i) {
            const IndexEntry& e = r.entries[size_t(i)];
            EXPECT_EQ(e.nTime, rec.keyTimes[size_t(i)]);
            EXPECT_EQ(e.nFrameNo, uint32_t(i * 25));
            EXPECT_EQ(e.nFrameRate, 25u);
            ASSERT_LT(e.nOffset + 3, rec.data.size());
            EXPECT_EQ(rec.data[e.nOffset + 3], 0xFC);
        }
        const IndexEntry& closing = r.entries.back();
        EXPECT_EQ(closing.nOffset, rec.data.size());
        EXPECT_EQ(closing.nLength, 0u);
        EXPECT_EQ(closing.nFrameNo, uint32_t(rec.videoFrames));
        EXPECT_EQ(closing.nTime, r.nLastTime);
    }
}

TEST(FrameIndex, DamagedDataIsSkippedOrEndsTheData)
{
    const testmedia::Recording& rec = knownRecording();
    ASSERT_TRUE(rec.error.empty());

    // Garbage in front and between frames is stepped over byte by byte.
    std::vector<uint8_t> data(3000 + rec.data.size(), 0x55);
    std::copy(rec.data.begin(), rec.data.end(), data.begin() + 3000);
    FrameIndexResult r = BuildFrameIndex(vectorReader(data), int64_t(data.size()), kIndexChunk, never());
    ASSERT_TRUE(r.bReady);
    EXPECT_EQ(r.entries.front().nOffset, 3000u);
    EXPECT_EQ(r.nFrameCount, uint32_t(rec.videoFrames));

    // Trailing bytes without a frame start (less than 1024) end the data.
    data = rec.data;
    data.insert(data.end(), 700, 0x33);
    r = BuildFrameIndex(vectorReader(data), int64_t(data.size()), kIndexChunk, never());
    ASSERT_TRUE(r.bReady);
    EXPECT_EQ(r.nDataLen, int64_t(rec.data.size()));

    // A truncated last frame does not count, and the data ends before it.
    size_t lastVideo = 0;
    for (size_t i = 0; i + 4 <= rec.data.size(); ++i)
        if (rec.data[i] == 0 && rec.data[i + 1] == 0 && rec.data[i + 2] == 1 && rec.data[i + 3] == 0xFD)
            lastVideo = i;
    ASSERT_GT(lastVideo, 0u);
    data.assign(rec.data.begin(), rec.data.begin() + long(lastVideo) + 20);
    r = BuildFrameIndex(vectorReader(data), int64_t(data.size()), kIndexChunk, never());
    ASSERT_TRUE(r.bReady);
    EXPECT_LE(r.nDataLen, int64_t(data.size()));
    EXPECT_EQ(r.nFrameCount, uint32_t(rec.videoFrames) - 1);

    // A length that promises more than can be read: a read that returns
    // nothing is the end of the data, and the scan ends.
    r = BuildFrameIndex(vectorReader(rec.data), int64_t(rec.data.size()) + 100000, kIndexChunk, never());
    ASSERT_TRUE(r.bReady);
    EXPECT_EQ(r.nDataLen, int64_t(rec.data.size()));

    // A reader that fails at once: no index, no endless loop.
    r = BuildFrameIndex([](uint64_t, uint8_t*, size_t) -> size_t { return 0; }, 1 << 20, kIndexChunk, never());
    EXPECT_FALSE(r.bReady);
    EXPECT_EQ(r.nDataLen, 0);
    // A reader that returns only a few bytes each time cannot move on.
    r = BuildFrameIndex([](uint64_t, uint8_t* b, size_t) -> size_t { b[0] = 0; return 10; }, 1 << 20,
                        kIndexChunk, never());
    EXPECT_FALSE(r.bReady);
}

TEST(FrameIndex, KeyFrameRulesAndEndTime)
{
    const uint32_t t0 = testmedia::packTime(2024, 3, 1, 8, 0, 0);
    std::vector<uint8_t> data;
    // A video frame before any key frame is not counted.
    appendVideoHeader(data, 100);
    data.resize(data.size() + 100, 0x11);
    // A key frame with an impossible length counts as a frame but is not indexed.
    appendKeyHeader(data, t0, 10, 600000);
    // Three groups of 10 frames at 10 fps; 1100 zero bytes (no frame start)
    // after the first are stepped over because frames follow them.
    for (int s = 0; s < 3; ++s) {
        appendKeyHeader(data, testmedia::addSeconds(t0, s), 10, 2000);
        data.resize(data.size() + 2000, 0x22);
        for (int i = 0; i < 9; ++i) {
            appendVideoHeader(data, 50);
            data.resize(data.size() + 50, 0x44);
        }
        if (s == 0)
            data.resize(data.size() + 1100, 0x00);
    }

    const FrameIndexResult r = BuildFrameIndex(vectorReader(data), int64_t(data.size()), 64, never());
    ASSERT_TRUE(r.bReady);
    ASSERT_EQ(r.entries.size(), 4u);
    EXPECT_EQ(r.entries[0].nFrameNo, 1u);  // the invalid key frame came first
    EXPECT_EQ(r.entries[1].nFrameNo, 11u);
    EXPECT_EQ(r.entries[2].nFrameNo, 21u);
    EXPECT_EQ(r.nFrameCount, 31u);
    EXPECT_EQ(r.nDataLen, int64_t(data.size()));
    // Last key frame at t0 + 2 s with 10 frames from it at 10 fps: + 1 s.
    EXPECT_EQ(r.nLastTime, testmedia::addSeconds(t0, 3));

    // A last key frame without a frame rate gives no index.
    std::vector<uint8_t> noRate;
    appendKeyHeader(noRate, t0, 0, 2000);
    noRate.resize(noRate.size() + 2000, 0x22);
    EXPECT_FALSE(BuildFrameIndex(vectorReader(noRate), int64_t(noRate.size()), kIndexChunk, never()).bReady);

    // Asked to stop: no index.
    const FrameIndexResult stopped =
        BuildFrameIndex(vectorReader(data), int64_t(data.size()), 64, [] { return true; });
    EXPECT_TRUE(stopped.bStopped);
    EXPECT_FALSE(stopped.bReady);
}

TEST(FrameIndex, OffsetsBeyondFourGiB)
{
    // A synthetic recording of about 4.4 GB: one 500000-byte key frame per
    // second at 1 fps. Only the headers are generated; the scanner reads
    // nothing else of a valid frame.
    const uint32_t t0 = testmedia::packTime(2024, 1, 1, 0, 0, 0);
    const uint64_t kFrame = 500000;
    const uint64_t kFrames = 8800;
    const int64_t nLen = int64_t(kFrame * kFrames);
    ASSERT_GT(nLen, int64_t(1) << 32);
    IndexReadFunc readAt = [&](uint64_t pos, uint8_t* buf, size_t n) -> size_t {
        if (pos >= uint64_t(nLen))
            return 0;
        const size_t count = size_t(std::min<uint64_t>(n, uint64_t(nLen) - pos));
        for (uint64_t f = pos / kFrame; f * kFrame < pos + count; ++f) {
            const uint64_t at = f * kFrame;
            if (at < pos)
                continue;
            std::vector<uint8_t> h;
            appendKeyHeader(h, testmedia::addSeconds(t0, int64_t(f)), 1, uint32_t(kFrame - 16));
            for (size_t i = 0; i < h.size() && at - pos + i < count; ++i)
                buf[at - pos + i] = h[i];
        }
        return count;
    };
    const FrameIndexResult r = BuildFrameIndex(readAt, nLen, kIndexChunk, never());
    ASSERT_TRUE(r.bReady);
    EXPECT_EQ(r.nFrameCount, kFrames);
    EXPECT_EQ(r.nDataLen, nLen);
    ASSERT_EQ(r.entries.size(), kFrames + 1);
    EXPECT_EQ(r.entries[kFrames - 1].nOffset, (kFrames - 1) * kFrame);
    EXPECT_EQ(r.entries.back().nOffset, uint64_t(nLen));
    // Seeking by ratio lands beyond 4 GiB.
    const int i = FindSeekEntry(r.entries, true, uint32_t(0.99 * kFrames));
    ASSERT_GE(i, 0);
    EXPECT_GT(r.entries[size_t(i)].nOffset, uint64_t(1) << 32);
}

TEST(FrameIndex, SeekWalkTakesTheLastEntryNotAfterTheTarget)
{
    std::vector<IndexEntry> entries(4);
    const uint32_t t0 = testmedia::packTime(2024, 3, 1, 8, 0, 0);
    for (uint32_t i = 0; i < 4; ++i) {
        entries[i].nOffset = 1000 * i;
        entries[i].nFrameNo = 25 * i;
        entries[i].nTime = testmedia::addSeconds(t0, i);
    }
    EXPECT_EQ(FindSeekEntry(entries, true, 0), 0);
    EXPECT_EQ(FindSeekEntry(entries, true, 50), 2);
    EXPECT_EQ(FindSeekEntry(entries, true, 74), 2);
    EXPECT_EQ(FindSeekEntry(entries, true, 1000), 3);
    EXPECT_EQ(FindSeekEntry(entries, false, 8 * 3600 + 1), 1);
    EXPECT_EQ(FindSeekEntry(entries, false, 7 * 3600), -1);
    EXPECT_EQ(FindSeekEntry({}, true, 3), -1);
    EXPECT_EQ(PackedSecondsOfDay(testmedia::packTime(2024, 3, 1, 23, 59, 59)), 86399u);
}

TEST(PlayPaths, RecordTimesFromDiskAndLocalPaths)
{
    RecordTimes t;
    ASSERT_TRUE(ParseRecordTimes("/mnt/idea0/2024-05-01/003/10.00.00-10.05.30[R][@1f][0].h264", &t));
    EXPECT_EQ(t.nPartition, 0);
    EXPECT_EQ(t.nYear, 2024);
    EXPECT_EQ(t.nChannel, 3);
    EXPECT_EQ(t.nStartSeconds, 36000);
    EXPECT_EQ(t.nDuration, 330);

    // A local copy keeps the part after "/mnt/".
    ASSERT_TRUE(ParseRecordTimes("/home/u/Backup/Record/ideb1/2024-05-01/000/23.59.00-00.01.00.h264", &t));
    EXPECT_EQ(t.nPartition, 1);
    EXPECT_EQ(t.nDuration, 120);  // passes midnight

    EXPECT_FALSE(ParseRecordTimes("/home/u/video.mp4", &t));
    EXPECT_FALSE(ParseRecordTimes("/mnt/idea0/2024-05-01/003/10.00.00.h264", &t));
    EXPECT_FALSE(ParseRecordTimes("/mnt/idea0/2024-05-01/003/25.00.00-26.00.00.h264", &t));
    EXPECT_FALSE(ParseRecordTimes("/mnt/ide", &t));

    EXPECT_TRUE(IsPushedDataPath("/x/idea0/a"));
    EXPECT_FALSE(IsPushedDataPath("/x/clip.mp4"));
    EXPECT_TRUE(IsRecorderDiskPath("/mnt/idea0/x"));
    EXPECT_FALSE(IsRecorderDiskPath("/mnt/usb/idea0/x"));
}

TEST(PlayPaths, ClipNamesAndFreeNames)
{
    QString clip;
    ASSERT_TRUE(BuildClipPath("/mnt/idea0/2024-05-01/003/10.00.00-10.05.30[R][@1f][0].h264", "/out", &clip));
    EXPECT_EQ(clip, QString("/out/003_20240501_10.00.00-10.05.30[R][@1f][0].h264"));
    // Local copies are not recorded.
    EXPECT_FALSE(BuildClipPath("/home/u/Backup/idea0/2024-05-01/003/10.00.00-10.05.30.h264", "/out", &clip));
    // A clip path over 255 characters is refused, not cut.
    EXPECT_FALSE(BuildClipPath("/mnt/idea0/2024-05-01/003/10.00.00-10.05.30.h264", QString(250, 'f'), &clip));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString base = dir.path() + "/20240501_100000.jpg";
    EXPECT_EQ(UniqueFilePath(base), base);
    for (const QString& name : {base, dir.path() + "/20240501_100000_1.jpg"}) {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(UniqueFilePath(base), dir.path() + "/20240501_100000_2.jpg");
    // No extension: the number goes at the end; a dot in a folder name is no extension.
    QDir(dir.path()).mkdir("a.b");
    const QString plain = dir.path() + "/a.b/clip";
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    EXPECT_EQ(UniqueFilePath(plain), dir.path() + "/a.b/clip_1");
}
