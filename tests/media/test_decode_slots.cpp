// Turns at decoding: never more decoding at once than the machine has cores,
// every port served in the order it asked, and a slot set free passed on
// rather than lost.
#include "media/decode/DecodeSlots.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

void waitFor(int waiting)
{
    while (media::decode_slots_waiting() != waiting)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

TEST(DecodeSlots, NeverMoreDecodingAtOnceThanSlots)
{
    const int slots = media::decode_slots();
    ASSERT_GE(slots, 1);
    std::atomic<int> inside{0}, most{0};
    std::vector<std::thread> ports;
    for (int p = 0; p < 3 * slots + 2; ++p)
        ports.emplace_back([&] {
            for (int i = 0; i < 40; ++i) {
                const media::DecodeSlot slot;
                const int now = ++inside;
                int seen = most.load();
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                std::this_thread::sleep_for(std::chrono::microseconds(300));
                --inside;
            }
        });
    for (std::thread &t : ports)
        t.join();
    EXPECT_LE(most.load(), slots);
    EXPECT_GE(most.load(), 1);
    EXPECT_EQ(media::decode_slots_held(), 0);
    EXPECT_EQ(media::decode_slots_waiting(), 0);
}

TEST(DecodeSlots, ServesPortsInTheOrderTheyAsked)
{
    const int slots = media::decode_slots();
    // Every slot held here: the ports that ask now must wait.
    std::vector<std::unique_ptr<media::DecodeSlot>> held;
    for (int i = 0; i < slots; ++i)
        held.push_back(std::make_unique<media::DecodeSlot>());
    EXPECT_EQ(media::decode_slots_held(), slots);

    std::mutex mutex;
    std::vector<int> order;
    std::atomic<int> done{-1};  // ports up to this one let go of their slot
    std::vector<std::thread> ports;
    const int waiting = 5;
    for (int p = 0; p < waiting; ++p) {
        ports.emplace_back([&, p] {
            const media::DecodeSlot slot;
            {
                std::lock_guard<std::mutex> lock(mutex);
                order.push_back(p);
            }
            while (done < p)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        waitFor(p + 1);  // queued before the next one asks
    }
    // One slot set free at a time (first those held here, then the ports'
    // own in turn) goes to the port that has waited longest; the count held
    // stays at the number of slots while anyone waits.
    for (int i = 0; i < waiting; ++i) {
        if (!held.empty())
            held.pop_back();
        else
            done = i - slots;
        waitFor(waiting - i - 1);
        for (;;) {  // the port given the slot has taken its turn
            std::lock_guard<std::mutex> lock(mutex);
            if (order.size() == size_t(i + 1))
                break;
        }
        if (i + 1 < waiting) {
            EXPECT_EQ(media::decode_slots_held(), slots);
        }
    }
    done = waiting;
    for (std::thread &t : ports)
        t.join();
    held.clear();
    ASSERT_EQ(order.size(), size_t(waiting));
    for (int p = 0; p < waiting; ++p)
        EXPECT_EQ(order[size_t(p)], p);
    EXPECT_EQ(media::decode_slots_held(), 0);
}
