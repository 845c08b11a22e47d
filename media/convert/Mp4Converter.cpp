#include "media/convert/Mp4Converter.h"

#include "media/audio/G711.h"
#include "media/decode/CodecProbe.h"
#include "media/decode/VideoDecoder.h"
#include "media/sdk/Tarvok.h"
#include "media/stream/FrameHeader.h"
#include "media/stream/StreamReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace media {

namespace {

constexpr size_t kChunk = 1u << 20;
constexpr int kVideoClock = 90000;          // video timestamps in 1/90000 s
constexpr uint32_t kDefaultRate = 25;
constexpr int64_t kScanLimit = 16ll << 20;  // bytes looked at for sound after the first key frame
constexpr int kOutputBuffer = 4 << 20;      // the MP4 reaches its file in writes of this size

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

struct ReaderFree {
    void operator()(StreamReaderState *r) const { StreamReader_Destroy(r); }
};
using ReaderPtr = std::unique_ptr<StreamReaderState, ReaderFree>;

// What the start of the recording tells: codec, size, parameter sets, rate,
// whether it has sound.
struct StreamFacts {
    VideoCodec codec = VideoCodec::Unknown;
    std::vector<uint8_t> paramSets;
    uint32_t rate = 0;
    int width = 0;
    int height = 0;
    bool audio = false;
    bool muLaw = false;
};

// Reads the recording from its start up to the first key frame that
// decodes (its parameter sets may also come in the frames right after it)
// and a little beyond, for the sound.
int scan(FILE *f, StreamFacts *facts, const std::atomic<bool> &cancel)
{
    constexpr int kFramesToSize = 8;  // video frames after a key frame that may complete it
    ReaderPtr reader(StreamReader_Create());
    std::vector<uint8_t> buf(kChunk);
    bool haveKey = false;
    std::unique_ptr<VideoDecoder> dec;  // decoding the current candidate group
    int groupFrames = 0;
    int64_t afterKey = 0;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
        if (cancel)
            return TVCONVERT_ERR_CANCELLED;
        StreamReader_PushData(reader.get(), buf.data(), n);
        while (const StreamFrame *fr = StreamReader_GetNextFrame(reader.get())) {
            if (haveKey) {
                if (fr->nType == STREAM_FRAME_AUDIO && !facts->audio) {
                    facts->audio = true;
                    facts->muLaw = fr->nMuLaw != 0;
                }
                continue;
            }
            if (fr->nType != STREAM_FRAME_VIDEO)
                continue;
            const size_t header = fr->nKeyFrame ? kKeyHeaderSize : kVideoHeaderSize;
            const uint8_t *payload = fr->pData + header;
            const size_t size = fr->nLength - header;
            if (fr->nKeyFrame) {
                VideoCodec c = probe_video_codec(payload, size);
                if (c == VideoCodec::Unknown)
                    continue;
                dec.reset(new VideoDecoder);
                groupFrames = 0;
                facts->codec = c;
                facts->paramSets.clear();
                facts->rate = fr->nFrameRate;
            } else if (!dec || ++groupFrames > kFramesToSize) {
                dec.reset();
                continue;
            }
            std::vector<uint8_t> ps = extract_parameter_sets(facts->codec, payload, size);
            facts->paramSets.insert(facts->paramSets.end(), ps.begin(), ps.end());
            dec->decode(payload, size);
            if (dec->width() > 0 && dec->height() > 0 && !facts->paramSets.empty()) {
                facts->width = dec->width();
                facts->height = dec->height();
                haveKey = true;
                dec.reset();
            }
        }
        if (haveKey) {
            afterKey += int64_t(n);
            if (facts->audio || afterKey >= kScanLimit)
                break;
        }
    }
    if (std::ferror(f))
        return TVCONVERT_ERR_READ;
    return haveKey ? 0 : TVCONVERT_ERR_NO_VIDEO;
}

// The MP4 being written, with its optional AAC encoder.
class Mp4Writer {
public:
    ~Mp4Writer()
    {
        avcodec_free_context(&m_aac);
        av_frame_free(&m_frame);
        av_packet_free(&m_pkt);
        closeOutput();
        if (m_oc)
            avformat_free_context(m_oc);
    }

    bool open(const std::string &path, const StreamFacts &facts)
    {
        if (avformat_alloc_output_context2(&m_oc, nullptr, "mp4", path.c_str()) < 0 || !m_oc)
            return false;
        m_pkt = av_packet_alloc();
        m_video = avformat_new_stream(m_oc, nullptr);
        if (!m_video || !m_pkt)
            return false;
        AVCodecParameters *par = m_video->codecpar;
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = facts.codec == VideoCodec::H265 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
        par->width = facts.width;
        par->height = facts.height;
        par->format = AV_PIX_FMT_YUV420P;
        par->extradata = static_cast<uint8_t *>(av_mallocz(facts.paramSets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!par->extradata)
            return false;
        std::copy(facts.paramSets.begin(), facts.paramSets.end(), par->extradata);
        par->extradata_size = int(facts.paramSets.size());
        if (facts.codec == VideoCodec::H265)
            par->codec_tag = MKTAG('h', 'v', 'c', '1');
        uint32_t rate = facts.rate ? facts.rate : kDefaultRate;
        m_video->time_base = AVRational{1, kVideoClock};
        m_video->avg_frame_rate = AVRational{int(rate), 1};

        if (facts.audio && !openAudio())
            return false;
        if (!openOutput(path))
            return false;
        return avformat_write_header(m_oc, nullptr) >= 0;
    }

    bool writeVideo(const uint8_t *p, size_t n, bool key, int64_t pts, int64_t duration)
    {
        m_pkt->data = const_cast<uint8_t *>(p);
        m_pkt->size = int(n);
        m_pkt->stream_index = m_video->index;
        m_pkt->pts = m_pkt->dts = av_rescale_q(pts, AVRational{1, kVideoClock}, m_video->time_base);
        m_pkt->duration = av_rescale_q(duration, AVRational{1, kVideoClock}, m_video->time_base);
        m_pkt->flags = key ? AV_PKT_FLAG_KEY : 0;
        // The packet is not reference counted: the muxer writes the payload
        // straight from the reader's buffer without keeping it.
        int r = av_write_frame(m_oc, m_pkt);
        m_pkt->data = nullptr;
        m_pkt->size = 0;
        return r >= 0;
    }

    bool writeSound(const uint8_t *g711, size_t n, bool muLaw)
    {
        if (!m_aac)
            return true;
        m_pcm.resize(n);
        g711_decode(g711, n, muLaw, m_pcm.data());
        // Samples not yet encoded move to the front only when the rest of
        // the queue is used up, not for every frame encoded.
        if (m_fifoStart > 0 && m_fifoStart >= m_fifo.size() / 2) {
            m_fifo.erase(m_fifo.begin(), m_fifo.begin() + std::ptrdiff_t(m_fifoStart));
            m_fifoStart = 0;
        }
        const size_t at = m_fifo.size();
        m_fifo.resize(at + n);
        for (size_t i = 0; i < n; ++i)
            m_fifo[at + i] = float(m_pcm[i]) * (1.0f / 32768.0f);
        while (m_fifo.size() - m_fifoStart >= size_t(m_aac->frame_size))
            if (!encodeSound(m_aac->frame_size))
                return false;
        return true;
    }

    bool finish()
    {
        if (m_aac) {
            if (m_fifo.size() > m_fifoStart && !encodeSound(int(m_fifo.size() - m_fifoStart)))
                return false;
            if (avcodec_send_frame(m_aac, nullptr) < 0 || !drainSound())
                return false;
        }
        if (av_write_trailer(m_oc) < 0)
            return false;
        return closeOutput();
    }

private:
    // The MP4 goes through an I/O context of our own over a plain file
    // descriptor: a large buffer turns a gigabyte of packets into a few
    // hundred writes, where the default context would make tens of
    // thousands of 32 KiB ones.
    bool openOutput(const std::string &path)
    {
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (m_fd < 0)
            return false;
        auto *buffer = static_cast<unsigned char *>(av_malloc(kOutputBuffer));
        if (!buffer)
            return false;
        m_oc->pb = avio_alloc_context(buffer, kOutputBuffer, 1, this, nullptr, &Mp4Writer::writeOut,
                                      &Mp4Writer::seekOut);
        if (!m_oc->pb) {
            av_free(buffer);
            return false;
        }
        m_oc->flags |= AVFMT_FLAG_CUSTOM_IO;
        return true;
    }

    // Flushes what is buffered and closes the file; false if any write or
    // the close failed.
    bool closeOutput()
    {
        bool ok = !m_writeFailed;
        if (m_oc && m_oc->pb) {
            avio_flush(m_oc->pb);
            ok = ok && !m_writeFailed && m_oc->pb->error == 0;
            av_freep(&m_oc->pb->buffer);
            avio_context_free(&m_oc->pb);
        }
        if (m_fd >= 0) {
            if (::close(m_fd) != 0)
                ok = false;
            m_fd = -1;
        }
        return ok;
    }

    static int writeOut(void *opaque, uint8_t *buf, int size)
    {
        auto *self = static_cast<Mp4Writer *>(opaque);
        int left = size;
        while (left > 0) {
            ssize_t w = ::write(self->m_fd, buf, size_t(left));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                self->m_writeFailed = true;
                return w < 0 ? AVERROR(errno) : AVERROR(EIO);
            }
            buf += w;
            left -= int(w);
        }
        return size;
    }

    static int64_t seekOut(void *opaque, int64_t offset, int whence)
    {
        auto *self = static_cast<Mp4Writer *>(opaque);
        if (whence & AVSEEK_SIZE) {
            struct stat st {};
            return fstat(self->m_fd, &st) == 0 ? int64_t(st.st_size) : AVERROR(errno);
        }
        off_t r = ::lseek(self->m_fd, off_t(offset), whence & ~AVSEEK_FORCE);
        return r < 0 ? AVERROR(errno) : int64_t(r);
    }

    bool openAudio()
    {
        const AVCodec *enc = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!enc)
            return false;
        m_aac = avcodec_alloc_context3(enc);
        m_frame = av_frame_alloc();
        if (!m_aac || !m_frame)
            return false;
        m_aac->sample_rate = kG711SampleRate;
        m_aac->sample_fmt = AV_SAMPLE_FMT_FLTP;
        av_channel_layout_default(&m_aac->ch_layout, 1);
        m_aac->bit_rate = 32000;
        m_aac->time_base = AVRational{1, kG711SampleRate};
        if (m_oc->oformat->flags & AVFMT_GLOBALHEADER)
            m_aac->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        // Telephone-band sound needs no trellis search: the fast coder
        // converts hours of it in seconds.
        av_opt_set(m_aac->priv_data, "aac_coder", "fast", 0);
        av_opt_set_int(m_aac->priv_data, "aac_pns", 0, 0);
        av_opt_set_int(m_aac->priv_data, "aac_tns", 0, 0);
        if (avcodec_open2(m_aac, enc, nullptr) < 0)
            return false;
        m_audio = avformat_new_stream(m_oc, nullptr);
        if (!m_audio || avcodec_parameters_from_context(m_audio->codecpar, m_aac) < 0)
            return false;
        m_audio->time_base = AVRational{1, kG711SampleRate};
        return true;
    }

    bool encodeSound(int n)
    {
        av_frame_unref(m_frame);
        m_frame->format = AV_SAMPLE_FMT_FLTP;
        m_frame->sample_rate = kG711SampleRate;
        av_channel_layout_default(&m_frame->ch_layout, 1);
        m_frame->nb_samples = n;
        if (av_frame_get_buffer(m_frame, 0) < 0)
            return false;
        const auto from = m_fifo.begin() + std::ptrdiff_t(m_fifoStart);
        std::copy(from, from + n, reinterpret_cast<float *>(m_frame->data[0]));
        m_fifoStart += size_t(n);
        m_frame->pts = m_samples;
        m_samples += n;
        if (avcodec_send_frame(m_aac, m_frame) < 0)
            return false;
        return drainSound();
    }

    bool drainSound()
    {
        for (;;) {
            int r = avcodec_receive_packet(m_aac, m_pkt);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return true;
            if (r < 0)
                return false;
            av_packet_rescale_ts(m_pkt, m_aac->time_base, m_audio->time_base);
            m_pkt->stream_index = m_audio->index;
            if (av_write_frame(m_oc, m_pkt) < 0) {
                av_packet_unref(m_pkt);
                return false;
            }
            av_packet_unref(m_pkt);
        }
    }

    AVFormatContext *m_oc = nullptr;
    AVStream *m_video = nullptr;
    AVStream *m_audio = nullptr;
    AVCodecContext *m_aac = nullptr;
    AVFrame *m_frame = nullptr;
    AVPacket *m_pkt = nullptr;
    std::vector<int16_t> m_pcm;   // one audio frame's samples
    std::vector<float> m_fifo;    // samples waiting for the encoder, from m_fifoStart on
    size_t m_fifoStart = 0;
    int64_t m_samples = 0;
    int m_fd = -1;
    bool m_writeFailed = false;
};

int convert_body(FILE *in, int64_t size, const std::string &tmp, const std::atomic<bool> &cancel,
                 const std::function<void(int)> &progress, ConvertSummary *summary)
{
    StreamFacts facts;
    int r = scan(in, &facts, cancel);
    if (r < 0)
        return r;
    if (std::fseek(in, 0, SEEK_SET) != 0)
        return TVCONVERT_ERR_READ;

    Mp4Writer mp4;
    if (!mp4.open(tmp, facts))
        return TVCONVERT_ERR_OUTPUT;

    ReaderPtr reader(StreamReader_Create());
    std::vector<uint8_t> buf(kChunk);
    bool started = false;
    int64_t pts = 0;
    int64_t done = 0;
    int lastPercent = -1;
    uint32_t rate = facts.rate ? facts.rate : kDefaultRate;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), in)) > 0) {
        if (cancel)
            return TVCONVERT_ERR_CANCELLED;
        StreamReader_PushData(reader.get(), buf.data(), n);
        while (const StreamFrame *fr = StreamReader_GetNextFrame(reader.get())) {
            if (fr->nKeyFrame)
                started = true;
            if (!started)
                continue;  // no picture can be decoded before the first key frame
            if (fr->nType == STREAM_FRAME_AUDIO) {
                if (!mp4.writeSound(fr->pData + kAudioHeaderSize, fr->nLength - kAudioHeaderSize, fr->nMuLaw != 0))
                    return TVCONVERT_ERR_OUTPUT;
                if (summary)
                    summary->audioFrames++;
                continue;
            }
            if (fr->nKeyFrame && fr->nFrameRate)
                rate = fr->nFrameRate;
            size_t header = fr->nKeyFrame ? kKeyHeaderSize : kVideoHeaderSize;
            int64_t duration = kVideoClock / int64_t(rate);
            if (!mp4.writeVideo(fr->pData + header, fr->nLength - header, fr->nKeyFrame != 0, pts, duration))
                return TVCONVERT_ERR_OUTPUT;
            pts += duration;
            if (summary)
                summary->videoFrames++;
        }
        done += int64_t(n);
        int percent = size > 0 ? int(std::min<int64_t>(99, done * 100 / size)) : 0;
        if (percent != lastPercent && progress) {
            lastPercent = percent;
            progress(percent);
        }
    }
    if (std::ferror(in))
        return TVCONVERT_ERR_READ;
    if (cancel)
        return TVCONVERT_ERR_CANCELLED;
    if (!mp4.finish())
        return TVCONVERT_ERR_OUTPUT;
    if (summary) {
        summary->width = facts.width;
        summary->height = facts.height;
    }
    return 0;
}

}  // namespace

int convert_recording_to_mp4(const std::string &src, const std::string &dst, const std::atomic<bool> &cancel,
                             const std::function<void(int)> &progress, ConvertSummary *summary)
{
    if (src.empty() || dst.empty())
        return TVCONVERT_ERR_OUTPUT;
    FilePtr in(std::fopen(src.c_str(), "rb"));
    if (!in)
        return TVCONVERT_ERR_OPEN_SOURCE;
    struct stat st {};
    int64_t size = fstat(fileno(in.get()), &st) == 0 ? int64_t(st.st_size) : 0;
    struct stat target {};
    if (stat(dst.c_str(), &target) == 0 && target.st_dev == st.st_dev && target.st_ino == st.st_ino)
        return TVCONVERT_ERR_OUTPUT;  // the MP4 would replace its own source
    if (summary)
        *summary = ConvertSummary{};
    const std::string tmp = dst + ".part";
    int r = convert_body(in.get(), size, tmp, cancel, progress, summary);
    if (r == 0 && std::rename(tmp.c_str(), dst.c_str()) != 0)
        r = TVCONVERT_ERR_OUTPUT;
    if (r != 0)
        std::remove(tmp.c_str());
    return r;
}

}  // namespace media
