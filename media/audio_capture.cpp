// AudioCapture on the wave-in layer.
#include "media/audio_capture.h"

#include <QString>
#include <QThread>


namespace tovra {

using namespace wavein;

namespace {

constexpr uint32_t kCaptureRate = 48000;

// Mono PCM as the wave-in device takes it.
WAVEFORMATEX MonoPcm(uint32_t rate, uint16_t bits) {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = rate;
    f.nBlockAlign = bits / 8;
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.wBitsPerSample = bits;
    f.cbSize = 0;
    return f;
}

// The same format as the writers take it.
wmf::WaveFormatEx WriterFormat(const WAVEFORMATEX& in) {
    wmf::WaveFormatEx f;
    f.formatTag = in.wFormatTag;
    f.channels = in.nChannels;
    f.samplesPerSec = in.nSamplesPerSec;
    f.avgBytesPerSec = in.nAvgBytesPerSec;
    f.blockAlign = in.nBlockAlign;
    f.bitsPerSample = in.wBitsPerSample;
    return f;
}

}  // namespace

wmf::WaveFormatEx RecordingSoundFormat() { return WriterFormat(AudioCapture::DefaultFormat()); }

wmf::WaveFormatEx Pcm16Format(uint32_t rate) { return WriterFormat(MonoPcm(rate, 16)); }

wmf::WaveFormatEx AudioSource::Format() const { return RecordingSoundFormat(); }

class AudioCapture::Receiver : public QObject {
public:
    explicit Receiver(AudioCapture& capture) : capture_(capture) {}
    bool event(QEvent* e) override {
        if (e->type() != WaveInDataEvent::EventType()) return QObject::event(e);
        capture_.Deliver(static_cast<WaveInDataEvent*>(e)->header);
        return true;
    }

private:
    AudioCapture& capture_;
};

WAVEFORMATEX AudioCapture::DefaultFormat() { return MonoPcm(8000, 8); }

AudioCapture::AudioCapture() : defaultFormat_(DefaultFormat()) {}

AudioCapture::~AudioCapture() { Close(); }

bool AudioCapture::Open(uint32_t bufferMs, Delivery deliver) {
    if (open_) return false;
    // Events still on their way from an earlier opening go to the receiver they were sent to.
    if (!receiver_) receiver_ = std::make_unique<Receiver>(*this);
    deliver_ = std::move(deliver);
    // The rate every player and encoder takes without resampling.
    const WAVEFORMATEX device = MonoPcm(kCaptureRate, 16);
    format_ = WriterFormat(device);
    return Open(receiver_.get(), kCaptureRate * bufferMs / 1000, &device);
}

void AudioCapture::Deliver(WAVEHDR* header) {
    if (!open_) return;
    char* data = TakeBuffer(header);
    // The delivery may close the device (a recording that stops); then the buffer stays out.
    if (deliver_) deliver_(reinterpret_cast<const uint8_t*>(data), data ? header->dwBytesRecorded : 0);
    RequeueBuffer(header);
}

bool AudioCapture::Open(QObject* owner, uint32_t bufferFactor, const WAVEFORMATEX* format) {
    if (open_ || !owner) return false;
    if (!format) format = &defaultFormat_;
    bufferFactor_ = bufferFactor;
    owner_ = owner;
    if (waveInOpen(&device_, WAVE_MAPPER, format, owner_, 0, CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
        // The caller says what the teacher can do about it; a second box here said nothing more.
        device_ = nullptr;
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        if (!QueueNewBuffer(i, format->nBlockAlign)) {
            // Hand back what was queued so the device can close.
            waveInReset(device_);
            waveInClose(device_);
            device_ = nullptr;
            return false;
        }
    }
    if (waveInStart(device_) != MMSYSERR_NOERROR) {
        waveInReset(device_);
        waveInClose(device_);
        device_ = nullptr;
        return false;
    }
    open_ = 1;
    return true;
}

bool AudioCapture::QueueNewBuffer(int index, uint16_t blockAlign) {
    WAVEHDR& header = buffers_[index];
    header = WAVEHDR{};
    const uint32_t length = uint32_t{blockAlign} * bufferFactor_;
    data_[index].reset(new (std::nothrow) char[length]);
    if (!data_[index]) return false;
    header.lpData = data_[index].get();
    header.dwBufferLength = length;
    if (waveInPrepareHeader(device_, &header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) return false;
    return waveInAddBuffer(device_, &header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
}

void AudioCapture::Close() {
    if (!open_) return;
    if (waveInReset(device_) != MMSYSERR_NOERROR) return;
    open_ = 0;
    QThread::msleep(500);
    waveInClose(device_);
    device_ = nullptr;
    for (int i = 0; i < 3; ++i) {
        data_[i].reset();
        buffers_[i].lpData = nullptr;
    }
}

char* AudioCapture::TakeBuffer(WAVEHDR* header) {
    if (open_ && waveInUnprepareHeader(device_, header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) {
        return header->lpData;
    }
    return nullptr;
}

MMRESULT AudioCapture::RequeueBuffer(WAVEHDR* header) {
    if (!open_) return 0;
    MMRESULT result = waveInPrepareHeader(device_, header, sizeof(WAVEHDR));
    if (result == MMSYSERR_NOERROR) result = waveInAddBuffer(device_, header, sizeof(WAVEHDR));
    return result;
}

}  // namespace tovra
