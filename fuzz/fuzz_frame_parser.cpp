// The frame parser on arbitrary bytes, pushed in pieces whose sizes the
// input chooses. Every frame handed out must lie inside what was pushed,
// start with a frame start code, and the reader must never hold more bytes
// than were pushed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <cstdio>
#include <string>
#include <vector>

#include "media/stream/StreamReader.h"
#include "tests/support/image/frame_stream.h"
#include "tests/support/image/packed_time.h"

namespace {

// Seeds: two groups of pictures with audio between, pushed whole and in
// 7-byte pieces.
void write_seeds(const char *dir)
{
    testimg::FrameWriter w;
    std::vector<uint8_t> payload(300);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(i * 7);
    for (int g = 0; g < 2; ++g) {
        w.key_frame(testimg::pack_time(2024, 5, 1, 10, 0, g), 25, payload.data(), payload.size());
        w.audio_frame(payload.data(), 160);
        w.video_frame(payload.data(), 120);
        w.video_frame(payload.data(), 40);
    }
    const uint8_t pieces[2] = {0, 7};
    for (uint8_t piece : pieces) {
        std::string path = std::string(dir) + "/seed_" + std::to_string(piece);
        if (FILE *f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(&piece, 1, 1, f);
            std::fwrite(w.bytes().data(), 1, w.bytes().size(), f);
            std::fclose(f);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (const char *dir = std::getenv("ORVELLE_FUZZ_SEED_DIR")) {
        write_seeds(dir);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // First byte: the piece size (1..256, or the whole rest when 0).
    const size_t piece = data[0] ? data[0] : size;
    data += 1;
    size -= 1;
    StreamReaderHandle h = StreamReader_Create();
    if (!h)
        return 0;
    size_t pushed = 0, taken = 0;
    for (size_t at = 0; at < size;) {
        const size_t n = std::min(piece, size - at);
        if (StreamReader_PushData(h, data + at, n) != 0)
            std::abort();
        at += n;
        pushed += n;
        while (const StreamFrame *f = StreamReader_GetNextFrame(h)) {
            if (!f->pData || f->nLength < 4 || f->nLength > pushed - taken)
                std::abort();
            if (f->pData[0] != 0 || f->pData[1] != 0 || f->pData[2] != 1)
                std::abort();
            if (f->nType != STREAM_FRAME_VIDEO && f->nType != STREAM_FRAME_AUDIO)
                std::abort();
            // Touch every byte so that ASan sees a frame that runs past its buffer.
            volatile uint8_t sum = 0;
            for (uint32_t i = 0; i < f->nLength; ++i)
                sum = sum + f->pData[i];
            (void)sum;
            taken += f->nLength;
        }
        if (StreamReader_Pending(h) > pushed)
            std::abort();
    }
    StreamReader_Destroy(h);
    return 0;
}
