#include "media/play/FileFeeder.h"

#include "media/common/PackedTime.h"
#include "media/play/PlayPort.h"
#include "media/stream/FrameHeader.h"
#include "media/stream/StreamReader.h"

#include <sys/stat.h>

#include <cstdio>
#include <vector>

extern "C" {
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/parseutils.h>
}

namespace media {

namespace {

constexpr size_t kChunk = 32768;
constexpr size_t kProbeBytes = 1u << 20;
// Pictures of an MP4 file may be far larger than a recorder's frames.
constexpr uint32_t kMaxMp4Frame = 32u << 20;

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

int64_t file_size(FILE *f)
{
    struct stat st {};
    return fstat(fileno(f), &st) == 0 ? int64_t(st.st_size) : 0;
}

// Packed time of the first and the last key frame in the given byte range.
uint32_t key_time_in(FILE *f, int64_t from, size_t bytes, bool last)
{
    if (fseeko(f, from, SEEK_SET) != 0)
        return 0;
    std::vector<uint8_t> buf(bytes);
    size_t n = std::fread(buf.data(), 1, bytes, f);
    StreamReaderHandle r = StreamReader_Create();
    StreamReader_PushData(r, buf.data(), n);
    uint32_t t = 0;
    while (const StreamFrame *fr = StreamReader_GetNextFrame(r)) {
        if (fr->nKeyFrame && fr->nPackedTime) {
            t = fr->nPackedTime;
            if (!last)
                break;
        }
    }
    StreamReader_Destroy(r);
    return t;
}

void put32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

}  // namespace

FileFeeder::FileFeeder(std::shared_ptr<PlayPort> port, std::string path)
    : m_port(std::move(port)), m_path(std::move(path))
{
}

FileFeeder::~FileFeeder()
{
    stop();
}

bool FileFeeder::open()
{
    FilePtr f(std::fopen(m_path.c_str(), "rb"));
    if (!f)
        return false;
    std::vector<uint8_t> head(kProbeBytes);
    size_t n = std::fread(head.data(), 1, head.size(), f.get());
    StreamReaderHandle r = StreamReader_Create();
    StreamReader_PushData(r, head.data(), n);
    bool raw = false;
    while (const StreamFrame *fr = StreamReader_GetNextFrame(r))
        if (fr->nType == STREAM_FRAME_VIDEO) {
            raw = true;
            break;
        }
    StreamReader_Destroy(r);
    if (raw)
        return true;
    AVFormatContext *fmt = nullptr;
    if (avformat_open_input(&fmt, m_path.c_str(), nullptr, nullptr) < 0)
        return false;
    bool ok = avformat_find_stream_info(fmt, nullptr) >= 0 &&
              av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) >= 0;
    avformat_close_input(&fmt);
    m_mp4 = ok;
    return ok;
}

void FileFeeder::start()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_started)
        return;  // a second Play changes nothing
    m_started = true;
    m_thread = std::thread([this] { run(); });
}

void FileFeeder::stop()
{
    m_stop = true;
    m_cv.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void FileFeeder::seekPercent(int percent)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_seek = std::max(0, std::min(100, percent));
    }
    m_cv.notify_all();
}

bool FileFeeder::takeSeek(int *percent)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_seek < 0)
        return false;
    *percent = m_seek;
    m_seek = -1;
    return true;
}

void FileFeeder::waitForSeekOrStop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this] { return m_stop.load() || m_seek >= 0 || m_port->stopping(); });
}

void FileFeeder::run()
{
    if (m_mp4)
        runMp4();
    else
        runRaw();
}

void FileFeeder::runRaw()
{
    FilePtr f(std::fopen(m_path.c_str(), "rb"));
    if (!f) {
        m_port->forceEnd();
        return;
    }
    const int64_t size = file_size(f.get());
    uint32_t first = key_time_in(f.get(), 0, size_t(std::min<int64_t>(size, kProbeBytes)), false);
    int64_t tailFrom = std::max<int64_t>(0, size - int64_t(4 * kProbeBytes));
    uint32_t last = key_time_in(f.get(), tailFrom, size_t(size - tailFrom), true);
    if (first && last)
        m_port->setTimeRange(packed_to_epoch(first), packed_to_epoch(last) + 1);
    std::fseek(f.get(), 0, SEEK_SET);

    StreamReaderHandle reader = StreamReader_Create();
    std::vector<uint8_t> buf(kChunk);
    while (!m_stop && !m_port->stopping()) {
        int percent;
        if (takeSeek(&percent)) {
            m_port->flushForSeek();
            StreamReader_Destroy(reader);
            reader = StreamReader_Create();
            fseeko(f.get(), size * percent / 100, SEEK_SET);
        }
        size_t n = std::fread(buf.data(), 1, buf.size(), f.get());
        if (n == 0) {
            m_port->forceEnd();
            waitForSeekOrStop();
            continue;
        }
        StreamReader_PushData(reader, buf.data(), n);
        while (const StreamFrame *fr = StreamReader_GetNextFrame(reader)) {
            if (!m_port->waitForRoom() || m_stop)
                break;
            m_port->push(fr->pData, int(fr->nLength));
        }
    }
    StreamReader_Destroy(reader);
}

void FileFeeder::runMp4()
{
    AVFormatContext *fmt = nullptr;
    if (avformat_open_input(&fmt, m_path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(fmt, nullptr) < 0) {
        avformat_close_input(&fmt);
        m_port->forceEnd();
        return;
    }
    int vs = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVStream *st = vs >= 0 ? fmt->streams[vs] : nullptr;
    const AVBitStreamFilter *filter = nullptr;
    if (st && st->codecpar->codec_id == AV_CODEC_ID_H264)
        filter = av_bsf_get_by_name("h264_mp4toannexb");
    else if (st && st->codecpar->codec_id == AV_CODEC_ID_HEVC)
        filter = av_bsf_get_by_name("hevc_mp4toannexb");
    AVBSFContext *bsf = nullptr;
    if (!filter || av_bsf_alloc(filter, &bsf) < 0 || avcodec_parameters_copy(bsf->par_in, st->codecpar) < 0 ||
        (bsf->time_base_in = st->time_base, av_bsf_init(bsf) < 0)) {
        av_bsf_free(&bsf);
        avformat_close_input(&fmt);
        m_port->forceEnd();
        return;
    }

    // Wall-clock times: the file's creation time when it has one, else its
    // modification time.
    int64_t base = 0;
    if (AVDictionaryEntry *e = av_dict_get(fmt->metadata, "creation_time", nullptr, 0)) {
        int64_t us = 0;
        if (av_parse_time(&us, e->value, 0) == 0)
            base = us / 1000000;
    }
    if (!base) {
        struct stat sb {};
        if (stat(m_path.c_str(), &sb) == 0)
            base = int64_t(sb.st_mtime);
    }
    AVRational fr = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    uint32_t rate = fr.num > 0 && fr.den > 0 ? uint32_t(std::lround(av_q2d(fr))) : 25;
    rate = std::max<uint32_t>(1, std::min<uint32_t>(255, rate));
    int64_t duration = fmt->duration > 0 ? fmt->duration / AV_TIME_BASE : 0;
    m_port->setTimeRange(base, base + duration);
    m_port->setMaxFrameLength(kMaxMp4Frame);

    AVPacket *pkt = av_packet_alloc();
    std::vector<uint8_t> frame;
    while (!m_stop && !m_port->stopping()) {
        int percent;
        if (takeSeek(&percent)) {
            m_port->flushForSeek();
            av_bsf_flush(bsf);
            int64_t target = fmt->duration > 0 ? fmt->duration * percent / 100 : 0;
            av_seek_frame(fmt, -1, target, AVSEEK_FLAG_BACKWARD);
        }
        int r = av_read_frame(fmt, pkt);
        if (r < 0) {
            m_port->forceEnd();
            waitForSeekOrStop();
            continue;
        }
        if (pkt->stream_index != vs || av_bsf_send_packet(bsf, pkt) < 0) {
            av_packet_unref(pkt);
            continue;
        }
        while (av_bsf_receive_packet(bsf, pkt) == 0) {
            bool key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
            size_t header = key ? kKeyHeaderSize : kVideoHeaderSize;
            if (pkt->size <= 0 || size_t(pkt->size) + header > kMaxMp4Frame) {
                av_packet_unref(pkt);
                continue;
            }
            frame.assign(header + size_t(pkt->size), 0);
            frame[2] = 1;
            if (key) {
                int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
                int64_t secs = ts != AV_NOPTS_VALUE ? int64_t(double(ts) * av_q2d(st->time_base)) : 0;
                frame[3] = kFrameKey;
                frame[5] = uint8_t(rate);
                put32(&frame[8], epoch_to_packed(base + secs));
                put32(&frame[12], uint32_t(pkt->size));
            } else {
                frame[3] = kFrameVideo;
                put32(&frame[4], uint32_t(pkt->size));
            }
            std::copy(pkt->data, pkt->data + pkt->size, frame.begin() + std::ptrdiff_t(header));
            av_packet_unref(pkt);
            if (!m_port->waitForRoom() || m_stop)
                break;
            m_port->push(frame.data(), int(frame.size()));
        }
    }
    av_packet_free(&pkt);
    av_bsf_free(&bsf);
    avformat_close_input(&fmt);
}

}  // namespace media
