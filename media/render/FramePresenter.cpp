#include "media/render/FramePresenter.h"

#include "media/render/VideoOutput.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace media {

namespace {

// The part of the picture a region in the 8192 x 8192 space covers; the
// whole picture when it covers nothing.
QImage cut(const QImage &img, const TVRect &r)
{
    auto scale = [](int v, int size) {
        v = std::max(0, std::min(TV_REGION_SPACE, v));
        return int(int64_t(v) * size / TV_REGION_SPACE);
    };
    int x0 = scale(std::min(r.left, r.right), img.width());
    int x1 = scale(std::max(r.left, r.right), img.width());
    int y0 = scale(std::min(r.top, r.bottom), img.height());
    int y1 = scale(std::max(r.top, r.bottom), img.height());
    if (x1 <= x0 || y1 <= y0)
        return img;
    return img.copy(x0, y0, x1 - x0, y1 - y0);
}

}  // namespace

FramePresenter::FramePresenter(VideoOutput *output, bool blockWhenBusy)
    : m_output(output), m_block(blockWhenBusy), m_thread([this] { run(); })
{
}

FramePresenter::~FramePresenter()
{
    stop();
}

void FramePresenter::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    av_frame_free(&m_waiting);
}

void FramePresenter::submit(const AVFrame *frame)
{
    if (!frame)
        return;
    AVFrame *copy = av_frame_clone(frame);
    if (!copy)
        return;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_block)
        m_cv.wait(lock, [this] { return !m_waiting || m_stop; });
    if (m_stop) {
        av_frame_free(&copy);
        return;
    }
    if (m_waiting) {
        av_frame_free(&m_waiting);
        m_dropped++;
    }
    m_waiting = copy;
    lock.unlock();
    m_cv.notify_all();
}

void FramePresenter::setRegion(const TVRect *rect)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_regionOn = rect != nullptr;
    if (rect)
        m_region = *rect;
}

QImage FramePresenter::lastImage(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                  [this] { return !m_last.isNull() || m_stop; });
    return m_last;
}

void FramePresenter::waitIdle()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this] { return (!m_waiting && !m_busy) || m_stop; });
}

void FramePresenter::run()
{
    for (;;) {
        AVFrame *frame;
        bool regionOn;
        TVRect region;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_busy = false;
            m_cv.notify_all();
            m_cv.wait(lock, [this] { return m_waiting || m_stop; });
            if (m_stop)
                return;
            frame = m_waiting;
            m_waiting = nullptr;
            m_busy = true;
            regionOn = m_regionOn;
            region = m_region;
        }
        m_cv.notify_all();  // a blocked submitter may go on
        QImage img = m_converter.convert(frame);
        av_frame_free(&frame);
        if (img.isNull())
            continue;
        m_converted++;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_last = img;
        }
        m_cv.notify_all();
        if (m_output)
            m_output->present(regionOn ? cut(img, region) : img);
    }
}

}  // namespace media
