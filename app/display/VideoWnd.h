#ifndef ORVELLE_APP_DISPLAY_VIDEOWND_H
#define ORVELLE_APP_DISPLAY_VIDEOWND_H

// CVideoWnd: one cell of the video grid - a bordered panel named "VideoWnd"
// (the name the active and inactive frame styles select on) around the
// CVideoFrame that shows the channel's video. The cell forwards the frame's
// signals as its own.

#include <QPoint>
#include <QRect>
#include <QWidget>

class CVideoFrame;

class CVideoWnd : public QWidget
{
    Q_OBJECT

public:
    explicit CVideoWnd(int nIndex, QWidget* parent = nullptr);

    int wndIndex() const { return m_nIndex; }
    CVideoFrame* frame() const { return m_pFrame; }
    // The frame's native window handle, taken once at construction.
    quint64 videoHandle() const { return m_hWnd; }

    QRect zoomRegion() const;
    void setZoomRegion(const QRect& rect);
    bool regionMode() const;
    void setRegionMode(bool bOn);

signals:
    void doubleClicked(int nWndIndex);
    void activeWnd(int nWndIndex);
    void sig_RectanglePoint(void* hwnd, QPoint start, QPoint cur);
    void sig_selectRegion(void* hwnd, QPoint start, QPoint end, int nWidth, int nHeight);

private:
    int m_nIndex;
    CVideoFrame* m_pFrame;
    quint64 m_hWnd;
};

#endif
