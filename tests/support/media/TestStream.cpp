#include "tests/support/media/TestStream.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace testmedia {

namespace {

constexpr int kAudioRate = 8000;

struct CodecCtxFree {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
using CodecCtxPtr = std::unique_ptr<AVCodecContext, CodecCtxFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

void put32(std::vector<uint8_t> &out, size_t at, uint32_t v)
{
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
    out[at + 2] = uint8_t(v >> 16);
    out[at + 3] = uint8_t(v >> 24);
}

void appendKeyFrame(std::vector<uint8_t> &out, int fps, uint32_t time, const uint8_t *p, size_t n)
{
    size_t at = out.size();
    out.resize(at + 16, 0);
    out[at + 2] = 1;
    out[at + 3] = 0xFC;
    out[at + 5] = uint8_t(fps);
    put32(out, at + 8, time);
    put32(out, at + 12, uint32_t(n));
    out.insert(out.end(), p, p + n);
}

void appendVideoFrame(std::vector<uint8_t> &out, const uint8_t *p, size_t n)
{
    size_t at = out.size();
    out.resize(at + 8, 0);
    out[at + 2] = 1;
    out[at + 3] = 0xFD;
    put32(out, at + 4, uint32_t(n));
    out.insert(out.end(), p, p + n);
}

void appendAudioFrame(std::vector<uint8_t> &out, bool muLaw, const uint8_t *p, size_t n)
{
    size_t at = out.size();
    out.resize(at + 8, 0);
    out[at + 2] = 1;
    out[at + 3] = 0xFA;
    out[at + 4] = muLaw ? 1 : 0;
    out[at + 6] = uint8_t(n);
    out[at + 7] = uint8_t(n >> 8);
    out.insert(out.end(), p, p + n);
}

// A picture that changes every frame: a diagonal ramp that slides along and a
// bright square that walks across, so consecutive frames really differ.
void drawPicture(AVFrame *f, int index, bool noise)
{
    for (int y = 0; y < f->height; ++y) {
        uint8_t *row = f->data[0] + y * f->linesize[0];
        for (int x = 0; x < f->width; ++x)
            row[x] = uint8_t((x + y + index * 3) & 0xFF);
    }
    int box = f->height / 6 + 1;
    int bx = (index * 7) % std::max(1, f->width - box);
    int by = (index * 3) % std::max(1, f->height - box);
    for (int y = by; y < by + box && y < f->height; ++y)
        for (int x = bx; x < bx + box && x < f->width; ++x)
            f->data[0][y * f->linesize[0] + x] = 235;
    if (noise) {
        uint32_t seed = 2463534242u ^ uint32_t(index) * 2654435761u;
        for (int y = 0; y < f->height; ++y) {
            uint8_t *row = f->data[0] + y * f->linesize[0];
            for (int x = 0; x < f->width; ++x) {
                seed ^= seed << 13;
                seed ^= seed >> 17;
                seed ^= seed << 5;
                int v = row[x] + int(seed & 15) - 8;
                row[x] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    for (int y = 0; y < (f->height + 1) / 2; ++y) {
        for (int x = 0; x < (f->width + 1) / 2; ++x) {
            f->data[1][y * f->linesize[1] + x] = uint8_t(128 + ((x + index) & 31) - 16);
            f->data[2][y * f->linesize[2] + x] = uint8_t(128 + ((y + index) & 31) - 16);
        }
    }
}

struct AudioEncoder {
    CodecCtxPtr ctx;
    FramePtr frame;
    PacketPtr pkt;
    int64_t samplesDone = 0;

    bool open(bool muLaw, std::string &error)
    {
        const AVCodec *codec = avcodec_find_encoder(muLaw ? AV_CODEC_ID_PCM_MULAW : AV_CODEC_ID_PCM_ALAW);
        if (!codec) {
            error = "no G.711 encoder";
            return false;
        }
        ctx.reset(avcodec_alloc_context3(codec));
        ctx->sample_rate = kAudioRate;
        ctx->sample_fmt = AV_SAMPLE_FMT_S16;
        av_channel_layout_default(&ctx->ch_layout, 1);
        ctx->time_base = AVRational{1, kAudioRate};
        if (avcodec_open2(ctx.get(), codec, nullptr) < 0) {
            error = "cannot open the G.711 encoder";
            return false;
        }
        frame.reset(av_frame_alloc());
        pkt.reset(av_packet_alloc());
        return true;
    }

    // Encodes the next n samples of a 440 Hz tone.
    std::vector<uint8_t> encode(int n)
    {
        std::vector<uint8_t> out;
        av_frame_unref(frame.get());
        frame->format = AV_SAMPLE_FMT_S16;
        frame->sample_rate = kAudioRate;
        av_channel_layout_default(&frame->ch_layout, 1);
        frame->nb_samples = n;
        if (av_frame_get_buffer(frame.get(), 0) < 0)
            return out;
        auto *s = reinterpret_cast<int16_t *>(frame->data[0]);
        for (int i = 0; i < n; ++i)
            s[i] = int16_t(8000.0 * std::sin(2.0 * M_PI * 440.0 * double(samplesDone + i) / kAudioRate));
        frame->pts = samplesDone;
        samplesDone += n;
        if (avcodec_send_frame(ctx.get(), frame.get()) < 0)
            return out;
        while (avcodec_receive_packet(ctx.get(), pkt.get()) == 0) {
            out.insert(out.end(), pkt->data, pkt->data + pkt->size);
            av_packet_unref(pkt.get());
        }
        return out;
    }
};

}  // namespace

uint32_t packTime(int year, int month, int day, int hour, int minute, int second)
{
    return (uint32_t(year - 2000) << 26) | (uint32_t(month) << 22) | (uint32_t(day) << 17) |
           (uint32_t(hour) << 12) | (uint32_t(minute) << 6) | uint32_t(second);
}

uint32_t addSeconds(uint32_t t, int64_t s)
{
    std::tm tm{};
    tm.tm_year = int(t >> 26) + 100;
    tm.tm_mon = int((t >> 22) & 0xF) - 1;
    tm.tm_mday = int((t >> 17) & 0x1F);
    tm.tm_hour = int((t >> 12) & 0x1F);
    tm.tm_min = int((t >> 6) & 0x3F);
    tm.tm_sec = int(t & 0x3F);
    time_t v = timegm(&tm) + time_t(s);
    std::tm out{};
    gmtime_r(&v, &out);
    return packTime(out.tm_year + 1900, out.tm_mon + 1, out.tm_mday, out.tm_hour, out.tm_min, out.tm_sec);
}

Recording makeRecording(const StreamParams &p)
{
    Recording rec;
    av_log_set_level(std::min(av_log_get_level(), int(AV_LOG_ERROR)));  // no encoder statistics in test logs
    if (p.width <= 0 || p.height <= 0 || p.fps <= 0 || p.fps > 255 || p.seconds <= 0) {
        rec.error = "bad stream parameters";
        return rec;
    }
    const uint32_t start = p.startTime ? p.startTime : packTime(2023, 5, 1, 10, 0, 0);
    const bool hevc = p.codec == Codec::H265;
    const AVCodec *codec = avcodec_find_encoder_by_name(hevc ? "libx265" : "libx264");
    if (!codec) {
        rec.error = hevc ? "libx265 encoder missing" : "libx264 encoder missing";
        return rec;
    }
    const int gop = p.fps * std::max(1, p.gopSeconds);
    CodecCtxPtr ctx(avcodec_alloc_context3(codec));
    ctx->width = p.width;
    ctx->height = p.height;
    ctx->time_base = AVRational{1, p.fps};
    ctx->framerate = AVRational{p.fps, 1};
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->gop_size = gop;
    ctx->keyint_min = gop;
    ctx->max_b_frames = 0;
    ctx->thread_count = 1;
    if (p.bitrate > 0)
        ctx->bit_rate = p.bitrate;
    av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
    av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
    std::string extra = "scenecut=0:keyint=" + std::to_string(gop) + ":min-keyint=" + std::to_string(gop);
    if (hevc)
        av_opt_set(ctx->priv_data, "x265-params", ("log-level=none:repeat-headers=1:bframes=0:" + extra).c_str(), 0);
    else
        av_opt_set(ctx->priv_data, "x264-params", extra.c_str(), 0);
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) {
        rec.error = "cannot open the video encoder";
        return rec;
    }

    AudioEncoder audio;
    if (p.audio && !audio.open(p.muLaw, rec.error))
        return rec;

    FramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = p.width;
    frame->height = p.height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        rec.error = "cannot allocate a picture";
        return rec;
    }
    PacketPtr pkt(av_packet_alloc());
    const int total = int(std::floor(p.seconds * p.fps + 1e-9));
    int audioIndex = 0;

    auto drain = [&]() -> bool {
        for (;;) {
            int r = avcodec_receive_packet(ctx.get(), pkt.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return true;
            if (r < 0)
                return false;
            int64_t index = pkt->pts;
            bool key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
            if (key) {
                uint32_t t = addSeconds(start, index / p.fps);
                appendKeyFrame(rec.data, p.fps, t, pkt->data, size_t(pkt->size));
                rec.keyFrames++;
                rec.keyTimes.push_back(t);
            } else {
                appendVideoFrame(rec.data, pkt->data, size_t(pkt->size));
            }
            rec.videoFrames++;
            av_packet_unref(pkt.get());
            if (p.audio) {
                int n = int(int64_t(audioIndex + 1) * kAudioRate / p.fps - int64_t(audioIndex) * kAudioRate / p.fps);
                ++audioIndex;
                std::vector<uint8_t> a = audio.encode(n);
                if (!a.empty()) {
                    appendAudioFrame(rec.data, p.muLaw, a.data(), a.size());
                    rec.audioFrames++;
                }
            }
        }
    };

    for (int i = 0; i < total; ++i) {
        if (av_frame_make_writable(frame.get()) < 0) {
            rec.error = "picture not writable";
            break;
        }
        drawPicture(frame.get(), i, p.noise);
        frame->pts = i;
        frame->pict_type = (i % gop == 0) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(ctx.get(), frame.get()) < 0 || !drain()) {
            rec.error = "encoding failed";
            break;
        }
    }
    if (rec.error.empty()) {
        avcodec_send_frame(ctx.get(), nullptr);
        if (!drain())
            rec.error = "encoding failed at the end";
    }
    if (!rec.error.empty()) {
        rec.data.clear();
        rec.videoFrames = rec.keyFrames = rec.audioFrames = 0;
        rec.keyTimes.clear();
    }
    return rec;
}

bool writeFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}

std::vector<uint8_t> readFile(const std::string &path)
{
    std::vector<uint8_t> out;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

}  // namespace testmedia
