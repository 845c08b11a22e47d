// Raw recording -> MP4, checked by reading the result back with libavformat
// and decoding it with libavcodec.
#include "media/sdk/Tarvok.h"
#include "tests/support/media/TestStream.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace fs = std::filesystem;

namespace {

struct Mp4Facts {
    bool opened = false;
    AVCodecID video = AV_CODEC_ID_NONE;
    AVCodecID audio = AV_CODEC_ID_NONE;
    int width = 0, height = 0;
    int videoPackets = 0, keyPackets = 0, decodedFrames = 0, audioPackets = 0;
    double videoDuration = 0;  // seconds
    double fileDuration = 0;
    uint32_t codecTag = 0;
};

Mp4Facts readBack(const std::string &path)
{
    Mp4Facts f;
    AVFormatContext *fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0)
        return f;
    avformat_find_stream_info(fmt, nullptr);
    f.opened = true;
    f.fileDuration = fmt->duration > 0 ? double(fmt->duration) / AV_TIME_BASE : 0;
    int vs = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    int as = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext *dec = nullptr;
    if (vs >= 0) {
        AVStream *st = fmt->streams[vs];
        f.video = st->codecpar->codec_id;
        f.width = st->codecpar->width;
        f.height = st->codecpar->height;
        f.codecTag = st->codecpar->codec_tag;
        f.videoDuration = st->duration > 0 ? double(st->duration) * av_q2d(st->time_base) : 0;
        dec = avcodec_alloc_context3(avcodec_find_decoder(f.video));
        avcodec_parameters_to_context(dec, st->codecpar);
        avcodec_open2(dec, nullptr, nullptr);
    }
    if (as >= 0)
        f.audio = fmt->streams[as]->codecpar->codec_id;
    AVPacket *pkt = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(dec, frame) == 0)
            f.decodedFrames++;
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == vs) {
            f.videoPackets++;
            if (pkt->flags & AV_PKT_FLAG_KEY)
                f.keyPackets++;
            avcodec_send_packet(dec, pkt);
            drain();
        } else if (pkt->stream_index == as) {
            f.audioPackets++;
        }
        av_packet_unref(pkt);
    }
    if (dec) {
        avcodec_send_packet(dec, nullptr);
        drain();
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
    return f;
}

// Collects the conversion messages of one handle.
struct Listener {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<int64_t> progress;
    int64_t result = 1;  // 1 = none yet
    bool finished = false;

    static int callback(int, int msg, int64_t p1, int64_t, int64_t, const char *, void *, void *, void *, void *user)
    {
        auto *self = static_cast<Listener *>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        if (msg == EUIMSG_COVERT_FILE_PROCESS)
            self->progress.push_back(p1);
        if (msg == EUIMSG_COVERT_FILE_RESULT) {
            self->result = p1;
            self->finished = true;
            self->cv.notify_all();
        }
        return 0;
    }
    TVMessageReceiver receiver() { return TVMessageReceiver{0, &Listener::callback, this}; }
    bool wait(int seconds = 120)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(seconds), [this] { return finished; });
    }
};

class Mp4Convert : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("orvelle_mp4_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string &name) const { return (dir / name).string(); }
    fs::path dir;
};

TEST_F(Mp4Convert, H264WithSoundKeepsCodecSizeFramesAndDuration)
{
    testmedia::StreamParams p;
    p.width = 352;
    p.height = 288;
    p.fps = 25;
    p.seconds = 4;
    p.audio = true;
    testmedia::Recording rec = testmedia::makeRecording(p);
    ASSERT_TRUE(rec.error.empty()) << rec.error;
    ASSERT_TRUE(testmedia::writeFile(path("a.h264"), rec.data));

    Listener l;
    TVMessageReceiver r = l.receiver();
    int h = TVPLAY_StartConvertFile(&r, path("a.h264").c_str(), path("a.mp4").c_str(), "");
    ASSERT_GT(h, 0);
    ASSERT_TRUE(l.wait());
    EXPECT_EQ(l.result, 0);
    ASSERT_FALSE(l.progress.empty());
    EXPECT_EQ(l.progress.back(), 100);
    for (size_t i = 1; i < l.progress.size(); ++i)
        EXPECT_LT(l.progress[i - 1], l.progress[i]) << "progress only grows";
    EXPECT_FALSE(fs::exists(path("a.mp4.part")));

    Mp4Facts f = readBack(path("a.mp4"));
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(f.video, AV_CODEC_ID_H264);
    EXPECT_EQ(f.width, 352);
    EXPECT_EQ(f.height, 288);
    EXPECT_EQ(f.videoPackets, rec.videoFrames);
    EXPECT_EQ(f.keyPackets, rec.keyFrames);
    EXPECT_EQ(f.decodedFrames, rec.videoFrames) << "every frame decodes from the sample description";
    EXPECT_NEAR(f.videoDuration, 4.0, 1.0 / 25);
    EXPECT_NEAR(f.fileDuration, 4.0, 1.0 / 25);
    EXPECT_EQ(f.audio, AV_CODEC_ID_AAC);
    EXPECT_GE(f.audioPackets, 4 * 8000 / 1024 - 1);
}

TEST_F(Mp4Convert, H265AndMuLawAndLeadingJunk)
{
    testmedia::StreamParams p;
    p.width = 320;
    p.height = 240;
    p.fps = 15;
    p.seconds = 3;
    p.codec = testmedia::Codec::H265;
    testmedia::Recording rec = testmedia::makeRecording(p);
    ASSERT_TRUE(rec.error.empty()) << rec.error;
    // The recording starts with junk and a frame that belongs to a group
    // whose key frame is missing: both are left out.
    std::vector<uint8_t> data;
    data.reserve(rec.data.size() + 2000);
    data.resize(1000, 0x5A);
    for (uint8_t b : {0, 0, 1, 0xFD, 4, 0, 0, 0, 0, 0, 1, 0x02})
        data.push_back(b);
    data.insert(data.end(), rec.data.begin(), rec.data.end());
    ASSERT_TRUE(testmedia::writeFile(path("b.h264"), data));

    std::atomic<bool> never{false};
    Listener l;
    TVMessageReceiver r = l.receiver();
    ASSERT_GT(TVPLAY_StartConvertFile(&r, path("b.h264").c_str(), path("b.mp4").c_str(), ""), 0);
    ASSERT_TRUE(l.wait());
    EXPECT_EQ(l.result, 0);
    Mp4Facts f = readBack(path("b.mp4"));
    EXPECT_EQ(f.video, AV_CODEC_ID_HEVC);
    EXPECT_EQ(f.codecTag, MKTAG('h', 'v', 'c', '1'));
    EXPECT_EQ(f.width, 320);
    EXPECT_EQ(f.height, 240);
    EXPECT_EQ(f.videoPackets, rec.videoFrames);
    EXPECT_EQ(f.decodedFrames, rec.videoFrames);
    EXPECT_NEAR(f.videoDuration, 3.0, 1.0 / 15);
    EXPECT_EQ(f.audio, AV_CODEC_ID_NONE);

    // Mu-law sound becomes AAC as well.
    p.codec = testmedia::Codec::H264;
    p.audio = true;
    p.muLaw = true;
    rec = testmedia::makeRecording(p);
    ASSERT_TRUE(testmedia::writeFile(path("c.h264"), rec.data));
    Listener l2;
    r = l2.receiver();
    ASSERT_GT(TVPLAY_StartConvertFile(&r, path("c.h264").c_str(), path("c.mp4").c_str(), ""), 0);
    ASSERT_TRUE(l2.wait());
    EXPECT_EQ(l2.result, 0);
    EXPECT_EQ(readBack(path("c.mp4")).audio, AV_CODEC_ID_AAC);
}

// Some recorders put the parameter sets alone into the key frame and the
// picture into the frame after it.
TEST_F(Mp4Convert, ParameterSetsAloneInTheKeyFrame)
{
    testmedia::StreamParams p;
    p.seconds = 2;
    testmedia::Recording rec = testmedia::makeRecording(p);
    ASSERT_TRUE(rec.error.empty());
    std::vector<uint8_t> out;
    size_t at = 0;
    int split = 0;
    while (at + 16 <= rec.data.size()) {
        const uint8_t *f = rec.data.data() + at;
        auto le32 = [](const uint8_t *q) { return uint32_t(q[0]) | q[1] << 8 | q[2] << 16 | uint32_t(q[3]) << 24; };
        size_t len = f[3] == 0xFC ? 16 + le32(f + 12) : 8 + le32(f + 4);
        if (f[3] == 0xFC) {
            // Cut the payload before its first slice (NAL type 5).
            const uint8_t *pl = f + 16;
            size_t n = len - 16, cut = 0;
            for (size_t i = 0; i + 4 < n; ++i)
                if (pl[i] == 0 && pl[i + 1] == 0 && pl[i + 2] == 1 && (pl[i + 3] & 0x1F) == 5) {
                    cut = (i > 0 && pl[i - 1] == 0) ? i - 1 : i;
                    break;
                }
            ASSERT_GT(cut, 0u);
            std::vector<uint8_t> key(f, f + 16 + cut);
            key[12] = uint8_t(cut);
            key[13] = uint8_t(cut >> 8);
            key[14] = uint8_t(cut >> 16);
            key[15] = uint8_t(cut >> 24);
            out.insert(out.end(), key.begin(), key.end());
            const size_t rest = n - cut;
            const uint8_t hdr[8] = {0, 0, 1, 0xFD, uint8_t(rest), uint8_t(rest >> 8), uint8_t(rest >> 16), 0};
            out.insert(out.end(), hdr, hdr + 8);
            out.insert(out.end(), pl + cut, pl + n);
            ++split;
        } else {
            out.insert(out.end(), f, f + len);
        }
        at += len;
    }
    ASSERT_EQ(split, 2);
    ASSERT_TRUE(testmedia::writeFile(path("split.h264"), out));
    Listener l;
    TVMessageReceiver r = l.receiver();
    ASSERT_GT(TVPLAY_StartConvertFile(&r, path("split.h264").c_str(), path("split.mp4").c_str(), ""), 0);
    ASSERT_TRUE(l.wait());
    EXPECT_EQ(l.result, 0);
    Mp4Facts f = readBack(path("split.mp4"));
    EXPECT_EQ(f.width, 352);
    EXPECT_EQ(f.height, 288);
    EXPECT_EQ(f.decodedFrames, rec.videoFrames);
}

TEST_F(Mp4Convert, FailuresReportNegativeResultsAndLeaveNoFile)
{
    Listener missing;
    TVMessageReceiver r = missing.receiver();
    ASSERT_GT(TVPLAY_StartConvertFile(&r, path("none.h264").c_str(), path("none.mp4").c_str(), ""), 0);
    ASSERT_TRUE(missing.wait());
    EXPECT_EQ(missing.result, TVCONVERT_ERR_OPEN_SOURCE);
    EXPECT_TRUE(missing.progress.empty() || missing.progress.back() != 100);

    std::vector<uint8_t> noise(300000);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = uint8_t(i * 2654435761u >> 13);
    ASSERT_TRUE(testmedia::writeFile(path("noise.h264"), noise));
    Listener junk;
    r = junk.receiver();
    ASSERT_GT(TVPLAY_StartConvertFile(&r, path("noise.h264").c_str(), path("noise.mp4").c_str(), ""), 0);
    ASSERT_TRUE(junk.wait());
    EXPECT_EQ(junk.result, TVCONVERT_ERR_NO_VIDEO);
    EXPECT_FALSE(fs::exists(path("noise.mp4")));
    EXPECT_FALSE(fs::exists(path("noise.mp4.part")));

    // A target folder that does not exist.
    testmedia::StreamParams p;
    p.seconds = 1;
    ASSERT_TRUE(testmedia::writeFile(path("ok.h264"), testmedia::makeRecording(p).data));
    Listener out;
    r = out.receiver();
    ASSERT_GT(TVPLAY_StartConvertFile(&r, path("ok.h264").c_str(), path("no/such/dir/x.mp4").c_str(), ""), 0);
    ASSERT_TRUE(out.wait());
    EXPECT_EQ(out.result, TVCONVERT_ERR_OUTPUT);

    // A target that is the source itself is refused and the source stays.
    Listener same;
    r = same.receiver();
    const auto before = fs::file_size(path("ok.h264"));
    ASSERT_GT(TVPLAY_StartConvertFile(&r, path("ok.h264").c_str(), (dir / "." / "ok.h264").c_str(), ""), 0);
    ASSERT_TRUE(same.wait());
    EXPECT_EQ(same.result, TVCONVERT_ERR_OUTPUT);
    EXPECT_EQ(fs::file_size(path("ok.h264")), before);

    EXPECT_LT(TVPLAY_StartConvertFile(&r, nullptr, path("x.mp4").c_str(), ""), 0);
    EXPECT_LT(TVPLAY_CancelConvertFile(987654), 0);
}

TEST_F(Mp4Convert, CancelStopsAndRemovesThePartialFile)
{
    testmedia::StreamParams p;
    p.width = 352;
    p.height = 288;
    p.seconds = 20;
    p.audio = true;
    testmedia::Recording rec = testmedia::makeRecording(p);
    ASSERT_TRUE(rec.error.empty());
    ASSERT_TRUE(testmedia::writeFile(path("big.h264"), rec.data));

    // From another thread: the worker is held in its first progress message
    // until the cancel is on its way, and the cancel returns only after the
    // worker has cleaned up.
    struct Holding : Listener {
        std::atomic<bool> cancelling{false};
        static int hold(int h, int msg, int64_t p1, int64_t p2, int64_t p3, const char *t, void *a, void *b,
                        void *c, void *user)
        {
            auto *self = static_cast<Holding *>(user);
            if (msg == EUIMSG_COVERT_FILE_PROCESS) {
                self->progressSeen = true;
                for (int i = 0; i < 500 && !self->cancelling; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
            return Listener::callback(h, msg, p1, p2, p3, t, a, b, c, user);
        }
        std::atomic<bool> progressSeen{false};
    } l;
    TVMessageReceiver r{0, &Holding::hold, &l};
    int h = TVPLAY_StartConvertFile(&r, path("big.h264").c_str(), path("big.mp4").c_str(), "");
    ASSERT_GT(h, 0);
    for (int i = 0; i < 1000 && !l.progressSeen; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    l.cancelling = true;
    EXPECT_EQ(TVPLAY_CancelConvertFile(h), 0);
    EXPECT_FALSE(fs::exists(path("big.mp4.part")));
    EXPECT_FALSE(fs::exists(path("big.mp4")));
    ASSERT_TRUE(l.wait(10));
    EXPECT_EQ(l.result, TVCONVERT_ERR_CANCELLED);
    EXPECT_NE(l.progress.back(), 100);

    // From the conversion's own message handler.
    struct SelfCancel : Listener {
        std::atomic<int> handle{0};
        static int cb(int h, int msg, int64_t p1, int64_t p2, int64_t p3, const char *t, void *a, void *b, void *c,
                      void *user)
        {
            auto *self = static_cast<SelfCancel *>(user);
            if (msg == EUIMSG_COVERT_FILE_PROCESS)
                TVPLAY_CancelConvertFile(h);
            return Listener::callback(h, msg, p1, p2, p3, t, a, b, c, self);
        }
    } s;
    TVMessageReceiver rs{0, &SelfCancel::cb, &s};
    ASSERT_GT(TVPLAY_StartConvertFile(&rs, path("big.h264").c_str(), path("big2.mp4").c_str(), ""), 0);
    ASSERT_TRUE(s.wait(30));
    EXPECT_EQ(s.result, TVCONVERT_ERR_CANCELLED);
    EXPECT_FALSE(fs::exists(path("big2.mp4")));
    EXPECT_FALSE(fs::exists(path("big2.mp4.part")));
}

}  // namespace
