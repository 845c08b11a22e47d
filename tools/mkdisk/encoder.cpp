#include "encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace mkdisk {

namespace {

// The largest rate buffer, in bits, when an average rate is asked for.
const int64_t kMaxBufferBits = 3000000;
// The cap of the constant-quality default.
const int kQualityCapKbps = 256;

std::string av_text(int rc)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(rc, buf, sizeof buf);
    return buf;
}

void copy_planes(const Picture &pic, AVFrame *f)
{
    for (int y = 0; y < pic.height; ++y)
        std::memcpy(f->data[0] + size_t(y) * f->linesize[0], &pic.y[size_t(y) * pic.width], size_t(pic.width));
    for (int y = 0; y < pic.height / 2; ++y) {
        std::memcpy(f->data[1] + size_t(y) * f->linesize[1], &pic.u[size_t(y) * (pic.width / 2)], size_t(pic.width / 2));
        std::memcpy(f->data[2] + size_t(y) * f->linesize[2], &pic.v[size_t(y) * (pic.width / 2)], size_t(pic.width / 2));
    }
}

}  // namespace

struct VideoEncoder::Impl {
    AVCodecContext *ctx = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *pkt = nullptr;
    int64_t pts = 0;
    ~Impl()
    {
        av_packet_free(&pkt);
        av_frame_free(&frame);
        avcodec_free_context(&ctx);
    }
};

VideoEncoder::VideoEncoder() = default;
VideoEncoder::~VideoEncoder() = default;

bool VideoEncoder::open(const char *codec_name, int width, int height, int fps, int bitrate_kbps, std::string *err)
{
    av_log_set_level(AV_LOG_ERROR);
    const AVCodec *codec = avcodec_find_encoder_by_name(codec_name);
    if (!codec) {
        *err = std::string("no encoder ") + codec_name;
        return false;
    }
    const bool hevc = std::strcmp(codec_name, "libx265") == 0;
    m.reset(new Impl);
    m->ctx = avcodec_alloc_context3(codec);
    AVCodecContext *c = m->ctx;
    c->width = width;
    c->height = height;
    c->time_base = AVRational{1, fps};
    c->framerate = AVRational{fps, 1};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->gop_size = fps;
    c->max_b_frames = 0;
    if (bitrate_kbps > 0) {
        // An average rate, as a recorder's encoder keeps. The rate buffer
        // bounds the largest picture (a key frame): at most 3 Mbit, so that
        // it fits a recorder frame (512000 bytes) at any rate.
        c->bit_rate = int64_t(bitrate_kbps) * 1000;
        c->rc_max_rate = c->bit_rate;
        c->rc_buffer_size = int(std::min<int64_t>(c->bit_rate, kMaxBufferBits));
    } else {
        // Constant quality, capped at 256 kbit/s.
        c->rc_max_rate = int64_t(kQualityCapKbps) * 1000;
        c->rc_buffer_size = int(c->rc_max_rate);
        av_opt_set(c->priv_data, "crf", "28", 0);
    }
    c->thread_count = 1;  // the same bytes from the same seed
    av_opt_set(c->priv_data, "preset", "ultrafast", 0);
    av_opt_set(c->priv_data, "tune", "zerolatency", 0);
    av_opt_set(c->priv_data, "forced-idr", "1", 0);
    if (hevc) {
        // One worker in one pool: the output of x265 depends on the size of
        // its pool, and without a pool it writes no wavefront rows (which a
        // decoder uses to split a picture among its threads).
        av_opt_set(c->priv_data, "x265-params",
                   "log-level=none:repeat-headers=1:keyint=1000:scenecut=0:bframes=0:pools=1:frame-threads=1", 0);
    } else {
        av_opt_set(c->priv_data, "x264-params", "repeat-headers=1:keyint=1000:scenecut=0", 0);
    }
    int rc = avcodec_open2(c, codec, nullptr);
    if (rc < 0) {
        *err = "cannot open " + std::string(codec_name) + ": " + av_text(rc);
        return false;
    }
    m->frame = av_frame_alloc();
    m->frame->format = c->pix_fmt;
    m->frame->width = width;
    m->frame->height = height;
    if (av_frame_get_buffer(m->frame, 0) < 0) {
        *err = "out of memory";
        return false;
    }
    m->pkt = av_packet_alloc();
    return true;
}

bool VideoEncoder::encode(const Picture &pic, bool key, std::vector<uint8_t> *out, std::string *err)
{
    out->clear();
    if (av_frame_make_writable(m->frame) < 0) {
        *err = "frame not writable";
        return false;
    }
    copy_planes(pic, m->frame);
    m->frame->pts = m->pts++;
    m->frame->pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    int rc = avcodec_send_frame(m->ctx, m->frame);
    if (rc < 0) {
        *err = "encode: " + av_text(rc);
        return false;
    }
    for (;;) {
        rc = avcodec_receive_packet(m->ctx, m->pkt);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            break;
        if (rc < 0) {
            *err = "encode: " + av_text(rc);
            return false;
        }
        out->insert(out->end(), m->pkt->data, m->pkt->data + m->pkt->size);
        av_packet_unref(m->pkt);
    }
    return true;
}

std::vector<uint8_t> encode_jpeg(const Picture &pic, std::string *err)
{
    std::vector<uint8_t> out;
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (!codec) {
        *err = "no JPEG encoder";
        return out;
    }
    AVCodecContext *c = avcodec_alloc_context3(codec);
    AVFrame *f = av_frame_alloc();
    AVPacket *pkt = av_packet_alloc();
    c->width = pic.width;
    c->height = pic.height;
    c->time_base = AVRational{1, 25};
    c->pix_fmt = AV_PIX_FMT_YUVJ420P;
    c->thread_count = 1;
    int rc = avcodec_open2(c, codec, nullptr);
    if (rc >= 0) {
        f->format = c->pix_fmt;
        f->width = pic.width;
        f->height = pic.height;
        rc = av_frame_get_buffer(f, 0);
    }
    if (rc >= 0) {
        copy_planes(pic, f);
        f->pts = 0;
        rc = avcodec_send_frame(c, f);
    }
    if (rc >= 0)
        rc = avcodec_send_frame(c, nullptr);
    while (rc >= 0) {
        rc = avcodec_receive_packet(c, pkt);
        if (rc < 0)
            break;
        out.insert(out.end(), pkt->data, pkt->data + pkt->size);
        av_packet_unref(pkt);
    }
    if (out.empty())
        *err = "JPEG encoding failed: " + av_text(rc);
    av_packet_free(&pkt);
    av_frame_free(&f);
    avcodec_free_context(&c);
    return out;
}

uint8_t linear_to_alaw(int16_t sample)
{
    // 13-bit magnitude, segment = position of the leading one, 4 bits of
    // mantissa, even bits inverted.
    int pcm = sample >> 3;
    uint8_t sign = 0x80;
    if (pcm < 0) {
        sign = 0x00;
        pcm = -pcm - 1;
    }
    if (pcm > 0xFFF)
        pcm = 0xFFF;
    uint8_t code;
    if (pcm < 32) {
        code = static_cast<uint8_t>(pcm >> 1);
    } else {
        int seg = 1;
        while ((pcm >> (seg + 4)) > 1 && seg < 7)
            ++seg;
        code = static_cast<uint8_t>((seg << 4) | ((pcm >> seg) & 0x0F));
    }
    return static_cast<uint8_t>((code | sign) ^ 0x55);
}

std::vector<uint8_t> alaw_tone(double hz, uint64_t first, uint32_t samples)
{
    std::vector<uint8_t> out(samples);
    const double step = 2.0 * M_PI * hz / 8000.0;
    for (uint32_t i = 0; i < samples; ++i) {
        double s = std::sin(step * double(first + i)) * 8000.0;
        out[i] = linear_to_alaw(static_cast<int16_t>(s));
    }
    return out;
}

}  // namespace mkdisk
