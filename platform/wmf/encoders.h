// Audio and video encoders of the recording on libavcodec: WMA v2 from PCM, WMV2/WMV1 from
// Windows-style RGB frames (bottom-up rows, B G R byte order).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tovra::wmf {

struct EncodedPacket {
    std::vector<uint8_t> data;
    int64_t time100ns = 0;  // presentation time
    bool keyFrame = false;
};

// What libavcodec's WMA v2 encoder produces for one output format.
struct WmaFormat {
    uint32_t sampleRate = 0;  // Hz
    uint16_t channels = 0;
    uint32_t bitrate = 0;     // bits/s
    uint16_t blockAlign = 0;  // bytes per encoded block
    std::vector<uint8_t> codecData;  // extradata for the WAVEFORMATEX tail
};

// Every (rate, channels, bitrate) the encoder really accepts, probed once.
const std::vector<WmaFormat>& WmaFormats();

struct PcmFormat {
    uint32_t sampleRate = 0;      // Hz
    uint16_t channels = 0;
    uint16_t bitsPerSample = 0;   // 8 (unsigned) or 16 (signed little-endian)
};

class WmaEncoder {
public:
    WmaEncoder();
    ~WmaEncoder();
    WmaEncoder(const WmaEncoder&) = delete;
    WmaEncoder& operator=(const WmaEncoder&) = delete;

    // Output format (rate/channels/bitrate of a WmaFormat) from PCM input in another format if need be.
    bool Open(const WmaFormat& output, const PcmFormat& input);
    // Buffers samples; emits every complete encoded block. time100ns is the time of the first
    // byte of pcm; blocks carry times continuing from the first buffer, re-anchored when a
    // buffer's time jumps by more than a block.
    bool Encode(const uint8_t* pcm, std::size_t bytes, int64_t time100ns, std::vector<EncodedPacket>& out);
    // Encodes what is buffered (padded with silence) and drains the encoder.
    bool Finish(std::vector<EncodedPacket>& out);
    void Close();

    uint16_t BlockAlign() const;
    const std::vector<uint8_t>& CodecData() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

struct RgbFrameFormat {
    uint32_t width = 0;
    int32_t height = 0;        // positive: bottom-up rows, as Windows DIBs
    uint16_t bitCount = 24;    // 24 (BGR), 32 (BGRX) or 16 (RGB555)
};

struct VideoEncodeSettings {
    uint32_t fourcc = 0;           // 'WMV2' or 'WMV1' (little-endian FourCC)
    uint32_t width = 0, height = 0;
    uint32_t bitrate = 0;          // bits/s
    uint64_t avgTimePerFrame100ns = 666666;
    uint32_t quality = 0;          // 0..100; 0 lets the bitrate rule
    uint64_t maxKeyFrameSpacing100ns = 200000000;
};

class WmvEncoder {
public:
    WmvEncoder();
    ~WmvEncoder();
    WmvEncoder(const WmvEncoder&) = delete;
    WmvEncoder& operator=(const WmvEncoder&) = delete;

    bool Open(const VideoEncodeSettings& settings, const RgbFrameFormat& input);
    // One whole input frame; emits the encoded frame (the encoder has no delay).
    bool Encode(const uint8_t* frame, std::size_t bytes, int64_t time100ns, std::vector<EncodedPacket>& out);
    bool Finish(std::vector<EncodedPacket>& out);
    void Close();

    const std::vector<uint8_t>& CodecData() const;  // extradata for the BITMAPINFOHEADER tail

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// True when libavcodec has an encoder for the FourCC ('WMV2', 'WMV1').
bool HasVideoEncoder(uint32_t fourcc);

inline constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) | (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

}  // namespace tovra::wmf
