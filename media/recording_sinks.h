// The recording's two files as sinks of a recording session: the .wmv and its browser companion.
// Each refers to a writer its owner keeps, started and closed through the session.
#pragma once

#include "media/companion_writer.h"
#include "media/media_writer.h"
#include "media/recording_session.h"

namespace tovra {

// The recorded frames: 320 x 240, 24 bits, uncompressed, as both writers take them.
inline wmf::BitmapInfoHeader RecordingPictureFormat() {
    wmf::BitmapInfoHeader h;
    h.width = 320;
    h.height = 240;
    h.bitCount = 24;
    h.sizeImage = 320 * 240 * 3;
    return h;
}

class MediaWriterSink final : public RecordingSink {
public:
    explicit MediaWriterSink(MediaWriter& writer) : writer_(writer) {}
    bool WriteAudio(uint32_t t, const uint8_t* data, uint32_t n) override { return writer_.WriteAudio(t, data, n); }
    bool WriteVideo(uint32_t t, const uint8_t* data, uint32_t n) override { return writer_.WriteVideo(t, data, n); }
    bool WriteScript(uint32_t t, const std::string& command) override { return writer_.WriteScript(t, command); }
    bool Close() override { return writer_.Close(); }

private:
    MediaWriter& writer_;
};

class CompanionSink final : public RecordingSink {
public:
    explicit CompanionSink(CompanionWriter& writer) : writer_(writer) {}
    bool WriteAudio(uint32_t t, const uint8_t* data, uint32_t n) override { return writer_.WriteAudio(t, data, n); }
    bool WriteVideo(uint32_t t, const uint8_t* data, uint32_t n) override { return writer_.WriteVideo(t, data, n); }
    bool WriteScript(uint32_t t, const std::string& command) override {
        writer_.WriteScript(t, command);
        return true;
    }
    bool Close() override { return writer_.Close(); }

private:
    CompanionWriter& writer_;
};

}  // namespace tovra
