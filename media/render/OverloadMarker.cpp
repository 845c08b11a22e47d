#include "media/render/OverloadMarker.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>

namespace media {

QRect overload_marker_rect(const QSize &size)
{
    const int side = std::max(10, std::min(28, std::min(size.width(), size.height()) / 12));
    const int margin = side / 3;
    if (size.width() < side + 2 * margin || size.height() < side + 2 * margin)
        return QRect();
    return QRect(size.width() - margin - side, margin, side, side);
}

void draw_overload_marker(QImage *image)
{
    const QRect r = overload_marker_rect(image->size());
    if (r.isEmpty())
        return;
    QPainter p(image);
    p.fillRect(r, QColor::fromRgb(kOverloadMarkerColour));
    // Two triangles pointing right, inside the square's middle.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const qreal s = r.width(), x = r.left() + s * 0.2, y = r.top() + s * 0.25, h = s * 0.5, w = s * 0.3;
    for (int i = 0; i < 2; ++i) {
        const qreal x0 = x + i * w;
        p.drawPolygon(QPolygonF({QPointF(x0, y), QPointF(x0 + w, y + h / 2), QPointF(x0, y + h)}));
    }
}

}  // namespace media
