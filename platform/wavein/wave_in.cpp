// The wave-in device: pulsesrc -> audioconvert -> audioresample -> caps of the requested PCM format
// -> appsink. The appsink's streaming thread copies the sound into the queued buffers in order;
// sound that arrives while no buffer is queued is dropped, as a wave-in device drops it.
#include "platform/wavein/wave_in.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>

namespace tovra::wavein {

struct WaveInDevice {
    GstElement* pipeline = nullptr;
    GstElement* source = nullptr;
    WAVEFORMATEX format;
    QObject* owner = nullptr;  // receives WaveInDataEvent; none with CALLBACK_NULL

    std::mutex mutex;  // guards everything below and the flags of every header
    std::deque<WAVEHDR*> queue;
    bool started = false;
};

namespace {

void EnsureGstreamer() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

bool ValidFormat(const WAVEFORMATEX& f) {
    if (f.wFormatTag != WAVE_FORMAT_PCM) return false;
    if (f.nChannels < 1 || f.nChannels > 2) return false;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
    if (f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 192000) return false;
    if (f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8) return false;
    return f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

// Whether the sound server can be reached and offers at least one source. Asking the device
// provider is quick (no stream is made) and tells "no server" and "no source" apart from a
// source that exists but is busy, which opening the element then reports.
bool SoundServerHasSource() {
    GstDeviceProvider* provider = gst_device_provider_factory_get_by_name("pulsedeviceprovider");
    if (!provider) return false;
    bool found = false;
    GList* devices = gst_device_provider_get_devices(provider);
    for (GList* d = devices; d; d = d->next) {
        if (gst_device_has_classes(GST_DEVICE(d->data), "Audio/Source")) found = true;
    }
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(provider);
    return found;
}

void Announce(WaveInDevice* device, WAVEHDR* header) {
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    if (device->owner) QCoreApplication::postEvent(device->owner, new WaveInDataEvent(device, header));
}

GstFlowReturn OnNewSample(GstAppSink* sink, gpointer user) {
    auto* device = static_cast<WaveInDevice*>(user);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_EOS;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        std::lock_guard lock(device->mutex);
        const uint8_t* bytes = map.data;
        size_t left = map.size;
        // Whole blocks only, so a sample never straddles two buffers.
        const uint32_t block = std::max<uint32_t>(1, device->format.nBlockAlign);
        while (device->started && left > 0 && !device->queue.empty()) {
            WAVEHDR* header = device->queue.front();
            uint32_t room = header->dwBufferLength - header->dwBytesRecorded;
            room -= room % block;
            const size_t n = std::min<size_t>(room, left);
            std::memcpy(header->lpData + header->dwBytesRecorded, bytes, n);
            header->dwBytesRecorded += static_cast<uint32_t>(n);
            bytes += n;
            left -= n;
            if (header->dwBufferLength - header->dwBytesRecorded < block) {
                device->queue.pop_front();
                Announce(device, header);
            }
        }
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

void Destroy(WaveInDevice* device) {
    if (device->pipeline) {
        gst_element_set_state(device->pipeline, GST_STATE_NULL);
        gst_object_unref(device->pipeline);
    }
    delete device;
}

// Prints the first error the pipeline posted, for diagnosis; never shown to the user.
void PrintBusError(GstElement* pipeline) {
    GstBus* bus = gst_element_get_bus(pipeline);
    if (GstMessage* msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        GError* error = nullptr;
        gst_message_parse_error(msg, &error, nullptr);
        std::printf("wave-in: %s\n", error ? error->message : "error");
        g_clear_error(&error);
        gst_message_unref(msg);
    }
    gst_object_unref(bus);
}

}  // namespace

MMRESULT waveInOpen(HWAVEIN* out, uint32_t deviceId, const WAVEFORMATEX* format, QObject* callback,
                    uintptr_t /*instance*/, uint32_t flags) {
    if (!out || !format) return MMSYSERR_INVALPARAM;
    *out = nullptr;
    if (flags != CALLBACK_NULL && flags != CALLBACK_WINDOW) return MMSYSERR_INVALFLAG;
    if (flags == CALLBACK_WINDOW && !callback) return MMSYSERR_INVALPARAM;
    if (deviceId != WAVE_MAPPER && deviceId != 0) return MMSYSERR_BADDEVICEID;
    if (!ValidFormat(*format)) return WAVERR_BADFORMAT;

    EnsureGstreamer();
    if (!SoundServerHasSource()) return MMSYSERR_NODRIVER;

    auto* device = new WaveInDevice;
    device->format = *format;
    device->owner = flags == CALLBACK_WINDOW ? callback : nullptr;
    device->pipeline = gst_pipeline_new("wave-in");
    device->source = gst_element_factory_make("pulsesrc", "source");
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (!device->source || !convert || !resample || !filter || !sink) {
        for (GstElement* e : {device->source, convert, resample, filter, sink}) {
            if (e) gst_object_unref(e);
        }
        Destroy(device);
        return MMSYSERR_NODRIVER;
    }
    gst_bin_add_many(GST_BIN(device->pipeline), device->source, convert, resample, filter, sink, nullptr);
    GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING,
                                        format->wBitsPerSample == 8 ? "U8" : "S16LE", "layout", G_TYPE_STRING,
                                        "interleaved", "rate", G_TYPE_INT, static_cast<int>(format->nSamplesPerSec),
                                        "channels", G_TYPE_INT, static_cast<int>(format->nChannels), nullptr);
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    g_object_set(sink, "sync", FALSE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = OnNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, device, nullptr);
    if (!gst_element_link_many(device->source, convert, resample, filter, sink, nullptr)) {
        Destroy(device);
        return MMSYSERR_NODRIVER;
    }
    // READY connects to the sound server.
    if (gst_element_set_state(device->pipeline, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        PrintBusError(device->pipeline);
        Destroy(device);
        return MMSYSERR_ALLOCATED;
    }
    *out = device;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, uint32_t headerSize) {
    if (!device) return MMSYSERR_INVALHANDLE;
    if (!header || headerSize < sizeof(WAVEHDR) || !header->lpData || header->dwBufferLength == 0) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard lock(device->mutex);
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, uint32_t headerSize) {
    if (!device) return MMSYSERR_INVALHANDLE;
    if (!header || headerSize < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    std::lock_guard lock(device->mutex);
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, uint32_t headerSize) {
    if (!device) return MMSYSERR_INVALHANDLE;
    if (!header || headerSize < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    std::lock_guard lock(device->mutex);
    if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    header->dwBytesRecorded = 0;
    device->queue.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN device) {
    if (!device) return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard lock(device->mutex);
        if (device->started) return MMSYSERR_NOERROR;
        // The server delivers in periods of the first buffer's length, so a buffer fills from one
        // delivery instead of many small ones.
        if (!device->queue.empty()) {
            const uint64_t periodUs =
                uint64_t{device->queue.front()->dwBufferLength} * 1000000 / device->format.nAvgBytesPerSec;
            if (periodUs >= 10000) {
                g_object_set(device->source, "latency-time", static_cast<gint64>(periodUs), "buffer-time",
                             static_cast<gint64>(periodUs * 2), nullptr);
            }
        }
        device->started = true;
    }
    if (gst_element_set_state(device->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        PrintBusError(device->pipeline);
        std::lock_guard lock(device->mutex);
        device->started = false;
        return MMSYSERR_ERROR;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN device) {
    if (!device) return MMSYSERR_INVALHANDLE;
    // Back to READY first: that ends the streaming thread, so no buffer is written while it is
    // handed back.
    if (gst_element_set_state(device->pipeline, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        return MMSYSERR_ERROR;
    }
    std::lock_guard lock(device->mutex);
    device->started = false;
    while (!device->queue.empty()) {
        WAVEHDR* header = device->queue.front();
        device->queue.pop_front();
        Announce(device, header);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN device) {
    if (!device) return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard lock(device->mutex);
        if (!device->queue.empty()) return WAVERR_STILLPLAYING;
    }
    Destroy(device);
    return MMSYSERR_NOERROR;
}

}  // namespace tovra::wavein
