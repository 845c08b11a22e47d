// How many threads a play port's decoder gets.
//
// Sixteen windows share the machine, so as a rule every decoder runs on one
// thread and the ports play side by side. Only when few ports play and one
// stream is more than a core can decode in real time (a single window of 4K)
// does its decoder get more: the machine's cores shared among the ports
// playing. One core decodes 1080p of real recorder bit rates at about 150
// pictures a second, so pictures up to 1920x1088 always stay on one thread.
//
// The threads are slice threads, which work on parts of the same picture:
// an H.265 picture is split into rows (wavefronts) or tiles by its encoder
// as a rule, an H.264 picture only when it has several slices. Frame threads
// would hold every picture back by a frame per thread, and a port must show
// the very picture of the frame it decoded (a single step, a step back).
// A stream whose pictures cannot be split stays on one thread: more would
// only wait.
#pragma once

namespace media {

// Held by a port while its play thread runs.
class PlayingPort {
public:
    PlayingPort();
    ~PlayingPort();
    PlayingPort(const PlayingPort &) = delete;
    PlayingPort &operator=(const PlayingPort &) = delete;
};

// Ports whose play thread runs now.
int ports_playing();

// Threads for one stream of width x height pictures whose pictures can
// (splittable) or cannot be decoded in parts, while `ports` ports play on a
// machine of `cores` cores.
int decoder_threads(int width, int height, bool splittable, int ports, int cores);

// The same for this machine and the ports playing now.
int decoder_threads(int width, int height, bool splittable);

}  // namespace media
