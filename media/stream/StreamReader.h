// StreamReader: splits raw recording bytes into frames.
//
// Bytes are pushed in pieces of any size; each call for the next frame returns
// one complete frame (header included) or null when more bytes are needed.
// Bytes that are not a frame start are skipped one at a time, so garbage,
// half-written or truncated frames are stepped over and the reader picks the
// stream up again at the next frame header.
//
// Every frame is tagged with the date, time and frame rate of the key frame
// that opened its group of pictures; frames before the first key frame carry
// year 0 and frame rate 0. Video frames (0xFC and 0xFD) are type 1, audio
// frames (0xFA) type 2.
//
// C-style interface: create, push, next frame, destroy. The returned record
// and the bytes it points to belong to the reader and stay valid until the
// next call on the same reader. A reader is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

enum : uint32_t {
    STREAM_FRAME_VIDEO = 1,
    STREAM_FRAME_AUDIO = 2,
};

// Frame record. The offsets of the fields are fixed (see the static_asserts
// in StreamReader.cpp): callers may read it as a plain record.
struct StreamFrame {
    const uint8_t *pData;     //  0: the whole frame, header included
    uint64_t nReserved0;      //  8
    uint32_t nLength;         // 16: bytes at pData
    uint32_t nReserved1;      // 20
    uint32_t nType;           // 24: STREAM_FRAME_VIDEO or STREAM_FRAME_AUDIO
    uint32_t nReserved2[2];   // 28
    uint32_t nYear;           // 36: 0 = no time (before the first key frame)
    uint32_t nMonth;          // 40
    uint32_t nDay;            // 44
    uint32_t nHour;           // 48
    uint32_t nMinute;         // 52
    uint32_t nSecond;         // 56
    uint32_t nReserved3;      // 60
    uint32_t nFrameRate;      // 64: of the opening key frame, 0 if none yet
    uint32_t nKeyFrame;       // 68: 1 for a key frame itself
    uint32_t nPackedTime;     // 72: the group's packed time (0 = none)
    uint32_t nMuLaw;          // 76: audio frames: 1 = mu-law, 0 = A-law
};

typedef struct StreamReaderState *StreamReaderHandle;

// New reader; never null unless memory runs out.
StreamReaderHandle StreamReader_Create();
// Appends raw bytes. Returns 0, or -1 for a null handle or a null pointer
// with a non-zero length.
int StreamReader_PushData(StreamReaderHandle h, const uint8_t *data, size_t length);
// The next complete frame, or null when more data is needed.
const StreamFrame *StreamReader_GetNextFrame(StreamReaderHandle h);
// Number of bytes pushed but not yet returned as frames or skipped.
size_t StreamReader_Pending(StreamReaderHandle h);
// Frees the reader; null is ignored.
void StreamReader_Destroy(StreamReaderHandle h);
