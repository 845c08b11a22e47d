// The clock a play port shows its video frames by, and what it does with a
// frame that comes too late.
//
// Deadlines are absolute: the clock is anchored at a wall time for one frame,
// and every later frame is due at that time plus the stream's own frame times
// since (one interval of 1 / frame rate per frame, counted, never summed up
// from sleeps) scaled by the speed 2^speed. A frame that is late is shown at
// once, and the frames after it keep their deadlines, so a late frame never
// moves the clock.
//
// The more a port is behind, the less it does:
//   late by at most `tolerance` (two intervals, at least 80 ms): shown;
//   later than that: decoded but not shown (dropped), so that the decoder
//     keeps its reference pictures;
//   later than `far` (a second, at least twice the tolerance), or still
//     later after dropping for a quarter of `far` (its decoding alone is
//     slower than the stream, so dropping cannot bring it back): the port
//     catches up: it decodes key frames only and passes over the frames
//     between them undecoded until a key frame is on time again (a key frame
//     still later than `far` is passed over too).
// At the fastest speed (16x) key frames only are decoded anyway.
//
// Pause, single steps and speed changes re-anchor the clock; so does a long
// wait for data: when the port had run out of frames (its feeder was slow,
// or held its frames back to wait for another channel) and the frame that
// finally came is later than the tolerance, that frame is due at once (or
// as late as the frame before it was, if the port was behind already) and
// the clock goes on from it. A shorter wait moves nothing.
//
// The clock never reads the time itself: every call is given the time now
// (nanoseconds of a monotonic clock), so that it can be driven by any clock.
#pragma once

#include <cstdint>

namespace media {

class PlayClock {
public:
    enum class Action {
        Wait,      // not due yet: wait until `due`, then ask again
        Show,      // decode and show
        Drop,      // decode, do not show
        PassOver,  // neither decode nor show (key frames only)
    };

    struct Decision {
        Action action = Action::Wait;
        int64_t due = 0;   // deadline of the frame
        int64_t late = 0;  // now - due (negative while early)
    };

    // Speed 2^speed, speed -4..4.
    void setSpeed(int speed, int64_t now);
    int speed() const { return m_speed; }

    // The next frame is due as soon as it is asked for (after a pause, a
    // single step, a seek).
    void reanchor();
    // The port has no frame to show and waits for data.
    void starve() { m_starved = true; }

    // What to do with the next video frame, of `rate` frames a second, at
    // `now`. Asking does not use the frame up: Wait may be answered several
    // times for one frame; any other answer must be followed by `taken`.
    Decision decide(int64_t now, uint32_t rate, bool key);
    // A frame of `rate` frames a second left the port (after decide(), or
    // as a single step): the clock moves on by its interval.
    void taken(uint32_t rate);

    // The port is catching up (key frames only because it was far behind).
    bool catchingUp() const { return m_catchUp; }
    // Catching up, or caught up less than `far` ago: what the port shows is
    // not every frame. A port that cannot keep up at all catches up in every
    // group of pictures and shows only the first frames of each, on time,
    // after the key frame that ended the catching up; those are what this
    // marks.
    bool skipping() const;
    // Times the port went to key frames only to catch up.
    uint64_t catchUps() const { return m_catchUps; }
    // Times a long wait for data re-anchored the clock.
    uint64_t starvedReanchors() const { return m_starvedReanchors; }
    // Stream time the clock has gone through (of the frames taken), in
    // nanoseconds, across every re-anchoring.
    int64_t played() const { return m_playedBase + sinceAnchor(); }

    // The limits, for the frame rate and speed in force.
    int64_t interval(uint32_t rate) const;
    int64_t tolerance(uint32_t rate) const;
    int64_t far(uint32_t rate) const;

private:
    int64_t sinceAnchor() const;     // stream time from the anchor to the next frame
    int64_t wallSpan(int64_t streamNs) const;  // scaled by the speed
    void anchorAt(int64_t wall);
    void setRate(uint32_t rate);
    // A frame to drop, `late` behind: whether dropping has been going on
    // long enough without the port getting any nearer to its clock.
    bool droppingInVain(int64_t late);

    int m_speed = 0;
    bool m_anchored = false;
    int64_t m_anchorWall = 0;
    // Stream time since the anchor: `m_segBase` up to the last change of
    // frame rate, then `m_segFrames` frames of `m_segRate`.
    int64_t m_segBase = 0;
    int64_t m_segFrames = 0;
    uint32_t m_segRate = 0;
    int64_t m_playedBase = 0;  // stream time before the anchor
    bool m_starved = false;
    int64_t m_lastLate = 0;  // of the last frame let go (not of a Wait)
    bool m_dropping = false;  // dropping since stream time m_dropFrom, m_dropLate behind then
    int64_t m_dropFrom = 0;
    int64_t m_dropLate = 0;
    bool m_catchUp = false;
    bool m_caughtUp = false;  // ... at stream time m_caughtUpAt
    int64_t m_caughtUpAt = 0;
    uint64_t m_catchUps = 0;
    uint64_t m_starvedReanchors = 0;
};

}  // namespace media
