#include "media/picture_converter.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace tovra {

PictureConverter::PictureConverter(const wmf::BitmapInfoHeader& from, const wmf::BitmapInfoHeader& to)
    : from_(from), to_(to) {
    if (from.width <= 0 || from.height <= 0 || to.width <= 0 || to.height <= 0 || to.bitCount != 24) return;
    if (!IsI420(from) && from.bitCount != 24) return;
    // A camera's VGA in I420 is averaged 2 x 2 here, and swscale's fast path then only turns the
    // colours; other sizes take its area average. Either way fine detail does not alias.
    halve_ = IsI420(from) && from.width == 2 * to.width && from.height == 2 * to.height;
    const int width = halve_ ? to.width : from.width, height = halve_ ? to.height : from.height;
    if (halve_) halved_.resize(capture::I420Size(to.width, to.height));
    scale_ = sws_getContext(width, height, IsI420(from) ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_BGR24, to.width, to.height,
                            AV_PIX_FMT_BGR24, SWS_AREA, nullptr, nullptr, nullptr);
}

namespace {

// Each target byte the rounded mean of the 2 x 2 source bytes it covers; a source row or column
// left over at an odd size is ignored.
void HalvePlane(const uint8_t* source, int sourceWidth, uint8_t* target, int width, int height) {
    for (int y = 0; y < height; ++y) {
        const uint8_t* a = source + static_cast<size_t>(2 * y) * sourceWidth;
        const uint8_t* b = a + sourceWidth;
        uint8_t* to = target + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            to[x] = static_cast<uint8_t>((a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1] + 2) >> 2);
        }
    }
}

}  // namespace

PictureConverter::~PictureConverter() { sws_freeContext(scale_); }

bool PictureConverter::Convert(const uint8_t* data, uint32_t length, std::vector<uint8_t>& out) {
    if (!scale_ || !data) return false;
    const int width = from_.width, height = from_.height;
    const uint8_t* planes[4] = {};
    int strides[4] = {};
    if (IsI420(from_)) {
        if (length < capture::I420Size(width, height)) return false;
        const capture::I420Layout layout = capture::I420LayoutOf(width, height);
        const uint8_t* source = data;
        if (halve_) {
            const capture::I420Layout halved = capture::I420LayoutOf(to_.width, to_.height);
            const int chromaHeight = capture::I420ChromaHeight(to_.height);
            uint8_t* into = halved_.data();
            HalvePlane(data, layout.stride, into, halved.stride, to_.height);
            HalvePlane(data + layout.u, layout.chromaStride, into + halved.u, halved.chromaStride, chromaHeight);
            HalvePlane(data + layout.v, layout.chromaStride, into + halved.v, halved.chromaStride, chromaHeight);
            source = into;
        }
        const capture::I420Layout used = halve_ ? capture::I420LayoutOf(to_.width, to_.height) : layout;
        planes[0] = source;
        planes[1] = source + used.u;
        planes[2] = source + used.v;
        strides[0] = used.stride;
        strides[1] = strides[2] = used.chromaStride;
    } else {
        const int stride = capture::DibStride(width);
        if (length < static_cast<uint32_t>(stride) * height) return false;
        // Bottom-up rows: start at the last and step back.
        planes[0] = data + static_cast<size_t>(stride) * (height - 1);
        strides[0] = -stride;
    }
    const int stride = capture::DibStride(to_.width);
    out.resize(static_cast<size_t>(stride) * to_.height);
    // The target bottom-up too: the picture's top row is the DIB's last.
    uint8_t* targets[4] = {out.data() + static_cast<size_t>(stride) * (to_.height - 1)};
    const int targetStrides[4] = {-stride};
    const int rows = halve_ ? to_.height : height;
    return sws_scale(scale_, planes, strides, 0, rows, targets, targetStrides) == to_.height;
}

}  // namespace tovra
