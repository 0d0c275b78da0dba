// Finishing the files of a recording that was cut short (the program killed, the machine
// stopped, the disk full), the next time its course is opened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/companion_writer.h"
#include "media/recording_files.h"

namespace tovra {

// The script commands of a recording's media file, from its script stream, in order.
std::vector<TimelineCommand> ReadScriptCommands(const std::string& mediaPath);

// Rewrites a WebM that was never finished, as the muxer finishes one (duration, cues), keeping
// every whole packet. durationMs: where its last packet ends. False when it cannot be read.
bool FinishWebm(const std::string& path, uint64_t* durationMs = nullptr);

struct RecoveredRecording {
    bool media = false;       // "video001.wmv" is finished and plays
    uint64_t durationMs = 0;  // of "video001.wmv"
    bool companion = false;   // "video001.webm" is finished and plays
    bool timeline = false;    // "video001.js" holds the media file's commands
};

// Finishes "video001.wmv", "video001.webm" and "video001.js" of the web folder and removes the
// marker. The timeline is made anew from the media file's script stream, keeping the positions'
// space the old timeline names; without an old one, space and view stand in.
RecoveredRecording RecoverRecording(const std::string& webFolder, PositionSpace space, const ViewSize& view);

}  // namespace tovra
