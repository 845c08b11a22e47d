// Small parts of the media layer checked against independent references:
// G.711 against libavcodec's decoders, codec probing against real encoder
// output, packed times against the C library.
#include "media/audio/G711.h"
#include "media/common/PackedTime.h"
#include "media/common/UniquePath.h"
#include "media/decode/CodecProbe.h"
#include "media/stream/StreamReader.h"
#include "tests/support/media/TestStream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace {

std::vector<int16_t> referenceG711(AVCodecID id)
{
    std::vector<int16_t> out;
    const AVCodec *dec = avcodec_find_decoder(id);
    AVCodecContext *ctx = avcodec_alloc_context3(dec);
    ctx->sample_rate = 8000;
    av_channel_layout_default(&ctx->ch_layout, 1);
    if (avcodec_open2(ctx, dec, nullptr) < 0)
        return out;
    uint8_t codes[256];
    for (int i = 0; i < 256; ++i)
        codes[i] = uint8_t(i);
    AVPacket *pkt = av_packet_alloc();
    av_new_packet(pkt, 256);
    std::copy(codes, codes + 256, pkt->data);
    AVFrame *f = av_frame_alloc();
    if (avcodec_send_packet(ctx, pkt) == 0 && avcodec_receive_frame(ctx, f) == 0) {
        auto *s = reinterpret_cast<const int16_t *>(f->data[0]);
        out.assign(s, s + f->nb_samples);
    }
    av_frame_free(&f);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return out;
}

TEST(G711, EveryCodeMatchesLibavcodec)
{
    std::vector<int16_t> alaw = referenceG711(AV_CODEC_ID_PCM_ALAW);
    std::vector<int16_t> mulaw = referenceG711(AV_CODEC_ID_PCM_MULAW);
    ASSERT_EQ(alaw.size(), 256u);
    ASSERT_EQ(mulaw.size(), 256u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(media::alaw_to_linear(uint8_t(i)), alaw[size_t(i)]) << "A-law code " << i;
        EXPECT_EQ(media::mulaw_to_linear(uint8_t(i)), mulaw[size_t(i)]) << "mu-law code " << i;
    }
}

TEST(G711, RecordedToneDecodesBackToTheTone)
{
    testmedia::StreamParams p;
    p.seconds = 1;
    p.audio = true;
    for (bool mu : {false, true}) {
        p.muLaw = mu;
        testmedia::Recording rec = testmedia::makeRecording(p);
        ASSERT_TRUE(rec.error.empty());
        StreamReaderHandle r = StreamReader_Create();
        StreamReader_PushData(r, rec.data.data(), rec.data.size());
        std::vector<int16_t> pcm;
        while (const StreamFrame *f = StreamReader_GetNextFrame(r)) {
            if (f->nType != STREAM_FRAME_AUDIO)
                continue;
            EXPECT_EQ(f->nMuLaw, mu ? 1u : 0u);
            std::vector<int16_t> part(f->nLength - 8);
            media::g711_decode(f->pData + 8, part.size(), f->nMuLaw != 0, part.data());
            pcm.insert(pcm.end(), part.begin(), part.end());
        }
        StreamReader_Destroy(r);
        ASSERT_EQ(pcm.size(), 8000u);
        // The generator wrote 8000 * sin(2 pi 440 t): G.711 keeps it within a few percent.
        double err = 0;
        for (size_t i = 0; i < pcm.size(); ++i)
            err = std::max(err, std::abs(pcm[i] - 8000.0 * std::sin(2 * M_PI * 440.0 * double(i) / 8000.0)));
        EXPECT_LT(err, 8000 * 0.04) << (mu ? "mu-law" : "A-law");
    }
}

TEST(CodecProbe, RecognisesRealStreamsAndTheirParameterSets)
{
    for (auto codec : {testmedia::Codec::H264, testmedia::Codec::H265}) {
        testmedia::StreamParams p;
        p.seconds = 1;
        p.codec = codec;
        testmedia::Recording rec = testmedia::makeRecording(p);
        ASSERT_TRUE(rec.error.empty()) << rec.error;
        StreamReaderHandle r = StreamReader_Create();
        StreamReader_PushData(r, rec.data.data(), rec.data.size());
        const StreamFrame *key = StreamReader_GetNextFrame(r);
        ASSERT_TRUE(key && key->nKeyFrame);
        const bool hevc = codec == testmedia::Codec::H265;
        const media::VideoCodec want = hevc ? media::VideoCodec::H265 : media::VideoCodec::H264;
        EXPECT_EQ(media::probe_video_codec(key->pData + 16, key->nLength - 16), want);
        std::vector<uint8_t> ps = media::extract_parameter_sets(want, key->pData + 16, key->nLength - 16);
        // Start codes followed by VPS, SPS, PPS (H.265) or SPS, PPS (H.264).
        std::vector<int> types;
        for (size_t i = 0; i + 4 < ps.size(); ++i)
            if (ps[i] == 0 && ps[i + 1] == 0 && ps[i + 2] == 0 && ps[i + 3] == 1)
                types.push_back(hevc ? (ps[i + 4] >> 1) & 0x3F : ps[i + 4] & 0x1F);
        EXPECT_EQ(types, hevc ? std::vector<int>({32, 33, 34}) : std::vector<int>({7, 8}));
        StreamReader_Destroy(r);
    }
    const uint8_t noise[] = {0, 0, 1, 0x80, 0x12, 0x34, 0, 0, 1};
    EXPECT_EQ(media::probe_video_codec(noise, sizeof noise), media::VideoCodec::Unknown);
    EXPECT_EQ(media::probe_video_codec(nullptr, 0), media::VideoCodec::Unknown);
}

TEST(PackedTime, RoundTripsAndConvertsThroughLocalTime)
{
    const uint32_t t = testmedia::packTime(2024, 2, 29, 23, 59, 58);
    media::LocalTime lt = media::unpack_time(t);
    EXPECT_EQ(lt.year, 2024);
    EXPECT_EQ(lt.month, 2);
    EXPECT_EQ(lt.day, 29);
    EXPECT_EQ(lt.hour, 23);
    EXPECT_EQ(lt.minute, 59);
    EXPECT_EQ(lt.second, 58);
    EXPECT_EQ(media::pack_time(lt), t);

    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 1;
    tm.tm_mday = 29;
    tm.tm_hour = 23;
    tm.tm_min = 59;
    tm.tm_sec = 58;
    tm.tm_isdst = -1;
    const int64_t epoch = int64_t(std::mktime(&tm));
    EXPECT_EQ(media::packed_to_epoch(t), epoch);
    EXPECT_EQ(media::epoch_to_packed(epoch + 2), testmedia::packTime(2024, 3, 1, 0, 0, 0));

    EXPECT_EQ(media::unpack_time(0).year, 0);
    EXPECT_EQ(media::packed_to_epoch(0), 0);
    EXPECT_EQ(media::pack_time(media::LocalTime{}), 0u);
    // Out-of-range fields from a damaged header still convert, clamped.
    EXPECT_NE(media::packed_to_epoch(testmedia::packTime(2023, 15, 0, 10, 0, 0)), 0);
}

TEST(UniquePath, NeverNamesAnExistingFile)
{
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("orvelle_unique_" + std::to_string(::getpid()));
    fs::create_directories(dir / "a.b");
    auto touch = [](const fs::path &p) { std::fclose(std::fopen(p.c_str(), "w")); };
    const std::string pic = (dir / "20230501_100000.jpg").string();
    EXPECT_EQ(media::unique_file_path(pic), pic);
    touch(pic);
    EXPECT_EQ(media::unique_file_path(pic), (dir / "20230501_100000_1.jpg").string());
    touch(dir / "20230501_100000_1.jpg");
    EXPECT_EQ(media::unique_file_path(pic), (dir / "20230501_100000_2.jpg").string());
    // No extension, and a dot only in the folder name.
    const std::string clip = (dir / "a.b" / "001_20230501_10.00.00-10.05.00[A][@1f][0].h264").string();
    touch(clip);
    EXPECT_EQ(media::unique_file_path(clip), (dir / "a.b" / "001_20230501_10.00.00-10.05.00[A][@1f][0]_1.h264").string());
    const std::string plain = (dir / "a.b" / "clip").string();
    touch(plain);
    EXPECT_EQ(media::unique_file_path(plain), plain + "_1");
    fs::remove_all(dir);
}

}  // namespace
