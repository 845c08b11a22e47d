#include "media/decode/DecoderThreads.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>

namespace media {

namespace {

std::atomic<int> g_playing{0};

// Pictures up to this many samples decode in real time on one core.
constexpr int64_t kOneCorePixels = 1920 * 1088;
// Slice threads gain little beyond this many, and the conversion and the
// sound need a core too.
constexpr int kMaxThreads = 4;

}  // namespace

PlayingPort::PlayingPort()
{
    g_playing++;
}

PlayingPort::~PlayingPort()
{
    g_playing--;
}

int ports_playing()
{
    return g_playing.load();
}

int decoder_threads(int width, int height, bool splittable, int ports, int cores)
{
    if (!splittable || int64_t(width) * height <= kOneCorePixels)
        return 1;
    return std::max(1, std::min(kMaxThreads, std::max(1, cores) / std::max(1, ports)));
}

int decoder_threads(int width, int height, bool splittable)
{
    return decoder_threads(width, height, splittable, ports_playing(), int(std::thread::hardware_concurrency()));
}

}  // namespace media
