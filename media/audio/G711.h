// G.711 sound (ITU-T G.711): 8-bit A-law or mu-law samples, 8 kHz mono.
#pragma once

#include <cstddef>
#include <cstdint>

namespace media {

constexpr int kG711SampleRate = 8000;

int16_t alaw_to_linear(uint8_t a);
int16_t mulaw_to_linear(uint8_t u);

// Decodes n samples into out (room for n samples).
void g711_decode(const uint8_t *in, size_t n, bool muLaw, int16_t *out);

}  // namespace media
