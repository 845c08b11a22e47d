#include "media/play/PlayPort.h"

#include "media/audio/G711.h"
#include "media/audio/SoundOutput.h"
#include "media/common/PackedTime.h"
#include "media/decode/DecodeSlots.h"
#include "media/decode/DecoderThreads.h"
#include "media/render/FramePresenter.h"
#include "media/render/VideoOutput.h"
#include "media/stream/FrameHeader.h"

#include <QFile>

#include <cstring>

namespace media {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kDefaultRate = 25;
// Frames of history kept for stepping back, and their bytes at most.
constexpr size_t kMaxHistoryFrames = 1500;
constexpr size_t kMaxHistoryBytes = 64u << 20;
// A pusher that ignores the hold message is refused above this.
constexpr size_t kMaxQueuedBytes = 256u << 20;
}  // namespace

PlayPort::PlayPort(int id, const TVMessageReceiver &receiver, uint64_t hWnd, int bufferFrames)
    : m_id(id), m_receiver(receiver), m_capacity(bufferFrames > 0 ? bufferFrames : 100),
      m_output(new VideoOutput(hWnd)), m_presenter(new FramePresenter(m_output.get(), false))
{
}

PlayPort::~PlayPort()
{
    stop();
    if (m_thread.joinable())
        m_thread.detach();  // only when stopped from its own thread
    stopRecord();
}

bool PlayPort::isWorkerThread() const
{
    return m_thread.get_id() == std::this_thread::get_id();
}

void PlayPort::send(int msg, int64_t p1, int64_t p2, int64_t p3, const char *text)
{
    if (m_receiver.pfnCallback)
        m_receiver.pfnCallback(m_id, msg, p1, p2, p3, text, nullptr, nullptr, nullptr, m_receiver.pUser);
}

int PlayPort::play()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_started)
        return 0;
    if (m_abort)
        return -1;
    m_started = true;
    // The thread keeps its port alive, so that a message handler may stop
    // (and release) the port from inside the thread.
    std::shared_ptr<PlayPort> self = shared_from_this();
    m_thread = std::thread([self] { self->run(); });
    return 0;
}

void PlayPort::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_abort = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable() && !isWorkerThread())
        m_thread.join();
    {
        std::lock_guard<std::mutex> lock(m_soundMutex);
        m_sound.reset();
    }
    stopRecord();
}

int PlayPort::push(const uint8_t *data, int length)
{
    if (!data || length <= 0)
        return -1;
    FrameHeader h;
    if (parse_frame_header(data, size_t(length), &h, m_maxFrameLength) != HeaderResult::Frame || size_t(length) < h.headerSize)
        return -1;
    size_t n = std::min<size_t>(size_t(length), h.length);

    {
        std::lock_guard<std::mutex> lock(m_recordMutex);
        if (m_record) {
            if (m_recordWaitKey && h.type == kFrameKey)
                m_recordWaitKey = false;
            if (!m_recordWaitKey && std::fwrite(data, 1, n, m_record) != n) {
                std::fclose(m_record);  // a clip that cannot be written ends here
                m_record = nullptr;
            }
        }
    }

    auto f = std::make_shared<QueuedFrame>();
    f->bytes.assign(data, data + n);
    f->headerSize = h.headerSize;
    f->audio = h.type == kFrameAudio;
    f->key = h.type == kFrameKey;
    f->muLaw = h.muLaw;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_abort || m_queuedBytes + n > kMaxQueuedBytes)
            return -1;
        if (f->key) {
            m_pushGroupTime = h.time;
            m_pushRate = h.frameRate;
            m_pushPos = 0;
            int64_t t = packed_to_epoch(h.time);
            if (!m_fixedRange && t) {
                if (!m_beginTime)
                    m_beginTime = t;
                m_endTime = std::max(m_endTime, t);
            }
        }
        f->rate = m_pushRate;
        f->groupTime = m_pushGroupTime;
        f->posInGroup = f->audio ? m_pushPos : m_pushPos++;
        m_queue.push_back(f);
        m_queuedBytes += n;
        if (!f->audio)
            m_queuedVideo++;
    }
    m_cv.notify_all();
    return 0;
}

int PlayPort::forceEnd()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
    }
    m_cv.notify_all();
    return 0;
}

int PlayPort::pause(bool on)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_paused = on;
        if (!on) {
            m_stepNext = 0;
            m_stepPrev = 0;
        }
    }
    m_cv.notify_all();
    return 0;
}

int PlayPort::setSpeed(int speed)
{
    if (speed < -4 || speed > 4)
        return -1;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_speed = speed;
    }
    m_cv.notify_all();
    return 0;
}

int PlayPort::nextFrame()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_paused = true;
        m_stepNext++;
    }
    m_cv.notify_all();
    return 0;
}

int PlayPort::previousFrame()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_paused = true;
        m_stepNext = 0;
        m_stepPrev++;
    }
    m_cv.notify_all();
    return 0;
}

int PlayPort::playSound()
{
    std::lock_guard<std::mutex> lock(m_soundMutex);
    if (!m_sound)
        m_sound = SoundOutput::open();
    if (!m_sound)
        return -1;
    send(EUIMSG_PLAY_SOUND, 1, 0, 0);
    return 0;
}

int PlayPort::stopSound()
{
    bool had;
    {
        std::lock_guard<std::mutex> lock(m_soundMutex);
        had = m_sound != nullptr;
        m_sound.reset();
    }
    if (had)
        send(EUIMSG_PLAY_SOUND, 0, 0, 0);
    return 0;
}

int PlayPort::capture(const std::string &path, int timeoutMs)
{
    QImage img = m_abort ? QImage() : m_presenter->lastImage(timeoutMs);
    if (img.isNull() || path.empty())
        return -1;
    QFile file(QString::fromLocal8Bit(path.c_str()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return -1;  // never over an existing picture
    bool ok = img.save(&file, "JPG", 90);
    file.close();
    if (!ok || file.error() != QFileDevice::NoError) {
        file.remove();
        return -1;
    }
    return 0;
}

int PlayPort::startRecord(const std::string &path)
{
    std::lock_guard<std::mutex> lock(m_recordMutex);
    if (m_record || path.empty())
        return -1;
    m_record = std::fopen(path.c_str(), "wbx");  // a new file, never over an existing one
    if (!m_record)
        return -1;
    m_recordWaitKey = true;
    return 0;
}

int PlayPort::stopRecord()
{
    std::lock_guard<std::mutex> lock(m_recordMutex);
    if (!m_record)
        return -1;
    int r = std::fclose(m_record) == 0 ? 0 : -1;
    m_record = nullptr;
    return r;
}

int PlayPort::setRegion(const TVRect *rect)
{
    m_presenter->setRegion(rect);
    return 0;
}

void PlayPort::stats(TVPlayStats *out) const
{
    out->nDecoded = m_nDecoded;
    out->nRendered = m_output->shown();
    out->nSkipped = m_nSkipped + m_output->dropped();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        out->nBuffered = uint64_t(m_queuedVideo);
    }
    out->nWidth = m_width;
    out->nHeight = m_height;
    out->nDropped = m_nDropped;
    out->nKeyOnly = m_nKeyOnly;
    out->nCatchUps = m_catchUps;
    out->nRestarts = m_nRestarts;
    out->nDryReanchors = m_dryReanchors;
    out->nPlayedUs = uint64_t(std::max<int64_t>(0, m_playedUs));
    out->nLateUs = m_lateUs;
    out->bCatchingUp = m_catchingUp ? 1 : 0;
}

bool PlayPort::waitForRoom()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this] { return m_abort.load() || m_queuedVideo < m_capacity; });
    return !m_abort;
}

void PlayPort::flushForSeek()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.clear();
        m_queuedVideo = 0;
        m_queuedBytes = 0;
        m_ended = false;
        m_endSent = false;
        m_flushRequested = true;
        m_pushGroupTime = 0;
        m_pushPos = 0;
    }
    m_cv.notify_all();
}

void PlayPort::setTimeRange(int64_t begin, int64_t end)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fixedRange = true;
    m_beginTime = begin;
    m_endTime = end;
}

void PlayPort::run()
{
    const PlayingPort playing;  // decoders share the cores among the ports playing
    send(EUIMSG_PLAY_START, m_id, 0, 0);
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_abort) {
        if (followBufferState(lock) || followRequests(lock))
            continue;
        if (m_paused && m_stepNext == 0) {
            m_clock.reanchor();
            m_cv.wait(lock);
            continue;
        }
        if (m_speed != m_clock.speed())
            m_clock.setSpeed(m_speed, nowNs());
        if (m_cursor + 1 < int(m_hist.size())) {
            replayHistory(lock);  // after stepping back, play goes on through the remembered frames
            continue;
        }
        if (m_queue.empty()) {
            waitForData(lock);
            continue;
        }
        if (m_queue.front()->audio)
            playQueuedAudio(lock);
        else
            playQueuedVideo(lock);
    }
    lock.unlock();
    m_presenter->stop();
    m_output->clear();
}

int64_t PlayPort::nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// Buffer state: hold the pusher above the high-water mark, let it go again
// at half of it. True when a message was sent (without the lock).
bool PlayPort::followBufferState(std::unique_lock<std::mutex> &lock)
{
    int state = -1;
    if (!m_holding && m_queuedVideo >= m_capacity)
        state = 1;
    else if (m_holding && m_queuedVideo <= m_capacity / 2)
        state = 0;
    if (state < 0)
        return false;
    m_holding = state == 1;
    lock.unlock();
    send(EUIMSG_BUFFER_STATE, state, 0, 0);
    lock.lock();
    return true;
}

// A seek's flush and a step back. True when one was carried out.
bool PlayPort::followRequests(std::unique_lock<std::mutex> &lock)
{
    if (m_flushRequested) {
        m_flushRequested = false;
        lock.unlock();
        resetPlayback();
        lock.lock();
        return true;
    }
    if (m_stepPrev > 0) {
        m_stepPrev--;
        lock.unlock();
        stepBack();
        lock.lock();
        m_clock.reanchor();
        return true;
    }
    return false;
}

// The one place frames are paced: whether the next video frame goes now and
// how (true, with the decision), or the port waited for its deadline (false:
// the caller looks at everything again, which may have changed meanwhile).
// A single step goes at once and re-anchors the clock.
bool PlayPort::pace(std::unique_lock<std::mutex> &lock, const QueuedFrame &f, PlayClock::Decision *d)
{
    if (m_stepNext > 0) {
        m_stepNext--;
        m_clock.reanchor();
        *d = PlayClock::Decision();
        d->action = PlayClock::Action::Show;
        return true;
    }
    *d = m_clock.decide(nowNs(), rateOf(f), f.key);
    if (d->action != PlayClock::Action::Wait) {
        m_lateUs = d->late / 1000;
        return true;
    }
    m_cv.wait_until(lock, Clock::time_point(std::chrono::duration_cast<Clock::duration>(
                              std::chrono::nanoseconds(d->due))));
    return false;
}

uint32_t PlayPort::rateOf(const QueuedFrame &f) const
{
    return f.rate ? f.rate : (m_lastRate ? m_lastRate : kDefaultRate);
}

void PlayPort::taken(const QueuedFrame &f)
{
    m_clock.taken(rateOf(f));
    m_playedUs = m_clock.played() / 1000;
    m_catchUps = m_clock.catchUps();
    m_dryReanchors = m_clock.starvedReanchors();
    m_catchingUp = m_clock.skipping();
}

void PlayPort::replayHistory(std::unique_lock<std::mutex> &lock)
{
    const int index = m_cursor + 1;
    const QueuedFrame &next = *m_hist[size_t(index)].frame;
    PlayClock::Decision d;
    if (!pace(lock, next, &d))
        return;
    lock.unlock();
    taken(next);
    playHistory(index, d.action);
    lock.lock();
}

// Nothing to show: the end of the data, or waiting for the pusher. A short
// wait moves the clock by nothing; a long one re-anchors it (PlayClock).
void PlayPort::waitForData(std::unique_lock<std::mutex> &lock)
{
    m_clock.starve();
    if (m_ended && !m_endSent) {
        m_endSent = true;
        lock.unlock();
        send(EUIMSG_PLAY_STOP, m_id, 0, 0);
        lock.lock();
        return;
    }
    m_cv.wait(lock);
}

void PlayPort::playQueuedAudio(std::unique_lock<std::mutex> &lock)
{
    std::shared_ptr<QueuedFrame> f = m_queue.front();
    m_queue.pop_front();
    m_queuedBytes -= f->bytes.size();
    const bool mute = m_paused || m_speed != 0;
    lock.unlock();
    if (!mute)
        playAudio(*f);
    lock.lock();
}

void PlayPort::playQueuedVideo(std::unique_lock<std::mutex> &lock)
{
    std::shared_ptr<QueuedFrame> f = m_queue.front();
    PlayClock::Decision d;
    if (!pace(lock, *f, &d))
        return;
    m_queue.pop_front();
    m_queuedBytes -= f->bytes.size();
    m_queuedVideo--;
    lock.unlock();
    m_cv.notify_all();  // a feeder may wait for room
    taken(*f);
    consumeVideo(f, d.action);
    lock.lock();
}

void PlayPort::consumeVideo(const std::shared_ptr<QueuedFrame> &f, PlayClock::Action action)
{
    if (f->rate)
        m_lastRate = f->rate;
    m_videoBytes += f->bytes.size() - f->headerSize;
    m_videoCount++;
    appendHistory(f);
    if (m_hist.empty() || m_hist.back().frame != f) {
        m_nSkipped++;  // no key frame yet: nothing to decode from
        return;
    }
    playHistory(int(m_hist.size()) - 1, action);
}

// Shows, drops or passes over the frame at `index` of the history.
void PlayPort::playHistory(int index, PlayClock::Action action)
{
    if (action == PlayClock::Action::PassOver) {
        // Key frames only (16x, or catching up). The frame stays in the
        // history so that stepping back later can still decode it.
        m_cursor = index;
        m_nKeyOnly++;
        m_nSkipped++;
        reportInfo(*m_hist[size_t(index)].frame);
        return;
    }
    const bool show = action == PlayClock::Action::Show;
    if (!showHistory(index, show) || !show)
        m_nSkipped++;
    if (!show)
        m_nDropped++;
}

void PlayPort::appendHistory(const std::shared_ptr<QueuedFrame> &f)
{
    if (!f->key && m_hist.empty())
        return;
    m_hist.push_back(HistEntry{f});
    m_histBytes += f->bytes.size();
    trimHistory();
}

// Keeps the current and the previous group of pictures, within bounds.
void PlayPort::trimHistory()
{
    auto keys = [this] {
        int n = 0;
        for (const auto &e : m_hist)
            n += e.frame->key ? 1 : 0;
        return n;
    };
    auto dropFrontGroup = [this] {
        size_t n = 1;
        while (n < m_hist.size() && !m_hist[n].frame->key)
            ++n;
        for (size_t i = 0; i < n; ++i) {
            m_histBytes -= m_hist.front().frame->bytes.size();
            m_hist.pop_front();
        }
        m_cursor -= int(n);
        m_decodedIdx -= int(n);
        if (m_cursor < -1)
            m_cursor = -1;
        if (m_decodedIdx < 0)
            m_decodedIdx = -1;
    };
    while (!m_hist.empty() &&
           (keys() > 2 || m_hist.size() > kMaxHistoryFrames || m_histBytes > kMaxHistoryBytes))
        dropFrontGroup();
}

bool PlayPort::decodeTo(int index)
{
    if (index < 0 || index >= int(m_hist.size()))
        return false;
    int key = index;
    while (key >= 0 && !m_hist[size_t(key)].frame->key)
        --key;
    if (key < 0)
        return false;
    int start;
    if (m_decodedIdx >= std::max(0, key - 1) && m_decodedIdx < index) {
        // The decoder holds the references: it has reached a frame of this
        // group, or the frame just before its key frame, as in play going on.
        // Starting afresh at every key frame would throw the decoder's tables
        // away once a group and make them again (megabytes at 1080p).
        start = m_decodedIdx + 1;
    } else {
        start = key;
        if (!m_decoderFresh) {
            m_decoder.flush();
            m_nRestarts++;
        }
    }
    bool got = false;
    for (int i = start; i <= index; ++i) {
        const QueuedFrame &q = *m_hist[size_t(i)].frame;
        {
            const DecodeSlot slot;  // see DecodeSlots.h
            got = m_decoder.decode(q.bytes.data() + q.headerSize, q.bytes.size() - q.headerSize);
        }
        m_decoderFresh = false;
        m_decodedIdx = i;
        m_nDecoded++;
    }
    return got;
}

bool PlayPort::showHistory(int index, bool show)
{
    bool got = decodeTo(index);
    m_cursor = index;
    if (got) {
        m_width = m_decoder.width();
        m_height = m_decoder.height();
        if (show)
            render();
        else
            m_presenter->passOver(m_decoder.picture());
    }
    reportInfo(*m_hist[size_t(index)].frame);
    return got;
}

void PlayPort::render()
{
    // A picture shown while the port catches up, or just after, carries the
    // marker.
    m_presenter->submit(m_decoder.picture(), m_clock.skipping());
}

void PlayPort::resetPlayback()
{
    m_hist.clear();
    m_histBytes = 0;
    m_cursor = -1;
    m_decodedIdx = -1;
    m_decoder.flush();
    m_decoderFresh = true;
    m_lastInfoTime = -1;
    m_clock.reanchor();
}

void PlayPort::stepBack()
{
    if (m_cursor <= 0)
        return;  // nothing earlier is remembered: hold on the current picture
    showHistory(m_cursor - 1, true);
}

void PlayPort::playAudio(const QueuedFrame &f)
{
    std::lock_guard<std::mutex> lock(m_soundMutex);
    if (!m_sound)
        return;
    size_t n = f.bytes.size() - f.headerSize;
    std::vector<int16_t> pcm(n);
    g711_decode(f.bytes.data() + f.headerSize, n, f.muLaw, pcm.data());
    m_sound->write(pcm.data(), pcm.size());
}

void PlayPort::reportInfo(const QueuedFrame &f)
{
    int64_t groupEpoch = packed_to_epoch(f.groupTime);
    if (!groupEpoch)
        return;
    uint32_t rate = f.rate ? f.rate : kDefaultRate;
    int64_t current = groupEpoch + f.posInGroup / rate;
    int w = m_decoder.width(), h = m_decoder.height();
    if (current == m_lastInfoTime && w == m_lastWidth && h == m_lastHeight)
        return;
    m_lastInfoTime = current;
    m_lastWidth = w;
    m_lastHeight = h;
    int64_t begin, end;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        begin = m_beginTime ? m_beginTime : current;
        end = std::max(m_endTime, current);
    }
    uint64_t bits = m_videoCount ? m_videoBytes * 8 * rate / m_videoCount : 0;
    char text[160];
    std::snprintf(text, sizeof text, "{\"fps\":%u,\"bits\":%llu,\"width\":%d,\"height\":%d}", rate,
                  static_cast<unsigned long long>(bits), w, h);
    send(EUIMSG_PLAY_INFO, begin, current, end, text);
}

}  // namespace media
