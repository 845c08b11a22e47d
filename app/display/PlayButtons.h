#ifndef ORVELLE_APP_DISPLAY_PLAYBUTTONS_H
#define ORVELLE_APP_DISPLAY_PLAYBUTTONS_H

// The looks of the six play buttons under the video grid. A button's look is
// a style sheet built from an icon name: the skin holds
// "<name>Normal.png", "<name>Hover.png" and "<name>Dis.png" under
// skin/buttons/ for each name.

#include <QString>

namespace playbuttons {

// Button ids in the button group.
enum Id { Stop = 0, PlayPause = 1, Slow = 2, Fast = 3, NextFrame = 4, Audio = 5, Count = 6 };

struct Look
{
    QString strIcon;
    QString strTip;
};

// The style sheet of a tool button showing the named icon.
QString styleSheet(const QString& strAppDir, const QString& strIcon);

// The look of a button before any status arrived.
Look initialLook(int nId);
// Play/Pause for a play status (1 playing shows Pause).
Look playLook(int nPlayStatus);
// Fast and Slow for a speed 1..9 (5 normal): above 5 Fast shows 2^(s-5)
// times, below 5 Slow shows 1/2^(5-s).
Look fastLook(int nSpeed);
Look slowLook(int nSpeed);
Look audioLook(int nSound);

}  // namespace playbuttons

#endif
