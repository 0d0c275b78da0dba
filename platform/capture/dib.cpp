// I420 frames and their nearest-pixel stretch.
#include "platform/capture/dib.h"

#include <cstring>
#include <new>

namespace tovra::capture {

namespace {

// One plane of width x height bytes onto another, the nearest source byte for each target byte.
void StretchPlane(const uint8_t* source, int sourceWidth, int sourceHeight, uint8_t* target, int targetWidth,
                  int targetHeight) {
    // Source column of each target column, computed once per plane.
    std::vector<int> columns(targetWidth);
    for (int x = 0; x < targetWidth; ++x) {
        columns[x] = static_cast<int>((static_cast<int64_t>(2 * x + 1) * sourceWidth) / (2 * targetWidth));
    }
    int previousRow = -1;
    for (int y = 0; y < targetHeight; ++y) {
        const int sy = static_cast<int>((static_cast<int64_t>(2 * y + 1) * sourceHeight) / (2 * targetHeight));
        uint8_t* to = target + static_cast<size_t>(y) * targetWidth;
        if (sy == previousRow) {
            // A repeated source row: copy the row just made.
            std::memcpy(to, to - targetWidth, targetWidth);
            continue;
        }
        const uint8_t* from = source + static_cast<size_t>(sy) * sourceWidth;
        for (int x = 0; x < targetWidth; ++x) to[x] = from[columns[x]];
        previousRow = sy;
    }
}

}  // namespace

bool CreateI420Frame(int width, int height, I420Frame& frame) {
    frame = I420Frame{};
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
    const size_t luma = static_cast<size_t>(width) * height;
    try {
        frame.bytes.assign(I420Size(width, height), 128);  // no colour
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::memset(frame.bytes.data(), 16, luma);  // video black
    frame.width = width;
    frame.height = height;
    return true;
}

void StretchI420(const uint8_t* source, int sourceWidth, int sourceHeight, uint8_t* target, int targetWidth,
                 int targetHeight) {
    if (sourceWidth <= 0 || sourceHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) return;
    StretchPlane(source, sourceWidth, sourceHeight, target, targetWidth, targetHeight);
    const I420Layout from = I420LayoutOf(sourceWidth, sourceHeight), to = I420LayoutOf(targetWidth, targetHeight);
    const int sh = I420ChromaHeight(sourceHeight), th = I420ChromaHeight(targetHeight);
    StretchPlane(source + from.u, from.chromaStride, sh, target + to.u, to.chromaStride, th);
    StretchPlane(source + from.v, from.chromaStride, sh, target + to.v, to.chromaStride, th);
}

}  // namespace tovra::capture
