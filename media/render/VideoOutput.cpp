#include "media/render/VideoOutput.h"

#include "media/common/QueuedCall.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHash>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <mutex>

namespace media {

namespace {

const char kPainterName[] = "TarvokVideoPainter";

// The locks here are std ones, which ThreadSanitizer sees; a QMutex of the
// uninstrumented Qt library would be invisible to it.
struct SinkRegistry {
    std::mutex mutex;
    QHash<uint64_t, QPointer<QObject>> sinks;
};

SinkRegistry &registry()
{
    static SinkRegistry *r = new SinkRegistry;  // kept to the very end of the process
    return *r;
}

QPointer<QObject> findSink(uint64_t hWnd)
{
    SinkRegistry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.sinks.value(hWnd);
}

// Paints the newest picture over a widget that has no sink of its own.
class VideoPainter : public QObject {
public:
    explicit VideoPainter(QWidget *w) : QObject(w), m_widget(w)
    {
        setObjectName(kPainterName);
        w->installEventFilter(this);
    }
    void setImage(const QImage &img)
    {
        m_image = img;
        m_widget->update();
    }

protected:
    bool eventFilter(QObject *obj, QEvent *ev) override
    {
        if (obj != m_widget || ev->type() != QEvent::Paint || m_image.isNull())
            return false;
        QPainter p(m_widget);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawImage(m_widget->rect(), m_image);
        return true;
    }

private:
    QWidget *m_widget;
    QImage m_image;
};

}  // namespace

struct VideoOutput::State {
    uint64_t hWnd = 0;
    std::mutex mutex;
    QImage pending;
    bool posted = false;
    std::atomic<uint64_t> shown{0};
    std::atomic<uint64_t> dropped{0};
};

void register_video_sink(uint64_t hWnd, QObject *sink)
{
    SinkRegistry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.sinks.insert(hWnd, QPointer<QObject>(sink));
}

void unregister_video_sink(uint64_t hWnd)
{
    SinkRegistry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.sinks.remove(hWnd);
}

namespace {

// GUI thread: hands the picture to the registered sink or paints it on the
// widget behind the handle.
void deliver(uint64_t hWnd, const QImage &img)
{
    if (QPointer<QObject> sink = findSink(hWnd)) {
        QMetaObject::invokeMethod(sink.data(), "setVideoImage", Qt::DirectConnection, Q_ARG(QImage, img));
        return;
    }
    QWidget *w = QWidget::find(WId(hWnd));
    if (!w)
        return;
    auto *painter = static_cast<VideoPainter *>(w->findChild<QObject *>(kPainterName, Qt::FindDirectChildrenOnly));
    if (!painter) {
        if (img.isNull())
            return;
        painter = new VideoPainter(w);
    }
    painter->setImage(img);
}

void post(const std::shared_ptr<VideoOutput::State> &s, const QImage &img, bool countDrop)
{
    if (!QCoreApplication::instance())
        return;
    std::unique_lock<std::mutex> lock(s->mutex);
    if (s->posted && countDrop && !s->pending.isNull())
        s->dropped++;
    s->pending = img;
    if (s->posted)
        return;
    s->posted = true;
    lock.unlock();
    postToGuiThread([s] {
        QImage img;
        {
            std::lock_guard<std::mutex> l(s->mutex);
            img = s->pending;
            s->pending = QImage();
            s->posted = false;
        }
        deliver(s->hWnd, img);
        if (!img.isNull())
            s->shown++;
    });
}

}  // namespace

VideoOutput::VideoOutput(uint64_t hWnd) : m_state(std::make_shared<State>())
{
    m_state->hWnd = hWnd;
}

VideoOutput::~VideoOutput() = default;

void VideoOutput::present(const QImage &image)
{
    if (m_state->hWnd == 0 || image.isNull())
        return;
    post(m_state, image, true);
}

void VideoOutput::clear()
{
    if (m_state->hWnd == 0)
        return;
    post(m_state, QImage(), false);
}

uint64_t VideoOutput::shown() const
{
    return m_state->shown.load();
}

uint64_t VideoOutput::dropped() const
{
    return m_state->dropped.load();
}

}  // namespace media
