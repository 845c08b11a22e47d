#ifndef ORVELLE_APP_PLAY_PLAYCODES_H
#define ORVELLE_APP_PLAY_PLAYCODES_H

// The numbers that play channels, the play manager and the display box share:
// how many video windows (one play channel each) there are, the speed codes
// and the play status values.

namespace playcodes {

// Video windows in the grid, and play channels: window i plays on channel i.
enum : int { WindowCount = 16 };

// Speed code 1..9: s plays at 2^(s - 5) times normal speed; at the highest
// code only key frames are shown.
enum Speed : int { SpeedMin = 1, SpeedNormal = 5, SpeedMax = 9 };

// Play status of a channel.
enum Status : int { StatusClosed = 0, StatusPlaying = 1, StatusPaused = 2, StatusStepping = 4 };

// A channel is open while it plays, is paused or steps single frames.
inline bool IsOpenStatus(int nStatus)
{
    return nStatus == StatusPlaying || nStatus == StatusPaused || nStatus == StatusStepping;
}

}  // namespace playcodes

#endif
