#include "media/decode/DecodeSlots.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace media {

namespace {

struct Waiter {
    std::condition_variable cv;
    bool granted = false;
};

// A slot set free goes straight to the waiter at the head of the queue (no
// herd of woken threads racing for it, and no one overtaken). Two slots a
// core: with one, a core stood idle whenever the thread holding its slot
// was put aside for a presenter, a feeder or the GUI thread, and at twice
// the speed sixteen HD ports decoded a seventh less and all fell behind
// together (bench/README.md).
struct Slots {
    std::mutex mutex;
    std::deque<Waiter *> queue;
    int held = 0;
    const int count = 2 * int(std::max(1u, std::thread::hardware_concurrency()));
};

// Never destroyed: a port thread still running while the process exits
// must not find the lock gone.
Slots &slots()
{
    static Slots *s = new Slots;
    return *s;
}

}  // namespace

DecodeSlot::DecodeSlot()
{
    Slots &s = slots();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.held < s.count && s.queue.empty()) {
        s.held++;
        return;
    }
    Waiter me;
    s.queue.push_back(&me);
    me.cv.wait(lock, [&me] { return me.granted; });
}

DecodeSlot::~DecodeSlot()
{
    Slots &s = slots();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.queue.empty()) {
        s.held--;
        return;
    }
    Waiter *next = s.queue.front();
    s.queue.pop_front();
    next->granted = true;  // the slot passes on: held stays the same
    next->cv.notify_one();
}

int decode_slots()
{
    return slots().count;
}

int decode_slots_held()
{
    Slots &s = slots();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.held;
}

int decode_slots_waiting()
{
    Slots &s = slots();
    std::lock_guard<std::mutex> lock(s.mutex);
    return int(s.queue.size());
}

}  // namespace media
