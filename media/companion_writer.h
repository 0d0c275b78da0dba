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

// Where the positions of "script" and "dpaths" commands lie: 720 × 540 slide points (imported
// courses) or the view's pixels (blank courses), whose size the player needs to place them.
enum class PositionSpace { View, Slide };

struct ViewSize {
    uint64_t timeMs = 0;  // from this time on
    int width = 0;
    int height = 0;
};

// The timeline script, ASCII: every non-ASCII or special character as a \uXXXX escape. It also
// defines tovraSpace, the positions' space and, for the view's pixels, the view's sizes in time.
std::string FormatTimelineScript(const std::vector<TimelineCommand>& commands,
                                 PositionSpace space = PositionSpace::View, const std::vector<ViewSize>& views = {});

// The positions' space a timeline script names (what FormatTimelineScript wrote); false when it
// names none.
bool ParseTimelineSpace(const std::string& script, PositionSpace& space, std::vector<ViewSize>& views);

class CompanionWriter {
public:
    CompanionWriter();
    ~CompanionWriter();
    CompanionWriter(const CompanionWriter&) = delete;
    CompanionWriter& operator=(const CompanionWriter&) = delete;

    // picture: the frames' header (I420, or 24-bit and bottom-up when the height is positive); sound: the PCM
    // WriteAudio receives (8 or 16 bits), or null for pictures only.
    bool Start(const std::string& webmPath, const std::string& timelinePath, const wmf::BitmapInfoHeader& picture,
               uint32_t frameRate, const wmf::WaveFormatEx* sound);
    bool WriteAudio(uint64_t timeMs, const uint8_t* data, uint32_t length);
    bool WriteVideo(uint64_t timeMs, const uint8_t* data, uint32_t length);
    // text: "type,parameter" as the script stream gets it.
    void WriteScript(uint64_t timeMs, const std::string& text);
    // The space of the commands' positions, and the view's size from timeMs on (repeats ignored).
    void SetPositionSpace(PositionSpace space);
    void SetViewSize(uint64_t timeMs, int width, int height);
    // Drains the encoders, ends the file and writes the timeline; false when either fails.
    bool Close();
    bool IsWriting() const;
    // Processor time the writer's calls have taken so far, on whatever threads (for benchmarks).
    double CpuSeconds() const;

private:
    struct State;
    mutable std::mutex lock_;
    std::unique_ptr<State> state_;
    uint64_t cpuNs_ = 0;  // under lock_
};

}  // namespace tovra
