#include "app/play/FeedPacer.h"

#include <chrono>

namespace {

const int kNoRateDelayMs = 40;  // after a frame without a frame rate
const int64_t kMsNs = 1000000;

} // namespace

int64_t CFeedPacer::NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int CFeedPacer::Pushed(int64_t nNowNs, uint32_t nRate, int nSpeed)
{
    if (nRate == 0) {
        m_clock.reanchor();
        return kNoRateDelayMs;
    }
    if (nSpeed != m_clock.speed())
        m_clock.setSpeed(nSpeed, nNowNs);
    const media::PlayClock::Decision d = m_clock.decide(nNowNs, nRate, false);
    if (d.late > m_clock.far(nRate)) {
        m_clock.reanchor();
        m_clock.decide(nNowNs, nRate, false);
    }
    m_clock.taken(nRate);
    const int64_t nWait = m_clock.decide(nNowNs, nRate, false).due - nNowNs;
    return nWait > 0 ? int((nWait + kMsNs - 1) / kMsNs) : 0;
}
