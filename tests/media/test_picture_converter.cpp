// The conversion of decoded pictures to the images windows show: sizes and
// display regions on real decoded H.264, filtering when a picture shrinks, and
// pooled buffers that are never written while someone holds them.
#include "media/decode/VideoDecoder.h"
#include "media/render/CacheRelease.h"
#include "media/render/FramePresenter.h"
#include "media/render/PictureConverter.h"
#include "media/stream/StreamReader.h"
#include "tests/support/media/TestStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace {

struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

// The decoded pictures of a real recording, each a reference of its own.
std::vector<FramePtr> decodedPictures(int w, int h, double seconds)
{
    std::vector<FramePtr> out;
    testmedia::StreamParams p;
    p.width = w;
    p.height = h;
    p.seconds = seconds;
    testmedia::Recording rec = testmedia::makeRecording(p);
    if (!rec.error.empty())
        return out;
    media::VideoDecoder dec;
    StreamReaderHandle r = StreamReader_Create();
    StreamReader_PushData(r, rec.data.data(), rec.data.size());
    while (const StreamFrame *f = StreamReader_GetNextFrame(r)) {
        if (f->nType != STREAM_FRAME_VIDEO)
            continue;
        const size_t head = f->nKeyFrame ? 16 : 8;
        if (dec.decode(f->pData + head, f->nLength - head))
            out.emplace_back(av_frame_clone(dec.picture()));
    }
    StreamReader_Destroy(r);
    return out;
}

double meanDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 255;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const QRgb *q = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(qRed(p[x]) - qRed(q[x])) + std::abs(qGreen(p[x]) - qGreen(q[x])) +
                   std::abs(qBlue(p[x]) - qBlue(q[x]));
    }
    return sum / (3.0 * a.width() * a.height());
}

}  // namespace

TEST(PictureConverter, MakesTheSizeAskedForFromTheRegionAskedFor)
{
    std::vector<FramePtr> pics = decodedPictures(352, 288, 0.2);
    ASSERT_FALSE(pics.empty());
    const AVFrame *f = pics.back().get();
    media::PictureConverter conv;
    const QImage whole = conv.convert(f);
    ASSERT_EQ(whole.size(), QSize(352, 288));

    // Any window size, from a single pixel to one larger than the picture.
    for (QSize size : {QSize(1, 1), QSize(3, 5), QSize(176, 144), QSize(422, 233), QSize(703, 577), QSize(1408, 1152)}) {
        const QImage img = conv.convert(f, size);
        EXPECT_EQ(img.size(), size);
        EXPECT_EQ(img.format(), QImage::Format_RGB32);
    }
    // A region at its own size is that part of the whole picture, odd
    // corners included; one reaching past the edge is clipped to it.
    struct Case {
        QRect source, expect;
    } cases[] = {
        {QRect(176, 144, 176, 144), QRect(176, 144, 176, 144)},
        {QRect(35, 17, 101, 77), QRect(35, 17, 101, 77)},
        {QRect(300, 250, 52, 38), QRect(300, 250, 52, 38)},
        {QRect(300, 250, 100, 100), QRect(300, 250, 52, 38)},
        {QRect(0, 0, 1, 288), QRect(0, 0, 1, 288)},
        {QRect(400, 300, 10, 10), QRect(0, 0, 352, 288)},  // outside: the whole picture
    };
    for (const Case &c : cases) {
        const QImage part = conv.convert(f, QSize(), c.source);
        ASSERT_EQ(part.size(), c.expect.size()) << c.source.x() << "," << c.source.y();
        EXPECT_LT(meanDifference(part, whole.copy(c.expect)), 3.0) << c.source.x() << "," << c.source.y();
    }
    // Scaled: the same part, stretched over the size asked for.
    const QImage zoomed = conv.convert(f, QSize(352, 288), QRect(35, 17, 101, 77));
    const QImage reference =
        whole.copy(35, 17, 101, 77).scaled(352, 288, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_LT(meanDifference(zoomed, reference), 4.0);
    EXPECT_GT(meanDifference(zoomed, whole.copy(45, 17, 101, 77).scaled(352, 288)), 10.0);

    EXPECT_EQ(media::PictureConverter::regionRect(8192, 8192, 4096, 4096, 8192, 352, 288), QRect(176, 144, 176, 144));
    EXPECT_EQ(media::PictureConverter::regionRect(0, 0, 0, 0, 8192, 352, 288), QRect(0, 0, 352, 288));
    EXPECT_EQ(media::PictureConverter::regionRect(-50, 9000, 100000, 4096, 8192, 352, 288), QRect(0, 144, 352, 144));
}

// A picture of fine lines, shrunk four times, is grey: every line counts. A
// point-sampled picture keeps whole lines black or white (what looks jagged).
TEST(PictureConverter, ShrinksSmoothly)
{
    FramePtr f(av_frame_alloc());
    f->format = AV_PIX_FMT_YUV420P;
    f->width = 1920;
    f->height = 1080;
    ASSERT_EQ(av_frame_get_buffer(f.get(), 0), 0);
    for (int y = 0; y < f->height; ++y)
        std::memset(f->data[0] + y * f->linesize[0], (y % 2) ? 235 : 16, size_t(f->width));
    for (int y = 0; y < f->height / 2; ++y) {
        std::memset(f->data[1] + y * f->linesize[1], 128, size_t(f->width / 2));
        std::memset(f->data[2] + y * f->linesize[2], 128, size_t(f->width / 2));
    }
    media::PictureConverter conv;
    const QImage img = conv.convert(f.get(), QSize(422, 233));
    ASSERT_EQ(img.size(), QSize(422, 233));
    int lo = 255, hi = 0;
    for (int y = 1; y < img.height() - 1; ++y) {
        const int v = qGray(img.pixel(img.width() / 2, y));
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_GT(lo, 100);
    EXPECT_LT(hi, 155);
}

// A full-range picture (as some recorders' JPEG-range H.264 decodes) keeps
// its range whichever scaler makes the window's image: luma 16 is a dark
// grey, not black; and an HD picture in a single window is the same picture
// as in a grid window and at its own size.
TEST(PictureConverter, KeepsTheRangeAndThePictureAtEverySize)
{
    for (AVPixelFormat fmt : {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV420P}) {
        FramePtr f(av_frame_alloc());
        f->format = fmt;
        f->width = 1920;
        f->height = 1080;
        ASSERT_EQ(av_frame_get_buffer(f.get(), 0), 0);
        // Left half luma 16, right half 200; grey chroma.
        for (int y = 0; y < f->height; ++y) {
            std::memset(f->data[0] + y * f->linesize[0], 16, size_t(f->width / 2));
            std::memset(f->data[0] + y * f->linesize[0] + f->width / 2, 200, size_t(f->width / 2));
        }
        for (int y = 0; y < f->height / 2; ++y) {
            std::memset(f->data[1] + y * f->linesize[1], 128, size_t(f->width / 2));
            std::memset(f->data[2] + y * f->linesize[2], 128, size_t(f->width / 2));
        }
        media::PictureConverter conv;
        const int dark = fmt == AV_PIX_FMT_YUVJ420P ? 16 : 0;
        const int light = fmt == AV_PIX_FMT_YUVJ420P ? 200 : 214;  // (200 - 16) * 255 / 219
        for (QSize size : {QSize(1280, 720), QSize(1917, 1079), QSize(422, 233), QSize(1920, 1080)}) {
            SCOPED_TRACE(testing::Message() << av_get_pix_fmt_name(fmt) << " " << size.width() << "x"
                                            << size.height());
            const QImage img = conv.convert(f.get(), size);
            ASSERT_EQ(img.size(), size);
            for (int y : {0, size.height() / 2, size.height() - 1}) {
                EXPECT_NEAR(qGray(img.pixel(2, y)), dark, 2);
                EXPECT_NEAR(qGray(img.pixel(size.width() - 3, y)), light, 2);
            }
        }
    }
}

// The pool hands out a buffer again only when nobody else holds it.
TEST(PictureConverter, NeverWritesAnImageSomeoneHolds)
{
    std::vector<FramePtr> pics = decodedPictures(176, 144, 0.4);
    ASSERT_GE(pics.size(), size_t(8));
    media::PictureConverter conv;
    std::vector<QImage> held, copies;
    for (const FramePtr &p : pics) {
        held.push_back(conv.convert(p.get(), QSize(100, 80)));
        copies.push_back(held.back().copy());
        if (held.size() > 6) {  // a window lets go of older pictures
            held.erase(held.begin());
            copies.erase(copies.begin());
        }
    }
    for (size_t i = 0; i < held.size(); ++i)
        EXPECT_EQ(held[i], copies[i]) << i;
}

// The presenter shows the region at the size given and keeps the whole
// decoded picture for a capture.
TEST(FramePresenter, CapturesTheWholePictureWhateverItShows)
{
    std::vector<FramePtr> pics = decodedPictures(352, 288, 0.2);
    ASSERT_FALSE(pics.empty());
    media::FramePresenter presenter(nullptr, true);
    EXPECT_TRUE(presenter.lastImage(0).isNull());
    presenter.setFallbackSize(QSize(120, 90));
    TVRect quarter{0, 0, 4096, 4096};
    presenter.setRegion(&quarter);
    presenter.submit(pics.back().get());
    presenter.waitIdle();
    EXPECT_EQ(presenter.converted(), 1u);
    const QImage shot = presenter.lastImage(1000);
    ASSERT_EQ(shot.size(), QSize(352, 288));
    media::PictureConverter conv;
    EXPECT_LT(meanDifference(shot, conv.convert(pics.back().get())), 1.0);
}

// Once pictures are made at another size (the window was resized, or its
// size became known after the first pictures), the pool lets go of the
// buffers of the old size instead of keeping them for good.
TEST(PictureConverter, LetsGoOfBuffersOfAnotherSize)
{
    std::vector<FramePtr> pics = decodedPictures(352, 288, 0.3);
    ASSERT_GE(pics.size(), size_t(4));
    media::PictureConverter conv;
    QImage fullSize = conv.convert(pics[0].get());
    ASSERT_EQ(fullSize.size(), QSize(352, 288));
    EXPECT_FALSE(fullSize.isDetached());  // the pool holds it too
    const QImage small = conv.convert(pics[1].get(), QSize(120, 90));
    EXPECT_EQ(small.size(), QSize(120, 90));
    EXPECT_TRUE(fullSize.isDetached());
    // Pictures at the new size still come from the pool.
    const uchar *bits = conv.convert(pics[2].get(), QSize(120, 90)).constBits();
    EXPECT_EQ(conv.convert(pics[3].get(), QSize(120, 90)).constBits(), bits);
}

// How many decoded pictures a presenter keeps alive: the shown one is let go
// as the next is handed over, and a picture the port decodes without showing
// it (catching up) takes the place of the shown one rather than joining it,
// so that a decoder never needs a third buffer because of the presenter.
TEST(FramePresenter, HoldsOnePictureBetweenHandOvers)
{
    std::vector<FramePtr> pics = decodedPictures(176, 144, 0.3);
    ASSERT_GE(pics.size(), size_t(3));
    auto holders = [](const FramePtr &p) { return av_buffer_get_ref_count(p->buf[0]); };
    media::FramePresenter presenter(nullptr, false);
    presenter.setFallbackSize(QSize(88, 72));
    presenter.submit(pics[0].get());
    presenter.waitIdle();
    EXPECT_EQ(holders(pics[0]), 2);  // the test's and the presenter's
    presenter.submit(pics[1].get());
    EXPECT_EQ(holders(pics[0]), 1);  // let go when the next was handed over
    presenter.waitIdle();
    presenter.passOver(pics[2].get());
    EXPECT_EQ(holders(pics[1]), 1);
    EXPECT_EQ(holders(pics[2]), 2);
    // A capture now takes the picture passed over, whole.
    const QImage shot = presenter.lastImage(1000);
    ASSERT_EQ(shot.size(), QSize(176, 144));
    media::PictureConverter conv;
    EXPECT_LT(meanDifference(shot, conv.convert(pics[2].get())), 1.0);
}

// Pushing a picture out of the caches after it was read must leave every
// byte of it as it was, stay inside its planes (a part of a picture has its
// plane pointers moved into the buffer; odd sizes round the chroma rows up)
// and pass over frames without a picture.
TEST(CacheRelease, LeavesPicturesAsTheyAre)
{
    auto checksum = [](const AVFrame *f) {
        const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(AVPixelFormat(f->format));
        uint64_t sum = 0;
        for (int p = 0; p < 3 && f->data[p]; ++p) {
            const int shift = p ? d->log2_chroma_h : 0;
            const int wshift = p ? d->log2_chroma_w : 0;
            const int rows = (f->height + (1 << shift) - 1) >> shift;
            const int cols = (f->width + (1 << wshift) - 1) >> wshift;
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < cols; ++x)
                    sum = sum * 131 + f->data[p][size_t(y) * size_t(f->linesize[p]) + size_t(x)];
        }
        return sum;
    };
    std::vector<FramePtr> pics = decodedPictures(352, 288, 0.2);
    ASSERT_FALSE(pics.empty());
    for (const FramePtr &pic : pics) {
        const uint64_t before = checksum(pic.get());
        media::release_from_cache(pic.get());
        EXPECT_EQ(checksum(pic.get()), before);
    }

    FramePtr part(av_frame_clone(pics.back().get()));
    ASSERT_TRUE(part);
    part->crop_left = 33;
    part->crop_top = 17;
    part->crop_right = 3;
    part->crop_bottom = 51;
    ASSERT_GE(av_frame_apply_cropping(part.get(), AV_FRAME_CROP_UNALIGNED), 0);
    const uint64_t partBefore = checksum(part.get());
    media::release_from_cache(part.get());
    EXPECT_EQ(checksum(part.get()), partBefore);

    FramePtr odd(av_frame_alloc());
    odd->format = AV_PIX_FMT_YUV420P;
    odd->width = 175;
    odd->height = 143;
    ASSERT_GE(av_frame_get_buffer(odd.get(), 1), 0);
    for (int p = 0; p < 3; ++p)
        for (int i = 0; i < odd->linesize[p] * (p ? 72 : 143); ++i)
            odd->data[p][i] = uint8_t(i * 7 + p);
    const uint64_t oddBefore = checksum(odd.get());
    media::release_from_cache(odd.get());
    EXPECT_EQ(checksum(odd.get()), oddBefore);
    // The rows a zoomed conversion read, an odd first row, and rows out of
    // the picture (clipped to it).
    media::release_from_cache(odd.get(), 17, 40);
    media::release_from_cache(odd.get(), 142, 1);
    media::release_from_cache(odd.get(), -5, 1000000);
    media::release_from_cache(odd.get(), 143, 10);
    media::release_from_cache(odd.get(), 50, 0);
    media::release_from_cache(odd.get(), 100, INT32_MAX);
    EXPECT_EQ(checksum(odd.get()), oddBefore);

    FramePtr empty(av_frame_alloc());
    media::release_from_cache(empty.get());
    media::release_from_cache(nullptr);
}
