#include "picture.h"

#include <algorithm>
#include <cstring>

namespace mkdisk {

namespace {

// 5 x 7 glyphs, one byte per row, bit 4 the leftmost column.
struct Glyph {
    char ch;
    uint8_t rows[7];
};

const Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}}, {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {' ', {0, 0, 0, 0, 0, 0, 0}},
};

const Glyph *glyph(char c)
{
    for (const Glyph &g : kGlyphs) {
        if (g.ch == c)
            return &g;
    }
    return &kGlyphs[sizeof kGlyphs / sizeof kGlyphs[0] - 1];
}

void fill_rect(Picture *p, int x0, int y0, int w, int h, uint8_t luma)
{
    int x1 = std::min(p->width, x0 + w), y1 = std::min(p->height, y0 + h);
    for (int y = std::max(0, y0); y < y1; ++y)
        std::memset(&p->y[size_t(y) * p->width + std::max(0, x0)], luma, size_t(x1 - std::max(0, x0)));
}

// Draws text with its top left corner at (x, y), each glyph pixel a
// scale x scale block, with a dark outline so that it reads on any
// background.
void draw_text(Picture *p, const std::string &text, int x, int y, int scale)
{
    for (int pass = 0; pass < 2; ++pass) {
        int cx = x;
        for (char c : text) {
            const Glyph *g = glyph(c);
            for (int row = 0; row < 7; ++row) {
                for (int col = 0; col < 5; ++col) {
                    if (!(g->rows[row] & (0x10 >> col)))
                        continue;
                    int px = cx + col * scale, py = y + row * scale;
                    if (pass == 0)
                        fill_rect(p, px - 2, py - 2, scale + 4, scale + 4, 16);
                    else
                        fill_rect(p, px, py, scale, scale, 235);
                }
            }
            cx += 6 * scale;
        }
    }
}

}  // namespace

Picture make_picture(int width, int height)
{
    Picture p;
    p.width = width;
    p.height = height;
    p.y.assign(size_t(width) * height, 0);
    p.u.assign(size_t(width / 2) * (height / 2), 128);
    p.v.assign(size_t(width / 2) * (height / 2), 128);
    return p;
}

void draw_picture(Picture *p, int channel, const std::vector<std::string> &lines, int frame, int frames_per_second)
{
    // Background: a vertical gradient; the tint tells the channels apart.
    for (int y = 0; y < p->height; ++y)
        std::memset(&p->y[size_t(y) * p->width], 60 + (y * 80) / std::max(1, p->height), size_t(p->width));
    static const uint8_t tint_u[] = {160, 96, 128, 170, 90, 140, 110, 150};
    static const uint8_t tint_v[] = {100, 150, 170, 128, 110, 90, 160, 140};
    std::fill(p->u.begin(), p->u.end(), tint_u[channel % 8]);
    std::fill(p->v.begin(), p->v.end(), tint_v[channel % 8]);

    // A bar that crosses the picture once a second.
    int fps = std::max(1, frames_per_second);
    int bar_w = std::max(8, p->width / 16);
    int bx = (p->width - bar_w) * (frame % fps) / std::max(1, fps - 1);
    fill_rect(p, bx, p->height - p->height / 10, bar_w, p->height / 12, 200);

    // The text, as large as the width allows.
    size_t longest = 1;
    for (const std::string &l : lines)
        longest = std::max(longest, l.size());
    int scale = std::max(1, std::min(p->width / int(longest * 6 + 2), p->height / int(lines.size() * 9 + 2)));
    int line_h = 9 * scale;
    int y = (p->height - int(lines.size()) * line_h) / 2;
    for (const std::string &l : lines) {
        int w = int(l.size()) * 6 * scale;
        draw_text(p, l, (p->width - w) / 2, y, scale);
        y += line_h;
    }
}

void add_grain(Picture *p, uint32_t seed)
{
    uint32_t x = seed ? seed : 0x9E3779B9u;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    // Luma: the sum of two uniform values, roughly bell-shaped, +-12 at
    // most; chroma a third of it.
    auto noisy = [&](std::vector<uint8_t> &plane, int spread) {
        for (uint8_t &v : plane) {
            const uint32_t r = next();
            const int n = int(((r & 0xFF) * uint32_t(spread + 1)) >> 8) +
                          int((((r >> 8) & 0xFF) * uint32_t(spread + 1)) >> 8) - spread;
            v = uint8_t(std::min(255, std::max(0, int(v) + n)));
        }
    };
    noisy(p->y, 12);
    noisy(p->u, 4);
    noisy(p->v, 4);
}

}  // namespace mkdisk
