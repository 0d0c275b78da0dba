// A recorded lecture as one video file: H.264 and AAC in MP4, frame by frame what the player shows
// (page, ink, pointer, camera), with the recording's sound and a chapter per page turn, plus the
// chapters as WebVTT beside it. Written whole or not at all.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "course/course_project.h"
#include "media/mp4_writer.h"
#include "publish/page_pictures.h"

namespace tovra {

struct LectureVideoOptions {
    int width = 1280;
    int height = 720;
    int frameRate = 15;
    // A chapter's title for a page without one (the interface language's "Page N").
    std::function<std::string(int page)> pageName;
};

enum class VideoExportFailure {
    None,
    NoRecording,  // the course has no finished recording
    CannotRead,   // detail: the recording's file that could not be read; message says why
    CannotWrite,  // detail: the path; systemError or message say why
    Cancelled,
};

struct VideoExportOutcome {
    VideoExportFailure failure = VideoExportFailure::None;
    std::string detail;
    std::string message;
    int systemError = 0;
    uint64_t durationMs = 0;
    std::size_t chapters = 0;
    std::string chaptersPath;  // the WebVTT file
    double cpuSeconds = 0;     // the export's processor time, for benchmarks
};

// "lecture.mp4" -> "lecture.vtt".
std::string ChaptersPathFor(const std::string& mp4Path);
std::string FormatWebVttChapters(const std::vector<Mp4Chapter>& chapters);

// progress(doneMs, totalMs) now and then; returning false cancels, and nothing is left behind.
VideoExportOutcome ExportLectureVideo(const CourseProject& course, const std::string& mp4Path, PagePictures& pages,
                                      const LectureVideoOptions& options,
                                      const std::function<bool(uint64_t doneMs, uint64_t totalMs)>& progress = {});

}  // namespace tovra
