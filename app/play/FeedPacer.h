#ifndef ORVELLE_APP_PLAY_FEEDPACER_H
#define ORVELLE_APP_PLAY_FEEDPACER_H

// When a play channel's play thread pushes its next video frame: frames go
// to the port by absolute deadlines on the monotonic clock (the time of the
// frame the feed was anchored at plus the stream's frame times since, scaled
// by the speed), so that what a read, a push and a wake-up take never adds
// up. The port shows the frames by a clock of its own; a feed that slept one
// interval after each frame fell behind it by that much every frame, and
// the port had to wait for every frame.
//
// A feed that fell behind (its thread got no processor for a while) pushes
// the frames it missed at once, and the port's clock keeps true time; one
// more than a second behind (a slow disk) starts the deadlines afresh from
// the frame it pushes, and so does a feed that was held (paused, waiting
// for synchronous play or for the port to take data again; Restart).

#include "media/play/PlayClock.h"

#include <cstdint>

class CFeedPacer
{
public:
    // A video frame of nRate frames a second (0 = unknown) was pushed at
    // nNowNs (monotonic nanoseconds), at speed 2^nSpeed: the milliseconds to
    // wait before the next one.
    int Pushed(int64_t nNowNs, uint32_t nRate, int nSpeed);
    // The next frame goes at once (after a seek, or after the feed was held).
    void Restart() { m_clock.reanchor(); }

    static int64_t NowNs();

private:
    media::PlayClock m_clock;
};

#endif
