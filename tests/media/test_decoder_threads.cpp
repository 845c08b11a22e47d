// The decoder's threads on real H.264 and H.265: a single large stream gets
// the cores while few ports play, many ports keep one thread each, and the
// count changes only at a key frame without losing or changing a picture.
#include "media/decode/CodecProbe.h"
#include "media/decode/DecoderThreads.h"
#include "media/decode/VideoDecoder.h"
#include "media/stream/StreamReader.h"
#include "tests/support/media/TestStream.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace {

struct Payload {
    std::vector<uint8_t> bytes;
    bool key = false;
};

std::vector<Payload> payloads(int w, int h, testmedia::Codec codec, int fps, double seconds)
{
    testmedia::StreamParams p;
    p.width = w;
    p.height = h;
    p.fps = fps;
    p.seconds = seconds;
    p.codec = codec;
    testmedia::Recording rec = testmedia::makeRecording(p);
    std::vector<Payload> out;
    StreamReaderHandle r = StreamReader_Create();
    StreamReader_PushData(r, rec.data.data(), rec.data.size());
    while (const StreamFrame *f = StreamReader_GetNextFrame(r)) {
        if (f->nType != STREAM_FRAME_VIDEO)
            continue;
        const size_t head = f->nKeyFrame ? 16 : 8;
        out.push_back(Payload{std::vector<uint8_t>(f->pData + head, f->pData + f->nLength), f->nKeyFrame != 0});
    }
    StreamReader_Destroy(r);
    return out;
}

// The payload without its parameter sets, as a stream that sends them only
// once, at its start, looks after its first key frame.
std::vector<uint8_t> withoutParameterSets(media::VideoCodec codec, const std::vector<uint8_t> &in)
{
    std::vector<uint8_t> out;
    std::vector<size_t> starts;
    for (size_t k = 0; k + 3 <= in.size(); ++k)
        if (in[k] == 0 && in[k + 1] == 0 && in[k + 2] == 1)
            starts.push_back(k);
    for (size_t s = 0; s < starts.size(); ++s) {
        const size_t from = starts[s];
        const size_t to = s + 1 < starts.size() ? starts[s + 1] : in.size();
        const uint8_t nal = in[from + 3];
        const bool ps = codec == media::VideoCodec::H265 ? ((nal >> 1) & 0x3F) >= 32 && ((nal >> 1) & 0x3F) <= 34
                                                         : (nal & 0x1F) == 7 || (nal & 0x1F) == 8;
        if (!ps)
            out.insert(out.end(), in.begin() + long(from), in.begin() + long(to));
    }
    return out;
}

uint64_t checksum(const AVFrame *f)
{
    uint64_t h = 1469598103934665603ull;
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane ? (f->width + 1) / 2 : f->width;
        const int rows = plane ? (f->height + 1) / 2 : f->height;
        for (int y = 0; y < rows; ++y) {
            const uint8_t *p = f->data[plane] + y * f->linesize[plane];
            for (int x = 0; x < w; ++x)
                h = (h ^ p[x]) * 1099511628211ull;
        }
    }
    return h;
}

// Every payload's picture checksum (0 where a payload gave none) and the
// decoder's thread count after each.
struct Decoded {
    std::vector<uint64_t> sums;
    std::vector<int> threads;
};

Decoded decodeAll(media::VideoDecoder &dec, const std::vector<Payload> &ps, size_t from, size_t to)
{
    Decoded r;
    for (size_t i = from; i < to && i < ps.size(); ++i) {
        r.sums.push_back(dec.decode(ps[i].bytes.data(), ps[i].bytes.size()) ? checksum(dec.picture()) : 0);
        r.threads.push_back(dec.threads());
    }
    return r;
}

}  // namespace

TEST(DecoderThreads, ALargeStreamGetsTheCoresWhileFewPortsPlay)
{
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "a single core: every decoder has one thread";
    // Larger than 1080p, three groups of two pictures; the later key frames
    // carry no parameter sets, so a decoder opened afresh there must bring
    // the ones it saw.
    std::vector<Payload> ps = payloads(2048, 1152, testmedia::Codec::H265, 2, 3);
    ASSERT_EQ(ps.size(), 6u);
    for (size_t i = 2; i < ps.size(); ++i)
        if (ps[i].key)
            ps[i].bytes = withoutParameterSets(media::VideoCodec::H265, ps[i].bytes);

    media::VideoDecoder reference;
    reference.setFixedThreads(1);
    const Decoded ref = decodeAll(reference, ps, 0, ps.size());
    for (uint64_t s : ref.sums)
        ASSERT_NE(s, 0u);

    media::VideoDecoder dec;
    std::vector<std::unique_ptr<media::PlayingPort>> ports;
    ports.emplace_back(new media::PlayingPort);
    const Decoded alone = decodeAll(dec, ps, 0, 2);
    EXPECT_GE(alone.threads[0], 2);  // from the first key frame on
    EXPECT_EQ(alone.threads[1], alone.threads[0]);

    while (ports.size() < 16)
        ports.emplace_back(new media::PlayingPort);
    const Decoded crowded = decodeAll(dec, ps, 2, 4);
    EXPECT_EQ(crowded.threads, std::vector<int>({1, 1}));

    ports.resize(2);  // two ports on two cores: one thread each
    const Decoded two = decodeAll(dec, ps, 4, 6);
    const int expect = std::max(1, std::min(4, int(std::thread::hardware_concurrency()) / 2));
    EXPECT_EQ(two.threads, std::vector<int>({expect, expect}));

    std::vector<uint64_t> sums = alone.sums;
    sums.insert(sums.end(), crowded.sums.begin(), crowded.sums.end());
    sums.insert(sums.end(), two.sums.begin(), two.sums.end());
    EXPECT_EQ(sums, ref.sums);  // every picture, the same as on one thread
}

TEST(DecoderThreads, SmallOrUnsplittablePicturesStayOnOneThread)
{
    const media::PlayingPort alone;
    // One slice per picture: an H.264 picture cannot be decoded in parts.
    std::vector<Payload> h264 = payloads(2048, 1152, testmedia::Codec::H264, 2, 1);
    media::PayloadFacts facts = media::inspect_payload(media::VideoCodec::H264, h264[0].bytes.data(), h264[0].bytes.size());
    EXPECT_TRUE(facts.randomAccess);
    EXPECT_TRUE(facts.parameterSets);
    EXPECT_EQ(facts.slices, 1);
    media::VideoDecoder dec;
    const Decoded big = decodeAll(dec, h264, 0, h264.size());
    EXPECT_EQ(big.threads, std::vector<int>(h264.size(), 1));
    for (uint64_t s : big.sums)
        EXPECT_NE(s, 0u);

    std::vector<Payload> hevc = payloads(352, 288, testmedia::Codec::H265, 25, 1);
    media::VideoDecoder small;
    const Decoded r = decodeAll(small, hevc, 0, hevc.size());
    EXPECT_EQ(r.threads, std::vector<int>(hevc.size(), 1));
    EXPECT_FALSE(media::inspect_payload(media::VideoCodec::H265, hevc[1].bytes.data(), hevc[1].bytes.size()).randomAccess);
}
