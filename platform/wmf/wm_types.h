// The Windows Media data types the writer layer speaks: result codes, GUIDs, media types with
// their format blocks (WAVEFORMATEX, VIDEOINFOHEADER, WMSCRIPTFORMAT) in their byte layouts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tovra::wmf {

using HRESULT = int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT NS_E_INVALID_REQUEST = static_cast<HRESULT>(0xC00D002Bu);
inline constexpr HRESULT NS_E_AUDIO_CODEC_NOT_INSTALLED = static_cast<HRESULT>(0xC00D0BC2u);
inline constexpr HRESULT NS_E_VIDEO_CODEC_NOT_INSTALLED = static_cast<HRESULT>(0xC00D0BC4u);
inline constexpr HRESULT NS_E_INVALID_INPUT_FORMAT = static_cast<HRESULT>(0xC00D0BB8u);
inline constexpr bool Failed(HRESULT hr) { return hr < 0; }

inline constexpr uint32_t WMT_VER_9_0 = 0x00090000;

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0, data3 = 0;
    std::array<uint8_t, 8> data4{};
    friend bool operator==(const Guid&, const Guid&) = default;
};

inline constexpr Guid kGuidNull{};
// Major types, subtypes and format types.
inline constexpr Guid kMediaTypeAudio{0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr Guid kMediaTypeVideo{0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr Guid kMediaTypeScript{0x73636D64, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr Guid kSubtypePcm{0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr Guid kSubtypeRgb24{0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr Guid kSubtypeRgb32{0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr Guid kSubtypeRgb555{0xE436EB7C, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr Guid kFormatWaveFormatEx{0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr Guid kFormatVideoInfo{0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr Guid kFormatScript{0x5C8510F2, 0xDEBE, 0x4CA7, {0xBB, 0xA5, 0xF0, 0x7A, 0x10, 0x4F, 0x8D, 0xFF}};
inline constexpr Guid kClsidMutexBitrate{0xD6E22A01, 0x35DA, 0x11D1, {0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE}};
inline constexpr Guid kScriptTypeTwoStrings{
    0x82F38A70, 0xC29F, 0x11D1, {0x97, 0xAD, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50}};

// The subtype GUID of a wave format tag: {tag-0000-0010-8000-00AA00389B71}.
constexpr Guid WaveSubtype(uint16_t tag) {
    return Guid{tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

// A media type: what WM_MEDIA_TYPE holds; the format block is kept as its bytes (cbFormat).
struct MediaType {
    Guid majortype;
    Guid subtype;
    bool fixedSizeSamples = false;
    bool temporalCompression = false;
    uint32_t sampleSize = 0;  // bytes
    Guid formattype;
    std::vector<uint8_t> format;
};

struct WaveFormatEx {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;   // Hz
    uint32_t avgBytesPerSec = 0;  // bytes/s
    uint16_t blockAlign = 0;      // bytes
    uint16_t bitsPerSample = 0;
    std::vector<uint8_t> extra;  // cbSize bytes after the 18-byte structure

    std::vector<uint8_t> Bytes() const;  // 18 + cbSize
    static bool Parse(const std::vector<uint8_t>& bytes, WaveFormatEx& out);
};

struct BitmapInfoHeader {
    uint32_t size = 40;
    int32_t width = 0;
    int32_t height = 0;  // positive: bottom-up
    uint16_t planes = 1;
    uint16_t bitCount = 0;
    uint32_t compression = 0;  // BI_RGB 0 or a FourCC
    uint32_t sizeImage = 0;    // bytes
    int32_t xPelsPerMeter = 0, yPelsPerMeter = 0;
    uint32_t clrUsed = 0, clrImportant = 0;
};

struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct VideoInfoHeader {
    Rect source, target;
    uint32_t bitRate = 0;  // bits/s
    uint32_t bitErrorRate = 0;
    int64_t avgTimePerFrame = 0;  // 100-ns units
    BitmapInfoHeader bmi;
    std::vector<uint8_t> extra;  // bytes after the 88-byte structure (codec data)

    std::vector<uint8_t> Bytes() const;  // 88 + extra
    static bool Parse(const std::vector<uint8_t>& bytes, VideoInfoHeader& out);
};

// WMSCRIPTFORMAT: the script type GUID, 16 bytes.
std::vector<uint8_t> ScriptFormatBytes(const Guid& scriptType = kScriptTypeTwoStrings);

}  // namespace tovra::wmf
