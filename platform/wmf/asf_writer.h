// An ASF (Advanced Systems Format) container writer: audio, video and command-media streams,
// data packets carrying presentation times, a simple index, and a header that stays readable
// when the file is never closed. Follows the public ASF specification (revision 01.20.03).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tovra::wmf {

struct AsfAudioStreamInfo {
    uint16_t number = 0;         // stream number 1..127
    uint16_t formatTag = 0;      // e.g. 0x0161 WMA v2
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;  // Hz
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;     // bytes of one encoded block
    uint16_t bitsPerSample = 0;
    std::vector<uint8_t> codecData;  // bytes after the 18-byte WAVEFORMATEX (cbSize of them)
    uint32_t bitrate = 0;            // bits/s, for the stream bitrate properties
};

struct AsfVideoStreamInfo {
    uint16_t number = 0;
    uint32_t width = 0;   // pixels
    uint32_t height = 0;  // pixels
    uint32_t fourcc = 0;  // biCompression, e.g. 'W','M','V','2' as little-endian bytes
    uint16_t bitCount = 24;
    std::vector<uint8_t> codecData;  // bytes after the 40-byte BITMAPINFOHEADER
    uint32_t bitrate = 0;            // bits/s
    uint64_t avgTimePerFrame100ns = 0;
};

struct AsfCommandStreamInfo {
    uint16_t number = 0;
    uint32_t bitrate = 0;  // bits/s
};

class AsfWriter {
public:
    AsfWriter() = default;
    ~AsfWriter();  // finishes an open file
    AsfWriter(const AsfWriter&) = delete;
    AsfWriter& operator=(const AsfWriter&) = delete;

    // Streams are declared before Begin.
    void AddAudioStream(const AsfAudioStreamInfo& info);
    void AddVideoStream(const AsfVideoStreamInfo& info);
    void AddCommandStream(const AsfCommandStreamInfo& info);

    // Creates the file and writes a header that a reader accepts as it stands (broadcast
    // flag set, sizes unknown), so that a file cut off by a crash plays up to its last packet.
    bool Begin(const std::string& path, uint32_t prerollMs = 0);

    // One media object (a whole encoded frame, audio block or command sample), fragmented
    // over packets as needed. Times are presentation times without the preroll.
    bool WriteSample(uint16_t stream, uint32_t presentationMs, bool keyFrame, const uint8_t* data, std::size_t size);

    // Writes complete packets out to the file now (they are normally written as they fill).
    bool Flush();

    // Pads and writes the last packet, appends the simple index, rewrites the header with the
    // real sizes and duration, and closes. Safe to call twice.
    bool Finish();

    bool IsOpen() const;
    uint64_t PacketsWritten() const;

    // What finishing an interrupted file found.
    struct Recovered {
        uint64_t packets = 0;     // whole packets kept
        uint64_t durationMs = 0;  // play duration, without the preroll
        bool wasOpen = false;     // the file had never been finished
    };
    // Finishes a file this writer began and never finished (the program was killed, the disk
    // filled): drops a packet cut off at the end or damaged, and writes the real sizes, the
    // duration and the simple index, as Finish would have. A finished file is left as it is.
    // False when the file is not one of this writer's or cannot be written.
    static bool FinishInterrupted(const std::string& path, Recovered* recovered = nullptr);

private:
    struct Impl;
    Impl* impl_ = nullptr;
    std::vector<AsfAudioStreamInfo> audio_;
    std::vector<AsfVideoStreamInfo> video_;
    std::vector<AsfCommandStreamInfo> command_;
};

}  // namespace tovra::wmf
