// An MP4 file that every player and browser plays: H.264 pictures (x264) and AAC sound, with
// chapters, and the index before the data so that it starts playing while it downloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/bgrx_to_i420.h"

namespace tovra {

struct Mp4Chapter {
    uint64_t startMs = 0;
    uint64_t endMs = 0;
    std::string title;  // UTF-8
};

struct Mp4Settings {
    int width = 1280;
    int height = 720;
    int frameRate = 15;
    int audioRate = 48000;
    int audioChannels = 1;  // 0: no sound track
};

class Mp4Writer {
public:
    Mp4Writer();
    ~Mp4Writer();  // without Close: frees everything and leaves the partial file as it is
    Mp4Writer(const Mp4Writer&) = delete;
    Mp4Writer& operator=(const Mp4Writer&) = delete;

    // Writes path directly (the caller makes it atomic). False with Error() set.
    bool Open(const std::string& path, const Mp4Settings& settings);
    // The next frame (frame n shows from n / frameRate s): 32-bit pixels as QImage::Format_RGB32
    // stores them (bytes B,G,R,X), width x height, stride in bytes. changed: the parts that differ
    // from the last frame; only they are converted again, and none encodes the last picture again.
    // The first frame is converted whole.
    bool WriteFrame(const uint8_t* bgrx, int stride, const std::vector<PixelRect>& changed);
    // sameAsPrevious: nothing changed; otherwise the whole frame did.
    bool WriteFrame(const uint8_t* bgrx, int stride, bool sameAsPrevious);
    // Sound, signed 16-bit interleaved at audioRate/audioChannels, any number of frames per call,
    // in order from time 0.
    bool WriteAudio(const int16_t* samples, size_t frames);
    // Chapters written into the MP4 when it is finished, replacing any set before; after Open,
    // before Close.
    void SetChapters(std::vector<Mp4Chapter> chapters);
    // Flushes both encoders and finishes the file with its index first. False on any failure.
    bool Close();
    const std::string& Error() const { return error_; }
    // Processor time this writer's calls have taken on their threads (for benchmarks).
    double CpuSeconds() const { return cpuNs_ / 1e9; }

private:
    struct State;
    std::unique_ptr<State> state_;
    std::string error_;
    uint64_t cpuNs_ = 0;
};

}  // namespace tovra
