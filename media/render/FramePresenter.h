// Turns decoded pictures into images on a thread of its own, so that a
// port's decoding and the conversion to RGB run side by side, and hands
// them to the window: the display region of the picture, scaled straight to
// the window's pixel size. The picture shown is kept as decoded (a
// reference, no copy), so that a capture gets it whole and at full size
// whatever the window shows.
//
// A live port hands over a picture once the one before is shown, so that
// the presenter converts the decoder's newest picture while the next one is
// decoded; a blocking presenter keeps one picture waiting besides the one it
// converts, and makes the submitter wait while that place is taken.
#pragma once

#include "media/render/PictureConverter.h"
#include "media/sdk/Tarvok.h"

#include <QImage>
#include <QSize>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct AVFrame;

namespace media {

class VideoOutput;

class FramePresenter {
public:
    // output may be null (pictures are then only kept for capture).
    FramePresenter(VideoOutput *output, bool blockWhenBusy);
    // The size pictures are converted to when there is no window to ask
    // (no output, or its widget's size is not known); empty = each picture's
    // own size (of its display region).
    void setFallbackSize(const QSize &size);
    ~FramePresenter();
    FramePresenter(const FramePresenter &) = delete;
    FramePresenter &operator=(const FramePresenter &) = delete;

    // Takes a reference to the frame's picture. A marked picture is shown
    // with the catching-up marker (OverloadMarker.h); the picture kept for a
    // capture never carries it.
    void submit(const AVFrame *frame, bool marked = false);
    // A picture decoded and not shown (the port drops it to catch up):
    // unless one is being converted or waits, it becomes the one a capture
    // takes, so that the presenter does not keep an older picture alive
    // while the decoder goes on (it would take a buffer more for good).
    void passOver(const AVFrame *frame);
    void setRegion(const TVRect *rect);
    // The picture on screen (or about to be; while the port drops pictures
    // to catch up, the newest it decoded), whole and at its decoded size
    // (converted now, on the caller's thread); waits up to timeoutMs for a
    // first one (null if none came).
    QImage lastImage(int timeoutMs);
    // Returns once every submitted picture has been converted.
    void waitIdle();
    // Ends the thread; pictures still waiting are dropped.
    void stop();

    uint64_t converted() const { return m_converted; }

private:
    // The most a picture is made at for a window of unknown size.
    static constexpr QSize kProvisionalSize{640, 360};

    void run();

    VideoOutput *m_output;
    const bool m_block;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    AVFrame *m_waiting = nullptr;  // the picture to convert next
    bool m_waitingMarked = false;
    bool m_busy = false;           // the thread is converting
    bool m_stop = false;
    bool m_regionOn = false;
    TVRect m_region{0, 0, 0, 0};
    QSize m_fallbackSize;
    AVFrame *m_last = nullptr;     // the picture shown (or being converted for it), as decoded
    std::atomic<uint64_t> m_converted{0};
    const int m_cores = int(std::max(1u, std::thread::hardware_concurrency()));
    PictureConverter m_converter;  // presenter thread only
    std::thread m_thread;
};

}  // namespace media
