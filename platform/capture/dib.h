// 24-bit device-independent bitmaps as the frame thread uses them: bottom-up rows of B, G, R,
// each row padded to a multiple of 4 bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace tovra::capture {

struct Dib24 {
    int width = 0;   // pixels
    int height = 0;  // pixels
    int stride = 0;  // bytes per row
    std::vector<uint8_t> bits;

    bool Empty() const { return bits.empty(); }
};

// Bytes per row of a 24-bit DIB of the given width.
constexpr int DibStride(int width) { return (width * 3 + 3) & ~3; }

// A black bitmap of the given size; false (and an empty bitmap) when the size is not positive or
// the memory cannot be had.
bool CreateDibSection(int width, int height, Dib24& dib);

// Stretches a whole 24-bit DIB onto another by taking the nearest source pixel (no blending), as
// the COLORONCOLOR stretch mode does.
void StretchDib24(const uint8_t* source, int sourceWidth, int sourceHeight, uint8_t* target, int targetWidth,
                  int targetHeight);

// Shrinks a 24-bit DIB to the given size: each target pixel the mean of the source pixels it
// covers when the source is exactly twice the size (a camera's VGA made QVGA), else the nearest.
void ShrinkDib24(const uint8_t* source, int sourceWidth, int sourceHeight, uint8_t* target, int targetWidth,
                 int targetHeight);

}  // namespace tovra::capture
