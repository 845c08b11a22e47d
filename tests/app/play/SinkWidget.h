// The window a play channel plays into during the play tests: registered as
// the video sink of its window handle, it counts the pictures it is given.
// A program that uses it includes "moc_SinkWidget.cpp" once (from another
// folder: "tests/app/play/moc_SinkWidget.cpp").
#pragma once

#include "media/render/VideoOutput.h"

#include <QImage>
#include <QWidget>

namespace playtest {

class SinkWidget : public QWidget
{
    Q_OBJECT

public:
    explicit SinkWidget(int nWidth = 176, int nHeight = 144)
    {
        resize(nWidth, nHeight);
        m_hWnd = quint64(winId());
        media::register_video_sink(m_hWnd, this);
    }
    ~SinkWidget() override { media::unregister_video_sink(m_hWnd); }
    quint64 handle() const { return m_hWnd; }
    int pictures() const { return m_nPictures; }
    Q_INVOKABLE void setVideoImage(const QImage& image)
    {
        if (!image.isNull())
            ++m_nPictures;
    }

private:
    quint64 m_hWnd = 0;
    int m_nPictures = 0;
};

} // namespace playtest
