// Exports a synthetic lecture over an imported deck to MP4, three times at 1280x720 and three at
// 1920x1080 in alternation, and reports each run's wall and processor time, its speed against
// real time and its size; the goal is at least 4x real time at 1280x720, median of the three.
// The processor time is also given for the calling thread alone (everything but x264's own
// threads, so the part that cannot overlap), and the machine's other load meanwhile, as the
// machine may be shared.
// The lecture: 20 slides of 1024x768, a VGA VP8 camera with 48 kHz mono Opus (as a recording's
// WebM companion has them), a page turn every 30 s, the pointer moving every 100 ms but for a
// still minute in the middle, and a pen stroke every 20 s.
// With --phases (or when the goal is missed) the export's stages are then run alone at 1280x720,
// to tell where the time goes: camera decoding, sound decoding, page drawing and composing,
// the picture conversion, H.264 and AAC.
// Usage: tovra-export-bench [minutes, default 10] [--keep] [--phases]
// (--keep leaves the course folder and the videos in the temporary folder for a look at them).
#include <QGuiApplication>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <stdlib.h>
#include <unistd.h>


#include "bench/cpu_time.h"
#include "course/course_project.h"
#include "course/project_file.h"
#include "media/lecture_media_reader.h"
#include "media/mp4_writer.h"
#include "publish/lecture_picture.h"
#include "publish/lecture_script.h"
#include "publish/lecture_video_export.h"
#include "publish/page_pictures.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tovra::bench::ProcessCpuSeconds;
using tovra::bench::ThreadCpuSeconds;

namespace {

constexpr int kSlides = 20;
constexpr int kFrameRate = 15;
constexpr int kSoundRate = 48000;
constexpr double kGoal = 4.0;  // times real time, at 1280x720

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// A slide with something on it for the encoder: a coloured ground, a title, lines of text, a
// chart with a gradient and a few shapes, different on every slide.
QImage Slide(int n) {
    QImage slide(1024, 768, QImage::Format_RGB32);
    slide.fill(QColor::fromHsv((n * 37) % 360, 60, 245));
    QPainter p(&slide);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(0, 0, 1024, 120, QColor::fromHsv((n * 37 + 180) % 360, 160, 120));
    QFont title("DejaVu Sans", 44, QFont::Bold);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(40, 20, 944, 90), Qt::AlignVCenter | Qt::AlignLeft, QString("Slide %1").arg(n));
    p.setFont(QFont("DejaVu Sans", 22));
    p.setPen(QColor(30, 30, 40));
    for (int line = 0; line < 6; ++line) {
        p.drawText(60, 190 + line * 56,
                   QString::fromUtf8("\u2022 Point %1.%2: the forces on a beam of length %3 m").arg(n).arg(line + 1).arg(2 + line * n % 7));
    }
    QLinearGradient gradient(560, 520, 980, 740);
    gradient.setColorAt(0, QColor::fromHsv((n * 53) % 360, 200, 220));
    gradient.setColorAt(1, QColor::fromHsv((n * 53 + 90) % 360, 200, 160));
    for (int bar = 0; bar < 7; ++bar) {
        const int h = 40 + ((n * 31 + bar * 47) % 170);
        p.fillRect(QRect(580 + bar * 56, 740 - h, 40, h), gradient);
    }
    p.setPen(QPen(QColor(20, 20, 20), 3));
    p.setBrush(QColor::fromHsv((n * 71) % 360, 180, 230));
    p.drawEllipse(QPoint(200 + (n * 23) % 200, 620), 90, 70);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(60 + (n * 11) % 80, 540, 420, 200));
    p.drawLine(60, 760, 980, 500 + (n * 17) % 100);
    return slide;
}

// The pointer's path while the teacher talks: a slow figure over the slide's 720 x 540 points.
void PointerAt(uint64_t ms, int& x, int& y) {
    const double t = ms / 1000.0;
    x = static_cast<int>(360 + 280 * std::sin(t * 0.37) * std::cos(t * 0.11));
    y = static_cast<int>(270 + 200 * std::sin(t * 0.53 + 1));
}

// The timeline script of the browser copy: page turns, pointer moves and pen strokes.
std::string Timeline(uint64_t durationMs, uint64_t quietFrom, uint64_t quietTo) {
    std::string list;
    auto add = [&](uint64_t t, const char* type, const std::string& parameter) {
        std::string escaped;
        for (char c : parameter) {
            if (c == '"' || c == '\\') escaped += '\\';
            escaped += c;
        }
        list += (list.empty() ? "[" : ",") + std::string("[") + std::to_string(t) + ",\"" + type + "\",\"" + escaped +
                "\"]";
    };
    for (uint64_t t = 0; t < durationMs; t += 100) {
        if (t % 30000 == 0) add(t, "pages", "(" + std::to_string(t / 30000 % kSlides + 1) + ",0)");
        if (t % 20000 == 10000) {
            // A stroke of 40 points under something on the slide.
            int x0 = 0, y0 = 0;
            PointerAt(t, x0, y0);
            std::string path = "5,0,\"'m" + std::to_string(x0) + "," + std::to_string(y0) + " l";
            for (int i = 1; i < 40; ++i) {
                const int x = std::clamp(x0 + i * 6 - 120, 0, 719);
                const int y = std::clamp(y0 + static_cast<int>(12 * std::sin(i * 0.6)), 0, 539);
                path += (i > 1 ? "," : "") + std::to_string(x) + "," + std::to_string(y);
            }
            add(t, "dpaths", path + "'>\"");
        }
        if (t < quietFrom || t >= quietTo) {
            int x = 0, y = 0;
            PointerAt(t, x, y);
            add(t, "script", "(" + std::to_string(x) + "," + std::to_string(y) + ")");
        }
    }
    return "var tovraTimeline = " + list + "];\r\nvar tovraSpace = {kind: \"slide\", width: 720, height: 540};\r\n";
}

bool Run(const std::string& command) {
    if (std::system(command.c_str()) == 0) return true;
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    return false;
}

// The course folder: project, slide pictures, pointer, camera and sound, timeline.
bool MakeCourse(const std::string& folder, int seconds, tovra::CourseProject& course) {
    const std::string web = folder + "/web.files";
    fs::create_directories(web + "/image");
    course.folder = folder;
    course.projectFileName = "Bench.lsn";
    course.deckPath = "/tmp/bench.pptx";
    course.courseName = "Bench";
    for (int n = 1; n <= kSlides; ++n) {
        course.pages.push_back({n, "Slide " + std::to_string(n)});
        char name[32];
        std::snprintf(name, sizeof name, "/slide%04d.png", n);
        if (!Slide(n).save(QString::fromStdString(web + name), "PNG")) {
            std::fprintf(stderr, "cannot write %s%s\n", web.c_str(), name);
            return false;
        }
    }
    course.pageCount = kSlides;
    course.currentPage = 1;
    // The project file too, so that a kept folder opens in the editor as a course.
    std::ofstream(course.ProjectFilePath(), std::ios::binary) << tovra::FormatProjectFile(course);
    std::error_code ec;
    fs::copy_file(TOVRA_CURSOR_GIF, web + "/image/Cursor.gif", ec);
    if (ec) {
        std::fprintf(stderr, "cannot copy %s: %s\n", TOVRA_CURSOR_GIF, ec.message().c_str());
        return false;
    }
    const uint64_t durationMs = seconds * 1000ull;
    const uint64_t quiet = std::min<uint64_t>(60000, durationMs / 4);
    std::ofstream(web + "/video001.js", std::ios::binary)
        << Timeline(durationMs, durationMs / 2 - quiet / 2, durationMs / 2 + quiet / 2);
    return Run("cd '" + web + "' && ffmpeg -v error -y -f lavfi -i testsrc2=size=640x480:rate=15 -f lavfi -i "
               "sine=frequency=440:sample_rate=48000 -t " + std::to_string(seconds) +
               " -c:v libvpx -deadline realtime -cpu-used 8 -b:v 350k -c:a libopus -b:a 48k -ac 1 video001.webm");
}

struct Measured {
    double wall = 0, cpu = 0, factor = 0, mb = 0;
    double ownThread = 0;  // of the thread that calls the export (all but x264's own threads)
    double others = 0;     // the rest of the machine's busy processor time meanwhile
};

// Processor time all processes on the machine have been busy so far (user, nice, system, irq,
// softirq, steal), seconds: what others take of a shared machine shows against our own.
double MachineBusySeconds() {
    std::ifstream stat("/proc/stat");
    std::string cpu;
    unsigned long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
    return double(user + nice + system + irq + softirq + steal) / sysconf(_SC_CLK_TCK);
}

bool Export(const tovra::CourseProject& course, const std::string& mp4, int width, int height, Measured& out) {
    tovra::DeckPagePictures pages(course.folder + "/web.files");
    tovra::LectureVideoOptions options;
    options.width = width;
    options.height = height;
    options.frameRate = kFrameRate;
    std::error_code ec;
    fs::remove(mp4, ec);
    const double busy = MachineBusySeconds(), own = ProcessCpuSeconds(), thread = ThreadCpuSeconds();
    const auto start = Clock::now();
    const tovra::VideoExportOutcome outcome = tovra::ExportLectureVideo(course, mp4, pages, options);
    out.wall = Seconds(start);
    out.ownThread = ThreadCpuSeconds() - thread;
    out.others = std::max(0.0, MachineBusySeconds() - busy - (ProcessCpuSeconds() - own));
    if (outcome.failure != tovra::VideoExportFailure::None || !fs::is_regular_file(mp4, ec)) {
        std::fprintf(stderr, "export to %s failed (%d): %s %s (errno %d)\n", mp4.c_str(),
                     static_cast<int>(outcome.failure), outcome.detail.c_str(), outcome.message.c_str(),
                     outcome.systemError);
        return false;
    }
    out.cpu = outcome.cpuSeconds;
    out.factor = outcome.durationMs / 1000.0 / out.wall;
    out.mb = fs::file_size(mp4) / 1e6;
    return true;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// One stage's cost: wall and process CPU seconds.
struct Stage {
    double wall = 0, cpu = 0;
};

template <typename F>
Stage Time(F&& work) {
    const auto start = Clock::now();
    const double cpu = ProcessCpuSeconds();
    work();
    return {Seconds(start), ProcessCpuSeconds() - cpu};
}

// The export's stages one at a time at width x height, with what the export does in each: the
// camera read and scaled to its column, the sound read at 48 kHz, the frames drawn (pages, ink,
// pointer, camera) without encoding, the frames drawn and converted to YUV, the frames drawn and
// encoded as H.264 without sound, and the sound alone encoded as AAC (beside a 16 x 16 picture).
bool Phases(const tovra::CourseProject& course, const std::string& folder, int width, int height) {
    const std::string web = course.folder + "/web.files";
    const std::string webm = web + "/video001.webm";
    std::string timeline;
    {
        std::ifstream in(web + "/video001.js", std::ios::binary);
        timeline.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<tovra::TimelineCommand> commands;
    if (!tovra::ParseTimelineCommands(timeline, commands)) {
        std::fprintf(stderr, "cannot read the timeline\n");
        return false;
    }
    tovra::DeckPagePictures deck(web);
    const tovra::LecturePlacement placement(tovra::PositionSpace::Slide, {}, deck.SlideAspect());
    const QImage pointer = QImage(QString::fromStdString(web + "/image/Cursor.gif")).convertToFormat(QImage::Format_ARGB32);
    const QRect cameraRect = tovra::LecturePicture(width, height, true, placement, pointer).CameraRect();

    // The camera: VP8 decoded and scaled to its column, kept for the drawing stages below.
    std::vector<std::vector<uint8_t>> cameraFrames;
    std::vector<uint64_t> cameraTimes;
    uint64_t durationMs = 0;
    const Stage camera = Time([&] {
        tovra::LectureMediaReader reader;
        if (!reader.Open(webm, tovra::MediaStream::Picture)) return;
        durationMs = reader.DurationMs();
        std::vector<uint8_t> pixels;
        uint64_t t = 0;
        while (reader.NextPicture(cameraRect.width(), cameraRect.height(), pixels, t)) {
            cameraFrames.push_back(pixels);
            cameraTimes.push_back(t);
        }
    });
    // The camera read again, to split VP8 from the scaling: decoded and converted at its own size.
    const Stage cameraOwnSize = Time([&] {
        tovra::LectureMediaReader reader;
        if (!reader.Open(webm, tovra::MediaStream::Picture)) return;
        std::vector<uint8_t> pixels;
        uint64_t t = 0;
        while (reader.NextPicture(reader.Width(), reader.Height(), pixels, t)) {
        }
    });
    if (cameraFrames.empty() || durationMs == 0) {
        std::fprintf(stderr, "cannot read the camera of %s\n", webm.c_str());
        return false;
    }
    const uint64_t frames = (durationMs * kFrameRate + 999) / 1000;

    std::vector<int16_t> samples;
    const Stage sound = Time([&] {
        tovra::LectureMediaReader reader;
        if (!reader.Open(webm, tovra::MediaStream::Sound)) return;
        for (uint64_t n = 0; n < frames; ++n) {
            if (!reader.ReadSound(kSoundRate, kSoundRate / kFrameRate, samples)) break;
        }
    });

    // The frames as the export draws them; each is handed to `use` with whether it changed.
    double pageSeconds = 0;
    uint64_t changedFrames = 0;
    auto draw = [&](const auto& use) {
        tovra::LectureScript script(commands);
        tovra::LecturePicture picture(width, height, true, placement, pointer);
        const QSize pageSize = picture.PageRect().size();
        const QSize camSize = picture.CameraRect().size();
        std::map<long long, QImage> pictures;
        std::size_t next = 0;
        QImage latest;
        pageSeconds = 0;
        changedFrames = 0;
        for (uint64_t n = 0; n < frames; ++n) {
            const uint64_t t = n * 1000 / kFrameRate;
            const tovra::LectureScene& scene = script.At(t);
            const long long key = scene.page * 100000LL + scene.step;
            auto found = pictures.find(key);
            if (found == pictures.end()) {
                const double before = ThreadCpuSeconds();
                found = pictures.emplace(key, scene.page ? deck.Picture(scene.page, scene.step, pageSize) : QImage()).first;
                pageSeconds += ThreadCpuSeconds() - before;
            }
            bool fresh = false;
            while (next < cameraFrames.size() && cameraTimes[next] <= t) {
                latest = QImage(cameraFrames[next].data(), camSize.width(), camSize.height(), camSize.width() * 4,
                                QImage::Format_RGB32).copy();
                fresh = true;
                ++next;
            }
            changedFrames += picture.Compose(found->second, key, scene, t, fresh ? &latest : nullptr);
            use(picture.Frame(), tovra::ChangedParts(picture));
        }
    };
    const Stage drawing = Time([&] { draw([](const QImage&, const std::vector<tovra::PixelRect>&) {}); });
    const double pagesAlone = pageSeconds;

    // The conversion to YUV as the MP4 writer makes it: the changed parts of each frame, BT.709.
    std::vector<uint8_t> yuv(static_cast<size_t>(width) * height * 3 / 2);
    const tovra::I420Planes planes{yuv.data(), yuv.data() + width * height, yuv.data() + width * height * 5 / 4,
                                   width, width / 2, width / 2};
    uint64_t convertedPixels = 0;
    const Stage converting = Time([&] {
        draw([&](const QImage& frame, const std::vector<tovra::PixelRect>& changed) {
            for (const tovra::PixelRect& part : changed) {
                tovra::ConvertBgrxToI420(frame.constBits(), static_cast<int>(frame.bytesPerLine()), width, height, part,
                                         planes);
                convertedPixels += static_cast<uint64_t>(part.width) * part.height;
            }
        });
    });

    bool ok = true;
    const std::string videoOnly = folder + "/phase-video.mp4", soundOnly = folder + "/phase-sound.mp4";
    const Stage h264 = Time([&] {
        tovra::Mp4Writer writer;
        tovra::Mp4Settings settings{width, height, kFrameRate, kSoundRate, 0};
        ok = writer.Open(videoOnly, settings);
        draw([&](const QImage& frame, const std::vector<tovra::PixelRect>& changed) {
            ok = ok && writer.WriteFrame(frame.constBits(), static_cast<int>(frame.bytesPerLine()), changed);
        });
        ok = ok && writer.Close();
        if (!ok) std::fprintf(stderr, "writing %s failed: %s\n", videoOnly.c_str(), writer.Error().c_str());
    });
    const Stage aac = Time([&] {
        if (!ok) return;
        tovra::Mp4Writer writer;
        tovra::Mp4Settings settings{16, 16, kFrameRate, kSoundRate, 1};
        ok = writer.Open(soundOnly, settings);
        const std::vector<uint8_t> black(16 * 16 * 4);
        const size_t perFrame = kSoundRate / kFrameRate;
        for (uint64_t n = 0; ok && n < frames; ++n) {
            ok = writer.WriteFrame(black.data(), 16 * 4, n > 0);
            const size_t at = n * perFrame;
            if (ok && at < samples.size()) ok = writer.WriteAudio(&samples[at], std::min(perFrame, samples.size() - at));
        }
        ok = ok && writer.Close();
        if (!ok) std::fprintf(stderr, "writing %s failed: %s\n", soundOnly.c_str(), writer.Error().c_str());
    });
    if (!ok) return false;

    const double lecture = durationMs / 1000.0;
    auto line = [&](const char* name, Stage s) {
        std::printf("  %-52s %6.2f s wall %6.2f s CPU (%5.1f ms CPU per frame)\n", name, s.wall, s.cpu,
                    1000 * s.cpu / frames);
    };
    std::printf("stages alone at %dx%d, %.0f s lecture, %llu frames (%llu drawn anew), %zu camera pictures %dx%d:\n",
                width, height, lecture, static_cast<unsigned long long>(frames),
                static_cast<unsigned long long>(changedFrames), cameraFrames.size(), cameraRect.width(),
                cameraRect.height());
    line("camera: VP8 decoded, scaled to its column (BGRA)", camera);
    line("camera: VP8 decoded, converted at 640x480 (no scaling)", cameraOwnSize);
    line("sound: Opus decoded, resampled to 48 kHz mono", sound);
    line("frames drawn (pages, ink, pointer, camera), no encoding", drawing);
    std::printf("  %-52s %6.2f s CPU\n", "  of which the 20 slides fitted to the page", pagesAlone);
    line("frames drawn + changed parts converted to YUV 4:2:0", converting);
    std::printf("  %-52s %6.1f %%\n", "  of which the share of the pixels converted",
                100.0 * convertedPixels / (static_cast<double>(width) * height * frames));
    line("frames drawn + H.264 (conversion + x264, 2 threads), no sound", h264);
    line("sound alone: AAC 96 kbit/s (16x16 picture beside it)", aac);
    std::printf("  so, by difference: conversion %.2f s CPU, x264 and muxing %.2f s CPU (%.2f s wall)\n",
                converting.cpu - drawing.cpu, h264.cpu - converting.cpu, h264.wall - converting.wall);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int minutes = 10;
    bool keep = false, phases = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0) keep = true;
        else if (std::strcmp(argv[i], "--phases") == 0) phases = true;
        else if (std::atoi(argv[i]) > 0) minutes = std::atoi(argv[i]);
        else {
            std::fprintf(stderr, "usage: %s [minutes] [--keep] [--phases]\n", argv[0]);
            return 2;
        }
    }
    // The slides' text needs fonts, and so a GUI application, but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    std::string folder = (fs::temp_directory_path() / "tovra-export-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const int seconds = minutes * 60;
    tovra::CourseProject course;
    const auto made = Clock::now();
    if (!MakeCourse(folder + "/Bench", seconds, course)) return 1;
    std::printf("%d-minute lecture over %d slides 1024x768, VGA VP8 camera + 48 kHz mono Opus, made in %.1f s (%s)\n",
                minutes, kSlides, Seconds(made), course.folder.c_str());

    struct Size {
        int width, height;
        std::vector<Measured> runs;
    };
    Size sizes[] = {{1280, 720, {}}, {1920, 1080, {}}};
    // The sizes take turns, so that the machine's other work falls on both alike.
    for (int round = 1; round <= 3; ++round) {
        for (Size& size : sizes) {
            Measured m;
            const std::string mp4 = folder + "/lecture-" + std::to_string(size.height) + "p.mp4";
            if (!Export(course, mp4, size.width, size.height, m)) {
                std::fprintf(stderr, "(the course is left in %s)\n", course.folder.c_str());
                return 1;
            }
            std::printf("%4dx%-4d run %d: %6.2f s wall, %6.2f s CPU (%5.2f s on the calling thread), %5.2fx real "
                        "time, %5.1f MB; other processes %5.2f s CPU meanwhile\n",
                        size.width, size.height, round, m.wall, m.cpu, m.ownThread, m.factor, m.mb, m.others);
            std::fflush(stdout);
            size.runs.push_back(m);
        }
    }
    Measured median[2];
    for (int i = 0; i < 2; ++i) {
        std::vector<double> wall, cpu, factor, mb, thread;
        for (const Measured& m : sizes[i].runs) {
            wall.push_back(m.wall);
            cpu.push_back(m.cpu);
            factor.push_back(m.factor);
            mb.push_back(m.mb);
            thread.push_back(m.ownThread);
        }
        median[i] = {Median(wall), Median(cpu), Median(factor), Median(mb), Median(thread)};
    }
    const bool met = median[0].factor >= kGoal;
    for (int i = 0; i < 2; ++i) {
        std::printf("%4dx%-4d median: %6.2f s wall, %6.2f s CPU (%5.2f s on the calling thread), %5.2fx real time, "
                    "%5.1f MB%s\n",
                    sizes[i].width, sizes[i].height, median[i].wall, median[i].cpu, median[i].ownThread,
                    median[i].factor, median[i].mb,
                    i ? "" : met ? " (goal: at least 4x): goal met" : " (goal: at least 4x): goal missed");
    }
    std::printf("1920x1080 against 1280x720: %.2fx the wall time, %.2fx the CPU\n", median[1].wall / median[0].wall,
                median[1].cpu / median[0].cpu);
    std::fflush(stdout);

    if ((phases || !met) && !Phases(course, folder, 1280, 720)) return 1;
    if (keep) std::printf("kept %s\n", folder.c_str());
    else fs::remove_all(folder);
    return 0;
}
