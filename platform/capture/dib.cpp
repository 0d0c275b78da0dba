// 24-bit DIBs and their nearest-pixel stretch.
#include "platform/capture/dib.h"

#include <cstring>
#include <new>

namespace tovra::capture {

bool CreateDibSection(int width, int height, Dib24& dib) {
    dib = Dib24{};
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
    try {
        dib.bits.assign(static_cast<size_t>(DibStride(width)) * height, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    dib.width = width;
    dib.height = height;
    dib.stride = DibStride(width);
    return true;
}

void StretchDib24(const uint8_t* source, int sourceWidth, int sourceHeight, uint8_t* target, int targetWidth,
                  int targetHeight) {
    if (sourceWidth <= 0 || sourceHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) return;
    const int sourceStride = DibStride(sourceWidth), targetStride = DibStride(targetWidth);
    // Source column of each target column, computed once per frame.
    std::vector<int> columns(targetWidth);
    for (int x = 0; x < targetWidth; ++x) {
        columns[x] = static_cast<int>((static_cast<int64_t>(2 * x + 1) * sourceWidth) / (2 * targetWidth)) * 3;
    }
    int previousRow = -1;
    for (int y = 0; y < targetHeight; ++y) {
        const int sy = static_cast<int>((static_cast<int64_t>(2 * y + 1) * sourceHeight) / (2 * targetHeight));
        uint8_t* to = target + static_cast<size_t>(y) * targetStride;
        if (sy == previousRow) {
            // A repeated source row: copy the row just made.
            std::memcpy(to, to - targetStride, targetStride);
            continue;
        }
        const uint8_t* from = source + static_cast<size_t>(sy) * sourceStride;
        for (int x = 0; x < targetWidth; ++x) {
            std::memcpy(to + 3 * x, from + columns[x], 3);
        }
        previousRow = sy;
    }
}

void ShrinkDib24(const uint8_t* source, int sourceWidth, int sourceHeight, uint8_t* target, int targetWidth,
                 int targetHeight) {
    if (sourceWidth != 2 * targetWidth || sourceHeight != 2 * targetHeight) {
        StretchDib24(source, sourceWidth, sourceHeight, target, targetWidth, targetHeight);
        return;
    }
    const int sourceStride = DibStride(sourceWidth), targetStride = DibStride(targetWidth);
    for (int y = 0; y < targetHeight; ++y) {
        const uint8_t* a = source + static_cast<size_t>(2 * y) * sourceStride;
        const uint8_t* b = a + sourceStride;
        uint8_t* to = target + static_cast<size_t>(y) * targetStride;
        for (int x = 0; x < targetWidth * 3; x += 3) {
            for (int c = 0; c < 3; ++c) {
                const int i = 2 * x + c;
                to[x + c] = static_cast<uint8_t>((a[i] + a[i + 3] + b[i] + b[i + 3] + 2) >> 2);
            }
        }
    }
}

}  // namespace tovra::capture
