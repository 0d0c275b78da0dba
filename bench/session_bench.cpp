// The recording session alone, without the view or the browser engine, on the real writers (the
// .wmv and its companion). Two runs:
//  - ten minutes of a synthetic tone and picture fed as fast as the session takes them;
//  - a real-time run from the sound server's default source (the microphone) with pictures from a
//    thread at 15 a second, as the camera's frame thread gives them.
// Each reports the time the session takes per sound buffer (p50, p99; goal p99 < 5 ms), buffers lost (a buffer with
// no data, or one that came more than a buffer late), the largest gap between the sound's clock
// and the pictures' time after a buffer (goal under one frame, 67 ms), frames the session refused
// or moved, and processor seconds per recorded minute.
// Run it where a sound server is up: bash scripts/test-env build/bin/tovra-session-bench [seconds]
#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "bench/cpu_time.h"
#include "media/audio_capture.h"
#include "media/companion_writer.h"
#include "media/media_writer.h"
#include "media/recording_session.h"
#include "media/recording_sinks.h"

namespace {

using namespace tovra;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBufferBytes = 2000;  // 250 ms of 8 kHz 8-bit mono

// The two writers behind one session, in a folder of their own.
struct Recording {
    QTemporaryDir dir;
    MediaWriter writer;
    CompanionWriter companion;
    RecordingSession session{{}};

    bool Start() {
        const std::string folder = dir.path().toStdString();
        const wmf::WaveFormatEx sound = RecordingSoundFormat();
        if (!writer.Start(folder + "/video001.wmv", RecordingPictureFormat(), 15, 200000, &sound)) return false;
        companion.Start(folder + "/video001.webm", folder + "/video001.js", RecordingPictureFormat(), 15, &sound);
        session.Start(std::make_unique<TeeSink>(std::make_unique<MediaWriterSink>(writer),
                                                std::make_unique<CompanionSink>(companion)),
                      0);
        return true;
    }
};

struct Figures {
    std::vector<double> bufferMs;
    int lost = 0;
    double largestGapMs = 0;
    int framesRefused = 0, framesMoved = 0;
    double cpuSeconds = 0, recordedSeconds = 0;

    void NoteGap(const RecordingSession& session) {
        const double pictures = session.FrameCount() * 1000.0 / 15;
        largestGapMs = std::max(largestGapMs, std::fabs(pictures - session.ClockMs()));
    }
    void Print(const char* title) {
        std::sort(bufferMs.begin(), bufferMs.end());
        auto at = [&](double q) { return bufferMs.empty() ? 0 : bufferMs[size_t(q * (bufferMs.size() - 1))]; };
        std::printf("%s: %.0f s recorded, %zu buffers\n", title, recordedSeconds, bufferMs.size());
        std::printf("  per buffer            p50 %.3f ms, p99 %.3f ms (goal p99 < 5 ms: %s)\n", at(0.5), at(0.99),
                    at(0.99) < 5 ? "met" : "NOT met");
        std::printf("  buffers lost          %d (goal 0: %s)\n", lost, lost == 0 ? "met" : "NOT met");
        std::printf("  largest sound-picture gap %.1f ms (goal < 67 ms: %s)\n", largestGapMs,
                    largestGapMs < 67 ? "met" : "NOT met");
        std::printf("  frames refused %d, moved by the correction %d\n", framesRefused, framesMoved);
        std::printf("  processor time        %.2f s per recorded minute\n",
                    recordedSeconds > 0 ? cpuSeconds * 60 / recordedSeconds : 0);
    }
};

// A picture that changes a little from frame to frame, as a lecturer in front of a camera does.
void Paint(std::vector<uint8_t>& frame, uint32_t number) {
    const size_t band = (number * 960) % frame.size();
    std::fill(frame.begin() + band, frame.begin() + std::min(frame.size(), band + 960), uint8_t(number * 7));
}

Figures FastRun(int buffers) {
    Figures figures;
    Recording recording;
    if (!recording.Start()) {
        std::fprintf(stderr, "the writers did not start\n");
        std::exit(1);
    }
    std::vector<uint8_t> sound(kBufferBytes), frame(320 * 240 * 3, 90);
    long sample = 0;
    const double cpuBefore = bench::ProcessCpuSeconds();
    for (int i = 0; i < buffers; ++i) {
        for (auto& s : sound) s = static_cast<uint8_t>(128 + 60 * std::sin(2 * M_PI * 440 * double(sample++) / 8000));
        const auto start = Clock::now();
        recording.session.OnAudioBuffer(sound.data(), kBufferBytes, {1, 0, SessionPoint{i % 300, 5}});
        figures.bufferMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        while (recording.session.FrameCount() * 1000 / 15 < recording.session.ClockMs()) {
            const uint32_t number = recording.session.FrameCount();
            Paint(frame, number);
            if (!recording.session.OnVideoFrame(frame.data(), uint32_t(frame.size()))) {
                ++figures.framesRefused;
                break;
            }
            if (recording.session.FrameCount() != number + 1) ++figures.framesMoved;
        }
        figures.NoteGap(recording.session);
    }
    recording.session.Stop();
    figures.cpuSeconds = bench::ProcessCpuSeconds() - cpuBefore;
    figures.recordedSeconds = buffers * 0.25;
    return figures;
}

Figures RealTimeRun(int seconds) {
    Figures figures;
    Recording recording;
    AudioCapture microphone;
    if (!recording.Start()) {
        std::fprintf(stderr, "the writers did not start\n");
        std::exit(1);
    }
    auto last = Clock::now();
    bool first = true;
    const bool opened = microphone.Open(kBufferBytes, [&](const uint8_t* data, uint32_t length) {
        const auto now = Clock::now();
        if (!data || length != kBufferBytes) ++figures.lost;
        // A buffer more than one buffer late means the device had to drop one.
        if (!first && now - last > std::chrono::milliseconds(500)) ++figures.lost;
        first = false;
        last = now;
        const auto start = Clock::now();
        recording.session.OnAudioBuffer(data, length, {1, 0, std::nullopt});
        figures.bufferMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        figures.NoteGap(recording.session);
    });
    if (!opened) {
        std::fprintf(stderr, "no sound source: start a sound server (scripts/test-env does)\n");
        std::exit(1);
    }
    const double cpuBefore = bench::ProcessCpuSeconds();
    std::atomic<bool> run{true};
    std::atomic<int> refused{0}, moved{0};
    std::thread camera([&] {
        std::vector<uint8_t> frame(320 * 240 * 3, 90);
        auto next = Clock::now();
        while (run) {
            next += std::chrono::microseconds(1000000 / 15);
            std::this_thread::sleep_until(next);
            const uint32_t number = recording.session.FrameCount();
            Paint(frame, number);
            if (!recording.session.OnVideoFrame(frame.data(), uint32_t(frame.size()))) ++refused;
            else if (recording.session.FrameCount() != number + 1) ++moved;
        }
    });
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    microphone.Close();
    run = false;
    camera.join();
    figures.recordedSeconds = recording.session.ClockMs() / 1000.0;
    recording.session.Stop();
    figures.cpuSeconds = bench::ProcessCpuSeconds() - cpuBefore;
    figures.framesRefused = refused;
    figures.framesMoved = moved;
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;
    FastRun(2400).Print("ten minutes, fed as fast as taken");
    RealTimeRun(seconds).Print("real time, microphone and a 15 frames/s picture thread");
    return 0;
}
