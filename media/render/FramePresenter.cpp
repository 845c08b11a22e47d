#include "media/render/FramePresenter.h"

#include "media/decode/DecoderThreads.h"
#include "media/render/CacheRelease.h"
#include "media/render/OverloadMarker.h"
#include "media/render/VideoOutput.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace media {

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
    av_frame_free(&m_last);
}

void FramePresenter::submit(const AVFrame *frame, bool marked)
{
    if (!frame)
        return;
    AVFrame *copy = av_frame_clone(frame);
    if (!copy)
        return;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_block) {
        m_cv.wait(lock, [this] { return !m_waiting || m_stop; });
    } else {
        // A live port waits for the conversion under way (far shorter than
        // a decode) rather than queue behind it: the picture converted is
        // then always the decoder's reference, and a port holds two decoded
        // pictures instead of three (each 3 MB at 1080p; the decoder keeps
        // as many as were ever held at once). Were it not given a processor
        // for longer than a frame, the port falls behind its clock and drops
        // decoded frames itself.
        m_cv.wait(lock, [this] { return (!m_busy && !m_waiting) || m_stop; });
    }
    if (m_stop) {
        av_frame_free(&copy);
        return;
    }
    // The picture shown before is let go now, not when the thread wakes for
    // this one: the submitter goes on to decode the next picture at once,
    // and the decoder would take a buffer of its own for it while this one
    // is still held.
    if (!m_busy)
        av_frame_free(&m_last);
    m_waiting = copy;
    m_waitingMarked = marked;
    lock.unlock();
    m_cv.notify_all();
}

void FramePresenter::passOver(const AVFrame *frame)
{
    if (!frame)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_busy || m_waiting || m_stop)
        return;
    AVFrame *copy = av_frame_clone(frame);
    if (!copy)
        return;
    av_frame_free(&m_last);
    m_last = copy;
}

void FramePresenter::setRegion(const TVRect *rect)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_regionOn = rect != nullptr;
    if (rect)
        m_region = *rect;
}

void FramePresenter::setFallbackSize(const QSize &size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fallbackSize = size;
}

QImage FramePresenter::lastImage(int timeoutMs)
{
    AVFrame *frame = nullptr;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                      [this] { return m_last || m_stop; });  // notified when a conversion starts
        if (m_last)
            frame = av_frame_clone(m_last);
    }
    if (!frame)
        return QImage();
    PictureConverter converter;  // captures are rare: no context kept for them
    QImage img = converter.convert(frame);
    av_frame_free(&frame);
    return img;
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
        bool marked;
        bool regionOn;
        TVRect region;
        QSize fallbackSize;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_busy = false;
            m_cv.notify_all();
            m_cv.wait(lock, [this] { return m_waiting || m_stop; });
            if (m_stop)
                return;
            // The picture about to be shown is the one a capture takes from
            // now on. It replaces the last one here, not after converting, so
            // that a port holds no more decoded pictures than it must (the
            // decoder's, the one being converted, the one waiting): at 1080p
            // each is 3 MB.
            av_frame_free(&m_last);
            frame = m_last = m_waiting;
            m_waiting = nullptr;
            marked = m_waitingMarked;
            m_busy = true;
            regionOn = m_regionOn;
            region = m_region;
            fallbackSize = m_fallbackSize;
        }
        m_cv.notify_all();  // a blocked submitter may go on
        // The window's size is asked for every picture: a resize or a new
        // region takes effect on the next one.
        QSize size = m_output ? m_output->pixelSize() : QSize();
        if (size.isEmpty())
            size = fallbackSize;
        const QRect source = regionOn ? PictureConverter::regionRect(region.left, region.top, region.right,
                                                                     region.bottom, TV_REGION_SPACE, frame->width,
                                                                     frame->height)
                                      : QRect();
        if (size.isEmpty() && m_output) {
            // A window whose size the GUI thread has not told yet (the port
            // was opened from another thread): a first picture at most the
            // size of a grid window, painted scaled until the size is known,
            // rather than one at the picture's own size (8 MB at 1080p).
            const QSize own = source.isEmpty() ? QSize(frame->width, frame->height) : source.size();
            size = own.boundedTo(kProvisionalSize) == own ? own : own.scaled(kProvisionalSize, Qt::KeepAspectRatio);
        }
        // Only this thread replaces m_last, so it is read here without the lock.
        QImage img = m_converter.convert(frame, size, source);
        // The decoder will write into this picture's buffer again; see
        // CacheRelease.h. Only while fewer ports play than there are cores:
        // then a port decodes and converts side by side and soon writes into
        // the buffer just read. With many, the other ports' pictures have
        // long pushed it out of the caches by then, and a flush would only
        // cost (measured with sixteen: about 4 % more processor time).
        if (ports_playing() < m_cores) {
            if (source.isEmpty())
                release_from_cache(frame);
            else
                release_from_cache(frame, source.top(), source.height());
        }
        if (img.isNull())
            continue;
        m_converted++;
        if (marked)
            draw_overload_marker(&img);
        if (m_output)
            m_output->present(img);
    }
}

}  // namespace media
