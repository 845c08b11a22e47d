// Where a play port's pictures go: the Qt widget behind a native window
// handle.
//
// Widgets that show video attach themselves by handle:
//
//     media::register_video_sink(winId(), this);   // e.g. in the constructor
//     media::unregister_video_sink(winId());       // in the destructor
//
// The sink is any QObject with a slot or Q_INVOKABLE method
// `void setVideoImage(const QImage &image)`; it is called on the GUI thread
// with every new picture (already cut to the display region) and with a null
// image when the port closes. A handle nobody registered is resolved with
// QWidget::find() and painted by the library itself, over the widget.
//
// Pictures are made at the pixel size of the widget behind the handle (the
// display region stretched over all of it), so that the sink draws them 1:1;
// the size is followed through the widget's resize events, and a resize
// takes effect on the next picture converted. A picture made before a resize
// arrives at the old size and is the sink's to scale.
//
// Pictures are handed over thread-safely: the port stores the newest picture
// and posts one delivery to the GUI thread; a picture replaced before the GUI
// thread took it counts as dropped, so a busy GUI never makes play lag.
#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>
#include <memory>

class QObject;

namespace media {

void register_video_sink(uint64_t hWnd, QObject *sink);
void unregister_video_sink(uint64_t hWnd);

class VideoOutput {
public:
    explicit VideoOutput(uint64_t hWnd);
    ~VideoOutput();

    // Any thread. Without an application object pictures go nowhere.
    void present(const QImage &image);
    // Shows nothing (the widget's own background) from now on.
    void clear();
    // Any thread: the size in device pixels of the widget the pictures go
    // to; empty while it is not known (no such widget, or not looked at yet).
    QSize pixelSize() const;

    uint64_t shown() const;     // pictures the GUI thread delivered
    uint64_t dropped() const;   // pictures replaced before delivery

    struct State;

private:
    std::shared_ptr<State> m_state;
};

}  // namespace media
