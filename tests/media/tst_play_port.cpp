// Play ports on real offscreen widgets, fed with real H.264/H.265 recordings.
#include "media/decode/VideoDecoder.h"
#include "media/render/OverloadMarker.h"
#include "media/render/VideoOutput.h"
#include "media/sdk/Tarvok.h"
#include "media/stream/StreamReader.h"
#include "tests/support/media/TestStream.h"

#include <QElapsedTimer>
#include <QImage>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {

using Frames = std::vector<std::vector<uint8_t>>;

Frames split(const std::vector<uint8_t> &data)
{
    Frames out;
    StreamReaderHandle r = StreamReader_Create();
    StreamReader_PushData(r, data.data(), data.size());
    while (const StreamFrame *f = StreamReader_GetNextFrame(r))
        out.emplace_back(f->pData, f->pData + f->nLength);
    StreamReader_Destroy(r);
    return out;
}

bool isVideo(const std::vector<uint8_t> &f)
{
    return f.size() > 3 && (f[3] == 0xFC || f[3] == 0xFD);
}

int videoCount(const Frames &frames)
{
    int n = 0;
    for (const auto &f : frames)
        n += isVideo(f) ? 1 : 0;
    return n;
}

testmedia::Recording make(int w, int h, double seconds, bool audio = false,
                          testmedia::Codec codec = testmedia::Codec::H264)
{
    testmedia::StreamParams p;
    p.width = w;
    p.height = h;
    p.seconds = seconds;
    p.audio = audio;
    p.codec = codec;
    p.startTime = testmedia::packTime(2023, 5, 1, 10, 0, 0);
    return testmedia::makeRecording(p);
}

// Mean difference of the colour channels of two images of one size, 0-255.
double meanDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 255;
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const QRgb *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int i = 0; i < x.width(); ++i)
            sum += std::abs(qRed(p[i]) - qRed(q[i])) + std::abs(qGreen(p[i]) - qGreen(q[i])) +
                   std::abs(qBlue(p[i]) - qBlue(q[i]));
    }
    return sum / (3.0 * x.width() * x.height());
}

int64_t localEpoch(int y, int mo, int d, int h, int mi, int s)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return int64_t(std::mktime(&tm));
}

struct Message {
    int id;
    int64_t p1, p2, p3;
    QByteArray text;
};

// Collects a port's messages; optionally stops the port from inside the
// play-end message, as a play channel may.
struct Messages {
    std::mutex mutex;  // a std lock, which ThreadSanitizer sees
    QVector<Message> list;
    bool stopOnEnd = false;

    static int callback(int port, int id, int64_t p1, int64_t p2, int64_t p3, const char *text, void *, void *,
                        void *, void *user)
    {
        auto *self = static_cast<Messages *>(user);
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->list.push_back(Message{id, p1, p2, p3, QByteArray(text ? text : "")});
        }
        if (id == EUIMSG_PLAY_STOP && self->stopOnEnd)
            TVPLAY_Stop(port);
        return 0;
    }
    TVMessageReceiver receiver() { return TVMessageReceiver{0, &Messages::callback, this}; }
    int count(int id)
    {
        std::lock_guard<std::mutex> lock(mutex);
        int n = 0;
        for (const auto &m : list)
            n += m.id == id ? 1 : 0;
        return n;
    }
    QVector<Message> of(int id)
    {
        std::lock_guard<std::mutex> lock(mutex);
        QVector<Message> out;
        for (const auto &m : list)
            if (m.id == id)
                out.push_back(m);
        return out;
    }
};

}  // namespace

// Stands in for the video window: remembers every picture and when it came.
class TestSink : public QObject {
    Q_OBJECT
public:
    explicit TestSink(QWidget *w) : m_wid(uint64_t(w->winId())) { media::register_video_sink(m_wid, this); }
    ~TestSink() override { media::unregister_video_sink(m_wid); }
    Q_INVOKABLE void setVideoImage(const QImage &img)
    {
        if (img.isNull()) {
            ++cleared;
            return;
        }
        images.push_back(img);
        times.push_back(clock.isValid() ? clock.nsecsElapsed() / 1e9 : 0.0);
    }
    uint64_t wid() const { return m_wid; }

    QVector<QImage> images;
    QVector<double> times;
    QElapsedTimer clock;
    int cleared = 0;

private:
    uint64_t m_wid;
};

class TstPlayPort : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    testmedia::Recording m_rec;     // 352x288, 4 s, with sound
    Frames m_frames;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    static void pushAll(int port, const Frames &frames)
    {
        for (const auto &f : frames)
            QCOMPARE(TVPLAY_PushMediaData(port, f.data(), int(f.size())), 0);
    }
    static QSize decodedSize(int port)
    {
        TVPlayStats st{};
        return TVPLAY_GetPlayStats(port, &st) == 0 ? QSize(st.nWidth, st.nHeight) : QSize();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        TVSDKInitParam bad{};
        QVERIFY(TVSDK_Init(&bad) < 0);  // identifiers missing
        QVERIFY(TVSDK_Init(nullptr) < 0);
        TVSDKInitParam init{};
        std::snprintf(init.szWorkDir, sizeof init.szWorkDir, "%s/Temp/", qPrintable(m_dir.path()));
        std::memcpy(init.szWorkDir2, init.szWorkDir, sizeof init.szWorkDir);
        std::strcpy(init.szIdent1, "5f1c0a9e7b3d42e8a6c4d0b2e9f71a38");
        std::strcpy(init.szIdent2, "9d2e6b4a1c8f47d3b0e5a7c2f4d96e10");
        std::strcpy(init.szIdent3, "3b7e9c1d5a2f48b6e0c4d8a1f7b2c95e");
        init.nVersion = 7;
        QCOMPARE(TVSDK_Init(&init), 0);
        QVERIFY(QDir(path("Temp")).exists());

        m_rec = make(352, 288, 4, true);
        QVERIFY2(m_rec.error.empty(), m_rec.error.c_str());
        m_frames = split(m_rec.data);
        QCOMPARE(videoCount(m_frames), 100);
    }

    // Every speed from 1/16 to 16 times, through a real port: the frames go
    // by the stream's rate times 2^speed, all of them through its clock, key
    // frames only at 16x. The exact deadline arithmetic is PlayClock's test;
    // here the wall-clock bounds allow for a machine busy with other work
    // (it may be late, never early).
    void paceAtEverySpeed()
    {
        testmedia::Recording small = make(176, 144, 4);
        const Frames all = split(small.data);
        for (int speed = -4; speed <= 4; ++speed) {
            const double interval = 1.0 / (25.0 * std::pow(2.0, speed));
            // About a second of play at each speed (at least 3 frames).
            int n = speed == 4 ? 100 : std::max(3, std::min(100, int(1.0 / interval)));
            Frames part;
            int video = 0;
            for (const auto &f : all) {
                if (isVideo(f) && video++ == n)
                    break;
                part.push_back(f);
            }
            QWidget w;
            w.resize(176, 144);
            TestSink sink(&w);
            Messages msgs;
            TVMessageReceiver r = msgs.receiver();
            int port = TVPLAY_OpenPlay(&r, sink.wid(), 1000, 0, 0);
            QVERIFY(port > 0);
            QCOMPARE(TVPLAY_SetPlaySpeed(port, speed), 0);
            pushAll(port, part);
            QCOMPARE(TVPLAY_ForcePlayEnd(port), 0);
            sink.clock.start();
            QCOMPARE(TVPLAY_Play(port), 0);
            QTRY_VERIFY_WITH_TIMEOUT(msgs.count(EUIMSG_PLAY_STOP) == 1, 30000);
            const double elapsed = sink.clock.nsecsElapsed() / 1e9;
            QTest::qWait(50);  // the last delivery
            TVPlayStats st{};
            QCOMPARE(TVPLAY_GetPlayStats(port, &st), 0);
            QCOMPARE(TVPLAY_Stop(port), 0);
            QVERIFY(TVPLAY_Stop(port) < 0);  // already closed

            const double expected = (n - 1) * interval;
            const QByteArray what = QByteArray("speed ") + QByteArray::number(speed) + " frames " +
                                    QByteArray::number(n) + " shown " + QByteArray::number(sink.images.size()) +
                                    " elapsed " + QByteArray::number(elapsed) + " decoded " +
                                    QByteArray::number(qulonglong(st.nDecoded)) + " dropped " +
                                    QByteArray::number(qulonglong(st.nDropped)) + " key frames only " +
                                    QByteArray::number(qulonglong(st.nKeyOnly));
            // Every frame went through the clock: n frames of 40 ms.
            QVERIFY2(st.nPlayedUs == uint64_t(n) * 40000, what.constData());
            QVERIFY2(st.nRendered + st.nSkipped == uint64_t(n), what.constData());
            QVERIFY2(elapsed >= expected * 0.99 - 0.002, what.constData());  // never early
            if (speed == 4) {
                QVERIFY2(st.nDecoded == 4 && st.nKeyOnly == 96, what.constData());  // the four key frames
                QVERIFY2(sink.images.size() >= 1 && sink.images.size() <= 4, what.constData());
            } else {
                // Late only by what a busy machine adds: far from playing
                // at another speed.
                QVERIFY2(elapsed <= expected * 1.5 + 2.0, what.constData());
                if (speed <= 0)
                    QVERIFY2(sink.images.size() >= n / 2, what.constData());
            }
            for (const QImage &img : sink.images)
                QCOMPARE(img.size(), QSize(176, 144));
        }
    }

    // A decoder too slow for its stream (every decode lasts 100 ms, the
    // stream has 40 ms a frame): the port first drops pictures it decoded,
    // then decodes key frames only until it is back in time, marks the
    // pictures it shows meanwhile and counts all of it, and its clock goes
    // through the four seconds in real time instead of playing slow.
    void overloadDropsThenKeyFramesOnly()
    {
        QWidget w;
        w.resize(352, 288);
        TestSink sink(&w);
        Messages msgs;
        TVMessageReceiver r = msgs.receiver();
        int port = TVPLAY_OpenPlay(&r, sink.wid(), 1000, 0, 0);
        QVERIFY(port > 0);
        pushAll(port, m_frames);
        QCOMPARE(TVPLAY_ForcePlayEnd(port), 0);
        media::set_minimum_decode_time(std::chrono::milliseconds(100));
        QCOMPARE(TVPLAY_Play(port), 0);
        QTRY_VERIFY_WITH_TIMEOUT(msgs.count(EUIMSG_PLAY_STOP) == 1, 30000);
        media::set_minimum_decode_time(std::chrono::microseconds(0));
        QTest::qWait(50);  // the last delivery
        TVPlayStats st{};
        QCOMPARE(TVPLAY_GetPlayStats(port, &st), 0);
        QCOMPARE(TVPLAY_Stop(port), 0);

        const QByteArray what = QByteArray("decoded ") + QByteArray::number(qulonglong(st.nDecoded)) +
                                " shown " + QByteArray::number(qulonglong(st.nRendered)) + " dropped " +
                                QByteArray::number(qulonglong(st.nDropped)) + " key frames only " +
                                QByteArray::number(qulonglong(st.nKeyOnly)) + " catch-ups " +
                                QByteArray::number(qulonglong(st.nCatchUps));
        QVERIFY2(st.nDropped > 0, what.constData());
        QVERIFY2(st.nKeyOnly > 0, what.constData());
        QVERIFY2(st.nCatchUps >= 1, what.constData());
        // Decoding all 100 frames would have taken 10 s: the clock did not
        // wait for the decoder.
        QVERIFY2(st.nDecoded < 75, what.constData());
        QCOMPARE(st.nPlayedUs, uint64_t(4000000));
        QCOMPARE(st.nRendered + st.nSkipped, uint64_t(100));
        QVERIFY2(st.nSkipped >= st.nDropped + st.nKeyOnly, what.constData());

        // The first picture came on time, unmarked; pictures shown while
        // catching up carry the marker in their top right corner.
        QVERIFY(!sink.images.isEmpty());
        auto marked = [](const QImage &img) {
            const QRect m = media::overload_marker_rect(img.size());
            return !m.isEmpty() && img.pixel(m.topLeft() + QPoint(1, 1)) == media::kOverloadMarkerColour &&
                   img.pixel(m.bottomLeft() + QPoint(1, -1)) == media::kOverloadMarkerColour;
        };
        QVERIFY(!marked(sink.images.first()));
        int nMarked = 0;
        for (const QImage &img : sink.images)
            nMarked += marked(img) ? 1 : 0;
        QVERIFY2(nMarked >= 1, what.constData());
        QVERIFY2(nMarked < sink.images.size(), what.constData());

        // Decoding in time again, the same port shows every frame of a
        // second at normal speed, unmarked.
        QWidget w2;
        w2.resize(352, 288);
        TestSink sink2(&w2);
        Messages msgs2;
        TVMessageReceiver r2 = msgs2.receiver();
        port = TVPLAY_OpenPlay(&r2, sink2.wid(), 1000, 0, 0);
        QCOMPARE(TVPLAY_Play(port), 0);
        pushAll(port, m_frames);
        QCOMPARE(TVPLAY_ForcePlayEnd(port), 0);
        QTRY_VERIFY_WITH_TIMEOUT(msgs2.count(EUIMSG_PLAY_STOP) == 1, 30000);
        QCOMPARE(TVPLAY_GetPlayStats(port, &st), 0);
        QCOMPARE(TVPLAY_Stop(port), 0);
        QCOMPARE(st.nKeyOnly, uint64_t(0));
        QCOMPARE(st.nCatchUps, uint64_t(0));
        QTRY_VERIFY(!sink2.images.isEmpty());
        for (const QImage &img : sink2.images)
            QVERIFY(!marked(img));
    }

    void pauseStepForwardAndBack()
    {
        QWidget w;
        TestSink sink(&w);
        Messages msgs;
        TVMessageReceiver r = msgs.receiver();
        int port = TVPLAY_OpenPlay(&r, sink.wid(), 100, 0, 0);
        QVERIFY(port > 0);
        QCOMPARE(TVPLAY_Pause(port, 1), 0);
        QCOMPARE(TVPLAY_Play(port), 0);
        pushAll(port, m_frames);
        QTest::qWait(300);
        QCOMPARE(sink.images.size(), 0);  // paused before the first picture

        // 27 steps forward: through the first group into the second.
        for (int i = 1; i <= 27; ++i) {
            QCOMPARE(TVPLAY_PlayNextFrame(port), 0);
            QTRY_COMPARE(sink.images.size(), i);
        }
        const QVector<QImage> forward = sink.images;
        QVERIFY(forward[0] != forward[1]);  // the pictures really move
        TVPlayStats st{};
        QCOMPARE(TVPLAY_GetPlayStats(port, &st), 0);
        QCOMPARE(st.nRestarts, uint64_t(0));  // into the second group without starting afresh

        // Back three: the last one lies in the first group again, decoded
        // anew from that group's key frame.
        for (int i = 1; i <= 3; ++i) {
            QCOMPARE(TVPLAY_PlayPreviousFrame(port), 0);
            QTRY_COMPARE(sink.images.size(), 27 + i);
            QVERIFY2(sink.images.last() == forward[26 - i], qPrintable(QString("back %1").arg(i)));
        }
        // Forward again continues from there.
        QCOMPARE(TVPLAY_PlayNextFrame(port), 0);
        QTRY_COMPARE(sink.images.size(), 31);
        QVERIFY(sink.images.last() == forward[24]);

        QTest::qWait(300);
        QCOMPARE(sink.images.size(), 31);  // holds after a step
        // Each step back decoded its group again from its key frame; the
        // step forward went on from there.
        QCOMPARE(TVPLAY_GetPlayStats(port, &st), 0);
        QCOMPARE(st.nRestarts, uint64_t(3));

        // Play on through the key frames of the third and fourth groups.
        QCOMPARE(TVPLAY_Pause(port, 0), 0);
        QTRY_VERIFY_WITH_TIMEOUT(sink.images.size() > 31 + 40, 10000);
        QCOMPARE(TVPLAY_GetPlayStats(port, &st), 0);
        QCOMPARE(st.nRestarts, uint64_t(3));
        QCOMPARE(TVPLAY_Stop(port), 0);
        QTRY_VERIFY(sink.cleared > 0);  // the window is blanked when the port closes
    }

    void captureJpegAtDecodedSize()
    {
        QWidget w;
        w.resize(120, 90);  // pictures on screen are made this small
        TestSink sink(&w);
        Messages msgs;
        TVMessageReceiver r = msgs.receiver();
        int port = TVPLAY_OpenPlay(&r, sink.wid(), 100, 0, 0);
        QVERIFY(TVPLAY_CatchPictureSyn(port, qPrintable(path("none.jpg")), 200) < 0);  // nothing shown yet
        QVERIFY(!QFile::exists(path("none.jpg")));
        QCOMPARE(TVPLAY_Play(port), 0);
        TVRect half{0, 0, 4096, 4096};
        QCOMPARE(TVPLAY_PlaySetDisplayRegion(port, &half), 0);
        pushAll(port, m_frames);
        QCOMPARE(TVPLAY_CatchPictureSyn(port, qPrintable(path("shot.jpg")), 3000), 0);
        QImageReader reader(path("shot.jpg"));
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        QCOMPARE(reader.size(), QSize(352, 288));  // the whole decoded picture, not the region
        QTRY_COMPARE(sink.images.size() > 1 ? sink.images.last().size() : QSize(), QSize(120, 90));  // shown small

        const qint64 before = QFileInfo(path("shot.jpg")).size();
        QVERIFY(TVPLAY_CatchPictureSyn(port, qPrintable(path("shot.jpg")), 3000) < 0);
        QCOMPARE(QFileInfo(path("shot.jpg")).size(), before);  // never overwritten
        QCOMPARE(TVPLAY_Stop(port), 0);
        QVERIFY(TVPLAY_CatchPictureSyn(port, qPrintable(path("late.jpg")), 100) < 0);
    }

    // Pictures are made at the window's pixel size: the display region is the
    // part of the decoded picture stretched over the whole window, and a
    // resize changes the next picture made.
    void pictureMadeAtTheWindowSize()
    {
        QWidget w;
        w.resize(352, 288);
        w.show();
        TestSink sink(&w);
        Messages msgs;
        TVMessageReceiver r = msgs.receiver();
        int port = TVPLAY_OpenPlay(&r, sink.wid(), 100, 0, 0);
        QCOMPARE(TVPLAY_Pause(port, 1), 0);
        QCOMPARE(TVPLAY_Play(port), 0);
        pushAll(port, m_frames);
        QCOMPARE(TVPLAY_PlayNextFrame(port), 0);
        QTRY_COMPARE(sink.images.size(), 1);
        const QImage whole = sink.images.last();
        QCOMPARE(whole.size(), QSize(352, 288));

        // Right half, bottom half; corners given the wrong way round.
        TVRect quarter{8192, 8192, 4096, 4096};
        QCOMPARE(TVPLAY_PlaySetDisplayRegion(port, &quarter), 0);
        QCOMPARE(TVPLAY_PlayNextFrame(port), 0);
        QTRY_COMPARE(sink.images.size(), 2);
        QCOMPARE(sink.images.last().size(), QSize(352, 288));
        QCOMPARE(TVPLAY_PlayPreviousFrame(port), 0);  // the first picture again, zoomed
        QTRY_COMPARE(sink.images.size(), 3);
        const QImage zoomed = sink.images.last();
        auto scaled = [&](int x, int y) {
            return whole.copy(x, y, 176, 144).scaled(352, 288, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        };
        const double right = meanDifference(zoomed, scaled(176, 144));
        QVERIFY2(right < 4, QByteArray::number(right));
        for (const QPoint &wrong : {QPoint(0, 0), QPoint(176, 0), QPoint(0, 144), QPoint(170, 140)}) {
            const double d = meanDifference(zoomed, scaled(wrong.x(), wrong.y()));
            QVERIFY2(d > 3 * right + 4, QByteArray::number(d) + " against " + QByteArray::number(right));
        }

        w.resize(200, 150);
        QCOMPARE(TVPLAY_PlayNextFrame(port), 0);
        QTRY_COMPARE(sink.images.size(), 4);
        QCOMPARE(sink.images.last().size(), QSize(200, 150));  // the next picture after the resize

        QCOMPARE(TVPLAY_PlaySetDisplayRegion(port, nullptr), 0);
        QCOMPARE(TVPLAY_PlayPreviousFrame(port), 0);  // whole again, at the new size
        QTRY_COMPARE(sink.images.size(), 5);
        QCOMPARE(sink.images.last().size(), QSize(200, 150));
        const double d = meanDifference(sink.images.last(),
                                        whole.scaled(200, 150, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        QVERIFY2(d < 6, QByteArray::number(d));
        QCOMPARE(decodedSize(port), QSize(352, 288));
        QCOMPARE(TVPLAY_Stop(port), 0);
    }

    void playInfoAndBufferMessages()
    {
        QWidget w;
        TestSink sink(&w);
        Messages msgs;
        TVMessageReceiver r = msgs.receiver();
        int port = TVPLAY_OpenPlay(&r, sink.wid(), 10, 0, 0);
        QCOMPARE(TVPLAY_Pause(port, 1), 0);
        QCOMPARE(TVPLAY_Play(port), 0);
        QTRY_COMPARE(msgs.count(EUIMSG_PLAY_START), 1);
        pushAll(port, m_frames);  // far above 10 buffered frames
        QTRY_COMPARE(msgs.count(EUIMSG_BUFFER_STATE), 1);
        QCOMPARE(msgs.of(EUIMSG_BUFFER_STATE)[0].p1, int64_t(1));
        QCOMPARE(TVPLAY_SetPlaySpeed(port, 3), 0);
        QVERIFY(TVPLAY_SetPlaySpeed(port, 5) < 0);
        QCOMPARE(TVPLAY_Pause(port, 0), 0);
        QTRY_VERIFY(msgs.count(EUIMSG_BUFFER_STATE) >= 2);
        QCOMPARE(msgs.of(EUIMSG_BUFFER_STATE)[1].p1, int64_t(0));
        QCOMPARE(TVPLAY_ForcePlayEnd(port), 0);
        QTRY_COMPARE_WITH_TIMEOUT(msgs.count(EUIMSG_PLAY_STOP), 1, 5000);

        const QVector<Message> info = msgs.of(EUIMSG_PLAY_INFO);
        QVERIFY(info.size() >= 4);  // one per second of play time at least
        const int64_t begin = localEpoch(2023, 5, 1, 10, 0, 0);
        int64_t last = 0;
        for (const Message &m : info) {
            QJsonObject o = QJsonDocument::fromJson(m.text).object();
            QCOMPARE(o.value("fps").toInt(), 25);
            QCOMPARE(o.value("width").toInt(), 352);
            QCOMPARE(o.value("height").toInt(), 288);
            QVERIFY(o.value("bits").toDouble() > 0);
            QCOMPARE(m.p1, begin);
            QVERIFY(m.p2 >= begin && m.p2 <= m.p3);
            QVERIFY(m.p2 >= last);
            last = m.p2;
        }
        QCOMPARE(last, begin + 3);
        QCOMPARE(TVPLAY_Stop(port), 0);
    }

    void recordClipThenPlayAndConvertIt()
    {
        QWidget w;
        TestSink sink(&w);
        Messages msgs;
        TVMessageReceiver r = msgs.receiver();
        int port = TVPLAY_OpenPlay(&r, sink.wid(), 100, 0, 0);
        QCOMPARE(TVPLAY_Play(port), 0);
        // Start the clip in the middle of the first group: it opens with
        // the next key frame.
        size_t i = 0;
        for (int video = 0; i < m_frames.size() && video < 10; ++i) {
            video += isVideo(m_frames[i]) ? 1 : 0;
            TVPLAY_PushMediaData(port, m_frames[i].data(), int(m_frames[i].size()));
        }
        const QByteArray clip = QFile::encodeName(path("clip_001"));
        QCOMPARE(TVPLAY_StartRecordData(port, clip.constData()), 0);
        QVERIFY(TVPLAY_StartRecordData(port, clip.constData()) < 0);  // one clip at a time
        for (; i < m_frames.size(); ++i)
            TVPLAY_PushMediaData(port, m_frames[i].data(), int(m_frames[i].size()));
        QCOMPARE(TVPLAY_StopRecordData(port), 0);
        QCOMPARE(TVPLAY_Stop(port), 0);

        const Frames clipFrames = split(testmedia::readFile(path("clip_001").toStdString()));
        QVERIFY(!clipFrames.empty());
        QCOMPARE(int(clipFrames.front()[3]), 0xFC);
        QCOMPARE(videoCount(clipFrames), 75);  // the last three groups
        QCOMPARE(int(clipFrames.size()), 150);  // with their sound
        // A clip is never written over an existing file.
        port = TVPLAY_OpenPlay(&r, 0, 100, 0, 0);
        QVERIFY(TVPLAY_StartRecordData(port, clip.constData()) < 0);
        TVPLAY_Stop(port);

        // The clip plays as a file by itself...
        QWidget w2;
        TestSink sink2(&w2);
        Messages msgs2;
        TVMessageReceiver r2 = msgs2.receiver();
        int filePort = TVPLAY_OpenFilePlay(&r2, clip.constData(), sink2.wid(), 0, 0);
        QVERIFY(filePort > 0);
        QCOMPARE(TVPLAY_SetPlaySpeed(filePort, 1), 0);
        QCOMPARE(TVPLAY_Play(filePort), 0);
        QTRY_COMPARE_WITH_TIMEOUT(msgs2.count(EUIMSG_PLAY_STOP), 1, 10000);
        QTest::qWait(50);
        TVPlayStats st{};
        QCOMPARE(TVPLAY_GetPlayStats(filePort, &st), 0);
        QCOMPARE(st.nDecoded + st.nKeyOnly, uint64_t(75));
        QCOMPARE(st.nRendered + st.nSkipped, uint64_t(75));
        // Every picture shown reached the sink. How many of the 75 are shown
        // rather than skipped, and how many decoded rather than passed over,
        // depends on the machine's speed (under a sanitizer or on a loaded
        // machine fewer keep up with 2x speed).
        QVERIFY(st.nRendered > 0);
        QCOMPARE(uint64_t(sink2.images.size()), st.nRendered);
        QCOMPARE(TVPLAY_Stop(filePort), 0);

        // ...and converts.
        struct Done {
            std::atomic<int64_t> result{1};
            static int cb(int, int id, int64_t p1, int64_t, int64_t, const char *, void *, void *, void *, void *u)
            {
                if (id == EUIMSG_COVERT_FILE_RESULT)
                    static_cast<Done *>(u)->result = p1;
                return 0;
            }
        } done;
        TVMessageReceiver cr{0, &Done::cb, &done};
        QVERIFY(TVPLAY_StartConvertFile(&cr, clip.constData(), qPrintable(path("clip.mp4")), "") > 0);
        QTRY_COMPARE_WITH_TIMEOUT(done.result.load(), int64_t(0), 20000);
    }

    void filePortsSeekAndPlayMp4()
    {
        testmedia::Recording longer = make(176, 144, 20);
        QVERIFY(testmedia::writeFile(path("long.h264").toStdString(), longer.data));
        QWidget w;
        TestSink sink(&w);
        Messages msgs;
        TVMessageReceiver r = msgs.receiver();
        QVERIFY(TVPLAY_OpenFilePlay(&r, qPrintable(path("missing.h264")), sink.wid(), 0, 0) < 0);
        int port = TVPLAY_OpenFilePlay(&r, qPrintable(path("long.h264")), sink.wid(), 0, 0);
        QVERIFY(port > 0);
        QVERIFY(TVPLAY_SetPlayPosition(port, 101) < 0);
        QCOMPARE(TVPLAY_Play(port), 0);
        QCOMPARE(TVPLAY_Play(port), 0);  // playing already: nothing changes
        QTRY_VERIFY(!msgs.of(EUIMSG_PLAY_INFO).isEmpty());
        const int64_t begin = localEpoch(2023, 5, 1, 10, 0, 0);
        QCOMPARE(msgs.of(EUIMSG_PLAY_INFO).first().p1, begin);
        QCOMPARE(msgs.of(EUIMSG_PLAY_INFO).first().p3, begin + 20);  // the whole file's range
        QCOMPARE(TVPLAY_SetPlayPosition(port, 50), 0);
        QTRY_VERIFY(msgs.of(EUIMSG_PLAY_INFO).last().p2 >= begin + 9);
        QVERIFY(msgs.of(EUIMSG_PLAY_INFO).last().p2 <= begin + 12);
        QCOMPARE(TVPLAY_Stop(port), 0);

        // An MP4 file plays through the same port.
        struct Done {
            std::atomic<int64_t> result{1};
            static int cb(int, int id, int64_t p1, int64_t, int64_t, const char *, void *, void *, void *, void *u)
            {
                if (id == EUIMSG_COVERT_FILE_RESULT)
                    static_cast<Done *>(u)->result = p1;
                return 0;
            }
        } done;
        TVMessageReceiver cr{0, &Done::cb, &done};
        QVERIFY(TVPLAY_StartConvertFile(&cr, qPrintable(path("long.h264")), qPrintable(path("long.mp4")), "") > 0);
        QTRY_COMPARE_WITH_TIMEOUT(done.result.load(), int64_t(0), 20000);
        QWidget w2;
        TestSink sink2(&w2);
        Messages msgs2;
        TVMessageReceiver r2 = msgs2.receiver();
        int mp4 = TVPLAY_OpenFilePlay(&r2, qPrintable(path("long.mp4")), sink2.wid(), 0, 0);
        QVERIFY(mp4 > 0);
        QCOMPARE(TVPLAY_SetPlaySpeed(mp4, 3), 0);
        QCOMPARE(TVPLAY_Play(mp4), 0);
        QTRY_VERIFY_WITH_TIMEOUT(sink2.images.size() >= 10, 5000);
        QCOMPARE(decodedSize(mp4), QSize(176, 144));
        QCOMPARE(sink2.images.last().size(), w2.size());  // made at the window's size
        QCOMPARE(TVPLAY_SetPlayPosition(mp4, 90), 0);
        QTRY_COMPARE_WITH_TIMEOUT(msgs2.count(EUIMSG_PLAY_STOP), 1, 10000);
        QCOMPARE(TVPLAY_Stop(mp4), 0);
    }

    // An MP4 made by another program, with pictures far larger than a
    // recorder's frames (lossless 1080p).
    void playsForeignMp4WithLargePictures()
    {
        const QString mp4 = path("foreign.mp4");
        const QString cmd = QString("ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25,noise=alls=40:allf=t -t 0.4 "
                                    "-c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p '%1'")
                                .arg(mp4);
        if (std::system(qPrintable(cmd)) != 0)
            QSKIP("ffmpeg cannot make the MP4");
        QVERIFY(QFileInfo(mp4).size() > 10 * 512000);  // frames above the recording limit
        QWidget w;
        TestSink sink(&w);
        Messages msgs;
        TVMessageReceiver r = msgs.receiver();
        int port = TVPLAY_OpenFilePlay(&r, QFile::encodeName(mp4).constData(), sink.wid(), 0, 0);
        QVERIFY(port > 0);
        // Frame by frame: a machine too slow for lossless 1080p in real time
        // (a sanitizer) would otherwise rightly pass over pictures.
        QCOMPARE(TVPLAY_Pause(port, 1), 0);
        QCOMPARE(TVPLAY_Play(port), 0);
        for (int i = 1; i <= 10; ++i) {
            QCOMPARE(TVPLAY_PlayNextFrame(port), 0);
            QTRY_COMPARE_WITH_TIMEOUT(sink.images.size(), i, 20000);
        }
        QCOMPARE(TVPLAY_Pause(port, 0), 0);
        QTRY_COMPARE_WITH_TIMEOUT(msgs.count(EUIMSG_PLAY_STOP), 1, 20000);
        TVPlayStats st{};
        QCOMPARE(TVPLAY_GetPlayStats(port, &st), 0);
        QCOMPARE(st.nDecoded, uint64_t(10));
        QCOMPARE(QSize(st.nWidth, st.nHeight), QSize(1920, 1080));
        QTRY_VERIFY(!sink.images.isEmpty());
        QCOMPARE(sink.images.last().size(), w.size());
        QCOMPARE(TVPLAY_Stop(port), 0);
    }

    void h265StreamRenders()
    {
        testmedia::Recording hevc = make(320, 240, 1.2, false, testmedia::Codec::H265);
        QVERIFY2(hevc.error.empty(), hevc.error.c_str());
        QWidget w;
        TestSink sink(&w);
        Messages msgs;
        TVMessageReceiver r = msgs.receiver();
        int port = TVPLAY_OpenPlay(&r, sink.wid(), 100, 0, 0);
        // Frame by frame, so that every picture is shown however busy the
        // machine is.
        QCOMPARE(TVPLAY_Pause(port, 1), 0);
        QCOMPARE(TVPLAY_Play(port), 0);
        const Frames frames = split(hevc.data);
        pushAll(port, frames);
        for (int i = 1; i <= videoCount(frames); ++i) {
            QCOMPARE(TVPLAY_PlayNextFrame(port), 0);
            QTRY_COMPARE_WITH_TIMEOUT(sink.images.size(), i, 20000);  // a sanitizer on a busy machine
            if (i > 1)
                QVERIFY(sink.images[i - 1] != sink.images[i - 2]);
        }
        QCOMPARE(sink.images.size(), 30);
        QCOMPARE(decodedSize(port), QSize(320, 240));
        QCOMPARE(sink.images.last().size(), w.size());
        TVPLAY_Stop(port);
    }

    // Garbage, truncated and orphaned frames: refused or decoded as well as
    // they go, never a crash; the good frames after them still play.
    void damagedDataAndStopFromTheEndMessage()
    {
        QWidget w;
        TestSink sink(&w);
        Messages msgs;
        msgs.stopOnEnd = true;
        TVMessageReceiver r = msgs.receiver();
        int port = TVPLAY_OpenPlay(&r, sink.wid(), 100, 0, 0);
        QCOMPARE(TVPLAY_SetPlaySpeed(port, 3), 0);
        QCOMPARE(TVPLAY_Play(port), 0);
        const uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        QVERIFY(TVPLAY_PushMediaData(port, junk, sizeof junk) < 0);
        QVERIFY(TVPLAY_PushMediaData(port, nullptr, 100) < 0);
        QVERIFY(TVPLAY_PushMediaData(port, junk, -1) < 0);
        // Frames of a group whose key frame never came, then every frame cut in half.
        for (size_t i = 1; i < 20; ++i)
            TVPLAY_PushMediaData(port, m_frames[i].data(), int(m_frames[i].size()));
        for (const auto &f : m_frames)
            TVPLAY_PushMediaData(port, f.data(), int(f.size() / 2));
        pushAll(port, m_frames);
        QCOMPARE(TVPLAY_ForcePlayEnd(port), 0);
        // The handler of the end message closes the port from the port's own thread.
        QTRY_COMPARE_WITH_TIMEOUT(msgs.count(EUIMSG_PLAY_STOP), 1, 10000);
        QTRY_VERIFY(TVPLAY_Pause(port, 1) < 0);
        QVERIFY2(sink.images.size() >= 10, QByteArray::number(sink.images.size()));
        QCOMPARE(sink.images.last().size(), w.size());
    }

    void soundFailsCleanlyWithoutDevice()
    {
        QWidget w;
        TestSink sink(&w);
        Messages msgs;
        TVMessageReceiver r = msgs.receiver();
        int port = TVPLAY_OpenPlay(&r, sink.wid(), 100, 0, 0);
        QCOMPARE(TVPLAY_Play(port), 0);
        const int sound = TVPLAY_PlaySound(port);
        // Either the machine has a device (and the message says so) or the
        // call fails; play goes on in both cases.
        QCOMPARE(msgs.count(EUIMSG_PLAY_SOUND), sound >= 0 ? 1 : 0);
        pushAll(port, m_frames);
        QTRY_VERIFY(sink.images.size() >= 10);
        QCOMPARE(TVPLAY_StopSound(port), 0);
        QVERIFY(TVPLAY_PlaySound(987654) < 0);
        TVPLAY_Stop(port);
    }

    // A window nobody attached to is painted by the library itself.
    void paintsWidgetsWithoutASink()
    {
        QWidget w;
        w.resize(200, 150);
        w.setAutoFillBackground(true);
        QPalette pal = w.palette();
        pal.setColor(QPalette::Window, Qt::magenta);
        w.setPalette(pal);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Messages msgs;
        TVMessageReceiver r = msgs.receiver();
        int port = TVPLAY_OpenPlay(&r, uint64_t(w.winId()), 100, 0, 0);
        QCOMPARE(TVPLAY_Play(port), 0);
        pushAll(port, m_frames);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QImage shot = w.grab().toImage();
                return shot.pixelColor(100, 75) != QColor(Qt::magenta);
            }(),
            5000);
        QCOMPARE(TVPLAY_Stop(port), 0);
        QTRY_VERIFY_WITH_TIMEOUT(w.grab().toImage().pixelColor(100, 75) == QColor(Qt::magenta), 2000);
    }

    void stopReturnsPromptlyAtTheSlowestSpeed()
    {
        QWidget w;
        TestSink sink(&w);
        Messages msgs;
        TVMessageReceiver r = msgs.receiver();
        int port = TVPLAY_OpenPlay(&r, sink.wid(), 100, 0, 0);
        QCOMPARE(TVPLAY_SetPlaySpeed(port, -4), 0);
        QCOMPARE(TVPLAY_Play(port), 0);
        pushAll(port, m_frames);
        QTRY_COMPARE(sink.images.size(), 1);
        QElapsedTimer t;
        t.start();
        QCOMPARE(TVPLAY_Stop(port), 0);
        QVERIFY(t.elapsed() < 2000);
        for (auto call : {TVPLAY_Play, TVPLAY_ForcePlayEnd, TVPLAY_PlayNextFrame, TVPLAY_PlayPreviousFrame,
                          TVPLAY_StopSound, TVPLAY_StopRecordData})
            QVERIFY(call(port) < 0);
    }
};

QTEST_MAIN(TstPlayPort)
#include "tst_play_port.moc"
