// The frames the camera hands the recording, and the 24-bit DIB rows the writers take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tovra::capture {

// Bytes per row of a 24-bit DIB (bottom-up rows of B, G, R) of the given width.
constexpr int DibStride(int width) { return (width * 3 + 3) & ~3; }

// I420 frames: the full-size Y plane, then U and V at half the width and height (rounded up),
// top-down, rows without padding. The camera's own kind of picture: no colour conversion is
// needed to capture it or to encode it.
constexpr int I420ChromaWidth(int width) { return (width + 1) / 2; }
constexpr int I420ChromaHeight(int height) { return (height + 1) / 2; }
constexpr size_t I420Size(int width, int height) {
    return static_cast<size_t>(width) * height +
           2 * static_cast<size_t>(I420ChromaWidth(width)) * I420ChromaHeight(height);
}

// Where the U and V planes of an unpadded I420 frame start, and the planes' strides.
struct I420Layout {
    size_t u = 0, v = 0;  // byte offsets; Y starts at 0
    int stride = 0, chromaStride = 0;
};
constexpr I420Layout I420LayoutOf(int width, int height) {
    const size_t u = static_cast<size_t>(width) * height;
    return {u, u + static_cast<size_t>(I420ChromaWidth(width)) * I420ChromaHeight(height), width, I420ChromaWidth(width)};
}

struct I420Frame {
    int width = 0;   // pixels
    int height = 0;  // pixels
    std::vector<uint8_t> bytes;

    bool Empty() const { return bytes.empty(); }
};

// A black frame of the given size; false (and an empty frame) when the size is not positive or
// the memory cannot be had.
bool CreateI420Frame(int width, int height, I420Frame& frame);

// Stretches a whole I420 frame onto another by taking the nearest source pixel of each plane (no
// blending), as the COLORONCOLOR stretch mode does.
void StretchI420(const uint8_t* source, int sourceWidth, int sourceHeight, uint8_t* target, int targetWidth,
                 int targetHeight);

}  // namespace tovra::capture
