// The recording's two files as sinks of a recording session: the .wmv and its browser companion.
// Each refers to a writer its owner keeps, started and closed through the session.
#pragma once

#include <memory>
#include <vector>

#include "media/audio_source.h"
#include "media/companion_writer.h"
#include "media/media_writer.h"
#include "media/picture_converter.h"
#include "media/recording_session.h"
#include "media/sound_converter.h"
#include "platform/capture/dib.h"

namespace tovra {

// Frames as both writers take them: 24 bits, uncompressed, bottom-up.
inline wmf::BitmapInfoHeader PictureFormat(int width, int height) {
    wmf::BitmapInfoHeader h;
    h.width = width;
    h.height = height;
    h.bitCount = 24;
    h.sizeImage = static_cast<uint32_t>(capture::DibStride(width) * height);
    return h;
}

// The .wmv's frames: 320 x 240.
inline wmf::BitmapInfoHeader RecordingPictureFormat() { return PictureFormat(320, 240); }

// The frames a recording takes from a camera of the given size, in the camera's I420: VGA where
// the camera gives it, else the .wmv's 320 x 240.
inline wmf::BitmapInfoHeader CapturedPictureFormat(int cameraWidth, int cameraHeight) {
    return cameraWidth >= 640 && cameraHeight >= 480 ? I420PictureFormat(640, 480) : I420PictureFormat(320, 240);
}

// The .wmv takes the recording's 8 kHz sound and 320 x 240 DIB frames; a microphone or camera
// recorded in more or in another kind is converted to them buffer by buffer and frame by frame.
class MediaWriterSink final : public RecordingSink {
public:
    explicit MediaWriterSink(MediaWriter& writer) : writer_(writer) {}
    MediaWriterSink(MediaWriter& writer, const wmf::WaveFormatEx& sound, const wmf::BitmapInfoHeader& picture)
        : writer_(writer) {
        const wmf::WaveFormatEx own = RecordingSoundFormat();
        if (sound.samplesPerSec != own.samplesPerSec || sound.bitsPerSample != own.bitsPerSample) {
            converter_ = std::make_unique<SoundConverter>(sound);
        }
        const wmf::BitmapInfoHeader frame = RecordingPictureFormat();
        if (IsI420(picture) || picture.bitCount != frame.bitCount || picture.width != frame.width ||
            picture.height != frame.height) {
            pictures_ = std::make_unique<PictureConverter>(picture, frame);
        }
    }
    bool WriteAudio(uint32_t t, const uint8_t* data, uint32_t n) override {
        if (!converter_) return writer_.WriteAudio(t, data, n);
        if (!converter_->Convert(data, n, converted_)) return false;
        return writer_.WriteAudio(t, converted_.data(), static_cast<uint32_t>(converted_.size()));
    }
    bool WriteVideo(uint32_t t, const uint8_t* data, uint32_t n) override {
        if (!pictures_) return writer_.WriteVideo(t, data, n);
        if (!pictures_->Convert(data, n, convertedPicture_)) return false;
        return writer_.WriteVideo(t, convertedPicture_.data(), static_cast<uint32_t>(convertedPicture_.size()));
    }
    bool WriteScript(uint32_t t, const std::string& command) override { return writer_.WriteScript(t, command); }
    bool Close() override { return writer_.Close(); }

private:
    MediaWriter& writer_;
    std::unique_ptr<SoundConverter> converter_;
    std::vector<uint8_t> converted_;
    std::unique_ptr<PictureConverter> pictures_;
    std::vector<uint8_t> convertedPicture_;
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
