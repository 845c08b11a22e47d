// The picture a simulated camera shows: a tinted background per channel, a
// bar that moves with the frame number, and in large digits the channel,
// the date and the time of day, so that synchronous play of several
// channels can be checked by eye.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkdisk {

// A YUV 4:2:0 picture (planes Y, U, V one after the other).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y, u, v;
};

Picture make_picture(int width, int height);

// Draws the channel's picture for one frame: `lines` are the text lines
// (e.g. "CH 01", "2024-05-01", "10:00:05"), `frame` the frame number within
// its second (moves the bar), `channel` picks the tint.
void draw_picture(Picture *pic, int channel, const std::vector<std::string> &lines, int frame, int frames_per_second);

// Adds sensor noise as a camera's picture has it, different in every frame
// (`seed`): a flat synthetic picture costs an encoder almost nothing, noise
// makes it spend its bits as on real video.
void add_grain(Picture *pic, uint32_t seed);

}  // namespace mkdisk
