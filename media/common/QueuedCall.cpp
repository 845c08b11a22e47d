#include "media/common/QueuedCall.h"

#include <QCoreApplication>
#include <QObject>

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

}  // namespace

void postQueuedCall(QObject *receiver, std::function<void()> fn)
{
    if (!receiver || !fn)
        return;
    QCoreApplication::postEvent(receiver, new QueuedCallEvent(std::move(fn)));
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
