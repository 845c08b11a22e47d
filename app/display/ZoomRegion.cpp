#include "app/display/ZoomRegion.h"

namespace zoomregion {

QRect fullRegion()
{
    return QRect(QPoint(0, 0), QPoint(kSpace, kSpace));
}

QRect selectRegion(const QRect& current, const QPoint& start, const QPoint& end, const QSize& widget)
{
    if (widget.width() <= 0 || widget.height() <= 0)
        return fullRegion();

    const int x0 = qMin(start.x(), end.x());
    const int x1 = qMax(start.x(), end.x());
    const int y0 = qMin(start.y(), end.y());
    const int y1 = qMax(start.y(), end.y());
    // Widths and heights count both edges.
    const qint64 rw = qint64(x1) - x0 + 1;
    const qint64 rh = qint64(y1) - y0 + 1;
    const qint64 ww = widget.width();
    const qint64 wh = widget.height();

    qint64 left, right, top, bottom;
    if (current.width() != 0 && current.height() != 0) {
        // Already zoomed: the drag narrows the region shown.
        const qint64 cw = current.width();
        const qint64 ch = current.height();
        left = x0 * cw / ww + current.left();
        right = cw * rw / ww + left;
        top = y0 * ch / wh + current.top();
        bottom = ch * rh / wh + top;
    } else {
        left = x0 * qint64(kSpace) / ww;
        right = x1 * qint64(kSpace) / ww;
        top = y0 * qint64(kSpace) / wh;
        bottom = y1 * qint64(kSpace) / wh;
    }

    left = qBound<qint64>(0, left, kSpace);
    right = qBound<qint64>(0, right, kSpace);
    top = qBound<qint64>(0, top, kSpace);
    bottom = qBound<qint64>(0, bottom, kSpace);
    if (left >= right || top >= bottom)
        return fullRegion();
    return QRect(QPoint(int(left), int(top)), QPoint(int(right), int(bottom)));
}

}  // namespace zoomregion
