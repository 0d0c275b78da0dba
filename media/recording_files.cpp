// The recording's marker and index files.
#include "media/recording_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "platform/files/whole_file.h"

namespace tovra {

namespace {

constexpr char kMarkerName[] = "/video001.recording";

}  // namespace

std::string RecordingMarkerPath(const std::string& webFolder) { return webFolder + kMarkerName; }

bool WriteRecordingMarker(const std::string& webFolder) {
    char when[64];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    return WriteFileAtomically(RecordingMarkerPath(webFolder),
                               std::string("A recording started here at ") + when + " and is not finished yet.\n");
}

void RemoveRecordingMarker(const std::string& webFolder) { ::unlink(RecordingMarkerPath(webFolder).c_str()); }

bool RecordingWasInterrupted(const std::string& webFolder) {
    struct stat info {};
    return ::stat(RecordingMarkerPath(webFolder).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool RecordingIndex::Open(std::string path, std::string head, std::string end) {
    path_ = std::move(path);
    text_ = std::move(head);
    end_ = std::move(end);
    open_ = Write(false);
    return open_;
}

void RecordingIndex::AddLine(const std::string& line) {
    if (!open_) return;
    text_ += line;
    Write(false);
}

bool RecordingIndex::Finish() {
    if (!open_) return true;
    open_ = false;
    return Write(true);
}

bool RecordingIndex::Write(bool synced) {
    return WriteFileAtomically(path_, text_ + end_, synced ? Durability::Synced : Durability::Unsynced);
}

}  // namespace tovra
