#include "publish/lecture_video_export.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <QImage>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>

#include "media/companion_writer.h"
#include "media/lecture_media_reader.h"
#include "media/recording_recovery.h"
#include "platform/files/whole_file.h"
#include "publish/lecture_picture.h"
#include "publish/lecture_script.h"

namespace tovra {

namespace {

namespace fs = std::filesystem;

constexpr int kSoundRate = 48000;

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

std::string VttTime(uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu.%03llu", static_cast<unsigned long long>(ms / 3600000),
                  static_cast<unsigned long long>(ms / 60000 % 60), static_cast<unsigned long long>(ms / 1000 % 60),
                  static_cast<unsigned long long>(ms % 1000));
    return text;
}

// A cue's text: one line, with the characters WebVTT gives a meaning escaped.
std::string VttText(const std::string& title) {
    std::string out;
    for (char c : title) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '\r' || c == '\n') out += ' ';
        else out += c;
    }
    return out;
}

std::vector<Mp4Chapter> Chapters(const LectureScript& script, const CourseProject& course, uint64_t durationMs,
                                 const LectureVideoOptions& options) {
    std::vector<Mp4Chapter> chapters;
    for (const auto& [time, page] : script.PageTurns()) {
        if (time >= durationMs) break;
        std::string title;
        for (const CoursePage& p : course.pages) {
            if (p.number == page) title = p.title;
        }
        if (title.empty()) title = options.pageName ? options.pageName(page) : std::to_string(page);
        // The first chapter starts the video, so that every moment has one.
        chapters.push_back({chapters.empty() ? 0 : time, durationMs, title});
        if (chapters.size() > 1) chapters[chapters.size() - 2].endMs = chapters.back().startMs;
    }
    return chapters;
}

}  // namespace

std::string ChaptersPathFor(const std::string& mp4Path) {
    fs::path p(mp4Path);
    p.replace_extension(".vtt");
    return p.string();
}

std::string FormatWebVttChapters(const std::vector<Mp4Chapter>& chapters) {
    std::string out = "WEBVTT\n";
    for (std::size_t i = 0; i < chapters.size(); ++i) {
        out += "\n" + std::to_string(i + 1) + "\n" + VttTime(chapters[i].startMs) + " --> " + VttTime(chapters[i].endMs) +
               "\n" + VttText(chapters[i].title) + "\n";
    }
    return out;
}

VideoExportOutcome ExportLectureVideo(const CourseProject& course, const std::string& mp4Path, PagePictures& pages,
                                      const LectureVideoOptions& options,
                                      const std::function<bool(uint64_t, uint64_t)>& progress) {
    const double cpuStart = ProcessCpuSeconds();
    VideoExportOutcome outcome;
    const std::string web = course.folder + "/web.files";
    const std::string wmv = web + "/video001.wmv", webm = web + "/video001.webm";
    std::error_code ec;
    if (!fs::is_regular_file(wmv, ec) && !fs::is_regular_file(webm, ec)) {
        outcome.failure = VideoExportFailure::NoRecording;
        return outcome;
    }

    // The commands as the player reads them, from the browser copy's script; a recording made
    // before there was one has them in its media file's script stream.
    std::vector<TimelineCommand> commands;
    PositionSpace space = course.IsBlank() ? PositionSpace::View : PositionSpace::Slide;
    std::vector<ViewSize> views;
    std::string timeline;
    const bool scripted = ReadWholeFile(web + "/video001.js", 64u << 20, timeline) == ReadFileResult::Ok &&
                          ParseTimelineCommands(timeline, commands);
    if (scripted) {
        PositionSpace named;
        if (ParseTimelineSpace(timeline, named, views)) space = named;
    } else if (fs::is_regular_file(wmv, ec)) {
        commands = ReadScriptCommands(wmv);
    }
    LectureScript script(std::move(commands));
    const double aspect = pages.SlideAspect();
    LecturePlacement placement(space, views, aspect > 0 ? aspect : 4.0 / 3.0);

    // Sound and pictures: from the browser copy when there is one (full band, VGA), else the .wmv.
    const std::string media = fs::is_regular_file(webm, ec) ? webm : wmv;
    LectureMediaReader camera, sound;
    const bool withCamera = camera.Open(media, MediaStream::Picture);
    const bool withSound = sound.Open(media, MediaStream::Sound);
    if (!withCamera && !withSound) {
        outcome.failure = VideoExportFailure::CannotRead;
        outcome.detail = media;
        outcome.message = camera.Error();
        return outcome;
    }
    const uint64_t durationMs = std::max(withCamera ? camera.DurationMs() : 0, withSound ? sound.DurationMs() : 0);
    outcome.durationMs = durationMs;

    std::string temporary = mp4Path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        outcome.failure = VideoExportFailure::CannotWrite;
        outcome.detail = mp4Path;
        outcome.systemError = errno;
        return outcome;
    }
    // A video is for others to see: the usual permissions, not mkstemp's owner-only ones.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    struct Leftover {
        std::string path;
        ~Leftover() {
            if (!path.empty()) ::unlink(path.c_str());
        }
    } leftover{temporary};

    Mp4Writer writer;
    // The writer's own account of why it stopped.
    const auto writeFailed = [&] {
        outcome.failure = VideoExportFailure::CannotWrite;
        outcome.detail = mp4Path;
        outcome.message = writer.Error();
        return outcome;
    };
    Mp4Settings settings;
    settings.width = options.width;
    settings.height = options.height;
    settings.frameRate = options.frameRate;
    settings.audioRate = kSoundRate;
    settings.audioChannels = withSound ? 1 : 0;
    if (!writer.Open(temporary, settings)) {
        return writeFailed();
    }

    LecturePicture picture(options.width, options.height, withCamera, placement,
                           QImage(QString::fromStdString(web + "/image/Cursor.gif")).convertToFormat(QImage::Format_ARGB32));
    std::map<int, QString> titles;
    for (const CoursePage& p : course.pages) titles[p.number] = QString::fromStdString(p.title);
    picture.SetHeading(QString::fromStdString(course.courseName), QString::fromStdString(course.teacherName),
                       std::move(titles));
    const QSize pageSize = picture.PageRect().size();
    const QSize cameraSize = picture.CameraRect().size();
    std::map<long long, QImage> pictures;  // each page and step rendered once

    std::vector<uint8_t> pixels;
    uint64_t pictureTime = 0;
    bool pending = withCamera && camera.NextPicture(cameraSize.width(), cameraSize.height(), pixels, pictureTime);
    QImage latest;
    std::vector<int16_t> samples;
    uint64_t soundWritten = 0;
    bool soundLeft = withSound;

    const uint64_t frames = (durationMs * options.frameRate + 999) / 1000;
    for (uint64_t n = 0; n < frames; ++n) {
        const uint64_t t = n * 1000 / options.frameRate;
        const LectureScene& scene = script.At(t);
        const long long key = scene.page * 100000LL + scene.step;
        auto found = pictures.find(key);
        if (found == pictures.end()) {
            found = pictures.emplace(key, scene.page ? pages.Picture(scene.page, scene.step, pageSize) : QImage()).first;
        }
        // The camera's latest picture by this frame's time.
        bool fresh = false;
        while (pending && pictureTime <= t) {
            latest = QImage(pixels.data(), cameraSize.width(), cameraSize.height(), cameraSize.width() * 4,
                            QImage::Format_RGB32).copy();
            fresh = true;
            pending = camera.NextPicture(cameraSize.width(), cameraSize.height(), pixels, pictureTime);
        }
        picture.Compose(found->second, key, scene, t, fresh ? &latest : nullptr);
        const QImage& frame = picture.Frame();
        if (!writer.WriteFrame(frame.constBits(), static_cast<int>(frame.bytesPerLine()), ChangedParts(picture))) {
            return writeFailed();
        }
        // The sound up to the end of this frame.
        const uint64_t due = (n + 1) * kSoundRate / options.frameRate;
        if (soundLeft && due > soundWritten) {
            samples.clear();
            const std::size_t got = sound.ReadSound(kSoundRate, due - soundWritten, samples);
            if (got == 0) soundLeft = false;
            if (got && !writer.WriteAudio(samples.data(), got)) return writeFailed();
            soundWritten += got;
        }
        if (progress && (n % options.frameRate == 0 || n + 1 == frames) && !progress(t, durationMs)) {
            outcome.failure = VideoExportFailure::Cancelled;
            return outcome;
        }
    }

    const std::vector<Mp4Chapter> chapters = Chapters(script, course, durationMs, options);
    writer.SetChapters(chapters);
    if (!writer.Close()) {
        return writeFailed();
    }
    outcome.chapters = chapters.size();
    outcome.chaptersPath = ChaptersPathFor(mp4Path);
    if (!WriteFileAtomically(outcome.chaptersPath, FormatWebVttChapters(chapters)) ||
        std::rename(temporary.c_str(), mp4Path.c_str()) != 0) {
        outcome.failure = VideoExportFailure::CannotWrite;
        outcome.detail = mp4Path;
        outcome.systemError = errno;
        ::unlink(outcome.chaptersPath.c_str());
        return outcome;
    }
    leftover.path.clear();
    outcome.cpuSeconds = ProcessCpuSeconds() - cpuStart;
    return outcome;
}

}  // namespace tovra
