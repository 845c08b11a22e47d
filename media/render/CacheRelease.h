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

// The picture's rows from `top` (in luma rows) on, `rows` of them (all to
// the bottom when negative), whole lines of every plane: only what a
// conversion of a part of the picture read, so that the rest stays in the
// decoder's caches for the pictures it predicts from it. A no-op where the
// processor cannot.
void release_from_cache(const AVFrame *frame, int top = 0, int rows = -1);

}  // namespace media
