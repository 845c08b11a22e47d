#ifndef ORVELLE_APP_DISPLAY_VIDEOFRAME_H
#define ORVELLE_APP_DISPLAY_VIDEOFRAME_H

// CVideoFrame: the native child window one play channel renders into.
//
// The frame registers its native window handle with the media layer, which
// hands it every picture of the port that plays into that handle, made at
// the frame's own pixel size; the frame paints the newest picture over all of
// itself (black when there is none).
// It reports clicks and double-clicks, and in region mode lets the user drag
// a rectangle over the picture: while the left button is held the rectangle
// is reported every 10 ms, and on release (when it is at least 5 pixels wide
// or high) it is reported as the region to zoom into. The selection outline
// the display box asks for is painted over the video picture.

#include <QFrame>
#include <QImage>
#include <QPoint>
#include <QRect>

class CVideoFrame : public QFrame
{
    Q_OBJECT

public:
    // Drags whose width and height are both below this are ignored.
    static const int kMinDrag = 5;
    static const int kDragIntervalMs = 10;

    explicit CVideoFrame(QWidget* parent = nullptr);
    ~CVideoFrame() override;

    void setWndIndex(int nIndex) { m_nWndIndex = nIndex; }
    int wndIndex() const { return m_nWndIndex; }

    // The native window handle handed to the media layer.
    quint64 videoHandle() const { return m_hWnd; }

    bool regionMode() const { return m_bRegionMode; }
    void setRegionMode(bool bOn);

    QRect zoomRegion() const { return m_zoomRegion; }
    void setZoomRegion(const QRect& rect) { m_zoomRegion = rect; }

    // The red outline drawn over the picture; (0,0)-(0,0) removes it.
    void setSelectionOutline(const QPoint& start, const QPoint& end);
    QRect selectionOutline() const { return m_outline; }

    // The picture currently shown (null when none).
    QImage currentImage() const { return m_image; }
    // Pictures the frame has been given since it was made (null images,
    // which clear it, do not count).
    quint64 pictureCount() const { return m_nPictures; }

    // Called by the media layer on the GUI thread with every new picture, and
    // with a null image when the port closes.
    Q_INVOKABLE void setVideoImage(const QImage& image);

signals:
    void doubleClicked(int nWndIndex);
    void activeWnd(int nWndIndex);
    void sig_RectanglePoint(void* hwnd, QPoint start, QPoint cur);
    void sig_selectRegion(void* hwnd, QPoint start, QPoint end, int nWidth, int nHeight);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void stopDragTimer();
    void* handlePointer() const { return reinterpret_cast<void*>(quintptr(m_hWnd)); }

    int m_nWndIndex = 0;
    bool m_bPressed = false;
    bool m_bRegionMode = false;
    int m_nDragTimer = 0;
    int m_nHalfWidth = 0;
    int m_nHalfHeight = 0;
    QRect m_zoomRegion;
    QPoint m_lastPress;
    QPoint m_dragCurrent;
    QPoint m_dragStart;
    quint64 m_hWnd = 0;
    QImage m_image;
    quint64 m_nPictures = 0;
    QRect m_outline;
};

#endif
