// The small files a recording keeps beside its media: the marker that says it is under way, and
// the course's index of the pages shown ("CourseIndex.js"). Plain C++, no Qt.
#pragma once

#include <string>

namespace tovra {

// A small file in the course's web folder that says a recording is under way: written when one
// starts and removed once all of its files are finished. Found at an opening, it means the last
// recording never finished.
std::string RecordingMarkerPath(const std::string& webFolder);
bool WriteRecordingMarker(const std::string& webFolder);
void RemoveRecordingMarker(const std::string& webFolder);
bool RecordingWasInterrupted(const std::string& webFolder);

// The index of one recording: its head, a line for each page shown, and its end. It is rewritten
// whole, with its end, at every line, so a recording cut short leaves a complete index of the
// pages up to then; the last write is synced to the disk.
class RecordingIndex {
public:
    // Writes the head and end at path; false when the file cannot be written (it is then closed).
    bool Open(std::string path, std::string head, std::string end);
    // A failed write leaves the index as it was before the line.
    void AddLine(const std::string& line);
    // The last write, synced; true when there was nothing to finish.
    bool Finish();

private:
    bool Write(bool synced);

    std::string path_;
    std::string text_;  // head and lines so far
    std::string end_;
    bool open_ = false;
};

}  // namespace tovra
