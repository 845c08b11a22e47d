// Sound output through Qt Multimedia: 16-bit mono PCM at 8 kHz on the
// default audio device. The device lives on a thread of its own, so a play
// port can hand it samples from any thread.
#pragma once

#include <QByteArray>

#include <memory>

class QThread;
class QObject;

namespace media {

class SoundOutput {
public:
    // Null when there is no application object or no usable audio device.
    static std::unique_ptr<SoundOutput> open();
    ~SoundOutput();
    SoundOutput(const SoundOutput &) = delete;
    SoundOutput &operator=(const SoundOutput &) = delete;

    // Queues samples; what the device cannot take in time is dropped rather
    // than delaying the sound more and more.
    void write(const int16_t *samples, size_t count);

private:
    SoundOutput() = default;
    QThread *m_thread = nullptr;
    QObject *m_worker = nullptr;  // lives on m_thread, owns the audio output
};

}  // namespace media
