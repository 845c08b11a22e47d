#include "media/common/QueuedCall.h"

#include <QCoreApplication>
#include <QObject>

#include <atomic>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#define ORVELLE_TSAN_RELEASE(p) __tsan_release(p)
#define ORVELLE_TSAN_ACQUIRE(p) __tsan_acquire(p)
#else
#define ORVELLE_TSAN_RELEASE(p) ((void)(p))
#define ORVELLE_TSAN_ACQUIRE(p) ((void)(p))
#endif

namespace media {

namespace {

QEvent::Type queuedCallType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

class QueuedCallEvent : public QEvent {
public:
    explicit QueuedCallEvent(std::function<void()> fn) : QEvent(queuedCallType()), m_fn(std::move(fn))
    {
        ORVELLE_TSAN_RELEASE(this);
    }
    void run()
    {
        if (m_fn)
            m_fn();
    }
    ~QueuedCallEvent() override
    {
        // Also a call that never ran (its receiver was deleted) is complete.
        ORVELLE_TSAN_ACQUIRE(this);
    }

private:
    std::function<void()> m_fn;
};

// Receives the calls of postToGuiThread(); lives on the application's thread
// to the end of the process.
class GuiCallReceiver : public QObject {
protected:
    bool event(QEvent *e) override { return runQueuedCall(e) || QObject::event(e); }
};

QObject *guiCallReceiver()
{
    static std::atomic<QObject *> receiver{nullptr};
    if (QObject *obj = receiver.load())
        return obj;
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    if (!receiver.load()) {
        QCoreApplication *app = QCoreApplication::instance();
        if (!app)
            return nullptr;
        auto *obj = new GuiCallReceiver;
        obj->moveToThread(app->thread());
        receiver.store(obj);
    }
    return receiver.load();
}

}  // namespace

void postQueuedCall(QObject *receiver, std::function<void()> fn)
{
    if (!receiver || !fn)
        return;
    QCoreApplication::postEvent(receiver, new QueuedCallEvent(std::move(fn)));
}

void postToGuiThread(std::function<void()> fn)
{
    postQueuedCall(guiCallReceiver(), std::move(fn));
}

bool runQueuedCall(QEvent *event)
{
    if (!event)
        return false;
    // Before anything of the event is read (its type included); for an
    // event that no queued call released this marks nothing.
    ORVELLE_TSAN_ACQUIRE(event);
    if (event->type() != queuedCallType())
        return false;
    static_cast<QueuedCallEvent *>(event)->run();
    return true;
}

}  // namespace media
