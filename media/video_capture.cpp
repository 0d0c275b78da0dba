// VideoCapture on the capture layer.
#include "media/video_capture.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>

#include "platform/text/code_page.h"

namespace tovra {

using namespace capture;

namespace {

constexpr size_t kMaxFriendlyNameBytes = 80;

// Milliseconds of a steady clock, wrapping at 32 bits like the system's tick count.
uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool Fits(int w, int h, int wantedWidth, int wantedHeight) { return w <= wantedWidth && h <= wantedHeight; }

void SetSize(VideoMediaType& format, int width, int height) {
    format.biWidth = width;
    format.biHeight = height;
    format.biSizeImage = static_cast<uint32_t>(format.biBitCount / 8 * width * height);
}

}  // namespace

void ChooseCaptureFormat(StreamConfig& config, int wantedWidth, int wantedHeight, int frameRate) {
    VideoMediaType format;
    if (config.GetFormat(format) == S_OK && format.formatVideoInfo) {
        format.avgTimePerFrame = 10000000 / frameRate;
        SetSize(format, wantedWidth, wantedHeight);
        if (config.SetFormat(format) == S_OK) return;
    }
    int count = 0;
    if (config.GetNumberOfCapabilities(count) != S_OK) return;
    int bestDistance = wantedWidth + wantedHeight;
    int bestIndex = -1;
    for (int i = 0; i < count; ++i) {
        VideoMediaType cap;
        if (config.GetStreamCaps(i, cap) != S_OK) continue;
        if (!cap.majorVideo || !cap.formatVideoInfo || cap.formatSize < kVideoInfoHeaderSize || !cap.hasFormat)
            continue;
        if (!Fits(cap.biWidth, cap.biHeight, wantedWidth, wantedHeight)) continue;
        const int distance = (wantedWidth - cap.biWidth) + (wantedHeight - cap.biHeight);
        if (distance < bestDistance) {
            bestDistance = distance;
            bestIndex = i;
        }
    }
    if (bestIndex < 0) return;
    VideoMediaType cap;
    if (config.GetStreamCaps(bestIndex, cap) != S_OK) return;
    const int ownWidth = cap.biWidth, ownHeight = cap.biHeight;
    const uint32_t ownSize = cap.biSizeImage;
    int targetWidth = 0, targetHeight = 0;
    int targetDistance = bestDistance;
    for (const auto& size : kStandardCaptureSizes) {
        if (!Fits(size[0], size[1], wantedWidth, wantedHeight)) continue;
        const int distance = (wantedWidth - size[0]) + (wantedHeight - size[1]);
        if (distance < targetDistance) {
            targetDistance = distance;
            targetWidth = size[0];
            targetHeight = size[1];
        }
    }
    if (targetWidth) {
        SetSize(cap, targetWidth, targetHeight);
        if (config.SetFormat(cap) == S_OK) return;
        if (targetWidth == 720 && targetHeight == 576 && ownWidth < 640 && ownHeight < 480) {
            SetSize(cap, 640, 480);
            if (config.SetFormat(cap) == S_OK) return;
        }
        cap.biWidth = ownWidth;
        cap.biHeight = ownHeight;
        cap.biSizeImage = ownSize;
    }
    config.SetFormat(cap);
}

VideoCapture::VideoCapture()
    : devices_(kMaxDevices), enumerate_(EnumerateVideoInputDevices) {}

VideoCapture::~VideoCapture() {
    StopFrameThread();
    StopPreview();
    ReleaseGraph();
    devices_.clear();
}

int VideoCapture::EnumerateDevices(int preferred) {
    deviceCount_ = 0;
    selectedMoniker_ = nullptr;
    for (CaptureDevice& d : devices_) d = CaptureDevice{};
    std::vector<std::shared_ptr<Moniker>> monikers;
    const HRESULT hr = enumerate_(monikers);
    if (hr != S_OK) return -1;
    for (const auto& moniker : monikers) {
        if (deviceCount_ == kMaxDevices) break;  // room for ten; further devices are not offered
        const std::string name = moniker ? moniker->FriendlyName() : std::string();
        if (name.empty()) continue;  // a device without a readable name is skipped
        std::string bytes = text::Utf8ToCodePage(name);
        bytes.resize(text::CodePagePrefixLength(bytes, kMaxFriendlyNameBytes));
        devices_[deviceCount_].moniker = moniker;
        devices_[deviceCount_].friendlyName = std::move(bytes);
        ++deviceCount_;
    }
    if (deviceCount_ == 0) return -1;
    selectedIndex_ = preferred >= deviceCount_ ? deviceCount_ - 1 : std::max(preferred, 0);
    selectedMoniker_ = devices_[selectedIndex_].moniker.get();
    return selectedIndex_;
}

bool VideoCapture::BuildGraph(QObject* notifyWindow, QObject* previewWindow) {
    notifyWindow_ = notifyWindow;
    previewWindow_ = previewWindow;
    if (deviceCount_ == 0 || !selectedMoniker_) return false;
    graph_ = std::make_unique<CaptureGraph>();
    graph_->SetPreviewPresenter(presenter_);
    mediaControl_ = true;
    std::shared_ptr<CaptureFilter> filter;
    if (Failed(selectedMoniker_->BindToObject(filter))) return false;
    if (Failed(graph_->AddCaptureFilter(filter))) return false;
    if (!AddGrabber()) return false;
    RunPreview();
    return true;
}

bool VideoCapture::AddGrabber() {
    if (!graph_) return false;
    sampleGrabber_ = graph_->AddSampleGrabber();
    if (!sampleGrabber_) return false;
    if (Failed(sampleGrabber_->SetMediaType(kSubtypeI420))) {
        std::printf("ERROR - Could not set media type for pSampleGrabber.");
        std::fflush(stdout);
        return false;
    }
    streamConfig_ = graph_->FindStreamConfig();
    if (streamConfig_) ChooseCaptureFormat(*streamConfig_, captureWidth_, captureHeight_, frameRate_);
    if (Failed(graph_->RenderStream())) return false;
    mediaControl_ = true;
    videoWindow_ = graph_->GetVideoWindow();
    if (!videoWindow_) return false;
    // Forget the stored window so that it is attached to the new renderer.
    QObject* window = previewWindow_;
    previewWindow_ = nullptr;
    SetPreviewWindow(window);
    sampleGrabber_->SetOneShot(false);
    sampleGrabber_->SetBufferSamples(true);
    VideoMediaType connected;
    if (Failed(sampleGrabber_->GetConnectedMediaType(connected))) return false;
    captureWidth_ = connected.biWidth;
    captureHeight_ = connected.biHeight;
    CreateCaptureFrame();
    return true;
}

void VideoCapture::CreateCaptureFrame() {
    captureBufferSize_ = 0;
    if (!CreateI420Frame(captureWidth_, captureHeight_, captureFrame_)) return;
    captureBufferSize_ = static_cast<uint32_t>(captureFrame_.bytes.size());
}

bool VideoCapture::SetPreviewWindow(QObject* window) {
    if (!videoWindow_) return false;
    if (window != previewWindow_) {
        const bool wasRunning = graph_ && graph_->IsRunning();
        if (wasRunning) graph_->Stop();
        previewWindow_ = window;
        if (Failed(videoWindow_->put_Owner(window))) return false;
        if (Failed(videoWindow_->put_WindowStyle(WS_CHILD | WS_CLIPCHILDREN))) return false;
        if (wasRunning) graph_->Run();
    }
    if (window) videoWindow_->FitToOwner();
    return true;
}

void VideoCapture::RunPreview() {
    if (mediaControl_ && graph_ && !running_) {
        graph_->Run();
        running_ = 1;
    }
}

void VideoCapture::StopPreview() {
    if (mediaControl_ && graph_ && running_) {
        graph_->Stop();
        running_ = 0;
    }
}

void VideoCapture::ReleasePreview() {
    if (videoWindow_) {
        videoWindow_->put_Owner(nullptr);
        videoWindow_->put_Visible(false);
        videoWindow_ = nullptr;
    }
    if (graph_) graph_->RemoveDownstream();
    mediaControl_ = false;
    sampleGrabber_ = nullptr;
}

void VideoCapture::ReleaseGraph() {
    if (videoWindow_) {
        videoWindow_->put_Visible(false);
        videoWindow_->put_Owner(nullptr);
        videoWindow_ = nullptr;
    }
    graph_.reset();
    streamConfig_ = nullptr;
    mediaControl_ = false;
    running_ = 0;
    sampleGrabber_ = nullptr;
    captureFrame_ = I420Frame{};
    captureBufferSize_ = 0;
}

void VideoCapture::SelectDevice(int index, QObject* notifyWindow, QObject* previewWindow) {
    if (index >= deviceCount_) index = deviceCount_ - 1;
    if (index < 0) {
        selectedMoniker_ = nullptr;
        StopPreview();
        ReleasePreview();
        ReleaseGraph();
        selectedIndex_ = -1;
        return;
    }
    if (devices_[index].moniker.get() == selectedMoniker_) return;
    selectedIndex_ = index;
    selectedMoniker_ = devices_[index].moniker.get();
    StopPreview();
    ReleasePreview();
    ReleaseGraph();
    // Another camera is asked for VGA again, whatever the last one could give.
    captureWidth_ = kWantedWidth;
    captureHeight_ = kWantedHeight;
    BuildGraph(notifyWindow, previewWindow);
}

bool VideoCapture::ShowFormatDialog(QObject* parent) {
    if (!mediaControl_ || !graph_) return false;
    StopPreview();
    ReleasePreview();
    bool result = false;
    if (formatDialog_ && streamConfig_ && streamConfig_->HasPropertyPages()) {
        formatDialog_(parent, QPoint(30, 30), *streamConfig_);
        VideoMediaType format;
        if (streamConfig_->GetFormat(format) == S_OK) {
            if (format.formatVideoInfo) {
                captureWidth_ = format.biWidth;
                captureHeight_ = format.biHeight;
            }
            result = true;
        }
    }
    AddGrabber();
    RunPreview();
    return result;
}

bool VideoCapture::GrabFrame() {
    if (!sampleGrabber_ || captureFrame_.Empty()) return false;
    long size = 0;
    if (Failed(sampleGrabber_->GetCurrentBuffer(size, nullptr)) || size > static_cast<long>(captureBufferSize_)) {
        return false;
    }
    uint64_t id = 0;
    if (Failed(sampleGrabber_->GetCurrentBuffer(size, captureFrame_.bytes.data(), &id))) return false;
    const bool fresh = !grabbedAny_ || id != lastSampleId_;
    grabbedAny_ = true;
    lastSampleId_ = id;
    return fresh;
}

bool VideoCapture::StartFrameThread(int16_t outputWidth, int16_t outputHeight, FrameCallback callback, void* userData) {
    StopFrameThread();
    userData_ = userData;
    threadState_ = std::make_shared<ThreadState>();
    threadState_->run = true;
    callback_ = callback;
    outputWidth_ = outputWidth;
    outputHeight_ = outputHeight;
    try {
        threadState_->alive = true;
        thread_ = std::thread(&VideoCapture::FrameThread, this, threadState_);
    } catch (const std::system_error&) {
        threadState_->alive = false;
        return false;
    }
    return true;
}

void VideoCapture::FrameThread(std::shared_ptr<ThreadState> state) {
    I420Frame output;
    if (!CreateI420Frame(outputWidth_, outputHeight_, output)) {
        if (QObject* notify = notifyWindow_.data()) QCoreApplication::postEvent(notify, new FrameThreadEvent(2, 0));
        state->alive = false;
        return;
    }
    const uint32_t period = (frameRate_ / 2 + 1000) / frameRate_;  // ms: 67 at 15 frames per second
    // A camera that gives no new picture for this long, or whose graph reported an error, is
    // lost: the recording is told once, and no pictures are made up until the camera is back.
    constexpr uint32_t kStalledMs = 2000;
    uint32_t wait = period;
    uint32_t lastTick = TickCount() - (period - 1);
    uint32_t lastFresh = lastTick;
    bool seenFrame = false;  // no picture before the camera's first: a black one would be made up
    bool lost = false;
    grabbedAny_ = false;
    int lastResult = 0;
    while (state->run) {
        const uint32_t now = TickCount();
        const uint32_t elapsed = now - lastTick;
        if (elapsed < wait) {
            // Until the next picture is due: one wake-up per frame, not a poll.
            std::this_thread::sleep_for(std::chrono::milliseconds(wait - elapsed));
            continue;
        }
        const uint32_t late = elapsed - wait;
        wait = late < period ? period - late : 0;
        lastTick = now;
        if (lastResult != 0) {
            lastResult = callback_(nullptr, 0, userData_);
            continue;
        }
        const bool fresh = GrabFrame();
        if (captureFrame_.Empty()) continue;
        if (fresh) {
            lastFresh = now;
            seenFrame = true;
            lost = false;
        }
        const bool stalled = now - lastFresh > kStalledMs || (graph_ && graph_->Failed());
        if (stalled && !lost) {
            lost = true;
            if (QObject* notify = notifyWindow_.data()) {
                QCoreApplication::postEvent(notify, new FrameThreadEvent(kCameraLost, 0));
            }
        }
        if (!seenFrame || lost) continue;  // no picture to give: none is made up
        if (captureWidth_ != outputWidth_ || captureHeight_ != outputHeight_) {
            StretchI420(captureFrame_.bytes.data(), captureWidth_, captureHeight_, output.bytes.data(), outputWidth_,
                        outputHeight_);
            lastResult = callback_(output.bytes.data(), 0, userData_);
        } else {
            lastResult = callback_(captureFrame_.bytes.data(), 0, userData_);
        }
    }
    state->alive = false;
}

void VideoCapture::StopFrameThread() {
    if (!threadState_) return;
    threadState_->run = false;
    for (int i = 0; i < 80 && threadState_->alive; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (threadState_->alive) {
        // A thread cannot be killed safely here; it is let go. It touches nothing of this object
        // once its callback returns, because it sees its run flag cleared first.
        std::printf("capture: frame thread did not end within 4 s; left to finish on its own\n");
        std::fflush(stdout);
        thread_.detach();
        threadState_->alive = false;
    } else if (thread_.joinable()) {
        thread_.join();
    }
    threadState_.reset();
}

}  // namespace tovra
