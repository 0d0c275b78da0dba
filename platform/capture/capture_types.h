// The capture graph's data types: result codes, the video media type of a stream (a media type
// with its VIDEOINFOHEADER, as far as capture code reads it) and the stream configuration of a
// capture pin.
#pragma once

#include <cstdint>
#include <string>

namespace tovra::capture {

using HRESULT = int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT VFW_E_INVALIDMEDIATYPE = static_cast<HRESULT>(0x80040200u);
inline constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209u);
inline constexpr HRESULT VFW_E_WRONG_STATE = static_cast<HRESULT>(0x80040227u);
inline constexpr HRESULT VFW_E_NO_CAPTURE_HARDWARE = static_cast<HRESULT>(0x80040256u);
inline constexpr bool Failed(HRESULT hr) { return hr < 0; }

inline constexpr uint32_t kVideoInfoHeaderSize = 88;  // bytes of a VIDEOINFOHEADER format block

// The subtype of uncompressed 24-bit frames, bottom-up rows of B, G, R.
inline constexpr const char kSubtypeRgb24[] = "RGB24";
// The subtype of I420 frames: top-down planes of Y, then U and V at half the width and height.
inline constexpr const char kSubtypeI420[] = "I420";

struct VideoMediaType {
    bool majorVideo = true;                      // major type video
    bool formatVideoInfo = true;                 // format type FORMAT_VideoInfo
    uint32_t formatSize = kVideoInfoHeaderSize;  // bytes of the format block
    bool hasFormat = true;                       // a format block is present
    std::string subtype;                         // stream media and format, e.g. "video/x-raw:YUY2", "image/jpeg"
    int64_t avgTimePerFrame = 0;                 // 100-ns units
    int32_t biWidth = 0;                         // pixels
    int32_t biHeight = 0;                        // pixels
    uint16_t biBitCount = 0;                     // bits per pixel
    uint32_t biSizeImage = 0;                    // bytes of one frame
};

// The format control of a capture pin: the current format, and the capabilities it offers.
class StreamConfig {
public:
    virtual ~StreamConfig() = default;
    virtual HRESULT GetFormat(VideoMediaType& format) = 0;
    // S_OK when the device can deliver the format; a refusal leaves the current format.
    virtual HRESULT SetFormat(const VideoMediaType& format) = 0;
    virtual HRESULT GetNumberOfCapabilities(int& count) = 0;
    virtual HRESULT GetStreamCaps(int index, VideoMediaType& format) = 0;
    // Whether the pin offers a format dialog (property pages).
    virtual bool HasPropertyPages() const { return false; }
};

}  // namespace tovra::capture
