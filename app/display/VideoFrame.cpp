#include "app/display/VideoFrame.h"

#include "media/render/VideoOutput.h"

#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

#include <cstdlib>

CVideoFrame::CVideoFrame(QWidget* parent) : QFrame(parent)
{
    setObjectName("CPlayWnd");
    // The media layer finds the frame by its native window handle.
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_hWnd = quint64(winId());
    setMouseTracking(true);
    media::register_video_sink(m_hWnd, this);
}

CVideoFrame::~CVideoFrame()
{
    media::unregister_video_sink(m_hWnd);
}

void CVideoFrame::setRegionMode(bool bOn)
{
    m_bRegionMode = bOn;
    if (!bOn) {
        stopDragTimer();
        m_dragStart = QPoint();
        m_dragCurrent = QPoint();
        setSelectionOutline(QPoint(), QPoint());
    }
}

void CVideoFrame::setSelectionOutline(const QPoint& start, const QPoint& end)
{
    const QRect outline = (start.isNull() && end.isNull()) ? QRect() : QRect(start, end).normalized();
    if (outline == m_outline)
        return;
    m_outline = outline;
    update();
}

void CVideoFrame::setVideoImage(const QImage& image)
{
    if (!image.isNull())
        ++m_nPictures;
    m_image = image;
    update();
}

void CVideoFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_image.isNull()) {
        painter.fillRect(rect(), Qt::black);
    } else {
        // The media layer makes each picture at this frame's pixel size, so
        // it is drawn 1:1; only a picture made before a resize is scaled.
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), m_image);
    }
    if (!m_outline.isNull()) {
        painter.setPen(QPen(QColor(255, 0, 0), 1));
        painter.setBrush(Qt::NoBrush);
        // The outline passes through both corners the user dragged between.
        painter.drawRect(m_outline.adjusted(0, 0, -1, -1));
    }
}

void CVideoFrame::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_bPressed = true;
        m_lastPress = event->pos();
        if (m_bRegionMode) {
            m_dragStart = event->pos();
            m_dragCurrent = QPoint(0, 0);
            stopDragTimer();
            m_nDragTimer = startTimer(kDragIntervalMs);
        }
    }
    emit activeWnd(m_nWndIndex);
    QFrame::mousePressEvent(event);
}

void CVideoFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bPressed && m_bRegionMode) {
        const int x = qBound(0, event->pos().x(), 2 * m_nHalfWidth);
        const int y = qBound(0, event->pos().y(), 2 * m_nHalfHeight);
        m_dragCurrent = QPoint(x, y);
    }
    QFrame::mouseMoveEvent(event);
}

void CVideoFrame::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QFrame::mouseReleaseEvent(event);
        return;
    }
    m_bPressed = false;
    stopDragTimer();
    if (m_bRegionMode && !m_dragCurrent.isNull()) {
        const bool bTooSmall = std::abs(m_dragStart.x() - m_dragCurrent.x()) < kMinDrag
                               && std::abs(m_dragStart.y() - m_dragCurrent.y()) < kMinDrag;
        if (!bTooSmall)
            emit sig_selectRegion(handlePointer(), m_dragStart, m_dragCurrent, width(), height());
        // The outline goes away in either case: the video is painted by the
        // frame itself, so an outline left over would stay on the picture.
        m_dragStart = QPoint(0, 0);
        m_dragCurrent = QPoint(0, 0);
        emit sig_RectanglePoint(handlePointer(), QPoint(0, 0), QPoint(0, 0));
    }
    QFrame::mouseReleaseEvent(event);
}

void CVideoFrame::mouseDoubleClickEvent(QMouseEvent* event)
{
    emit doubleClicked(m_nWndIndex);
    QFrame::mouseDoubleClickEvent(event);
}

void CVideoFrame::resizeEvent(QResizeEvent* event)
{
    m_nHalfWidth = event->size().width() / 2;
    m_nHalfHeight = event->size().height() / 2;
    QFrame::resizeEvent(event);
}

void CVideoFrame::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_nDragTimer) {
        QFrame::timerEvent(event);
        return;
    }
    if (m_bPressed && m_dragCurrent.x() > 0 && m_dragCurrent.y() > 0)
        emit sig_RectanglePoint(handlePointer(), m_dragStart, m_dragCurrent);
}

void CVideoFrame::stopDragTimer()
{
    if (m_nDragTimer != 0) {
        killTimer(m_nDragTimer);
        m_nDragTimer = 0;
    }
}
