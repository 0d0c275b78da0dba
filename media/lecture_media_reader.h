// Decodes a recording's camera pictures or its sound: the WebM companion (VP8, Opus) or an old
// .wmv (WMV2, WMA v2). One reader per stream, so that the two are read at their own pace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tovra {

enum class MediaStream { Picture, Sound };

class LectureMediaReader {
public:
    LectureMediaReader();
    ~LectureMediaReader();
    LectureMediaReader(const LectureMediaReader&) = delete;
    LectureMediaReader& operator=(const LectureMediaReader&) = delete;

    // False when the file cannot be opened or has no such stream (Error()).
    bool Open(const std::string& path, MediaStream stream);
    uint64_t DurationMs() const;  // of the container
    // The stream's picture size (Picture).
    int Width() const;
    int Height() const;
    // Picture: the next decoded picture as 32-bit RGB32 (bytes B,G,R,X) at width x height, and its
    // time in ms from the start of the file. False at the end or on an error.
    bool NextPicture(int width, int height, std::vector<uint8_t>& bgrx, uint64_t& timeMs);
    // Sound: up to `frames` samples, mono signed 16-bit at `rate` Hz (the same on every call),
    // appended to out; how many were appended, 0 at the end. Fewer than asked only at the end.
    // Sound that starts after 0 is preceded by silence, so it keeps its place on the time line.
    size_t ReadSound(int rate, size_t frames, std::vector<int16_t>& out);
    const std::string& Error() const { return error_; }

private:
    struct State;
    std::unique_ptr<State> state_;
    std::string error_;
};

}  // namespace tovra
