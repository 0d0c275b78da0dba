// The capture graph on GStreamer: the video input devices, a capture filter bound from one, a
// sample grabber that keeps the latest frame as I420 or 24-bit bottom-up BGR, and a preview renderer that
// keeps the latest frame for a window of the program to show. No widgets here: the window that
// shows the frames comes from a presenter the program's interface provides. The pipeline is
//   source ! capture format ! [jpegdec] ! videoconvert ! grabber's format ! tee ! queue ! appsink (grabber)
//                                  tee ! queue ! [videoscale ! preview size] ! videoconvert ! BGRx ! appsink
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/capture/capture_types.h"

namespace tovra::capture {

class CaptureFilter;

// Names one capture device; binding it makes the device's capture filter.
class Moniker {
public:
    virtual ~Moniker() = default;
    virtual std::string FriendlyName() const = 0;  // UTF-8
    virtual HRESULT BindToObject(std::shared_ptr<CaptureFilter>& filter) = 0;
};

// The video input devices ("Video/Source") of the system, and test-pattern cameras when the
// environment variable TOVRA_TEST_CAMERA is set to a count (1 for one). S_FALSE when there is none.
HRESULT EnumerateVideoInputDevices(std::vector<std::shared_ptr<Moniker>>& devices);

// Window styles the video window accepts; it is always a child of its owner.
inline constexpr long WS_CHILD = 0x40000000L;
inline constexpr long WS_CLIPCHILDREN = 0x02000000L;

// The preview's latest frame, written by the streaming thread and read by the window that shows it.
struct PreviewFrame {
    std::mutex mutex;
    QImage image;             // top-down RGB32
    uint64_t generation = 0;  // counts delivered frames
    // Called under the lock after each frame, from the streaming thread: the window posts itself
    // a look at the slot. Cleared under the lock before the window goes.
    std::function<void()> arrived;
};

// Shows a preview frame slot inside an owner window; provided by the program's interface.
class PreviewPresenter {
public:
    virtual ~PreviewPresenter() = default;
    virtual void SetOwner(QObject* owner) = 0;  // a widget of the program
    virtual void FitOwner() = 0;  // fills the owner's area
    virtual void SetVisible(bool visible) = 0;
    virtual QObject* Window() const = 0;
};
using PreviewPresenterFactory = std::function<std::unique_ptr<PreviewPresenter>(std::shared_ptr<PreviewFrame>)>;

// The preview renderer's window: a child of its owner that shows the latest camera frame. Without a
// presenter the frames are kept but shown nowhere.
class VideoWindow {
public:
    explicit VideoWindow(PreviewPresenterFactory presenter = {});
    ~VideoWindow();
    VideoWindow(const VideoWindow&) = delete;
    VideoWindow& operator=(const VideoWindow&) = delete;

    HRESULT put_Owner(QObject* owner);
    HRESULT put_WindowStyle(long style);
    HRESULT FitToOwner();
    HRESULT put_Visible(bool visible);

    QObject* Owner() const { return owner_; }
    QObject* Window() const;  // the window itself, once it has an owner and a presenter
    // From the streaming thread: a new top-down BGRx frame.
    void Deliver(const uint8_t* bgrx, int width, int height, int stride);

private:
    PreviewPresenterFactory makePresenter_;
    QPointer<QObject> owner_;
    std::unique_ptr<PreviewPresenter> presenter_;
    std::shared_ptr<PreviewFrame> frame_;
    bool visible_ = true;
};

class SampleGrabber {
public:
    // kSubtypeRgb24 (the default) or kSubtypeI420; set before the graph is rendered.
    HRESULT SetMediaType(const std::string& subtype);
    HRESULT SetOneShot(bool oneShot);
    HRESULT SetBufferSamples(bool buffer);
    HRESULT GetConnectedMediaType(VideoMediaType& format);
    // The latest frame as a bottom-up DIB or in I420: with no buffer, size receives its length in bytes;
    // with one, the frame is copied into it when it holds size bytes. sampleId, when given,
    // receives what tells this frame from the ones before (its time stamp).
    HRESULT GetCurrentBuffer(long& size, uint8_t* buffer, uint64_t* sampleId = nullptr);

private:
    friend class CaptureGraph;
    void* sink_ = nullptr;  // the appsink, owned by the graph's pipeline
    bool connected_ = false;
    int width_ = 0, height_ = 0;
    bool bufferSamples_ = false;
    bool i420_ = false;
};

// A filter graph with its builder and media control.
class CaptureGraph {
public:
    CaptureGraph();
    ~CaptureGraph();
    CaptureGraph(const CaptureGraph&) = delete;
    CaptureGraph& operator=(const CaptureGraph&) = delete;

    // What the video window made by RenderStream shows its frames with.
    void SetPreviewPresenter(PreviewPresenterFactory presenter) { presenter_ = std::move(presenter); }
    HRESULT AddCaptureFilter(std::shared_ptr<CaptureFilter> filter);
    // The capture pin's format control; none without a capture filter.
    StreamConfig* FindStreamConfig();
    // A sample grabber in the graph, not yet connected.
    SampleGrabber* AddSampleGrabber();
    // Connects the capture pin to the grabber, and a preview branch to the video window, in the
    // stream configuration's current format.
    HRESULT RenderStream();
    VideoWindow* GetVideoWindow();  // none before RenderStream
    HRESULT Run();
    HRESULT Stop();
    bool IsRunning() const { return running_; }
    // Whether the graph reported an error (a device unplugged or taken, no format agreed) since
    // it last started running.
    bool Failed() const { return failed_.load(); }
    // Disconnects and removes every filter after the capture filter: grabber, preview, renderer.
    void RemoveDownstream();

private:
    void* pipeline_ = nullptr;
    std::shared_ptr<CaptureFilter> filter_;
    std::unique_ptr<SampleGrabber> grabber_;
    PreviewPresenterFactory presenter_;
    std::unique_ptr<VideoWindow> window_;
    std::vector<void*> downstream_;  // elements after the source
    bool running_ = false;
    std::atomic<bool> failed_{false};  // set on the streaming threads
};

}  // namespace tovra::capture
