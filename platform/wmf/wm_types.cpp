// Byte layouts of the Windows Media format blocks (little-endian, packed).
#include "platform/wmf/wm_types.h"

namespace tovra::wmf {
namespace {

void Put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put64(std::vector<uint8_t>& b, uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint16_t Get16(const std::vector<uint8_t>& b, std::size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t Get32(const std::vector<uint8_t>& b, std::size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint64_t Get64(const std::vector<uint8_t>& b, std::size_t at) {
    return static_cast<uint64_t>(Get32(b, at)) | (static_cast<uint64_t>(Get32(b, at + 4)) << 32);
}
void PutRect(std::vector<uint8_t>& b, const Rect& r) {
    Put32(b, static_cast<uint32_t>(r.left));
    Put32(b, static_cast<uint32_t>(r.top));
    Put32(b, static_cast<uint32_t>(r.right));
    Put32(b, static_cast<uint32_t>(r.bottom));
}
Rect GetRect(const std::vector<uint8_t>& b, std::size_t at) {
    return Rect{static_cast<int32_t>(Get32(b, at)), static_cast<int32_t>(Get32(b, at + 4)),
                static_cast<int32_t>(Get32(b, at + 8)), static_cast<int32_t>(Get32(b, at + 12))};
}

constexpr std::size_t kWaveFormatExSize = 18;
constexpr std::size_t kVideoInfoHeaderSize = 88;

}  // namespace

std::vector<uint8_t> WaveFormatEx::Bytes() const {
    std::vector<uint8_t> b;
    b.reserve(kWaveFormatExSize + extra.size());
    Put16(b, formatTag);
    Put16(b, channels);
    Put32(b, samplesPerSec);
    Put32(b, avgBytesPerSec);
    Put16(b, blockAlign);
    Put16(b, bitsPerSample);
    Put16(b, static_cast<uint16_t>(extra.size()));
    b.insert(b.end(), extra.begin(), extra.end());
    return b;
}

bool WaveFormatEx::Parse(const std::vector<uint8_t>& b, WaveFormatEx& out) {
    if (b.size() < kWaveFormatExSize) return false;
    const uint16_t cbSize = Get16(b, 16);
    if (b.size() < kWaveFormatExSize + cbSize) return false;
    out.formatTag = Get16(b, 0);
    out.channels = Get16(b, 2);
    out.samplesPerSec = Get32(b, 4);
    out.avgBytesPerSec = Get32(b, 8);
    out.blockAlign = Get16(b, 12);
    out.bitsPerSample = Get16(b, 14);
    out.extra.assign(b.begin() + kWaveFormatExSize, b.begin() + kWaveFormatExSize + cbSize);
    return true;
}

std::vector<uint8_t> VideoInfoHeader::Bytes() const {
    std::vector<uint8_t> b;
    b.reserve(kVideoInfoHeaderSize + extra.size());
    PutRect(b, source);
    PutRect(b, target);
    Put32(b, bitRate);
    Put32(b, bitErrorRate);
    Put64(b, static_cast<uint64_t>(avgTimePerFrame));
    Put32(b, bmi.size);
    Put32(b, static_cast<uint32_t>(bmi.width));
    Put32(b, static_cast<uint32_t>(bmi.height));
    Put16(b, bmi.planes);
    Put16(b, bmi.bitCount);
    Put32(b, bmi.compression);
    Put32(b, bmi.sizeImage);
    Put32(b, static_cast<uint32_t>(bmi.xPelsPerMeter));
    Put32(b, static_cast<uint32_t>(bmi.yPelsPerMeter));
    Put32(b, bmi.clrUsed);
    Put32(b, bmi.clrImportant);
    b.insert(b.end(), extra.begin(), extra.end());
    return b;
}

bool VideoInfoHeader::Parse(const std::vector<uint8_t>& b, VideoInfoHeader& out) {
    if (b.size() < kVideoInfoHeaderSize) return false;
    out.source = GetRect(b, 0);
    out.target = GetRect(b, 16);
    out.bitRate = Get32(b, 32);
    out.bitErrorRate = Get32(b, 36);
    out.avgTimePerFrame = static_cast<int64_t>(Get64(b, 40));
    out.bmi.size = Get32(b, 48);
    out.bmi.width = static_cast<int32_t>(Get32(b, 52));
    out.bmi.height = static_cast<int32_t>(Get32(b, 56));
    out.bmi.planes = Get16(b, 60);
    out.bmi.bitCount = Get16(b, 62);
    out.bmi.compression = Get32(b, 64);
    out.bmi.sizeImage = Get32(b, 68);
    out.bmi.xPelsPerMeter = static_cast<int32_t>(Get32(b, 72));
    out.bmi.yPelsPerMeter = static_cast<int32_t>(Get32(b, 76));
    out.bmi.clrUsed = Get32(b, 80);
    out.bmi.clrImportant = Get32(b, 84);
    out.extra.assign(b.begin() + kVideoInfoHeaderSize, b.end());
    return true;
}

std::vector<uint8_t> ScriptFormatBytes(const Guid& scriptType) {
    std::vector<uint8_t> b;
    Put32(b, scriptType.data1);
    Put16(b, scriptType.data2);
    Put16(b, scriptType.data3);
    b.insert(b.end(), scriptType.data4.begin(), scriptType.data4.end());
    return b;
}

}  // namespace tovra::wmf
