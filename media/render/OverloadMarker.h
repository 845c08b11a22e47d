// The small marker on a picture shown while its port catches up (decodes
// key frames only because it fell far behind): an amber square with a
// fast-forward sign in the picture's top right corner, so that whoever
// watches knows that pictures between are not shown. Captured pictures
// never carry it.
#pragma once

#include <QImage>
#include <QRect>
#include <QRgb>

namespace media {

constexpr QRgb kOverloadMarkerColour = 0xffffaa00;

// Where the marker goes on an image of `size`.
QRect overload_marker_rect(const QSize &size);
void draw_overload_marker(QImage *image);

}  // namespace media
