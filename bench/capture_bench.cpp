// Runs the camera frame thread on the test-pattern camera (with its preview shown) for a while and
// reports the delivered frame rate, the tick jitter, and the CPU the capture costs per minute:
// the whole process (GStreamer's threads, the preview, the frame thread) and the frame thread alone.
// Usage: tovra-capture-bench [seconds, default 30]
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <numeric>
#include <vector>

#include <sys/resource.h>

#include "bench/cpu_time.h"
#include "media/video_capture.h"
#include "platform/capture/preview_window.h"

namespace {

using tovra::bench::ProcessCpuSeconds;
using tovra::bench::ThreadCpuSeconds;

struct Delivered {
    std::mutex mutex;
    std::vector<double> tickMs;
    double threadCpuSeconds = 0;  // of the frame thread, at its last call
    uint64_t checksum = 0;        // keeps the frame read from being optimised away

    static int Callback(const uint8_t* bits, int, void* user) {
        auto* self = static_cast<Delivered*>(user);
        if (!bits) return 0;
        const double now = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
        std::lock_guard lock(self->mutex);
        self->tickMs.push_back(now);
        self->checksum += bits[0] + bits[320 * 240 * 3 - 1];
        self->threadCpuSeconds = ThreadCpuSeconds();
        return 0;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 30;
    setenv("TOVRA_TEST_CAMERA", "1", 0);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QWidget preview;
    preview.resize(160, 120);
    preview.show();

    tovra::VideoCapture capture;
    int camera = -1;
    capture.SetPreviewPresenter(tovra::capture::MakeWidgetPreview);
    capture.EnumerateDevices(0);
    for (int i = 0; i < capture.DeviceCount(); ++i) {
        if (capture.Device(i).friendlyName == "Test Pattern Camera") camera = i;
    }
    if (camera < 0 || capture.EnumerateDevices(camera) != camera || !capture.BuildGraph(&preview, &preview)) {
        std::fprintf(stderr, "no test camera\n");
        return 1;
    }

    // Let the preview settle before measuring.
    QTimer::singleShot(1000, &app, &QApplication::quit);
    app.exec();

    Delivered delivered;
    const double cpuBefore = ProcessCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    capture.StartFrameThread(320, 240, &Delivered::Callback, &delivered);
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    app.exec();
    capture.StopFrameThread();
    const double wallSeconds = wall.elapsed() / 1000.0;
    const double cpu = ProcessCpuSeconds() - cpuBefore;

    std::lock_guard lock(delivered.mutex);
    const auto& t = delivered.tickMs;
    if (t.size() < 2) {
        std::fprintf(stderr, "no frames delivered\n");
        return 1;
    }
    std::vector<double> gaps;
    for (size_t i = 1; i < t.size(); ++i) gaps.push_back(t[i] - t[i - 1]);
    const double mean = std::accumulate(gaps.begin(), gaps.end(), 0.0) / gaps.size();
    double variance = 0;
    for (double g : gaps) variance += (g - mean) * (g - mean);
    const double sd = std::sqrt(variance / gaps.size());
    std::sort(gaps.begin(), gaps.end());
    const double p99 = gaps[static_cast<size_t>(0.99 * (gaps.size() - 1))];

    std::printf("frame thread on the test camera, 320 x 240 at 15 frames/s, %.1f s\n", wallSeconds);
    std::printf("  delivered        %zu frames, %.2f frames/s\n", t.size(), (t.size() - 1) / ((t.back() - t.front()) / 1000));
    std::printf("  tick spacing     mean %.2f ms, sd %.2f ms, min %.1f ms, p99 %.1f ms, max %.1f ms\n", mean, sd,
                gaps.front(), p99, gaps.back());
    std::printf("  CPU per minute   %.2f s whole capture (%.1f %% of one core), %.3f s frame thread alone\n",
                cpu * 60 / wallSeconds, cpu / wallSeconds * 100, delivered.threadCpuSeconds * 60 / wallSeconds);
    std::printf("  (checksum %llu)\n", static_cast<unsigned long long>(delivered.checksum));
    return 0;
}
