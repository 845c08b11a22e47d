#include "media/play/PlayClock.h"

#include <algorithm>

namespace media {

namespace {

constexpr int64_t kSecond = 1000000000;
constexpr int64_t kMinTolerance = 80000000;  // 80 ms
constexpr int64_t kMinFar = kSecond;

}  // namespace

int64_t PlayClock::wallSpan(int64_t streamNs) const
{
    return m_speed >= 0 ? streamNs / (int64_t(1) << m_speed) : streamNs * (int64_t(1) << -m_speed);
}

int64_t PlayClock::sinceAnchor() const
{
    return m_segBase + (m_segRate ? m_segFrames * kSecond / m_segRate : 0);
}

int64_t PlayClock::interval(uint32_t rate) const
{
    return wallSpan(kSecond / std::max<uint32_t>(rate, 1));
}

int64_t PlayClock::tolerance(uint32_t rate) const
{
    return std::max(2 * interval(rate), kMinTolerance);
}

int64_t PlayClock::far(uint32_t rate) const
{
    return std::max(2 * tolerance(rate), kMinFar);
}

void PlayClock::anchorAt(int64_t wall)
{
    m_playedBase += sinceAnchor();
    m_segBase = 0;
    m_segFrames = 0;
    m_anchorWall = wall;
    m_anchored = true;
    m_lastLate = 0;  // lateness is counted from the new anchor
    m_dropping = false;
}

void PlayClock::reanchor()
{
    m_playedBase += sinceAnchor();
    m_segBase = 0;
    m_segFrames = 0;
    m_anchored = false;
    m_lastLate = 0;
    m_dropping = false;
}

void PlayClock::setSpeed(int speed, int64_t now)
{
    speed = std::max(-4, std::min(4, speed));
    if (speed == m_speed)
        return;
    if (!m_anchored || !m_segRate) {
        m_speed = speed;
        return;
    }
    // The next frame comes when it would have come, but no later than one
    // interval of the new speed from now.
    const int64_t oldDue = m_anchorWall + wallSpan(sinceAnchor());
    m_speed = speed;
    anchorAt(std::max(now, std::min(oldDue, now + interval(m_segRate))));
}

void PlayClock::taken(uint32_t rate)
{
    setRate(rate);
    m_segFrames++;
}

void PlayClock::setRate(uint32_t rate)
{
    rate = std::max<uint32_t>(rate, 1);
    if (rate == m_segRate)
        return;
    m_segBase = sinceAnchor();
    m_segFrames = 0;
    m_segRate = rate;
}

PlayClock::Decision PlayClock::decide(int64_t now, uint32_t rate, bool key)
{
    if (!m_anchored)
        anchorAt(now);
    setRate(rate);
    Decision d;
    d.due = m_anchorWall + wallSpan(sinceAnchor());
    d.late = now - d.due;
    const bool starved = m_starved;
    m_starved = false;
    if (d.late < 0) {
        d.action = Action::Wait;
        return d;
    }
    const int64_t tol = tolerance(rate);
    const int64_t farBehind = far(rate);
    if (starved && d.late > tol) {
        // The frame is late because it came late: the port waited for it.
        // What the port was behind before it ran dry is its own, and stays
        // (a port catching up empties its buffer faster than it is fed):
        // forgetting it would take that much stream time off the clock
        // every time.
        const int64_t kept = std::max<int64_t>(0, std::min(m_lastLate, d.late));
        anchorAt(now - kept);
        d.due = now - kept;
        d.late = kept;
        m_starvedReanchors++;
    }
    if (!m_catchUp && (d.late > farBehind || (d.late > tol && m_speed < 4 && droppingInVain(d.late)))) {
        m_catchUp = true;
        m_catchUps++;
        m_dropping = false;
    } else if (m_catchUp && key && d.late <= tol) {
        m_catchUp = false;  // back in time
        m_caughtUp = true;
        m_caughtUpAt = played();
    }
    if (m_catchUp || m_speed >= 4)
        d.action = key && d.late <= farBehind ? Action::Show : Action::PassOver;
    else
        d.action = d.late <= tol ? Action::Show : Action::Drop;
    if (d.action == Action::Show)
        m_dropping = false;
    m_lastLate = d.late;
    return d;
}

bool PlayClock::skipping() const
{
    return m_catchUp || (m_caughtUp && wallSpan(played() - m_caughtUpAt) < far(m_segRate));
}

bool PlayClock::droppingInVain(int64_t late)
{
    if (!m_dropping) {
        m_dropping = true;
        m_dropFrom = played();
        m_dropLate = late;
        return false;
    }
    // Dropping saves the conversion and the painting, not the decoding. A
    // port whose decoding alone is slower than the stream (a 4K stream
    // sharing its core with others) only gets later while it drops, and
    // would decode a second of frames for nothing before catching up; it
    // catches up as soon as that shows. Over a shorter span a hiccup (a
    // wait for the processor) could look the same.
    return wallSpan(played() - m_dropFrom) >= far(m_segRate) / 4 && late > m_dropLate;
}

}  // namespace media
