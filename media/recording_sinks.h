// The recording's two files as sinks of a recording session: the .wmv and its browser companion.
// Each refers to a writer its owner keeps, started and closed through the session.
#pragma once

#include <memory>
#include <vector>

#include "media/audio_source.h"
#include "media/companion_writer.h"
#include "media/media_writer.h"
#include "media/recording_session.h"
#include "media/sound_converter.h"

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

// The .wmv takes the recording's 8 kHz sound; a microphone recorded at another format is
// converted to it buffer by buffer.
class MediaWriterSink final : public RecordingSink {
public:
    explicit MediaWriterSink(MediaWriter& writer) : writer_(writer) {}
    MediaWriterSink(MediaWriter& writer, const wmf::WaveFormatEx& sound) : writer_(writer) {
        const wmf::WaveFormatEx own = RecordingSoundFormat();
        if (sound.samplesPerSec != own.samplesPerSec || sound.bitsPerSample != own.bitsPerSample) {
            converter_ = std::make_unique<SoundConverter>(sound);
        }
    }
    bool WriteAudio(uint32_t t, const uint8_t* data, uint32_t n) override {
        if (!converter_) return writer_.WriteAudio(t, data, n);
        if (!converter_->Convert(data, n, converted_)) return false;
        return writer_.WriteAudio(t, converted_.data(), static_cast<uint32_t>(converted_.size()));
    }
    bool WriteVideo(uint32_t t, const uint8_t* data, uint32_t n) override { return writer_.WriteVideo(t, data, n); }
    bool WriteScript(uint32_t t, const std::string& command) override { return writer_.WriteScript(t, command); }
    bool Close() override { return writer_.Close(); }

private:
    MediaWriter& writer_;
    std::unique_ptr<SoundConverter> converter_;
    std::vector<uint8_t> converted_;
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
