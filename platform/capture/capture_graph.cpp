// The capture graph on GStreamer.
#include "platform/capture/capture_graph.h"

#include <gst/app/gstappsink.h>
#include <gst/base/gstbasesink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <tuple>

#include "platform/capture/capture_filter.h"
#include "platform/capture/dib.h"

namespace tovra::capture {

namespace {

void EnsureGstreamer() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

// Errors of the graph go to standard output for diagnosis and mark the graph failed, which the
// recording tells the teacher; every other message is dropped, so nothing piles up on a bus
// nobody reads.
GstBusSyncReply OnBusMessage(GstBus*, GstMessage* msg, gpointer failed) {
    if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(msg, &error, nullptr);
        std::printf("capture: %s\n", error ? error->message : "error");
        std::fflush(stdout);
        g_clear_error(&error);
        static_cast<std::atomic<bool>*>(failed)->store(true);
    }
    gst_message_unref(msg);
    return GST_BUS_DROP;
}

// The sizes capture code prefers; offered for devices that take any size in a range.
constexpr int kStandardSizes[][2] = {{720, 576}, {640, 480}, {352, 288}, {320, 240}, {176, 144}, {160, 120}};

uint16_t BitsPerPixel(const std::string& subtype) {
    static const std::pair<const char*, uint16_t> kBits[] = {
        {"video/x-raw:YUY2", 16}, {"video/x-raw:UYVY", 16}, {"video/x-raw:YVYU", 16}, {"video/x-raw:RGB16", 16},
        {"video/x-raw:RGB", 24},  {"video/x-raw:BGR", 24},  {"video/x-raw:I420", 12}, {"video/x-raw:YV12", 12},
        {"video/x-raw:NV12", 12}, {"video/x-raw:NV21", 12}, {"video/x-raw:GRAY8", 8}, {"image/jpeg", 24}};
    for (const auto& [name, bits] : kBits) {
        if (subtype == name) return bits;
    }
    return subtype.rfind("video/x-raw:", 0) == 0 ? 32 : 24;
}

std::vector<int> IntValues(const GValue* v, bool width) {
    std::vector<int> out;
    if (!v) return out;
    if (G_VALUE_HOLDS_INT(v)) {
        out.push_back(g_value_get_int(v));
    } else if (GST_VALUE_HOLDS_LIST(v)) {
        for (guint i = 0; i < gst_value_list_get_size(v); ++i) {
            const GValue* item = gst_value_list_get_value(v, i);
            if (G_VALUE_HOLDS_INT(item)) out.push_back(g_value_get_int(item));
        }
    } else if (GST_VALUE_HOLDS_INT_RANGE(v)) {
        const int lo = gst_value_get_int_range_min(v), hi = gst_value_get_int_range_max(v);
        for (const auto& size : kStandardSizes) {
            const int n = width ? size[0] : size[1];
            if (n >= lo && n <= hi) out.push_back(n);
        }
    }
    return out;
}

std::vector<std::pair<int, int>> RateValues(const GValue* v) {
    std::vector<std::pair<int, int>> out;
    if (!v) {
        out.emplace_back(30, 1);
    } else if (GST_VALUE_HOLDS_FRACTION(v)) {
        out.emplace_back(gst_value_get_fraction_numerator(v), gst_value_get_fraction_denominator(v));
    } else if (GST_VALUE_HOLDS_LIST(v)) {
        for (guint i = 0; i < gst_value_list_get_size(v); ++i) {
            const GValue* item = gst_value_list_get_value(v, i);
            if (GST_VALUE_HOLDS_FRACTION(item)) {
                out.emplace_back(gst_value_get_fraction_numerator(item), gst_value_get_fraction_denominator(item));
            }
        }
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(v)) {
        const GValue* hi = gst_value_get_fraction_range_max(v);
        const GValue* lo = gst_value_get_fraction_range_min(v);
        for (int rate : {30, 15}) {
            GValue r = G_VALUE_INIT;
            g_value_init(&r, GST_TYPE_FRACTION);
            gst_value_set_fraction(&r, rate, 1);
            if (gst_value_compare(&r, lo) != GST_VALUE_LESS_THAN &&
                gst_value_compare(&r, hi) != GST_VALUE_GREATER_THAN) {
                out.emplace_back(rate, 1);
            }
            g_value_unset(&r);
        }
        if (out.empty()) out.emplace_back(gst_value_get_fraction_numerator(hi), gst_value_get_fraction_denominator(hi));
    }
    std::erase_if(out, [](const auto& r) { return r.first <= 0 || r.second <= 0; });
    return out;
}

std::vector<std::string> Subtypes(const GstStructure* s) {
    const std::string name = gst_structure_get_name(s);
    if (name != "video/x-raw") return {name};
    std::vector<std::string> out;
    const GValue* format = gst_structure_get_value(s, "format");
    if (format && G_VALUE_HOLDS_STRING(format)) {
        out.push_back(name + ":" + g_value_get_string(format));
    } else if (format && GST_VALUE_HOLDS_LIST(format)) {
        for (guint i = 0; i < gst_value_list_get_size(format); ++i) {
            const GValue* item = gst_value_list_get_value(format, i);
            if (G_VALUE_HOLDS_STRING(item)) out.push_back(name + ":" + g_value_get_string(item));
        }
    }
    return out;
}

// Caps naming one format: the subtype's media and format, the size, and the frame rate.
GstCaps* FormatCaps(const std::string& subtype, int width, int height, int rateNum, int rateDen) {
    const size_t colon = subtype.find(':');
    const std::string media = subtype.substr(0, colon);
    GstCaps* caps =
        gst_caps_new_simple(media.c_str(), "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, nullptr);
    if (colon != std::string::npos) {
        gst_caps_set_simple(caps, "format", G_TYPE_STRING, subtype.substr(colon + 1).c_str(), nullptr);
    }
    if (rateNum > 0) gst_caps_set_simple(caps, "framerate", GST_TYPE_FRACTION, rateNum, rateDen, nullptr);
    return caps;
}

VideoMediaType MediaTypeOf(const std::string& subtype, int width, int height, int rateNum, int rateDen) {
    VideoMediaType mt;
    mt.subtype = subtype;
    mt.biWidth = width;
    mt.biHeight = height;
    mt.biBitCount = BitsPerPixel(subtype);
    mt.biSizeImage = static_cast<uint32_t>(mt.biBitCount / 8.0 * width * height);
    mt.avgTimePerFrame = rateNum > 0 ? int64_t{10000000} * rateDen / rateNum : 0;
    return mt;
}

}  // namespace

// ---- stream configuration ----

DeviceStreamConfig::DeviceStreamConfig(GstCaps* deviceCaps) : deviceCaps_(deviceCaps) {
    std::set<std::tuple<std::string, int, int, int, int>> seen;
    for (guint i = 0; deviceCaps_ && i < gst_caps_get_size(deviceCaps_); ++i) {
        const GstStructure* s = gst_caps_get_structure(deviceCaps_, i);
        const std::vector<int> widths = IntValues(gst_structure_get_value(s, "width"), true);
        const std::vector<int> heights = IntValues(gst_structure_get_value(s, "height"), false);
        const auto rates = RateValues(gst_structure_get_value(s, "framerate"));
        const bool ranged = GST_VALUE_HOLDS_INT_RANGE(gst_structure_get_value(s, "width"));
        for (const std::string& subtype : Subtypes(s)) {
            for (size_t w = 0; w < widths.size(); ++w) {
                for (size_t h = 0; h < heights.size(); ++h) {
                    // A range offers the standard sizes, not every mix of their widths and heights.
                    if (ranged && w != h) continue;
                    for (const auto& [num, den] : rates) {
                        if (!seen.emplace(subtype, widths[w], heights[h], num, den).second) continue;
                        capabilities_.push_back({MediaTypeOf(subtype, widths[w], heights[h], num, den), num, den});
                    }
                }
            }
        }
    }
    if (!capabilities_.empty()) current_ = capabilities_.front();
}

DeviceStreamConfig::~DeviceStreamConfig() {
    if (deviceCaps_) gst_caps_unref(deviceCaps_);
}

HRESULT DeviceStreamConfig::GetFormat(VideoMediaType& format) {
    if (capabilities_.empty()) return VFW_E_NOT_CONNECTED;
    format = current_.format;
    return S_OK;
}

HRESULT DeviceStreamConfig::SetFormat(const VideoMediaType& format) {
    if (!format.majorVideo || !format.formatVideoInfo || format.biWidth <= 0 || format.biHeight == 0) {
        return VFW_E_INVALIDMEDIATYPE;
    }
    const int width = format.biWidth, height = std::abs(format.biHeight);
    // Among the capabilities of this subtype and size, the frame rate nearest the one asked for.
    const Capability* best = nullptr;
    for (const Capability& cap : capabilities_) {
        if (cap.format.biWidth != width || cap.format.biHeight != height) continue;
        if (!format.subtype.empty() && cap.format.subtype != format.subtype) continue;
        if (!best || std::llabs(cap.format.avgTimePerFrame - format.avgTimePerFrame) <
                         std::llabs(best->format.avgTimePerFrame - format.avgTimePerFrame)) {
            best = &cap;
        }
    }
    if (!best) return VFW_E_INVALIDMEDIATYPE;
    current_ = *best;
    return S_OK;
}

HRESULT DeviceStreamConfig::GetNumberOfCapabilities(int& count) {
    count = static_cast<int>(capabilities_.size());
    return S_OK;
}

HRESULT DeviceStreamConfig::GetStreamCaps(int index, VideoMediaType& format) {
    if (index < 0 || index >= static_cast<int>(capabilities_.size())) return S_FALSE;
    format = capabilities_[index].format;
    return S_OK;
}

GstCaps* DeviceStreamConfig::CurrentCaps() const {
    const VideoMediaType& f = current_.format;
    return FormatCaps(f.subtype, f.biWidth, f.biHeight, current_.rateNum, current_.rateDen);
}

CaptureFilter::CaptureFilter(GstElement* source, GstCaps* caps) : source_(source), config_(caps) {
    gst_object_ref_sink(source_);
}

CaptureFilter::~CaptureFilter() { gst_object_unref(source_); }

// ---- devices ----

namespace {

class DeviceMoniker : public Moniker {
public:
    explicit DeviceMoniker(GstDevice* device) : device_(GST_DEVICE(gst_object_ref(device))) {}
    ~DeviceMoniker() override { gst_object_unref(device_); }
    std::string FriendlyName() const override {
        gchar* name = gst_device_get_display_name(device_);
        std::string out = name ? name : "";
        g_free(name);
        return out;
    }
    HRESULT BindToObject(std::shared_ptr<CaptureFilter>& filter) override {
        GstElement* source = gst_device_create_element(device_, nullptr);
        if (!source) return E_FAIL;
        filter = std::make_shared<CaptureFilter>(source, gst_device_get_caps(device_));
        return S_OK;
    }

private:
    GstDevice* device_;
};

// A camera that shows a moving test pattern; sizes and rates as a simple webcam offers them.
class TestPatternMoniker : public Moniker {
public:
    explicit TestPatternMoniker(int number) : number_(number) {}
    std::string FriendlyName() const override {
        return number_ == 1 ? "Test Pattern Camera" : "Test Pattern Camera " + std::to_string(number_);
    }
    HRESULT BindToObject(std::shared_ptr<CaptureFilter>& filter) override {
        GstElement* pattern = gst_element_factory_make("videotestsrc", nullptr);
        GstElement* handOver = gst_element_factory_make("queue", nullptr);
        if (!pattern || !handOver) {
            if (pattern) gst_object_unref(gst_object_ref_sink(pattern));
            if (handOver) gst_object_unref(gst_object_ref_sink(handOver));
            return E_FAIL;
        }
        g_object_set(pattern, "is-live", TRUE, nullptr);
        // The first camera shows colour bars; further ones a moving ball, so they can be told apart.
        if (number_ > 1) gst_util_set_object_arg(G_OBJECT(pattern), "pattern", "ball");
        // The pattern is drawn in a thread of its own ("videotestsrc…"), as a real camera's pictures
        // are made outside the program; what the program does with them runs after the queue.
        g_object_set(handOver, "max-size-buffers", 2u, "max-size-bytes", 0u, "max-size-time", guint64{0}, nullptr);
        GstElement* source = gst_bin_new(nullptr);
        gst_bin_add_many(GST_BIN(source), pattern, handOver, nullptr);
        GstPad* out = gst_element_get_static_pad(handOver, "src");
        const bool linked = gst_element_link(pattern, handOver) &&
                            gst_element_add_pad(source, gst_ghost_pad_new("src", out));
        gst_object_unref(out);
        if (!linked) {
            gst_object_unref(gst_object_ref_sink(source));
            return E_FAIL;
        }
        GstCaps* caps = gst_caps_new_empty();
        for (const auto& size : {std::pair{640, 480}, {352, 288}, {320, 240}, {176, 144}, {160, 120}}) {
            GstCaps* one = gst_caps_from_string(("video/x-raw,format=YUY2,width=" + std::to_string(size.first) +
                                                 ",height=" + std::to_string(size.second) + ",framerate={30/1,15/1}")
                                                    .c_str());
            gst_caps_append(caps, one);
        }
        filter = std::make_shared<CaptureFilter>(source, caps);
        return S_OK;
    }

private:
    int number_;
};

}  // namespace

HRESULT EnumerateVideoInputDevices(std::vector<std::shared_ptr<Moniker>>& devices) {
    EnsureGstreamer();
    devices.clear();
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    if (gst_device_monitor_start(monitor)) {
        GList* list = gst_device_monitor_get_devices(monitor);
        for (GList* d = list; d; d = d->next) devices.push_back(std::make_shared<DeviceMoniker>(GST_DEVICE(d->data)));
        g_list_free_full(list, gst_object_unref);
        gst_device_monitor_stop(monitor);
    }
    gst_object_unref(monitor);
    if (const char* test = std::getenv("TOVRA_TEST_CAMERA")) {
        const int count = std::clamp(std::atoi(test), 0, 16);
        for (int i = 1; i <= count; ++i) devices.push_back(std::make_shared<TestPatternMoniker>(i));
    }
    return devices.empty() ? S_FALSE : S_OK;
}

// ---- preview ----

VideoWindow::VideoWindow(PreviewPresenterFactory presenter)
    : makePresenter_(std::move(presenter)), frame_(std::make_shared<PreviewFrame>()) {}

VideoWindow::~VideoWindow() = default;

HRESULT VideoWindow::put_Owner(QObject* owner) {
    owner_ = owner;
    if (!owner) {
        presenter_.reset();
        return S_OK;
    }
    if (!presenter_ && makePresenter_) presenter_ = makePresenter_(frame_);
    if (!presenter_) return S_OK;  // nothing to show the frames with
    presenter_->SetOwner(owner);
    presenter_->SetVisible(visible_);
    return S_OK;
}

HRESULT VideoWindow::put_WindowStyle(long style) {
    // A renderer window here is always a child of its owner.
    return (style & WS_CHILD) ? S_OK : E_INVALIDARG;
}

HRESULT VideoWindow::FitToOwner() {
    if (!presenter_) return VFW_E_NOT_CONNECTED;
    presenter_->FitOwner();
    return S_OK;
}

HRESULT VideoWindow::put_Visible(bool visible) {
    visible_ = visible;
    if (presenter_) presenter_->SetVisible(visible);
    return S_OK;
}

QObject* VideoWindow::Window() const { return presenter_ ? presenter_->Window() : nullptr; }

void VideoWindow::Deliver(const uint8_t* bgrx, int width, int height, int stride) {
    QImage image(bgrx, width, height, stride, QImage::Format_RGB32);
    QImage copy = image.copy();
    std::lock_guard lock(frame_->mutex);
    frame_->image = std::move(copy);
    ++frame_->generation;
    if (frame_->arrived) frame_->arrived();
}

// ---- sample grabber ----

HRESULT SampleGrabber::SetMediaType(const std::string& subtype) {
    if (subtype != kSubtypeRgb24 && subtype != kSubtypeI420) return VFW_E_INVALIDMEDIATYPE;
    if (connected_) return VFW_E_WRONG_STATE;
    i420_ = subtype == kSubtypeI420;
    return S_OK;
}

HRESULT SampleGrabber::SetOneShot(bool oneShot) { return oneShot ? E_INVALIDARG : S_OK; }

HRESULT SampleGrabber::SetBufferSamples(bool buffer) {
    bufferSamples_ = buffer;
    return S_OK;
}

HRESULT SampleGrabber::GetConnectedMediaType(VideoMediaType& format) {
    if (!connected_) return VFW_E_NOT_CONNECTED;
    format = VideoMediaType{};
    format.subtype = i420_ ? kSubtypeI420 : kSubtypeRgb24;
    format.biWidth = width_;
    format.biHeight = height_;
    format.biBitCount = i420_ ? 12 : 24;
    format.biSizeImage = static_cast<uint32_t>(i420_ ? I420Size(width_, height_) : DibStride(width_) * height_);
    return S_OK;
}

namespace {

// The planes of an I420 buffer, rows as the buffer pads them, into unpadded planes.
void CopyI420(const GstVideoInfo& info, const GstMapInfo& map, uint8_t* to) {
    for (guint plane = 0; plane < 3; ++plane) {
        const int width = plane == 0 ? GST_VIDEO_INFO_WIDTH(&info) : I420ChromaWidth(GST_VIDEO_INFO_WIDTH(&info));
        const int height = plane == 0 ? GST_VIDEO_INFO_HEIGHT(&info) : I420ChromaHeight(GST_VIDEO_INFO_HEIGHT(&info));
        const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, plane);
        const size_t offset = GST_VIDEO_INFO_PLANE_OFFSET(&info, plane);
        for (int row = 0; row < height; ++row, to += width) {
            const size_t from = offset + static_cast<size_t>(row) * stride;
            if (from + width > map.size) {
                std::memset(to, 0, width);
                continue;
            }
            std::memcpy(to, map.data + from, width);
        }
    }
}

}  // namespace

HRESULT SampleGrabber::GetCurrentBuffer(long& size, uint8_t* buffer, uint64_t* sampleId) {
    if (!connected_ || !sink_) return VFW_E_NOT_CONNECTED;
    if (!bufferSamples_) return E_INVALIDARG;
    GstSample* sample = gst_base_sink_get_last_sample(GST_BASE_SINK(sink_));
    if (!sample) return VFW_E_WRONG_STATE;  // no frame yet
    GstVideoInfo info;
    HRESULT hr = E_FAIL;
    if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) {
        const int width = GST_VIDEO_INFO_WIDTH(&info), height = GST_VIDEO_INFO_HEIGHT(&info);
        const long stride = DibStride(width);
        const long needed = i420_ ? static_cast<long>(I420Size(width, height)) : stride * height;
        if (!buffer) {
            size = needed;
            hr = S_OK;
        } else if (size < needed) {
            hr = E_INVALIDARG;
        } else {
            GstMapInfo map;
            GstBuffer* frame = gst_sample_get_buffer(sample);
            if (frame && sampleId) {
                *sampleId = GST_BUFFER_PTS_IS_VALID(frame) ? GST_BUFFER_PTS(frame)
                                                           : reinterpret_cast<uintptr_t>(frame);
            }
            if (frame && i420_ && gst_buffer_map(frame, &map, GST_MAP_READ)) {
                CopyI420(info, map, buffer);
                gst_buffer_unmap(frame, &map);
                size = needed;
                hr = S_OK;
            } else if (frame && gst_buffer_map(frame, &map, GST_MAP_READ)) {
                const int sourceStride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
                const size_t offset = GST_VIDEO_INFO_PLANE_OFFSET(&info, 0);
                // The appsink's rows run top-down in BGRx; a DIB's run bottom-up in BGR.
                for (int row = 0; row < height; ++row) {
                    uint8_t* to = buffer + static_cast<size_t>(height - 1 - row) * stride;
                    const size_t from = offset + static_cast<size_t>(row) * sourceStride;
                    if (from + static_cast<size_t>(width) * 4 > map.size) break;
                    const uint8_t* pixel = map.data + from;
                    // Four bytes at a time, each store overlapping the next pixel's first byte;
                    // the last pixel takes its three.
                    for (int x = 0; x + 1 < width; ++x, pixel += 4, to += 3) std::memcpy(to, pixel, 4);
                    if (width > 0) {
                        std::memcpy(to, pixel, 3);
                        to += 3;
                    }
                    std::memset(to, 0, stride - width * 3);
                }
                gst_buffer_unmap(frame, &map);
                size = needed;
                hr = S_OK;
            }
        }
    }
    gst_sample_unref(sample);
    return hr;
}

// ---- graph ----

namespace {

GstFlowReturn OnPreviewSample(GstAppSink* sink, gpointer user) {
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_EOS;
    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
        gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        static_cast<VideoWindow*>(user)->Deliver(map.data + GST_VIDEO_INFO_PLANE_OFFSET(&info, 0),
                                                 GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info),
                                                 GST_VIDEO_INFO_PLANE_STRIDE(&info, 0));
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstElement* RawCapsFilter(const char* format) {
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, format, nullptr);
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    return filter;
}

// The widest picture the preview is given; the window that shows it is smaller.
constexpr int kPreviewWidth = 320;

GstElement* LeakyQueue() {
    GstElement* queue = gst_element_factory_make("queue", nullptr);
    g_object_set(queue, "max-size-buffers", 2u, "max-size-bytes", 0u, "max-size-time", guint64{0}, nullptr);
    gst_util_set_object_arg(G_OBJECT(queue), "leaky", "downstream");
    return queue;
}

}  // namespace

CaptureGraph::CaptureGraph() {
    EnsureGstreamer();
    pipeline_ = gst_pipeline_new("capture");
    GstBus* bus = gst_element_get_bus(GST_ELEMENT(pipeline_));
    gst_bus_set_sync_handler(bus, OnBusMessage, &failed_, nullptr);
    gst_object_unref(bus);
}

CaptureGraph::~CaptureGraph() {
    gst_element_set_state(GST_ELEMENT(pipeline_), GST_STATE_NULL);
    gst_object_unref(pipeline_);
    // The streaming threads have ended: nothing delivers into the window any more.
    window_.reset();
}

HRESULT CaptureGraph::AddCaptureFilter(std::shared_ptr<CaptureFilter> filter) {
    if (!filter || filter_) return E_FAIL;
    if (!gst_bin_add(GST_BIN(pipeline_), filter->Source())) return E_FAIL;
    filter_ = std::move(filter);
    return S_OK;
}

StreamConfig* CaptureGraph::FindStreamConfig() { return filter_ ? &filter_->Config() : nullptr; }

SampleGrabber* CaptureGraph::AddSampleGrabber() {
    if (!grabber_) grabber_ = std::make_unique<SampleGrabber>();
    return grabber_.get();
}

HRESULT CaptureGraph::RenderStream() {
    if (!filter_ || !grabber_) return E_POINTER;
    if (!downstream_.empty()) return VFW_E_WRONG_STATE;
    VideoMediaType current;
    const bool hasFormat = filter_->Config().GetFormat(current) == S_OK;

    std::vector<GstElement*> chain;  // from the capture pin to the tee
    GstElement* format = gst_element_factory_make("capsfilter", nullptr);
    if (hasFormat) {
        GstCaps* caps = filter_->Config().CurrentCaps();
        g_object_set(format, "caps", caps, nullptr);
        gst_caps_unref(caps);
    }
    chain.push_back(format);
    if (hasFormat && current.subtype == "image/jpeg") chain.push_back(gst_element_factory_make("jpegdec", nullptr));
    // The grabber's format for both branches (the BGR grabber drops the fourth byte as it copies).
    // I420 comes from a camera's YUV at a tenth of the cost of BGR.
    chain.push_back(gst_element_factory_make("videoconvert", nullptr));
    chain.push_back(RawCapsFilter(grabber_->i420_ ? "I420" : "BGRx"));
    GstElement* tee = gst_element_factory_make("tee", nullptr);
    chain.push_back(tee);
    std::vector<GstElement*> grab = {LeakyQueue(), gst_element_factory_make("appsink", nullptr)};
    std::vector<GstElement*> preview = {LeakyQueue()};
    // The preview shows a small picture: a large camera's frames are made smaller before their
    // conversion to BGR and before the window paints them.
    const int width = hasFormat ? current.biWidth : 320, height = hasFormat ? current.biHeight : 240;
    const int shrink = std::max((width + kPreviewWidth - 1) / kPreviewWidth, 1);
    if (shrink > 1) {
        preview.push_back(gst_element_factory_make("videoscale", nullptr));
        GstElement* size = gst_element_factory_make("capsfilter", nullptr);
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, width / shrink, "height", G_TYPE_INT,
                                            std::max(height / shrink, 1), nullptr);
        g_object_set(size, "caps", caps, nullptr);
        gst_caps_unref(caps);
        preview.push_back(size);
    }
    if (grabber_->i420_ || shrink > 1) {
        preview.push_back(gst_element_factory_make("videoconvert", nullptr));
        preview.push_back(RawCapsFilter("BGRx"));
    }
    preview.push_back(gst_element_factory_make("appsink", nullptr));
    std::vector<GstElement*> all = chain;
    all.insert(all.end(), grab.begin(), grab.end());
    all.insert(all.end(), preview.begin(), preview.end());
    if (std::find(all.begin(), all.end(), nullptr) != all.end()) {
        for (GstElement* e : all) {
            if (e) gst_object_unref(gst_object_ref_sink(e));
        }
        return E_FAIL;
    }
    for (GstElement* e : all) {
        gst_bin_add(GST_BIN(pipeline_), e);
        downstream_.push_back(e);
    }
    GstElement* grabSink = grab.back();
    GstElement* previewSink = preview.back();
    g_object_set(grabSink, "sync", FALSE, "max-buffers", 1u, "drop", TRUE, "enable-last-sample", TRUE, nullptr);
    g_object_set(previewSink, "sync", FALSE, "max-buffers", 1u, "drop", TRUE, nullptr);

    bool linked = gst_element_link(filter_->Source(), chain.front());
    for (size_t i = 1; linked && i < chain.size(); ++i) linked = gst_element_link(chain[i - 1], chain[i]);
    for (const auto* branch : {&grab, &preview}) {
        linked = linked && gst_element_link(tee, branch->front());
        for (size_t i = 1; linked && i < branch->size(); ++i) linked = gst_element_link((*branch)[i - 1], (*branch)[i]);
    }
    if (!linked) {
        RemoveDownstream();
        return E_FAIL;
    }
    window_ = std::make_unique<VideoWindow>(presenter_);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = OnPreviewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(previewSink), &callbacks, window_.get(), nullptr);
    grabber_->sink_ = grabSink;
    grabber_->connected_ = true;
    grabber_->width_ = width;
    grabber_->height_ = height;
    return S_OK;
}

VideoWindow* CaptureGraph::GetVideoWindow() { return window_.get(); }

HRESULT CaptureGraph::Run() {
    if (downstream_.empty()) return VFW_E_NOT_CONNECTED;
    failed_ = false;
    if (gst_element_set_state(GST_ELEMENT(pipeline_), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(GST_ELEMENT(pipeline_), GST_STATE_NULL);
        return E_FAIL;
    }
    running_ = true;
    return S_OK;
}

HRESULT CaptureGraph::Stop() {
    // NULL, not PAUSED: the device is released, so a new format can be set before the next run.
    gst_element_set_state(GST_ELEMENT(pipeline_), GST_STATE_NULL);
    running_ = false;
    return S_OK;
}

void CaptureGraph::RemoveDownstream() {
    Stop();
    for (void* e : downstream_) gst_bin_remove(GST_BIN(pipeline_), GST_ELEMENT(e));
    downstream_.clear();
    if (grabber_) {
        grabber_->sink_ = nullptr;
        grabber_->connected_ = false;
    }
    grabber_.reset();
    window_.reset();
}

}  // namespace tovra::capture
