// The video's pictures into the encoder's form: 32-bit BGRX (QImage::Format_RGB32 in memory) to
// planar 4:2:0 with the BT.709 matrix and video range, for the whole picture or a part of it, so
// that only what changed in a frame is converted again.
#pragma once

#include <cstdint>

namespace tovra {

// A part of a picture, in pixels.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

struct I420Planes {
    uint8_t* y = nullptr;
    uint8_t* u = nullptr;
    uint8_t* v = nullptr;
    int yStride = 0, uStride = 0, vStride = 0;
};

// Converts part of a width x height BGRX picture into out. The part is widened to even edges (each
// chroma sample covers 2 x 2 pixels) and kept within the picture; width and height are even.
void ConvertBgrxToI420(const uint8_t* bgrx, int stride, int width, int height, PixelRect part, const I420Planes& out);

}  // namespace tovra
