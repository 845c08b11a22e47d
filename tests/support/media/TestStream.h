// Test recordings made of real encoded video.
//
// makeRecording() encodes a moving test picture with libavcodec (libx264 or
// libx265) and wraps it the way a recorder stores it on disk:
//
//   00 00 01 FC  key frame, 16-byte header: byte 5 frame rate, bytes 8-11 the
//                packed local time (wfs_time), bytes 12-15 payload length
//   00 00 01 FD  other video frame, 8-byte header: bytes 4-7 payload length
//   00 00 01 FA  audio frame, 8-byte header: byte 4 encoding (1 = G.711 mu-law,
//                anything else A-law), bytes 6-7 payload length
//
// Every group of pictures is one second long and opens with a key frame that
// carries the time of that second, so a recording of N seconds holds N key
// frames stamped start, start + 1 s, ... Sound, when asked for, is an 8 kHz
// G.711 sine tone cut into one audio frame after each video frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testmedia {

enum class Codec { H264, H265 };

struct StreamParams {
    int width = 352;
    int height = 288;
    int fps = 25;
    double seconds = 2.0;         // length; whole frames are rounded down
    uint32_t startTime = 0;       // packed time of the first key frame; 0 = 2023-05-01 10:00:00
    bool audio = false;           // add G.711 audio frames
    bool muLaw = false;           // mu-law instead of A-law
    Codec codec = Codec::H264;
    int gopSeconds = 1;           // seconds between key frames
    int bitrate = 0;              // bits per second for the encoder; 0 = its default quality
    bool noise = false;           // grain that changes every frame, like a camera's sensor noise
};

struct Recording {
    std::vector<uint8_t> data;    // the recording bytes, frame after frame
    int videoFrames = 0;
    int keyFrames = 0;
    int audioFrames = 0;
    std::vector<uint32_t> keyTimes;  // packed time of each key frame, in order
    std::string error;            // set when encoding failed (data is then empty)
};

// Encodes and wraps a recording. On failure data is empty and error says why.
Recording makeRecording(const StreamParams &params);

// Packs a local date and time the way the recorder does:
// bits 31-26 year - 2000, 25-22 month, 21-17 day, 16-12 hour, 11-6 minute, 5-0 second.
uint32_t packTime(int year, int month, int day, int hour, int minute, int second);

// The packed time s seconds later (calendar arithmetic, no time zones involved).
uint32_t addSeconds(uint32_t packed, int64_t s);

// Writes bytes to a file; false on any failure.
bool writeFile(const std::string &path, const std::vector<uint8_t> &bytes);

// Reads a whole file; empty on failure.
std::vector<uint8_t> readFile(const std::string &path);

}  // namespace testmedia
