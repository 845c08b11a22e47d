#include "media/audio/SoundOutput.h"

#include "media/audio/G711.h"
#include "media/common/QueuedCall.h"

#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QAudioOutput>
#include <QCoreApplication>
#include <QIODevice>
#include <QThread>

#include <future>

namespace media {

namespace {

QAudioFormat pcmFormat()
{
    QAudioFormat f;
    f.setSampleRate(kG711SampleRate);
    f.setChannelCount(1);
    f.setSampleSize(16);
    f.setCodec("audio/pcm");
    f.setByteOrder(QAudioFormat::LittleEndian);
    f.setSampleType(QAudioFormat::SignedInt);
    return f;
}

// Lives on the sound thread; every call reaches it as a queued call.
class SoundWorker : public QObject {
public:
    bool start()
    {
        QAudioDeviceInfo dev = QAudioDeviceInfo::defaultOutputDevice();
        if (dev.isNull() || !dev.isFormatSupported(pcmFormat()))
            return false;
        m_out = new QAudioOutput(dev, pcmFormat(), this);
        m_out->setBufferSize(kG711SampleRate / 2 * 2);  // half a second
        m_io = m_out->start();
        return m_io && m_out->error() == QAudio::NoError;
    }
    void write(const QByteArray &bytes)
    {
        if (!m_io || !m_out)
            return;
        qint64 room = m_out->bytesFree();
        m_io->write(bytes.constData(), std::min<qint64>(room, bytes.size()));
    }
    void stop()
    {
        if (m_out)
            m_out->stop();
        delete m_out;
        m_out = nullptr;
        m_io = nullptr;
    }

protected:
    bool event(QEvent *e) override { return runQueuedCall(e) || QObject::event(e); }

private:
    QAudioOutput *m_out = nullptr;
    QIODevice *m_io = nullptr;
};

}  // namespace

std::unique_ptr<SoundOutput> SoundOutput::open()
{
    if (!QCoreApplication::instance())
        return nullptr;
    std::unique_ptr<SoundOutput> s(new SoundOutput);
    s->m_thread = new QThread;
    s->m_thread->setObjectName("TarvokSound");
    auto *worker = new SoundWorker;
    worker->moveToThread(s->m_thread);
    s->m_worker = worker;
    s->m_thread->start();
    std::promise<bool> started;
    std::future<bool> ok = started.get_future();
    postQueuedCall(worker, [worker, &started] { started.set_value(worker->start()); });
    if (!ok.get())
        return nullptr;  // the destructor stops the thread
    return s;
}

SoundOutput::~SoundOutput()
{
    if (m_worker) {
        auto *worker = static_cast<SoundWorker *>(m_worker);
        std::promise<void> stopped;
        std::future<void> done = stopped.get_future();
        postQueuedCall(worker, [worker, &stopped] {
            worker->stop();
            delete worker;
            stopped.set_value();
        });
        done.wait();
    }
    if (m_thread) {
        m_thread->quit();
        m_thread->wait();
        delete m_thread;
    }
}

void SoundOutput::write(const int16_t *samples, size_t count)
{
    if (!m_worker || !samples || count == 0)
        return;
    QByteArray bytes(reinterpret_cast<const char *>(samples), int(count * sizeof(int16_t)));
    auto *worker = static_cast<SoundWorker *>(m_worker);
    postQueuedCall(worker, [worker, bytes] { worker->write(bytes); });
}

}  // namespace media
