// AudioCapture on the wave-in layer.
#include "media/audio_capture.h"

#include <QString>
#include <QThread>


namespace tovra {

using namespace wavein;

wmf::WaveFormatEx RecordingSoundFormat() {
    const WAVEFORMATEX in = AudioCapture::DefaultFormat();
    wmf::WaveFormatEx f;
    f.formatTag = in.wFormatTag;
    f.channels = in.nChannels;
    f.samplesPerSec = in.nSamplesPerSec;
    f.avgBytesPerSec = in.nAvgBytesPerSec;
    f.blockAlign = in.nBlockAlign;
    f.bitsPerSample = in.wBitsPerSample;
    return f;
}

wmf::WaveFormatEx Pcm16Format(uint32_t rate) {
    wmf::WaveFormatEx f;
    f.formatTag = WAVE_FORMAT_PCM;
    f.channels = 1;
    f.samplesPerSec = rate;
    f.avgBytesPerSec = rate * 2;
    f.blockAlign = 2;
    f.bitsPerSample = 16;
    return f;
}

namespace {
constexpr uint32_t kCaptureRate = 48000;
}  // namespace

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

WAVEFORMATEX AudioCapture::DefaultFormat() {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = 8000;
    f.nAvgBytesPerSec = 8000;
    f.nBlockAlign = 1;
    f.wBitsPerSample = 8;
    f.cbSize = 0;
    return f;
}

AudioCapture::AudioCapture() : defaultFormat_(DefaultFormat()) {}

AudioCapture::~AudioCapture() { Close(); }

bool AudioCapture::Open(uint32_t bufferMs, Delivery deliver) {
    if (open_) return false;
    // Events still on their way from an earlier opening go to the receiver they were sent to.
    if (!receiver_) receiver_ = std::make_unique<Receiver>(*this);
    deliver_ = std::move(deliver);
    // The rate every player and encoder takes without resampling.
    format_ = Pcm16Format(kCaptureRate);
    WAVEFORMATEX device;
    device.wFormatTag = format_.formatTag;
    device.nChannels = format_.channels;
    device.nSamplesPerSec = format_.samplesPerSec;
    device.nAvgBytesPerSec = format_.avgBytesPerSec;
    device.nBlockAlign = format_.blockAlign;
    device.wBitsPerSample = format_.bitsPerSample;
    return Open(receiver_.get(), format_.samplesPerSec * bufferMs / 1000, &device);
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
