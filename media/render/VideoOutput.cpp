#include "media/render/VideoOutput.h"

#include "media/common/QueuedCall.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHash>
#include <QPainter>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <mutex>

namespace media {

namespace {

const char kPainterName[] = "TarvokVideoPainter";
const char kWatcherName[] = "TarvokSizeWatcher";

// The locks here are std ones, which ThreadSanitizer sees; a QMutex of the
// uninstrumented Qt library would be invisible to it.
struct SinkRegistry {
    std::mutex mutex;
    QHash<uint64_t, QPointer<QObject>> sinks;
    QHash<uint64_t, QSize> sizes;  // device pixels of the widget behind each handle
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
        // Pictures are made at the widget's size and drawn 1:1; only one
        // converted before a resize is scaled here.
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(m_widget->rect(), m_image);
        return true;
    }

private:
    QWidget *m_widget;
    QImage m_image;
};

QSize pixelSizeOf(const QWidget *w)
{
    const qreal dpr = w->devicePixelRatioF();
    return QSize(qRound(w->width() * dpr), qRound(w->height() * dpr));
}

void storeSize(uint64_t hWnd, const QSize &size)
{
    SinkRegistry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (size.isEmpty())
        r.sizes.remove(hWnd);
    else
        r.sizes.insert(hWnd, size);
}

// Keeps the registry's size of one widget current, so that the presenter
// thread converts the next picture at the size the widget has now.
class SizeWatcher : public QObject {
public:
    SizeWatcher(QWidget *w, uint64_t hWnd) : QObject(w), m_widget(w), m_hWnd(hWnd)
    {
        setObjectName(kWatcherName);
        w->installEventFilter(this);
    }
    ~SizeWatcher() override { storeSize(m_hWnd, QSize()); }

protected:
    bool eventFilter(QObject *obj, QEvent *ev) override
    {
        if (obj == m_widget && (ev->type() == QEvent::Resize || ev->type() == QEvent::ScreenChangeInternal))
            storeSize(m_hWnd, pixelSizeOf(m_widget));
        return false;
    }

private:
    QWidget *m_widget;
    uint64_t m_hWnd;
};

// GUI thread: watches the widget behind the handle (once) and takes its size
// now, which also catches a resize made while it was hidden (Qt delivers
// that resize event only when the widget is shown).
QWidget *watch(uint64_t hWnd)
{
    QWidget *w = QWidget::find(WId(hWnd));
    if (!w)
        return nullptr;
    if (!w->findChild<QObject *>(kWatcherName, Qt::FindDirectChildrenOnly))
        new SizeWatcher(w, hWnd);
    storeSize(hWnd, pixelSizeOf(w));
    return w;
}

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
    QWidget *w = watch(hWnd);
    if (QPointer<QObject> sink = findSink(hWnd)) {
        QMetaObject::invokeMethod(sink.data(), "setVideoImage", Qt::DirectConnection, Q_ARG(QImage, img));
        return;
    }
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
    // The size is known before the first picture is converted, as a rule:
    // decoding starts only once a key frame has been pushed. Until then
    // pictures are made at their own size.
    if (hWnd == 0)
        return;
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        watch(hWnd);
    else
        postToGuiThread([hWnd] { watch(hWnd); });
}

QSize VideoOutput::pixelSize() const
{
    SinkRegistry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.sizes.value(m_state->hWnd);
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
