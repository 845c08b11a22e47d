// Little-endian loads and stores on byte pointers. Every multi-byte integer
// on a recorder disk is little-endian; records are decoded field by field
// from their byte offsets with these, never by overlaying a struct.
#pragma once

#include <cstdint>

inline uint16_t ld_16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t ld_32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t ld_64(const uint8_t *p)
{
    return static_cast<uint64_t>(ld_32(p)) | (static_cast<uint64_t>(ld_32(p + 4)) << 32);
}

inline void st_16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void st_32(uint8_t *p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline void st_64(uint8_t *p, uint64_t v)
{
    st_32(p, static_cast<uint32_t>(v));
    st_32(p + 4, static_cast<uint32_t>(v >> 32));
}
