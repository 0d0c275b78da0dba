// Writes a ten-minute recording (9000 frames, 2400 sound buffers, 1200 commands) as fast as it
// can, then has ffmpeg encode the same pictures and sound to wmv2/wmav2 ASF in the same run,
// and reports both times, their ratio and the video bitrates achieved at 40, 80 and 800 kbit/s;
// then the processor time the browsers' WebM companion adds to the same recording, on two kinds
// of picture: fully moving (the worst case) and camera-like (a still scene with sensor noise and
// one small moving region), with its parts (VP8 alone, Opus alone) and its share of the whole
// recording's cost, capture included (the test-pattern camera's capture layer, measured here);
// last, both files' writing as a recording feeds them, with the formats of old (320 x 240
// pictures, 8 kHz sound) against today's camera and microphone (640 x 480 I420, 48 kHz 16-bit).
// Usage: tovra-media-bench [--companion-only] [--capture-seconds N] [--keep] [output folder]
// (--keep leaves the files of the companion measurement in the folder for a look at them).
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

extern "C" {
#include <libavutil/log.h>
}

#include "bench/cpu_time.h"
#include "media/companion_writer.h"
#include "media/media_writer.h"
#include "media/recording_sinks.h"
#include "media/video_capture.h"
#include "platform/capture/preview_window.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 320, kHeight = 240, kFps = 15;
constexpr uint32_t kFrameBytes = kWidth * kHeight * 3;
constexpr int kFrames = 9000, kBuffers = 2400, kDistinctFrames = 60;

// Moving content, top-down B G R rows.
std::vector<std::vector<uint8_t>> MakeFrames() {
    std::vector<std::vector<uint8_t>> frames(kDistinctFrames, std::vector<uint8_t>(kFrameBytes));
    for (int n = 0; n < kDistinctFrames; ++n) {
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                uint8_t* p = &frames[n][(y * kWidth + x) * 3];
                p[0] = static_cast<uint8_t>((x + n * 5) & 0xFF);
                p[1] = static_cast<uint8_t>((y * 2 + n * 3) & 0xFF);
                p[2] = static_cast<uint8_t>(((x ^ y) + n * 7) & 0xFF);
            }
        }
    }
    return frames;
}

// What a webcam on a lecturer gives: a still room (gradients and a few flat shapes), sensor noise
// of a few levels on every pixel of every frame, and one 48 x 64 region (a head) that moves.
std::vector<std::vector<uint8_t>> MakeCameraFrames() {
    std::vector<std::vector<uint8_t>> frames(kDistinctFrames, std::vector<uint8_t>(kFrameBytes));
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> noise(-3, 3);
    for (int n = 0; n < kDistinctFrames; ++n) {
        const int headX = 120 + static_cast<int>(40 * std::sin(n * 2 * M_PI / kDistinctFrames));
        const int headY = 70 + static_cast<int>(10 * std::sin(n * 4 * M_PI / kDistinctFrames));
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                int b = 60 + x / 4, g = 70 + y / 3, r = 90 + (x + y) / 8;      // the wall
                if (y > 170) b = 40, g = 50, r = 70;                           // the desk
                if (x > 230 && x < 300 && y > 30 && y < 120) b = g = r = 220;  // a board
                const bool head = x >= headX && x < headX + 48 && y >= headY && y < headY + 64;
                if (head) b = 110 + (x - headX), g = 140 + (y - headY) / 2, r = 190;
                uint8_t* p = &frames[n][(y * kWidth + x) * 3];
                p[0] = static_cast<uint8_t>(std::clamp(b + noise(random), 0, 255));
                p[1] = static_cast<uint8_t>(std::clamp(g + noise(random), 0, 255));
                p[2] = static_cast<uint8_t>(std::clamp(r + noise(random), 0, 255));
            }
        }
    }
    return frames;
}

std::vector<uint8_t> BottomUp(const std::vector<uint8_t>& topDown) {
    std::vector<uint8_t> out(topDown.size());
    const std::size_t row = kWidth * 3;
    for (int y = 0; y < kHeight; ++y) std::copy_n(&topDown[y * row], row, &out[(kHeight - 1 - y) * row]);
    return out;
}

std::vector<uint8_t> Sound() {
    std::vector<uint8_t> pcm(kBuffers * 2000);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<uint8_t>(128 + 90 * std::sin(i * 2 * M_PI * 440 / 8000));
    return pcm;
}

// The camera-like scene at 640 x 480 in I420, as a VGA camera hands it over: the same room with
// sensor noise on every pixel's luma and one 96 x 128 moving region.
std::vector<std::vector<uint8_t>> MakeVgaCameraFrames() {
    constexpr int w = 640, h = 480, cw = w / 2, ch = h / 2;
    std::vector<std::vector<uint8_t>> frames(kDistinctFrames, std::vector<uint8_t>(tovra::capture::I420Size(w, h)));
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> noise(-3, 3);
    for (int n = 0; n < kDistinctFrames; ++n) {
        const int headX = 240 + static_cast<int>(80 * std::sin(n * 2 * M_PI / kDistinctFrames));
        const int headY = 140 + static_cast<int>(20 * std::sin(n * 4 * M_PI / kDistinctFrames));
        uint8_t* y = frames[n].data();
        uint8_t* u = y + w * h;
        uint8_t* v = u + cw * ch;
        for (int row = 0; row < h; ++row) {
            for (int x = 0; x < w; ++x) {
                int luma = 70 + x / 10 + row / 8;
                if (row > 340) luma = 50;
                if (x > 460 && x < 600 && row > 60 && row < 240) luma = 215;
                if (x >= headX && x < headX + 96 && row >= headY && row < headY + 128) luma = 140 + (x - headX) / 2;
                y[row * w + x] = static_cast<uint8_t>(std::clamp(luma + noise(random), 16, 235));
            }
        }
        for (int row = 0; row < ch; ++row) {
            for (int x = 0; x < cw; ++x) {
                const bool head = 2 * x >= headX && 2 * x < headX + 96 && 2 * row >= headY && 2 * row < headY + 128;
                u[row * cw + x] = static_cast<uint8_t>(head ? 110 : 120 + x / 40);
                v[row * cw + x] = static_cast<uint8_t>(head ? 160 : 130);
            }
        }
    }
    return frames;
}

// Ten minutes of speech-band sound at 48 kHz, 16-bit: a 440 Hz tone with some noise.
std::vector<uint8_t> Sound48k() {
    std::vector<uint8_t> pcm(kBuffers * 24000);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-300, 300);
    for (std::size_t i = 0; i < pcm.size() / 2; ++i) {
        const int16_t sample = static_cast<int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / 48000) + noise(random));
        std::memcpy(&pcm[2 * i], &sample, 2);
    }
    return pcm;
}

using tovra::bench::ProcessCpuSeconds;

// Processor time of writing ten minutes through the recording's two sinks, as a recording feeds
// them: the .wmv (converting what it is given to its 320 x 240 and 8 kHz) and the companion.
double CpuOfSinks(const std::string& path, const tovra::wmf::BitmapInfoHeader& picture,
                  const std::vector<std::vector<uint8_t>>& frames, const tovra::wmf::WaveFormatEx& sound,
                  const std::vector<uint8_t>& pcm) {
    const double before = ProcessCpuSeconds();
    tovra::MediaWriter writer;
    tovra::CompanionWriter companion;
    const tovra::wmf::WaveFormatEx own = tovra::RecordingSoundFormat();
    if (!writer.Start(path, tovra::RecordingPictureFormat(), kFps, 80000, &own) ||
        !companion.Start(path + ".webm", path + ".js", picture, kFps, &sound)) {
        std::fprintf(stderr, "writing %s failed\n", path.c_str());
        std::exit(1);
    }
    tovra::MediaWriterSink wmv(writer, sound, picture);
    tovra::CompanionSink browsers(companion);
    const uint32_t buffer = sound.avgBytesPerSec / 4;
    int frame = 0;
    for (int b = 1; b <= kBuffers; ++b) {
        const uint32_t clock = b * 250;
        for (; frame < kFrames && static_cast<uint32_t>(frame * 1000 / kFps) < clock; ++frame) {
            const auto& data = frames[frame % kDistinctFrames];
            wmv.WriteVideo(frame * 1000 / kFps, data.data(), static_cast<uint32_t>(data.size()));
            browsers.WriteVideo(frame * 1000 / kFps, data.data(), static_cast<uint32_t>(data.size()));
        }
        wmv.WriteAudio(clock, &pcm[(b - 1) * buffer], buffer);
        browsers.WriteAudio(clock, &pcm[(b - 1) * buffer], buffer);
    }
    wmv.Close();
    browsers.Close();
    return ProcessCpuSeconds() - before;
}

// What one run feeds: the recording's own writer, the companion, and which of the companion's
// streams get their samples (the other one is set up but left unfed, to time the parts alone).
struct Feed {
    bool wmv = true;
    tovra::CompanionWriter* companion = nullptr;
    bool companionPictures = true;
    bool companionSound = true;
};

double WriteWithMediaWriter(const std::string& path, uint32_t bitrate, const std::vector<std::vector<uint8_t>>& frames,
                            const std::vector<uint8_t>& pcm, const Feed& feed = {}) {
    std::vector<std::vector<uint8_t>> dib;
    for (const auto& f : frames) dib.push_back(BottomUp(f));
    tovra::MediaWriter writer;
    tovra::CompanionWriter* companion = feed.companion;
    const tovra::wmf::WaveFormatEx wave{1, 1, 8000, 8000, 1, 8, {}};
    const tovra::wmf::BitmapInfoHeader header{40, kWidth, kHeight, 1, 24, 0, kFrameBytes};
    const auto start = Clock::now();
    if (feed.wmv && !writer.Start(path, header, kFps, bitrate, &wave)) return -1;
    if (companion &&
        !companion->Start(path + ".webm", path + ".js", header, kFps, feed.companionSound ? &wave : nullptr)) {
        return -1;
    }
    int frame = 0;
    for (int b = 1; b <= kBuffers; ++b) {
        const uint32_t clock = b * 250;
        for (; frame < kFrames && static_cast<uint32_t>(frame * 1000 / kFps) < clock; ++frame) {
            const uint8_t* picture = dib[frame % kDistinctFrames].data();
            if (feed.wmv) writer.WriteVideo(frame * 1000 / kFps, picture, kFrameBytes);
            if (companion && feed.companionPictures) companion->WriteVideo(frame * 1000 / kFps, picture, kFrameBytes);
        }
        if (feed.wmv) writer.WriteAudio(clock, &pcm[(b - 1) * 2000], 2000);
        if (companion && feed.companionSound) companion->WriteAudio(clock, &pcm[(b - 1) * 2000], 2000);
        if (b % 2 == 0) {
            const std::string command = "pages,(" + std::to_string(b / 40 + 1) + "," + std::to_string(b % 5) + ")";
            if (feed.wmv) writer.WriteScript(clock, command);
            if (companion) companion->WriteScript(clock, command);
        }
    }
    writer.Close();
    if (companion) companion->Close();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time of one run, seconds.
double CpuOf(const std::string& path, const std::vector<std::vector<uint8_t>>& frames, const std::vector<uint8_t>& pcm,
             const Feed& feed) {
    const double before = ProcessCpuSeconds();
    if (WriteWithMediaWriter(path, 80000, frames, pcm, feed) < 0) {
        std::fprintf(stderr, "writing %s failed\n", path.c_str());
        std::exit(1);
    }
    return ProcessCpuSeconds() - before;
}

// The capture layer's processor time on the test-pattern camera (GStreamer's threads, the preview,
// the camera frame thread), measured over `seconds` and given per ten minutes; -1 without it.
double CaptureCpuPerTenMinutes(int seconds) {
    setenv("TOVRA_TEST_CAMERA", "1", 0);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "tovra-media-bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QWidget preview;
    preview.resize(160, 120);
    preview.show();
    tovra::VideoCapture capture;
    int camera = -1;
    capture.SetPreviewPresenter(tovra::capture::MakeWidgetPreview);
    capture.EnumerateDevices(0);
    for (int i = 0; i < capture.DeviceCount(); ++i)
        if (capture.Device(i).friendlyName == "Test Pattern Camera") camera = i;
    if (camera < 0 || capture.EnumerateDevices(camera) != camera || !capture.BuildGraph(&preview, &preview)) return -1;
    QTimer::singleShot(1000, &app, &QApplication::quit);  // let the preview settle first
    app.exec();
    struct Count {
        static int Frame(const uint8_t* bits, int, void* user) {
            if (bits) ++*static_cast<int*>(user);
            return 0;
        }
    };
    int delivered = 0;
    const double before = ProcessCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    capture.StartFrameThread(kWidth, kHeight, &Count::Frame, &delivered);
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    app.exec();
    capture.StopFrameThread();
    const double cpu = ProcessCpuSeconds() - before;
    const double wallSeconds = wall.elapsed() / 1000.0;
    std::printf("capture on the test camera: %d frames in %.1f s, %.2f s CPU (%.2f s per 10 minutes)\n", delivered,
                wallSeconds, cpu, cpu * 600 / wallSeconds);
    capture.ReleaseGraph();
    return delivered > 0 ? cpu * 600 / wallSeconds : -1;
}

double WriteWithFfmpeg(const std::string& path, uint32_t bitrate, const std::vector<std::vector<uint8_t>>& frames,
                       const std::string& soundFile) {
    const std::string command =
        "ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s 320x240 -r 15 -i - -f u8 -ar 8000 "
        "-ac 1 -i " +
        soundFile + " -c:v wmv2 -b:v " + std::to_string(bitrate) + " -g 300 -c:a wmav2 -b:a 24000 -f asf " + path;
    const auto start = Clock::now();
    FILE* pipe = popen(command.c_str(), "w");
    if (!pipe) return -1;
    for (int n = 0; n < kFrames; ++n) fwrite(frames[n % kDistinctFrames].data(), 1, kFrameBytes, pipe);
    if (pclose(pipe) != 0) return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double VideoKbps(const std::string& path) {
    const std::string command = "ffprobe -v error -select_streams v -show_entries packet=size -of csv=p=0 " + path;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    double bytes = 0;
    char line[64];
    while (fgets(line, sizeof line, pipe)) bytes += std::atof(line);
    pclose(pipe);
    return bytes * 8 / (kFrames / double(kFps)) / 1000;
}

}  // namespace

int main(int argc, char** argv) {
    bool companionOnly = false;
    bool keep = false;
    int captureSeconds = 30;
    std::string folder = (std::filesystem::temp_directory_path() / "tovra-media-bench").string();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--companion-only") == 0)
            companionOnly = true;
        else if (std::strcmp(argv[i], "--keep") == 0)
            keep = true;
        else if (std::strcmp(argv[i], "--capture-seconds") == 0 && i + 1 < argc)
            captureSeconds = std::atoi(argv[++i]);
        else
            folder = argv[i];
    }
    // The noisy source makes the wmv encoder report every rate-control underflow at 80 kbit/s.
    av_log_set_level(AV_LOG_FATAL);
    std::filesystem::create_directories(folder);
    const auto frames = MakeFrames();
    const auto pcm = Sound();

    std::printf("10 minutes: %d frames 320x240 at 15/s, %d sound buffers, %d commands\n", kFrames, kBuffers,
                kBuffers / 2);
    if (!companionOnly) {
        const std::string soundFile = folder + "/sound.u8";
        std::ofstream(soundFile, std::ios::binary).write(reinterpret_cast<const char*>(pcm.data()), pcm.size());
        for (uint32_t kbps : {80u, 40u, 800u}) {
            const std::string ours = folder + "/ours-" + std::to_string(kbps) + ".wmv";
            const std::string theirs = folder + "/ffmpeg-" + std::to_string(kbps) + ".wmv";
            const double tOurs = WriteWithMediaWriter(ours, kbps * 1000, frames, pcm);
            const double tTheirs = WriteWithFfmpeg(theirs, kbps * 1000, frames, soundFile);
            std::printf(
                "%4u kbit/s: MediaWriter %.2f s, ffmpeg %.2f s, ratio %.2f; video bitrate achieved %.1f kbit/s "
                "(ffmpeg %.1f)\n",
                kbps, tOurs, tTheirs, tOurs / tTheirs, VideoKbps(ours), VideoKbps(theirs));
        }
    }

    // The capture layer's cost is part of every recording's; wave-in is not in it, so the share
    // below is if anything overstated.
    const double capture = CaptureCpuPerTenMinutes(captureSeconds);
    if (capture < 0) std::printf("capture: no test camera, so the share below leaves capture out\n");
    const double captureCost = std::max(capture, 0.0);

    // What the browsers' companion adds to the recording, in processor time.
    struct Source {
        const char* name;
        const char* file;
        std::vector<std::vector<uint8_t>> frames;
    };
    const Source sources[] = {{"fully moving (worst case)", "moving", frames},
                              {"camera-like (still, noise, one moving region)", "camera", MakeCameraFrames()}};
    std::string notMet;
    for (const Source& source : sources) {
        tovra::CompanionWriter companion;
        const std::string base = folder + "/" + source.file;
        const double alone = CpuOf(base + "-alone.wmv", source.frames, pcm, {});
        const double with = CpuOf(base + ".wmv", source.frames, pcm, {true, &companion});
        const double vp8 = CpuOf(base + "-vp8", source.frames, pcm, {false, &companion, true, false});
        const double opus = CpuOf(base + "-opus", source.frames, pcm, {false, &companion, false, true});
        const double added = with - alone;
        const double share = 100 * added / (captureCost + alone);
        const bool met = share <= 20;
        if (!met) notMet += std::string(notMet.empty() ? "" : ", ") + source.file;
        std::printf("%s:\n", source.name);
        std::printf("  wmv alone %.2f s CPU, wmv + companion %.2f s CPU: the companion adds %.2f s\n", alone, with,
                    added);
        std::printf("  companion's parts alone: VP8 %.2f s, Opus %.2f s; webm %.0f kB\n", vp8, opus,
                    std::filesystem::file_size(base + ".wmv.webm") / 1000.0);
        std::printf("  companion %.2f s = %.1f %% of capture %.2f s + wmv %.2f s (goal: at most 20 %%): %s\n", added,
                    share, captureCost, alone, met ? "met" : "NOT met");
    }
    if (notMet.empty())
        std::printf("goal (companion at most 20 %% of the recording's cost): met on every source\n");
    else
        std::printf("goal (companion at most 20 %% of the recording's cost): NOT met on %s\n", notMet.c_str());

    // Both files as a recording writes them, camera-like pictures: the formats of old against
    // today's camera and microphone, each once alone and once beside the companion.
    {
        const auto camera = MakeCameraFrames();
        std::vector<std::vector<uint8_t>> dibs;
        for (const auto& f : camera) dibs.push_back(BottomUp(f));
        const double old = CpuOfSinks(folder + "/old-formats.wmv", tovra::RecordingPictureFormat(), dibs,
                                      tovra::RecordingSoundFormat(), pcm);
        const double today = CpuOfSinks(folder + "/vga-48k.wmv", tovra::I420PictureFormat(640, 480),
                                        MakeVgaCameraFrames(), tovra::Pcm16Format(48000), Sound48k());
        std::printf("recording's writers, camera-like, 10 minutes: 320x240 + 8 kHz %.2f s CPU, 640x480 I420 + 48 kHz "
                    "%.2f s CPU (%.2f s more per recorded minute); webm %.0f kB against %.0f kB\n",
                    old, today, (today - old) / 10, std::filesystem::file_size(folder + "/vga-48k.wmv.webm") / 1000.0,
                    std::filesystem::file_size(folder + "/old-formats.wmv.webm") / 1000.0);
    }
    if (!keep) std::filesystem::remove_all(folder);
    return 0;
}
