// Lets go of a decoded picture's memory lines in this processor's caches
// once the picture has been read on a thread other than its decoder's.
//
// A decoder writes each new picture into a buffer it had before, and a
// buffer that another core has just read is shared with that core's caches:
// every line the decoder then writes must first be taken back from there, a
// round trip between the cores for each of the 50,000 lines of a 1080p
// picture. Pushing the lines out after reading (they are written back to
// memory, and the decoder's next write finds them as it would alone) costs
// the reading core far less than those round trips cost the decoder.
#pragma once

struct AVFrame;

namespace media {

// Every plane of frame, row by row (a no-op where the processor cannot).
void release_from_cache(const AVFrame *frame);

}  // namespace media
