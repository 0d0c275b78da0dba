// Inside the capture layer: a bound capture device (its source element and stream configuration).
#pragma once

#include <gst/gst.h>

#include <vector>

#include "platform/capture/capture_types.h"

namespace tovra::capture {

// The stream configuration of a device: one capability per size and frame rate of its caps.
class DeviceStreamConfig : public StreamConfig {
public:
    explicit DeviceStreamConfig(GstCaps* deviceCaps);  // takes the caps reference
    ~DeviceStreamConfig() override;
    DeviceStreamConfig(const DeviceStreamConfig&) = delete;
    DeviceStreamConfig& operator=(const DeviceStreamConfig&) = delete;

    HRESULT GetFormat(VideoMediaType& format) override;
    HRESULT SetFormat(const VideoMediaType& format) override;
    HRESULT GetNumberOfCapabilities(int& count) override;
    HRESULT GetStreamCaps(int index, VideoMediaType& format) override;
    bool HasPropertyPages() const override { return !capabilities_.empty(); }

    // Fixed caps of the current format, for the capture pipeline (caller owns them).
    GstCaps* CurrentCaps() const;

private:
    struct Capability {
        VideoMediaType format;
        int rateNum, rateDen;  // frames per second as a fraction
    };
    GstCaps* deviceCaps_;
    std::vector<Capability> capabilities_;
    Capability current_{};
};

class CaptureFilter {
public:
    CaptureFilter(GstElement* source, GstCaps* caps);  // takes both references
    ~CaptureFilter();
    CaptureFilter(const CaptureFilter&) = delete;
    CaptureFilter& operator=(const CaptureFilter&) = delete;

    GstElement* Source() const { return source_; }
    DeviceStreamConfig& Config() { return config_; }

private:
    GstElement* source_;
    DeviceStreamConfig config_;
};

}  // namespace tovra::capture
