#ifndef ORVELLE_APP_PLAY_REQUESTSLOT_H
#define ORVELLE_APP_PLAY_REQUESTSLOT_H

// A serial-numbered request slot between the thread that asks (the GUI) and
// the thread that serves (a channel's play thread).
//
// Ask() stores a value and raises the asked serial; Take() hands the value
// over together with the serial it belongs to and marks that serial served.
// A request asked while another is being taken therefore stays pending, and
// of several requests asked before the server looks, the last one wins: no
// request vanishes between "read the value" and "clear the flag".

#include <atomic>
#include <cstdint>
#include <mutex>

class CRequestSlot
{
public:
    // Any thread.
    void Ask(uint64_t nValue)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nValue = nValue;
        m_nAsked.store(m_nAsked.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // Lock-free, for the server's polling.
    bool Pending() const
    {
        return m_nAsked.load(std::memory_order_acquire) != m_nTaken.load(std::memory_order_acquire);
    }

    // The server: the last value asked, when one is pending.
    bool Take(uint64_t* pValue)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const uint64_t nAsked = m_nAsked.load(std::memory_order_relaxed);
        if (nAsked == m_nTaken.load(std::memory_order_relaxed))
            return false;
        *pValue = m_nValue;
        m_nTaken.store(nAsked, std::memory_order_release);
        return true;
    }

    // Forgets what is asked (a reset of the channel).
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nValue = 0;
        m_nTaken.store(m_nAsked.load(std::memory_order_relaxed), std::memory_order_release);
    }

    // Serials of the last request asked and the last one taken.
    uint64_t Asked() const { return m_nAsked.load(std::memory_order_acquire); }
    uint64_t Taken() const { return m_nTaken.load(std::memory_order_acquire); }

private:
    std::mutex m_mutex;
    uint64_t m_nValue = 0;
    std::atomic<uint64_t> m_nAsked{0};
    std::atomic<uint64_t> m_nTaken{0};
};

#endif
