// Runs a function on the thread of a QObject, through that thread's event
// queue, like QMetaObject::invokeMethod(obj, fn, Qt::QueuedConnection).
//
// The difference is that the hand-off is made visible to ThreadSanitizer:
// Qt's event queue is locked inside libQt5Core, which is not instrumented, so
// TSan would take everything the caller wrote before posting (the function's
// captured values included) as racing with what the receiving thread reads.
// The event is released when it is complete and acquired before the function
// runs. Without TSan both marks compile to nothing.
//
// The receiving class handles the event in its event() override:
//     bool event(QEvent* e) override { return media::runQueuedCall(e) || Base::event(e); }
// A call whose receiver is destroyed first is dropped with it, as Qt drops
// every posted event of a deleted object.
#pragma once

#include <QEvent>

#include <functional>

class QObject;

namespace media {

void postQueuedCall(QObject *receiver, std::function<void()> fn);

// True when the event was a queued call (it has run then).
bool runQueuedCall(QEvent *event);

// The same for a function that belongs to no object: it runs on the thread
// of the QCoreApplication. Nothing happens without an application object.
void postToGuiThread(std::function<void()> fn);

}  // namespace media
