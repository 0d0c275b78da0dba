// What a recording needs of a microphone: buffers of sound, delivered one by one on the thread
// that opened it, and taken back by the source itself.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/wmf/wm_types.h"

namespace tovra {

class AudioSource {
public:
    // A full buffer's bytes, or null when its data was lost (the clock still counts it).
    using Delivery = std::function<void(const uint8_t* data, uint32_t length)>;

    virtual ~AudioSource() = default;
    // Starts the default source in buffers of bufferMs milliseconds; false when there is none.
    virtual bool Open(uint32_t bufferMs, Delivery deliver) = 0;
    virtual void Close() = 0;
    // The PCM the buffers hold while open: mono, 8 or 16 bits, at the source's rate.
    virtual wmf::WaveFormatEx Format() const;
};

// The .wmv's sound: PCM, 8000 samples/s, 8 bits, mono. A source that gives no other format
// delivers this one.
wmf::WaveFormatEx RecordingSoundFormat();
// Mono 16-bit PCM at a rate.
wmf::WaveFormatEx Pcm16Format(uint32_t rate);

}  // namespace tovra
