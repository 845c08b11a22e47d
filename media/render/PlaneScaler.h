// Bilinear scaling of one 8-bit picture plane, for the sizes a single window
// shows: from half the picture's size up to any enlargement. Each window
// pixel is the two-by-two weighted mean of the picture pixels around its
// centre (6-bit weights), the same filter a graphics card applies.
//
// It does what libswscale's bilinear planar scaler does for these sizes in
// about a quarter of the time (bench/media/bench_media_decode): eight window
// pixels come out of one 16-byte load, one byte shuffle and one multiply-add,
// where the general scalers compute each pixel on its own. Smaller windows
// (a grid window of an HD picture) need a wider filter than two taps, which
// this does not do: `prepare` refuses them and the caller keeps libswscale's
// area averaging for those.
#pragma once

#include <cstdint>
#include <vector>

namespace media {

class PlaneScaler {
public:
    // Plans the scaling of a srcW x srcH plane to dstW x dstH. False (and
    // nothing planned) when this scaler does not take the sizes: shrinking
    // to less than half in either direction, a source narrower than 16
    // pixels, or sizes out of range.
    bool prepare(int srcW, int srcH, int dstW, int dstH);
    bool ready() const { return m_dstW > 0; }

    // Scales a plane of the prepared size: window rows [first, first +
    // rows) into dst (its first row is window row `first`), clipped to the
    // window. Reads only the srcW bytes of each of the srcH rows and writes
    // only dstW bytes of each row.
    void scale(const uint8_t *src, int srcStride, uint8_t *dst, int dstStride, int first, int rows);
    void scale(const uint8_t *src, int srcStride, uint8_t *dst, int dstStride)
    {
        scale(src, srcStride, dst, dstStride, 0, m_dstH);
    }

private:
    void scaleRow(const uint8_t *row, uint8_t *out) const;
    const uint8_t *blendRows(const uint8_t *a, const uint8_t *b, int weight);

    int m_srcW = 0, m_srcH = 0, m_dstW = 0, m_dstH = 0;
    // Horizontally, window pixels go in blocks of eight: each block reads
    // the 16 source bytes from `m_base`, picks a left and a right neighbour
    // for each of its pixels (`m_pick`, 16 per block) and weighs them
    // (`m_weight`, 16 per block, each pair adding up to 64).
    std::vector<int> m_base;
    std::vector<uint8_t> m_pick;
    std::vector<int8_t> m_weight;
    // Vertically, window row y mixes source rows m_row0[y] and m_row0[y]+1
    // (the last row with itself), the second weighted m_rowWeight[y] / 64.
    std::vector<int> m_row0;
    std::vector<uint8_t> m_rowWeight;
    std::vector<uint8_t> m_mixed;  // one blended source row
    bool m_simd = false;
};

}  // namespace media
