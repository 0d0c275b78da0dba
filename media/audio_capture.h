// The microphone side of a recording: three buffers circulate at the wave-in device, and every
// buffer that comes back full is announced to the owner, whose handler takes it and queues it again.
#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <memory>

#include "media/audio_source.h"
#include "platform/wavein/wave_in.h"

namespace tovra {

class AudioCapture : public AudioSource {
public:
    AudioCapture();
    ~AudioCapture() override;
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    // The recording's way: 48 kHz 16-bit mono sound; each returned buffer goes to deliver and
    // back to the device.
    bool Open(uint32_t bufferMs, Delivery deliver) override;
    void Close() override;
    wmf::WaveFormatEx Format() const override { return format_; }

    // The device's own way: opens the default source and starts it with three buffers of
    // nBlockAlign x bufferFactor bytes. The owner receives a wavein::WaveInDataEvent for every
    // returned buffer, and takes it and queues it again. Without a format the default one
    // (PCM 8000 Hz, 8 bits, mono) is used.
    bool Open(QObject* owner, uint32_t bufferFactor, const wavein::WAVEFORMATEX* format = nullptr);
    // The data of a returned buffer, or none when closed or the buffer cannot be unprepared.
    char* TakeBuffer(wavein::WAVEHDR* header);
    // Queues a returned buffer again; 0 or the device's error. Does nothing when closed.
    wavein::MMRESULT RequeueBuffer(wavein::WAVEHDR* header);

    bool IsOpen() const { return open_ != 0; }
    // PCM, 1 channel, 8000 samples/s, 8 bits: what Open uses without a format.
    static wavein::WAVEFORMATEX DefaultFormat();
    wavein::HWAVEIN Device() const { return device_; }

private:
    class Receiver;
    bool QueueNewBuffer(int index, uint16_t blockAlign);
    void Deliver(wavein::WAVEHDR* header);

    wavein::WAVEFORMATEX defaultFormat_;
    wmf::WaveFormatEx format_;  // what the recording's way opened
    uint32_t open_ = 0;
    QObject* owner_ = nullptr;
    wavein::HWAVEIN device_ = nullptr;
    uint32_t bufferFactor_ = 3200;  // buffer length in blocks
    std::array<wavein::WAVEHDR, 3> buffers_{};
    std::array<std::unique_ptr<char[]>, 3> data_;
    std::unique_ptr<QObject> receiver_;  // takes the device's events for the recording's way
    Delivery deliver_;
};

}  // namespace tovra
