#include "media/bgrx_to_i420.h"

#include <algorithm>

namespace tovra {

namespace {

// BT.709 in video range, in 16-bit fixed point: Y = 16 + 219/255 (Kr R + Kg G + Kb B), the colour
// differences scaled to 224/255. Each chroma row sums to zero, so that grey stays at 128.
constexpr int kYr = 11966, kYg = 40254, kYb = 4064;
constexpr int kUr = -6596, kUg = -22188, kUb = 28784;
constexpr int kVr = 28784, kVg = -26145, kVb = -2639;

inline uint8_t Luma(const uint8_t* p) {
    return static_cast<uint8_t>((kYr * p[2] + kYg * p[1] + kYb * p[0] + (16 << 16) + (1 << 15)) >> 16);
}

// One pair of rows from x0 to x1 (even): four lumas and one pair of chromas per 2 x 2 block.
void ConvertRowPair(const uint8_t* top, const uint8_t* bottom, int x0, int x1, uint8_t* y0, uint8_t* y1, uint8_t* u,
                    uint8_t* v) {
    for (int x = x0; x < x1; x += 2) {
        const uint8_t* a = top + 4 * x;
        const uint8_t* c = bottom + 4 * x;
        y0[x] = Luma(a);
        y0[x + 1] = Luma(a + 4);
        y1[x] = Luma(c);
        y1[x + 1] = Luma(c + 4);
        const int b = a[0] + a[4] + c[0] + c[4];
        const int g = a[1] + a[5] + c[1] + c[5];
        const int r = a[2] + a[6] + c[2] + c[6];
        // The sums are four pixels' worth: two more bits to shift away.
        u[x / 2] = static_cast<uint8_t>((kUr * r + kUg * g + kUb * b + (128 << 18) + (1 << 17)) >> 18);
        v[x / 2] = static_cast<uint8_t>((kVr * r + kVg * g + kVb * b + (128 << 18) + (1 << 17)) >> 18);
    }
}

}  // namespace

void ConvertBgrxToI420(const uint8_t* bgrx, int stride, int width, int height, PixelRect part, const I420Planes& out) {
    const int x0 = std::max(0, part.x) & ~1;
    const int y0 = std::max(0, part.y) & ~1;
    const int x1 = std::min(width, (part.x + part.width + 1) & ~1);
    const int y1 = std::min(height, (part.y + part.height + 1) & ~1);
    for (int y = y0; y + 1 < y1; y += 2) {
        ConvertRowPair(bgrx + static_cast<long>(y) * stride, bgrx + static_cast<long>(y + 1) * stride, x0, x1,
                       out.y + static_cast<long>(y) * out.yStride, out.y + static_cast<long>(y + 1) * out.yStride,
                       out.u + static_cast<long>(y / 2) * out.uStride, out.v + static_cast<long>(y / 2) * out.vStride);
    }
}

}  // namespace tovra
