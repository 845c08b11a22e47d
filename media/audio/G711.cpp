#include "media/audio/G711.h"

namespace media {

int16_t alaw_to_linear(uint8_t a)
{
    a ^= 0x55;  // even bits are inverted on the line
    int t = (a & 0x0F) << 4;
    int seg = (a & 0x70) >> 4;
    switch (seg) {
    case 0:
        t += 8;
        break;
    case 1:
        t += 0x108;
        break;
    default:
        t += 0x108;
        t <<= seg - 1;
        break;
    }
    return int16_t((a & 0x80) ? t : -t);
}

int16_t mulaw_to_linear(uint8_t u)
{
    u = uint8_t(~u);
    int t = ((u & 0x0F) << 3) + 0x84;  // mantissa plus bias
    t <<= (u & 0x70) >> 4;
    return int16_t((u & 0x80) ? (0x84 - t) : (t - 0x84));
}

void g711_decode(const uint8_t *in, size_t n, bool muLaw, int16_t *out)
{
    if (muLaw) {
        for (size_t i = 0; i < n; ++i)
            out[i] = mulaw_to_linear(in[i]);
    } else {
        for (size_t i = 0; i < n; ++i)
            out[i] = alaw_to_linear(in[i]);
    }
}

}  // namespace media
