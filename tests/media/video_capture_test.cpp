// VideoCapture: the format choice on a capability list double, the device list, and the frame
// thread and preview on the test-pattern camera (colour bars, GStreamer's videotestsrc).
#include "media/video_capture.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/capture/preview_window.h"
#include "tests/support/qt_test_application.h"

static ::testing::Environment* const kQtApp =
    ::testing::AddGlobalTestEnvironment(new tovra::testing_support::QtApplicationEnvironment<QApplication>);

namespace tovra {
namespace {

using namespace capture;
using testing_support::WaitUntil;

// A pin that accepts only the sizes in `accepted` and offers `capabilities`.
class FakeStreamConfig : public StreamConfig {
public:
    FakeStreamConfig(std::vector<std::pair<int, int>> capabilities, std::vector<std::pair<int, int>> accepted)
        : capabilities_(std::move(capabilities)), accepted_(std::move(accepted)) {
        current_ = Format(capabilities_.front().first, capabilities_.front().second);
    }
    HRESULT GetFormat(VideoMediaType& format) override {
        format = current_;
        return S_OK;
    }
    HRESULT SetFormat(const VideoMediaType& format) override {
        tried.emplace_back(format.biWidth, format.biHeight);
        for (const auto& size : accepted_) {
            if (size == std::pair{format.biWidth, format.biHeight}) {
                current_ = format;
                return S_OK;
            }
        }
        return VFW_E_INVALIDMEDIATYPE;
    }
    HRESULT GetNumberOfCapabilities(int& count) override {
        count = static_cast<int>(capabilities_.size());
        return S_OK;
    }
    HRESULT GetStreamCaps(int index, VideoMediaType& format) override {
        format = Format(capabilities_[index].first, capabilities_[index].second);
        return S_OK;
    }
    static VideoMediaType Format(int w, int h) {
        VideoMediaType f;
        f.subtype = "video/x-raw:YUY2";
        f.biWidth = w;
        f.biHeight = h;
        f.biBitCount = 16;
        f.biSizeImage = 2 * w * h;
        return f;
    }
    std::pair<int, int> Current() const { return {current_.biWidth, current_.biHeight}; }
    std::vector<std::pair<int, int>> tried;

private:
    std::vector<std::pair<int, int>> capabilities_, accepted_;
    VideoMediaType current_;
};

using Sizes = std::vector<std::pair<int, int>>;

TEST(ChooseCaptureFormat, TakesTheWantedSizeOrTheClosestCapabilityBelowIt) {
    {  // accepted as asked
        FakeStreamConfig pin({{640, 480}, {320, 240}}, {{640, 480}, {320, 240}});
        ChooseCaptureFormat(pin, 320, 240, 15);
        EXPECT_EQ(pin.tried, (Sizes{{320, 240}}));
    }
    {  // only 640 x 480 and 160 x 120: the wanted size and the standard 320 x 240 are refused
        FakeStreamConfig pin({{640, 480}, {160, 120}}, {{640, 480}, {160, 120}});
        ChooseCaptureFormat(pin, 320, 240, 15);
        EXPECT_EQ(pin.tried, (Sizes{{320, 240}, {320, 240}, {160, 120}}));
        EXPECT_EQ(pin.Current(), (std::pair{160, 120}));
    }
    {  // every capability larger: the current format stays
        FakeStreamConfig pin({{640, 480}, {1280, 720}}, {{640, 480}, {1280, 720}});
        ChooseCaptureFormat(pin, 320, 240, 15);
        EXPECT_EQ(pin.tried, (Sizes{{320, 240}}));
        EXPECT_EQ(pin.Current(), (std::pair{640, 480}));
    }
    {  // a refused 720 x 576 falls back to 640 x 480, then to the capability's own size
        FakeStreamConfig pin({{352, 288}}, {{352, 288}});
        ChooseCaptureFormat(pin, 800, 600, 15);
        EXPECT_EQ(pin.tried, (Sizes{{800, 600}, {720, 576}, {640, 480}, {352, 288}}));
        EXPECT_EQ(pin.Current(), (std::pair{352, 288}));
    }
}

class NamedMoniker : public Moniker {
public:
    explicit NamedMoniker(std::string name) : name_(std::move(name)) {}
    std::string FriendlyName() const override { return name_; }
    HRESULT BindToObject(std::shared_ptr<CaptureFilter>&) override { return E_FAIL; }

private:
    std::string name_;
};

VideoCapture::DeviceEnumerator Devices(std::vector<std::string> names) {
    return [names](std::vector<std::shared_ptr<Moniker>>& out) {
        out.clear();
        for (const auto& n : names) out.push_back(std::make_shared<NamedMoniker>(n));
        return out.empty() ? S_FALSE : S_OK;
    };
}

TEST(VideoCaptureDevices, ClampsThePreferredIndexCutsLongNamesAndKeepsTen) {
    VideoCapture capture;
    capture.SetDeviceEnumerator(Devices({"Camera A", "Camera B"}));
    EXPECT_EQ(capture.EnumerateDevices(5), 1);
    EXPECT_EQ(capture.EnumerateDevices(0), 0);

    capture.SetDeviceEnumerator(Devices({}));
    EXPECT_EQ(capture.EnumerateDevices(0), -1);
    EXPECT_FALSE(capture.BuildGraph(nullptr, nullptr));

    std::string chinese;
    for (int i = 0; i < 41; ++i) chinese += "\xE6\x91\x84";  // 41 x "摄", two bytes each in GBK
    capture.SetDeviceEnumerator(Devices({std::string(100, 'x'), chinese, "a", "b", "c", "d", "e", "f", "g", "h", "i"}));
    EXPECT_EQ(capture.EnumerateDevices(0), 0);
    EXPECT_EQ(capture.DeviceCount(), 10);
    EXPECT_EQ(capture.Device(0).friendlyName, std::string(80, 'x'));
    EXPECT_EQ(capture.Device(1).friendlyName.size(), 80u);  // forty whole characters
    EXPECT_EQ(capture.Device(9).friendlyName, "h");
}

// Collects what the frame thread delivers.
struct Frames {
    std::mutex mutex;
    std::vector<double> tickMs;  // call times of delivered frames
    std::vector<uint8_t> last;   // the last frame's bits
    int nullCalls = 0;
    int idleAfter = -1;  // return 1 once this many frames were delivered
    int frameBytes = static_cast<int>(I420Size(320, 240));

    static int Callback(const uint8_t* bits, int, void* user) {
        auto* self = static_cast<Frames*>(user);
        std::lock_guard lock(self->mutex);
        if (!bits) {
            ++self->nullCalls;
            return 1;
        }
        self->tickMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count());
        self->last.assign(bits, bits + self->frameBytes);
        return self->idleAfter >= 0 && static_cast<int>(self->tickMs.size()) >= self->idleAfter ? 1 : 0;
    }
};

struct Bgr {
    int b, g, r;
};
// A pixel of an I420 frame (rows top-down) in BGR, by the BT.601 studio-range formulas.
Bgr PixelAt(const std::vector<uint8_t>& frame, int width, int height, int x, int y) {
    const int luma = frame[static_cast<size_t>(y) * width + x];
    const size_t chroma = static_cast<size_t>(y / 2) * I420ChromaWidth(width) + x / 2;
    const size_t u = static_cast<size_t>(width) * height + chroma;
    const size_t v = u + static_cast<size_t>(I420ChromaWidth(width)) * I420ChromaHeight(height);
    const double c = 1.164 * (luma - 16), d = frame[u] - 128.0, e = frame[v] - 128.0;
    const auto clamp = [](double value) { return static_cast<int>(std::clamp(value, 0.0, 255.0)); };
    return {clamp(c + 2.018 * d), clamp(c - 0.391 * d - 0.813 * e), clamp(c + 1.596 * e)};
}

class TestCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TOVRA_TEST_CAMERA", "2", 1);
        preview.resize(160, 120);
    }
    void TearDown() override { unsetenv("TOVRA_TEST_CAMERA"); }
    // Lists the devices with the first test camera preferred and builds its graph, as the view
    // does at set-up; the camera's index.
    int OpenTestCamera(VideoCapture& capture) {
        capture.SetPreviewPresenter(capture::MakeWidgetPreview);
        capture.EnumerateDevices(0);
        int camera = -1;
        for (int i = 0; i < capture.DeviceCount() && camera < 0; ++i) {
            if (capture.Device(i).friendlyName == "Test Pattern Camera") camera = i;
        }
        if (camera < 0 || capture.EnumerateDevices(camera) != camera) return -1;
        return capture.BuildGraph(&notify, &preview) ? camera : -1;
    }
    struct Notify : QObject {
        bool event(QEvent* e) override {
            if (e->type() == FrameThreadEvent::EventType()) wParam = static_cast<FrameThreadEvent*>(e)->wParam;
            return QObject::event(e);
        }
        uintptr_t wParam = 0;
    } notify;
    QWidget preview;
};

TEST_F(TestCameraTest, FrameThreadDeliversUprightFramesAtFifteenPerSecondAndPreviewShowsThem) {
    VideoCapture capture;
    ASSERT_GE(OpenTestCamera(capture), 0);
    ASSERT_TRUE(capture.PreviewRunning());
    // A camera is asked for VGA; the frame thread hands out the size it is asked for.
    EXPECT_EQ(capture.CaptureWidth(), 640);
    EXPECT_EQ(capture.CaptureHeight(), 480);

    Frames frames;
    ASSERT_TRUE(capture.StartFrameThread(320, 240, &Frames::Callback, &frames));
    WaitUntil([] { return false; }, 3000);
    capture.StopFrameThread();
    EXPECT_FALSE(capture.FrameThreadRunning());

    std::lock_guard lock(frames.mutex);
    ASSERT_GE(frames.tickMs.size(), 40u);
    EXPECT_LE(frames.tickMs.size(), 46u);
    const double meanMs = (frames.tickMs.back() - frames.tickMs.front()) / (frames.tickMs.size() - 1);
    EXPECT_NEAR(meanMs, 1000.0 / 15, 4.0);
    // Colour bars: the image's top row is white at the left and blue at the right; its bottom row
    // is not blue there.
    const Bgr topLeft = PixelAt(frames.last, 320, 240, 10, 0), topRight = PixelAt(frames.last, 320, 240, 310, 0);
    const Bgr bottomRight = PixelAt(frames.last, 320, 240, 310, 239);
    EXPECT_GT(topLeft.b, 200);
    EXPECT_GT(topLeft.g, 200);
    EXPECT_GT(topLeft.r, 200);
    EXPECT_GT(topRight.b, 200);
    EXPECT_LT(topRight.g, 60);
    EXPECT_LT(topRight.r, 60);
    EXPECT_LT(bottomRight.b - bottomRight.r, 40);

    // The preview fills its window with the same picture.
    auto* window = qobject_cast<QWidget*>(capture.VideoWindowForTest() ? capture.VideoWindowForTest()->Window() : nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->parentWidget(), &preview);
    EXPECT_EQ(window->size(), preview.size());
    const QImage shown = window->grab().toImage();
    const QColor right = shown.pixelColor(shown.width() - 3, 2);
    EXPECT_GT(right.blue(), 200);
    EXPECT_LT(right.red(), 60);
}

TEST_F(TestCameraTest, IdleCallbackStopsGrabsAndAnEndedThreadStopsAtOnce) {
    VideoCapture capture;
    ASSERT_GE(OpenTestCamera(capture), 0);

    Frames frames;
    frames.idleAfter = 3;
    ASSERT_TRUE(capture.StartFrameThread(320, 240, &Frames::Callback, &frames));
    WaitUntil([] { return false; }, 1000);
    capture.StopFrameThread();
    {
        std::lock_guard lock(frames.mutex);
        EXPECT_EQ(frames.tickMs.size(), 3u);
        EXPECT_GE(frames.nullCalls, 8);  // the remaining ticks only ask whether to go on
    }

    // A thread that cannot make its bitmap tells the notify window and ends on its own.
    ASSERT_TRUE(capture.StartFrameThread(0, 0, &Frames::Callback, &frames));
    ASSERT_TRUE(WaitUntil([&] { return notify.wParam == 2; }, 2000));
    ASSERT_TRUE(WaitUntil([&] { return !capture.FrameThreadRunning(); }, 1000));
    const auto start = std::chrono::steady_clock::now();
    capture.StopFrameThread();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
}

TEST_F(TestCameraTest, SelectingAnotherDeviceOrFormatRebuildsTheGraphAndFramesAreStretched) {
    VideoCapture capture;
    const int camera = OpenTestCamera(capture);
    ASSERT_GE(camera, 0);
    capture::VideoWindow* first = capture.VideoWindowForTest();
    ASSERT_NE(first, nullptr);
    capture.SelectDevice(camera, &notify, &preview);
    EXPECT_EQ(capture.VideoWindowForTest(), first);  // the same device: nothing happens

    // The format dialog picks 160 x 120; the frames are stretched back to 320 x 240.
    int dialogs = 0;
    capture.SetFormatDialog([&](QObject*, QPoint position, StreamConfig& config) {
        ++dialogs;
        EXPECT_EQ(position, QPoint(30, 30));
        VideoMediaType format;
        config.GetFormat(format);
        format.biWidth = 160;
        format.biHeight = 120;
        return config.SetFormat(format) == S_OK;
    });
    EXPECT_TRUE(capture.ShowFormatDialog(&preview));
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(capture.CaptureWidth(), 160);
    EXPECT_EQ(capture.CaptureHeight(), 120);
    EXPECT_TRUE(capture.PreviewRunning());

    Frames frames;
    ASSERT_TRUE(capture.StartFrameThread(320, 240, &Frames::Callback, &frames));
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(frames.mutex);
        return frames.tickMs.size() >= 5;
    }));
    capture.StopFrameThread();
    {
        std::lock_guard lock(frames.mutex);
        const Bgr topRight = PixelAt(frames.last, 320, 240, 310, 0);
        EXPECT_GT(topRight.b, 200);
        EXPECT_LT(topRight.r, 60);
    }

    // The other test camera gets a graph of its own.
    const int other = camera == 0 ? 1 : 0;
    capture.SelectDevice(other, &notify, &preview);
    EXPECT_EQ(capture.SelectedIndex(), other);
    EXPECT_TRUE(capture.PreviewRunning());
    // The format chosen for one camera is not forced on another: it is asked for VGA again.
    EXPECT_EQ(capture.CaptureWidth(), 640);
    EXPECT_EQ(capture.CaptureHeight(), 480);
}

// Each plane takes its nearest source pixel; the chroma planes at half the size, rounded up.
TEST(StretchI420, TakesTheNearestSourcePixelOfEachPlane) {
    // 2 x 2 source: Y 1 2 / 3 4, one U (5) and one V (6).
    const uint8_t source[] = {1, 2, 3, 4, 5, 6};
    std::vector<uint8_t> target(I420Size(4, 3));
    StretchI420(source, 2, 2, target.data(), 4, 3);
    const int expected[3][4] = {{1, 1, 2, 2}, {3, 3, 4, 4}, {3, 3, 4, 4}};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) EXPECT_EQ(target[y * 4 + x], expected[y][x]) << x << "," << y;
    }
    // Chroma of a 4 x 3 frame: 2 x 2 each.
    ASSERT_EQ(target.size(), 12u + 4 + 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(target[12 + i], 5);
        EXPECT_EQ(target[16 + i], 6);
    }
}

}  // namespace
}  // namespace tovra
