// The C library allocator's settings for a process that plays many streams.
#pragma once

namespace media {

// Blocks of 128 KiB and more (key frames, decoder tables) get memory of
// their own from the system and give it back when freed. By default glibc
// raises that limit to the largest block freed so far, so after the first
// decoded picture nearly everything comes from its heaps, whose free space
// is not returned while smaller blocks around it live: with sixteen HD
// ports on the screen about 4 MB more stay resident. Whoever sets
// MALLOC_MMAP_THRESHOLD_ keeps their choice. Call once, before the ports
// start.
void tune_allocator();

}  // namespace media
