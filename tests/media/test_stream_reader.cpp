// The frame parser against real encoded recordings, pushed in awkward pieces,
// with garbage and truncated frames mixed in.
#include "media/stream/StreamReader.h"
#include "tests/support/media/TestStream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

struct Parsed {
    std::vector<std::vector<uint8_t>> frames;
    std::vector<StreamFrame> records;
};

Parsed parseAll(const std::vector<uint8_t> &data, size_t piece, unsigned seed = 1)
{
    Parsed out;
    StreamReaderHandle r = StreamReader_Create();
    std::mt19937 rng(seed);
    size_t at = 0;
    while (at < data.size()) {
        size_t n = piece ? piece : 1 + rng() % 70000;
        n = std::min(n, data.size() - at);
        EXPECT_EQ(StreamReader_PushData(r, data.data() + at, n), 0);
        at += n;
        while (const StreamFrame *f = StreamReader_GetNextFrame(r)) {
            out.frames.emplace_back(f->pData, f->pData + f->nLength);
            out.records.push_back(*f);
        }
    }
    StreamReader_Destroy(r);
    return out;
}

testmedia::Recording sample(bool audio)
{
    testmedia::StreamParams p;
    p.width = 176;
    p.height = 144;
    p.seconds = 3;
    p.audio = audio;
    p.startTime = testmedia::packTime(2023, 12, 31, 23, 59, 58);
    return testmedia::makeRecording(p);
}

TEST(StreamReader, SplitsRealRecordingAndStampsEveryFrameWithItsGroup)
{
    testmedia::Recording rec = sample(true);
    ASSERT_TRUE(rec.error.empty()) << rec.error;
    ASSERT_EQ(rec.videoFrames, 75);
    ASSERT_EQ(rec.keyFrames, 3);

    for (size_t piece : {size_t(1), size_t(7), size_t(32768), size_t(0)}) {
        Parsed p = parseAll(rec.data, piece);
        int video = 0, audio = 0, keys = 0;
        size_t bytes = 0;
        uint32_t groupTime = 0;
        for (const StreamFrame &f : p.records) {
            bytes += f.nLength;
            if (f.nType == STREAM_FRAME_VIDEO) {
                ++video;
                if (f.nKeyFrame) {
                    groupTime = rec.keyTimes[size_t(keys)];
                    ++keys;
                }
            } else {
                ASSERT_EQ(f.nType, uint32_t(STREAM_FRAME_AUDIO));
                EXPECT_EQ(f.nMuLaw, 0u);
                ++audio;
            }
            EXPECT_EQ(f.nPackedTime, groupTime);
            EXPECT_EQ(f.nFrameRate, 25u);
        }
        EXPECT_EQ(video, rec.videoFrames) << "piece " << piece;
        EXPECT_EQ(audio, rec.audioFrames);
        EXPECT_EQ(keys, 3);
        EXPECT_EQ(bytes, rec.data.size()) << "every byte belongs to exactly one frame";
    }

    // The groups cross midnight and the year: 23:59:58, 23:59:59, 00:00:00 next day.
    Parsed p = parseAll(rec.data, 4096);
    const StreamFrame &last = p.records.back();
    EXPECT_EQ(last.nYear, 2024u);
    EXPECT_EQ(last.nMonth, 1u);
    EXPECT_EQ(last.nDay, 1u);
    EXPECT_EQ(last.nHour, 0u);
    EXPECT_EQ(last.nMinute, 0u);
    EXPECT_EQ(last.nSecond, 0u);
    EXPECT_EQ(p.records.front().nHour, 23u);
    EXPECT_EQ(p.records.front().nSecond, 58u);
}

TEST(StreamReader, FramesBeforeTheFirstKeyFrameCarryNoTime)
{
    testmedia::Recording rec = sample(true);
    ASSERT_TRUE(rec.error.empty());
    // Start the data in the middle of the first group: drop the key frame.
    Parsed whole = parseAll(rec.data, 0);
    size_t skip = whole.frames[0].size();
    std::vector<uint8_t> cut(rec.data.begin() + std::ptrdiff_t(skip), rec.data.end());
    Parsed p = parseAll(cut, 1000);
    ASSERT_FALSE(p.records.empty());
    size_t i = 0;
    for (; i < p.records.size() && !p.records[i].nKeyFrame; ++i) {
        EXPECT_EQ(p.records[i].nYear, 0u);
        EXPECT_EQ(p.records[i].nFrameRate, 0u);
    }
    ASSERT_LT(i, p.records.size());
    EXPECT_GT(i, 40u);  // 24 video + 24 audio frames before the second key frame
    EXPECT_EQ(p.records[i].nYear, 2023u);
}

TEST(StreamReader, ResynchronisesAfterGarbageAndTruncatedFrames)
{
    testmedia::Recording rec = sample(false);
    ASSERT_TRUE(rec.error.empty());
    Parsed clean = parseAll(rec.data, 0);
    ASSERT_EQ(int(clean.frames.size()), rec.videoFrames);

    std::mt19937 rng(7);
    auto garbage = [&](size_t n) {
        std::vector<uint8_t> g(n);
        for (auto &b : g)
            b = uint8_t(rng());
        // Sprinkle false starts: a start code with an unknown type and one
        // whose length is out of range.
        if (n > 40) {
            const uint8_t badType[] = {0, 0, 1, 0x65};
            const uint8_t tooLong[] = {0, 0, 1, 0xFD, 0x00, 0x00, 0x10, 0x00};  // 1 MiB payload
            std::memcpy(g.data() + 3, badType, sizeof badType);
            std::memcpy(g.data() + 20, tooLong, sizeof tooLong);
        }
        return g;
    };

    // Garbage before the first frame and between every pair of frames.
    std::vector<uint8_t> dirty = garbage(333);
    for (const auto &f : clean.frames) {
        dirty.insert(dirty.end(), f.begin(), f.end());
        auto g = garbage(1 + rng() % 100);
        dirty.insert(dirty.end(), g.begin(), g.end());
    }
    Parsed p = parseAll(dirty, 0, 3);
    ASSERT_EQ(p.frames.size(), clean.frames.size());
    for (size_t i = 0; i < p.frames.size(); ++i)
        ASSERT_EQ(p.frames[i], clean.frames[i]) << "frame " << i;

    // A frame cut short swallows the start of the next one; the reader loses
    // at most those two and carries on with the rest.
    std::vector<uint8_t> truncated;
    for (size_t i = 0; i < clean.frames.size(); ++i) {
        const auto &f = clean.frames[i];
        size_t n = (i == 10) ? f.size() / 2 : f.size();
        truncated.insert(truncated.end(), f.begin(), f.begin() + std::ptrdiff_t(n));
    }
    Parsed t = parseAll(truncated, 4096);
    EXPECT_GE(t.frames.size(), clean.frames.size() - 3);
    EXPECT_EQ(t.frames.back(), clean.frames.back());
}

TEST(StreamReader, HostileInputStaysBoundedAndNullSafe)
{
    EXPECT_EQ(StreamReader_GetNextFrame(nullptr), nullptr);
    EXPECT_EQ(StreamReader_PushData(nullptr, nullptr, 0), -1);
    StreamReader_Destroy(nullptr);

    StreamReaderHandle r = StreamReader_Create();
    EXPECT_EQ(StreamReader_PushData(r, nullptr, 10), -1);
    std::mt19937 rng(11);
    std::vector<uint8_t> noise(1 << 20);
    for (auto &b : noise)
        b = uint8_t(rng() % 3 == 0 ? 0 : rng());  // many zero bytes: lots of near-starts
    int frames = 0;
    for (int round = 0; round < 8; ++round) {
        ASSERT_EQ(StreamReader_PushData(r, noise.data(), noise.size()), 0);
        while (const StreamFrame *f = StreamReader_GetNextFrame(r)) {
            ASSERT_GE(f->nLength, 5u);
            ASSERT_LE(f->nLength, 512000u);
            ++frames;
        }
        // Only an unfinished frame (at most 512000 bytes) may be held back.
        EXPECT_LE(StreamReader_Pending(r), size_t(512000));
    }
    StreamReader_Destroy(r);
}

}  // namespace
