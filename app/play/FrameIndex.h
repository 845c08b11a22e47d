#ifndef ORVELLE_APP_PLAY_FRAMEINDEX_H
#define ORVELLE_APP_PLAY_FRAMEINDEX_H

// The frame index of a recording: one entry per key frame, built by scanning
// the raw recording data.
//
// Recording data is a sequence of frames, each starting 00 00 01 and a type
// byte (integers little-endian):
//   0xFC  video key frame, 16-byte header: byte 5 frame rate, bytes 8-11 the
//         packed time (wfs_time), bytes 12-15 payload length
//   0xFD  video frame, 8-byte header: bytes 4-7 payload length
//   0xFA  audio frame, 8-byte header: bytes 6-7 u16 payload length
// A frame length (header + payload) is valid from 5 to 512000 bytes. Bytes
// that do not start a frame are stepped over one at a time; a stretch without
// a frame start in the last 1023 bytes ends the data there.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct IndexEntry
{
    uint64_t nOffset = 0;    // byte offset of the frame header
    uint32_t nLength = 0;    // frame length including its header (0: closing entry)
    uint32_t nFrameNo = 0;   // video frames before this one
    uint32_t nFrameRate = 0; // frames per second (0: closing entry)
    uint32_t nTime = 0;      // packed time of the frame
};

enum : uint32_t {
    kFrameLengthMin = 5,
    kFrameLengthMax = 512000,
    // Scan chunk sizes: small pieces keep the disk lock short while channels
    // play in step; a lone channel reads 1 MiB at a time.
    kIndexChunkSync = 32768,
    kIndexChunk = 1048576,
    // More key frames than this (about 46 days at one per second) are
    // counted but not indexed, so hostile data cannot exhaust memory.
    kIndexEntriesMax = 4u * 1024u * 1024u,
};

// Reads up to n bytes at byte position pos into buf; returns the count read
// (0 at the end of the data or on an error).
typedef std::function<size_t(uint64_t pos, uint8_t* buf, size_t n)> IndexReadFunc;
// True when the scan must stop.
typedef std::function<bool()> IndexStopFunc;

struct FrameIndexResult
{
    std::vector<IndexEntry> entries; // key frames in file order, then a closing entry
    int64_t nDataLen = 0;            // usable length of the data
    uint32_t nFrameCount = 0;        // video frames counted
    uint32_t nFirstTime = 0;         // time of the first key frame
    uint32_t nLastTime = 0;          // computed time of the last frame
    bool bReady = false;             // a usable index was built
    bool bStopped = false;           // the scan was asked to stop
};

// Scans nDataLen bytes in chunks of nChunk bytes. The index is usable when it
// holds at least one key frame and the last one has a frame rate; the closing
// entry {data length, 0, frames, 0, end time} is then appended.
FrameIndexResult BuildFrameIndex(const IndexReadFunc& readAt, int64_t nDataLen, size_t nChunk,
                                 const IndexStopFunc& stopRequested);

// Seconds of day of a packed time.
uint32_t PackedSecondsOfDay(uint32_t nTime);

// Where a seek lands in an index: walking the entries in order, an entry whose
// key equals the target is taken and ends the walk, a higher one ends it, a
// lower one is taken and the walk goes on. The key is the frame number
// (bByFrame) or the seconds of day of the entry's time. Returns the position
// of the taken entry, or -1 when none was taken.
int FindSeekEntry(const std::vector<IndexEntry>& entries, bool bByFrame, uint32_t nTarget);

#endif
