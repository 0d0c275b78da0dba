#include "media/picture_converter.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace tovra {

PictureConverter::PictureConverter(const wmf::BitmapInfoHeader& from, const wmf::BitmapInfoHeader& to)
    : from_(from), to_(to) {
    if (from.width <= 0 || from.height <= 0 || to.width <= 0 || to.height <= 0 || to.bitCount != 24) return;
    if (!IsI420(from) && from.bitCount != 24) return;
    // The area average when shrinking: a VGA frame's 2 x 2 pixels make each .wmv pixel, with no
    // aliasing of fine detail.
    scale_ = sws_getContext(from.width, from.height, IsI420(from) ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_BGR24, to.width,
                            to.height, AV_PIX_FMT_BGR24, SWS_AREA, nullptr, nullptr, nullptr);
}

PictureConverter::~PictureConverter() { sws_freeContext(scale_); }

bool PictureConverter::Convert(const uint8_t* data, uint32_t length, std::vector<uint8_t>& out) {
    if (!scale_ || !data) return false;
    const int width = from_.width, height = from_.height;
    const uint8_t* planes[4] = {};
    int strides[4] = {};
    if (IsI420(from_)) {
        if (length < capture::I420Size(width, height)) return false;
        planes[0] = data;
        planes[1] = data + static_cast<size_t>(width) * height;
        planes[2] = planes[1] + static_cast<size_t>(capture::I420ChromaWidth(width)) * capture::I420ChromaHeight(height);
        strides[0] = width;
        strides[1] = strides[2] = capture::I420ChromaWidth(width);
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
    return sws_scale(scale_, planes, strides, 0, height, targets, targetStrides) == to_.height;
}

}  // namespace tovra
