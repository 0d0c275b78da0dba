// The camera's pictures made into the .wmv's: an I420 frame or a 24-bit DIB of one size into a
// 24-bit bottom-up DIB of another, by libswscale.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/capture/dib.h"
#include "platform/wmf/wm_types.h"

struct SwsContext;

namespace tovra {

inline constexpr uint32_t kFourCcI420 = 0x30323449u;  // "I420"

// I420 pictures as a bitmap header describes them: 12 bits per pixel, FourCC I420.
inline wmf::BitmapInfoHeader I420PictureFormat(int width, int height) {
    wmf::BitmapInfoHeader h;
    h.width = width;
    h.height = height;
    h.bitCount = 12;
    h.compression = kFourCcI420;
    h.sizeImage = static_cast<uint32_t>(capture::I420Size(width, height));
    return h;
}

inline bool IsI420(const wmf::BitmapInfoHeader& h) { return h.compression == kFourCcI420; }

class PictureConverter {
public:
    // from: I420 or 24-bit bottom-up; to: 24-bit bottom-up.
    PictureConverter(const wmf::BitmapInfoHeader& from, const wmf::BitmapInfoHeader& to);
    ~PictureConverter();
    PictureConverter(const PictureConverter&) = delete;
    PictureConverter& operator=(const PictureConverter&) = delete;

    // False when the data holds less than one source picture or the conversion cannot be made.
    bool Convert(const uint8_t* data, uint32_t length, std::vector<uint8_t>& out);

private:
    wmf::BitmapInfoHeader from_, to_;
    SwsContext* scale_ = nullptr;
    bool halve_ = false;            // exactly twice the size in I420: halved here first
    std::vector<uint8_t> halved_;  // the halved I420 picture
};

}  // namespace tovra
