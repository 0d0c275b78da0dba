// The recording's companion for today's browsers: the same sound and pictures as a WebM file
// (VP8 video, Opus sound) on the same time line, and the script commands as a script file the
// course player reads ("var tovraTimeline = [[time, type, parameter], ...];").
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/wmf/wm_types.h"

namespace tovra {

struct TimelineCommand {
    uint64_t timeMs = 0;
    std::string type;       // "pages", "script", "dpaths"
    std::string parameter;  // code-page text after the first comma
};

// The timeline script, ASCII: every non-ASCII or special character as a \uXXXX escape.
std::string FormatTimelineScript(const std::vector<TimelineCommand>& commands);

class CompanionWriter {
public:
    CompanionWriter();
    ~CompanionWriter();
    CompanionWriter(const CompanionWriter&) = delete;
    CompanionWriter& operator=(const CompanionWriter&) = delete;

    // picture: the frames' header (24-bit, bottom-up when the height is positive); sound: the PCM
    // WriteAudio receives (8 or 16 bits), or null for pictures only.
    bool Start(const std::string& webmPath, const std::string& timelinePath, const wmf::BitmapInfoHeader& picture,
               uint32_t frameRate, const wmf::WaveFormatEx* sound);
    bool WriteAudio(uint64_t timeMs, const uint8_t* data, uint32_t length);
    bool WriteVideo(uint64_t timeMs, const uint8_t* data, uint32_t length);
    // text: "type,parameter" as the script stream gets it.
    void WriteScript(uint64_t timeMs, const std::string& text);
    // Drains the encoders, ends the file and writes the timeline; false when either fails.
    bool Close();
    bool IsWriting() const;

private:
    struct State;
    mutable std::mutex lock_;
    std::unique_ptr<State> state_;
};

}  // namespace tovra
