#ifndef ORVELLE_APP_DISPLAY_ZOOMREGION_H
#define ORVELLE_APP_DISPLAY_ZOOMREGION_H

// Zoom regions are kept in a normalised space of 8192 x 8192 that stands for
// the whole picture, whatever its size in pixels.

#include <QPoint>
#include <QRect>
#include <QSize>

namespace zoomregion {

const int kSpace = 8192;

// The whole picture: (0,0)-(8192,8192).
QRect fullRegion();

// The region selected by a drag from start to end over a widget of the given
// size, when `current` is the region already shown (a null or empty rectangle
// when the whole picture is shown). A drag in any direction selects the same
// rectangle; inside a zoomed picture the new region lies inside the current
// one. A degenerate result, or a widget without size, gives the whole picture.
// The result never leaves the normalised space.
QRect selectRegion(const QRect& current, const QPoint& start, const QPoint& end, const QSize& widget);

}  // namespace zoomregion

#endif
