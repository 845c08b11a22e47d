// One play port: a buffer of pushed frames and a thread that decodes them,
// paces them by their own clock (frame rate x 2^speed), renders them into a
// window and plays their sound.
//
// Pacing (PlayClock): every video frame has an absolute deadline on a
// monotonic clock. A port that cannot keep up first drops frames it has
// decoded, then decodes key frames only until it is back in time, so play
// never drifts behind its clock; a picture shown while it catches up carries
// a small marker, and the play statistics count what was dropped and passed
// over.
//
// Stepping back decodes again from the key frame of the group; the port keeps
// the frames of the current and the previous group for that.
#pragma once

#include "media/decode/VideoDecoder.h"
#include "media/play/PlayClock.h"
#include "media/sdk/Tarvok.h"
#include "media/stream/FrameHeader.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace media {

class FramePresenter;
class SoundOutput;
class VideoOutput;

struct QueuedFrame {
    std::vector<uint8_t> bytes;  // the whole frame, header included
    uint32_t headerSize = 0;
    bool audio = false;
    bool key = false;
    bool muLaw = false;
    uint32_t rate = 0;           // frame rate of the group (0 = unknown)
    uint32_t groupTime = 0;      // packed time of the group's key frame
    uint32_t posInGroup = 0;     // video frames since that key frame
};

class PlayPort : public std::enable_shared_from_this<PlayPort> {
public:
    PlayPort(int id, const TVMessageReceiver &receiver, uint64_t hWnd, int bufferFrames);
    ~PlayPort();
    PlayPort(const PlayPort &) = delete;
    PlayPort &operator=(const PlayPort &) = delete;

    int id() const { return m_id; }

    int play();
    // Ends the play thread. From the port's own thread (a message handler)
    // the thread is left to end by itself.
    void stop();

    int push(const uint8_t *data, int length);
    int forceEnd();
    int pause(bool on);
    int setSpeed(int speed);
    int nextFrame();
    int previousFrame();
    int playSound();
    int stopSound();
    int capture(const std::string &path, int timeoutMs);
    int startRecord(const std::string &path);
    int stopRecord();
    int setRegion(const TVRect *rect);
    void stats(TVPlayStats *out) const;

    // For file feeders: block while the buffer is full (false when the port
    // stops), forget everything buffered and shown (a seek), and give the
    // play-time range of the whole file.
    bool waitForRoom();
    void flushForSeek();
    void setTimeRange(int64_t begin, int64_t end);
    // Frames of other sources (MP4 files) may be longer than recording frames.
    void setMaxFrameLength(uint32_t length) { m_maxFrameLength = length; }
    bool stopping() const { return m_abort.load(); }
    bool isWorkerThread() const;

private:
    struct HistEntry {
        std::shared_ptr<QueuedFrame> frame;
    };

    void run();
    // The pieces of the play thread's loop; each is called with m_mutex
    // held and returns with it held.
    bool followBufferState(std::unique_lock<std::mutex> &lock);
    bool followRequests(std::unique_lock<std::mutex> &lock);
    bool pace(std::unique_lock<std::mutex> &lock, const QueuedFrame &f, PlayClock::Decision *d);
    void replayHistory(std::unique_lock<std::mutex> &lock);
    void waitForData(std::unique_lock<std::mutex> &lock);
    void playQueuedAudio(std::unique_lock<std::mutex> &lock);
    void playQueuedVideo(std::unique_lock<std::mutex> &lock);

    static int64_t nowNs();
    uint32_t rateOf(const QueuedFrame &f) const;
    void taken(const QueuedFrame &f);
    void send(int msg, int64_t p1, int64_t p2, int64_t p3, const char *text = "");
    void consumeVideo(const std::shared_ptr<QueuedFrame> &f, PlayClock::Action action);
    void playHistory(int index, PlayClock::Action action);
    bool showHistory(int index, bool render);
    bool decodeTo(int index);
    void render();
    void appendHistory(const std::shared_ptr<QueuedFrame> &f);
    void trimHistory();
    void resetPlayback();
    void stepBack();
    void playAudio(const QueuedFrame &f);
    void reportInfo(const QueuedFrame &f);

    const int m_id;
    const TVMessageReceiver m_receiver;
    const int m_capacity;
    std::atomic<uint32_t> m_maxFrameLength{kMaxFrameLength};

    // Shared with the callers, under m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::shared_ptr<QueuedFrame>> m_queue;
    int m_queuedVideo = 0;
    size_t m_queuedBytes = 0;
    bool m_started = false;
    bool m_paused = false;
    bool m_ended = false;          // ForcePlayEnd: no more data comes
    bool m_endSent = false;
    bool m_holding = false;        // the pusher was asked to hold
    bool m_flushRequested = false;
    int m_stepNext = 0;
    int m_stepPrev = 0;
    int m_speed = 0;
    int64_t m_beginTime = 0;
    int64_t m_endTime = 0;
    bool m_fixedRange = false;
    // Push-side group tracking.
    uint32_t m_pushGroupTime = 0;
    uint32_t m_pushRate = 0;
    uint32_t m_pushPos = 0;

    std::atomic<bool> m_abort{false};
    std::thread m_thread;
    std::atomic<bool> m_detach{false};

    // Clip recording (written on the pushing thread).
    std::mutex m_recordMutex;
    FILE *m_record = nullptr;
    bool m_recordWaitKey = false;

    // Sound.
    std::mutex m_soundMutex;
    std::unique_ptr<SoundOutput> m_sound;

    // Play thread only.
    PlayClock m_clock;
    VideoDecoder m_decoder;
    std::unique_ptr<VideoOutput> m_output;
    std::unique_ptr<FramePresenter> m_presenter;  // converts and shows; keeps the picture for capture
    std::deque<HistEntry> m_hist;
    size_t m_histBytes = 0;
    int m_cursor = -1;      // history index of the frame on screen
    int m_decodedIdx = -1;  // history index the decoder has reached
    bool m_decoderFresh = true;  // nothing decoded since it was opened or flushed
    uint32_t m_lastRate = 0;
    int64_t m_lastInfoTime = -1;
    int m_lastWidth = 0;
    int m_lastHeight = 0;
    uint64_t m_videoBytes = 0;
    uint64_t m_videoCount = 0;

    std::atomic<uint64_t> m_nDecoded{0};
    std::atomic<uint64_t> m_nRendered{0};
    std::atomic<uint64_t> m_nSkipped{0};
    std::atomic<uint64_t> m_nDropped{0};   // decoded, not shown: behind
    std::atomic<uint64_t> m_nKeyOnly{0};   // passed over undecoded: key frames only
    std::atomic<uint64_t> m_catchUps{0};
    std::atomic<uint64_t> m_dryReanchors{0};
    std::atomic<uint64_t> m_nRestarts{0};  // decoder flushed to decode from a key frame again
    std::atomic<int64_t> m_playedUs{0};
    std::atomic<int64_t> m_lateUs{0};
    std::atomic<bool> m_catchingUp{false};
    std::atomic<int> m_width{0};
    std::atomic<int> m_height{0};
};

}  // namespace media
