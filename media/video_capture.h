// The camera side of a recording: lists the video input devices, builds a capture graph for the
// chosen one with a live preview in a window of the program (shown by a presenter the interface
// provides; the windows are plain QObjects here), chooses a capture size close to the
// wanted one, and while a recording runs drives a frame thread that hands the latest picture,
// stretched to the recording's size, to a frame callback about 15 times a second.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/capture/capture_graph.h"
#include "platform/capture/capture_types.h"
#include "platform/capture/dib.h"

namespace tovra {

struct CaptureDevice {
    std::shared_ptr<capture::Moniker> moniker;
    std::string friendlyName;  // code page, at most 80 bytes
};

// Takes (frame bits or none, 0, user data): the bits are an I420 frame of the output size
// (capture::I420Size bytes), valid during the call. Returns 0 to ask for frames, anything else to idle.
using FrameCallback = int (*)(const uint8_t* bits, int reserved, void* user);

// Posted to the notify window when the frame thread cannot make its bitmap (wParam 2), and when
// the camera stops giving pictures after it started: an error of the graph, or none for a while
// (wParam kCameraLost).
inline constexpr int kFrameThreadFailed = 6501;
inline constexpr uintptr_t kCameraLost = 3;
class FrameThreadEvent : public QEvent {
public:
    FrameThreadEvent(uintptr_t wParam, intptr_t lParam) : QEvent(EventType()), wParam(wParam), lParam(lParam) {}
    static QEvent::Type EventType() { return static_cast<QEvent::Type>(QEvent::User + kFrameThreadFailed); }
    uintptr_t wParam;
    intptr_t lParam;
};

// The standard sizes a capture format is matched against, in the order they are tried.
inline constexpr int kStandardCaptureSizes[][2] = {{720, 576}, {640, 480}, {352, 288},
                                                   {320, 240}, {176, 144}, {160, 120}};

// Sets the stream configuration to wanted width x height, or to the capability closest below it.
void ChooseCaptureFormat(capture::StreamConfig& config, int wantedWidth, int wantedHeight, int frameRate);

class VideoCapture {
public:
    static constexpr int kMaxDevices = 10;

    VideoCapture();
    ~VideoCapture();
    VideoCapture(const VideoCapture&) = delete;
    VideoCapture& operator=(const VideoCapture&) = delete;

    // Fills the device list and selects the preferred index (the last device when it is too large);
    // the selected index, or -1 when no device is listed.
    int EnumerateDevices(int preferred);
    bool BuildGraph(QObject* notifyWindow, QObject* previewWindow);
    void SelectDevice(int index, QObject* notifyWindow, QObject* previewWindow);
    // Shows the format dialog (none set: nothing happens) and rebuilds the graph in the chosen format.
    bool ShowFormatDialog(QObject* parent);
    bool SetPreviewWindow(QObject* window);
    void RunPreview();
    void StopPreview();
    void ReleaseGraph();

    bool StartFrameThread(int16_t outputWidth, int16_t outputHeight, FrameCallback callback, void* userData);
    void StopFrameThread();

    int DeviceCount() const { return deviceCount_; }
    const CaptureDevice& Device(int index) const { return devices_[index]; }
    int SelectedIndex() const { return selectedIndex_; }
    int CaptureWidth() const { return captureWidth_; }
    int CaptureHeight() const { return captureHeight_; }
    bool PreviewRunning() const { return running_ != 0; }
    bool FrameThreadRunning() const { return threadState_ && threadState_->alive; }
    QObject* PreviewWindow() const { return previewWindow_; }
    // Whether the frame thread would have pictures to deliver.
    bool HasCaptureFrame() const { return !captureFrame_.Empty(); }
    capture::VideoWindow* VideoWindowForTest() const { return videoWindow_; }

    // Where the device list comes from; the system's devices unless replaced (tests).
    using DeviceEnumerator = std::function<capture::HRESULT(std::vector<std::shared_ptr<capture::Moniker>>&)>;
    void SetDeviceEnumerator(DeviceEnumerator enumerator) { enumerate_ = std::move(enumerator); }
    // How the format dialog is shown, and what shows the preview's frames in the preview window;
    // the interface sets both (without them there is no dialog and the preview shows nowhere).
    using FormatDialog = std::function<bool(QObject* parent, QPoint position, capture::StreamConfig& config)>;
    void SetFormatDialog(FormatDialog dialog) { formatDialog_ = std::move(dialog); }
    void SetPreviewPresenter(capture::PreviewPresenterFactory presenter) { presenter_ = std::move(presenter); }

private:
    struct ThreadState {
        std::atomic<bool> run{false};
        std::atomic<bool> alive{false};  // cleared by the thread as its last act
    };

    bool AddGrabber();
    void CreateCaptureFrame();
    void ReleasePreview();
    // Copies the latest frame into the capture frame; true when it is one not seen before.
    bool GrabFrame();
    void FrameThread(std::shared_ptr<ThreadState> state);

    int deviceCount_ = 0;
    std::vector<CaptureDevice> devices_;
    QPointer<QObject> previewWindow_;
    int frameRate_ = 15;      // frames per second
    // Pixels of the grabber's frames: VGA is asked for, the camera may give less.
    static constexpr int kWantedWidth = 640, kWantedHeight = 480;
    int captureWidth_ = kWantedWidth;
    int captureHeight_ = kWantedHeight;
    capture::I420Frame captureFrame_;  // the camera's latest, in I420
    int selectedIndex_ = -1;
    std::unique_ptr<capture::CaptureGraph> graph_;
    bool mediaControl_ = false;
    capture::VideoWindow* videoWindow_ = nullptr;    // owned by the graph
    capture::Moniker* selectedMoniker_ = nullptr;    // an entry of the device list
    capture::StreamConfig* streamConfig_ = nullptr;  // owned by the capture filter
    int running_ = 0;
    capture::SampleGrabber* sampleGrabber_ = nullptr;  // owned by the graph
    uint32_t captureBufferSize_ = 0;                   // bytes of the capture frame
    uint64_t lastSampleId_ = 0;                        // the frame GrabFrame took last
    bool grabbedAny_ = false;

    std::shared_ptr<ThreadState> threadState_;
    std::thread thread_;
    int16_t outputWidth_ = 320, outputHeight_ = 240;  // pixels of the I420 frames handed to the callback
    QPointer<QObject> notifyWindow_;
    void* userData_ = nullptr;
    FrameCallback callback_ = nullptr;

    DeviceEnumerator enumerate_;
    FormatDialog formatDialog_;
    capture::PreviewPresenterFactory presenter_;
};

}  // namespace tovra
